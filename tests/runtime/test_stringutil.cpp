#include "runtime/stringutil.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using Pieces = std::vector<std::string>;

TEST(StringUtil, StrincmpIgnoresCaseWithinTheFirstNBytes) {
    EXPECT_EQ(strincmp("Python", "PYTHON", 6), 0);
    EXPECT_EQ(strincmp("abcX", "ABCy", 3), 0);
    EXPECT_EQ(strincmp("abc", "xyz", 0), 0);
    EXPECT_EQ(strincmp("abd", "ABC", 3), 'D' - 'C');
    EXPECT_LT(strincmp("ab", "AC", 2), 0);
    EXPECT_GT(strincmp("b", "A", 1), 0);
}

TEST(StringUtil, StrincmpTreatsTheEndOfATextAsALowByte) {
    EXPECT_LT(strincmp("ab", "abc", 5), 0);
    EXPECT_GT(strincmp("abc", "AB", 5), 0);
    EXPECT_EQ(strincmp("ab", "AB", 100), 0);
    EXPECT_EQ(strincmp("", "", 3), 0);
}

TEST(StringUtil, UpperStringConvertsEveryByteAndKeepsTheLength) {
    EXPECT_EQ(UpperString("python_3-x"), "PYTHON_3-X");
    EXPECT_EQ(UpperString(""), "");
    EXPECT_EQ(UpperString(std::string("a\0b", 3)), std::string("A\0B", 3));
}

TEST(StringUtil, ListDropsOnlyAnEmptyLastPiece) {
    EXPECT_EQ(GetListFromDelims("a;b;", ";"), (Pieces{"a", "b"}));
    EXPECT_EQ(GetListFromDelims("a;;b", ";"), (Pieces{"a", "", "b"}));
    EXPECT_EQ(GetListFromDelims(";a", ";"), (Pieces{"", "a"}));
    EXPECT_EQ(GetListFromDelims(";;", ";"), (Pieces{"", ""}));
    EXPECT_EQ(GetListFromDelims("", ";"), Pieces{});
    EXPECT_EQ(GetListFromDelims("whole", ";"), (Pieces{"whole"}));
}

TEST(StringUtil, ListSplitsAtTheWholeSeparatorAndKeepsBlanks) {
    EXPECT_EQ(GetListFromDelims("a::b:c:: d ", "::"), (Pieces{"a", "b:c", " d "}));
    EXPECT_EQ(GetListFromDelims("a:::b", "::"), (Pieces{"a", ":b"}));
    EXPECT_EQ(GetListFromDelims("abc", ""), (Pieces{"abc"}));
}
