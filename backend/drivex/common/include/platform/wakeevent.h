// A flag one thread raises to end another thread's poll at once: its
// descriptor joins that poll and turns readable when the flag is set.
// Set is safe from any thread and from a signal handler.
#pragma once

#include "platform/uniquefd.h"

namespace platform {

class WakeEvent {
  public:
    WakeEvent() = default;
    WakeEvent(WakeEvent&&) noexcept = default;
    WakeEvent& operator=(WakeEvent&&) noexcept = default;

    // 0, or errno when no descriptor can be had.
    static int Open(WakeEvent& out);

    bool valid() const { return m_fd.valid(); }
    // Stays readable until Clear.
    void Set();
    void Clear();
    int descriptor() const { return m_fd.get(); }

  private:
    UniqueFd m_fd;
};

}  // namespace platform
