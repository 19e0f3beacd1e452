// The engine process this library started: its start, its end, and its pid
// for the interrupt. One owner thread; pid() may be read from any thread and
// from a signal handler.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "platform/process.h"

namespace api {

class EngineLauncher {
  public:
    // argv[0] is the engine's program. 0 or the errno of the failed start.
    [[nodiscard]] int Start(const std::vector<std::string>& argv);
    // The engine started here while it has not been reaped, else 0.
    int pid() const { return m_pid.load(); }
    bool started() const { return m_child.started(); }
    // True while the engine has not ended; reaps it once it has.
    bool IsActive() { return m_child.IsActive(); }
    // Turns readable when the engine ends; -1 when there is none to watch.
    int endDescriptor() const { return m_child.endDescriptor(); }
    // True when the engine ended within `milliseconds`.
    bool WaitFor(unsigned milliseconds) { return m_child.WaitFor(milliseconds); }
    // Gives an engine that refused to start, or was told to stop, a grace
    // period to end, then kills it; afterwards nothing is started.
    void End();
    // Forgets the engine, killing one still running.
    void Reset();

  private:
    platform::ChildProcess m_child;
    std::atomic<int> m_pid{0};
};

}  // namespace api
