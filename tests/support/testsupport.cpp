#include "testsupport.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "platform/localchannel.h"
#include "platform/process.h"

namespace testsupport {
namespace {
std::atomic<unsigned> g_counter{0};
}

std::string PeerPath(const std::string& name) {
    return std::string(VEXA_TEST_PEER_DIR) + "/" + platform::ExecutableFileName(name);
}

TempDir::TempDir() {
    std::random_device random;
    auto base = std::filesystem::temp_directory_path();
    for (;;) {
        auto candidate = base / ("vexa-test-" + std::to_string(platform::CurrentProcessId()) + "-" +
                                 std::to_string(random()));
        if (std::filesystem::create_directory(candidate)) {
            // Forward slashes, as the library writes paths on every platform.
            m_path = candidate.generic_string();
            return;
        }
    }
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

std::string UniquePipeName(const std::string& tag) {
    return platform::PipeNamePrefix() + "t" + std::to_string(platform::CurrentProcessId()) + "_" +
           std::to_string(g_counter++) + tag;
}

TraceCapture::TraceCapture() : m_tracer(std::make_unique<DxTracer>()), m_previous(GetDxTracer()) {
    m_tracer->open(m_dir.file("capture_trace.log"));
    SetDxTracer(m_tracer.get());
}

TraceCapture::~TraceCapture() { SetDxTracer(m_previous); }

std::string TraceCapture::contents() const { return ReadFile(m_dir.file("capture_trace.log")); }

std::vector<std::string> TraceCapture::lines() const {
    std::istringstream stream(contents());
    std::vector<std::string> texts;
    std::string line;
    std::getline(stream, line);  // banner
    while (std::getline(stream, line)) {
        auto marker = line.find(">>");
        texts.push_back(marker == std::string::npos ? line : line.substr(marker + 2));
    }
    return texts;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void WriteFile(const std::string& path, const std::string& contents) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << contents;
}

const std::string& ConfiguredEngineHome() {
    static TempDir* home = [] {
        auto* dir = new TempDir;
        WriteFile(dir->file("vexadxcfg.ini"),
                  "[SUPPORTED_LANG]\nX=TESTLANG;R\n[TESTLANG]\nLIB_NAME=nosuchlanguage\n");
        return dir;
    }();
    return home->path();
}

}  // namespace testsupport
