#include "enginelauncher.h"

namespace api {
namespace {

// A live but silent engine must not hang the caller beyond this.
constexpr unsigned kEngineExitGraceMs = 10000;

}  // namespace

int EngineLauncher::Start(const std::vector<std::string>& argv) {
    Reset();
    if (int error = platform::ChildProcess::Spawn(argv, m_child)) return error;
    m_pid = m_child.pid();
    return 0;
}

void EngineLauncher::End() {
    // Cleared before the reap, so that no reused pid is ever named.
    m_pid = 0;
    if (!m_child.WaitFor(kEngineExitGraceMs)) m_child.Kill();
    m_child = platform::ChildProcess();
}

void EngineLauncher::Reset() {
    m_pid = 0;
    m_child = platform::ChildProcess();
}

}  // namespace api
