#include "platform/process.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <utility>

extern char** environ;

namespace platform {
namespace {

// The environment must not change while a child copies it.
std::mutex& EnvironmentLock() {
    static std::mutex lock;
    return lock;
}

int DecodeStatus(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

}  // namespace

ChildProcess::ChildProcess(ChildProcess&& other) noexcept { *this = std::move(other); }

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
    if (this != &other) {
        Kill();
        m_pid = std::exchange(other.m_pid, -1);
        m_reaped = std::exchange(other.m_reaped, false);
        m_exitStatus = std::exchange(other.m_exitStatus, -1);
    }
    return *this;
}

ChildProcess::~ChildProcess() { Kill(); }

int ChildProcess::Spawn(const std::vector<std::string>& argv, ChildProcess& out) {
    if (argv.empty() || argv[0].empty()) return EINVAL;
    std::vector<char*> vector;
    vector.reserve(argv.size() + 1);
    for (const std::string& argument : argv) vector.push_back(const_cast<char*>(argument.c_str()));
    vector.push_back(nullptr);
    pid_t pid = -1;
    int error;
    {
        std::lock_guard<std::mutex> guard(EnvironmentLock());
        error = ::posix_spawn(&pid, vector[0], nullptr, nullptr, vector.data(), environ);
    }
    if (error) return error;
    out.Kill();
    out.m_pid = pid;
    out.m_reaped = false;
    out.m_exitStatus = -1;
    return 0;
}

bool ChildProcess::Reap(bool block) {
    if (m_pid <= 0 || m_reaped) return true;
    int status = 0;
    for (;;) {
        pid_t result = ::waitpid(m_pid, &status, block ? 0 : WNOHANG);
        if (result == m_pid) {
            m_reaped = true;
            m_exitStatus = DecodeStatus(status);
            return true;
        }
        if (result == 0) return false;
        if (errno == EINTR) continue;
        // Someone else reaped it; the child is gone either way.
        m_reaped = true;
        return true;
    }
}

bool ChildProcess::IsActive() { return m_pid > 0 && !Reap(false); }

int ChildProcess::Wait() {
    Reap(true);
    return m_exitStatus;
}

bool ChildProcess::WaitFor(unsigned milliseconds) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    auto pause = std::chrono::milliseconds(1);
    while (!Reap(false)) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(pause);
        if (pause < std::chrono::milliseconds(20)) pause *= 2;
    }
    return true;
}

void ChildProcess::Kill() {
    if (m_pid <= 0 || m_reaped) return;
    ::kill(m_pid, SIGKILL);
    Reap(true);
}

int CurrentProcessId() { return static_cast<int>(::getpid()); }

std::string CurrentExecutablePath() {
    char buffer[4096];
    ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer);
    if (length <= 0 || static_cast<size_t>(length) >= sizeof buffer) return {};
    return std::string(buffer, static_cast<size_t>(length));
}

bool GetEnvironment(const std::string& name, std::string& value) {
    std::lock_guard<std::mutex> guard(EnvironmentLock());
    const char* found = std::getenv(name.c_str());
    if (!found) return false;
    value = found;
    return true;
}

int SetEnvironment(const std::string& name, const std::string& value) {
    std::lock_guard<std::mutex> guard(EnvironmentLock());
    return ::setenv(name.c_str(), value.c_str(), 1) == 0 ? 0 : errno;
}

}  // namespace platform
