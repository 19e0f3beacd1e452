#include "platform/process.h"

// clang-format off
#include <windows.h>
#include <tlhelp32.h>
// clang-format on

#include <malloc.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <utility>

#include "platform/winhandle.h"

namespace platform {
namespace {

using win32::AsHandle;
using win32::AsInt;
using win32::LastErrno;

// A killed child reports what a child killed on POSIX does (128 + 9), so
// callers see one value for it everywhere.
constexpr UINT kKilledExitCode = 137;

// The "NAME=VALUE\0...\0\0" block CreateProcessA reads.
std::string EnvironmentBlock(const std::vector<std::string>& environment) {
    std::string block;
    for (const std::string& entry : environment) {
        block += entry;
        block += '\0';
    }
    block += '\0';
    if (environment.empty()) block += '\0';
    return block;
}

}  // namespace

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
    if (this != &other) {
        Kill();
        m_pid = std::exchange(other.m_pid, -1);
        m_watch = std::move(other.m_watch);
        m_handle = std::move(other.m_handle);
        m_reaped = std::exchange(other.m_reaped, false);
        m_exitStatus = std::exchange(other.m_exitStatus, -1);
    }
    return *this;
}

namespace {

int Start(const std::vector<std::string>& argv, const std::string* environment,
          PROCESS_INFORMATION& started) {
    if (argv.empty() || argv[0].empty()) return EINVAL;
    std::string line = CommandLine(argv);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    void* block = environment ? const_cast<char*>(environment->data()) : nullptr;
    // CreateProcessA may write into the command line, so it gets a copy.
    if (!::CreateProcessA(argv[0].c_str(), line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                          block, nullptr, &startup, &started))
        return LastErrno();
    ::CloseHandle(started.hThread);
    return 0;
}

}  // namespace

int ChildProcess::Spawn(const std::vector<std::string>& argv, ChildProcess& out) {
    PROCESS_INFORMATION started{};
    int error;
    {
        std::lock_guard<std::mutex> guard(EnvironmentLock());
        error = Start(argv, nullptr, started);
    }
    if (error) return error;
    out.Adopt(static_cast<int>(started.dwProcessId));
    out.m_handle.reset(AsInt(started.hProcess));
    return 0;
}

int ChildProcess::Spawn(const std::vector<std::string>& argv,
                        const std::vector<std::string>& environment, ChildProcess& out) {
    const std::string block = EnvironmentBlock(environment);
    PROCESS_INFORMATION started{};
    if (int error = Start(argv, &block, started)) return error;
    out.Adopt(static_cast<int>(started.dwProcessId));
    out.m_handle.reset(AsInt(started.hProcess));
    return 0;
}

void ChildProcess::Adopt(int pid) {
    Kill();
    m_handle.reset();
    m_pid = pid;
    m_reaped = false;
    m_exitStatus = -1;
    // The end is seen by polls that wait on something else too.
    if (ProcessWatch::Open(pid, m_watch) != 0) m_watch = ProcessWatch();
}

bool ChildProcess::Reap(bool block) {
    if (m_pid <= 0 || m_reaped || !m_handle) return true;
    // The handle's signal, not an exit code of 259, tells a running child:
    // a child may end with 259 itself.
    if (::WaitForSingleObject(AsHandle(m_handle.get()), block ? INFINITE : 0) != WAIT_OBJECT_0)
        return false;
    DWORD code = 0;
    m_exitStatus =
        ::GetExitCodeProcess(AsHandle(m_handle.get()), &code) ? static_cast<int>(code) : -1;
    m_reaped = true;
    return true;
}

bool ChildProcess::WaitFor(unsigned milliseconds) {
    if (m_pid <= 0 || m_reaped || !m_handle) return true;
    if (::WaitForSingleObject(AsHandle(m_handle.get()), milliseconds) != WAIT_OBJECT_0)
        return false;
    return Reap(true);
}

void ChildProcess::Kill() {
    if (m_pid <= 0 || m_reaped || !m_handle) return;
    ::TerminateProcess(AsHandle(m_handle.get()), kKilledExitCode);
    Reap(true);
}

std::string ExecutableFileName(const std::string& name) { return name + ".exe"; }

int CurrentProcessId() { return static_cast<int>(::GetCurrentProcessId()); }

std::string CurrentCommandLine() { return ::GetCommandLineA(); }

namespace {

std::uint64_t CreationTime(HANDLE process) {
    FILETIME created, exited, kernel, user;
    if (!::GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
    return (static_cast<std::uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

DWORD RecordedParentId() {
    const HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return 0;
    const UniqueFd owner(AsInt(snapshot));
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    const DWORD self = ::GetCurrentProcessId();
    for (BOOL more = ::Process32First(snapshot, &entry); more;
         more = ::Process32Next(snapshot, &entry)) {
        if (entry.th32ProcessID == self) return entry.th32ParentProcessID;
    }
    return 0;
}

}  // namespace

// Windows records the parent's id and keeps it after the parent ends, when
// another process may take it: the parent counts only while a process of
// that id runs that was created before this one.
int ParentProcessId() {
    const DWORD parent = RecordedParentId();
    if (parent == 0) return 0;
    const HANDLE process =
        ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, parent);
    if (!process) return 0;
    const UniqueFd owner(AsInt(process));
    if (::WaitForSingleObject(process, 0) == WAIT_OBJECT_0) return 0;
    const std::uint64_t parentCreated = CreationTime(process);
    const std::uint64_t selfCreated = CreationTime(::GetCurrentProcess());
    if (parentCreated == 0 || parentCreated > selfCreated) return 0;
    return static_cast<int>(parent);
}

void KillCurrentProcess() {
    ::TerminateProcess(::GetCurrentProcess(), kKilledExitCode);
    ::ExitProcess(kKilledExitCode);
}

void ReleaseFreeMemory() { ::_heapmin(); }

std::string ProgramDirectory(const std::string& programPath) {
    const std::string path = programPath.find_first_of("/\\") == std::string::npos
                                 ? CurrentExecutablePath()
                                 : programPath;
    return path.substr(0, path.find_last_of("/\\"));
}

std::string CurrentExecutablePath() {
    char buffer[MAX_PATH * 4];
    const DWORD length = ::GetModuleFileNameA(nullptr, buffer, sizeof buffer);
    if (length == 0 || length >= sizeof buffer) return {};
    return std::string(buffer, length);
}

std::vector<std::string> CurrentEnvironment() {
    std::lock_guard<std::mutex> guard(EnvironmentLock());
    std::vector<std::string> entries;
    char* block = ::GetEnvironmentStringsA();
    if (!block) return entries;
    for (const char* entry = block; *entry; entry += std::strlen(entry) + 1) {
        // "=C:=C:\dir" entries are the shell's per-drive directories.
        if (*entry != '=') entries.emplace_back(entry);
    }
    ::FreeEnvironmentStringsA(block);
    return entries;
}

int SetEnvironment(const std::string& name, const std::string& value) {
    std::lock_guard<std::mutex> guard(EnvironmentLock());
    // _putenv keeps the runtime's copy and the process block in step; it
    // copies its argument.
    return ::_putenv((name + "=" + value).c_str()) == 0 ? 0 : errno;
}

}  // namespace platform
