// StartXD, the reference engine. Started by the library's StartVexa:
//   StartXD <temp directory> <process id text> <language name> [<argument text>]
// The argument text may hold "-datafile=<path>" to load another data file
// than the bundled one next to the executable (its "<base>.dict" next to it
// is read when present), "-outputlog=<path>" to append the output log to a
// file as it happens, and "-outputxml=<path>" / "-outputhtml=<path>" to write
// the whole output document at the end, as XML and as an HTML page.
#include <cstdio>
#include <fstream>
#include <string>

#include "datafile.h"
#include "enginecodes.h"
#include "engineserver.h"
#include "languageblocks.h"
#include "outputhtml.h"
#include "outputxml.h"
#include "platform/process.h"
#include "runtime/dxstartup.h"

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
    std::string executable = platform::CurrentExecutablePath();
    return executable.substr(0, executable.find_last_of('/') + 1) + kBundledDataFile;
}

// A file the output document goes to at the end; opened (and emptied) at the
// start so that a path that cannot be written fails before any work.
class DocumentFile {
public:
    explicit DocumentFile(std::string path) : m_path(std::move(path)) {
        if (!m_path.empty()) m_file.open(m_path, std::ios::out | std::ios::trunc | std::ios::binary);
    }
    bool usable() const { return m_path.empty() || m_file.is_open(); }
    const std::string& path() const { return m_path; }
    void Write(const std::string& text) {
        if (m_file.is_open()) m_file << text << std::flush;
    }

private:
    std::string m_path;
    std::ofstream m_file;
};

// The engine home is the directory the engine was started from: the
// configuration, the launchers and the language libraries are there.
std::string EngineHome(const char* programPath) {
    std::string path = programPath;
    if (path.find('/') == std::string::npos) path = platform::CurrentExecutablePath();
    return path.substr(0, path.find_last_of('/'));
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
        std::fprintf(stderr, "StartXD: cannot append to %s\n", outputLog.c_str());
        server.SendReady(engine::kOutputLogUnwritable);
        return 1;
    }
    DocumentFile xmlFile(OptionValue(argumentText, kOutputXmlOption));
    DocumentFile htmlFile(OptionValue(argumentText, kOutputHtmlOption));
    for (const DocumentFile* file : {&xmlFile, &htmlFile}) {
        if (!file->usable()) {
            std::fprintf(stderr, "StartXD: cannot write %s\n", file->path().c_str());
            server.SendReady(engine::kOutputDocumentUnwritable);
            return 1;
        }
    }
    // The library's state serves the program blocks: the client's names,
    // so that language processes find the pipes of their levels.
    InitDxGlobal(argv[1], argv[2], argv[3], EngineHome(argv[0]));
    const engine::CommandTable commands = engine::BuildCommandTable();
    engine::LanguageBlocks languages(commands);
    state.languages = &languages;
    languages.AdoptClientLanguage(argv[3]);
    if (server.SendReady(0) != 0) return 1;
    if (int joined = languages.ConnectClientLanguage()) {
        std::fprintf(stderr, "StartXD: the client's language channel failed (%d)\n", joined);
    }
    int ended = server.Serve(commands, state);
    // Stops every language process.
    FinalizeDXGlobal();
    xmlFile.Write(engine::OutputXml(state.output, state.log));
    htmlFile.Write(engine::OutputHtml(state.output, state.log));
    return ended == 0 ? 0 : 1;
}
