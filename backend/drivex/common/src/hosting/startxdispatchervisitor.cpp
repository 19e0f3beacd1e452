#include "hosting/startxdispatchervisitor.h"

#include "hosting/drivex.h"
#include "hosting/dxstartup.h"
#include "hosting/xmanager.h"
#include "runtime/dxglobal.h"
#include "runtime/dxtracer.h"
#include "runtime/statuscodes.h"
#include "runtime/syncsyntaxslot.h"
#include "transport/xpipemanager.h"

int StartXDispatcherVisitor::cmdDispatcher(std::int32_t key, const std::vector<std::string>&) {
    int status = 0;
    switch (key) {
        case protocol::kSetupDXRun:
            DxTrace("StartXDispatcherVisitor kSetupDXRun");
            status = SetupRun();
            break;
        case protocol::kRunDX: {
            DxTrace("StartXDispatcherVisitor kRunDX");
            XManager* registry = GetXManager();
            auto* driver = registry ? dynamic_cast<VexaDX_P*>(registry->getBackVexaDX()) : nullptr;
            status = driver ? driver->startX() : 0;
            break;
        }
        case protocol::kExitDxRun:
            DxTrace("StartXDispatcherVisitor kExitDxRun");
            status = ExitRun();
            break;
        case protocol::kStopDX:
            DxTrace("StartXDispatcherVisitor kStopDX");
            status = GGetUseSyncDx() ? GStopSyncSyntax() : 0;
            break;
        case protocol::kTestCmdst:
        case 0:
            DxTrace("StartXDispatcherVisitor kTestCmdst");
            break;
        default:
            status = VEXA_UNKNOWN_COMMAND_KEY;
            break;
    }
    DxTraceError("StartXDispatcherVisitor result ", status);
    return status;
}

int StartXDispatcherVisitor::SetupRun() {
    XManager* registry = GetXManager();
    DriveX* before = registry ? registry->getBackVexaDX() : nullptr;
    // A refused language registers no driver; the one below belongs to an
    // outer block and must not be started again.
    if (int refused = CreateLanguageX(m_name, m_vexaDrive)) return refused;
    auto* driver = dynamic_cast<VexaDX_P*>(registry->getBackVexaDX());
    if (!driver || driver == before) return VEXA_DRIVER_THREAD_FAILED;
    int status = 0;
    XPipes* pipes = GetXPipeManager()->getPipeSuit(m_name)->getXPipes();
    VexaPipe* syntax = pipes ? pipes->GetSyntaxPipe() : nullptr;
    if (!syntax) {
        status = VEXA_PIPE_FAILED;
    } else if (syntax->IsPipeCreated()) {
        DxTrace("kSetupDXRun syntaxPipe has Create");
    } else {
        status = syntax->CreatePipe();
        if (status == 0) status = syntax->DisconnectPipe();
        DxTrace("kSetupDXRun syntaxPipe Create");
    }
    const int started = driver->startX();
    return status ? status : started;
}

int StartXDispatcherVisitor::ExitRun() {
    XManager* registry = GetXManager();
    auto* driver = registry ? dynamic_cast<VexaDX_P*>(registry->getBackVexaDX()) : nullptr;
    if (!driver) return 0;
    // Sent after the block's result, so the driver is at its end; one that
    // is not stays registered, and the shutdown leaves it alive.
    if (!driver->awaitStopped(kExitRunLimitMs)) return VEXA_DRIVER_THREAD_FAILED;
    registry->destoryVexaDX(driver);
    return 0;
}

std::uint32_t hosting::CmdReceiveThread::Run() {
    m_busy = true;
    StartXDispatcherVisitor visitor(m_name, false);
    const int result = m_dispatcher ? m_dispatcher->receiveCmd(&visitor) : VEXA_BAD_ARGUMENT;
    m_busy = false;
    return static_cast<std::uint32_t>(result);
}
