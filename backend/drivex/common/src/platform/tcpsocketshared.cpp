// The parts of the loopback sockets that are the same on every system.
#include <cerrno>
#include <utility>

#include "platform/tcpsocket.h"

namespace platform {

int TcpConnection::ReceivePiece(void* data, std::size_t capacity, std::size_t& received) {
    int error = ReceiveSome(data, capacity, received);
    return error == EPIPE ? 0 : error;
}

int TcpListener::ListenLoopback(TcpListener& out) {
    TcpListener listener;
    if (int error = Open(listener)) return error;
    if (int error = listener.BindLoopback(0, 8)) return error;
    out = std::move(listener);
    return 0;
}

}  // namespace platform
