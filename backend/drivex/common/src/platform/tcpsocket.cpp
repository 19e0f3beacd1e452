#include "platform/tcpsocket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <cerrno>
#include <cstring>

namespace platform {
namespace {

sockaddr_in LoopbackAddress(std::uint16_t port) {
    sockaddr_in address;
    std::memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

int NewSocket(UniqueFd& out) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return errno;
    out.reset(fd);
    return 0;
}

// Waits for `events`; EINTR restarts the wait with the whole limit, which
// can only lengthen it. -1 waits forever. EPIPE when `watched` (or -1) turns
// readable first.
int WaitFor(int fd, short events, int milliseconds, int watched = -1) {
    pollfd entries[2] = {{fd, events, 0}, {watched, POLLIN, 0}};
    int rc;
    do {
        rc = ::poll(entries, watched >= 0 ? 2 : 1, milliseconds);
    } while (rc < 0 && errno == EINTR);
    if (rc < 0) return errno;
    if (rc == 0) return ETIMEDOUT;
    if (entries[0].revents == 0) return EPIPE;
    return 0;
}

bool WouldBlock(int error) { return error == EAGAIN || error == EWOULDBLOCK; }

}  // namespace

int TcpConnection::ConnectLoopback(std::uint16_t port, TcpConnection& out) {
    UniqueFd fd;
    if (int error = NewSocket(fd)) return error;
    const sockaddr_in address = LoopbackAddress(port);
    if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        if (errno != EINTR) return errno;
        // An interrupted connect goes on in the background; its outcome is
        // the socket's pending error once it is writable.
        if (int error = WaitFor(fd.get(), POLLOUT, -1)) return error;
        int pending = 0;
        socklen_t length = sizeof pending;
        if (::getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &pending, &length) != 0) return errno;
        if (pending != 0) return pending;
    }
    int on = 1;
    ::setsockopt(fd.get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    out.m_fd = std::move(fd);
    return 0;
}

int TcpConnection::SendAll(const void* data, std::size_t length) {
    if (!valid()) return EBADF;
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (length > 0) {
        const ssize_t sent = ::send(m_fd.get(), bytes, length, MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno == EINTR) continue;
            return WouldBlock(errno) ? ETIMEDOUT : errno;
        }
        bytes += sent;
        length -= static_cast<std::size_t>(sent);
    }
    return 0;
}

int TcpConnection::ReceiveExactly(void* data, std::size_t length) {
    if (!valid()) return EBADF;
    auto* bytes = static_cast<unsigned char*>(data);
    while (length > 0) {
        const ssize_t got = ::recv(m_fd.get(), bytes, length, 0);
        if (got < 0) {
            if (errno == EINTR) continue;
            return WouldBlock(errno) ? ETIMEDOUT : errno;
        }
        if (got == 0) return EPIPE;
        bytes += got;
        length -= static_cast<std::size_t>(got);
    }
    return 0;
}

int TcpConnection::ReceiveSome(void* data, std::size_t capacity, std::size_t& received) {
    received = 0;
    if (!valid()) return EBADF;
    if (capacity == 0) return 0;
    ssize_t got;
    do {
        got = ::recv(m_fd.get(), data, capacity, 0);
    } while (got < 0 && errno == EINTR);
    if (got < 0) return WouldBlock(errno) ? ETIMEDOUT : errno;
    if (got == 0) return EPIPE;
    received = static_cast<std::size_t>(got);
    return 0;
}

int TcpConnection::SendPiece(const void* data, std::size_t length, std::size_t& sent) {
    sent = 0;
    if (!valid()) return EBADF;
    ssize_t got;
    do {
        got = ::send(m_fd.get(), data, length, MSG_NOSIGNAL);
    } while (got < 0 && errno == EINTR);
    if (got < 0) return WouldBlock(errno) ? ETIMEDOUT : errno;
    sent = static_cast<std::size_t>(got);
    return 0;
}

int TcpConnection::ShutdownSend() {
    if (!valid()) return EBADF;
    return ::shutdown(m_fd.get(), SHUT_WR) == 0 ? 0 : errno;
}

int TcpConnection::SetTimeout(unsigned milliseconds) {
    if (!valid()) return EBADF;
    timeval limit{};
    limit.tv_sec = static_cast<time_t>(milliseconds / 1000);
    limit.tv_usec = static_cast<suseconds_t>((milliseconds % 1000) * 1000);
    if (::setsockopt(m_fd.get(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit) != 0) return errno;
    if (::setsockopt(m_fd.get(), SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit) != 0) return errno;
    return 0;
}

int TcpListener::Open(TcpListener& out) {
    UniqueFd fd;
    if (int error = NewSocket(fd)) return error;
    out.m_fd = std::move(fd);
    out.m_port = 0;
    return 0;
}

int TcpListener::BindLoopback(std::uint16_t port, int backlog) {
    if (!valid()) return EBADF;
    sockaddr_in address = LoopbackAddress(port);
    if (::bind(m_fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return errno;
    if (::listen(m_fd.get(), backlog) != 0) return errno;
    socklen_t length = sizeof address;
    if (::getsockname(m_fd.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return errno;
    m_port = ntohs(address.sin_port);
    return 0;
}

int TcpListener::LocalAddress(std::string& address) const {
    address.clear();
    if (!valid()) return EBADF;
    sockaddr_in bound;
    socklen_t length = sizeof bound;
    if (::getsockname(m_fd.get(), reinterpret_cast<sockaddr*>(&bound), &length) != 0) return errno;
    char text[INET_ADDRSTRLEN];
    if (::inet_ntop(AF_INET, &bound.sin_addr, text, sizeof text) == nullptr) return errno;
    address = text;
    return 0;
}

int TcpListener::Accept(TcpConnection& out) {
    if (!valid()) return EBADF;
    int fd;
    do {
        fd = ::accept4(m_fd.get(), nullptr, nullptr, SOCK_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return errno;
    out = TcpConnection(UniqueFd(fd));
    return 0;
}

int TcpListener::AcceptWithin(TcpConnection& out, unsigned milliseconds, int watchedProcess) {
    if (!valid()) return EBADF;
    if (int error = WaitFor(m_fd.get(), POLLIN, static_cast<int>(milliseconds), watchedProcess))
        return error;
    return Accept(out);
}

}  // namespace platform
