// Child processes and the facts of the current process. A ChildProcess owns
// its child: destroying the object kills and reaps a child still running, so
// no child outlives a forgotten owner and no zombie is left. Not thread-safe;
// one owner thread at a time.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "platform/processwatch.h"
#include "platform/uniquefd.h"

namespace platform {

class ChildProcess {
  public:
    ChildProcess() = default;
    ChildProcess(ChildProcess&& other) noexcept;
    ChildProcess& operator=(ChildProcess&& other) noexcept;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess();

    // argv[0] is the program path; the child inherits the current environment.
    // Returns 0 or the errno of the failed start.
    static int Spawn(const std::vector<std::string>& argv, ChildProcess& out);
    // The same with an environment of its own ("NAME=VALUE" entries); the
    // current process's environment is left as it is.
    static int Spawn(const std::vector<std::string>& argv,
                     const std::vector<std::string>& environment, ChildProcess& out);

    bool started() const { return m_pid > 0; }
    int pid() const { return m_pid; }
    // True while the child has not ended; reaps it once it has.
    bool IsActive();
    // Waits without limit; returns the exit status (128 + signal when killed).
    int Wait();
    // Waits up to `milliseconds`; true when the child has ended.
    bool WaitFor(unsigned milliseconds);
    // Turns readable when the child ends, for a poll that also waits on
    // something else; -1 when not started or the system has no process
    // descriptors.
    int endDescriptor() const { return m_watch.valid() ? m_watch.descriptor() : -1; }
    // SIGKILL, then reap. No effect once the child has been reaped.
    void Kill();
    int ExitStatus() const { return m_exitStatus; }

  private:
    bool Reap(bool block);
    // Owns the freshly started `pid`, ending a child held before.
    void Adopt(int pid);

    int m_pid = -1;
    ProcessWatch m_watch;
    // The process handle where the system waits through one (Windows).
    UniqueFd m_handle;
    bool m_reaped = false;
    int m_exitStatus = -1;
};

// The command line a child started from `argv` receives where processes get
// one line, not a vector (Windows): every argument after the program preceded
// by one blank, so the line starts with a blank; an argument with a blank
// that does not start with a quote, or an empty one, in double quotes, a
// final backslash doubled so it cannot escape the closing quote.
std::string CommandLine(const std::vector<std::string>& argv);
// This process's command line in that form: on Windows the line the process
// was given, elsewhere the line CommandLine makes of its arguments.
std::string CurrentCommandLine();

// The file name of the program `name` on this system: "name" on POSIX,
// "name.exe" on Windows.
std::string ExecutableFileName(const std::string& name);

int CurrentProcessId();
// The id of the process that started this one while that process runs; 0
// once it has ended (on POSIX: this process was adopted by init).
int ParentProcessId();
// Ends this process at once, as a kill from outside would (exit status 137
// where a killed process has one).
[[noreturn]] void KillCurrentProcess();
// Hands memory the allocator holds free back to the system, after a large
// working set has been released.
void ReleaseFreeMemory();
// The path of the running executable, empty when unknown.
std::string CurrentExecutablePath();
// The directory a program was started from: that of `programPath` (its
// argv[0]) when the path names one, else that of the running executable.
// Without the final separator.
std::string ProgramDirectory(const std::string& programPath);
// The current environment as "NAME=VALUE" entries, in its own order.
std::vector<std::string> CurrentEnvironment();
// Environment access; SetEnvironment serialises with process starts.
bool GetEnvironment(const std::string& name, std::string& value);
// Held by every process start and every read or change of the environment:
// a child never copies an environment that is being changed.
std::mutex& EnvironmentLock();
int SetEnvironment(const std::string& name, const std::string& value);

}  // namespace platform
