// An external program driving the engine: start it through the library, ask
// it, stop it, and check that nothing is left behind: no child process and
// no pipe of this run.
//   integration_startstop <engine home>
#include <cstdio>
#include <string>
#include <vector>

#include "leftovers.h"
#include "vexaxd_p.h"

namespace {

int g_failures = 0;

void Check(bool condition, const char* what) {
    std::printf("%s %s\n", condition ? "ok  " : "FAIL", what);
    if (!condition) ++g_failures;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <engine home>\n", argv[0]);
        return 2;
    }
    const std::string arguments = std::string("-vexahome=") + argv[1];
    Check(StartVexa(arguments.c_str()) == 0, "StartVexa starts the engine");
    Check(IsBackendReady(), "the engine is ready");
    Check(IsXDriven(), "the engine is driven by this program");
    int err = -1;
    Check(GetVariableCount(&err) == 9 && err == 0, "the active dataset has 9 variables");
    int depth = -1;
    Check(GetNestDepth(&depth) == 0 && depth == 0, "nesting depth 0");
    Check(StartVexa(arguments.c_str()) == 0, "a second StartVexa finds the engine ready");
    StopVexa();
    Check(!IsBackendReady(), "not ready after StopVexa");
    Check(RunningChildren() == 0, "the engine process has ended");
    const std::vector<std::string> channels = OwnChannels();
    for (const std::string& name : channels) std::printf("     left behind: %s\n", name.c_str());
    Check(channels.empty(), "no pipe of this run is left");
    return g_failures == 0 ? 0 : 1;
}
