#include "transport/dxcmddispatcher.h"

#include <cstdio>

#include "codec/clexdsmb.h"
#include "runtime/dxtracer.h"

namespace {

void TraceNumber(const char* format, std::int32_t value) {
    char line[48];
    std::snprintf(line, sizeof line, format, static_cast<int>(value));
    DxTrace(line);
}

}  // namespace

int DXCmdDispatcher::connectPeer(int limitMs, int watchedProcess) {
    return isServer() ? m_pipe.connectClient() : m_pipe.connectServer(limitMs, watchedProcess);
}

int DXCmdDispatcher::sendCmd(std::int32_t key, const std::vector<std::string>& arguments,
                             int replyLimitMs) {
    CleXDSmb request;
    request.SetLong(key);
    for (const std::string& argument : arguments) request.SetString(argument);
    TraceNumber("cmd NO: %d", key);
    CleXDSmb reply;
    // The transport result is the reply's status once the reply arrived.
    const int status = m_pipe.send(request, reply, replyLimitMs);
    TraceNumber("cmd return: %d", status);
    return status;
}

int DXCmdDispatcher::receiveCmd(DXCmdDispatcherVisitor* visitor) { return m_pipe.receive(visitor); }

std::int32_t DXCmdDispatcherVisitor::VisitReceiver(CleXDSmb& request, CleXDSmb& reply) {
    const LongData& longs = request.GetLongDataRef();
    if (longs.Size() != 1) return 0;
    const std::int32_t key = longs[0];
    const std::vector<std::string> arguments = request.GetStringDataRef().Values();
    const int status = cmdDispatcher(key, arguments);
    if (key == protocol::kStopDX) {
        DxTrace("kStopDX");
        reply.SetErrorCode(0);
        return -1;
    }
    reply.SetErrorCode(status);
    return status;
}

int DXCmdDispatcherVisitor::cmdDispatcher(std::int32_t, const std::vector<std::string>&) {
    return 0;
}
