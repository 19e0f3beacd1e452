#include "hosting/interruptlistener.h"

#include <cerrno>

#include "runtime/dxtracer.h"

namespace hosting {

InterruptListener::~InterruptListener() {
    m_relay.Wake();
    WaitForStop(kWaitWithoutLimit);
}

int InterruptListener::Listen() {
    if (int error = m_relay.Install(platform::kInterruptSignal)) {
        DxTraceError("InterruptListener cannot take the interrupt signal", error);
        return error;
    }
    return Start() ? 0 : EAGAIN;
}

std::uint32_t InterruptListener::Run() {
    while (m_relay.Wait()) {
        DxTrace("InterruptListener: interrupt");
        if (m_action) m_action();
    }
    return 0;
}

}  // namespace hosting
