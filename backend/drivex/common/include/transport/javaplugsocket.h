// The host's end of the TCP connection to the Java extension process: a
// listening socket on 127.0.0.1 whose port goes on the Java command line, and
// the one connection accepted on it. The object owns both descriptors; they
// are closed by CloseSocket, by a failure that ends the connection, or at the
// latest by the destructor. Failures are traced with the operation's name and
// return VEXA_SOCKET_ACCEPT_FAILED (no socket, no connection) or
// VEXA_SOCKET_FAILED. One thread at a time; no lock.
#pragma once

#include <string>

#include "platform/tcpsocket.h"

class JavaPlugInSocket {
  public:
    // Largest piece written in one send, the size of the receiver's read buffer.
    static constexpr int PIECE_SIZE = 8192;

    JavaPlugInSocket() = default;
    JavaPlugInSocket(const JavaPlugInSocket&) = delete;
    JavaPlugInSocket& operator=(const JavaPlugInSocket&) = delete;
    ~JavaPlugInSocket() = default;

    // Listens on `port`; the port field is left as it is. A listening socket
    // or connection held before is closed first.
    int CreateSocket(int port);
    // Listens on a port the system picks and stores it in the port field.
    int CreateSocket();
    // Waits without limit for one connection.
    int AcceptSocket();
    // As AcceptSocket, but ETIMEDOUT (untraced, the listening socket kept)
    // when nobody connected within the limit, so that the caller can check
    // on the process that should connect.
    int AcceptSocketWithin(unsigned milliseconds, int watchedProcess = -1);

    void SetSocketPort(int port) { m_port = port; }
    int GetSocketPort() const { return m_port; }

    // Sends every byte in pieces of at most PIECE_SIZE and adds the bytes
    // sent to `written`, which the caller starts at 0.
    int WriteData(const void* buffer, int length, int& written);
    // One receive of at most `size` bytes; `bytesRead` is 0 once the peer
    // has closed the connection.
    int ReadData(char* buffer, int size, int& bytesRead);
    // Closes the connection and the listening socket.
    int CloseSocket();

    bool IsListening() const { return m_listener.valid(); }
    bool IsConnected() const { return m_connection.valid(); }
    // Dotted address of the listening socket; empty when not listening.
    std::string GetListenAddress() const;

  private:
    int Listen(int port, bool storePort);

    platform::TcpListener m_listener;
    platform::TcpConnection m_connection;
    int m_port = 0;
};
