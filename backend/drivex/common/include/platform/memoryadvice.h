// Hints to the system about memory the process is about to fill.
#pragma once

#include <cstddef>

namespace platform {

// Asks for huge pages behind the whole pages inside `bytes` at `data`, where
// the system offers them on request: a buffer of megabytes filled once then
// faults once per huge page instead of once per page. A hint only; where it
// is refused or unknown nothing changes.
void AdviseHugePages(void* data, std::size_t bytes) noexcept;

}  // namespace platform
