#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <future>

#include "platform/process.h"
#include "platform/processwatch.h"

using platform::ChildProcess;
using platform::ProcessWatch;

// The end of a process is seen by a waiter that is already blocked, whether
// the process is reaped by someone else or not yet.
TEST(ProcessWatch, AWaiterSeesTheWatchedProcessEndAndAWakeIsNoEnd) {
    ChildProcess child;
    ASSERT_EQ(ChildProcess::Spawn({"/bin/sleep", "30"}, child), 0);
    ProcessWatch watch;
    ASSERT_EQ(ProcessWatch::Open(child.pid(), watch), 0);
    EXPECT_FALSE(watch.Ended());

    std::future<bool> woken =
        std::async(std::launch::async, [&watch] { return watch.WaitForEnd(); });
    watch.Wake();
    EXPECT_FALSE(woken.get());

    std::future<bool> ended =
        std::async(std::launch::async, [&watch] { return watch.WaitForEnd(); });
    ::kill(child.pid(), SIGKILL);
    EXPECT_TRUE(ended.get());
    EXPECT_TRUE(watch.Ended());
    child.Wait();
    EXPECT_TRUE(watch.Ended());
}

TEST(ProcessWatch, AProcessThatIsGoneCannotBeWatched) {
    ChildProcess child;
    ASSERT_EQ(ChildProcess::Spawn({"/bin/sh", "-c", "exit 0"}, child), 0);
    const int pid = child.pid();
    child.Wait();
    ProcessWatch watch;
    EXPECT_EQ(ProcessWatch::Open(pid, watch), ESRCH);
    EXPECT_FALSE(watch.valid());
    EXPECT_EQ(ProcessWatch::Open(0, watch), ESRCH);
    EXPECT_FALSE(watch.WaitForEnd());
}

// A bounded wait gives up at its limit while the process lives; a child's
// own descriptor wakes its owner's bounded wait at the end.
TEST(ProcessWatch, BoundedWaitsEndAtTheLimitOrAtTheEnd) {
    ChildProcess child;
    ASSERT_EQ(ChildProcess::Spawn({"/bin/sleep", "30"}, child), 0);
    ProcessWatch watch;
    ASSERT_EQ(ProcessWatch::Open(child.pid(), watch), 0);
    EXPECT_FALSE(watch.WaitForEnd(20));
    EXPECT_FALSE(child.WaitFor(20));
    ASSERT_GE(child.endDescriptor(), 0);
    ::kill(child.pid(), SIGKILL);
    EXPECT_TRUE(watch.WaitForEnd(600000));
    EXPECT_TRUE(child.WaitFor(600000));
    EXPECT_EQ(child.ExitStatus(), 128 + SIGKILL);
}

// The time left is rounded up to whole milliseconds: a truncated one made a
// wait of N ms give up after N - 1 and a fraction.
TEST(ProcessWatch, ABoundedWaitNeverGivesUpBeforeItsLimit) {
    ChildProcess child;
    ASSERT_EQ(ChildProcess::Spawn({"/bin/sleep", "30"}, child), 0);
    ProcessWatch watch;
    ASSERT_EQ(ProcessWatch::Open(child.pid(), watch), 0);
    using Clock = std::chrono::steady_clock;
    for (int limit : {1, 2, 5, 10}) {
        for (int round = 0; round < 5; ++round) {
            const auto start = Clock::now();
            EXPECT_FALSE(watch.WaitForEnd(limit));
            EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(limit)) << limit << " ms";
            const auto again = Clock::now();
            EXPECT_FALSE(child.WaitFor(static_cast<unsigned>(limit)));
            EXPECT_GE(Clock::now() - again, std::chrono::milliseconds(limit)) << limit << " ms";
        }
    }
    child.Kill();
}
