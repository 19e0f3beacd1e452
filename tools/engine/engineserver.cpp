#include "engineserver.h"

#include <cerrno>
#include <mutex>

#include "codec/protocol.h"
#include "outputfiles.h"
#include "runtime/statuscodes.h"
#include "transport/sendreceive.h"

namespace engine {

EngineServer::EngineServer(const std::string& pidText, const std::string& languageName)
    : m_manager(transport::PipeNameRoot(), pidText) {
    XPipeSuit* suit = m_manager.getPipeSuit(languageName);
    suit->increaseIndex();
    m_pipes = suit->getXPipes();
}

int EngineServer::Open() {
    if (int created = m_pipes->GetXDAPIPipe()->CreatePipe()) return created;
    return m_pipes->GetXDAPIResultPipe()->VEXACreateFileR();
}

int EngineServer::SendReady(int code, const std::string& text) {
    CleXDSmb ready;
    ready.SetErrorCode(code);
    if (!text.empty()) ready.SetString(text);
    return SendData(*m_pipes->GetXDAPIResultPipe(), ready, false);
}

bool EngineServer::IsFarewell(const CleXDSmb& message) {
    const LongData& values = message.GetLongDataRef();
    return message.GetCommandAction() == protocol::kNoAction && values.Size() == 1 &&
           values[0] == protocol::kFarewellValue;
}

int EngineServer::AwaitClient() {
    VexaPipe& request = *m_pipes->GetXDAPIPipe();
    if (request.IsWritePipeConnected()) return 0;
    return request.ConnectPipe(*m_pipes->GetXDAPIResultPipe());
}

EngineServer::Step EngineServer::AnswerRequest(const CommandTable& commands, EngineState& state,
                                               int& code) {
    VexaPipe& request = *m_pipes->GetXDAPIPipe();
    VexaPipe& result = *m_pipes->GetXDAPIResultPipe();
    CleXDSmb& message = m_request;
    message.CleanUp();
    message.SetCommandAction(-1);
    message.SetErrorCode(0);
    message.LendReceiveBlock(std::move(m_imageRoom));
    // Cell records are only walked: none becomes an object of its own.
    message.KeepStructRecords(true);
    // The message's own code is read once the receive has filled it.
    const int receiveResult = ReceiveData(request, message, true);
    const int received = protocol::ReadFailure(receiveResult, message.GetErrorCode());
    if (received == EPIPE || received == VEXA_EMPTY_READ) {
        // The client closed its request end; it opens a new one for its
        // next call, or its result pipe hangs up and the wait ends.
        request.DisconnectPipe();
        return Step::kClientClosed;
    }
    // A client that sent a broken image and left has nobody to read the
    // answer: on the one result pipe it would be taken by the next client
    // as the reply to its own request.
    if (received != 0 && request.IsPartnerGone()) {
        request.DisconnectPipe();
        return Step::kClientClosed;
    }
    if (received == 0 && IsFarewell(message)) return Step::kFarewell;
    CleXDSmb reply;
    std::unique_lock<std::timed_mutex> guard(state.lock, std::defer_lock);
    if (received != 0) {
        reply.SetErrorCode(received);
    } else {
        guard.lock();
        state.callerDepth = m_depth;
        commands.Dispatch(message, reply, state);
        if (SettlesOutput(message.GetCommandAction())) SaveOutput(state);
        // Cases lent from the store go out before any request can change it.
        if (!reply.HoldsLentVoidData()) guard.unlock();
    }
    // A received image larger than a piece is the request's void block.
    std::int32_t imageVoid = 0;
    m_imageRoom = message.TakeVoidBlock(imageVoid);
    // A block's language makes its result pipe before its first request.
    if (!result.HasPipe()) {
        if ((code = result.VEXACreateFileR())) return Step::kFailed;
    }
    if ((code = SendData(result, reply, false))) return Step::kFailed;
    return message.GetCommandAction() == cmd::kStopReceiveXdApiThread ? Step::kBlockCallsOver
                                                                      : Step::kAnswered;
}

int EngineServer::Serve(const CommandTable& commands, EngineState& state) {
    while (true) {
        if (int waited = AwaitClient()) return waited;
        int code = 0;
        switch (AnswerRequest(commands, state, code)) {
            case Step::kFailed:
                return code;
            case Step::kFarewell:
                return 0;
            default:
                break;
        }
        if (state.stopRequested) return 0;
    }
}

int EngineServer::ServeBlock(const CommandTable& commands, EngineState& state, int stop) {
    VexaPipe& request = *m_pipes->GetXDAPIPipe();
    if (!request.IsPipeCreated()) {
        if (int created = request.CreatePipe()) return created;
    }
    for (;;) {
        if (!request.IsWritePipeConnected()) {
            // EPIPE: the stop was raised.
            int accepted = request.ConnectPipeWithin(kNoLimitMs, stop);
            if (accepted == EPIPE) return 0;
            if (accepted) return accepted;
        }
        if (request.WaitReadableWatching(stop) == EPIPE) return 0;
        int code = 0;
        switch (AnswerRequest(commands, state, code)) {
            case Step::kFailed:
                return code;
            case Step::kBlockCallsOver:
                return 0;
            default:
                break;
        }
    }
}

}  // namespace engine
