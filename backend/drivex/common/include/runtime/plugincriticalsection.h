// Recursive lock with owner bookkeeping: the owner thread may acquire again and
// must release as often. Release by a thread that does not own the lock is
// ignored, so the count can never go negative. Not movable.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/recursivemutex.h"

class PlugInCriticalSection {
  public:
    // Holds the lock for its scope; a null lock is held by nobody.
    class Lock {
      public:
        explicit Lock(PlugInCriticalSection* crit) : m_Crit(crit) {
            if (m_Crit) m_Crit->Acquire();
        }
        ~Lock() {
            if (m_Crit) m_Crit->Release();
        }
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;

      private:
        PlugInCriticalSection* m_Crit;
    };

    PlugInCriticalSection() = default;
    PlugInCriticalSection(const PlugInCriticalSection&) = delete;
    PlugInCriticalSection& operator=(const PlugInCriticalSection&) = delete;
    // Releases what the destroying thread still holds.
    virtual ~PlugInCriticalSection();

    virtual void Acquire();
    virtual void Release();

    bool IsHeld() const { return m_held.load(); }
    // 0 when free.
    std::uint32_t OwnerThreadId() const { return m_owner.load(); }
    int AcquisitionCount() const { return m_numAcq.load(); }

  protected:
    // Acquires without waiting; false when another thread holds the lock.
    bool TryEnter();

  private:
    void Enter();

    platform::RecursiveMutex m_mutex;
    std::atomic<bool> m_held{false};
    std::atomic<std::uint32_t> m_owner{0};
    std::atomic<int> m_numAcq{0};
};

// The recursive lock with an acquire that never waits.
class PlugInCriticalSectionExt : public PlugInCriticalSection {
  public:
    // True when the calling thread now holds the lock (again); never waits.
    bool TryAcquire() { return TryEnter(); }
};
