// TCP connections on the loopback address 127.0.0.1: a client end that
// connects to a port, and a listening end on an ephemeral port for the peer
// in tests and tools. Every operation returns 0 or an errno value and is
// safe against EINTR; nothing throws, nothing traces. Each object owns its
// descriptor and is used by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
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

    bool valid() const { return m_fd.valid(); }
    std::uint16_t port() const { return m_port; }
    // ETIMEDOUT when nobody connected within the limit.
    int AcceptWithin(TcpConnection& out, unsigned milliseconds);
    void close() { m_fd.reset(); }

private:
    UniqueFd m_fd;
    std::uint16_t m_port = 0;
};

}  // namespace platform
