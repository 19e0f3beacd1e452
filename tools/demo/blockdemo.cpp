#include "blockdemo.h"

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "vexaxd_p.h"

namespace demo {
namespace {

constexpr const char* kPostedPrefix = "output: ";

}  // namespace

int ProgramBlock(const std::string& outputLogPath) {
    const std::string block =
        "BEGIN PROGRAM TESTLANG.\n"
        "post Hello from a program block of the test language.\n"
        "call GetVariableCount\n"
        "pid\n"
        "END PROGRAM.";
    std::printf("program block (test language, run by the engine in a language process):\n");
    const int status = Submit(block.data(), static_cast<int>(block.size()));
    std::printf("  block status: %d\n", status);
    std::ifstream log(outputLogPath);
    const std::string prefix = kPostedPrefix;
    int posted = 0;
    for (std::string line; std::getline(log, line);) {
        if (line.rfind(prefix, 0) != 0) continue;
        std::printf("  posted by the block: %s\n", line.c_str() + prefix.size());
        ++posted;
    }
    std::printf("  this program's process id: %d\n", static_cast<int>(getpid()));
    return status != 0 ? status : posted == 3 ? 0 : 1;
}

}  // namespace demo
