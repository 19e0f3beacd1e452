#include "platform/tcpsocket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#include "platform/winhandle.h"

namespace platform {
namespace {

// The socket library is started once for the process and never ended:
// sockets may be closed from static destructors.
int StartSockets() {
    static const int result = [] {
        WSADATA data;
        if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) return EPROTONOSUPPORT;
        return data.wVersion == MAKEWORD(2, 2) ? 0 : EPROTONOSUPPORT;
    }();
    return result;
}

int SocketErrno() {
    switch (const int error = ::WSAGetLastError()) {
        case WSAECONNREFUSED:
            return ECONNREFUSED;
        case WSAETIMEDOUT:
        case WSAEWOULDBLOCK:
            return ETIMEDOUT;
        case WSAECONNRESET:
            return ECONNRESET;
        case WSAECONNABORTED:
        case WSAESHUTDOWN:
        case WSAENOTCONN:
            return EPIPE;
        case WSAEADDRINUSE:
            return EADDRINUSE;
        case WSAEACCES:
            return EACCES;
        case WSAENOTSOCK:
            return EBADF;
        case WSAEINVAL:
            return EINVAL;
        default:
            return error;
    }
}

SOCKET S(const UniqueFd& fd) { return static_cast<SOCKET>(fd.get()); }

sockaddr_in LoopbackAddress(std::uint16_t port) {
    sockaddr_in address;
    std::memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

int NewSocket(UniqueFd& out) {
    if (int error = StartSockets()) return error;
    // Not inheritable: a started child must not hold the connection open.
    SOCKET socket =
        ::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
    if (socket == INVALID_SOCKET) return SocketErrno();
    out.reset(static_cast<int>(socket));
    return 0;
}

int Length(std::size_t length) { return length > INT_MAX ? INT_MAX : static_cast<int>(length); }

// Waits as the socket's own limit (SO_RCVTIMEO or SO_SNDTIMEO, which
// SetTimeout sets) says: not every Winsock applies it to a blocking call.
int WaitReady(SOCKET socket, SHORT events, int limitOption) {
    DWORD limit = 0;
    int size = sizeof limit;
    if (::getsockopt(socket, SOL_SOCKET, limitOption, reinterpret_cast<char*>(&limit), &size) !=
            0 ||
        limit == 0)
        return 0;
    WSAPOLLFD entry{socket, events, 0};
    const int ready = ::WSAPoll(&entry, 1, static_cast<INT>(limit));
    if (ready == SOCKET_ERROR) return SocketErrno();
    return ready == 0 ? ETIMEDOUT : 0;
}

}  // namespace

int TcpConnection::ConnectLoopback(std::uint16_t port, TcpConnection& out) {
    UniqueFd fd;
    if (int error = NewSocket(fd)) return error;
    const sockaddr_in address = LoopbackAddress(port);
    if (::connect(S(fd), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return SocketErrno();
    BOOL on = TRUE;
    ::setsockopt(S(fd), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    out.m_fd = std::move(fd);
    return 0;
}

int TcpConnection::SendAll(const void* data, std::size_t length) {
    if (!valid()) return EBADF;
    const auto* bytes = static_cast<const char*>(data);
    while (length > 0) {
        if (int error = WaitReady(S(m_fd), POLLWRNORM, SO_SNDTIMEO)) return error;
        const int sent = ::send(S(m_fd), bytes, Length(length), 0);
        if (sent == SOCKET_ERROR) return SocketErrno();
        bytes += sent;
        length -= static_cast<std::size_t>(sent);
    }
    return 0;
}

int TcpConnection::ReceiveExactly(void* data, std::size_t length) {
    if (!valid()) return EBADF;
    auto* bytes = static_cast<char*>(data);
    while (length > 0) {
        if (int error = WaitReady(S(m_fd), POLLRDNORM, SO_RCVTIMEO)) return error;
        const int got = ::recv(S(m_fd), bytes, Length(length), 0);
        if (got == SOCKET_ERROR) return SocketErrno();
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
    if (int error = WaitReady(S(m_fd), POLLRDNORM, SO_RCVTIMEO)) return error;
    const int got = ::recv(S(m_fd), static_cast<char*>(data), Length(capacity), 0);
    if (got == SOCKET_ERROR) return SocketErrno();
    if (got == 0) return EPIPE;
    received = static_cast<std::size_t>(got);
    return 0;
}

int TcpConnection::SendPiece(const void* data, std::size_t length, std::size_t& sent) {
    sent = 0;
    if (!valid()) return EBADF;
    if (int error = WaitReady(S(m_fd), POLLWRNORM, SO_SNDTIMEO)) return error;
    const int got = ::send(S(m_fd), static_cast<const char*>(data), Length(length), 0);
    if (got == SOCKET_ERROR) return SocketErrno();
    sent = static_cast<std::size_t>(got);
    return 0;
}

int TcpConnection::ShutdownSend() {
    if (!valid()) return EBADF;
    return ::shutdown(S(m_fd), SD_SEND) == 0 ? 0 : SocketErrno();
}

int TcpConnection::SetTimeout(unsigned milliseconds) {
    if (!valid()) return EBADF;
    const DWORD limit = milliseconds;
    const char* value = reinterpret_cast<const char*>(&limit);
    if (::setsockopt(S(m_fd), SOL_SOCKET, SO_RCVTIMEO, value, sizeof limit) != 0)
        return SocketErrno();
    if (::setsockopt(S(m_fd), SOL_SOCKET, SO_SNDTIMEO, value, sizeof limit) != 0)
        return SocketErrno();
    return 0;
}

int TcpListener::Open(TcpListener& out) {
    UniqueFd fd;
    if (int error = NewSocket(fd)) return error;
    // Without it another socket of the machine could bind the same port.
    BOOL exclusive = TRUE;
    ::setsockopt(S(fd), SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive),
                 sizeof exclusive);
    out.m_fd = std::move(fd);
    out.m_port = 0;
    return 0;
}

int TcpListener::BindLoopback(std::uint16_t port, int backlog) {
    if (!valid()) return EBADF;
    sockaddr_in address = LoopbackAddress(port);
    if (::bind(S(m_fd), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return SocketErrno();
    if (::listen(S(m_fd), backlog) != 0) return SocketErrno();
    int length = sizeof address;
    if (::getsockname(S(m_fd), reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return SocketErrno();
    m_port = ntohs(address.sin_port);
    return 0;
}

int TcpListener::LocalAddress(std::string& address) const {
    address.clear();
    if (!valid()) return EBADF;
    sockaddr_in bound;
    int length = sizeof bound;
    if (::getsockname(S(m_fd), reinterpret_cast<sockaddr*>(&bound), &length) != 0)
        return SocketErrno();
    char text[INET_ADDRSTRLEN];
    if (::inet_ntop(AF_INET, &bound.sin_addr, text, sizeof text) == nullptr) return SocketErrno();
    address = text;
    return 0;
}

int TcpListener::Accept(TcpConnection& out) {
    if (!valid()) return EBADF;
    const SOCKET accepted = ::accept(S(m_fd), nullptr, nullptr);
    if (accepted == INVALID_SOCKET) return SocketErrno();
    out = TcpConnection(UniqueFd(static_cast<int>(accepted)));
    return 0;
}

int TcpListener::AcceptWithin(TcpConnection& out, unsigned milliseconds, int watchedProcess) {
    if (!valid()) return EBADF;
    // A socket and a process handle cannot be waited on together: the wait
    // looks at the process between slices.
    constexpr unsigned kSliceMs = 20;
    for (unsigned waited = 0;;) {
        if (watchedProcess >= 0 &&
            ::WaitForSingleObject(win32::AsHandle(watchedProcess), 0) == WAIT_OBJECT_0)
            return EPIPE;
        const unsigned slice =
            watchedProcess >= 0 ? std::min(kSliceMs, milliseconds - waited) : milliseconds;
        WSAPOLLFD entry{S(m_fd), POLLRDNORM, 0};
        const int ready = ::WSAPoll(&entry, 1, static_cast<INT>(slice));
        if (ready == SOCKET_ERROR) return SocketErrno();
        if (ready > 0) return Accept(out);
        waited += slice;
        if (waited >= milliseconds) return ETIMEDOUT;
    }
}

}  // namespace platform
