#include "platform/processwatch.h"

#include <windows.h>

#include <cerrno>

#include "platform/winhandle.h"

namespace platform {

using win32::AsHandle;
using win32::AsInt;

int ProcessWatch::Open(int pid, ProcessWatch& out) {
    if (pid <= 0) return ESRCH;
    HANDLE process = ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
    if (!process) return ::GetLastError() == ERROR_INVALID_PARAMETER ? ESRCH : win32::LastErrno();
    UniqueFd processHandle(AsInt(process));
    // Automatic reset: a wake ends one wait.
    HANDLE wake = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (!wake) return win32::LastErrno();
    out.m_process = std::move(processHandle);
    out.m_wake = UniqueFd(AsInt(wake));
    return 0;
}

bool ProcessWatch::WaitForEnd(int milliseconds) {
    if (!valid()) return false;
    const HANDLE handles[2] = {AsHandle(m_process.get()), AsHandle(m_wake.get())};
    const DWORD limit = milliseconds < 0 ? INFINITE : static_cast<DWORD>(milliseconds);
    return ::WaitForMultipleObjects(2, handles, FALSE, limit) == WAIT_OBJECT_0;
}

bool ProcessWatch::Ended() const {
    return valid() && ::WaitForSingleObject(AsHandle(m_process.get()), 0) == WAIT_OBJECT_0;
}

void ProcessWatch::Wake() {
    if (m_wake.valid()) ::SetEvent(AsHandle(m_wake.get()));
}

}  // namespace platform
