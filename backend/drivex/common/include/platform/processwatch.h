// Watches another process (any process, not only a child) for its end,
// through a process descriptor, so that the end is seen the moment it
// happens and not at the next look. One thread waits; any thread may wake it.
#pragma once

#include "platform/uniquefd.h"
#include "platform/wakeevent.h"

namespace platform {

class ProcessWatch {
  public:
    ProcessWatch() = default;
    ProcessWatch(ProcessWatch&&) noexcept = default;
    ProcessWatch& operator=(ProcessWatch&&) noexcept = default;

    // 0, or errno: ESRCH when no such process runs, ENOSYS without process
    // descriptors.
    static int Open(int pid, ProcessWatch& out);

    bool valid() const { return m_process.valid(); }
    // Blocks until the process has ended (true) or Wake was called (false).
    bool WaitForEnd() { return WaitForEnd(-1); }
    // As WaitForEnd, also false once `milliseconds` have passed; a negative
    // limit waits for ever.
    bool WaitForEnd(int milliseconds);
    // True once the process has ended; does not block.
    bool Ended() const;
    // Ends the WaitForEnd in progress, or the next one at once.
    void Wake();
    // The descriptor that turns readable when the process ends, for a poll
    // of the owner's own.
    int descriptor() const { return m_process.get(); }

  private:
    UniqueFd m_process;
    WakeEvent m_wake;
};

}  // namespace platform
