#include "platform/memoryadvice.h"

namespace platform {

// Large pages on Windows need a privilege and their own allocation; ordinary
// pages stay.
void AdviseHugePages(void*, std::size_t) noexcept {}

}  // namespace platform
