#include "platform/event.h"

#include <chrono>

namespace platform {

void Event::Set() {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_signalled = true;
    if (m_manualReset)
        m_changed.notify_all();
    else
        m_changed.notify_one();
}

void Event::Reset() {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_signalled = false;
}

void Event::Wait() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [this] { return m_signalled; });
    Consume();
}

bool Event::WaitFor(unsigned milliseconds) {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_changed.wait_for(lock, std::chrono::milliseconds(milliseconds),
                            [this] { return m_signalled; }))
        return false;
    Consume();
    return true;
}

void Event::Consume() {
    if (!m_manualReset) m_signalled = false;
}

}  // namespace platform
