// The host of the Java extension: the extension runs in a Java process
// started here with the port of a loopback socket on its command line. The
// extension message goes over that socket once Java has connected, and the
// block ends when Java does. There is no command channel: the pre and post
// actions do nothing, and a stop only waits for the process (killing it
// after the bound).
#pragma once

#include "hosting/processhost.h"

namespace hosting {

class JavaStatisticsX : public ProcessHost {
  public:
    // The options are not owned.
    JavaStatisticsX(XConfigOptions* options, int appMode, bool vexaDrive);
    ~JavaStatisticsX() override;

    int stat_start_java();

  protected:
    int x_init_embedded_x(int, char**) override { return stat_start_java(); }
    int x_execute_x(const char* text) override;
    int x_pre_action() override { return 0; }
    int x_post_action() override { return 0; }
    int AskToStop() override { return 0; }
};

}  // namespace hosting
