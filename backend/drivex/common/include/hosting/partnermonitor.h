// Watches the one process this process lives for (an engine's client, a
// language process's engine) and runs the partner-lost action on its own
// thread the moment that process ends, whatever the other threads are
// blocked in. The action typically saves what must not be lost and ends the
// process. Owned by one thread; the action runs on the monitor's.
#pragma once

#include <atomic>
#include <functional>

#include "platform/processwatch.h"
#include "runtime/pluginthreadhot.h"

namespace hosting {

class PartnerMonitor : public PlugInThreadHot {
  public:
    using Action = std::function<void()>;

    explicit PartnerMonitor(Action partnerLost) : m_action(std::move(partnerLost)) {}
    // Stops watching and waits for the thread; an action that has begun is
    // waited for to its end.
    ~PartnerMonitor() override;
    PartnerMonitor(const PartnerMonitor&) = delete;
    PartnerMonitor& operator=(const PartnerMonitor&) = delete;

    // Starts watching `pid`: 0, or the errno of the process descriptor
    // (ESRCH when the partner is already gone), or EAGAIN when the thread
    // cannot start or one already runs.
    int Watch(int pid);
    bool partnerLost() const { return m_lost.load(); }

  protected:
    std::uint32_t Run() override;

  private:
    static constexpr unsigned kWaitWithoutLimit = ~0u;
    platform::ProcessWatch m_watch;
    Action m_action;
    std::atomic<bool> m_lost{false};
};

}  // namespace hosting
