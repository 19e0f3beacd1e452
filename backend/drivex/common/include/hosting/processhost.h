// A host whose language runs in a process of its own, started here with its
// command line and an environment of its own (or, for a host the engine does
// not drive, started by someone else). What the two kinds share lives here:
// the process, the bounded waits on it, and the shape of a stop. How the
// process is started, fed and asked to stop is the concrete host's.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "hosting/statisticsx.h"
#include "platform/process.h"

class XCmdArgument;
class XConfigOptions;
class XPipeSuit;

namespace hosting {

class ProcessHost : public StatisticsX {
  public:
    // The options are not owned.
    ProcessHost(XConfigOptions* options, int appMode, bool vexaDrive);

    int getAppMode() const { return m_appMode; }
    void setAppMode(int mode) { m_appMode = mode; }
    // Always true for a host the engine does not drive.
    bool isXProcessActive();
    // True once the language process this host started has ended, waiting
    // at most `milliseconds` for it; true at once for a process it did not start.
    bool awaitXProcessEnd(unsigned milliseconds);
    std::string getPythonHome() const;
    int processId() const { return m_process.pid(); }
    // The language process's exit status once it has ended and been reaped,
    // else -1.
    int exitStatus() const { return m_process.ExitStatus(); }

    // Asks the process to stop, then gives it a bounded time to end before
    // it is killed.
    int stat_stop_x();

  protected:
    // A partner process is given this long to connect; its end, watched in
    // the same wait, ends the wait at once.
    static constexpr std::chrono::milliseconds kConnectLimit{10000};

    // One limit for the waits on the language process, and the descriptor
    // that ends them when that process ends (none for a host the engine
    // does not drive: nothing was started).
    class PartnerWait {
      public:
        explicit PartnerWait(const ProcessHost& host,
                             std::chrono::milliseconds limit = kConnectLimit);
        bool expired() const { return std::chrono::steady_clock::now() >= m_deadline; }
        unsigned leftMs() const;
        int process() const;

      private:
        const ProcessHost& m_host;
        std::chrono::steady_clock::time_point m_deadline;
    };

    int x_stop_embedded_x() override { return stat_stop_x(); }
    // The request to stop of a live process; its status is the stop's.
    virtual int AskToStop() = 0;

    XPipeSuit* Suit() const;
    // The child's environment is the engine's with the language's entries
    // set over it; the engine's own stays as it is.
    int StartProcess(const std::vector<std::string>& argv, const XCmdArgument& environment);

    XConfigOptions* m_options;
    platform::ChildProcess m_process;

  private:
    int m_appMode;
};

}  // namespace hosting
