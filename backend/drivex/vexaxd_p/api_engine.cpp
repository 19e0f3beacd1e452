// Starting, probing and stopping an engine that this process drives.
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "apiconnection.h"
#include "callframe.h"
#include "callshapes.h"
#include "codec/protocol.h"
#include "hosting/dxstartup.h"
#include "platform/localchannel.h"
#include "platform/process.h"
#include "platform/signalrelay.h"
#include "replyreader.h"
#include "runtime/dxglobal.h"
#include "runtime/dxtracer.h"
#include "startoptions.h"
#include "transport/dxcmddispatcher.h"
#include "transport/sendreceive.h"
#include "transport/xpipemanager.h"
#include "vexaxd_p.h"

namespace api {
namespace {

constexpr const char* kLauncherName = "StartXD";
constexpr unsigned kConnectPoll = 100;

std::string LauncherPath(const StartOptions& options) {
    std::string home = options.hasEngineHome ? options.engineHome : GetVEXAHOME();
    if (!home.empty() && home.back() != '/') home += '/';
    return home + platform::ExecutableFileName(kLauncherName);
}

// Why the last start failed, kept until the next start: the caller reads it
// after StartVexa has returned, and no call in between replaces it.
std::string& StartFailure() {
    static std::string text;
    return text;
}

// The engine's first message; the wait for it ends when the engine dies first.
// A refusal's reason, which the engine sends in the message, goes to `failure`.
int ReceiveReadyMessage(XPipes& pipes, EngineLauncher& launcher, std::string& failure) {
    VexaPipe& result = *pipes.GetXDAPIResultPipe();
    while (!result.IsWritePipeConnected()) {
        // The launcher's end ends the wait at once; the limit is for a system
        // without process descriptors.
        int connected = result.ConnectPipeWithin(kConnectPoll, launcher.endDescriptor());
        if (connected == EPIPE) return EPIPE;
        if (connected == ETIMEDOUT) {
            if (!launcher.IsActive()) {
                failure = "the engine ended before it was ready";
                return EPIPE;
            }
            continue;
        }
        if (connected) return connected;
    }
    CleXDSmb ready;
    const int received = ReceiveData(result, ready, true);
    // A whole refusal hands back its own code; its text says why.
    if (received != 0 && received == ready.GetErrorCode()) failure = ready.GetSingleString();
    return received;
}

void DropResultPipe(XPipes& pipes) {
    VexaPipe& result = *pipes.GetXDAPIResultPipe();
    result.DisconnectPipe();
    result.ClosePipe();
}

int StartEngine(const char* arguments) {
    ApiConnection& connection = Connection();
    if (IsBackendReady()) return 0;
    std::string& failure = StartFailure();
    failure.clear();
    StartOptions options = ParseStartArguments(arguments);
    if (options.hasEngineHome) connection.setEngineHome(options.engineHome);
    connection.Attach();
    DxTrace("call StartVEXA");
    const std::string launcherPath = LauncherPath(options);
    XPipes* pipes = nullptr;
    if (int error = connection.AcquirePipes(pipes)) return error;
    if (!std::filesystem::exists(launcherPath)) {
        std::printf("No %s file exists\n", launcherPath.c_str());
        std::fflush(stdout);
        failure = "no engine at " + launcherPath;
        return VEXA_ENGINE_NOT_RUNNING;
    }
    DXCmdDispatcher* dispatcher =
        connection.hosted() ? connection.suit()->getCmdDispatcher(true) : nullptr;
    EngineLauncher& launcher = connection.launcher();
    if (launcher.Start({launcherPath, connection.tempDirectory(), connection.pidText(),
                        connection.languageName(), options.remaining}) != 0) {
        failure = "cannot start " + launcherPath;
        return VEXA_PROCESS_START_FAILED;
    }
    connection.setRunning(true);
    int result = ReceiveReadyMessage(*pipes, launcher, failure);
    // The engine's commands for blocks of the language hosted here arrive on
    // the suit's command channel.
    if (result == 0 && dispatcher)
        result = connection.commandThread().Start(*dispatcher, connection.languageName());
    if (result != 0) {
        DropResultPipe(*pipes);
        launcher.End();
        connection.setRunning(false);
    }
    return result;
}

void StopEngine() {
    ApiConnection& connection = Connection();
    // An engine started here that no longer answers (dead, or killed and still
    // on its way out) is torn down like one that stopped, without the stop
    // request nobody would read.
    EngineLauncher& launcher = connection.launcher();
    const bool startedHere = launcher.started();
    const bool answering = (!startedHere || launcher.IsActive()) && IsBackendReady();
    if (!answering && !startedHere) return;
    if (answering && !IsXDriven()) return;
    XPipes* pipes = nullptr;
    if (!answering) {
        if (connection.AcquirePipes(pipes) == 0) DropResultPipe(*pipes);
    } else if (connection.AcquirePipes(pipes) == 0) {
        CleXDSmb stop;
        stop.SetCommandAction(cmd::kStopVexa);
        if (SendRequest(*pipes, stop) == 0) {
            CleXDSmb reply;
            // Only waited for: the engine's pipes go below whatever it answered.
            static_cast<void>(ReceiveReply(*pipes, reply));
        }
        DropResultPipe(*pipes);
    }
    XPipeManager* manager = GetXPipeManager();
    XPipeSuit* suit = manager ? manager->getPipeSuit(connection.languageName()) : nullptr;
    if (suit) {
        suit->stopMonitor(false);
        suit->stopMonitor(true);
    }
    // The engine ends first: the command channel is then at its end, and the
    // command thread leaves its loop.
    launcher.End();
    const bool threadsEnded = !connection.hosted() || connection.commandThread().End();
    if (!connection.hosted() && suit) suit->decreaseIndex();
    connection.forgetSuit();
    if (XPipeManager* manager = GetXPipeManager(); manager && threadsEnded) manager->cleanup();
    FinalizeDXGlobal();
    // An engine, language or console that was killed could not remove its
    // socket files; all carry this process's id text.
    if (!connection.pidText().empty()) platform::RemoveDeadChannels(connection.pidText());
    DxTrace("stopvexa");
    connection.Reset();
}

}  // namespace
}  // namespace api

int StartVexa(const char* arguments) {
    return api::Guarded([&] { return api::StartEngine(arguments); });
}

const char* GetStartFailure(void) {
    const char* text = "";
    // No status to give: a failure leaves the empty text.
    static_cast<void>(api::Guarded([&] {
        text = api::StartFailure().c_str();
        return 0;
    }));
    return text;
}

void StopVexa(void) {
    // No status to give: the stop always ends detached.
    static_cast<void>(api::Guarded([] {
        api::StopEngine();
        return 0;
    }));
}

int InterruptVexa(void) {
    // Only reads: another thread may wait on Submit, and a signal handler may
    // be the caller.
    const int engine = api::Connection().launcher().pid();
    if (engine <= 0 || platform::SendInterrupt(engine) != 0) return VEXA_ENGINE_NOT_RUNNING;
    return 0;
}

bool IsBackendReady(void) {
    api::ApiConnection& connection = api::Connection();
    api::EngineLauncher& launcher = connection.launcher();
    if (launcher.started()) connection.setRunning(launcher.IsActive());
    std::string ignored;
    if (platform::GetEnvironment("VEXA_RUNNING", ignored)) {
        connection.setRunning(true);
    } else if (!connection.running()) {
        return false;
    }
    return api::BareCall(cmd::kIsBackendReady, 0, api::FirstInt) != 0;
}

bool IsXDriven(void) {
    api::ApiConnection& connection = api::Connection();
    connection.setXDriven(false);
    if (!IsBackendReady()) {
        connection.setXDriven(true);
        return true;
    }
    connection.setXDriven(api::BareCall(cmd::kIsXDriven, 0, api::FirstInt) != 0);
    return connection.xDriven();
}
