#include "apitestsupport.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "leftovers.h"
#include "platform/localchannel.h"
#include "platform/process.h"
#include "vexaxd_p.h"

namespace apitest {
namespace {

std::string PidText() {
    char text[16];
    std::snprintf(text, sizeof text, "%04x", static_cast<unsigned>(platform::CurrentProcessId()));
    return text;
}

}  // namespace

std::string LevelZeroPipe(const std::string& language, const std::string& constant) {
    return platform::PipeNamePrefix() + PidText() + language + "0" + constant;
}

std::string PeerPath(const std::string& name) {
    return std::string(VEXA_TEST_PEER_DIR) + "/" + platform::ExecutableFileName(name);
}

std::vector<std::string> OwnPipeFiles() { return OwnChannels(); }

void AttachAsRunning() {
    SetXNameAndSHome("APITEST", "");
    SetVexaRunning(true);
}

TempPath::TempPath(const std::string& tag)
    : m_path(std::filesystem::temp_directory_path().generic_string() + "/apitest-" + PidText() +
             "-" + tag) {
    std::filesystem::remove(m_path);
}

TempPath::~TempPath() {
    std::error_code error;
    std::filesystem::remove(m_path, error);
}

std::string FileContent(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

std::vector<std::string> ScriptPeer(const std::string& record,
                                    const std::vector<std::string>& replies) {
    std::vector<std::string> argv{PeerPath("scriptpeer"), LevelZeroPipe("APITEST", "xdapi"),
                                  LevelZeroPipe("APITEST", "xdapiresult"), record};
    argv.insert(argv.end(), replies.begin(), replies.end());
    return argv;
}

std::vector<Image> RecordedImages(const std::string& record) {
    std::vector<Image> images;
    std::istringstream lines(FileContent(record));
    for (std::string line; std::getline(lines, line);) {
        Image image;
        for (std::size_t i = 0; i + 1 < line.size(); i += 2) {
            image.push_back(static_cast<unsigned char>(std::stoi(line.substr(i, 2), nullptr, 16)));
        }
        images.push_back(image);
    }
    return images;
}

Image WithEmptyTail(Image head) {
    head.insert(head.end(), 28, 0);
    return head;
}

Child::Child(const std::vector<std::string>& argv) {
    // A child that did not start fails the test through what it never answers.
    static_cast<void>(platform::ChildProcess::Spawn(argv, m_process));
}

Child::~Child() { m_process.Kill(); }

int Child::Wait() { return m_process.started() ? m_process.Wait() : -1; }

}  // namespace apitest
