// One cached case of a dataset: cell writes and reads in place, the case image
// they produce, and layout changes that move the case size.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>

#include "codec/datastepdatasmb.h"
#include "imagebytes.h"
#include "runtime/statuscodes.h"

using codectest::Bytes;
using codectest::ToBytes;

namespace {

// Numeric, string of width 10 (2 cells), numeric: obs indexes 0, 1, 3.
void Describe(DatastepDataSmb& entry) {
    for (std::int32_t type : {0, 10, 0}) entry.AddVarType(type);
    for (std::int32_t cell : {0, 1, 3}) entry.AddVarObsIndex(cell);
    ASSERT_EQ(entry.SetOneCaseSize(32), VEXA_OK);
}

Bytes CaseImage(const DatastepDataSmb& entry) {
    std::int32_t size = -1;
    const OBS* cells = entry.GetCaseValue(size);
    return ToBytes(cells, static_cast<std::size_t>(size));
}

}  // namespace

TEST(DatastepCase, CellWritesProduceTheCaseImage) {
    // clang-format off
    const Bytes expected = {
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x45, 0x40,
        0x41, 0x6E, 0x6E, 0x61, 0x20, 0x20, 0x20, 0x20,  0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20,
        0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xEF, 0xFF,
    };
    // clang-format on
    DatastepDataSmb entry;
    Describe(entry);
    EXPECT_EQ(CaseImage(entry), Bytes(32, 0x00));
    EXPECT_EQ(entry.SetNCellValue(0, 42.0), VEXA_OK);
    EXPECT_EQ(entry.SetCCellValue(1, "Anna"), VEXA_OK);
    EXPECT_EQ(entry.SetNCellValue(2, codec::kSystemMissing), VEXA_OK);
    EXPECT_EQ(CaseImage(entry), expected);

    // The image read back into another entry gives the same cells.
    DatastepDataSmb copy;
    Describe(copy);
    ASSERT_EQ(copy.SetCaseValue(expected.data(), 32), VEXA_OK);
    std::int32_t missing = -1;
    std::int32_t error = 0;
    EXPECT_EQ(copy.GetNCellValue(0, missing, error), 42.0);
    EXPECT_EQ(missing, 0);
    copy.GetNCellValue(2, missing, error);
    EXPECT_EQ(missing, 1);
    EXPECT_EQ(error, 0);
    auto text = copy.GetCCellValue(1, error);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::memcmp(text.get(), "Anna      \0", 11), 0);
}

TEST(DatastepCase, StringWritesAreCutToTheCellsAndBlankPadded) {
    DatastepDataSmb entry;
    Describe(entry);
    entry.SetNCellValue(2, 1.0);
    ASSERT_EQ(entry.SetCCellValue(1, "abcdefghijklmnopqrst"), VEXA_OK);  // 20 bytes, 16 fit
    Bytes image = CaseImage(entry);
    EXPECT_EQ(std::string(image.begin() + 8, image.begin() + 24), "abcdefghijklmnop");
    EXPECT_EQ(Bytes(image.begin() + 24, image.end()), ToBytes(OBS::FromNumber(1.0).bytes, 8));

    ASSERT_EQ(entry.SetCCellValue(1, "xyz"), VEXA_OK);
    image = CaseImage(entry);
    EXPECT_EQ(std::string(image.begin() + 8, image.begin() + 24), "xyz" + std::string(13, ' '));

    std::int32_t error = 0;
    auto text = entry.GetCCellValue(1, error);
    EXPECT_EQ(std::string(text.get(), 11), std::string("xyz       \0", 11));
    EXPECT_EQ(entry.SetCCellValue(1, nullptr), VEXA_BAD_ARGUMENT);
}

TEST(DatastepCase, TypeAndIndexErrors) {
    DatastepDataSmb entry;
    Describe(entry);
    std::int32_t missing = 5;
    std::int32_t error = 0;
    entry.GetNCellValue(1, missing, error);
    EXPECT_EQ(error, VEXA_DATASTEP_NOT_NUMERIC);
    entry.GetNCellValue(3, missing, error);
    EXPECT_EQ(error, VEXA_VARIABLE_OUT_OF_RANGE);
    EXPECT_EQ(missing, 5);

    EXPECT_EQ(entry.GetCCellValue(0, error), nullptr);
    EXPECT_EQ(error, VEXA_DATASTEP_NOT_STRING);
    EXPECT_EQ(entry.GetCCellValue(3, error), nullptr);
    EXPECT_EQ(error, VEXA_VARIABLE_OUT_OF_RANGE);

    EXPECT_EQ(entry.SetNCellValue(1, 1.0), VEXA_DATASTEP_NOT_STRING);
    EXPECT_EQ(entry.SetCCellValue(0, "a"), VEXA_DATASTEP_NOT_NUMERIC);
    EXPECT_EQ(entry.SetNCellValue(3, 1.0), VEXA_VARIABLE_OUT_OF_RANGE);
    EXPECT_EQ(entry.SetCCellValue(3, "a"), VEXA_VARIABLE_OUT_OF_RANGE);
    EXPECT_EQ(CaseImage(entry), Bytes(32, 0x00));
}

TEST(DatastepCase, LayoutBeyondTheCaseIsRefused) {
    DatastepDataSmb entry;
    Describe(entry);
    entry.ClearVarObsIndex();
    for (std::int32_t cell : {0, 3, 3}) entry.AddVarObsIndex(cell);  // string would need cell 4
    std::int32_t error = 0;
    EXPECT_EQ(entry.SetCCellValue(1, "a"), VEXA_MALFORMED_MESSAGE);
    EXPECT_EQ(entry.GetCCellValue(1, error), nullptr);
    EXPECT_EQ(error, VEXA_MALFORMED_MESSAGE);

    // A case shorter than the layout, as an engine reply may deliver it.
    entry.ClearVarObsIndex();
    for (std::int32_t cell : {0, 1, 3}) entry.AddVarObsIndex(cell);
    const unsigned char sixteen[16] = {};
    ASSERT_EQ(entry.SetCaseValue(sixteen, 16), VEXA_OK);
    EXPECT_EQ(entry.SetNCellValue(2, 1.0), VEXA_MALFORMED_MESSAGE);
    std::int32_t missing = 0;
    error = 0;
    entry.GetNCellValue(2, missing, error);
    EXPECT_EQ(error, VEXA_MALFORMED_MESSAGE);
    EXPECT_EQ(entry.SetCCellValue(1, "a"), VEXA_MALFORMED_MESSAGE);

    // A variable without an obs index.
    entry.ClearVarObsIndex();
    EXPECT_EQ(entry.SetNCellValue(0, 1.0), VEXA_MALFORMED_MESSAGE);
}

TEST(DatastepCase, CaseValueCopiesAndPadsPartialCells) {
    DatastepDataSmb entry;
    Describe(entry);
    std::string source = "0123456789";
    ASSERT_EQ(entry.SetCaseValue(source.data(), 10), VEXA_OK);
    source[0] = 'X';
    std::int32_t size = 0;
    const OBS* cells = entry.GetCaseValue(size);
    EXPECT_EQ(size, 10);
    EXPECT_EQ(std::memcmp(cells, "0123456789\0\0\0\0\0\0", 16), 0);

    EXPECT_EQ(entry.SetCaseValue(nullptr, 8), VEXA_BAD_ARGUMENT);
    EXPECT_EQ(entry.SetCaseValue(source.data(), -1), VEXA_BAD_ARGUMENT);
    EXPECT_EQ(entry.SetOneCaseSize(-8), VEXA_BAD_ARGUMENT);
    EXPECT_EQ(entry.GetCaseValue(size), cells);
    EXPECT_EQ(entry.SetCaseValue(nullptr, 0), VEXA_OK);
    EXPECT_EQ(entry.GetCaseValue(size), nullptr);
    EXPECT_EQ(size, 0);
}

TEST(DatastepLayout, TypeChangesMoveTheCaseSize) {
    DatastepDataSmb entry;
    Describe(entry);
    ASSERT_EQ(entry.UpdateVarType(0, 20), VEXA_OK);
    EXPECT_EQ(entry.GetOneCaseSize(), 48);
    EXPECT_EQ(entry.GetVarObsLength(0), 3);
    ASSERT_EQ(entry.EraseVarType(0), VEXA_OK);
    EXPECT_EQ(entry.GetOneCaseSize(), 24);
    EXPECT_EQ(entry.VarCount(), 2);
    ASSERT_EQ(entry.InsertVarType(2, 9), VEXA_OK);
    EXPECT_EQ(entry.GetOneCaseSize(), 40);
    EXPECT_EQ(entry.GetVarType(2), 9);
    EXPECT_EQ(entry.GetVarObsLength(2), 2);
    EXPECT_EQ(CaseImage(entry), Bytes(40, 0x00));

    std::int32_t count = -1;
    auto types = entry.GetVarInfo(count);
    ASSERT_EQ(count, 3);
    EXPECT_EQ(types[0], 10);
    EXPECT_EQ(types[1], 0);
    EXPECT_EQ(types[2], 9);
}

TEST(DatastepLayout, ChangesResetTheCase) {
    DatastepDataSmb entry;
    Describe(entry);
    entry.SetNCellValue(0, 3.0);
    ASSERT_EQ(entry.UpdateVarType(2, 0), VEXA_OK);
    EXPECT_EQ(entry.GetOneCaseSize(), 32);
    EXPECT_EQ(CaseImage(entry), Bytes(32, 0x00));
}

TEST(DatastepLayout, PositionsOutsideTheVariablesAreRefused) {
    DatastepDataSmb entry;
    Describe(entry);
    EXPECT_EQ(entry.InsertVarType(4, 0), VEXA_VARIABLE_OUT_OF_RANGE);
    EXPECT_EQ(entry.InsertVarType(-1, 0), VEXA_VARIABLE_OUT_OF_RANGE);
    EXPECT_EQ(entry.EraseVarType(3), VEXA_VARIABLE_OUT_OF_RANGE);
    EXPECT_EQ(entry.UpdateVarType(3, 0), VEXA_VARIABLE_OUT_OF_RANGE);
    EXPECT_EQ(entry.InsertVarType(0, std::numeric_limits<std::int32_t>::max()), VEXA_BAD_ARGUMENT);
    EXPECT_EQ(entry.VarCount(), 3);
    EXPECT_EQ(entry.GetOneCaseSize(), 32);
    EXPECT_EQ(entry.GetVarType(3), -1);
    EXPECT_EQ(entry.GetVarObsIndex(3), -1);
}

TEST(DatastepLayout, EraseNeverDrivesTheSizeNegative) {
    DatastepDataSmb entry;
    entry.AddVarType(24);
    ASSERT_EQ(entry.SetOneCaseSize(8), VEXA_OK);
    ASSERT_EQ(entry.EraseVarType(0), VEXA_OK);
    EXPECT_EQ(entry.VarCount(), 0);
    EXPECT_EQ(entry.GetOneCaseSize(), 8);

    std::int32_t count = 77;
    EXPECT_EQ(entry.GetVarInfo(count), nullptr);
    EXPECT_EQ(count, 77);
}
