#include <unistd.h>

#include "platform/thread.h"

namespace platform {

std::uint32_t CurrentThreadId() {
    thread_local const std::uint32_t id = static_cast<std::uint32_t>(::gettid());
    return id;
}

}  // namespace platform
