// startx, the language launcher: the process in which the engine runs an
// external language out of process. Started by the engine's host with
//   startx <mode> <temp directory> <process id text> <language name> [<language home>]
// it joins the engine's pipes for that language and serves the command
// channel: each kSetupDXRun makes a driver that runs one program block
// through the language's library, loaded here; kStopDX ends the program.
// The library and the language share this process's state, so a block's
// API calls reach the engine on the block's own nesting level.
#include <cstdio>
#include <string>

#include "hosting/dxcmddispatcher.h"
#include "hosting/startxdispatchervisitor.h"
#include "platform/process.h"
#include "runtime/dxglobal.h"
#include "runtime/dxstartup.h"
#include "runtime/dxtracer.h"
#include "transport/xpipemanager.h"
#include "vexaxd_p.h"

namespace {

// The engine home is where the engine's environment says, else this
// program's own directory.
std::string EngineHome() {
    std::string home;
    if (platform::GetEnvironment("VEXA_HOME", home) && !home.empty()) return home;
    const std::string executable = platform::CurrentExecutablePath();
    return executable.substr(0, executable.find_last_of('/'));
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
    InitDxGlobal(argv[2], argv[3], language, EngineHome());
    // The engine that started this process runs; nothing needs to start it.
    SetVexaRunning(true);
    DXCmdDispatcher* dispatcher = GetXPipeManager()->getPipeSuit(language)->getCmdDispatcher(true);
    int status = dispatcher->connectPeer();
    if (status == 0) {
        // The engine drives: the language runtime is started and stopped here.
        StartXDispatcherVisitor visitor(language, true);
        status = dispatcher->receiveCmd(&visitor);
    } else {
        DxTraceError("startx could not reach the engine", status);
    }
    FinalizeDXGlobal();
    return status == 0 ? 0 : 1;
}
