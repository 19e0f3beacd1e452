// TCP connections on the loopback address 127.0.0.1: a client end that
// connects to a port, and a listening end on a given or an ephemeral port. Every operation returns
// 0 or an errno value and is safe against EINTR; nothing throws, nothing traces. Each object owns
// its descriptor and is used by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

#include "platform/uniquefd.h"

namespace platform {

class TcpConnection {
  public:
    TcpConnection() = default;
    explicit TcpConnection(UniqueFd fd) : m_fd(std::move(fd)) {}

    // ECONNREFUSED when nobody listens on the port.
    static int ConnectLoopback(std::uint16_t port, TcpConnection& out);

    bool valid() const { return m_fd.valid(); }
    void close() { m_fd.reset(); }

    // Every byte, or the error; EPIPE when the partner is gone (no SIGPIPE).
    int SendAll(const void* data, std::size_t length);
    // Exactly `length` bytes; EPIPE when the partner closed before they came,
    // ETIMEDOUT when a receive limit is set and nothing arrived within it.
    int ReceiveExactly(void* data, std::size_t length);
    // What has arrived, 1 to `capacity` bytes (waiting for the first); EPIPE
    // at the end of the stream.
    int ReceiveSome(void* data, std::size_t capacity, std::size_t& received);
    // One send of at most `length` bytes; `sent` tells how many went.
    int SendPiece(const void* data, std::size_t length, std::size_t& sent);
    // As ReceiveSome, but the end of the stream is 0 bytes and result 0.
    int ReceivePiece(void* data, std::size_t capacity, std::size_t& received);
    // Ends this side's sending, so the partner reads the end of the stream.
    int ShutdownSend();
    // A limit for each wait of ReceiveExactly and SendAll; 0 waits forever.
    int SetTimeout(unsigned milliseconds);

  private:
    UniqueFd m_fd;
};

class TcpListener {
  public:
    // Binds 127.0.0.1 on a port the system picks and listens.
    static int ListenLoopback(TcpListener& out);
    // A fresh socket, not yet bound: kept apart from BindLoopback so that a
    // caller can tell a socket that cannot be made from a port that is taken.
    static int Open(TcpListener& out);
    // Binds 127.0.0.1 on `port` (0: the system picks) and listens with room
    // for `backlog` pending connections.
    int BindLoopback(std::uint16_t port, int backlog);

    bool valid() const { return m_fd.valid(); }
    // The bound port; 0 before BindLoopback.
    std::uint16_t port() const { return m_port; }
    // The address the socket is bound to, as dotted text.
    int LocalAddress(std::string& address) const;
    // Waits without limit.
    int Accept(TcpConnection& out);
    // ETIMEDOUT when nobody connected within the limit; EPIPE as soon as
    // `watchedProcess` (a process end descriptor, or -1) turns readable.
    int AcceptWithin(TcpConnection& out, unsigned milliseconds, int watchedProcess = -1);
    void close() { m_fd.reset(); }

  private:
    UniqueFd m_fd;
    std::uint16_t m_port = 0;
};

}  // namespace platform
