#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>
#include <vector>

#include "platform/channelwait.h"
#include "platform/localchannel.h"
#include "testsupport.h"

namespace fs = std::filesystem;

TEST(PrivateDirectory, IsCreatedWithOwnerOnlyAccess) {
    testsupport::TempDir temp;
    const std::string dir = temp.file("pipes");
    ASSERT_EQ(platform::EnsurePrivateDirectory(dir), 0);
    struct stat info {};
    ASSERT_EQ(::lstat(dir.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_EQ(platform::EnsurePrivateDirectory(dir), 0);
}

TEST(PrivateDirectory, LinkIsRefusedEvenToAPrivateDirectory) {
    testsupport::TempDir temp;
    const std::string real = temp.file("real");
    ASSERT_EQ(platform::EnsurePrivateDirectory(real), 0);
    fs::create_directory_symlink(real, temp.file("link"));
    EXPECT_EQ(platform::EnsurePrivateDirectory(temp.file("link")), ENOTDIR);
}

TEST(PrivateDirectory, GroupOrOtherAccessIsRefused) {
    testsupport::TempDir temp;
    for (mode_t mode : {0750, 0705, 0770, 0777}) {
        const std::string dir = temp.file("open" + std::to_string(mode));
        ASSERT_EQ(::mkdir(dir.c_str(), 0700), 0);
        ASSERT_EQ(::chmod(dir.c_str(), mode), 0);
        EXPECT_EQ(platform::EnsurePrivateDirectory(dir), EPERM) << std::oct << mode;
    }
}

TEST(PrivateDirectory, SomeoneElsesDirectoryIsRefused) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to give a directory to another user";
    testsupport::TempDir temp;
    const std::string dir = temp.file("foreign");
    ASSERT_EQ(::mkdir(dir.c_str(), 0700), 0);
    ASSERT_EQ(::chown(dir.c_str(), 65534, 65534), 0);
    EXPECT_EQ(platform::EnsurePrivateDirectory(dir), EPERM);
}

TEST(PrivateDirectory, PlainFileIsRefused) {
    testsupport::TempDir temp;
    testsupport::WriteFile(temp.file("file"), "x");
    EXPECT_EQ(platform::EnsurePrivateDirectory(temp.file("file")), ENOTDIR);
}

TEST(ChannelConnection, TruncatedPacketIsReportedAsMessageSize) {
    const std::string name = testsupport::UniquePipeName("trunc");
    ASSERT_EQ(platform::EnsurePipeDirectory(), 0);
    platform::ChannelListener listener;
    ASSERT_EQ(platform::ChannelListener::Listen(name, listener), 0);
    platform::ChannelConnection writer, reader;
    ASSERT_EQ(platform::ChannelConnection::Connect(name, writer), 0);
    ASSERT_EQ(listener.Accept(reader), 0);
    ASSERT_EQ(writer.Send("0123456789", 10), 0);
    char buffer[4];
    size_t got = 0;
    EXPECT_EQ(reader.Receive(buffer, sizeof buffer, got), EMSGSIZE);
    EXPECT_EQ(got, 4u);
}

namespace {

struct ConnectedPair {
    platform::ChannelListener listener;
    platform::ChannelConnection writer, reader;
    explicit ConnectedPair(const std::string& tag) {
        const std::string name = testsupport::UniquePipeName(tag);
        EXPECT_EQ(platform::EnsurePipeDirectory(), 0);
        EXPECT_EQ(platform::ChannelListener::Listen(name, listener), 0);
        EXPECT_EQ(platform::ChannelConnection::Connect(name, writer), 0);
        EXPECT_EQ(listener.Accept(reader), 0);
    }
};

}  // namespace

// Slots of the given sizes end to end in `room`.
std::vector<platform::PacketSlot> SlotsIn(std::string& room,
                                          const std::vector<std::size_t>& sizes) {
    std::vector<platform::PacketSlot> slots;
    std::size_t at = 0;
    for (std::size_t size : sizes) {
        slots.push_back({room.data() + at, size});
        at += size;
    }
    return slots;
}

TEST(ChannelConnection, ABatchReceiveTakesWhatIsQueuedIntoItsSlots) {
    ConnectedPair pair("batchrecv");
    ASSERT_EQ(pair.writer.Send("AAAAAAAA", 8), 0);
    ASSERT_EQ(pair.writer.Send("BBBBBBBB", 8), 0);
    ASSERT_EQ(pair.writer.Send("CCC", 3), 0);
    // Ten slots offered, three packets queued: the receive does not wait for more.
    std::string room(80, '.');
    std::vector<platform::PacketSlot> slots = SlotsIn(room, std::vector<std::size_t>(10, 8));
    std::size_t lengths[10] = {};
    std::size_t taken = 0;
    ASSERT_EQ(pair.reader.ReceiveBatch(slots.data(), slots.size(), lengths, taken), 0);
    ASSERT_EQ(taken, 3u);
    EXPECT_EQ(lengths[0], 8u);
    EXPECT_EQ(lengths[1], 8u);
    EXPECT_EQ(lengths[2], 3u);
    EXPECT_EQ(room.substr(0, 24), "AAAAAAAABBBBBBBBCCC.....");

    // A packet larger than its slot is cut to it and reported with its whole size.
    ASSERT_EQ(pair.writer.Send("DDDDDDDD", 8), 0);
    ASSERT_EQ(pair.writer.Send("EEEEEE", 6), 0);
    room.assign(80, '.');
    slots = SlotsIn(room, {8, 4});
    ASSERT_EQ(pair.reader.ReceiveBatch(slots.data(), slots.size(), lengths, taken), 0);
    ASSERT_EQ(taken, 2u);
    EXPECT_EQ(lengths[0], 8u);
    EXPECT_EQ(lengths[1], 6u);
    EXPECT_EQ(room.substr(0, 16), "DDDDDDDDEEEE....");

    // Packets queued before the partner closed still arrive; then EPIPE.
    ASSERT_EQ(pair.writer.Send("FF", 2), 0);
    pair.writer.close();
    slots = SlotsIn(room, std::vector<std::size_t>(10, 8));
    ASSERT_EQ(pair.reader.ReceiveBatch(slots.data(), slots.size(), lengths, taken), 0);
    ASSERT_EQ(taken, 1u);
    EXPECT_EQ(lengths[0], 2u);
    EXPECT_EQ(pair.reader.ReceiveBatch(slots.data(), slots.size(), lengths, taken), EPIPE);
    EXPECT_EQ(taken, 0u);
}

TEST(ChannelConnection, ABatchSendKeepsEveryPacketWholeAndInOrder) {
    // More packets than one call takes and than the socket buffers hold, each
    // of two parts: the sender blocks inside the batch while a reader drains.
    ConnectedPair pair("batchsend");
    constexpr std::size_t kPackets = 300;
    std::vector<std::string> heads, tails;
    std::vector<platform::PacketParts> packets;
    for (std::size_t i = 0; i < kPackets; ++i) {
        heads.push_back(std::string(i % 97 + 1, static_cast<char>('a' + i % 26)));
        tails.push_back(i % 3 == 0 ? std::string() : std::string(4000 + i, static_cast<char>(i)));
    }
    for (std::size_t i = 0; i < kPackets; ++i)
        packets.push_back({heads[i].data(), heads[i].size(), tails[i].data(), tails[i].size()});
    std::vector<std::string> received;
    std::thread reader([&] {
        std::vector<char> buffer(8192);
        for (std::size_t i = 0; i < kPackets; ++i) {
            std::size_t got = 0;
            ASSERT_EQ(pair.reader.Receive(buffer.data(), buffer.size(), got), 0);
            received.emplace_back(buffer.data(), got);
        }
    });
    EXPECT_EQ(pair.writer.SendBatch(packets.data(), packets.size()), 0);
    reader.join();
    ASSERT_EQ(received.size(), kPackets);
    for (std::size_t i = 0; i < kPackets; ++i) EXPECT_EQ(received[i], heads[i] + tails[i]) << i;
    pair.reader.close();
    EXPECT_EQ(pair.writer.SendBatch(packets.data(), 1), EPIPE);
}

TEST(ChannelListener, ListenRefusesToReplaceANonSocketFile) {
    testsupport::TempDir temp;
    testsupport::WriteFile(temp.file("plain"), "data");
    platform::ChannelListener listener;
    EXPECT_EQ(platform::ChannelListener::Listen(temp.file("plain"), listener), EEXIST);
    EXPECT_EQ(testsupport::ReadFile(temp.file("plain")), "data");
}

TEST(ChannelListener, SocketFileIsOwnerOnlyWhateverTheUmask) {
    testsupport::TempDir temp;
    const mode_t previous = ::umask(0);
    platform::ChannelListener listener;
    const int listened = platform::ChannelListener::Listen(temp.file("sock"), listener);
    ::umask(previous);
    ASSERT_EQ(listened, 0);
    struct stat info {};
    ASSERT_EQ(::lstat(temp.file("sock").c_str(), &info), 0);
    EXPECT_TRUE(S_ISSOCK(info.st_mode));
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

// A process ending at once takes its bound socket files with it; a closed
// channel's file is gone already, and a file someone else has put in the
// place of one of ours stays.
TEST(ChannelListener, RemovingOwnChannelsTakesOnlyFilesStillBoundHere) {
    testsupport::TempDir temp;
    platform::ChannelListener first, second, closed, taken;
    ASSERT_EQ(platform::ChannelListener::Listen(temp.file("first"), first), 0);
    ASSERT_EQ(platform::ChannelListener::Listen(temp.file("second"), second), 0);
    ASSERT_EQ(platform::ChannelListener::Listen(temp.file("closed"), closed), 0);
    ASSERT_EQ(platform::ChannelListener::Listen(temp.file("taken"), taken), 0);
    closed.close();
    fs::remove(temp.file("taken"));
    testsupport::WriteFile(temp.file("taken"), "someone else's");

    EXPECT_EQ(platform::RemoveOwnChannels(), 2);
    EXPECT_FALSE(fs::exists(temp.file("first")));
    EXPECT_FALSE(fs::exists(temp.file("second")));
    EXPECT_EQ(testsupport::ReadFile(temp.file("taken")), "someone else's");
    EXPECT_EQ(platform::RemoveOwnChannels(), 0);
}

// A writer that comes before its reader's channel exists: the connect waits
// for the bind and succeeds, a missing channel fails after the limit, and a
// socket file left by a dead reader is waited through until a new reader
// takes its place.
TEST(ConnectChannelWithin, WaitsForTheReaderToBindUpToTheLimit) {
    testsupport::TempDir temp;
    const std::string name = temp.file("late");
    platform::ChannelListener listener;
    std::thread reader([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        ASSERT_EQ(platform::ChannelListener::Listen(name, listener), 0);
    });
    platform::ChannelConnection writer;
    EXPECT_EQ(platform::ConnectChannelWithin(name, writer, 10000), 0);
    reader.join();
    platform::ChannelConnection accepted;
    ASSERT_EQ(listener.Accept(accepted), 0);
    ASSERT_EQ(writer.Send("x", 1), 0);
    char got = 0;
    std::size_t length = 0;
    EXPECT_EQ(accepted.Receive(&got, 1, length), 0);
    EXPECT_EQ(got, 'x');

    platform::ChannelConnection nobody;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(platform::ConnectChannelWithin(temp.file("never"), nobody, 150), ENOENT);
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(150));
    EXPECT_FALSE(nobody.valid());
}

TEST(ConnectChannelWithin, AStaleSocketFileIsWaitedThroughUntilReplaced) {
    testsupport::TempDir temp;
    const std::string name = temp.file("stale");
    {
        // Bound and closed without removing its file, as by a killed reader.
        const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", name.c_str());
        ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ::close(fd);
    }
    platform::ChannelConnection refused;
    EXPECT_EQ(platform::ConnectChannelWithin(name, refused, 50), ECONNREFUSED);
    platform::ChannelListener listener;
    std::thread reader([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        ASSERT_EQ(platform::ChannelListener::Listen(name, listener), 0);
    });
    platform::ChannelConnection writer;
    EXPECT_EQ(platform::ConnectChannelWithin(name, writer, 10000), 0);
    reader.join();
}
