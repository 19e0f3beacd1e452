#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

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
