// A lock its owner thread may take again; every Lock needs one Unlock by the
// same thread. Not movable: threads may be waiting on it.
#pragma once

#include <mutex>

namespace platform {

class RecursiveMutex {
  public:
    RecursiveMutex() = default;
    RecursiveMutex(const RecursiveMutex&) = delete;
    RecursiveMutex& operator=(const RecursiveMutex&) = delete;

    void Lock() { m_mutex.lock(); }
    bool TryLock() { return m_mutex.try_lock(); }
    void Unlock() { m_mutex.unlock(); }

  private:
    std::recursive_mutex m_mutex;
};

}  // namespace platform
