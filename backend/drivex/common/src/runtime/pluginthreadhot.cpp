#include "runtime/pluginthreadhot.h"

#include <condition_variable>
#include <mutex>

struct PlugInThreadHot::Control {
    std::mutex mutex;
    std::condition_variable ended;
    bool hasThread = false;
    bool autoDelete = false;
    // False once the destructor has started: the running thread must then
    // leave the object alone.
    bool objectAlive = true;
    // Id of the thread running (or attached to) Run; 0 when none.
    std::uint32_t runner = 0;
    std::uint32_t returnValue = 0;
};

PlugInThreadHot::PlugInThreadHot() : m_control(std::make_shared<Control>()) {}

PlugInThreadHot::~PlugInThreadHot() {
    {
        std::lock_guard<std::mutex> guard(m_control->mutex);
        m_control->autoDelete = false;
    }
    WaitForStop(kDefaultStopWait);
    std::lock_guard<std::mutex> guard(m_control->mutex);
    m_control->objectAlive = false;
    if (!m_control->hasThread) m_thread.Join();
    // A joinable thread must never be destroyed; one still running goes on alone.
    m_thread.Detach();
}

bool PlugInThreadHot::Start(unsigned) {
    std::lock_guard<std::mutex> guard(m_control->mutex);
    if (m_control->hasThread) return false;
    m_control->hasThread = true;
    // Entry takes the control mutex after Run, so it cannot finish before the
    // new thread is stored.
    if (m_thread.Start([this] { Entry(); }) != 0) {
        m_control->hasThread = false;
        return false;
    }
    return true;
}

std::uint32_t PlugInThreadHot::Entry() {
    // A share of its own: the object may be destroyed while Run still runs.
    std::shared_ptr<Control> control = m_control;
    {
        std::lock_guard<std::mutex> guard(control->mutex);
        if (!control->objectAlive) {
            control->hasThread = false;
            control->ended.notify_all();
            return 0;
        }
        control->runner = platform::CurrentThreadId();
    }
    std::uint32_t value;
    try {
        value = Run();
    } catch (...) {
        value = static_cast<std::uint32_t>(-1);
    }
    std::unique_lock<std::mutex> lock(control->mutex);
    control->hasThread = false;
    control->runner = 0;
    control->returnValue = value;
    control->ended.notify_all();
    if (!control->objectAlive || !control->autoDelete) return value;
    // The destructor must find no thread to join: it runs on this one.
    m_thread.Detach();
    lock.unlock();
    delete this;
    return value;
}

bool PlugInThreadHot::Attach() {
    std::lock_guard<std::mutex> guard(m_control->mutex);
    if (m_control->hasThread || m_thread.joinable()) return false;
    m_control->hasThread = true;
    m_control->autoDelete = false;
    m_control->runner = platform::CurrentThreadId();
    return true;
}

bool PlugInThreadHot::WaitForStop(unsigned milliseconds) {
    return WaitUntil(std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds));
}

bool PlugInThreadHot::WaitUntil(Deadline deadline) {
    std::unique_lock<std::mutex> lock(m_control->mutex);
    Control& control = *m_control;
    auto stopped = [&control] { return !control.hasThread; };
    if (!stopped() && control.runner == platform::CurrentThreadId()) return false;
    if (!deadline)
        control.ended.wait(lock, stopped);
    else if (!control.ended.wait_until(lock, *deadline, stopped))
        return false;
    // The body has returned; only the thread's own exit is left.
    m_thread.Join();
    return true;
}

bool PlugInThreadHot::WaitForAll(PlugInThreadHot* const* threads, int count, Deadline deadline) {
    if (!threads || count < 1) return false;
    // A thread that ended before the call counts as ended: the answer is
    // whether any is left, not whether one was still seen running.
    bool allEnded = true;
    for (int i = 0; i < count; ++i) {
        if (threads[i] && !threads[i]->WaitUntil(deadline)) allEnded = false;
    }
    return allEnded;
}

bool PlugInThreadHot::WaitForMultipleThreads(PlugInThreadHot* const* threads, int count,
                                             unsigned milliseconds) {
    return WaitForAll(threads, count,
                      std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds));
}

bool PlugInThreadHot::WaitForMultipleThreads(PlugInThreadHot* const* threads, int count) {
    return WaitForAll(threads, count, std::nullopt);
}

bool PlugInThreadHot::HasThread() const {
    std::lock_guard<std::mutex> guard(m_control->mutex);
    return m_control->hasThread;
}

void PlugInThreadHot::SetAutoDelete(bool autoDelete) {
    std::lock_guard<std::mutex> guard(m_control->mutex);
    m_control->autoDelete = autoDelete;
}

bool PlugInThreadHot::IsAutoDelete() const {
    std::lock_guard<std::mutex> guard(m_control->mutex);
    return m_control->autoDelete;
}

std::uint32_t PlugInThreadHot::GetReturnValue() const {
    std::lock_guard<std::mutex> guard(m_control->mutex);
    return m_control->returnValue;
}
