#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <future>
#include <thread>

#include "hosting/interruptlistener.h"
#include "platform/signalrelay.h"

using hosting::InterruptListener;

// The interrupt signal sent to this process runs the action on the
// listener's thread, once per signal taken; a second listener is refused.
TEST(InterruptListener, RunsTheActionForTheInterruptSignalOnItsOwnThread) {
    std::promise<std::thread::id> ran;
    std::future<std::thread::id> ranOn = ran.get_future();
    std::atomic<int> runs{0};
    {
        InterruptListener listener([&] {
            if (++runs == 1) ran.set_value(std::this_thread::get_id());
        });
        ASSERT_EQ(listener.Listen(), 0);
        InterruptListener second([] {});
        EXPECT_NE(second.Listen(), 0);
        ASSERT_EQ(platform::SendInterrupt(::getpid()), 0);
        ASSERT_EQ(ranOn.wait_for(std::chrono::seconds(10)), std::future_status::ready);
        EXPECT_NE(ranOn.get(), std::this_thread::get_id());
    }
    EXPECT_EQ(runs.load(), 1);
}
