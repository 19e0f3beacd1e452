#include "platform/uniquefd.h"

#include <winsock2.h>

#include "platform/winhandle.h"

namespace platform {
namespace {

// A socket must go back through the socket library; it is also a kernel
// handle, so only asking the library tells the two apart.
bool IsSocket(int value) {
    int type = 0;
    int length = sizeof type;
    return ::getsockopt(static_cast<SOCKET>(value), SOL_SOCKET, SO_TYPE,
                        reinterpret_cast<char*>(&type), &length) == 0;
}

}  // namespace

void UniqueFd::reset(int fd) {
    if (m_fd >= 0) {
        if (IsSocket(m_fd))
            ::closesocket(static_cast<SOCKET>(m_fd));
        else
            ::CloseHandle(win32::AsHandle(m_fd));
    }
    m_fd = fd;
}

}  // namespace platform
