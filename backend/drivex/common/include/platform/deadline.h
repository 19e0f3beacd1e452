// The time left before a deadline, as the whole milliseconds a timed wait of
// the operating system takes.
#pragma once

#include <chrono>

namespace platform {

// Rounded up, so that a wait of that length never ends before the deadline (a
// truncated one could wake, and give up, up to 1 ms early); 0 once it has
// passed.
inline long long MillisecondsUntil(std::chrono::steady_clock::time_point deadline) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return left.count() > 0 ? left.count() : 0;
}

}  // namespace platform
