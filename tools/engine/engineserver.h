// The engine's side of one client's pipes: it serves the "xdapi" pipe and
// writes to the client's "xdapiresult" pipe, one reply per request, in order.
#pragma once

#include <atomic>
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
    // The API pipes of a program block's nesting level, kept by the caller.
    // `depth`: how deep the blocks whose calls it serves are nested.
    EngineServer(XPipes* levelPipes, int depth) : m_pipes(levelPipes), m_depth(depth) {}

    // Creates the request pipe first, so that the client's first request
    // finds it, then opens the client's result pipe. 0 or the pipe's code.
    int Open();
    // The first message: its error code tells the client whether the engine
    // is ready (0) or why it is not.
    // A failure's text rides along for the library to show.
    int SendReady(int code, const std::string& text = {});
    // Answers requests until the stop command has been answered, the
    // farewell message arrives, or the client is gone. Returns 0 after a stop
    // or farewell, else the code that ended the loop.
    int Serve(const CommandTable& commands, EngineState& state);
    // Serves a program block's API calls until the language says the block's
    // calls are over (StopReceiveXdApiThread), or `stop` (a descriptor that
    // turns readable, watched in the same wait as the pipe) is raised while
    // no request is in hand. The pipes stay open for the level's next block.
    int ServeBlock(const CommandTable& commands, EngineState& state, int stop);

    static bool IsFarewell(const CleXDSmb& message);

  private:
    // Waits for the client to connect to the request pipe; EPIPE when the
    // client's result pipe hung up meanwhile.
    int AwaitClient();
    enum class Step { kAnswered, kClientClosed, kFarewell, kBlockCallsOver, kFailed };
    // Receives one request and answers it; `code` tells why a step failed.
    Step AnswerRequest(const CommandTable& commands, EngineState& state, int& code);
    // Waits for a block's writer end only by the stop.
    static constexpr unsigned kNoLimitMs = ~0u >> 1;

    // Unused by a block's server, whose pipes belong to the caller.
    XPipeManager m_manager{"", ""};
    XPipes* m_pipes;
    int m_depth = 0;
    // One request message serves every request: a large request leaves the
    // room of its image and of its cell records to the next, so a stream of
    // large commits does not fault in fresh pages for each.
    CleXDSmb m_request;
    codec::OwnedBuffer m_imageRoom;
};

}  // namespace engine
