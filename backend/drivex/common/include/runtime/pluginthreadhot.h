// A thread object: subclasses put the work in Run, Start runs it on a thread
// of its own. The has-thread flag, return value and auto-delete flag live in a
// control block shared with the running thread and guarded by its mutex.
//
// Owners must end their thread (WaitForStop returning true) before destroying
// a derived object: the derived part is gone while Run may still run. The base
// destructor waits up to 3000 ms and then lets a thread that still runs go on
// alone (detached); the thread no longer touches the object once Run returns.
// With auto-delete set, the object deletes itself after Run and the owner must
// neither touch nor delete it once started.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>

#include "platform/thread.h"

class PlugInThreadHot {
  public:
    PlugInThreadHot();
    PlugInThreadHot(const PlugInThreadHot&) = delete;
    PlugInThreadHot& operator=(const PlugInThreadHot&) = delete;
    virtual ~PlugInThreadHot();

    // False when a thread already runs (or is attached) or creation failed.
    // The stack size is left to the platform.
    bool Start(unsigned stackSize = 0);
    // Runs Run on the calling thread, clears the has-thread flag and stores the
    // result; deletes the object when auto-delete is set.
    std::uint32_t Entry();
    // Adopts the calling thread (which then calls Entry) when none is held.
    bool Attach();
    // No safe way to suspend, resume or kill a POSIX thread: false, no effect.
    bool Suspend() { return false; }
    bool Resume() { return false; }
    virtual bool Terminate() { return false; }

    // True when no thread is left after waiting up to the limit. Never waits on
    // the calling thread itself.
    bool WaitForStop(unsigned milliseconds);
    bool WaitForStop() { return WaitForStop(kDefaultStopWait); }
    // Waits for every object that has a thread; true when none is left running
    // (also when none ran at all), false when count < 1 or one still runs at
    // the limit. Null entries are skipped.
    static bool WaitForMultipleThreads(PlugInThreadHot* const* threads, int count,
                                       unsigned milliseconds);
    static bool WaitForMultipleThreads(PlugInThreadHot* const* threads, int count);

    bool HasThread() const;
    void SetAutoDelete(bool autoDelete);
    bool IsAutoDelete() const;
    std::uint32_t GetReturnValue() const;

    static constexpr unsigned kDefaultStopWait = 3000;

  protected:
    virtual std::uint32_t Run() { return 0; }

  private:
    struct Control;
    using Deadline = std::optional<std::chrono::steady_clock::time_point>;

    bool WaitUntil(Deadline deadline);
    static bool WaitForAll(PlugInThreadHot* const* threads, int count, Deadline deadline);

    std::shared_ptr<Control> m_control;
    // Touched only under the control block's mutex.
    platform::Thread m_thread;
};
