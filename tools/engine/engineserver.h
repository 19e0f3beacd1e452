// The engine's side of one client's pipes: it serves the "xdapi" pipe and
// writes to the client's "xdapiresult" pipe, one reply per request, in order.
#pragma once

#include <string>

#include "codec/clexdsmb.h"
#include "commandtable.h"
#include "enginestate.h"
#include "transport/xpipemanager.h"

namespace engine {

class EngineServer {
public:
    // The names follow the client's: its process id text and language name,
    // nesting level 0.
    EngineServer(const std::string& pidText, const std::string& languageName);

    // Creates the request pipe first, so that the client's first request
    // finds it, then opens the client's result pipe. 0 or the pipe's code.
    int Open();
    // The first message: its error code tells the client whether the engine
    // is ready (0) or why it is not.
    int SendReady(int code);
    // Answers requests until the stop command has been answered, the
    // farewell message arrives, or the client is gone. Returns 0 after a stop
    // or farewell, else the code that ended the loop.
    int Serve(const CommandTable& commands, EngineState& state);

    static bool IsFarewell(const CleXDSmb& message);

private:
    // Waits for the client to connect to the request pipe; EPIPE when the
    // client's result pipe hung up meanwhile.
    int AwaitClient();

    XPipeManager m_manager;
    XPipes* m_pipes;
};

}  // namespace engine
