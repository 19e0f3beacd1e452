// The command channel of a pipe suit: the engine side sends a numbered
// command, the language side acts on it through a visitor and answers with
// a status. Built on AsyCsPipe1; the engine side is the client role.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "codec/protocol.h"
#include "transport/asycspipe1.h"

class DXCmdDispatcherVisitor;

class DXCmdDispatcher {
  public:
    DXCmdDispatcher(const std::string& pipeNamePrefix, bool isServer)
        : m_pipe(pipeNamePrefix, isServer) {}

    bool isServer() const { return m_pipe.isServer(); }
    // The client role may bound the wait and watch its partner's process
    // (see AsyCsPipe1::connectServer).
    int connectPeer(int limitMs = -1, int watchedProcess = -1);
    // The reply's status, or the transport code when the exchange failed;
    // ETIMEDOUT when a limit (negative: none) passed without a reply.
    int sendCmd(std::int32_t key, const std::vector<std::string>& arguments, int replyLimitMs = -1);
    int sendCmd(std::int32_t key) { return sendCmd(key, {}); }
    // The server role's loop ends the moment this process (the engine's, by
    // its end descriptor) ends.
    void watchPartner(int processDescriptor) { m_pipe.watchPartner(processDescriptor); }
    // Serves commands until a visitor answers kStopDX or a reply cannot go out.
    int receiveCmd(DXCmdDispatcherVisitor* visitor);

  private:
    AsyCsPipe1 m_pipe;
};

class DXCmdDispatcherVisitor : public AsyCsPipe1::Visitor {
  public:
    std::int32_t VisitReceiver(CleXDSmb& request, CleXDSmb& reply) override;
    virtual int cmdDispatcher(std::int32_t key, const std::vector<std::string>& arguments);
};
