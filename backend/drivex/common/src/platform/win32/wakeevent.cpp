#include "platform/wakeevent.h"

#include <windows.h>

#include "platform/winhandle.h"

namespace platform {

int WakeEvent::Open(WakeEvent& out) {
    // Manual reset: stays signalled until Clear.
    HANDLE event = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!event) return win32::LastErrno();
    out.m_fd = UniqueFd(win32::AsInt(event));
    return 0;
}

void WakeEvent::Set() {
    if (m_fd.valid()) ::SetEvent(win32::AsHandle(m_fd.get()));
}

void WakeEvent::Clear() {
    if (m_fd.valid()) ::ResetEvent(win32::AsHandle(m_fd.get()));
}

}  // namespace platform
