// The Java extension socket against a real peer connection: where it
// listens, how bytes and whole images cross it, how a broken peer shows, and
// the process-wide extension message it carries.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "codec/clexdsmb.h"
#include "codec/javaextensionsmb.h"
#include "platform/tcpsocket.h"
#include "runtime/statuscodes.h"
#include "testsupport.h"
#include "transport/javaplugsocket.h"
#include "transport/sendreceive.h"

using platform::TcpConnection;
using Bytes = std::vector<unsigned char>;

namespace {

constexpr unsigned kPeerLimitMs = 10000;

// Action 7, long {5}, string {"ab"}.
const Bytes kSmallImage = {
    0x3E, 0x00, 0x00, 0x00, 0x07, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // T=62
    0x01, 0x00, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00,                          // long block
    0x00, 0x00, 0x00, 0x00,                                                  // double block
    0x01, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x61, 0x62,              // string block
    0x00, 0x00, 0x00, 0x00,                                                  // struct block
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // NL ND NS
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // B W V
};

void FillSmall(CleXDSmb& message) {
    message.SetCommandAction(7);
    message.SetLong(5);
    message.SetString(std::string("ab"));
}

Bytes Pattern(std::size_t size) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<unsigned char>(i * 13 + i / 8192);
    return bytes;
}

Bytes LittleEndian(std::int32_t value) {
    const auto bits = static_cast<std::uint32_t>(value);
    return {static_cast<unsigned char>(bits), static_cast<unsigned char>(bits >> 8),
            static_cast<unsigned char>(bits >> 16), static_cast<unsigned char>(bits >> 24)};
}

// The host's socket with one accepted peer connection.
struct Connected {
    JavaPlugInSocket host;
    TcpConnection peer;

    Connected() {
        EXPECT_EQ(host.CreateSocket(), 0);
        EXPECT_EQ(
            TcpConnection::ConnectLoopback(static_cast<std::uint16_t>(host.GetSocketPort()), peer),
            0);
        EXPECT_EQ(host.AcceptSocket(), 0);
        peer.SetTimeout(kPeerLimitMs);
    }
    ~Connected() { host.CloseSocket(); }

    Bytes PeerReceive(std::size_t size) {
        Bytes bytes(size);
        EXPECT_EQ(peer.ReceiveExactly(bytes.data(), bytes.size()), 0);
        return bytes;
    }
    // Everything the peer gets until the host closes its end.
    Bytes PeerReceiveToEnd() {
        Bytes all;
        unsigned char piece[4096];
        std::size_t got = 0;
        while (peer.ReceivePiece(piece, sizeof piece, got) == 0 && got > 0) {
            all.insert(all.end(), piece, piece + got);
        }
        return all;
    }
};

// Each case starts from the state a fresh process has.
class ExtensionMessage : public ::testing::Test {
  protected:
    void SetUp() override { Reset(); }
    void TearDown() override { Reset(); }
    static void Reset() {
        JavaExtensionSmb::CleanUp();
        JavaExtensionSmb::SetDataLen(0);
    }
    static void Prepare(const std::string& bytes) {
        ASSERT_EQ(JavaExtensionSmb::SetDataLen(static_cast<std::int32_t>(bytes.size())), 0);
        ASSERT_EQ(JavaExtensionSmb::SetSendBuf(bytes.data()), 0);
    }
    static std::string Held() {
        std::int32_t length = -1;
        const void* data = JavaExtensionSmb::GetSendBuf(length);
        return data ? std::string(static_cast<const char*>(data), static_cast<std::size_t>(length))
                    : std::string();
    }
};

}  // namespace

TEST(JavaSocketListening, SystemChosenPortIsStoredAndOnlyLoopbackIsBound) {
    JavaPlugInSocket socket;
    ASSERT_EQ(socket.CreateSocket(), 0);
    EXPECT_GT(socket.GetSocketPort(), 0);
    EXPECT_EQ(socket.GetListenAddress(), "127.0.0.1");
    TcpConnection peer;
    ASSERT_EQ(
        TcpConnection::ConnectLoopback(static_cast<std::uint16_t>(socket.GetSocketPort()), peer),
        0);
    EXPECT_EQ(socket.AcceptSocket(), 0);
    EXPECT_TRUE(socket.IsConnected());
    EXPECT_EQ(socket.CloseSocket(), 0);
    EXPECT_FALSE(socket.IsListening());
    EXPECT_FALSE(socket.IsConnected());
}

// Another address of this machine stands for another host: the listening
// socket must not take a connection that arrives there.
TEST(JavaSocketListening, AConnectionToAnotherAddressOfThisMachineIsRefused) {
    ifaddrs* addresses = nullptr;
    ASSERT_EQ(::getifaddrs(&addresses), 0);
    sockaddr_in other{};
    for (ifaddrs* entry = addresses; entry; entry = entry->ifa_next) {
        if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET) continue;
        const auto* address = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
        if ((ntohl(address->sin_addr.s_addr) >> 24) == 127) continue;
        other = *address;
        break;
    }
    ::freeifaddrs(addresses);
    if (other.sin_family != AF_INET)
        GTEST_SKIP() << "this machine has no IPv4 address but loopback";
    JavaPlugInSocket socket;
    ASSERT_EQ(socket.CreateSocket(), 0);
    other.sin_port = htons(static_cast<std::uint16_t>(socket.GetSocketPort()));
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(fd, 0);
    const int connected = ::connect(fd, reinterpret_cast<const sockaddr*>(&other), sizeof other);
    const int error = errno;
    ::close(fd);
    EXPECT_NE(connected, 0);
    EXPECT_EQ(error, ECONNREFUSED);
    EXPECT_FALSE(socket.IsConnected());
}

TEST(JavaSocketListening, GivenPortIsUsedAndThePortFieldIsLeftAlone) {
    // A port that was free a moment ago, so no fixed number can collide.
    int port = 0;
    {
        JavaPlugInSocket probe;
        ASSERT_EQ(probe.CreateSocket(), 0);
        port = probe.GetSocketPort();
    }
    JavaPlugInSocket socket;
    socket.SetSocketPort(1234);
    ASSERT_EQ(socket.CreateSocket(port), 0);
    EXPECT_EQ(socket.GetSocketPort(), 1234);
    EXPECT_EQ(socket.GetListenAddress(), "127.0.0.1");
    TcpConnection peer;
    EXPECT_EQ(TcpConnection::ConnectLoopback(static_cast<std::uint16_t>(port), peer), 0);
    EXPECT_EQ(socket.AcceptSocket(), 0);
}

TEST(JavaSocketListening, TakenOrImpossiblePortFailsAndListensNowhere) {
    testsupport::TraceCapture trace;
    JavaPlugInSocket first;
    ASSERT_EQ(first.CreateSocket(), 0);
    JavaPlugInSocket second;
    EXPECT_EQ(second.CreateSocket(first.GetSocketPort()), VEXA_SOCKET_FAILED);
    EXPECT_FALSE(second.IsListening());
    EXPECT_EQ(second.CreateSocket(65536), VEXA_SOCKET_FAILED);
    EXPECT_EQ(second.CreateSocket(-1), VEXA_SOCKET_FAILED);
    EXPECT_EQ(trace.lines().size(), 3u);
}

TEST(JavaSocketListening, AcceptWithoutAListeningSocketFails) {
    JavaPlugInSocket socket;
    EXPECT_EQ(socket.AcceptSocket(), VEXA_SOCKET_ACCEPT_FAILED);
}

TEST(JavaSocketListening, BoundedAcceptTimesOutAndKeepsListening) {
    JavaPlugInSocket socket;
    ASSERT_EQ(socket.CreateSocket(), 0);
    EXPECT_EQ(socket.AcceptSocketWithin(10), ETIMEDOUT);
    EXPECT_TRUE(socket.IsListening());
    TcpConnection peer;
    ASSERT_EQ(
        TcpConnection::ConnectLoopback(static_cast<std::uint16_t>(socket.GetSocketPort()), peer),
        0);
    EXPECT_EQ(socket.AcceptSocketWithin(kPeerLimitMs), 0);
}

TEST(JavaSocketListening, DestroyedSocketNoLongerListens) {
    int port = 0;
    {
        JavaPlugInSocket socket;
        ASSERT_EQ(socket.CreateSocket(), 0);
        port = socket.GetSocketPort();
    }
    TcpConnection peer;
    EXPECT_EQ(TcpConnection::ConnectLoopback(static_cast<std::uint16_t>(port), peer), ECONNREFUSED);
}

TEST(JavaSocketBytes, WriteOfOnePieceAndOneByteCountsEveryByteAndArrivesIntact) {
    Connected link;
    // Byte 8192 starts the second piece: a lost or repeated boundary byte shows.
    const Bytes sent = Pattern(8193);
    int written = 0;
    ASSERT_EQ(link.host.WriteData(sent.data(), static_cast<int>(sent.size()), written), 0);
    EXPECT_EQ(written, 8193);
    EXPECT_EQ(link.PeerReceive(sent.size()), sent);
}

TEST(JavaSocketBytes, WriteLargerThanTheSocketBuffersArrivesInOrder) {
    Connected link;
    const Bytes sent = Pattern(4 << 20);
    Bytes received;
    std::thread reader([&] { received = link.PeerReceive(sent.size()); });
    int written = 0;
    EXPECT_EQ(link.host.WriteData(sent.data(), static_cast<int>(sent.size()), written), 0);
    reader.join();
    EXPECT_EQ(written, static_cast<int>(sent.size()));
    EXPECT_TRUE(received == sent);
}

TEST(JavaSocketBytes, ReadGivesWhatArrivedThenZeroBytesOnceThePeerClosed) {
    Connected link;
    ASSERT_EQ(link.peer.SendAll("abc", 3), 0);
    link.peer.close();
    char buffer[16];
    std::string got;
    int count = -1;
    for (;;) {
        ASSERT_EQ(link.host.ReadData(buffer, sizeof buffer, count), 0);
        if (count == 0) break;
        got.append(buffer, static_cast<std::size_t>(count));
    }
    EXPECT_EQ(got, "abc");
    EXPECT_EQ(link.host.ReadData(buffer, sizeof buffer, count), 0);
    EXPECT_EQ(count, 0);
}

TEST(JavaSocketBytes, WriteToAPeerThatIsGoneFailsAndClosesTheConnection) {
    testsupport::TraceCapture trace;
    Connected link;
    link.peer.close();
    // The first writes may still be taken by the kernel before the reset is back.
    const Bytes piece = Pattern(8192);
    int result = 0;
    for (int attempt = 0; attempt < 100 && result == 0; ++attempt) {
        int written = 0;
        result = link.host.WriteData(piece.data(), static_cast<int>(piece.size()), written);
    }
    EXPECT_EQ(result, VEXA_SOCKET_FAILED);
    EXPECT_FALSE(link.host.IsConnected());
    ASSERT_FALSE(trace.lines().empty());
    EXPECT_EQ(trace.lines().back().rfind("WriteData error code : ", 0), 0u);
}

TEST(JavaSocketBytes, UnusableArgumentsAreRefusedWithoutTouchingTheConnection) {
    Connected link;
    int count = 0;
    EXPECT_EQ(link.host.WriteData(nullptr, 5, count), VEXA_BAD_ARGUMENT);
    EXPECT_EQ(link.host.WriteData("x", -1, count), VEXA_BAD_ARGUMENT);
    EXPECT_EQ(link.host.ReadData(nullptr, 5, count), VEXA_BAD_ARGUMENT);
    EXPECT_TRUE(link.host.IsConnected());
}

TEST(JavaSocketFraming, SentCommandMessageIsItsWireImageAndTheMessageIsEmptied) {
    Connected link;
    CleXDSmb message;
    FillSmall(message);
    ASSERT_EQ(SendData(link.host, message), 0);
    EXPECT_EQ(link.PeerReceive(kSmallImage.size()), kSmallImage);
    EXPECT_TRUE(message.GetLongDataRef().Values().empty());
    EXPECT_TRUE(message.GetStringDataRef().Values().empty());
}

TEST(JavaSocketFraming, ImageCutAnywhereIsReassembledAndTheNextImageStaysOnTheStream) {
    Connected link;
    Bytes reply = kSmallImage;
    reply[8] = 10;  // error code 10
    // T split 1 + 3, then the rest, then a second image in the same write.
    ASSERT_EQ(link.peer.SendAll(reply.data(), 1), 0);
    ASSERT_EQ(link.peer.SendAll(reply.data() + 1, 3), 0);
    Bytes rest(reply.begin() + 4, reply.end());
    rest.insert(rest.end(), kSmallImage.begin(), kSmallImage.end());
    ASSERT_EQ(link.peer.SendAll(rest.data(), rest.size()), 0);

    CleXDSmb first;
    EXPECT_EQ(ReceiveData(link.host, first), 10);
    EXPECT_EQ(first.GetCommandAction(), 7);
    EXPECT_EQ(first.GetLongDataRef().Values(), std::vector<std::int32_t>{5});
    EXPECT_EQ(first.GetSingleString(), "ab");
    CleXDSmb second;
    EXPECT_EQ(ReceiveData(link.host, second), 0);
    EXPECT_EQ(second.GetSingleString(), "ab");
}

TEST(JavaSocketFraming, LargeMessageCrossesBothWaysByteExact) {
    Connected link;
    const Bytes payload = Pattern(20000 - CleXDSmb::MIN_IMAGE_SIZE);
    auto withPayload = [&payload](CleXDSmb& message) {
        void* data = std::malloc(payload.size());
        std::memcpy(data, payload.data(), payload.size());
        message.SetCommandAction(3);
        message.SetVoidData(data, static_cast<std::int32_t>(payload.size()));
    };
    CleXDSmb expected;
    withPayload(expected);
    ASSERT_EQ(expected.ContructSendData(), 0);
    std::int32_t length = 0;
    const auto* image = static_cast<const unsigned char*>(expected.GetSendBuf(length));
    ASSERT_EQ(length, 20000);
    const Bytes expectedImage(image, image + length);

    CleXDSmb outgoing;
    withPayload(outgoing);
    ASSERT_EQ(SendData(link.host, outgoing), 0);
    const Bytes onTheWire = link.PeerReceive(expectedImage.size());
    EXPECT_TRUE(onTheWire == expectedImage);

    // Back from the peer: the host reassembles the same image into a message.
    ASSERT_EQ(link.peer.SendAll(onTheWire.data(), onTheWire.size()), 0);
    CleXDSmb incoming;
    ASSERT_EQ(ReceiveData(link.host, incoming), 0);
    EXPECT_EQ(incoming.GetCommandAction(), 3);
    std::int32_t voidLength = 0;
    const auto* data = static_cast<const unsigned char*>(incoming.GetVoidData(voidLength));
    ASSERT_EQ(voidLength, static_cast<std::int32_t>(payload.size()));
    EXPECT_TRUE(Bytes(data, data + voidLength) == payload);
}

TEST(JavaSocketFraming, BrokenImagesEndTheReceiveWithACodeAndParseNothing) {
    struct Case {
        const char* what;
        Bytes sent;
        int expected;
    };
    Bytes truncated(kSmallImage.begin(), kSmallImage.begin() + 40);
    Bytes huge = LittleEndian(0x7FFFFFFF);
    huge.insert(huge.end(), kSmallImage.begin() + 4, kSmallImage.end());
    const Case cases[] = {
        {"peer closed at once", {}, VEXA_EMPTY_READ},
        {"peer closed inside T", {0x3E, 0x00}, VEXA_EMPTY_READ},
        {"truncated image", truncated, VEXA_EMPTY_READ},
        {"huge total, then the peer stops", huge, VEXA_EMPTY_READ},
        {"total below the header size", LittleEndian(51), VEXA_MALFORMED_MESSAGE},
        {"negative total", LittleEndian(-62), VEXA_MALFORMED_MESSAGE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Connected link;
        if (!c.sent.empty()) {
            ASSERT_EQ(link.peer.SendAll(c.sent.data(), c.sent.size()), 0);
        }
        link.peer.close();
        CleXDSmb message;
        EXPECT_EQ(ReceiveData(link.host, message), c.expected);
        EXPECT_EQ(message.GetCommandAction(), -1);
        EXPECT_TRUE(message.GetLongDataRef().Values().empty());
    }
}

TEST_F(ExtensionMessage, SetSendBufCopiesExactlyTheDataLengthAndReplacesTheCopy) {
    const std::string source = "hello world";
    ASSERT_EQ(JavaExtensionSmb::SetDataLen(5), 0);
    ASSERT_EQ(JavaExtensionSmb::SetSendBuf(source.data()), 0);
    EXPECT_EQ(Held(), "hello");
    Prepare("second");
    EXPECT_EQ(Held(), "second");
    // A later, larger length does not make the holder claim bytes it never copied.
    ASSERT_EQ(JavaExtensionSmb::SetDataLen(1000), 0);
    EXPECT_EQ(Held(), "second");
    EXPECT_EQ(JavaExtensionSmb::GetDataLen(), 1000);
}

TEST_F(ExtensionMessage, NullOrNegativeInputIsRefusedAndKeepsTheHeldBytes) {
    Prepare("kept");
    EXPECT_EQ(JavaExtensionSmb::SetSendBuf(nullptr), VEXA_BAD_ARGUMENT);
    EXPECT_EQ(JavaExtensionSmb::SetDataLen(-1), VEXA_BAD_ARGUMENT);
    EXPECT_EQ(JavaExtensionSmb::GetDataLen(), 4);
    EXPECT_EQ(Held(), "kept");
    // A length of 0 holds nothing, and null is then no error.
    ASSERT_EQ(JavaExtensionSmb::SetDataLen(0), 0);
    EXPECT_EQ(JavaExtensionSmb::SetSendBuf(nullptr), 0);
    std::int32_t length = -1;
    EXPECT_EQ(JavaExtensionSmb::GetSendBuf(length), nullptr);
    EXPECT_EQ(length, 0);
}

TEST_F(ExtensionMessage, TwoObjectsShareOneState) {
    JavaExtensionSmb first;
    JavaExtensionSmb second;
    first.SetCommandName("EXTCMD");
    first.SetExtensionPath("/ext/a;/ext/b");
    first.SetPackageMode(false);
    EXPECT_EQ(second.GetCommandName(), "EXTCMD");
    EXPECT_EQ(second.GetExtensionPath(), "/ext/a;/ext/b");
    EXPECT_FALSE(second.IsPackageMode());
}

TEST_F(ExtensionMessage, SendPutsExactlyTheBytesOnTheWireAndCleansUp) {
    Connected link;
    JavaExtensionSmb message;
    message.SetCommandName("MYCOMMAND");
    message.SetExtensionPath("/ext");
    message.SetPackageMode(false);
    const std::string text = "line one\nline two\n";
    Prepare(text);
    ASSERT_EQ(SendData(link.host, message), 0);
    link.host.CloseSocket();
    const Bytes wire = link.PeerReceiveToEnd();
    EXPECT_EQ(std::string(wire.begin(), wire.end()), text);

    std::int32_t length = -1;
    EXPECT_EQ(message.GetSendBuf(length), nullptr);
    EXPECT_EQ(length, 0);
    EXPECT_EQ(message.GetCommandName(), "");
    EXPECT_EQ(message.GetExtensionPath(), "");
    EXPECT_TRUE(message.IsPackageMode());
    EXPECT_EQ(message.GetDataLen(), static_cast<std::int32_t>(text.size()));
}

TEST_F(ExtensionMessage, FailedSendKeepsTheMessage) {
    JavaPlugInSocket notConnected;
    ASSERT_EQ(notConnected.CreateSocket(), 0);
    JavaExtensionSmb message;
    message.SetCommandName("MYCOMMAND");
    Prepare("payload");
    EXPECT_EQ(SendData(notConnected, message), VEXA_SOCKET_FAILED);
    EXPECT_EQ(Held(), "payload");
    EXPECT_EQ(message.GetCommandName(), "MYCOMMAND");
}

TEST_F(ExtensionMessage, ReceiveOfAnExtensionMessageReadsNothing) {
    Connected link;
    ASSERT_EQ(link.peer.SendAll(kSmallImage.data(), kSmallImage.size()), 0);
    JavaExtensionSmb extension;
    EXPECT_EQ(ReceiveData(link.host, extension), 0);
    CleXDSmb message;
    EXPECT_EQ(ReceiveData(link.host, message), 0);
    EXPECT_EQ(message.GetSingleString(), "ab");
}
