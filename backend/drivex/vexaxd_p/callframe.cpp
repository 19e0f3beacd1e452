#include "callframe.h"

#include <cerrno>
#include <memory>
#include <vector>

#include "apiconnection.h"
#include "codec/protocol.h"
#include "runtime/statuscodes.h"
#include "transport/sendreceive.h"
#include "transport/xpipemanager.h"

namespace api {
namespace {

// An engine the library did not start may create its request pipe a
// moment after the first call; the wait ends as soon as it does.
constexpr unsigned kOpenLimitMs = 2000;

int OpenRequestPipe(VexaPipe& request) { return request.VEXACreateFileWithin(kOpenLimitMs); }

// The thread's message pairs, one per depth of the frames alive on it.
class FramePool {
  public:
    FrameMessages& Acquire() {
        if (m_depth == m_pairs.size()) m_pairs.push_back(std::make_unique<FrameMessages>());
        return *m_pairs[m_depth++];
    }
    void Release() { --m_depth; }

  private:
    std::vector<std::unique_ptr<FrameMessages>> m_pairs;
    std::size_t m_depth = 0;
};

thread_local FramePool t_frames;

// A used message as a new one, but with the room its blocks kept.
void Clear(CleXDSmb& message) {
    message.CleanUp();
    message.TakeLentBlock();
    message.SetCommandAction(-1);
    message.SetErrorCode(0);
}

}  // namespace

CallFrame::CallFrame(int command) : m_messages(t_frames.Acquire()) {
    m_messages.request.SetCommandAction(command);
}

CallFrame::~CallFrame() {
    Clear(m_messages.request);
    Clear(m_messages.reply);
    t_frames.Release();
}

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
    if (int sent = SendRequest(*pipes, request())) return sent;
    if (int received = ReceiveReply(*pipes, reply())) return received;
    return reply().GetErrorCode();
}

}  // namespace api
