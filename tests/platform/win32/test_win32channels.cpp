// The Windows platform's local channels: message-mode named pipes under
// "\\.\pipe\", their more-data case, their ends, and their access rule.
// aclapi.h and sddl.h need the declarations windows.h brings.
// clang-format off
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
// clang-format on

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <thread>
#include <vector>

#include "platform/localchannel.h"
#include "testsupport.h"

namespace {

using platform::ChannelConnection;
using platform::ChannelListener;

struct ConnectedPair {
    ChannelListener listener;
    ChannelConnection server;
    ChannelConnection client;

    explicit ConnectedPair(const std::string& name) {
        EXPECT_EQ(ChannelListener::Listen(name, listener), 0);
        EXPECT_EQ(ChannelConnection::Connect(name, client), 0);
        EXPECT_EQ(listener.AcceptWithin(server, 5000), 0);
    }
};

std::string ReceiveText(ChannelConnection& end, std::size_t capacity, int& error) {
    std::vector<char> buffer(capacity);
    std::size_t received = 0;
    error = end.Receive(buffer.data(), buffer.size(), received);
    return std::string(buffer.data(), received);
}

std::string OwnSidText() {
    HANDLE token = nullptr;
    EXPECT_TRUE(::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token));
    DWORD size = 0;
    ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> user(size);
    EXPECT_TRUE(::GetTokenInformation(token, TokenUser, user.data(), size, &size));
    ::CloseHandle(token);
    char* text = nullptr;
    EXPECT_TRUE(
        ::ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &text));
    std::string sid = text ? text : "";
    ::LocalFree(text);
    return sid;
}

bool UnderWine() {
    return ::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
}

}  // namespace

TEST(Win32Channels, PipeNamesLiveInThePipeNamespace) {
    EXPECT_EQ(platform::PipeDirectory(), "\\\\.\\pipe");
    EXPECT_EQ(platform::PipeNamePrefix(), "\\\\.\\pipe\\");
    EXPECT_EQ(platform::EnsurePipeDirectory(), 0);
    EXPECT_EQ(platform::MaxChannelPathLength(), 256u);
    ChannelListener listener;
    EXPECT_EQ(ChannelListener::Listen(platform::PipeNamePrefix() + std::string(260, 'x'), listener),
              ENAMETOOLONG);
}

TEST(Win32Channels, EachSendIsOneMessageAndALongOneIsCutWithItsRestDropped) {
    ConnectedPair pair(testsupport::UniquePipeName("msg"));
    ASSERT_EQ(pair.client.Send("first", 5), 0);
    ASSERT_EQ(pair.client.Send("sec", 3, "ond", 3), 0);
    const std::string longer(9000, 'L');
    ASSERT_EQ(pair.client.Send(longer.data(), longer.size()), 0);
    ASSERT_EQ(pair.client.Send("after", 5), 0);
    int error = -1;
    EXPECT_EQ(ReceiveText(pair.server, 8192, error), "first");
    EXPECT_EQ(error, 0);
    EXPECT_EQ(ReceiveText(pair.server, 8192, error), "second");
    EXPECT_EQ(error, 0);
    EXPECT_EQ(ReceiveText(pair.server, 8192, error), std::string(8192, 'L'));
    EXPECT_EQ(error, EMSGSIZE);
    EXPECT_EQ(ReceiveText(pair.server, 8192, error), "after");
    EXPECT_EQ(error, 0);
    // Both ways over the one connection.
    ASSERT_EQ(pair.server.Send("reply", 5), 0);
    EXPECT_EQ(pair.client.WaitReadable(5000), 0);
    EXPECT_EQ(ReceiveText(pair.client, 64, error), "reply");
}

TEST(Win32Channels, BatchesCarryTheSameMessagesOneAReceive) {
    ConnectedPair pair(testsupport::UniquePipeName("batch"));
    const std::string tail(9000, 'T');
    const platform::PacketParts packets[3] = {
        {"one", 3, nullptr, 0}, {"tw", 2, "o", 1}, {tail.data(), tail.size(), nullptr, 0}};
    ASSERT_EQ(pair.client.SendBatch(packets, 3), 0);
    std::string room(16, '.');
    const platform::PacketSlot two[2] = {{room.data(), 8}, {room.data() + 8, 8}};
    const platform::PacketSlot small[1] = {{room.data(), 2}};
    std::size_t lengths[4] = {};
    std::size_t taken = 0;
    ASSERT_EQ(pair.server.ReceiveBatch(two, 2, lengths, taken), 0);
    ASSERT_EQ(taken, 1u);
    EXPECT_EQ(lengths[0], 3u);
    ASSERT_EQ(pair.server.ReceiveBatch(small, 1, lengths, taken), 0);
    ASSERT_EQ(taken, 1u);
    // Larger than its slot: cut to it and reported one beyond.
    EXPECT_EQ(lengths[0], 3u);
    EXPECT_EQ(room.substr(0, 4), "twe.");
    ASSERT_EQ(pair.server.ReceiveBatch(two, 2, lengths, taken), 0);
    EXPECT_EQ(lengths[0], 9u);
    EXPECT_EQ(room.substr(0, 8), "TTTTTTTT");
    pair.client.close();
    EXPECT_EQ(pair.server.ReceiveBatch(two, 2, lengths, taken), EPIPE);
    EXPECT_EQ(taken, 0u);
}

TEST(Win32Channels, ConnectFailsAtOnceWithoutAReader) {
    const std::string name = testsupport::UniquePipeName("none");
    ChannelConnection client;
    EXPECT_EQ(ChannelConnection::Connect(name, client), ENOENT);
    ChannelListener listener;
    ASSERT_EQ(ChannelListener::Listen(name, listener), 0);
    EXPECT_EQ(ChannelConnection::Connect(name, client), 0);
    listener.close();
    ChannelConnection late;
    EXPECT_EQ(ChannelConnection::Connect(name, late), ENOENT);
}

TEST(Win32Channels, ANameHeldByAReaderIsNotTakenBySecondOne) {
    if (UnderWine()) GTEST_SKIP() << "Wine 8 does not enforce FILE_FLAG_FIRST_PIPE_INSTANCE";
    const std::string name = testsupport::UniquePipeName("taken");
    ChannelListener first;
    ASSERT_EQ(ChannelListener::Listen(name, first), 0);
    ChannelListener second;
    EXPECT_EQ(ChannelListener::Listen(name, second), EADDRINUSE);
}

TEST(Win32Channels, AGoneWriterIsABrokenPipeForTheReaderAndTheReverse) {
    ConnectedPair pair(testsupport::UniquePipeName("gone"));
    ASSERT_EQ(pair.client.Send("last", 4), 0);
    pair.client.close();
    int error = -1;
    EXPECT_EQ(ReceiveText(pair.server, 64, error), "last");
    EXPECT_EQ(error, 0);
    EXPECT_TRUE(pair.server.PartnerClosed());
    EXPECT_EQ(pair.server.WaitReadable(5000), 0);
    ReceiveText(pair.server, 64, error);
    EXPECT_EQ(error, EPIPE);
    EXPECT_EQ(pair.server.Send("x", 1), EPIPE);
}

TEST(Win32Channels, AWriterThatLeftBeforeTheAcceptIsStillReadToTheEnd) {
    const std::string name = testsupport::UniquePipeName("early");
    ChannelListener listener;
    ASSERT_EQ(ChannelListener::Listen(name, listener), 0);
    ChannelConnection client;
    ASSERT_EQ(ChannelConnection::Connect(name, client), 0);
    ASSERT_EQ(client.Send("early", 5), 0);
    client.close();
    ChannelConnection server;
    ASSERT_EQ(listener.Accept(server), 0);
    int error = -1;
    EXPECT_EQ(ReceiveText(server, 64, error), "early");
    EXPECT_EQ(error, 0);
    ReceiveText(server, 64, error);
    EXPECT_EQ(error, EPIPE);
}

TEST(Win32Channels, AcceptWaitsForEveryClientInTurnAndGivesUpWhenTold) {
    const std::string name = testsupport::UniquePipeName("accept");
    ChannelListener listener;
    ASSERT_EQ(ChannelListener::Listen(name, listener), 0);
    ChannelConnection nobody;
    EXPECT_EQ(listener.AcceptWithin(nobody, 50), ETIMEDOUT);

    ChannelConnection clients[3];
    std::thread connecting([&] {
        for (ChannelConnection& client : clients)
            EXPECT_EQ(ChannelConnection::Connect(name, client), 0);
    });
    ChannelConnection served[3];
    for (ChannelConnection& server : served) EXPECT_EQ(listener.Accept(server), 0);
    connecting.join();
    for (int i = 0; i < 3; ++i) {
        const std::string text = "client " + std::to_string(i);
        ASSERT_EQ(clients[i].Send(text.data(), text.size()), 0);
        int error = -1;
        EXPECT_EQ(ReceiveText(served[i], 64, error), text);
    }

    // A watched connection whose partner goes ends the wait for a writer.
    ConnectedPair watched(testsupport::UniquePipeName("watched"));
    std::thread leaving([&] { watched.client.close(); });
    ChannelConnection never;
    EXPECT_EQ(listener.Accept(never, &watched.server), EPIPE);
    leaving.join();
}

TEST(Win32Channels, OnlyTheCurrentUserIsAdmitted) {
    const std::string name = testsupport::UniquePipeName("acl");
    ChannelListener listener;
    ASSERT_EQ(ChannelListener::Listen(name, listener), 0);
    ChannelConnection client;
    ASSERT_EQ(ChannelConnection::Connect(name, client), 0);
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    PACL dacl = nullptr;
    ASSERT_EQ(
        ::GetSecurityInfo(reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(client.descriptor())),
                          SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                          nullptr, &descriptor),
        static_cast<DWORD>(ERROR_SUCCESS));
    char* text = nullptr;
    ASSERT_TRUE(::ConvertSecurityDescriptorToStringSecurityDescriptorA(
        descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr));
    const std::string sddl = text;
    ::LocalFree(text);
    ::LocalFree(descriptor);
    // One allow entry, for this user; the DACL is protected from inheritance.
    EXPECT_EQ(sddl.substr(0, 3), "D:P") << sddl;
    EXPECT_NE(sddl.find(";;;" + OwnSidText() + ")"), std::string::npos) << sddl;
    EXPECT_EQ(sddl.find(")("), std::string::npos) << sddl;
}
