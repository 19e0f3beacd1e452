#include "languagetestsupport.h"

#include <cerrno>
#include <filesystem>

#include "platform/dynlib.h"
#include "platform/processwatch.h"

namespace languagetest {

std::string BuildEngineHome() { return VEXA_ENGINE_HOME_DIR; }

std::string LibraryFile(const std::string& stem) { return stem + platform::SharedLibrarySuffix(); }

bool ProcessExists(int pid) {
    platform::ProcessWatch watch;
    const int opened = platform::ProcessWatch::Open(pid, watch);
    // Without a watch (no process descriptors) a process that is not
    // known to be gone counts as running.
    if (opened != 0) return opened != ESRCH;
    return !watch.Ended();
}

EngineHome::EngineHome(const std::string& configuration) {
    namespace fs = std::filesystem;
    for (const fs::directory_entry& entry : fs::directory_iterator(BuildEngineHome())) {
        // The configuration is the test's own; a link would let it write the build's.
        if (entry.path().filename() == "vexadxcfg.ini") continue;
        if (!entry.is_regular_file()) continue;
        // A copy where the system makes no links (Wine).
        const fs::path target = fs::path(path()) / entry.path().filename();
        std::error_code error;
        fs::create_symlink(entry.path(), target, error);
        if (error) fs::copy_file(entry.path(), target);
    }
    testsupport::WriteFile(file("vexadxcfg.ini"), configuration);
}

std::string LanguageCalls(const std::string& libraryPath) {
    platform::DynamicLibrary library;
    std::string error;
    if (platform::DynamicLibrary::Open(libraryPath, library, error) != 0)
        return std::string("<").append(error).append(">");
    auto calls = reinterpret_cast<const char* (*)()>(library.Symbol("vexatestlang_calls", error));
    return calls ? std::string(calls()) : std::string("<").append(error).append(">");
}

std::vector<std::string>& CapturedOutput() {
    static std::vector<std::string> output;
    return output;
}

int CaptureOutput(const char* text, int length) {
    CapturedOutput().emplace_back(text, static_cast<std::size_t>(length));
    return 0;
}

}  // namespace languagetest
