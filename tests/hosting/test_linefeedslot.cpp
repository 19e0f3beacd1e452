#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "hosting/linefeedslot.h"

using hosting::LineFeedSlot;

namespace {

// Everything handed over for one fed text, up to and including the end marker.
std::vector<std::string> FeedAndCollect(LineFeedSlot& slot, const char* text) {
    std::vector<std::string> taken;
    std::thread taker([&] {
        for (;;) {
            taken.push_back(slot.TakeHandOver());
            if (taken.back() == LineFeedSlot::END_MARKER) return;
        }
    });
    EXPECT_EQ(slot.FeedText(text), 0);
    taker.join();
    return taken;
}

}  // namespace

TEST(LineFeedSlot, ATextWithOrWithoutItsFinalLineFeedHandsOverTheSameLinesThenTheMarker) {
    LineFeedSlot slot;
    const std::vector<std::string> expected{"first line\n", "\n", "third\n",
                                            LineFeedSlot::END_MARKER};
    EXPECT_EQ(FeedAndCollect(slot, "first line\n\nthird\n"), expected);
    EXPECT_EQ(FeedAndCollect(slot, "first line\n\nthird"), expected);
    // An empty text is one empty line.
    EXPECT_EQ(FeedAndCollect(slot, ""), (std::vector<std::string>{"\n", LineFeedSlot::END_MARKER}));
}

TEST(LineFeedSlot, TheSubmitCallKeepsItsLineFeedForTheNextHandOver) {
    LineFeedSlot slot;
    EXPECT_EQ(FeedAndCollect(slot, "a = 1\nvexapkg.Submit(\"x\")\nb = 2"),
              (std::vector<std::string>{"a = 1\n", "vexapkg.Submit(\"x\")\n", "\n", "b = 2\n",
                                        LineFeedSlot::END_MARKER}));
}

TEST(LineFeedSlot, TakeLineSkipsTheMarkerAndRefusesALineWhoseNulDoesNotFit) {
    LineFeedSlot slot;
    std::thread feeder([&] { slot.FeedText("abcd\nxy\n"); });
    char exact[5];  // "abcd\n" is five bytes; its NUL has no room
    std::memset(exact, 'Z', sizeof exact);
    EXPECT_EQ(slot.TakeLine(exact, sizeof exact), 1);
    EXPECT_EQ(std::string(exact, sizeof exact), std::string(5, '\0'));
    char roomy[16];
    EXPECT_EQ(slot.TakeLine(roomy, sizeof roomy), 0);
    EXPECT_STREQ(roomy, "xy\n");
    // The feeder still waits for its end marker to be taken.
    EXPECT_EQ(slot.TakeHandOver(), LineFeedSlot::END_MARKER);
    feeder.join();

    // A marker in front of a line is skipped by the same call that takes the line.
    std::thread second([&] {
        slot.FeedText("one");
        slot.FeedText("two");
    });
    EXPECT_EQ(slot.TakeLine(roomy, sizeof roomy), 0);
    EXPECT_STREQ(roomy, "one\n");
    EXPECT_EQ(slot.TakeLine(roomy, sizeof roomy), 0);
    EXPECT_STREQ(roomy, "two\n");
    EXPECT_EQ(slot.TakeHandOver(), LineFeedSlot::END_MARKER);
    second.join();
}

TEST(LineFeedSlot, AtDepthOneATextIsOnlyKeptPendingAndTheDepthNeverDropsBelowZero) {
    LineFeedSlot slot;
    EXPECT_EQ(slot.LowerSubmitDepth(), 0);
    EXPECT_EQ(slot.SubmitDepth(), 0);
    slot.RaiseSubmitDepth();
    // No taker runs: a hand-over would block this thread for ever.
    EXPECT_EQ(slot.FeedText("queued"), 0);
    EXPECT_EQ(slot.FeedText("also\n"), 0);
    EXPECT_EQ(slot.PendingTexts(), (std::vector<std::string>{"queued\n", "also\n"}));
    EXPECT_EQ(slot.LowerSubmitDepth(), 0);
    EXPECT_EQ(slot.LowerSubmitDepth(), 0);
    EXPECT_EQ(slot.SubmitDepth(), 0);
}

TEST(LineFeedSlot, ManyTextsFromTwoFeedersArriveWholeAndInLineOrder) {
    LineFeedSlot slot;
    constexpr int kTexts = 200;
    std::vector<std::string> taken;
    std::thread taker([&] {
        int markers = 0;
        while (markers < 2 * kTexts) {
            std::string line = slot.TakeHandOver();
            if (line == LineFeedSlot::END_MARKER)
                ++markers;
            else
                taken.push_back(line);
        }
    });
    auto feed = [&](char tag) {
        for (int i = 0; i < kTexts; ++i) {
            const std::string text = std::string(1, tag) + "1\n" + std::string(1, tag) + "2\n";
            slot.FeedText(text.c_str());
        }
    };
    std::thread a(feed, 'a'), b(feed, 'b');
    a.join();
    b.join();
    taker.join();
    ASSERT_EQ(taken.size(), static_cast<std::size_t>(4 * kTexts));
    // Each feeder's lines come in its own order; the slot lock lets the two
    // interleave only between lines.
    int nextA = 1, nextB = 1;
    for (const std::string& line : taken) {
        int& next = line[0] == 'a' ? nextA : nextB;
        EXPECT_EQ(line.substr(1), std::to_string(next) + "\n");
        next = next == 1 ? 2 : 1;
    }
}
