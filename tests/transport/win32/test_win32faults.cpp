// Partners that die mid-conversation on Windows: the waiting side ends with a
// code in bounded time, over real named pipes and real processes under the
// system's own TerminateProcess.
#include <gtest/gtest.h>

#include <chrono>
#include <iostream>
#include <thread>

#include "codec/clexdsmb.h"
#include "platform/process.h"
#include "runtime/statuscodes.h"
#include "testsupport.h"
#include "transport/sendreceive.h"
#include "transport/vexapipe.h"

namespace {

using Clock = std::chrono::steady_clock;

// Longest a receive may go on once its partner is gone.
constexpr auto kBound = std::chrono::seconds(5);

struct EchoPeer {
    VexaPipe request{testsupport::UniquePipeName("req")};
    VexaPipe reply{testsupport::UniquePipeName("rep")};
    platform::ChildProcess process;

    EchoPeer() {
        EXPECT_EQ(reply.CreatePipe(), 0);
        EXPECT_EQ(platform::ChildProcess::Spawn({testsupport::PeerPath("framepeer"), "echo",
                                                 request.GetPipeName(), reply.GetPipeName(), "5"},
                                                process),
                  0);
    }
    int Send(CleXDSmb& message) {
        int result = 0;
        for (int attempt = 0; attempt < 250; ++attempt) {
            result = SendData(request, message, false);
            if (result != VEXA_PIPE_FAILED || request.HasPipe()) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return result;
    }
};

}  // namespace

TEST(Win32Faults, APartnerKilledWhileAReplyIsAwaitedEndsTheReceiveWithACode) {
    EchoPeer peer;
    CleXDSmb first;
    first.SetLong(1);
    ASSERT_EQ(peer.Send(first), 0);
    peer.reply.ConnectPipe();
    CleXDSmb echoed;
    ASSERT_EQ(ReceiveData(peer.reply, echoed, true), 0);
    ASSERT_EQ(echoed.GetLongData().Size(), 1);

    // The peer now waits for a second request that never comes; this side
    // waits for a reply that never comes, until the peer is killed.
    std::thread killer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        peer.process.Kill();
    });
    const auto started = Clock::now();
    CleXDSmb never;
    const int result = ReceiveData(peer.reply, never, true);
    const auto took = Clock::now() - started;
    killer.join();
    std::cout << "partner killed mid-call: code " << result << " after "
              << std::chrono::duration_cast<std::chrono::milliseconds>(took).count() - 100
              << " ms\n";
    EXPECT_NE(result, 0);
    EXPECT_LT(took, kBound);
    EXPECT_EQ(peer.process.ExitStatus(), 137);
}

TEST(Win32Faults, ASendToAKilledPartnerFailsWithACode) {
    EchoPeer peer;
    CleXDSmb first;
    first.SetLong(1);
    ASSERT_EQ(peer.Send(first), 0);
    peer.reply.ConnectPipe();
    CleXDSmb echoed;
    ASSERT_EQ(ReceiveData(peer.reply, echoed, true), 0);
    peer.process.Kill();
    const auto started = Clock::now();
    CleXDSmb second;
    second.SetLong(2);
    const int result = SendData(peer.request, second, false);
    const auto took = Clock::now() - started;
    std::cout << "send to a killed partner: code " << result << " after "
              << std::chrono::duration_cast<std::chrono::milliseconds>(took).count() << " ms\n";
    EXPECT_NE(result, 0);
    EXPECT_LT(took, kBound);
}
