#include "runtime/plugincriticalsection.h"

#include "platform/thread.h"

PlugInCriticalSection::~PlugInCriticalSection() {
    // A locked mutex must not be destroyed; another thread's hold is its
    // owner's fault and cannot be undone from here.
    while (m_owner.load() == platform::CurrentThreadId() && m_numAcq.load() > 0) Release();
}

void PlugInCriticalSection::Acquire() {
    m_mutex.Lock();
    Enter();
}

bool PlugInCriticalSection::TryEnter() {
    if (!m_mutex.TryLock()) return false;
    Enter();
    return true;
}

void PlugInCriticalSection::Enter() {
    if (m_numAcq.load() < 1) m_owner.store(platform::CurrentThreadId());
    m_numAcq.fetch_add(1);
    m_held.store(true);
}

void PlugInCriticalSection::Release() {
    if (m_owner.load() != platform::CurrentThreadId() || m_numAcq.load() < 1) return;
    if (m_numAcq.fetch_sub(1) == 1) {
        m_held.store(false);
        m_owner.store(0);
    }
    m_mutex.Unlock();
}
