#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/stringutil.h"

using Pieces = std::vector<std::string>;

TEST(StringUtil, StrincmpIgnoresCaseWithinTheFirstNBytes) {
    EXPECT_EQ(textutil::strincmp("Python", "PYTHON", 6), 0);
    EXPECT_EQ(textutil::strincmp("abcX", "ABCy", 3), 0);
    EXPECT_EQ(textutil::strincmp("abc", "xyz", 0), 0);
    EXPECT_EQ(textutil::strincmp("abd", "ABC", 3), 'D' - 'C');
    EXPECT_LT(textutil::strincmp("ab", "AC", 2), 0);
    EXPECT_GT(textutil::strincmp("b", "A", 1), 0);
}

TEST(StringUtil, StrincmpTreatsTheEndOfATextAsALowByte) {
    EXPECT_LT(textutil::strincmp("ab", "abc", 5), 0);
    EXPECT_GT(textutil::strincmp("abc", "AB", 5), 0);
    EXPECT_EQ(textutil::strincmp("ab", "AB", 100), 0);
    EXPECT_EQ(textutil::strincmp("", "", 3), 0);
}

TEST(StringUtil, UpperStringConvertsEveryByteAndKeepsTheLength) {
    EXPECT_EQ(textutil::UpperString("python_3-x"), "PYTHON_3-X");
    EXPECT_EQ(textutil::UpperString(""), "");
    EXPECT_EQ(textutil::UpperString(std::string("a\0b", 3)), std::string("A\0B", 3));
}

TEST(StringUtil, ListDropsOnlyAnEmptyLastPiece) {
    EXPECT_EQ(textutil::GetListFromDelims("a;b;", ";"), (Pieces{"a", "b"}));
    EXPECT_EQ(textutil::GetListFromDelims("a;;b", ";"), (Pieces{"a", "", "b"}));
    EXPECT_EQ(textutil::GetListFromDelims(";a", ";"), (Pieces{"", "a"}));
    EXPECT_EQ(textutil::GetListFromDelims(";;", ";"), (Pieces{"", ""}));
    EXPECT_EQ(textutil::GetListFromDelims("", ";"), Pieces{});
    EXPECT_EQ(textutil::GetListFromDelims("whole", ";"), (Pieces{"whole"}));
}

TEST(StringUtil, ListSplitsAtTheWholeSeparatorAndKeepsBlanks) {
    EXPECT_EQ(textutil::GetListFromDelims("a::b:c:: d ", "::"), (Pieces{"a", "b:c", " d "}));
    EXPECT_EQ(textutil::GetListFromDelims("a:::b", "::"), (Pieces{"a", ":b"}));
    EXPECT_EQ(textutil::GetListFromDelims("abc", ""), (Pieces{"abc"}));
}
