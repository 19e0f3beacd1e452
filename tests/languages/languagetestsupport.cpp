#include "languagetestsupport.h"

#include <filesystem>

#include "platform/dynlib.h"

namespace languagetest {

std::string BuildEngineHome() { return VEXA_ENGINE_HOME_DIR; }

EngineHome::EngineHome(const std::string& configuration) {
    namespace fs = std::filesystem;
    for (const fs::directory_entry& entry : fs::directory_iterator(BuildEngineHome())) {
        // The configuration is the test's own; a link would let it write the build's.
        if (entry.path().filename() == "vexadxcfg.ini") continue;
        if (entry.is_regular_file())
            fs::create_symlink(entry.path(), fs::path(path()) / entry.path().filename());
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
