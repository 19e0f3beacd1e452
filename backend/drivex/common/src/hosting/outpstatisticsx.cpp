#include "hosting/outpstatisticsx.h"

#include <cerrno>
#include <chrono>
#include <thread>

#include "codec/clexdsmb.h"
#include "codec/javaextensionsmb.h"
#include "hosting/dxstartup.h"
#include "hosting/xprocessenvironment.h"
#include "runtime/dxglobal.h"
#include "runtime/dxtracer.h"
#include "runtime/statuscodes.h"
#include "runtime/xconfigoptions.h"
#include "transport/dxcmddispatcher.h"
#include "transport/javaplugsocket.h"
#include "transport/sendreceive.h"
#include "transport/xpipemanager.h"

namespace {

constexpr const char* kJavaExtensionArgument = "JavaExtension";
// A partner process is given this long to connect; its end, watched in the
// same wait, ends the wait at once.
constexpr auto kConnectLimit = std::chrono::seconds(10);
// A launcher that never answers fails the start after the schedule a fixed
// start pause and kTestSends sends kTestPauseMs apart would take; connecting
// and the test sends share it.
constexpr auto kLauncherLimit =
    std::chrono::milliseconds(500 + OutpStatisticsX::kTestSends * OutpStatisticsX::kTestPauseMs);
// A language process asked to stop ends at once; one that does not is killed.
constexpr unsigned kStopWaitMs = 10000;

}  // namespace

// One limit for the waits on a language process, and the descriptor that
// ends them when that process ends (none for a host the engine does not
// drive: nothing was started).
class OutpStatisticsX::PartnerWait {
  public:
    explicit PartnerWait(OutpStatisticsX& host, std::chrono::milliseconds limit = kConnectLimit)
        : m_host(host), m_deadline(std::chrono::steady_clock::now() + limit) {}
    bool expired() const { return std::chrono::steady_clock::now() >= m_deadline; }
    unsigned leftMs() const {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            m_deadline - std::chrono::steady_clock::now());
        return left.count() > 0 ? static_cast<unsigned>(left.count()) : 0u;
    }
    int process() const { return m_host.isVexaDrive() ? m_host.m_process.endDescriptor() : -1; }

  private:
    OutpStatisticsX& m_host;
    std::chrono::steady_clock::time_point m_deadline;
};

namespace {

// The child's environment is the engine's with the language's entries set
// over it; the engine's own stays as it is, however many starts there are.
int StartProcess(const std::vector<std::string>& argv, const XCmdArgument& environment,
                 platform::ChildProcess& process) {
    if (int error = platform::ChildProcess::Spawn(
            argv, ChildEnvironment(environment, platform::CurrentEnvironment()), process)) {
        DxTraceError("Starting " + argv.front() + " failed", error);
        return VEXA_PROCESS_START_FAILED;
    }
    return 0;
}

}  // namespace

OutpStatisticsX::OutpStatisticsX(XConfigOptions* options, int appMode, bool vexaDrive)
    : StatisticsX(vexaDrive), m_options(options), m_appMode(appMode) {}

OutpStatisticsX::~OutpStatisticsX() { StopOnDestroy(); }

bool OutpStatisticsX::isXProcessActive() { return !isVexaDrive() || m_process.IsActive(); }

bool OutpStatisticsX::awaitXProcessEnd(unsigned milliseconds) {
    return !isVexaDrive() || !m_process.started() || m_process.WaitFor(milliseconds);
}

std::string OutpStatisticsX::getPythonHome() const {
    const std::string* home = m_options->FindOption(XConfigOptions::KEY_HOME);
    return home ? *home : std::string();
}

XPipeSuit* OutpStatisticsX::Suit() const {
    XPipeManager* manager = GetXPipeManager();
    return manager ? manager->getPipeSuit(m_options->XName()) : nullptr;
}

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

int OutpStatisticsX::x_init_embedded_x(int argc, char** argv) {
    const std::string first = argc > 0 && argv && argv[0] ? argv[0] : "";
    if (first == kJavaExtensionArgument) {
        m_java = true;
        return stat_start_java();
    }
    return stat_start_x();
}

int OutpStatisticsX::stat_start_x() {
    const XLaunchInputs inputs = CurrentLaunchInputs();
    int status = Suit() ? StartProcess(XLauncherArgv(*m_options, inputs, m_appMode),
                                       pushEnv(*m_options, inputs), m_process)
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

int OutpStatisticsX::stat_start_java() {
    JavaPlugInSocket* socket = GetJavaExtSocket();
    if (!socket || socket->CreateSocket() != 0) return VEXA_SOCKET_FAILED;
    const XLaunchInputs inputs =
        CurrentLaunchInputs(JavaExtensionSmb::GetExtensionPath(),
                            JavaExtensionSmb::GetCommandName(), JavaExtensionSmb::IsPackageMode());
    int status = StartProcess(JavaExtensionArgv(inputs, m_appMode, socket->GetSocketPort()),
                              pushEnv(*m_options, inputs), m_process);
    if (status == 0) {
        const PartnerWait waiting(*this);
        status = socket->AcceptSocketWithin(waiting.leftMs(), waiting.process());
        if (status == ETIMEDOUT) status = VEXA_SOCKET_ACCEPT_FAILED;
        if (status == 0 && isVexaDrive() && !m_process.IsActive()) status = VEXA_JAVA_PROCESS_GONE;
    }
    DxTraceError("stat_start_java result", status);
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
    return m_java ? ExecuteOnSocket() : ExecuteOnPipes(text);
}

int OutpStatisticsX::ExecuteOnPipes(const char* text) {
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

int OutpStatisticsX::ExecuteOnSocket() {
    JavaPlugInSocket* socket = GetJavaExtSocket();
    if (!socket) return VEXA_SOCKET_FAILED;
    JavaExtensionSmb extension;
    const int status = SendData(*socket, extension);
    DxTraceError("x_execute_x SendData syntaxSocket", status);
    if (status == 0 && isVexaDrive()) m_process.Wait();
    return status;
}

int OutpStatisticsX::exit_x_run() {
    const int status = EngineDispatcher()->sendCmd(protocol::kExitDxRun);
    DxTraceError("exit_x_run cmdDispatcher sendCmd", status);
    return status;
}

int OutpStatisticsX::stat_stop_x() {
    XPipeSuit* suit = Suit();
    int status = 0;
    if (isVexaDrive() && !isXProcessActive()) {
        DxTrace("stat_stop_x: x process has already exited ");
    } else if (suit && !m_java) {
        status = suit->getCmdDispatcher(false)->sendCmd(protocol::kStopDX);
        DxTraceError("stat_stop_x cmdDispatcher sendCmd", status);
    }
    if (suit) {
        suit->stopMonitor(false);
        suit->stopMonitor(true);
    }
    if (m_process.started() && !m_process.WaitFor(kStopWaitMs)) m_process.Kill();
    return status;
}
