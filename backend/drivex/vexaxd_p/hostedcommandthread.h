// The thread that serves the engine's commands for program blocks of the
// language hosted in this process, from StartVexa to StopVexa. Its lifetime
// is bounded: a thread still inside a command after the limit is left
// running, and it and the hosting objects it may use are kept alive rather
// than destroyed under it. One owner thread.
#pragma once

#include <memory>
#include <string>

class DXCmdDispatcher;
namespace hosting {
class CmdReceiveThread;
}

namespace api {

class HostedCommandThread {
  public:
    HostedCommandThread();
    ~HostedCommandThread();
    HostedCommandThread(const HostedCommandThread&) = delete;
    HostedCommandThread& operator=(const HostedCommandThread&) = delete;

    // Connects the command channel and starts serving it. 0 or a code.
    [[nodiscard]] int Start(DXCmdDispatcher& dispatcher, const std::string& languageName);
    // Waits a bounded time for the thread, which leaves its loop once the
    // engine's end closes the channel, then ends the hosting registry. False
    // when anything had to be left alive.
    [[nodiscard]] bool End();
    // Drops the thread, waiting for it without limit.
    void Reset();

  private:
    std::unique_ptr<hosting::CmdReceiveThread> m_thread;
};

}  // namespace api
