#include "engineserver.h"

#include <cerrno>

#include "runtime/statuscodes.h"
#include "transport/sendreceive.h"

namespace engine {
namespace {

constexpr std::int32_t kFarewellValue = 998800;

}  // namespace

EngineServer::EngineServer(const std::string& pidText, const std::string& languageName)
    : m_manager(PipeNameRoot(), pidText) {
    XPipeSuit* suit = m_manager.getPipeSuit(languageName);
    suit->increaseIndex();
    m_pipes = suit->getXPipes();
}

int EngineServer::Open() {
    if (int created = m_pipes->GetXDAPIPipe()->CreatePipe()) return created;
    return m_pipes->GetXDAPIResultPipe()->VEXACreateFileR();
}

int EngineServer::SendReady(int code) {
    CleXDSmb ready;
    ready.SetErrorCode(code);
    return SendData(*m_pipes->GetXDAPIResultPipe(), ready, false);
}

bool EngineServer::IsFarewell(const CleXDSmb& message) {
    const LongData& values = message.GetLongDataRef();
    return message.GetCommandAction() == -1 && values.Size() == 1 && values[0] == kFarewellValue;
}

int EngineServer::AwaitClient() {
    VexaPipe& request = *m_pipes->GetXDAPIPipe();
    if (request.IsWritePipeConnected()) return 0;
    return request.ConnectPipe(*m_pipes->GetXDAPIResultPipe());
}

int EngineServer::Serve(const CommandTable& commands, EngineState& state) {
    VexaPipe& request = *m_pipes->GetXDAPIPipe();
    VexaPipe& result = *m_pipes->GetXDAPIResultPipe();
    while (true) {
        if (int waited = AwaitClient()) return waited;
        CleXDSmb message;
        int received = ReceiveData(request, message, true);
        // A parsed request hands back its own error code, which says nothing
        // about the receive; a failed receive leaves the fresh message at 0.
        if (received != 0 && received == message.GetErrorCode()) received = 0;
        if (received == EPIPE || received == VEXA_EMPTY_READ) {
            // The client closed its request end; it opens a new one for its
            // next call, or its result pipe hangs up and the wait ends.
            request.DisconnectPipe();
            continue;
        }
        CleXDSmb reply;
        if (received != 0) {
            reply.SetErrorCode(received);
        } else if (IsFarewell(message)) {
            return 0;
        } else {
            commands.Dispatch(message, reply, state);
        }
        if (int sent = SendData(result, reply, false)) return sent;
        if (state.stopRequested) return 0;
    }
}

}  // namespace engine
