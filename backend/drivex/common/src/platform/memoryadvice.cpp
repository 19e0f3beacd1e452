#include "platform/memoryadvice.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

namespace platform {

void AdviseHugePages(void* data, std::size_t bytes) noexcept {
#ifdef MADV_HUGEPAGE
    static const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    const auto start = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (start + page - 1) & ~(page - 1);
    const std::uintptr_t end = (start + bytes) & ~(page - 1);
    // Refusal (no huge pages in this kernel) leaves ordinary pages.
    if (end > first) (void)madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
#else
    (void)data;
    (void)bytes;
#endif
}

}  // namespace platform
