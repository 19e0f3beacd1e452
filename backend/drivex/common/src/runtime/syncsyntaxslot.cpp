#include "runtime/syncsyntaxslot.h"

namespace runtime {

SyncSyntaxSlot& SyncSyntaxSlot::Instance() {
    // Never destroyed: a host thread may still wait on it at process end.
    static SyncSyntaxSlot* slot = new SyncSyntaxSlot;
    return *slot;
}

// Called with the lock held: the fields are published before the request
// event and read back after the done event.
int SyncSyntaxSlot::HandOver() {
    m_request.Signal();
    m_done.WaitForSignal();
    m_done.Unsignal();
    return m_result;
}

int SyncSyntaxSlot::Run(const std::vector<std::string>& lines) {
    PlugInCriticalSection::Lock guard(&m_lock);
    m_lines = lines;
    return HandOver();
}

int SyncSyntaxSlot::Stop() {
    PlugInCriticalSection::Lock guard(&m_lock);
    m_stop = true;
    return HandOver();
}

bool SyncSyntaxSlot::WaitForRequest(std::vector<std::string>& lines) {
    m_request.WaitForSignal();
    m_request.Unsignal();
    if (m_stop) return false;
    lines = m_lines;
    return true;
}

void SyncSyntaxSlot::Complete(int result) {
    m_result = result;
    m_done.Signal();
}

}  // namespace runtime

int GRunSyncSyntax(const std::vector<std::string>& lines) {
    return runtime::SyncSyntaxSlot::Instance().Run(lines);
}
int GStopSyncSyntax() { return runtime::SyncSyntaxSlot::Instance().Stop(); }
