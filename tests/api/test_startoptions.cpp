#include <gtest/gtest.h>

#include "startoptions.h"

using api::ParseStartArguments;

TEST(StartOptions, NullTextPassesASingleBlank) {
    auto options = ParseStartArguments(nullptr);
    EXPECT_FALSE(options.hasEngineHome);
    EXPECT_EQ(options.remaining, " ");
}

TEST(StartOptions, AllThreeOptionsAreTakenOffTheFront) {
    auto options =
        ParseStartArguments("-vexahome=/opt/vexa,-language=PYTHON,-temppath /tmp/x more");
    EXPECT_TRUE(options.hasEngineHome);
    EXPECT_EQ(options.engineHome, "/opt/vexa");
    EXPECT_EQ(options.remaining, " more");
}

TEST(StartOptions, HomeWithoutCommaTakesTheWholeText) {
    auto options = ParseStartArguments("-vexahome=/a dir/with blank");
    EXPECT_EQ(options.engineHome, "/a dir/with blank");
    EXPECT_EQ(options.remaining, " ");
}

TEST(StartOptions, TextWithoutOptionsGetsOneLeadingBlank) {
    EXPECT_EQ(ParseStartArguments("x y").remaining, " x y");
    EXPECT_EQ(ParseStartArguments(" x").remaining, " x");
}

TEST(StartOptions, TempPathAtTheEndLeavesNothingBehind) {
    EXPECT_EQ(ParseStartArguments("-temppath /tmp/x").remaining, " ");
}
