#include <gtest/gtest.h>

#include "apitestsupport.h"
#include "vexaxd_p.h"

using apitest::Image;
using apitest::ScriptedEngine;
using apitest::WithEmptyTail;

TEST(PivotRequest, KeysGoToTheirBlocksInArgumentOrderAndTrueIsOne) {
    apitest::AttachAsRunning();
    ScriptedEngine engine({""});
    // The dimension's integers and booleans follow the table flag; the
    // category value is the only double.
    EXPECT_EQ(AddNumberCategory("a", "b", "c", true, "d", 7, -1, false, true, 2.5), 0);
    ASSERT_EQ(engine.Finish(), 0);
    const Image expected =
        WithEmptyTail({0x64, 0,    0,    0,    62, 0, 0,   0, 0,   0, 0,    0,  // T 100, command 62
                       5,    0,    0,    0,    1,  0, 0,   0, 7,   0, 0,    0,
                       0xff, 0xff, 0xff, 0xff, 0,  0, 0,   0,                      // F, I1, I2, B1
                       1,    0,    0,    0,                                        // B2
                       1,    0,    0,    0,    0,  0, 0,   0, 0,   0, 0x04, 0x40,  // value 2.5
                       4,    0,    0,    0,    1,  0, 0,   0, 'a', 1, 0,    0,
                       0,    'b',  1,    0,    0,  0, 'c', 1, 0,   0, 0,    'd'});
    EXPECT_EQ(engine.Requests(), (std::vector<Image>{expected}));
}

TEST(PivotRequest, FootnoteFunctionsSendTheirTrailingFlagFirst) {
    apitest::AttachAsRunning();
    ScriptedEngine engine({"", ""});
    EXPECT_EQ(AddOutlineFootnotes("a", "b", "c", "n", true), 0);
    EXPECT_EQ(SetFormatSpecCount(), 0);
    ASSERT_EQ(engine.Finish(), 0);
    const Image footnote = WithEmptyTail(
        {0x4c, 0, 0, 0, 36, 0, 0, 0, 0,   0, 0, 0,  // T 76, command 36
         1,    0, 0, 0, 1,  0, 0, 0,                // the flag, as the only integer
         0,    0, 0, 0,                             // no doubles
         4,    0, 0, 0, 1,  0, 0, 0, 'a', 1, 0, 0, 0, 'b', 1, 0, 0, 0, 'c', 1, 0, 0, 0, 'n'});
    const Image countSpec =
        WithEmptyTail({0x34, 0, 0, 0, 52, 0, 0, 0, 0, 0, 0, 0,  // no values at all
                       0,    0, 0, 0, 0,  0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(engine.Requests(), (std::vector<Image>{footnote, countSpec}));
}

TEST(ProcedureRequest, NullSecondNameRepeatsTheFirstAndARejectionIsTheEngineCode) {
    apitest::AttachAsRunning();
    ScriptedEngine engine({"err=9005", "int=0"});
    EXPECT_EQ(StartProcedure("P", nullptr), 9005);
    EXPECT_EQ(HasProcedure(), 0);
    ASSERT_EQ(engine.Finish(), 0);
    const Image start =
        WithEmptyTail({0x3e, 0, 0, 0, 78, 0, 0, 0, 0, 0, 0, 0,  // T 62, command 78
                       0,    0, 0, 0, 0,  0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 0, 'P', 1, 0, 0, 0, 'P'});
    ASSERT_EQ(engine.Requests().size(), 2u);
    EXPECT_EQ(engine.Requests()[0], start);
}

TEST(PivotRequest, RefusedWithoutEngine) {
    SetVexaRunning(false);
    EXPECT_EQ(StartPivotTable("a", "b", "c", false), VEXA_ENGINE_NOT_RUNNING);
    EXPECT_EQ(SetFormatSpecMean(1), VEXA_ENGINE_NOT_RUNNING);
    EXPECT_EQ(AddTextBlock("a", "b", "c", 1), VEXA_ENGINE_NOT_RUNNING);
    EXPECT_TRUE(apitest::OwnPipeFiles().empty());
}
