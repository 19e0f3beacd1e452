// startx, the language launcher: the process in which the engine runs an
// external language out of process. Started by the engine's host with
//   startx <mode> <temp directory> <process id text> <language name> [<language home>]
// it joins the engine's pipes for that language and serves the command
// channel: each kSetupDXRun makes a driver that runs one program block
// through the language's library, loaded here; kStopDX ends the program.
// The library and the language share this process's state, so a block's
// API calls reach the engine on the block's own nesting level. The launcher
// lives only as long as the engine that started it: when the engine ends,
// the block in hand is abandoned and the launcher ends at once.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "hosting/dxstartup.h"
#include "hosting/inpstatisticsx.h"
#include "hosting/interruptlistener.h"
#include "hosting/startxdispatchervisitor.h"
#include "platform/localchannel.h"
#include "platform/process.h"
#include "platform/processwatch.h"
#include "platform/signalrelay.h"
#include "runtime/dxglobal.h"
#include "runtime/dxtracer.h"
#include "transport/dxcmddispatcher.h"
#include "transport/xpipemanager.h"
#include "vexaxd_p.h"

namespace {

// The engine home is where the engine's environment says, else this
// program's own directory.
std::string EngineHome() {
    std::string home;
    if (platform::GetEnvironment("VEXA_HOME", home) && !home.empty()) return home;
    return platform::ProgramDirectory("");
}

// The exit status of a launcher whose engine ended while it ran.
constexpr int kEngineGoneStatus = 3;
// A block that has not returned this long after the engine let the launcher
// go is abandoned with the process, which then ends with this status.
constexpr unsigned kBlockEndLimitMs = 5000;
constexpr int kBlockLeftStatus = 4;

// The mode argument as the application mode the engine chose (callback 0
// hands it to the language): LOCAL 1, REMOTE 0; any other word is the
// engine's executable name and leaves the mode unset.
int ApplicationMode(const std::string& argument) {
    if (argument == "LOCAL") return 1;
    if (argument == "REMOTE") return 0;
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr,
                     "usage: startx <mode> <temp directory> <process id text> <language name> "
                     "[<language home>]\n");
        return 2;
    }
    const std::string language = argv[4];
    // Ctrl-C in the client's terminal is the client's; a block is interrupted
    // through the engine, by the interrupt signal.
    platform::IgnoreTerminalInterrupt();
    // Started by a process that has already gone (adopted by init): there is
    // no engine to serve. Without process descriptors the end of the
    // engine's pipes still ends the loop below.
    platform::ProcessWatch engine;
    const int starter = platform::ParentProcessId();
    if (starter == 0 || platform::ProcessWatch::Open(starter, engine) == ESRCH)
        return kEngineGoneStatus;
    InitDxGlobal(argv[2], argv[3], language, EngineHome());
    SetAppMode(ApplicationMode(argv[1]));
    hosting::InterruptListener interrupts([] { InpStatisticsX::InterruptRunningText(); });
    interrupts.Listen();
    // The engine that started this process runs; nothing needs to start it.
    SetVexaRunning(true);
    DXCmdDispatcher* dispatcher = GetXPipeManager()->getPipeSuit(language)->getCmdDispatcher(true);
    // The engine's end is seen in the same wait as its next command.
    if (engine.valid()) dispatcher->watchPartner(engine.descriptor());
    int status = dispatcher->connectPeer();
    if (status == 0) {
        // The engine drives: the language runtime is started and stopped here.
        StartXDispatcherVisitor visitor(language, true);
        status = dispatcher->receiveCmd(&visitor);
        if (status != 0) {
            // Only kStopDX ends the loop cleanly; otherwise the engine has
            // gone, and the block in hand is abandoned with the process. No
            // destructor runs, so the socket files bound here go first.
            platform::RemoveOwnChannels();
            ::_exit(kEngineGoneStatus);
        }
    } else {
        DxTraceError("startx could not reach the engine", status);
    }
    if (!hosting::FinalizeDXGlobalWithin(kBlockEndLimitMs)) {
        // A block still runs in its language: only the process's end ends it.
        platform::RemoveOwnChannels();
        ::_exit(kBlockLeftStatus);
    }
    return status == 0 ? 0 : 1;
}
