#include <gtest/gtest.h>

#include <thread>

#include "runtime/syncsyntaxslot.h"

namespace {

// The host's side: runs each hand-over, answering with a status derived from
// the text so that every caller can tell its own answer.
void HostLoop(int& handled) {
    runtime::SyncSyntaxSlot& slot = runtime::SyncSyntaxSlot::Instance();
    std::vector<std::string> lines;
    while (slot.WaitForRequest(lines)) {
        ++handled;
        slot.Complete(static_cast<int>(lines.size()) * 100 +
                      static_cast<int>(lines.front().size()));
    }
    slot.Complete(0);
}

}  // namespace

TEST(SyncSyntaxSlot, ConcurrentCallersEachGetTheirOwnResultAndStopEndsTheLoop) {
    int handled = 0;
    std::thread host(HostLoop, std::ref(handled));
    constexpr int kCallers = 4, kCalls = 50;
    std::vector<std::thread> callers;
    std::vector<int> mismatches(kCallers, 0);
    for (int c = 0; c < kCallers; ++c) {
        callers.emplace_back([c, &mismatches] {
            std::vector<std::string> lines(static_cast<size_t>(c + 1),
                                           std::string(static_cast<size_t>(c + 3), 'x'));
            for (int i = 0; i < kCalls; ++i) {
                if (GRunSyncSyntax(lines) != (c + 1) * 100 + c + 3)
                    ++mismatches[static_cast<size_t>(c)];
            }
        });
    }
    for (auto& caller : callers) caller.join();
    EXPECT_EQ(mismatches, std::vector<int>(kCallers, 0));
    EXPECT_EQ(GStopSyncSyntax(), 0);
    host.join();
    EXPECT_EQ(handled, kCallers * kCalls);
}
