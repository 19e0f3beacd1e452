#include "javablocks.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <limits>
#include <vector>

#include "codec/javaextensionsmb.h"
#include "commandtext.h"
#include "enginecodes.h"
#include "hosting/dxstartup.h"
#include "platform/localchannel.h"
#include "platform/process.h"
#include "transport/xpipemanager.h"

namespace engine {
namespace {

// The name goes onto the Java command line and, in package mode, into a
// jar's file name: nothing that could leave a directory or split a word.
bool IsCommandName(std::string_view name) {
    if (name.empty()) return false;
    for (char c : name) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                           (c >= '0' && c <= '9') || c == '_' || c == '-' || c == '.';
        if (!plain) return false;
    }
    return true;
}

std::vector<std::string> FileLines(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) lines.push_back(std::move(line));
    return lines;
}

std::string PrivateDirectory(std::string tempDirectory) {
    while (tempDirectory.size() > 1 && tempDirectory.back() == '/') tempDirectory.pop_back();
    return tempDirectory + "/vexajava-" + std::to_string(platform::CurrentProcessId());
}

bool CreateEmpty(const std::string& path) {
    std::ofstream file(path, std::ios::out | std::ios::trunc | std::ios::binary);
    return file.is_open();
}

}  // namespace

int ParseJavaBlock(const ProgramBlock& block, JavaBlockMessage& message) {
    std::vector<std::string_view> lines;
    for (const std::string& line : block.lines) {
        if (!Trim(line).empty()) lines.push_back(line);
    }
    if (lines.empty() || lines.size() > 2) return kBadJavaBlock;
    const std::string_view command = Trim(lines[0]);
    if (!IsCommandName(command)) return kBadJavaBlock;
    std::string data = lines.size() == 2 ? std::string(lines[1]) : std::string();
    data += '\n';
    if (data.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
        return kBadJavaBlock;
    }
    message.command = std::string(command);
    message.data = std::move(data);
    return 0;
}

JavaBlockRun::JavaBlockRun(const JavaBlockMessage& message, const std::string& tempDirectory)
    : m_message(message), m_directory(PrivateDirectory(tempDirectory)) {}

JavaBlockRun::~JavaBlockRun() {
    if (!m_prepared) return;
    Started();
    if (GetJavaExtSocket() == &m_socket) SetavaExtSocket(nullptr);
    m_socket.CloseSocket();
    // A message the host never sent must not go out with a later block.
    JavaExtensionSmb::CleanUp();
    std::error_code ignored;
    std::filesystem::remove(OutputFile(), ignored);
    std::filesystem::remove(ErrorsFile(), ignored);
    std::filesystem::remove(m_directory, ignored);
}

int JavaBlockRun::Prepare() {
    // Private, so that no other user can read the output or plant a link
    // where the Java program will write.
    if (platform::EnsurePrivateDirectory(m_directory) != 0) return kTempFileUnwritable;
    m_prepared = true;
    if (!CreateEmpty(OutputFile()) || !CreateEmpty(ErrorsFile())) return kTempFileUnwritable;
    if (platform::SetEnvironment(kOutputVariable, OutputFile()) != 0 ||
        platform::SetEnvironment(kErrorsVariable, ErrorsFile()) != 0 ||
        platform::SetEnvironment(kPipesVariable, GetXPipeManager()->getPipePid()) != 0) {
        return kTempFileUnwritable;
    }
    JavaExtensionSmb::SetCommandName(m_message.command);
    JavaExtensionSmb::SetExtensionPath("");
    JavaExtensionSmb::SetPackageMode(false);
    JavaExtensionSmb::SetDataLen(static_cast<std::int32_t>(m_message.data.size()));
    JavaExtensionSmb::SetSendBuf(m_message.data.data());
    SetavaExtSocket(&m_socket);
    return 0;
}

void JavaBlockRun::Started() {
    // The platform layer cannot remove a variable; an empty value names no file.
    platform::SetEnvironment(kOutputVariable, "");
    platform::SetEnvironment(kErrorsVariable, "");
    platform::SetEnvironment(kPipesVariable, "");
}

void JavaBlockRun::PostOutput(OutputLog& log, int exitStatus) const {
    for (std::string& line : FileLines(OutputFile()))
        log.Add(OutputLog::Kind::kOutput, std::move(line));
    for (std::string& line : FileLines(ErrorsFile()))
        log.Add(OutputLog::Kind::kOutput, std::move(line));
    if (exitStatus != 0) {
        log.Add(OutputLog::Kind::kOutput, "JAVAEXTENSION " + m_message.command +
                                              ": the Java program ended with exit status " +
                                              std::to_string(exitStatus));
    }
}

}  // namespace engine
