#include <windows.h>

#include "platform/thread.h"

namespace platform {

std::uint32_t CurrentThreadId() { return static_cast<std::uint32_t>(::GetCurrentThreadId()); }

}  // namespace platform
