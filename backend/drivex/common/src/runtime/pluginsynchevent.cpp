#include "runtime/pluginsynchevent.h"

PlugInSynchEvent::PlugInSynchEvent(bool manualReset, bool initiallySignalled, const char*)
    : m_event(manualReset, initiallySignalled) {}

bool PlugInSynchEvent::WaitForSignal() {
    m_event.Wait();
    return true;
}

bool PlugInSynchEvent::WaitForSignal(unsigned milliseconds) {
    return m_event.WaitFor(milliseconds);
}

std::shared_ptr<PlugInSynchEvent> PlugInSynchEvent::ReplyEvent() {
    PlugInCriticalSection::Lock guard(&m_replyLock);
    if (!m_reply) m_reply = std::make_shared<PlugInSynchEvent>(false, false);
    return m_reply;
}

void PlugInSynchEvent::Reply() { ReplyEvent()->Signal(); }

void PlugInSynchEvent::SignalAndWaitForReply() {
    PlugInCriticalSection::Lock guard(&m_signalLock);
    // Held as a share: a ClearReplyEvent during the wait cannot free it.
    std::shared_ptr<PlugInSynchEvent> reply = ReplyEvent();
    Signal();
    reply->WaitForSignal();
    ClearReplyEvent();
}

void PlugInSynchEvent::ClearReplyEvent() {
    PlugInCriticalSection::Lock guard(&m_replyLock);
    m_reply.reset();
}
