#include "platform/channelwait.h"

#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <string>
#include <thread>

#include "platform/deadline.h"
#include "platform/uniquefd.h"

namespace platform {
namespace {

using Clock = std::chrono::steady_clock;

// A socket file that exists but refuses is being bound this moment, or was
// left by a server that died and is replaced by a new bind (a new entry);
// only the first needs another look soon.
constexpr int kRefusedRetryMs = 5;
// Without a directory watch (inotify unavailable) the attempts are paced.
constexpr int kUnwatchedRetryMs = 10;

bool Missing(int error) { return error == ENOENT || error == ECONNREFUSED; }

// Waits until an entry is created or moved into the watched directory, or
// `milliseconds` have passed.
void AwaitEntry(const UniqueFd& watch, int milliseconds) {
    if (!watch.valid()) {
        std::this_thread::sleep_for(
            std::chrono::milliseconds(std::min(milliseconds, kUnwatchedRetryMs)));
        return;
    }
    pollfd readable{watch.get(), POLLIN, 0};
    if (::poll(&readable, 1, milliseconds) > 0) {
        // The events only wake this wait; the next attempt tells what changed.
        alignas(inotify_event) char events[4096];
        while (::read(watch.get(), events, sizeof events) > 0) {
        }
    }
}

}  // namespace

int ConnectChannelWithin(const std::string& path, ChannelConnection& out, unsigned milliseconds) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    // Watched before the first attempt, so that a bind between a failed
    // attempt and the wait still wakes it.
    const std::size_t slash = path.find_last_of('/');
    const std::string directory = slash == std::string::npos ? "."
                                  : slash == 0               ? "/"
                                                             : path.substr(0, slash);
    UniqueFd watch(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    if (watch.valid() &&
        ::inotify_add_watch(watch.get(), directory.c_str(), IN_CREATE | IN_MOVED_TO) < 0)
        watch.reset();
    for (;;) {
        const int error = ChannelConnection::Connect(path, out);
        if (!Missing(error)) return error;
        const long long left = MillisecondsUntil(deadline);
        if (left == 0) return error;
        const int wait = static_cast<int>(
            error == ECONNREFUSED ? std::min<long long>(left, kRefusedRetryMs) : left);
        AwaitEntry(watch, wait);
    }
}

}  // namespace platform
