// A request/reply channel between two processes over two one-way pipes:
// "<base>_s" carries requests to the server role, "<base>_c" replies to the
// client role. Each role creates the pipe it reads. The server role serves
// requests in a loop through a visitor; the client role sends a request and
// waits for its reply. No lock: one thread per side.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "transport/vexapipe.h"

class CleXDSmb;

class AsyCsPipe1 {
  public:
    class Visitor {
      public:
        virtual ~Visitor() = default;
        // Fills the reply from the request; -1 ends the loop after this reply.
        virtual std::int32_t VisitReceiver(CleXDSmb& request, CleXDSmb& reply) = 0;
    };
    using Handler = std::function<std::int32_t(CleXDSmb& request, CleXDSmb& reply)>;

    // Opening a client end is retried this often, the waits growing by
    // kOpenPauseStepMs up to kOpenAttempts times that.
    static constexpr int kOpenAttempts = 20;
    static constexpr unsigned kOpenPauseStepMs = 100;

    AsyCsPipe1(std::string baseName, bool isServer);
    AsyCsPipe1(const AsyCsPipe1&) = delete;
    AsyCsPipe1& operator=(const AsyCsPipe1&) = delete;
    ~AsyCsPipe1();

    bool isServer() const { return m_isServer; }
    const std::string& baseName() const { return m_baseName; }

    int openPipe();
    int closePipe();
    int createPipeFile(VexaPipe& end);
    // Server role: opens the reply pipe and waits for the client.
    int connectClient();
    // Client role: waits for the server on the reply pipe, opens the request
    // pipe. A limit (negative: none) ends the wait with ETIMEDOUT; a watched
    // process (its end descriptor, or -1), the server's, ends it with EPIPE
    // the moment that process ends, so that a server that died is not
    // waited for.
    int connectServer(int limitMs = -1, int watchedProcess = -1);

    // The receive loop also watches this process (the client's, by its end
    // descriptor) and ends with EPIPE the moment it ends.
    void watchPartner(int processDescriptor);
    // A limit (negative: none) ends the wait for the reply with ETIMEDOUT,
    // for a server that is alive but silent.
    std::int32_t send(CleXDSmb& request, CleXDSmb& reply, int replyLimitMs = -1);
    std::int32_t receive(Visitor* visitor);
    std::int32_t receive(const Handler& handler);

  private:
    // One loop for both forms; the texts name the traces of each form.
    std::int32_t Serve(const Handler& handler, const char* receiveTrace, const char* sendTrace);
    VexaPipe& OwnServerEnd() { return m_isServer ? *m_serverBound : *m_clientBound; }

    std::unique_ptr<VexaPipe> m_serverBound;
    std::unique_ptr<VexaPipe> m_clientBound;
    std::string m_baseName;
    bool m_opened = false;
    bool m_isServer;
};
