// The case store: cells laid out as the wire sends them, and every edit
// keeping the other variables' cells where they belong.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "casestore.h"

namespace {

using engine::CaseStore;

constexpr double kMissing = -1.7976931348623157e308;

std::string Bytes(std::span<const OBS> cells) {
    return std::string(reinterpret_cast<const char*>(cells.data()), cells.size_bytes());
}

std::string NumberBytes(double value) {
    const OBS cell = OBS::FromNumber(value);
    return std::string(reinterpret_cast<const char*>(cell.bytes), 8);
}

// numeric, A3, A11 (two cells), numeric
CaseStore Sample() {
    CaseStore store({0, 3, 11, 0});
    for (int c = 0; c < 3; ++c) {
        store.AppendCase();
        store.SetNumber(c, 0, c + 0.5);
        store.SetText(c, 1, std::string(1, static_cast<char>('a' + c)));
        store.SetText(c, 2, "long-" + std::to_string(c) + "-text");
        store.SetNumber(c, 3, -c);
    }
    return store;
}

TEST(CaseStoreLayout, CaseIsTheWireImageOfItsCells) {
    CaseStore store = Sample();
    ASSERT_EQ(store.CellsPerCase(), 5u);
    EXPECT_EQ(store.CaseSize(), 40u);
    EXPECT_EQ(store.ObsIndex(2), 2u);
    EXPECT_EQ(store.ObsIndex(3), 4u);
    const std::string expected =
        NumberBytes(1.5) + "b       " + "long-1-text     " + NumberBytes(-1.0);
    EXPECT_EQ(Bytes(store.Case(1)), expected);
    // Cases lie end to end.
    EXPECT_EQ(Bytes(store.Cases(1, 2)).substr(0, 40), expected);
    EXPECT_EQ(store.Cases(0, 3).size(), 15u);
}

TEST(CaseStoreLayout, NewCasesAreEmptyAndTextIsCutAndTrimmed) {
    CaseStore store({0, 3});
    store.AppendCase();
    EXPECT_EQ(store.Number(0, 0), kMissing);
    EXPECT_EQ(store.Text(0, 1), "");
    EXPECT_EQ(Bytes(store.Case(0)).substr(8), "        ");
    store.SetText(0, 1, "abcdef");
    EXPECT_EQ(store.Text(0, 1), "abc");
    // The bytes past the width stay blank, as the wire pads them.
    EXPECT_EQ(Bytes(store.Case(0)).substr(8), "abc     ");
    store.SetText(0, 1, "x ");
    EXPECT_EQ(store.Text(0, 1), "x");
}

TEST(CaseStoreLayout, AppendCasesTakesWholeCasesOnly) {
    CaseStore store({0, 9});
    std::vector<OBS> three(9, OBS::Blanks());
    three[0] = OBS::FromNumber(7);
    three[3] = OBS::FromNumber(8);
    three[6] = OBS::FromNumber(9);
    EXPECT_TRUE(store.AppendCases(three));
    EXPECT_EQ(store.CaseCount(), 3u);
    EXPECT_EQ(store.Number(2, 0), 9.0);
    EXPECT_FALSE(store.AppendCases(std::span<const OBS>(three).first(4)));
    EXPECT_EQ(store.CaseCount(), 3u);
}

TEST(CaseStoreEdits, InsertAndDeleteCasesShiftTheRest) {
    CaseStore store = Sample();
    ASSERT_TRUE(store.InsertCase(1));
    EXPECT_EQ(store.CaseCount(), 4u);
    EXPECT_EQ(store.Number(1, 0), kMissing);
    EXPECT_EQ(store.Text(2, 2), "long-1-text");
    ASSERT_TRUE(store.DeleteCase(0));
    EXPECT_EQ(store.Number(1, 0), 1.5);
    EXPECT_FALSE(store.InsertCase(4));
    EXPECT_FALSE(store.DeleteCase(3));
    EXPECT_TRUE(store.InsertCase(3));
}

TEST(CaseStoreEdits, InsertAndDeleteVariablesMoveLaterCells) {
    CaseStore store = Sample();
    ASSERT_TRUE(store.InsertVariable(1, 12));
    EXPECT_EQ(store.CellsPerCase(), 7u);
    EXPECT_EQ(store.ObsIndex(4), 6u);
    for (std::size_t c = 0; c < 3; ++c) {
        EXPECT_EQ(store.Number(c, 0), c + 0.5);
        EXPECT_EQ(store.Text(c, 1), "");
        EXPECT_EQ(store.Text(c, 2), std::string(1, static_cast<char>('a' + c)));
        EXPECT_EQ(store.Text(c, 3), "long-" + std::to_string(c) + "-text");
        EXPECT_EQ(store.Number(c, 4), -static_cast<double>(c));
    }
    ASSERT_TRUE(store.InsertVariable(5, 0));
    EXPECT_EQ(store.Number(2, 5), kMissing);
    ASSERT_TRUE(store.DeleteVariable(3));
    EXPECT_EQ(store.VariableCount(), 5u);
    EXPECT_EQ(store.Number(2, 3), -2.0);
    EXPECT_EQ(store.Text(2, 2), "c");
    EXPECT_FALSE(store.DeleteVariable(5));
    EXPECT_FALSE(store.InsertVariable(6, 0));
}

TEST(CaseStoreEdits, TypeChangesKeepWhatFits) {
    CaseStore store = Sample();
    ASSERT_TRUE(store.SetType(2, 4));
    EXPECT_EQ(store.CellsPerCase(), 4u);
    EXPECT_EQ(store.Text(1, 2), "long");
    EXPECT_EQ(store.Number(1, 3), -1.0);
    ASSERT_TRUE(store.SetType(2, 20));
    EXPECT_EQ(store.Text(1, 2), "long");
    EXPECT_EQ(Bytes(store.Case(1)).substr(16, 24), std::string("long") + std::string(20, ' '));
    // Between number and text nothing carries over.
    ASSERT_TRUE(store.SetType(0, 5));
    EXPECT_EQ(store.Text(2, 0), "");
    ASSERT_TRUE(store.SetType(1, 0));
    EXPECT_EQ(store.Number(2, 1), kMissing);
    EXPECT_EQ(store.Number(2, 3), -2.0);
    EXPECT_FALSE(store.SetType(4, 0));
}

TEST(CaseStoreEdits, StoreWithoutVariablesStillCountsCases) {
    CaseStore store;
    store.AppendCase();
    store.AppendCase();
    EXPECT_EQ(store.CaseCount(), 2u);
    EXPECT_EQ(store.CaseSize(), 0u);
    ASSERT_TRUE(store.InsertVariable(0, 0));
    EXPECT_EQ(store.Number(1, 0), kMissing);
    store.ClearCases();
    EXPECT_EQ(store.CaseCount(), 0u);
}

}  // namespace
