// One pointer per thread, disposed of by a given function when its thread
// ends. For a per-thread cache that must not be a thread_local object with a
// destructor: the Windows toolchain may run such a destructor after the
// thread's own storage is gone. Get and Set act on the calling thread's
// pointer; the slot itself lives as long as the process.
#pragma once

#include <cstdint>

namespace platform {

class ThreadSlot {
  public:
    using Dispose = void (*)(void*);

    explicit ThreadSlot(Dispose dispose);
    ThreadSlot(const ThreadSlot&) = delete;
    ThreadSlot& operator=(const ThreadSlot&) = delete;

    // Null until this thread sets it.
    void* Get() const;
    // False when the system has no room for the pointer.
    bool Set(void* value);

  private:
    std::uintptr_t m_key = 0;
    bool m_valid = false;
};

}  // namespace platform
