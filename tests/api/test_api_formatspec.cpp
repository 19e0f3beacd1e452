#include <gtest/gtest.h>

#include "apitestsupport.h"
#include "vexaxd_p.h"

using apitest::Image;
using apitest::ScriptedEngine;
using apitest::WithEmptyTail;

TEST(FormatSpecRequest, PositionFormatsSendExactlyOneInteger) {
    apitest::AttachAsRunning();
    ScriptedEngine engine({"", "err=9"});
    EXPECT_EQ(SetFormatSpecMean(3), 0);
    EXPECT_EQ(SetFormatSpecMean(-2), 9);
    ASSERT_EQ(engine.Finish(), 0);
    const Image three = WithEmptyTail({0x38, 0, 0, 0, 51, 0, 0, 0, 0, 0, 0, 0,  // T 56, command 51
                                       1,    0, 0, 0, 3,  0, 0, 0,              // position 3
                                       0,    0, 0, 0, 0,  0, 0, 0});  // no doubles, no strings
    const Image minusTwo = WithEmptyTail({0x38, 0, 0,    0,    51,   0,    0, 0, 0, 0, 0, 0, 1, 0,
                                          0,    0, 0xfe, 0xff, 0xff, 0xff, 0, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(engine.Requests(), (std::vector<Image>{three, minusTwo}));
}
