#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "runtime/pluginsynchevent.h"

namespace {

// Polls until `condition` holds, for at most five seconds.
template <typename Condition>
bool Eventually(Condition condition) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace

TEST(PlugInSynchEvent, ManualResetReleasesEveryWaiterAndStaysSignalledUntilUnsignal) {
    PlugInSynchEvent event(true, false, "ignored name");
    std::atomic<int> released{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i)
        waiters.emplace_back([&] {
            event.WaitForSignal();
            ++released;
        });
    event.Signal();
    for (std::thread& waiter : waiters) waiter.join();
    EXPECT_EQ(released, 3);
    EXPECT_TRUE(event.WaitForSignal(0));
    EXPECT_TRUE(event.WaitForSignal(0));
    event.Unsignal();
    EXPECT_FALSE(event.WaitForSignal(0));
}

TEST(PlugInSynchEvent, AutoResetReleasesOneWaiterPerSignal) {
    PlugInSynchEvent event(false, false, nullptr);
    std::atomic<int> released{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 2; ++i)
        waiters.emplace_back([&] {
            event.WaitForSignal();
            ++released;
        });
    event.Signal();
    ASSERT_TRUE(Eventually([&] { return released == 1; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(released, 1);
    event.Signal();
    for (std::thread& waiter : waiters) waiter.join();
    EXPECT_EQ(released, 2);
    EXPECT_FALSE(event.WaitForSignal(0));
}

TEST(PlugInSynchEvent, InitiallySignalledAutoResetEventIsConsumedByOneWait) {
    PlugInSynchEvent event(false, true);
    EXPECT_FALSE(event.IsManualReset());
    EXPECT_TRUE(event.WaitForSignal(0));
    EXPECT_FALSE(event.WaitForSignal(0));
}

TEST(PlugInSynchEvent, TimedWaitOnAnUnsignalledEventTimesOut) {
    PlugInSynchEvent event(true, false);
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(event.WaitForSignal(20));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(15));
}

TEST(PlugInSynchEvent, HandleIsTheWaitedEvent) {
    PlugInSynchEvent event(true, false);
    event.Handle().Set();
    EXPECT_TRUE(event.WaitForSignal(0));
}

TEST(PlugInSynchEvent, SignalAndWaitForReplyReturnsOnlyAfterTheOtherSideReplied) {
    PlugInSynchEvent event(false, false);
    std::atomic<bool> replied{false};
    std::thread partner([&] {
        event.WaitForSignal();
        // A caller that did not wait would see the flag still false.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        replied = true;
        event.Reply();
    });
    event.SignalAndWaitForReply();
    EXPECT_TRUE(replied);
    partner.join();
}

TEST(PlugInSynchEvent, HandShakesRepeatWithTheSamePartner) {
    PlugInSynchEvent event(false, false);
    std::atomic<int> served{0};
    std::thread partner([&] {
        for (int i = 0; i < 20; ++i) {
            event.WaitForSignal();
            ++served;
            event.Reply();
        }
    });
    for (int i = 1; i <= 20; ++i) {
        event.SignalAndWaitForReply();
        EXPECT_EQ(served, i);
    }
    partner.join();
}

TEST(PlugInSynchEvent, ReplyGivenBeforeTheWaitIsNotLost) {
    PlugInSynchEvent event(true, false);
    event.Reply();
    event.SignalAndWaitForReply();
    EXPECT_TRUE(event.WaitForSignal(0));
}
