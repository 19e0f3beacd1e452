#include "hosting/drivex.h"

#include "codec/clexdsmb.h"
#include "hosting/dxapibridge.h"
#include "hosting/dxcallbacks.h"
#include "hosting/dxstartup.h"
#include "hosting/statisticsx.h"
#include "runtime/dxglobal.h"
#include "runtime/dxtracer.h"
#include "runtime/statuscodes.h"
#include "runtime/syncsyntaxslot.h"
#include "runtime/xcmdargument.h"
#include "runtime/xconfigoptions.h"
#include "transport/sendreceive.h"
#include "transport/xpipemanager.h"

namespace {

constexpr const char* kPython = "PYTHON";
constexpr const char* kR = "R";
constexpr const char* kJavaExtension = "JAVAEXTENSION";
// The Python host answers its pre action with 1 to skip a block.
constexpr int kPythonSkipsBlock = 1;

}  // namespace

DriveX::DriveX(std::string languageName, StatisticsX* host, XConfigOptions* options)
    : m_host(host), m_options(options), m_name(std::move(languageName)) {
    if (!m_host) DxTrace("m_ximpl");
    if (!m_options) DxTrace("m_option");
}

DriveX::~DriveX() { m_thread.reset(); }

int DriveX::initializeX() {
    if (m_host->isIntialized()) return 0;
    const std::string& language = m_options->XName();
    std::string arguments = language == kR               ? "--silent --no-save"
                            : language == kJavaExtension ? "JavaExtension"
                                                         : "";
    if (const std::string* args = m_options->FindOption(XConfigOptions::KEY_ARGS);
        args && !args->empty()) {
        arguments = *args;
    }
    XCmdArgument vector = arguments.empty() ? XCmdArgument() : XCmdArgument(arguments);
    return m_host->init_embedded_x(vector.argc(), vector.argv());
}

int DriveX::invokeX() {
    if (!m_host->isIntialized()) {
        if (int status = initializeX()) return status;
    }
    return runX();
}

int DriveX::startX() {
    // A finished thread of an earlier block is released first.
    m_thread = std::make_unique<DriveXThread>(*this);
    return m_thread->Start() ? 0 : VEXA_DRIVER_THREAD_FAILED;
}

std::uint32_t DriveX::getReturnValue() const { return m_thread ? m_thread->GetReturnValue() : 0; }

int DriveX::runX() {
    int status = m_host->pre_action();
    DxTrace("DriveX PRE ACTION ");
    if (m_name == kPython && status == kPythonSkipsBlock) return VEXA_BLOCK_SKIPPED;
    if (status) return status;
    static const std::vector<std::string> kNoLines;
    status = ExecuteXLines(m_syntax ? *m_syntax : kNoLines);
    DxTraceError("DriveX ExecuteXLines ", status);
    m_host->post_action();
    DxTrace("DriveX POST ACTION ");
    return status;
}

int DriveX::ExecuteXLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text.append(line).append("\n");
    DxTrace(text);
    return m_host->execute_x(text.c_str());
}

int VexaDX_P::runX() {
    setRunning(true);
    XPipeManager* manager = GetXPipeManager();
    XPipeSuit* suit = manager ? manager->getPipeSuit(XName()) : nullptr;
    XPipes* pipes = suit && getIndex() >= 0 && getIndex() <= suit->getIndex()
                        ? suit->getXPipes(getIndex())
                        : nullptr;
    if (!pipes) {
        DxTrace("VexaDX_P has no pipes at its level");
        setRunning(false);
        return VEXA_PIPE_FAILED;
    }
    VexaPipe& resultPipe = *pipes->GetSyntaxResultPipe();
    VexaPipe& syntaxPipe = *pipes->GetSyntaxPipe();
    CleXDSmb ready;
    ready.SetErrorCode(0);
    int transport = SendData(resultPipe, ready, false);
    // Watching the result pipe: an engine that died never leaves us waiting.
    int connected = syntaxPipe.ConnectPipe(resultPipe);
    if (transport == 0) transport = connected;
    if (transport == 0) {
        CleXDSmb request;
        transport = ReceiveData(syntaxPipe, request, true);
        if (transport == 0 && request.GetStringDataRef().Size() > 0) {
            const int status = RunReceivedBlock(request.GetStringDataRef().Values());
            CleXDSmb result;
            result.SetErrorCode(status);
            transport = SendData(resultPipe, result, false);
        }
    }
    setRunning(false);
    return transport;
}

int VexaDX_P::RunReceivedBlock(const std::vector<std::string>& lines) {
    int status = 0;
    bool initialised = true;
    // R is started like every language: leaving it to start itself would
    // leave its host uninitialised, and every R block refused with 99115.
    // Once it runs, initR marks the host as R's.
    if (!host()->isIntialized()) {
        host()->setup_dxcallback(hosting::GetDxCallBackTable());
        status = initializeX();
        initialised = status == 0;
        if (initialised && XName() == kR) {
            initR();
        } else if (initialised) {
            host()->set_post_vexa_output(&hosting::BridgePostOutput);
        }
    }
    if (initialised) {
        if (GGetUseSyncDx() && getIndex() == 0) {
            status = GRunSyncSyntax(lines);
        } else {
            setSyntax(&lines);
            status = DriveX::runX();
            setSyntax(nullptr);
        }
    }
    DxTraceError("StopReceiveXdApiThread", hosting::BridgeStopReceiveXdApiThread());
    return status;
}

int VexaDX_P::initR() {
    if (XName() != kR) return 0;
    host()->setR(true);
    host()->setIntialized(true);
    host()->setup_dxcallback(hosting::GetDxCallBackTable());
    host()->set_post_vexa_output(&hosting::BridgePostOutput);
    return 0;
}

int CmdVexaDX::initializeX() {
    if (host()->isIntialized()) return 0;
    host()->setup_dxcallback(hosting::GetDxCallBackTable());
    const int status = DriveX::initializeX();
    if (status == 0) host()->set_post_vexa_output(&hosting::BridgePostOutput);
    return status;
}

int CmdVexaDX::invokeX() {
    runtime::SyncSyntaxSlot& slot = runtime::SyncSyntaxSlot::Instance();
    int status = 0;
    std::vector<std::string> lines;
    while (slot.WaitForRequest(lines)) {
        setSyntax(&lines);
        status = runX();
        setSyntax(nullptr);
        slot.Complete(status);
    }
    slot.Complete(0);
    return status;
}
