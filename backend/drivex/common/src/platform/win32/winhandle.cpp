#include "platform/winhandle.h"

#include <cerrno>

namespace platform::win32 {

int ErrnoFrom(DWORD windowsError) {
    switch (windowsError) {
        case ERROR_SUCCESS:
            return 0;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_MOD_NOT_FOUND:
            return ENOENT;
        case ERROR_BROKEN_PIPE:
        case ERROR_NO_DATA:
        case ERROR_PIPE_NOT_CONNECTED:
            return EPIPE;
        case ERROR_PIPE_BUSY:
            return ECONNREFUSED;
        case ERROR_ACCESS_DENIED:
            return EACCES;
        case ERROR_INVALID_HANDLE:
            return EBADF;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY:
            return ENOMEM;
        case ERROR_INVALID_PARAMETER:
        case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME:
            return EINVAL;
        case ERROR_FILENAME_EXCED_RANGE:
            return ENAMETOOLONG;
        case ERROR_ALREADY_EXISTS:
        case ERROR_FILE_EXISTS:
            return EEXIST;
        case ERROR_SEM_TIMEOUT:
        case WAIT_TIMEOUT:
            return ETIMEDOUT;
        case ERROR_OPERATION_ABORTED:
            return ECANCELED;
        case ERROR_MORE_DATA:
            return EMSGSIZE;
        default:
            return static_cast<int>(windowsError);
    }
}

DWORD OverlappedIo::Finish(HANDLE file, BOOL started, DWORD& transferred) {
    transferred = 0;
    if (!started) {
        // A read of a longer message has filled the buffer; its count comes
        // from the result below, with the more-data code.
        const DWORD error = ::GetLastError();
        if (error != ERROR_IO_PENDING && error != ERROR_MORE_DATA) return error;
    }
    if (::GetOverlappedResult(file, &m_overlapped, &transferred, TRUE)) return 0;
    return ::GetLastError();
}

void OverlappedIo::Cancel(HANDLE file) {
    ::CancelIoEx(file, &m_overlapped);
    DWORD ignored = 0;
    ::GetOverlappedResult(file, &m_overlapped, &ignored, TRUE);
}

}  // namespace platform::win32
