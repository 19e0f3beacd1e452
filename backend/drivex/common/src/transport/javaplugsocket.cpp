#include "transport/javaplugsocket.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "runtime/dxtracer.h"
#include "runtime/statuscodes.h"

namespace {

// Room for the Java process and a few stray connects while the host starts it.
constexpr int kBacklog = 5;
constexpr int kHighestPort = 65535;

}  // namespace

int JavaPlugInSocket::CreateSocket(int port) { return Listen(port, false); }

int JavaPlugInSocket::CreateSocket() { return Listen(0, true); }

int JavaPlugInSocket::Listen(int port, bool storePort) {
    m_connection.close();
    m_listener.close();
    if (port < 0 || port > kHighestPort) {
        DxTraceError("CreateSocket port", EINVAL);
        return VEXA_SOCKET_FAILED;
    }
    platform::TcpListener listener;
    if (int error = platform::TcpListener::Open(listener)) {
        DxTraceError("CreateSocket socket", error);
        return VEXA_SOCKET_ACCEPT_FAILED;
    }
    // Loopback only: the Java process is local, and a socket open to the
    // network would let another host take the connection meant for it.
    if (int error = listener.BindLoopback(static_cast<std::uint16_t>(port), kBacklog)) {
        DxTraceError("CreateSocket bind", error);
        return VEXA_SOCKET_FAILED;
    }
    m_listener = std::move(listener);
    if (storePort) m_port = m_listener.port();
    return 0;
}

int JavaPlugInSocket::AcceptSocket() {
    m_connection.close();
    if (int error = m_listener.Accept(m_connection)) {
        DxTraceError("AcceptSocket", error);
        m_listener.close();
        return VEXA_SOCKET_ACCEPT_FAILED;
    }
    return 0;
}

int JavaPlugInSocket::AcceptSocketWithin(unsigned milliseconds, int watchedProcess) {
    m_connection.close();
    int error = m_listener.AcceptWithin(m_connection, milliseconds, watchedProcess);
    if (error == ETIMEDOUT) return error;
    if (error) {
        DxTraceError("AcceptSocket", error);
        m_listener.close();
        return VEXA_SOCKET_ACCEPT_FAILED;
    }
    return 0;
}

int JavaPlugInSocket::WriteData(const void* buffer, int length, int& written) {
    if (length < 0 || (buffer == nullptr && length > 0)) return VEXA_BAD_ARGUMENT;
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    std::size_t remaining = static_cast<std::size_t>(length);
    while (remaining > 0) {
        std::size_t sent = 0;
        int error =
            m_connection.SendPiece(bytes, std::min<std::size_t>(remaining, PIECE_SIZE), sent);
        if (error) {
            DxTraceError("WriteData", error);
            m_connection.close();
            return VEXA_SOCKET_FAILED;
        }
        written += static_cast<int>(sent);
        bytes += sent;
        remaining -= sent;
    }
    return 0;
}

int JavaPlugInSocket::ReadData(char* buffer, int size, int& bytesRead) {
    bytesRead = 0;
    if (size < 0 || (buffer == nullptr && size > 0)) return VEXA_BAD_ARGUMENT;
    std::size_t received = 0;
    if (int error = m_connection.ReceivePiece(buffer, static_cast<std::size_t>(size), received)) {
        m_connection.close();
        DxTraceError("ReadData", error);
        return VEXA_SOCKET_FAILED;
    }
    bytesRead = static_cast<int>(received);
    return 0;
}

int JavaPlugInSocket::CloseSocket() {
    // A close is never retried and leaves nothing the caller could act on,
    // so there is no failure to trace.
    m_connection.close();
    m_listener.close();
    return 0;
}

std::string JavaPlugInSocket::GetListenAddress() const {
    std::string address;
    if (m_listener.valid()) m_listener.LocalAddress(address);
    return address;
}
