// An event threads wait on, plus a reply hand-shake: SignalAndWaitForReply
// signals this event and blocks until the other side calls Reply. Names are
// accepted for the callers' sake and ignored. Thread-safe; the signal lock
// serialises hand-shakes, the reply lock guards the reply event.
#pragma once

#include <memory>

#include "platform/event.h"
#include "runtime/plugincriticalsection.h"

class PlugInSynchEvent {
  public:
    PlugInSynchEvent(bool manualReset, bool initiallySignalled, const char* name = nullptr);
    PlugInSynchEvent(const PlugInSynchEvent&) = delete;
    PlugInSynchEvent& operator=(const PlugInSynchEvent&) = delete;
    virtual ~PlugInSynchEvent() = default;

    void Signal() { m_event.Set(); }
    void Unsignal() { m_event.Reset(); }
    // Always true: waits without limit.
    bool WaitForSignal();
    // True when signalled within the limit.
    bool WaitForSignal(unsigned milliseconds);
    platform::Event& Handle() { return m_event; }
    bool IsManualReset() const { return m_event.IsManualReset(); }

    // Signals the reply event, creating it first when nobody waits yet, so a
    // reply given before the wait is not lost.
    void Reply();
    void SignalAndWaitForReply();
    void ClearReplyEvent();

  private:
    std::shared_ptr<PlugInSynchEvent> ReplyEvent();

    platform::Event m_event;
    PlugInCriticalSection m_signalLock;
    PlugInCriticalSection m_replyLock;
    std::shared_ptr<PlugInSynchEvent> m_reply;
};
