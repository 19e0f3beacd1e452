#include "hosting/processhost.h"

#include "hosting/dxstartup.h"
#include "hosting/xprocessenvironment.h"
#include "runtime/dxtracer.h"
#include "runtime/statuscodes.h"
#include "runtime/xcmdargument.h"
#include "runtime/xconfigoptions.h"
#include "transport/xpipemanager.h"

namespace hosting {

namespace {

// A language process asked to stop ends at once; one that does not is killed.
constexpr unsigned kStopWaitMs = 10000;

}  // namespace

ProcessHost::PartnerWait::PartnerWait(const ProcessHost& host, std::chrono::milliseconds limit)
    : m_host(host), m_deadline(std::chrono::steady_clock::now() + limit) {}

unsigned ProcessHost::PartnerWait::leftMs() const {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        m_deadline - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<unsigned>(left.count()) : 0u;
}

int ProcessHost::PartnerWait::process() const {
    return m_host.isVexaDrive() ? m_host.m_process.endDescriptor() : -1;
}

ProcessHost::ProcessHost(XConfigOptions* options, int appMode, bool vexaDrive)
    : StatisticsX(vexaDrive), m_options(options), m_appMode(appMode) {}

bool ProcessHost::isXProcessActive() { return !isVexaDrive() || m_process.IsActive(); }

bool ProcessHost::awaitXProcessEnd(unsigned milliseconds) {
    return !isVexaDrive() || !m_process.started() || m_process.WaitFor(milliseconds);
}

std::string ProcessHost::getPythonHome() const {
    const std::string* home = m_options->FindOption(XConfigOptions::KEY_HOME);
    return home ? *home : std::string();
}

XPipeSuit* ProcessHost::Suit() const {
    XPipeManager* manager = GetXPipeManager();
    return manager ? manager->getPipeSuit(m_options->XName()) : nullptr;
}

int ProcessHost::StartProcess(const std::vector<std::string>& argv,
                              const XCmdArgument& environment) {
    if (int error = platform::ChildProcess::Spawn(
            argv, ChildEnvironment(environment, platform::CurrentEnvironment()), m_process)) {
        DxTraceError("Starting " + argv.front() + " failed", error);
        return VEXA_PROCESS_START_FAILED;
    }
    return 0;
}

int ProcessHost::stat_stop_x() {
    int status = 0;
    if (isVexaDrive() && !isXProcessActive()) {
        DxTrace("stat_stop_x: x process has already exited ");
    } else {
        status = AskToStop();
    }
    if (XPipeSuit* suit = Suit()) {
        suit->stopMonitor(false);
        suit->stopMonitor(true);
    }
    if (m_process.started() && !m_process.WaitFor(kStopWaitMs)) m_process.Kill();
    return status;
}

}  // namespace hosting
