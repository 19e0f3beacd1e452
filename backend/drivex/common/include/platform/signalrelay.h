// Hands a signal of the process to a thread of the owner's: the handler only
// writes a byte to a pipe, so whatever the signal asks for runs outside the
// handler. One relay per signal at a time; the signal's earlier action is
// restored when the relay goes. Wait on one thread; Wake from any.
#pragma once

#include <signal.h>

#include "platform/uniquefd.h"

namespace platform {

// The signal that asks a process of this system to interrupt the program
// block it runs (see the interrupt codes in the engine's README).
constexpr int kInterruptSignal = SIGUSR1;

// Sends the interrupt signal to `pid`: 0 or errno. Async-signal-safe.
int SendInterrupt(int pid);

// Lets SIGINT pass this process by, so that a Ctrl-C meant for the client in
// the same terminal does not end it. Its children inherit this.
void IgnoreTerminalInterrupt();

class SignalRelay {
  public:
    SignalRelay() = default;
    SignalRelay(const SignalRelay&) = delete;
    SignalRelay& operator=(const SignalRelay&) = delete;
    ~SignalRelay();

    // 0, EBUSY when the signal has a relay already, or errno.
    int Install(int signal);
    // Blocks until the signal came at least once since the last return
    // (true; all that came are taken) or Wake was called (false); a Wake
    // with no wait in progress ends the next one.
    bool Wait();
    void Wake();

  private:
    int m_signal = 0;
    UniqueFd m_read;
    UniqueFd m_write;
    UniqueFd m_wake;
    struct sigaction m_previous {};
};

}  // namespace platform
