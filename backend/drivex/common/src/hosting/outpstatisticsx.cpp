#include "hosting/outpstatisticsx.h"

#include <cerrno>
#include <chrono>
#include <thread>

#include "codec/clexdsmb.h"
#include "hosting/dxstartup.h"
#include "hosting/xprocessenvironment.h"
#include "runtime/dxglobal.h"
#include "runtime/dxtracer.h"
#include "runtime/statuscodes.h"
#include "runtime/xconfigoptions.h"
#include "transport/dxcmddispatcher.h"
#include "transport/sendreceive.h"
#include "transport/xpipemanager.h"

namespace {

// A launcher that never answers fails the start after the schedule a fixed
// start pause and kTestSends sends kTestPauseMs apart would take; connecting
// and the test sends share it.
constexpr auto kLauncherLimit =
    std::chrono::milliseconds(500 + OutpStatisticsX::kTestSends * OutpStatisticsX::kTestPauseMs);
// One that does not even answer the request to stop (stopped, or stuck
// outside its command loop) is killed once this has passed.
constexpr int kStopReplyLimitMs = 5000;

}  // namespace

OutpStatisticsX::OutpStatisticsX(XConfigOptions* options, int appMode, bool vexaDrive)
    : hosting::ProcessHost(options, appMode, vexaDrive) {}

OutpStatisticsX::~OutpStatisticsX() { StopOnDestroy(); }

XPipes* OutpStatisticsX::CurrentPipes() const {
    XPipeSuit* suit = Suit();
    XPipes* pipes = suit ? suit->getXPipes() : nullptr;
    if (!pipes) DxTrace("m_pipe_index >= 0");
    return pipes;
}

DXCmdDispatcher* OutpStatisticsX::EngineDispatcher() const {
    XPipeSuit* suit = Suit();
    return suit ? suit->getCmdDispatcher(false) : nullptr;
}

int OutpStatisticsX::stat_start_x() {
    const hosting::XLaunchInputs inputs = hosting::CurrentLaunchInputs();
    int status = Suit() ? StartProcess(hosting::XLauncherArgv(*m_options, inputs, getAppMode()),
                                       hosting::pushEnv(*m_options, inputs))
                        : VEXA_NOT_INITIALISED;
    if (status == 0) status = AwaitLauncher();
    DxTraceError("stat_start_x result", status);
    return status;
}

int OutpStatisticsX::AwaitLauncher() {
    DXCmdDispatcher* dispatcher = EngineDispatcher();
    const PartnerWait launcher(*this, kLauncherLimit);
    if (isVexaDrive()) {
        // In place of a fixed pause: the launcher connects, ends, or runs
        // out of time; kTestCmdst then tells whether it serves.
        dispatcher->connectPeer(static_cast<int>(launcher.leftMs()), launcher.process());
        if (!isXProcessActive()) return VEXA_PROCESS_START_FAILED;
    } else {
        dispatcher->connectPeer();
    }
    int status = 0;
    for (int send = 1; send <= kTestSends; ++send) {
        status = dispatcher->sendCmd(protocol::kTestCmdst);
        if (status == 0 || send == kTestSends || !isXProcessActive() || launcher.expired()) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(kTestPauseMs));
    }
    return status;
}

int OutpStatisticsX::setup_x_run() {
    XPipes* pipes = CurrentPipes();
    if (!pipes) return VEXA_PIPE_FAILED;
    VexaPipe& result = *pipes->GetSyntaxResultPipe();
    if (result.IsPipeCreated()) {
        DxTrace("setup_x_run syntaxResultPipe has CreatePipe");
    } else if (int created = result.CreatePipe()) {
        DxTraceError("setup_x_run syntaxResultPipe CreatePipe", created);
        return created;
    } else {
        result.DisconnectPipe();
    }
    int status = EngineDispatcher()->sendCmd(protocol::kSetupDXRun);
    DxTraceError("setup_x_run cmdDispatcher sendCmd", status);
    if (status) return status;
    if (!result.IsWritePipeConnected()) {
        const PartnerWait waiting(*this);
        status = result.ConnectPipeWithin(waiting.leftMs(), waiting.process());
        if (status == ETIMEDOUT) return EPIPE;
        if (status) return status;
    }
    CleXDSmb ready;
    return ReceiveData(result, ready, true);
}

int OutpStatisticsX::x_execute_x(const char* text) {
    XPipes* pipes = CurrentPipes();
    if (!pipes) return VEXA_PIPE_FAILED;
    CleXDSmb block;
    block.SetString(text ? text : "");
    int status = SendData(*pipes->GetSyntaxPipe(), block, false);
    DxTraceError("x_execute_x SendData syntaxPipe", status);
    if (status) return status;
    CleXDSmb result;
    status = ReceiveData(*pipes->GetSyntaxResultPipe(), result, true);
    DxTraceError("x_execute_x ReceiveData syntaxResultPipe", status);
    return status;
}

int OutpStatisticsX::exit_x_run() {
    const int status = EngineDispatcher()->sendCmd(protocol::kExitDxRun);
    DxTraceError("exit_x_run cmdDispatcher sendCmd", status);
    return status;
}

int OutpStatisticsX::AskToStop() {
    XPipeSuit* suit = Suit();
    if (!suit) return 0;
    const int status =
        suit->getCmdDispatcher(false)->sendCmd(protocol::kStopDX, {}, kStopReplyLimitMs);
    DxTraceError("stat_stop_x cmdDispatcher sendCmd", status);
    if (status == ETIMEDOUT && m_process.started()) m_process.Kill();
    return status;
}
