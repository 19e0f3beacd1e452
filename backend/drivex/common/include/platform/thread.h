// Move-only owner of one native thread. The destructor never destroys a
// running thread: a thread still joinable is detached. Not thread-safe; one
// owner at a time (the body itself may run concurrently with the owner).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

namespace platform {

// Kernel id of the calling thread; never 0.
std::uint32_t CurrentThreadId();

class Thread {
  public:
    Thread() = default;
    Thread(Thread&& other) noexcept = default;
    Thread& operator=(Thread&& other) noexcept;
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;
    ~Thread();

    // Returns 0 or the errno of the failed creation. A thread already held is
    // joined first (detached when it is the calling thread).
    int Start(std::function<void()> body);

    bool joinable() const { return m_thread.joinable(); }
    // True when the calling thread is the one held.
    bool IsCurrent() const;
    // Waits without limit; false when there is nothing to join or the calling
    // thread is the one held.
    bool Join();
    // Waits until the body has returned or the limit passed; joins and returns
    // true when it returned.
    bool JoinFor(unsigned milliseconds);
    void Detach();

  private:
    struct DoneFlag;

    std::thread m_thread;
    std::shared_ptr<DoneFlag> m_done;
};

}  // namespace platform
