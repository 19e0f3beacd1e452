#include <gtest/gtest.h>
#include <signal.h>

#include <cerrno>

#include "platform/process.h"

using platform::ChildProcess;

TEST(ChildProcess, ExitStatusIsKeptAfterTheChildIsReaped) {
    ChildProcess child;
    ASSERT_EQ(ChildProcess::Spawn({"/bin/sh", "-c", "exit 3"}, child), 0);
    EXPECT_EQ(child.Wait(), 3);
    EXPECT_FALSE(child.IsActive());
    EXPECT_EQ(child.Wait(), 3);  // never waited for twice
}

TEST(ChildProcess, ArgumentWithBlankStaysOneArgument) {
    ChildProcess child;
    ASSERT_EQ(ChildProcess::Spawn({"/bin/sh", "-c", "[ \"$0\" = 'a b' ]", "a b"}, child), 0);
    EXPECT_EQ(child.Wait(), 0);
}

TEST(ChildProcess, RunningChildIsActiveUntilKilled) {
    ChildProcess child;
    ASSERT_EQ(ChildProcess::Spawn({"/bin/sleep", "30"}, child), 0);
    EXPECT_TRUE(child.IsActive());
    EXPECT_FALSE(child.WaitFor(50));
    child.Kill();
    EXPECT_FALSE(child.IsActive());
    EXPECT_EQ(child.ExitStatus(), 128 + SIGKILL);
}

TEST(ChildProcess, MissingProgramIsAStartFailure) {
    ChildProcess child;
    EXPECT_EQ(ChildProcess::Spawn({"/nonexistent/program"}, child), ENOENT);
    EXPECT_FALSE(child.started());
    EXPECT_EQ(ChildProcess::Spawn({}, child), EINVAL);
}

TEST(ChildProcess, ForgottenChildIsKilledWithItsOwner) {
    int pid;
    {
        ChildProcess child;
        ASSERT_EQ(ChildProcess::Spawn({"/bin/sleep", "30"}, child), 0);
        pid = child.pid();
    }
    EXPECT_EQ(::kill(pid, 0), -1);
    EXPECT_EQ(errno, ESRCH);
}

TEST(ChildProcess, MovedOwnerKeepsTheChild) {
    ChildProcess first;
    ASSERT_EQ(ChildProcess::Spawn({"/bin/sh", "-c", "exit 5"}, first), 0);
    ChildProcess second = std::move(first);
    EXPECT_FALSE(first.started());
    EXPECT_EQ(second.Wait(), 5);
}

TEST(CurrentProcess, ExecutablePathAndEnvironment) {
    EXPECT_NE(platform::CurrentExecutablePath().find("test_platform"), std::string::npos);
    ASSERT_EQ(platform::SetEnvironment("VEXA_PROCESS_TEST", "v=1"), 0);
    std::string value;
    ASSERT_TRUE(platform::GetEnvironment("VEXA_PROCESS_TEST", value));
    EXPECT_EQ(value, "v=1");
    ChildProcess child;
    ASSERT_EQ(ChildProcess::Spawn({"/bin/sh", "-c", "[ \"$VEXA_PROCESS_TEST\" = v=1 ]"}, child), 0);
    EXPECT_EQ(child.Wait(), 0);
}
