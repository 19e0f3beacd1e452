#include "platform/signalrelay.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>

namespace platform {
namespace {

// The write end of each signal's relay plus one, read by the handler; zero
// (as before any static construction) means none.
std::atomic<int> g_relayFds[NSIG];

void Relay(int signal) {
    const int saved = errno;
    const int fd = g_relayFds[signal].load() - 1;
    const char byte = 1;
    if (fd >= 0) {
        // A full pipe already holds a wake-up.
        [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
    }
    errno = saved;
}

}  // namespace

int SendInterrupt(int pid) {
    if (pid <= 0) return ESRCH;
    return ::kill(pid, kInterruptSignal) == 0 ? 0 : errno;
}

void IgnoreTerminalInterrupt() { ::signal(SIGINT, SIG_IGN); }

SignalRelay::~SignalRelay() {
    if (m_signal == 0) return;
    ::sigaction(m_signal, &m_previous, nullptr);
    g_relayFds[m_signal].store(0);
}

int SignalRelay::Install(int signal) {
    if (signal <= 0 || signal >= NSIG) return EINVAL;
    if (m_signal != 0 || g_relayFds[signal].load() != 0) return EBUSY;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return errno;
    m_read = UniqueFd(fds[0]);
    m_write = UniqueFd(fds[1]);
    const int wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake < 0) return errno;
    m_wake = UniqueFd(wake);
    g_relayFds[signal].store(m_write.get() + 1);
    struct sigaction action {};
    action.sa_handler = Relay;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    if (::sigaction(signal, &action, &m_previous) != 0) {
        const int error = errno;
        g_relayFds[signal].store(0);
        return error;
    }
    m_signal = signal;
    return 0;
}

bool SignalRelay::Wait() {
    if (m_signal == 0) return false;
    pollfd fds[2] = {{m_read.get(), POLLIN, 0}, {m_wake.get(), POLLIN, 0}};
    for (;;) {
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (fds[1].revents != 0) {
            // Taken, so that the next wait waits again.
            std::uint64_t wakes = 0;
            [[maybe_unused]] const ssize_t taken = ::read(m_wake.get(), &wakes, sizeof wakes);
            return false;
        }
        char bytes[64];
        while (::read(m_read.get(), bytes, sizeof bytes) > 0) {
        }
        return true;
    }
}

void SignalRelay::Wake() {
    if (!m_wake.valid()) return;
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(m_wake.get(), &one, sizeof one);
}

}  // namespace platform
