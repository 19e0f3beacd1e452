// A small external-driver program: starts the reference engine through the
// library, prints what it reads and stops it.
//   vexademo <engine home>
#include <cstdio>
#include <string>

#include "vexaxd_p.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <engine home>\n", argv[0]);
        return 2;
    }
    const std::string arguments = std::string("-vexahome=") + argv[1];
    int started = StartVexa(arguments.c_str());
    std::printf("StartVexa: %d\n", started);
    if (started != 0) return 1;
    std::printf("ready: %s\n", IsBackendReady() ? "yes" : "no");
    std::printf("driven by this program: %s\n", IsXDriven() ? "yes" : "no");
    int err = 0;
    int variables = GetVariableCount(&err);
    std::printf("variables in the active dataset: %d (status %d)\n", variables, err);
    StopVexa();
    std::printf("stopped; ready: %s\n", IsBackendReady() ? "yes" : "no");
    return err == 0 ? 0 : 1;
}
