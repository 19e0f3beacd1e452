// The launcher of the engine process, on real child processes: the pid it
// hands to the interrupt names the live child and nothing else.
#include <gtest/gtest.h>
#include <signal.h>

#include <cerrno>

#include "enginelauncher.h"

namespace {

bool Alive(int pid) { return pid > 0 && kill(pid, 0) == 0; }

TEST(EngineLauncher, NamesTheLiveChildAndForgetsItBeforeTheReap) {
    api::EngineLauncher launcher;
    EXPECT_EQ(launcher.pid(), 0);
    ASSERT_EQ(launcher.Start({"/bin/sleep", "30"}), 0);
    const int child = launcher.pid();
    ASSERT_GT(child, 0);
    EXPECT_TRUE(launcher.started());
    EXPECT_TRUE(launcher.IsActive());
    EXPECT_TRUE(Alive(child));
    // A second start ends the first child rather than leaving it behind.
    ASSERT_EQ(launcher.Start({"/bin/sleep", "30"}), 0);
    EXPECT_NE(launcher.pid(), child);
    EXPECT_FALSE(Alive(child));
    const int second = launcher.pid();
    launcher.Reset();
    EXPECT_EQ(launcher.pid(), 0);
    EXPECT_FALSE(launcher.started());
    EXPECT_FALSE(Alive(second));
}

TEST(EngineLauncher, EndReapsAnEngineThatEndsByItself) {
    api::EngineLauncher launcher;
    ASSERT_EQ(launcher.Start({"/bin/sh", "-c", "exit 3"}), 0);
    const int child = launcher.pid();
    EXPECT_TRUE(launcher.WaitFor(5000));
    launcher.End();
    EXPECT_EQ(launcher.pid(), 0);
    EXPECT_FALSE(launcher.started());
    EXPECT_EQ(launcher.endDescriptor(), -1);
    EXPECT_FALSE(Alive(child));
}

TEST(EngineLauncher, AFailedStartLeavesNothingToInterrupt) {
    api::EngineLauncher launcher;
    EXPECT_EQ(launcher.Start({"/nonexistent/StartXD"}), ENOENT);
    EXPECT_EQ(launcher.pid(), 0);
    EXPECT_FALSE(launcher.started());
}

}  // namespace
