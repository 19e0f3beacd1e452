#include "hosting/partnermonitor.h"

#include <cerrno>

#include "runtime/dxtracer.h"

namespace hosting {

PartnerMonitor::~PartnerMonitor() {
    m_watch.Wake();
    WaitForStop(kWaitWithoutLimit);
}

int PartnerMonitor::Watch(int pid) {
    if (HasThread()) return EAGAIN;
    if (int error = platform::ProcessWatch::Open(pid, m_watch)) {
        DxTraceError("PartnerMonitor cannot watch process " + std::to_string(pid), error);
        return error;
    }
    return Start() ? 0 : EAGAIN;
}

std::uint32_t PartnerMonitor::Run() {
    if (!m_watch.WaitForEnd()) return 0;
    m_lost = true;
    DxTrace("PartnerMonitor: the partner process has ended");
    if (m_action) m_action();
    return 1;
}

}  // namespace hosting
