// The out-of-process host of a language: the language runs in the launcher
// "startx", started here with its command line and environment. Each block
// is one exchange on the nesting level's pipes, framed by kSetupDXRun and
// kExitDxRun on the suit's command channel; the process is stopped with
// kStopDX. (The Java extension has a host of its own, JavaStatisticsX.)
#pragma once

#include "hosting/processhost.h"

class DXCmdDispatcher;
class XPipes;

class OutpStatisticsX : public hosting::ProcessHost {
  public:
    // The launcher is asked this often whether it is there, kTestPauseMs apart.
    static constexpr int kTestSends = 100;
    static constexpr unsigned kTestPauseMs = 100;

    // The options are not owned.
    OutpStatisticsX(XConfigOptions* options, int appMode, bool vexaDrive);
    ~OutpStatisticsX() override;

    int stat_start_x();
    int setup_x_run();
    int exit_x_run();

  protected:
    int x_init_embedded_x(int, char**) override { return stat_start_x(); }
    int x_execute_x(const char* text) override;
    int x_pre_action() override { return setup_x_run(); }
    int x_post_action() override { return exit_x_run(); }
    int AskToStop() override;

  private:
    // The pipes of the suit's current level; null (traced) before the first.
    XPipes* CurrentPipes() const;
    DXCmdDispatcher* EngineDispatcher() const;
    // Waits until the launcher answers kTestCmdst, or gives up.
    int AwaitLauncher();
};
