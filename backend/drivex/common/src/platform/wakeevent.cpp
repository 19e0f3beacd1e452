#include "platform/wakeevent.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace platform {

int WakeEvent::Open(WakeEvent& out) {
    const int fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (fd < 0) return errno;
    out.m_fd = UniqueFd(fd);
    return 0;
}

void WakeEvent::Set() {
    if (!m_fd.valid()) return;
    const std::uint64_t one = 1;
    // A full counter is readable already; nothing else can fail here.
    [[maybe_unused]] const ssize_t written = ::write(m_fd.get(), &one, sizeof one);
}

void WakeEvent::Clear() {
    if (!m_fd.valid()) return;
    std::uint64_t count = 0;
    // Non-blocking: nothing to take is as good as taken.
    [[maybe_unused]] const ssize_t taken = ::read(m_fd.get(), &count, sizeof count);
}

}  // namespace platform
