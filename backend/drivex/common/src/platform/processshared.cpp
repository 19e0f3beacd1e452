// The parts of ChildProcess and of the environment access that are the same
// on every system.
#include <cstdlib>
#include <utility>

#include "platform/process.h"

namespace platform {

ChildProcess::ChildProcess(ChildProcess&& other) noexcept { *this = std::move(other); }

ChildProcess::~ChildProcess() { Kill(); }

bool ChildProcess::IsActive() { return m_pid > 0 && !Reap(false); }

int ChildProcess::Wait() {
    Reap(true);
    return m_exitStatus;
}

std::mutex& EnvironmentLock() {
    static std::mutex lock;
    return lock;
}

bool GetEnvironment(const std::string& name, std::string& value) {
    std::lock_guard<std::mutex> guard(EnvironmentLock());
    const char* found = std::getenv(name.c_str());
    if (!found) return false;
    value = found;
    return true;
}

}  // namespace platform
