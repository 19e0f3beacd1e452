#include "platform/processwatch.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>

namespace platform {

int ProcessWatch::Open(int pid, ProcessWatch& out) {
    if (pid <= 0) return ESRCH;
    const long process = ::syscall(SYS_pidfd_open, static_cast<pid_t>(pid), 0);
    if (process < 0) return errno;
    UniqueFd processFd(static_cast<int>(process));
    const int wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake < 0) return errno;
    out.m_process = std::move(processFd);
    out.m_wake = UniqueFd(wake);
    return 0;
}

bool ProcessWatch::WaitForEnd(int milliseconds) {
    if (!valid()) return false;
    pollfd fds[2] = {{m_process.get(), POLLIN, 0}, {m_wake.get(), POLLIN, 0}};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        int wait = milliseconds;
        if (milliseconds >= 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            wait = static_cast<int>(std::max<long long>(0, left.count()));
        }
        const int ready = ::poll(fds, 2, wait);
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return false;
        if (fds[0].revents != 0) return true;
        // Taken, so that the next wait waits again.
        std::uint64_t wakes = 0;
        [[maybe_unused]] const ssize_t taken = ::read(m_wake.get(), &wakes, sizeof wakes);
        return false;
    }
}

bool ProcessWatch::Ended() const {
    if (!valid()) return false;
    pollfd fd{m_process.get(), POLLIN, 0};
    return ::poll(&fd, 1, 0) > 0 && fd.revents != 0;
}

void ProcessWatch::Wake() {
    if (!m_wake.valid()) return;
    const std::uint64_t one = 1;
    // A full counter already wakes the waiter; nothing else can fail here.
    [[maybe_unused]] const ssize_t written = ::write(m_wake.get(), &one, sizeof one);
}

}  // namespace platform
