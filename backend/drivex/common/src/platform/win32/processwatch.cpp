#include "platform/processwatch.h"

#include <windows.h>

#include <cerrno>

#include "platform/winhandle.h"

namespace platform {

using win32::AsHandle;
using win32::AsInt;

int ProcessWatch::Open(int pid, ProcessWatch& out) {
    if (pid <= 0) return ESRCH;
    HANDLE process = ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                                   static_cast<DWORD>(pid));
    if (!process) return ::GetLastError() == ERROR_INVALID_PARAMETER ? ESRCH : win32::LastErrno();
    UniqueFd processHandle(AsInt(process));
    WakeEvent wake;
    if (int error = WakeEvent::Open(wake)) return error;
    out.m_process = std::move(processHandle);
    out.m_wake = std::move(wake);
    return 0;
}

bool ProcessWatch::WaitForEnd(int milliseconds) {
    if (!valid()) return false;
    const HANDLE handles[2] = {AsHandle(m_process.get()), AsHandle(m_wake.descriptor())};
    const DWORD limit = milliseconds < 0 ? INFINITE : static_cast<DWORD>(milliseconds);
    const DWORD woken = ::WaitForMultipleObjects(2, handles, FALSE, limit);
    if (woken == WAIT_OBJECT_0) return true;
    // Taken, so that the next wait waits again.
    if (woken == WAIT_OBJECT_0 + 1) m_wake.Clear();
    return false;
}

bool ProcessWatch::Ended() const {
    return valid() && ::WaitForSingleObject(AsHandle(m_process.get()), 0) == WAIT_OBJECT_0;
}

void ProcessWatch::Wake() { m_wake.Set(); }

}  // namespace platform
