#include <gtest/gtest.h>

#include "vexaxd_p.h"

TEST(ReleaseFunctions, ArraysAreRefusedWhileTheEngineIsNotRunning) {
    SetVexaRunning(false);
    char* texts[1] = {nullptr};
    EXPECT_EQ(FreeStringArray(texts, 1), VEXA_ENGINE_NOT_RUNNING);
    EXPECT_EQ(FreeAttributes(texts, 1), VEXA_ENGINE_NOT_RUNNING);
    EXPECT_EQ(FreeNValueLabels(nullptr, texts, 1), VEXA_ENGINE_NOT_RUNNING);
    EXPECT_EQ(FreeCValueLabels(texts, texts, 1), VEXA_ENGINE_NOT_RUNNING);
}

TEST(ReleaseFunctions, EmptyCountsReleaseNothingAndNullArraysAreCallerErrors) {
    SetVexaRunning(true);
    EXPECT_EQ(FreeDoubleArray(nullptr, 0), 0);
    EXPECT_EQ(FreeStringArray(nullptr, 0), 0);
    EXPECT_EQ(FreeAttributeNames(nullptr, -3), 0);
    EXPECT_EQ(FreeStringArray(nullptr, 2), VEXA_BAD_ARGUMENT);
    EXPECT_EQ(FreeNValueLabels(nullptr, nullptr, 1), VEXA_BAD_ARGUMENT);
    EXPECT_EQ(FreeString(nullptr), 0);
}

TEST(StringLists, NullListsAndBadIndexesGiveEmptyTextNeverNull) {
    EXPECT_EQ(GetStringListLength(nullptr), 0);
    ASSERT_NE(GetStringFromList(nullptr, 0), nullptr);
    EXPECT_STREQ(GetStringFromList(nullptr, 0), "");
    EXPECT_STREQ(GetStringFromList(nullptr, -1), "");
    RemoveStringList(nullptr);
}
