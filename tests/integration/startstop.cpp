// An external program driving the engine: start it through the library, ask
// it, stop it, and check that nothing is left behind: no child process and
// no socket file of this run in the pipe directory.
//   integration_startstop <engine home>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string>

#include "vexaxd_p.h"

namespace {

int g_failures = 0;

void Check(bool condition, const char* what) {
    std::printf("%s %s\n", condition ? "ok  " : "FAIL", what);
    if (!condition) ++g_failures;
}

int OwnPipeFiles() {
    char pid[16];
    std::snprintf(pid, sizeof pid, "%04x", static_cast<unsigned>(::getpid()));
    int count = 0;
    std::error_code error;
    auto directory = "/tmp/vexa-pipes-" + std::to_string(::geteuid());
    for (const auto& entry : std::filesystem::directory_iterator(directory, error)) {
        if (entry.path().filename().string().rfind(pid, 0) == 0) {
            std::printf("     left behind: %s\n", entry.path().c_str());
            ++count;
        }
    }
    return count;
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
    Check(::waitpid(-1, nullptr, WNOHANG) == -1 && errno == ECHILD, "the engine process has ended");
    Check(OwnPipeFiles() == 0, "no socket file of this run is left");
    return g_failures == 0 ? 0 : 1;
}
