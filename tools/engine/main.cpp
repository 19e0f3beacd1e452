// StartXD, the reference engine. Started by the library's StartVexa:
//   StartXD <temp directory> <process id text> <language name> [<argument text>]
// The argument text may hold "-datafile=<path>" to load another data file
// than the bundled one next to the executable.
#include <cstdio>
#include <string>

#include "csvreader.h"
#include "enginecodes.h"
#include "engineserver.h"
#include "platform/process.h"

namespace {

constexpr const char* kBundledDataFile = "iris.csv";
constexpr const char* kDataFileOption = "-datafile=";

std::string DataFilePath(const std::string& argumentText) {
    auto option = argumentText.find(kDataFileOption);
    if (option != std::string::npos) {
        auto begin = option + std::char_traits<char>::length(kDataFileOption);
        return argumentText.substr(begin, argumentText.find(' ', begin) - begin);
    }
    std::string executable = platform::CurrentExecutablePath();
    return executable.substr(0, executable.find_last_of('/') + 1) + kBundledDataFile;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s <temp directory> <process id text> <language name> [<arguments>]\n",
                     argv[0]);
        return 2;
    }
    std::string argumentText;
    for (int i = 4; i < argc; ++i) argumentText += std::string(" ") + argv[i];

    engine::EngineServer server(argv[2], argv[3]);
    if (int opened = server.Open()) {
        std::fprintf(stderr, "StartXD: cannot open the pipes (%d)\n", opened);
        return 1;
    }
    engine::EngineState state;
    std::string error;
    const std::string dataFile = DataFilePath(argumentText);
    if (!engine::ReadCsvFile(dataFile, state.active, error)) {
        std::fprintf(stderr, "StartXD: %s\n", error.c_str());
        server.SendReady(engine::kDataFileUnreadable);
        return 1;
    }
    if (server.SendReady(0) != 0) return 1;
    int ended = server.Serve(engine::BuildCommandTable(), state);
    return ended == 0 ? 0 : 1;
}
