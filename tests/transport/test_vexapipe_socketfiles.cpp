// The socket files of the pipe directory: a pipe's name is a file that its
// reader owns, and writers that come and go before the reader accepts wait
// in the listening socket's backlog.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "testsupport.h"
#include "transport/vexapipe.h"

using testsupport::UniquePipeName;

TEST(VexaPipeLifetime, ClientDestructionKeepsTheServersSocketFile) {
    const std::string name = UniquePipeName("keep");
    {
        VexaPipe server(name);
        ASSERT_EQ(server.CreatePipe(), 0);
        {
            VexaPipe client(name);
            ASSERT_EQ(client.VEXACreateFile(), 0);
        }
        EXPECT_TRUE(std::filesystem::exists(name));
        // A writer can still reach the pipe after another writer went away.
        VexaPipe second(name);
        EXPECT_EQ(second.VEXACreateFile(), 0);
    }
    EXPECT_FALSE(std::filesystem::exists(name));
}

TEST(VexaPipeLifetime, ReplacingServerFileIsNotRemovedByTheOldServer) {
    const std::string name = UniquePipeName("replace");
    auto first = std::make_unique<VexaPipe>(name);
    ASSERT_EQ(first->CreatePipe(), 0);
    VexaPipe second(name);
    ASSERT_EQ(second.CreatePipe(), 0);
    first.reset();
    EXPECT_TRUE(std::filesystem::exists(name));
    VexaPipe client(name);
    EXPECT_EQ(client.VEXACreateFile(), 0);
}
