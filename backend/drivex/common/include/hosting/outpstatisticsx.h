// The out-of-process host: the language runs in a process of its own, the
// launcher "startx" (or the Java runtime for the Java extension), started
// here with its command line and environment. Each block is one exchange on
// the nesting level's pipes, framed by kSetupDXRun and kExitDxRun on the
// suit's command channel; the process is stopped with kStopDX.
#pragma once

#include <string>

#include "hosting/statisticsx.h"
#include "platform/process.h"

class DXCmdDispatcher;
class XConfigOptions;
class XPipeSuit;
class XPipes;

class OutpStatisticsX : public StatisticsX {
  public:
    // The launcher is asked this often whether it is there, kTestPauseMs apart.
    static constexpr int kTestSends = 100;
    static constexpr unsigned kTestPauseMs = 100;

    // The options are not owned.
    OutpStatisticsX(XConfigOptions* options, int appMode, bool vexaDrive);
    ~OutpStatisticsX() override;

    int getAppMode() const { return m_appMode; }
    void setAppMode(int mode) { m_appMode = mode; }
    bool isJava() const { return m_java; }
    // Always true for a host the engine does not drive.
    bool isXProcessActive();
    // True once the language process this host started has ended, waiting
    // at most `milliseconds` for it; true at once for a process it did not start.
    bool awaitXProcessEnd(unsigned milliseconds);
    std::string getPythonHome() const;
    int processId() const { return m_process.pid(); }
    // The language process's exit status once it has ended and been reaped
    // (for Java, after execute_x), else -1.
    int exitStatus() const { return m_process.ExitStatus(); }

    int stat_start_x();
    int stat_start_java();
    int setup_x_run();
    int exit_x_run();
    int stat_stop_x();
    int setup_java_run() { return 0; }
    int exit_java_run() { return 0; }

  protected:
    int x_init_embedded_x(int argc, char** argv) override;
    int x_execute_x(const char* text) override;
    int x_stop_embedded_x() override { return stat_stop_x(); }
    int x_pre_action() override { return m_java ? 0 : setup_x_run(); }
    int x_post_action() override { return m_java ? 0 : exit_x_run(); }

  private:
    class PartnerWait;
    XPipeSuit* Suit() const;
    // The pipes of the suit's current level; null (traced) before the first.
    XPipes* CurrentPipes() const;
    DXCmdDispatcher* EngineDispatcher() const;
    // Waits until the launcher answers kTestCmdst, or gives up.
    int AwaitLauncher();
    int ExecuteOnPipes(const char* text);
    int ExecuteOnSocket();

    XConfigOptions* m_options;
    platform::ChildProcess m_process;
    int m_appMode;
    bool m_java = false;
};
