// The parts of ChildProcess that are the same on every system.
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

}  // namespace platform
