#include "callframe.h"

#include <cerrno>
#include <chrono>
#include <thread>

#include "apiconnection.h"
#include "codec/protocol.h"
#include "runtime/statuscodes.h"
#include "transport/sendreceive.h"
#include "transport/xpipemanager.h"

namespace api {
namespace {

constexpr int kOpenAttempts = 20;
constexpr std::chrono::milliseconds kOpenPause{100};

int OpenRequestPipe(VexaPipe& request) {
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        if (request.VEXACreateFile() == 0) return 0;
        std::this_thread::sleep_for(kOpenPause);
    }
    return VEXA_PIPE_FAILED;
}

}  // namespace

int SendRequest(XPipes& pipes, CleXDSmb& request) {
    VexaPipe& pipe = *pipes.GetXDAPIPipe();
    if (!pipe.HasPipe()) {
        if (int error = OpenRequestPipe(pipe)) return error;
    }
    int sent = SendData(pipe, request, false);
    // The engine end is gone: the next call opens the pipe afresh.
    if (sent) pipe.ClosePipe();
    return sent;
}

int ReceiveReply(XPipes& pipes, CleXDSmb& reply) {
    VexaPipe& result = *pipes.GetXDAPIResultPipe();
    if (!result.IsWritePipeConnected()) {
        // Other connect failures leave a usable pipe; the read tells.
        if (result.ConnectPipe(*pipes.GetXDAPIPipe()) == EPIPE) return EPIPE;
    }
    const int received = ReceiveData(result, reply, true);
    // Only a failed read drops the dead engine's connection, so that a new
    // engine can connect; a reply's own EPIPE leaves it.
    const int failure = protocol::ReadFailure(received, reply.GetErrorCode());
    if (failure == EPIPE || failure == VEXA_EMPTY_READ) result.DisconnectPipe();
    return received;
}

int CallFrame::Exchange() {
    Connection().transfers().WaitForTransfers();
    XPipes* pipes = nullptr;
    if (int error = Connection().AcquirePipes(pipes)) return error;
    if (int sent = SendRequest(*pipes, m_request)) return sent;
    if (int received = ReceiveReply(*pipes, m_reply)) return received;
    return m_reply.GetErrorCode();
}

}  // namespace api
