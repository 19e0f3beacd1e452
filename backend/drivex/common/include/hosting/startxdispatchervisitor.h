// The language side of the command channel: creates hosts and drivers for
// the engine's commands (StartXDispatcherVisitor), and the thread that serves
// the channel in a process that also drives the engine (CmdReceiveThread).
#pragma once

#include <atomic>
#include <string>

#include "runtime/pluginthreadhot.h"
#include "transport/dxcmddispatcher.h"

class StartXDispatcherVisitor : public DXCmdDispatcherVisitor {
  public:
    StartXDispatcherVisitor(std::string languageName, bool vexaDrive)
        : m_name(std::move(languageName)), m_vexaDrive(vexaDrive) {}

    int cmdDispatcher(std::int32_t key, const std::vector<std::string>& arguments) override;

  private:
    int SetupRun();
    int ExitRun();
    static constexpr unsigned kExitRunLimitMs = 2000;

    std::string m_name;
    bool m_vexaDrive;
};

namespace hosting {

class CmdReceiveThread : public PlugInThreadHot {
  public:
    CmdReceiveThread(DXCmdDispatcher* dispatcher, std::string languageName)
        : m_dispatcher(dispatcher), m_name(std::move(languageName)) {}
    ~CmdReceiveThread() override { WaitForStop(); }

    bool isBusy() const { return m_busy.load(); }

  protected:
    std::uint32_t Run() override;

  private:
    DXCmdDispatcher* m_dispatcher;
    std::string m_name;
    std::atomic<bool> m_busy{false};
};

}  // namespace hosting
