#include "hostedcommandthread.h"

#include "hosting/dxstartup.h"
#include "hosting/startxdispatchervisitor.h"
#include "hosting/xmanager.h"
#include "runtime/dxtracer.h"
#include "runtime/keptalive.h"
#include "runtime/statuscodes.h"
#include "transport/dxcmddispatcher.h"

namespace api {
namespace {

constexpr unsigned kCommandThreadLimitMs = 5000;

}  // namespace

HostedCommandThread::HostedCommandThread() = default;
HostedCommandThread::~HostedCommandThread() = default;

int HostedCommandThread::Start(DXCmdDispatcher& dispatcher, const std::string& languageName) {
    if (int error = dispatcher.connectPeer()) return error;
    auto thread = std::make_unique<hosting::CmdReceiveThread>(&dispatcher, languageName);
    if (!thread->Start()) return VEXA_DRIVER_THREAD_FAILED;
    m_thread = std::move(thread);
    return 0;
}

bool HostedCommandThread::End() {
    XManager* registry = GetXManager();
    if (m_thread && !m_thread->WaitForStop(kCommandThreadLimitMs)) {
        DxTrace("Cmd Dispatcher thread can't exit timely.");
        runtime::KeepAliveForGood(std::move(m_thread));
        if (registry) registry->leaveBehind();
        return false;
    }
    m_thread.reset();
    return !registry || registry->cleanup();
}

void HostedCommandThread::Reset() { m_thread.reset(); }

}  // namespace api
