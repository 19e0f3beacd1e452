#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/xcmdargument.h"

namespace {

std::vector<std::string> Vector(XCmdArgument& arguments) {
    std::vector<std::string> out;
    char** argv = arguments.argv();
    for (int i = 0; i < arguments.argc(); ++i) out.emplace_back(argv[i]);
    EXPECT_EQ(argv[arguments.argc()], nullptr);
    return out;
}

}  // namespace

TEST(XCmdArgument, EmptyListHasNoCommandLineAndANullTerminatedVector) {
    XCmdArgument arguments;
    EXPECT_EQ(arguments.argc(), 0);
    EXPECT_EQ(arguments.cmdline(), nullptr);
    ASSERT_NE(arguments.argv(), nullptr);
    EXPECT_EQ(arguments.argv()[0], nullptr);
    EXPECT_EQ(arguments.argumentAt(0), nullptr);
}

TEST(XCmdArgument, CommandLinePutsOneBlankBeforeEveryArgument) {
    XCmdArgument arguments;
    arguments.pushArgument("a", true);
    arguments.pushArgument("b", false);
    EXPECT_STREQ(arguments.cmdline(), " a b");
    EXPECT_EQ(Vector(arguments), (std::vector<std::string>{"a", "b"}));
}

TEST(XCmdArgument, QuotesABlankArgumentAndDoublesItsFinalBackslash) {
    XCmdArgument arguments;
    arguments.pushArgument("C:\\Temp Dir\\", false);
    arguments.pushArgument("/tmp/with blank", false);
    arguments.pushArgument("/tmp/with blank", true);
    arguments.pushArgument("\"already quoted\"", false);
    arguments.pushArgument("'single quoted'", false);
    arguments.pushArgument("noblank\\", false);
    EXPECT_STREQ(arguments.argumentAt(0), "\"C:\\Temp Dir\\\\\"");
    EXPECT_STREQ(arguments.argumentAt(1), "\"/tmp/with blank\"");
    EXPECT_STREQ(arguments.argumentAt(2), "/tmp/with blank");
    EXPECT_STREQ(arguments.argumentAt(3), "\"already quoted\"");
    EXPECT_STREQ(arguments.argumentAt(4), "'single quoted'");
    EXPECT_STREQ(arguments.argumentAt(5), "noblank\\");
    EXPECT_EQ(arguments.argumentAt(6), nullptr);
    EXPECT_EQ(arguments.argumentAt(-1), nullptr);
}

TEST(XCmdArgument, TextSplitsAtEveryBlankKeepingEmptyArgumentsBetween) {
    XCmdArgument arguments(std::string("run  fast "));
    EXPECT_EQ(Vector(arguments), (std::vector<std::string>{"run", "", "fast"}));
    EXPECT_STREQ(arguments.cmdline(), " run  fast");
    XCmdArgument none(std::string(""));
    EXPECT_EQ(none.argc(), 0);
}

TEST(XCmdArgument, CountAndVectorAreCopied) {
    std::string first = "one";
    const char* vector[] = {first.c_str(), nullptr, "three"};
    XCmdArgument arguments(3, vector);
    first = "changed";
    EXPECT_EQ(Vector(arguments), (std::vector<std::string>{"one", "", "three"}));
    EXPECT_EQ(XCmdArgument(-2, vector).argc(), 0);
    EXPECT_EQ(XCmdArgument(2, nullptr).argc(), 0);
}

TEST(XCmdArgument, CachedFormsAreRebuiltAfterEveryChange) {
    XCmdArgument arguments;
    arguments.pushArgument("a", true);
    EXPECT_STREQ(arguments.cmdline(), " a");
    EXPECT_EQ(Vector(arguments), (std::vector<std::string>{"a"}));
    arguments.pushArgument("b", true);
    EXPECT_STREQ(arguments.cmdline(), " a b");
    EXPECT_EQ(Vector(arguments), (std::vector<std::string>{"a", "b"}));
    arguments.modifyArgument(0, "z");
    arguments.modifyArgument(2, "ignored");
    arguments.modifyArgument(-1, "ignored");
    EXPECT_STREQ(arguments.cmdline(), " z b");
    EXPECT_EQ(Vector(arguments), (std::vector<std::string>{"z", "b"}));
}

TEST(XCmdArgument, CopiesAndMovesOwnTheirForms) {
    XCmdArgument original;
    original.pushArgument("x", true);
    original.pushArgument("y", true);
    ASSERT_STREQ(original.cmdline(), " x y");
    original.argv();
    XCmdArgument copy(original);
    original.modifyArgument(0, "changed");
    EXPECT_STREQ(copy.cmdline(), " x y");
    EXPECT_EQ(Vector(copy), (std::vector<std::string>{"x", "y"}));
    XCmdArgument moved(std::move(copy));
    EXPECT_EQ(Vector(moved), (std::vector<std::string>{"x", "y"}));
    XCmdArgument assigned;
    assigned = moved;
    EXPECT_STREQ(assigned.cmdline(), " x y");
}
