#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <cerrno>
#include <future>

#include "hosting/partnermonitor.h"
#include "platform/process.h"

using hosting::PartnerMonitor;
using platform::ChildProcess;

// The action runs once, on the monitor's thread, when the partner ends.
TEST(PartnerMonitor, RunsTheActionOnItsOwnThreadWhenThePartnerEnds) {
    ChildProcess partner;
    ASSERT_EQ(ChildProcess::Spawn({"/bin/sleep", "30"}, partner), 0);
    std::promise<std::thread::id> ran;
    std::future<std::thread::id> ranOn = ran.get_future();
    std::atomic<int> runs{0};
    PartnerMonitor monitor([&] {
        if (++runs == 1) ran.set_value(std::this_thread::get_id());
    });
    ASSERT_EQ(monitor.Watch(partner.pid()), 0);
    EXPECT_EQ(monitor.Watch(partner.pid()), EAGAIN);
    EXPECT_FALSE(monitor.partnerLost());
    ::kill(partner.pid(), SIGKILL);
    ASSERT_EQ(ranOn.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_NE(ranOn.get(), std::this_thread::get_id());
    EXPECT_TRUE(monitor.partnerLost());
    EXPECT_EQ(runs.load(), 1);
}

// A monitor destroyed while its partner lives ends without the action.
TEST(PartnerMonitor, EndsWithoutTheActionWhenDestroyedFirst) {
    ChildProcess partner;
    ASSERT_EQ(ChildProcess::Spawn({"/bin/sleep", "30"}, partner), 0);
    std::atomic<int> runs{0};
    {
        PartnerMonitor monitor([&] { ++runs; });
        ASSERT_EQ(monitor.Watch(partner.pid()), 0);
    }
    partner.Kill();
    EXPECT_EQ(runs.load(), 0);
    PartnerMonitor late([&] { ++runs; });
    EXPECT_EQ(late.Watch(partner.pid()), ESRCH);
    EXPECT_EQ(runs.load(), 0);
}
