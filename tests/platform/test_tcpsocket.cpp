// Loopback TCP connections: bytes cross intact between threads, the end of
// the stream and a dead port are reported, and waits honour their limits.
#include <gtest/gtest.h>

#include <cerrno>
#include <thread>
#include <vector>

#include "platform/process.h"
#include "platform/tcpsocket.h"

namespace {

using platform::TcpConnection;
using platform::TcpListener;

constexpr unsigned kLimitMs = 10000;

TEST(TcpSocket, ListensOnAnEphemeralLoopbackPort) {
    TcpListener listener;
    ASSERT_EQ(TcpListener::ListenLoopback(listener), 0);
    EXPECT_NE(listener.port(), 0);
    TcpListener second;
    ASSERT_EQ(TcpListener::ListenLoopback(second), 0);
    EXPECT_NE(second.port(), listener.port());
}

TEST(TcpSocket, SendAllAndReceiveExactlyMoveEveryByteInOrder) {
    TcpListener listener;
    ASSERT_EQ(TcpListener::ListenLoopback(listener), 0);
    // Far more than a socket buffer holds, so both loops must go round.
    std::vector<unsigned char> sent(8 << 20);
    for (std::size_t i = 0; i < sent.size(); ++i)
        sent[i] = static_cast<unsigned char>(i * 7 + i / 251);
    int sendResult = -1;
    std::thread writer([&] {
        TcpConnection connection;
        sendResult = TcpConnection::ConnectLoopback(listener.port(), connection);
        if (sendResult == 0) sendResult = connection.SendAll(sent.data(), sent.size());
    });
    TcpConnection accepted;
    ASSERT_EQ(listener.AcceptWithin(accepted, kLimitMs), 0);
    std::vector<unsigned char> received(sent.size());
    EXPECT_EQ(accepted.ReceiveExactly(received.data(), received.size()), 0);
    writer.join();
    EXPECT_EQ(sendResult, 0);
    EXPECT_TRUE(received == sent);
    // The writer closed: the end of the stream is EPIPE.
    unsigned char more = 0;
    EXPECT_EQ(accepted.ReceiveExactly(&more, 1), EPIPE);
    std::size_t got = 99;
    EXPECT_EQ(accepted.ReceiveSome(&more, 1, got), EPIPE);
    EXPECT_EQ(got, 0u);
}

TEST(TcpSocket, AShortStreamIsEpipeAndShutdownEndsIt) {
    TcpListener listener;
    ASSERT_EQ(TcpListener::ListenLoopback(listener), 0);
    TcpConnection client;
    ASSERT_EQ(TcpConnection::ConnectLoopback(listener.port(), client), 0);
    TcpConnection server;
    ASSERT_EQ(listener.AcceptWithin(server, kLimitMs), 0);
    const unsigned char three[3] = {1, 2, 3};
    ASSERT_EQ(client.SendAll(three, sizeof three), 0);
    ASSERT_EQ(client.ShutdownSend(), 0);
    unsigned char four[4] = {};
    EXPECT_EQ(server.ReceiveExactly(four, sizeof four), EPIPE);
    // The other direction still works after the half close.
    ASSERT_EQ(server.SendAll(three, 1), 0);
    unsigned char one = 0;
    EXPECT_EQ(client.ReceiveExactly(&one, 1), 0);
    EXPECT_EQ(one, 1);
}

TEST(TcpSocket, ConnectingWhereNobodyListensIsRefused) {
    std::uint16_t port = 0;
    {
        TcpListener listener;
        ASSERT_EQ(TcpListener::ListenLoopback(listener), 0);
        port = listener.port();
    }
    TcpConnection connection;
    EXPECT_EQ(TcpConnection::ConnectLoopback(port, connection), ECONNREFUSED);
    EXPECT_FALSE(connection.valid());
}

TEST(TcpSocket, WaitsEndAtTheirLimits) {
    TcpListener listener;
    ASSERT_EQ(TcpListener::ListenLoopback(listener), 0);
    TcpConnection none;
    EXPECT_EQ(listener.AcceptWithin(none, 50), ETIMEDOUT);
    // The process that was to connect ended: the wait ends then, not at its limit.
    platform::ChildProcess child;
    ASSERT_EQ(platform::ChildProcess::Spawn({"/bin/true"}, child), 0);
    EXPECT_EQ(listener.AcceptWithin(none, 600000, child.endDescriptor()), EPIPE);

    TcpConnection client;
    ASSERT_EQ(TcpConnection::ConnectLoopback(listener.port(), client), 0);
    TcpConnection server;
    ASSERT_EQ(listener.AcceptWithin(server, kLimitMs), 0);
    ASSERT_EQ(server.SetTimeout(50), 0);
    unsigned char byte = 0;
    EXPECT_EQ(server.ReceiveExactly(&byte, 1), ETIMEDOUT);
}

TEST(TcpSocket, AClosedConnectionRefusesWork) {
    TcpConnection connection;
    unsigned char byte = 0;
    EXPECT_EQ(connection.SendAll(&byte, 1), EBADF);
    EXPECT_EQ(connection.ReceiveExactly(&byte, 1), EBADF);
}

}  // namespace
