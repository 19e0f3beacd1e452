// StartXD, the reference engine. Started by the library's StartVexa:
//   StartXD <temp directory> <process id text> <language name> [<argument text>]
// The argument text may hold "-datafile=<path>" to load another data file
// than the bundled one next to the executable (its "<base>.dict" next to it
// is read when present), "-outputlog=<path>" to append the output log to a
// file as it happens, and "-outputxml=<path>" / "-outputhtml=<path>" to write
// the whole output document, as XML and as an HTML page, kept complete on
// disk from the start (see outputfiles.h). The engine lives as long as the
// process that started it, its client: when that ends, the engine saves its
// output and ends too.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "datafile.h"
#include "enginecodes.h"
#include "engineserver.h"
#include "hosting/dxstartup.h"
#include "hosting/interruptlistener.h"
#include "hosting/partnermonitor.h"
#include "languageblocks.h"
#include "outputfiles.h"
#include "platform/localchannel.h"
#include "platform/process.h"
#include "platform/signalrelay.h"

namespace {

constexpr const char* kBundledDataFile = "iris.csv";
constexpr const char* kDataFileOption = "-datafile=";
constexpr const char* kOutputLogOption = "-outputlog=";
constexpr const char* kOutputXmlOption = "-outputxml=";
constexpr const char* kOutputHtmlOption = "-outputhtml=";

// The value of "<option><value>" up to the next blank; empty when absent.
std::string OptionValue(const std::string& argumentText, const char* option) {
    auto found = argumentText.find(option);
    if (found == std::string::npos) return {};
    auto begin = found + std::char_traits<char>::length(option);
    return argumentText.substr(begin, argumentText.find(' ', begin) - begin);
}

std::string DataFilePath(const std::string& argumentText) {
    std::string given = OptionValue(argumentText, kDataFileOption);
    if (!given.empty()) return given;
    return platform::ProgramDirectory("") + "/" + kBundledDataFile;
}

// The engine home is the directory the engine was started from: the
// configuration, the launchers and the language libraries are there.
std::string EngineHome(const char* programPath) { return platform::ProgramDirectory(programPath); }

// The exit status of an engine whose client ended while it ran.
constexpr int kClientGoneStatus = 3;
// A block of a language loaded here that has not returned this long after
// the shutdown began is abandoned with the process, which ends with this status.
constexpr unsigned kBlockEndLimitMs = 5000;
constexpr int kBlockLeftStatus = 4;
// A request in hand when the client goes is given this long to finish
// before the output is saved without waiting for it.
constexpr auto kSaveLockLimit = std::chrono::milliseconds(500);

// Saves the output and ends the process at once: the client that would read
// anything else is gone, and a program block in hand may never end. The
// engine's language processes watch the engine and end with it.
void EndForLostClient(engine::EngineState& state) {
    if (state.lock.try_lock_for(kSaveLockLimit)) {
        engine::SaveOutput(state);
        state.lock.unlock();
    }
    std::fflush(nullptr);
    // No destructor runs: the socket files bound here would stay behind.
    platform::RemoveOwnChannels();
    ::_exit(kClientGoneStatus);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr,
                     "usage: %s <temp directory> <process id text> <language name> [<arguments>]\n",
                     argv[0]);
        return 2;
    }
    // A Ctrl-C in the client's terminal is the client's; it reaches the
    // engine, if at all, as the interrupt signal (see InterruptListener).
    platform::IgnoreTerminalInterrupt();
    std::string argumentText;
    for (int i = 4; i < argc; ++i) argumentText += std::string(" ") + argv[i];

    engine::EngineServer server(argv[2], argv[3]);
    if (int opened = server.Open()) {
        std::fprintf(stderr, "StartXD: cannot open the pipes (%d)\n", opened);
        return 1;
    }
    engine::EngineState state;
    state.tempDirectory = argv[1];
    const std::string dataFile = DataFilePath(argumentText);
    engine::CsvImportReport report;
    if (!engine::LoadDataFile(dataFile, state.active, report)) {
        std::fprintf(stderr, "StartXD: %s\n", report.error.c_str());
        server.SendReady(engine::kDataFileUnreadable, report.error);
        return 1;
    }
    for (const std::string& note : report.notes) {
        std::fprintf(stderr, "StartXD: %s\n", note.c_str());
        state.log.Add(engine::OutputLog::Kind::kOutput, "Note: " + note);
    }
    const std::string outputLog = OptionValue(argumentText, kOutputLogOption);
    if (!outputLog.empty() && !state.log.AppendTo(outputLog)) {
        const std::string reason = "cannot append to the output log " + outputLog;
        std::fprintf(stderr, "StartXD: %s\n", reason.c_str());
        server.SendReady(engine::kOutputLogUnwritable, reason);
        return 1;
    }
    // The empty document is saved at once: a path that cannot be written
    // fails before any work, and the files are complete from the start.
    engine::OutputFiles outputFiles(OptionValue(argumentText, kOutputXmlOption),
                                    OptionValue(argumentText, kOutputHtmlOption));
    if (outputFiles.Save(state.output, state.log) != 0) {
        const std::string reason = "cannot write the output document " + outputFiles.failedPath();
        std::fprintf(stderr, "StartXD: %s\n", reason.c_str());
        server.SendReady(engine::kOutputDocumentUnwritable, reason);
        return 1;
    }
    state.outputFiles = &outputFiles;
    hosting::PartnerMonitor client([&state] { EndForLostClient(state); });
    // An engine whose starter has already gone (adopted by init) has no
    // client to outlive.
    if (const int starter = platform::ParentProcessId()) client.Watch(starter);
    // The library's state serves the program blocks: the client's names,
    // so that language processes find the pipes of their levels.
    InitDxGlobal(argv[1], argv[2], argv[3], EngineHome(argv[0]));
    const engine::CommandTable commands = engine::BuildCommandTable();
    engine::LanguageBlocks languages(commands);
    state.languages = &languages;
    languages.AdoptClientLanguage(argv[3]);
    hosting::InterruptListener interrupts([&languages] { languages.Interrupt(); });
    interrupts.Listen();
    if (server.SendReady(0) != 0) return 1;
    if (int joined = languages.ConnectClientLanguage()) {
        std::fprintf(stderr, "StartXD: the client's language channel failed (%d)\n", joined);
    }
    int ended = server.Serve(commands, state);
    {
        std::lock_guard<std::timed_mutex> guard(state.lock);
        engine::SaveOutput(state);
    }
    // Stops every language process. A block of a language loaded here that
    // has not returned in time is ended with the process; the output is saved.
    if (!hosting::FinalizeDXGlobalWithin(kBlockEndLimitMs)) {
        std::fflush(nullptr);
        platform::RemoveOwnChannels();
        ::_exit(kBlockLeftStatus);
    }
    return ended == 0 ? 0 : 1;
}
