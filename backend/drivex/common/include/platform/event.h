// A signalled/unsignalled flag threads wait on. Manual reset: stays signalled
// and releases every waiter until Reset. Automatic reset: each signal releases
// one waiter. Thread-safe; not movable while threads may wait on it.
#pragma once

#include <condition_variable>
#include <mutex>

namespace platform {

class Event {
  public:
    Event(bool manualReset, bool initiallySignalled)
        : m_manualReset(manualReset), m_signalled(initiallySignalled) {}
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void Set();
    void Reset();
    void Wait();
    // True when signalled within the limit.
    bool WaitFor(unsigned milliseconds);
    bool IsManualReset() const { return m_manualReset; }

  private:
    // Caller holds m_mutex and m_signalled is true.
    void Consume();

    const bool m_manualReset;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_signalled;
};

}  // namespace platform
