#include "platform/thread.h"

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <utility>

namespace platform {

struct Thread::DoneFlag {
    std::mutex mutex;
    std::condition_variable changed;
    bool done = false;

    void Set() {
        std::lock_guard<std::mutex> guard(mutex);
        done = true;
        changed.notify_all();
    }
};

Thread& Thread::operator=(Thread&& other) noexcept {
    if (this != &other) {
        Detach();
        m_thread = std::move(other.m_thread);
        m_done = std::move(other.m_done);
    }
    return *this;
}

Thread::~Thread() { Detach(); }

int Thread::Start(std::function<void()> body) {
    if (m_thread.joinable() && !Join()) Detach();
    auto done = std::make_shared<DoneFlag>();
    try {
        m_thread = std::thread([done, body = std::move(body)]() {
            body();
            done->Set();
        });
    } catch (const std::system_error& error) {
        return error.code().value() ? error.code().value() : EAGAIN;
    }
    m_done = std::move(done);
    return 0;
}

bool Thread::IsCurrent() const {
    return m_thread.joinable() && m_thread.get_id() == std::this_thread::get_id();
}

bool Thread::Join() {
    if (!m_thread.joinable() || IsCurrent()) return false;
    m_thread.join();
    m_done.reset();
    return true;
}

bool Thread::JoinFor(unsigned milliseconds) {
    if (!m_thread.joinable() || IsCurrent()) return false;
    {
        DoneFlag& flag = *m_done;
        std::unique_lock<std::mutex> lock(flag.mutex);
        if (!flag.changed.wait_for(lock, std::chrono::milliseconds(milliseconds),
                                   [&flag] { return flag.done; }))
            return false;
    }
    return Join();
}

void Thread::Detach() {
    if (m_thread.joinable()) m_thread.detach();
    m_done.reset();
}

}  // namespace platform
