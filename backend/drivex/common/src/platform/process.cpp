#include "platform/process.h"

#include <malloc.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <thread>
#include <utility>

#include "platform/deadline.h"

extern char** environ;

namespace platform {
namespace {

int DecodeStatus(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

// The null-terminated pointer vector posix_spawn reads; the strings stay owned
// by the caller.
std::vector<char*> PointerVector(const std::vector<std::string>& strings) {
    std::vector<char*> vector;
    vector.reserve(strings.size() + 1);
    for (const std::string& text : strings) vector.push_back(const_cast<char*>(text.c_str()));
    vector.push_back(nullptr);
    return vector;
}

}  // namespace

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
    if (this != &other) {
        Kill();
        m_pid = std::exchange(other.m_pid, -1);
        m_watch = std::move(other.m_watch);
        m_reaped = std::exchange(other.m_reaped, false);
        m_exitStatus = std::exchange(other.m_exitStatus, -1);
    }
    return *this;
}

int ChildProcess::Spawn(const std::vector<std::string>& argv, ChildProcess& out) {
    if (argv.empty() || argv[0].empty()) return EINVAL;
    std::vector<char*> vector = PointerVector(argv);
    pid_t pid = -1;
    int error;
    {
        std::lock_guard<std::mutex> guard(EnvironmentLock());
        error = ::posix_spawn(&pid, vector[0], nullptr, nullptr, vector.data(), environ);
    }
    if (error) return error;
    out.Adopt(pid);
    return 0;
}

int ChildProcess::Spawn(const std::vector<std::string>& argv,
                        const std::vector<std::string>& environment, ChildProcess& out) {
    if (argv.empty() || argv[0].empty()) return EINVAL;
    std::vector<char*> vector = PointerVector(argv);
    std::vector<char*> block = PointerVector(environment);
    pid_t pid = -1;
    if (int error = ::posix_spawn(&pid, vector[0], nullptr, nullptr, vector.data(), block.data()))
        return error;
    out.Adopt(pid);
    return 0;
}

void ChildProcess::Adopt(int pid) {
    Kill();
    m_pid = pid;
    m_reaped = false;
    m_exitStatus = -1;
    // Without it, waits fall back to looking now and then.
    if (ProcessWatch::Open(pid, m_watch) != 0) m_watch = ProcessWatch();
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

bool ChildProcess::WaitFor(unsigned milliseconds) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    auto pause = std::chrono::milliseconds(1);
    while (!Reap(false)) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) return false;
        if (m_watch.valid()) {
            // Woken by the end itself; the reap that follows collects it.
            m_watch.WaitForEnd(static_cast<int>(MillisecondsUntil(deadline)));
            continue;
        }
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

std::string ExecutableFileName(const std::string& name) { return name; }

int CurrentProcessId() { return static_cast<int>(::getpid()); }

std::string CurrentCommandLine() {
    std::ifstream file("/proc/self/cmdline", std::ios::binary);
    std::vector<std::string> argv;
    for (std::string argument; std::getline(file, argument, '\0');) argv.push_back(argument);
    return CommandLine(argv);
}

int ParentProcessId() {
    const pid_t parent = ::getppid();
    return parent > 1 ? static_cast<int>(parent) : 0;
}

void KillCurrentProcess() {
    ::kill(::getpid(), SIGKILL);
    ::_exit(137);
}

void ReleaseFreeMemory() { ::malloc_trim(0); }

std::string ProgramDirectory(const std::string& programPath) {
    const std::string path =
        programPath.find('/') == std::string::npos ? CurrentExecutablePath() : programPath;
    return path.substr(0, path.find_last_of('/'));
}

std::string CurrentExecutablePath() {
    char buffer[4096];
    ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer);
    if (length <= 0 || static_cast<size_t>(length) >= sizeof buffer) return {};
    return std::string(buffer, static_cast<size_t>(length));
}

std::vector<std::string> CurrentEnvironment() {
    std::lock_guard<std::mutex> guard(EnvironmentLock());
    std::vector<std::string> entries;
    for (char** entry = environ; entry && *entry; ++entry) entries.emplace_back(*entry);
    return entries;
}

int SetEnvironment(const std::string& name, const std::string& value) {
    std::lock_guard<std::mutex> guard(EnvironmentLock());
    return ::setenv(name.c_str(), value.c_str(), 1) == 0 ? 0 : errno;
}

}  // namespace platform
