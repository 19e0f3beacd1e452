// Plays the library's side of one engine run in a test: the level-0 pipes of
// a pid text and language name of the test's own, and the engine process.
// Destruction kills an engine still running and removes what it left in the
// pipe directory, so a failed case leaves nothing behind. One thread.
#pragma once

#include <string>
#include <vector>

#include "codec/clexdsmb.h"
#include "platform/process.h"
#include "transport/xpipemanager.h"

namespace enginetest {

using Bytes = std::vector<unsigned char>;

class EngineClient {
  public:
    EngineClient(const std::string& pidText, const std::string& language);
    ~EngineClient();
    EngineClient(const EngineClient&) = delete;
    EngineClient& operator=(const EngineClient&) = delete;

    // Creates the result pipe, as the library does before it starts the engine.
    int CreateResultPipe();
    // Starts StartXD with the library's command line plus `extra`.
    int StartEngine(const std::vector<std::string>& extra = {});
    // The ready message's error code, or a transport code; EPIPE when the
    // engine ended or did not connect within `milliseconds`.
    // `text`, when given, gets the message's first string (a failure's text).
    int ReceiveReady(unsigned milliseconds, std::string* text = nullptr);

    int Send(CleXDSmb& request);
    // One packet of exactly these bytes on the request pipe.
    int SendRaw(const Bytes& image);
    int Receive(CleXDSmb& reply);
    // The next packet on the result pipe as it arrived.
    int ReceiveRaw(Bytes& image);

    void CloseRequestPipe();
    void CloseResultPipe();

    platform::ChildProcess& engine() { return m_engine; }
    // Names of this run's level-0 socket files still in the pipe directory.
    std::vector<std::string> LeftoverPipeFiles() const;

  private:
    std::string m_pidText;
    std::string m_language;
    XPipeManager m_manager;
    XPipes* m_pipes;
    // Kept apart from the pipes, which go before the files are checked.
    std::vector<std::string> m_pipeNames;
    platform::ChildProcess m_engine;
};

}  // namespace enginetest
