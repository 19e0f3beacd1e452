// Listens for the interrupt signal of this system (platform::kInterruptSignal)
// on a thread of its own and runs the owner's action for each one: the engine
// hands it on to the language process running the block, the launcher to the
// language. The action runs on the listener's thread, never in the handler.
#pragma once

#include <functional>

#include "platform/signalrelay.h"
#include "runtime/pluginthreadhot.h"

namespace hosting {

class InterruptListener : public PlugInThreadHot {
  public:
    using Action = std::function<void()>;

    explicit InterruptListener(Action onInterrupt) : m_action(std::move(onInterrupt)) {}
    // Stops listening, waits for the thread and restores the signal's action.
    ~InterruptListener() override;
    InterruptListener(const InterruptListener&) = delete;
    InterruptListener& operator=(const InterruptListener&) = delete;

    // 0, or errno of the signal's relay, or EAGAIN when the thread cannot start.
    int Listen();

  protected:
    std::uint32_t Run() override;

  private:
    static constexpr unsigned kWaitWithoutLimit = ~0u;
    platform::SignalRelay m_relay;
    Action m_action;
};

}  // namespace hosting
