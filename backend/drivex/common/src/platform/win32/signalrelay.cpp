#include "platform/signalrelay.h"

#include <windows.h>

#include <cerrno>
#include <string>

#include "platform/winhandle.h"

namespace platform {
namespace {

using win32::AsHandle;
using win32::AsInt;

std::string SignalName(int pid, int signal) {
    return "Local\\vexa-signal-" + std::to_string(pid) + "-" + std::to_string(signal);
}

}  // namespace

int SendInterrupt(int pid) {
    if (pid <= 0) return ESRCH;
    HANDLE event =
        ::OpenEventA(EVENT_MODIFY_STATE, FALSE, SignalName(pid, kInterruptSignal).c_str());
    if (!event) return ESRCH;
    const bool set = ::SetEvent(event);
    ::CloseHandle(event);
    return set ? 0 : win32::LastErrno();
}

void IgnoreTerminalInterrupt() { ::SetConsoleCtrlHandler(nullptr, TRUE); }

int SignalRelay::Install(int signal) {
    if (signal <= 0) return EINVAL;
    if (m_signal != 0) return EBUSY;
    // Automatic reset: signals that came before a wait are taken by it at once.
    HANDLE signalled =
        ::CreateEventA(nullptr, FALSE, FALSE,
                       SignalName(static_cast<int>(::GetCurrentProcessId()), signal).c_str());
    if (!signalled) return win32::LastErrno();
    UniqueFd owned(AsInt(signalled));
    if (::GetLastError() == ERROR_ALREADY_EXISTS) return EBUSY;
    HANDLE wake = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (!wake) return win32::LastErrno();
    m_signalled = std::move(owned);
    m_wake = UniqueFd(AsInt(wake));
    m_signal = signal;
    return 0;
}

bool SignalRelay::Wait() {
    if (m_signal == 0) return false;
    // The wake first: when both are set, the wake wins, as a Wake must end the wait.
    const HANDLE handles[2] = {AsHandle(m_wake.get()), AsHandle(m_signalled.get())};
    return ::WaitForMultipleObjects(2, handles, FALSE, INFINITE) == WAIT_OBJECT_0 + 1;
}

void SignalRelay::Wake() {
    if (m_wake.valid()) ::SetEvent(AsHandle(m_wake.get()));
}

}  // namespace platform
