#include "platform/processwatch.h"

#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>

#include "platform/deadline.h"

namespace platform {

int ProcessWatch::Open(int pid, ProcessWatch& out) {
    if (pid <= 0) return ESRCH;
    const long process = ::syscall(SYS_pidfd_open, static_cast<pid_t>(pid), 0);
    if (process < 0) return errno;
    UniqueFd processFd(static_cast<int>(process));
    WakeEvent wake;
    if (int error = WakeEvent::Open(wake)) return error;
    out.m_process = std::move(processFd);
    out.m_wake = std::move(wake);
    return 0;
}

bool ProcessWatch::WaitForEnd(int milliseconds) {
    if (!valid()) return false;
    pollfd fds[2] = {{m_process.get(), POLLIN, 0}, {m_wake.descriptor(), POLLIN, 0}};
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        int wait = milliseconds;
        if (milliseconds >= 0) wait = static_cast<int>(MillisecondsUntil(deadline));
        const int ready = ::poll(fds, 2, wait);
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return false;
        if (fds[0].revents != 0) return true;
        // Taken, so that the next wait waits again.
        m_wake.Clear();
        return false;
    }
}

bool ProcessWatch::Ended() const {
    if (!valid()) return false;
    pollfd fd{m_process.get(), POLLIN, 0};
    return ::poll(&fd, 1, 0) > 0 && fd.revents != 0;
}

void ProcessWatch::Wake() { m_wake.Set(); }

}  // namespace platform
