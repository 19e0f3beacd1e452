#include "apitestsupport.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "vexaxd_p.h"

extern char** environ;

namespace apitest {
namespace {

std::string PipeDirectory() { return "/tmp/vexa-pipes-" + std::to_string(::geteuid()); }

std::string PidText() {
    char text[16];
    std::snprintf(text, sizeof text, "%04x", static_cast<unsigned>(::getpid()));
    return text;
}

}  // namespace

std::string LevelZeroPipe(const std::string& language, const std::string& constant) {
    return PipeDirectory() + "/" + PidText() + language + "0" + constant;
}

std::string PeerPath(const std::string& name) {
    return std::string(VEXA_TEST_PEER_DIR) + "/" + name;
}

std::vector<std::string> OwnPipeFiles() {
    std::vector<std::string> files;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(PipeDirectory(), error)) {
        std::string name = entry.path().filename().string();
        if (name.rfind(PidText(), 0) == 0) files.push_back(name);
    }
    return files;
}

void AttachAsRunning() {
    SetXNameAndSHome("APITEST", "");
    SetVexaRunning(true);
}

TempPath::TempPath(const std::string& tag) : m_path("/tmp/apitest-" + PidText() + "-" + tag) {
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
    std::vector<char*> vector;
    for (const auto& argument : argv) vector.push_back(const_cast<char*>(argument.c_str()));
    vector.push_back(nullptr);
    pid_t pid;
    if (::posix_spawn(&pid, vector[0], nullptr, nullptr, vector.data(), environ) == 0) m_pid = pid;
}

Child::~Child() {
    if (m_pid <= 0) return;
    ::kill(m_pid, SIGKILL);
    ::waitpid(m_pid, nullptr, 0);
}

int Child::Wait() {
    int status = 0;
    if (m_pid <= 0 || ::waitpid(m_pid, &status, 0) != m_pid) return -1;
    m_pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace apitest
