#include "transport/asycspipe1.h"

#include <cerrno>
#include <chrono>
#include <thread>

#include "codec/clexdsmb.h"
#include "runtime/dxtracer.h"
#include "runtime/statuscodes.h"
#include "transport/sendreceive.h"

AsyCsPipe1::AsyCsPipe1(std::string baseName, bool isServer)
    : m_baseName(std::move(baseName)), m_isServer(isServer) {
    openPipe();
}

AsyCsPipe1::~AsyCsPipe1() { closePipe(); }

int AsyCsPipe1::openPipe() {
    if (m_opened) return 0;
    m_serverBound = std::make_unique<VexaPipe>(m_baseName + "_s");
    m_clientBound = std::make_unique<VexaPipe>(m_baseName + "_c");
    // A failed creation is traced by the end and shows in the first connect.
    if (OwnServerEnd().CreatePipe() == 0) OwnServerEnd().DisconnectPipe();
    m_opened = true;
    return 0;
}

void AsyCsPipe1::watchPartner(int processDescriptor) {
    openPipe();
    OwnServerEnd().WatchProcess(processDescriptor);
}

int AsyCsPipe1::closePipe() {
    if (!m_opened) return 0;
    if (int error = OwnServerEnd().DisconnectPipe()) return error;
    m_serverBound->ClosePipe();
    m_clientBound->ClosePipe();
    m_opened = false;
    return 0;
}

int AsyCsPipe1::createPipeFile(VexaPipe& end) {
    if (end.HasPipe()) return 0;
    DxTrace("AsyCsPipe1 VEXACreateFile A");
    int result = VEXA_PIPE_FAILED;
    for (int attempt = 1; attempt <= kOpenAttempts; ++attempt) {
        result = end.VEXACreateFile();
        if (result == 0 || attempt == kOpenAttempts) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(kOpenPauseStepMs * attempt));
    }
    DxTrace("AsyCsPipe1 VEXACreateFile B");
    return result;
}

int AsyCsPipe1::connectClient() {
    if (!m_isServer) {
        DxTrace("m_isServer");
        return VEXA_BAD_ARGUMENT;
    }
    openPipe();
    if (int error = createPipeFile(*m_clientBound)) return error;
    if (m_serverBound->IsWritePipeConnected()) return 0;
    DxTrace("AsyCsPipe1 S ConnectPipe A");
    // Ends should the client hang up on its reply pipe before it opens ours.
    int result = m_serverBound->ConnectPipe(*m_clientBound);
    DxTrace("AsyCsPipe1 S ConnectPipe B");
    return result;
}

int AsyCsPipe1::connectServer(int limitMs, int watchedProcess) {
    if (m_isServer) {
        DxTrace("!m_isServer");
        return VEXA_BAD_ARGUMENT;
    }
    openPipe();
    if (!m_clientBound->IsWritePipeConnected()) {
        DxTrace("AsyCsPipe1 C ConnectPipe A");
        if (limitMs >= 0 || watchedProcess >= 0) {
            const unsigned limit = limitMs >= 0 ? static_cast<unsigned>(limitMs) : ~0u >> 1;
            if (int error = m_clientBound->ConnectPipeWithin(limit, watchedProcess)) return error;
        } else {
            m_clientBound->ConnectPipe();
        }
        DxTrace("AsyCsPipe1 C ConnectPipe B");
    }
    return createPipeFile(*m_serverBound);
}

std::int32_t AsyCsPipe1::send(CleXDSmb& request, CleXDSmb& reply, int replyLimitMs) {
    openPipe();
    int result = SendData(*m_serverBound, request, false);
    DxTraceError("AsyCsPipe1:send: SendData", result);
    if (result) return result;
    // The server's reply comes on a connection accepted here: the first
    // exchange accepts it, watching the request pipe so that a server that
    // died never leaves this side waiting.
    if (!m_clientBound->IsWritePipeConnected()) {
        if (int error = m_clientBound->ConnectPipe(*m_serverBound)) return error;
    }
    if (replyLimitMs >= 0 &&
        m_clientBound->WaitReadable(static_cast<unsigned>(replyLimitMs)) == ETIMEDOUT) {
        DxTraceError("AsyCsPipe1:send: no reply", ETIMEDOUT);
        return ETIMEDOUT;
    }
    result = ReceiveData(*m_clientBound, reply, true);
    DxTraceError("AsyCsPipe1:send: ReceiveData", result);
    return result;
}

std::int32_t AsyCsPipe1::receive(Visitor* visitor) {
    Handler handler;
    if (visitor)
        handler = [visitor](CleXDSmb& request, CleXDSmb& reply) {
            return visitor->VisitReceiver(request, reply);
        };
    return Serve(handler, "AsyCsPipe1:receive: ReceiveData", "AsyCsPipe1:receive: SendData");
}

std::int32_t AsyCsPipe1::receive(const Handler& handler) {
    return Serve(handler, "AsyCsPipe1: ReceiveData", "AsyCsPipe1: SendData");
}

std::int32_t AsyCsPipe1::Serve(const Handler& handler, const char* receiveTrace,
                               const char* sendTrace) {
    openPipe();
    for (;;) {
        CleXDSmb request;
        CleXDSmb reply;
        if (!m_serverBound->IsWritePipeConnected()) {
            if (int error = m_serverBound->ConnectPipe()) return error;
        }
        int received = ReceiveData(*m_serverBound, request, true);
        DxTraceError(receiveTrace, received);
        bool last = false;
        if (received == 0 && handler) last = handler(request, reply) == -1;
        int sent = SendData(*m_clientBound, reply, false);
        DxTraceError(sendTrace, sent);
        if (last || sent) return sent;
    }
}
