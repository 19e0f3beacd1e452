#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <future>

#include "platform/signalrelay.h"

using platform::SignalRelay;

namespace {

void Untouched(int) {}

}  // namespace

// Signals that came before the wait are not lost and count once; a wake-up is
// no signal; the signal's earlier action comes back with the relay's end.
TEST(SignalRelay, HandsTheSignalToTheWaiterAndRestoresTheEarlierAction) {
    struct sigaction earlier {};
    earlier.sa_handler = Untouched;
    sigemptyset(&earlier.sa_mask);
    struct sigaction saved {};
    ASSERT_EQ(::sigaction(SIGUSR2, &earlier, &saved), 0);
    {
        SignalRelay relay;
        ASSERT_EQ(relay.Install(SIGUSR2), 0);
        SignalRelay second;
        EXPECT_EQ(second.Install(SIGUSR2), EBUSY);
        EXPECT_EQ(relay.Install(SIGUSR2), EBUSY);

        ::raise(SIGUSR2);
        ::raise(SIGUSR2);
        EXPECT_TRUE(relay.Wait());
        std::future<bool> waiting =
            std::async(std::launch::async, [&relay] { return relay.Wait(); });
        relay.Wake();
        EXPECT_FALSE(waiting.get());

        std::future<bool> signalled =
            std::async(std::launch::async, [&relay] { return relay.Wait(); });
        ::kill(::getpid(), SIGUSR2);
        EXPECT_TRUE(signalled.get());
    }
    struct sigaction now {};
    ASSERT_EQ(::sigaction(SIGUSR2, nullptr, &now), 0);
    EXPECT_EQ(now.sa_handler, &Untouched);
    ::sigaction(SIGUSR2, &saved, nullptr);
}

TEST(SignalRelay, ANoSuchSignalOrProcessIsRefused) {
    SignalRelay relay;
    EXPECT_EQ(relay.Install(0), EINVAL);
    EXPECT_EQ(relay.Install(NSIG), EINVAL);
    EXPECT_FALSE(relay.Wait());
    EXPECT_EQ(platform::SendInterrupt(0), ESRCH);
    EXPECT_EQ(platform::SendInterrupt(-5), ESRCH);
}
