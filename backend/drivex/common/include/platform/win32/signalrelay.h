// Hands a signal of the process to a thread of the owner's. Windows has no
// signals between processes: a signal here is a named event of the receiving
// process ("Local\vexa-signal-<pid>-<signal>") that the sender sets. One
// relay per signal at a time. Wait on one thread; Wake from any.
#pragma once

#include "platform/uniquefd.h"

namespace platform {

// The signal that asks a process of this system to interrupt the program
// block it runs (see the interrupt codes in the engine's README).
constexpr int kInterruptSignal = 10;

// Sends the interrupt signal to `pid`: 0, or ESRCH when the process has no
// relay for it (not running, or not listening).
int SendInterrupt(int pid);

// Keeps a console Ctrl-C meant for the client from ending this process. Its
// children inherit this.
void IgnoreTerminalInterrupt();

class SignalRelay {
  public:
    SignalRelay() = default;
    SignalRelay(const SignalRelay&) = delete;
    SignalRelay& operator=(const SignalRelay&) = delete;
    ~SignalRelay() = default;

    // 0, EBUSY when the signal has a relay already, or errno.
    int Install(int signal);
    // Blocks until the signal came at least once since the last return
    // (true) or Wake was called (false); a Wake with no wait in progress
    // ends the next one.
    bool Wait();
    void Wake();

  private:
    int m_signal = 0;
    UniqueFd m_signalled;
    UniqueFd m_wake;
};

}  // namespace platform
