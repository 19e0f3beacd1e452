#include "platform/channelwait.h"

#include <cerrno>
#include <chrono>
#include <thread>

namespace platform {

// Windows gives no notice of a new pipe name, so the attempts are paced.
int ConnectChannelWithin(const std::string& path, ChannelConnection& out, unsigned milliseconds) {
    constexpr std::chrono::milliseconds kRetry{10};
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        const int error = ChannelConnection::Connect(path, out);
        if (error != ENOENT || std::chrono::steady_clock::now() >= deadline) return error;
        std::this_thread::sleep_for(kRetry);
    }
}

}  // namespace platform
