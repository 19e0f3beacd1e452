// The data-step batch: a received reply read cell by cell, with the batch's
// own figures checked before any cell is indexed.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "codec/datastepsmb.h"
#include "codec/obs.h"
#include "imagebytes.h"
#include "runtime/statuscodes.h"

using codectest::Bytes;
using codectest::ExactBuffer;
using codectest::ToBytes;

namespace {

// Rows 100 and 101 of a numeric and a 3-byte string variable. Cells in row
// order: (100,0) 1.5; (100,1) "abc"; (101,0) system-missing, flagged;
// (101,1) "ab\0c".
// clang-format off
const Bytes kBatchReply = {
    0x9F, 0x00, 0x00, 0x00,  0xDD, 0x00, 0x00, 0x00,  0x00, 0x00, 0x00, 0x00,
    // long block [100, 2, 0, 3, 101, 1000]
    0x06, 0x00, 0x00, 0x00,  0x64, 0x00, 0x00, 0x00,  0x02, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00,  0x03, 0x00, 0x00, 0x00,  0x65, 0x00, 0x00, 0x00,
    0xE8, 0x03, 0x00, 0x00,
    // double, string and structure blocks
    0x00, 0x00, 0x00, 0x00,  0x00, 0x00, 0x00, 0x00,  0x00, 0x00, 0x00, 0x00,
    // one long array: missing flags
    0x01, 0x00, 0x00, 0x00,  0x04, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00,  0x00, 0x00, 0x00, 0x00,  0x01, 0x00, 0x00, 0x00,  0x00, 0x00, 0x00, 0x00,
    // one double array
    0x01, 0x00, 0x00, 0x00,  0x04, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF8, 0x3F,  0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xEF, 0xFF,  0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    // one string array
    0x01, 0x00, 0x00, 0x00,  0x04, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00,
    0x03, 0x00, 0x00, 0x00,  0x61, 0x62, 0x63,
    0x00, 0x00, 0x00, 0x00,
    0x04, 0x00, 0x00, 0x00,  0x61, 0x62, 0x00, 0x63,
    // no binary string, wide string or void data
    0x00, 0x00, 0x00, 0x00,  0x00, 0x00, 0x00, 0x00,  0x00, 0x00, 0x00, 0x00,
};
// clang-format on

std::int32_t Receive(DatastepSmb& batch, const Bytes& image) {
    ExactBuffer exact(image);
    return batch.ParseBuf(exact.data(), exact.size());
}

// A batch of `rows` rows from `first` over `count` numeric variables whose
// doubles are their cell indexes.
DatastepSmb IndexedBatch(std::int32_t first, std::int32_t rows, std::int32_t count) {
    DatastepSmb batch;
    batch.SetLong(first);
    batch.SetLong(count);
    for (std::int32_t v = 0; v < count; ++v) batch.SetLong(0);
    batch.SetLong(first + rows - 1);
    batch.SetLong(0);
    LongData flags;
    DoubleData values;
    StringData texts;
    for (std::int32_t i = 0; i < rows * count; ++i) {
        flags.SetValue(0);
        values.SetValue(i);
        texts.SetValue("");
    }
    batch.SetLongArray(flags);
    batch.SetDoubleArray(values);
    batch.SetStringArray(texts);
    return batch;
}

}  // namespace

TEST(BatchImage, ReplyIsReadCellByCell) {
    ASSERT_EQ(kBatchReply.size(), 159u);
    DatastepSmb batch;
    ASSERT_EQ(Receive(batch, kBatchReply), VEXA_OK);
    ASSERT_EQ(batch.ReadBatchHeader(), VEXA_OK);
    EXPECT_EQ(batch.GetFirstRow(), 100);
    EXPECT_EQ(batch.GetVarCount(), 2);

    std::int32_t missing = -1;
    std::int32_t error = -1;
    EXPECT_EQ(batch.GetNCellValue(100, 0, missing, error), 1.5);
    EXPECT_EQ(error, 0);
    EXPECT_EQ(missing, 0);
    EXPECT_EQ(batch.GetNCellValue(101, 0, missing, error), codec::kSystemMissing);
    EXPECT_EQ(missing, 1);

    auto text = batch.GetCCellValue(100, 1, missing, error);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::memcmp(text.get(), "abc", 4), 0);
    EXPECT_EQ(missing, 0);
    text = batch.GetCCellValue(101, 1, missing, error);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::memcmp(text.get(), "ab", 3), 0);  // up to the first zero byte
}

TEST(BatchImage, KeepsTheMessageImage) {
    DatastepSmb batch;
    ASSERT_EQ(Receive(batch, kBatchReply), VEXA_OK);
    ASSERT_EQ(batch.ReadBatchHeader(), VEXA_OK);
    ASSERT_EQ(batch.ContructSendData(), VEXA_OK);
    std::int32_t length = 0;
    const void* image = batch.GetSendBuf(length);
    EXPECT_EQ(ToBytes(image, static_cast<std::size_t>(length)), kBatchReply);
}

TEST(BatchFigures, RowsTypesAndCoverage) {
    DatastepSmb batch;
    ASSERT_EQ(Receive(batch, kBatchReply), VEXA_OK);
    std::int32_t first = 0, last = 0, third = 0;
    ASSERT_EQ(batch.GetRowList(first, last, third), VEXA_OK);
    EXPECT_EQ(first, 100);
    EXPECT_EQ(last, 101);
    EXPECT_EQ(third, 1000);
    EXPECT_FALSE(batch.Covers(99));
    EXPECT_TRUE(batch.Covers(100));
    EXPECT_TRUE(batch.Covers(101));
    EXPECT_FALSE(batch.Covers(102));

    std::int32_t types[3] = {-1, -1, -1};
    ASSERT_EQ(batch.GetVarTypes(types, 2), VEXA_OK);
    EXPECT_EQ(types[0], 0);
    EXPECT_EQ(types[1], 3);
    EXPECT_EQ(types[2], -1);
    EXPECT_EQ(batch.GetVarTypes(types, 3), VEXA_VARIABLE_OUT_OF_RANGE);
    EXPECT_EQ(batch.GetVarTypes(nullptr, 1), VEXA_BAD_ARGUMENT);
    EXPECT_EQ(batch.GetVarTypes(types, -1), VEXA_BAD_ARGUMENT);

    const DatastepSmb empty;
    EXPECT_FALSE(empty.Covers(-1));
    EXPECT_EQ(empty.GetRowList(first, last, third), VEXA_MALFORMED_MESSAGE);
    EXPECT_EQ(first, 100);
}

TEST(BatchCells, IndexIsRowOffsetTimesCountPlusVariable) {
    DatastepSmb batch = IndexedBatch(100, 3, 4);
    ASSERT_EQ(batch.ReadBatchHeader(), VEXA_OK);
    std::int32_t missing = 0, error = 0;
    EXPECT_EQ(batch.GetNCellValue(102, 1, missing, error), 9.0);
    EXPECT_EQ(batch.GetNCellValue(100, 0, missing, error), 0.0);
    EXPECT_EQ(batch.GetNCellValue(102, 3, missing, error), 11.0);
}

TEST(BatchCells, CellsOutsideTheBatchAreRefused) {
    DatastepSmb batch;
    ASSERT_EQ(Receive(batch, kBatchReply), VEXA_OK);
    ASSERT_EQ(batch.ReadBatchHeader(), VEXA_OK);
    const std::pair<std::int32_t, std::int32_t> outside[] = {
        {99, 0}, {102, 0}, {100, 2}, {100, -1}, {-2147483647 - 1, 0}};
    for (const auto& [row, variable] : outside) {
        SCOPED_TRACE(row);
        std::int32_t missing = 42, error = 0;
        EXPECT_EQ(batch.GetNCellValue(row, variable, missing, error), 0.0);
        EXPECT_EQ(error, VEXA_VARIABLE_OUT_OF_RANGE);
        EXPECT_EQ(batch.GetCCellValue(row, variable, missing, error), nullptr);
        EXPECT_EQ(error, VEXA_VARIABLE_OUT_OF_RANGE);
        EXPECT_EQ(missing, 42);
    }
}

TEST(BatchMalformed, TruncatedOrInconsistentImagesAreRefused) {
    DatastepSmb batch;
    // T promises 159 bytes, 100 arrive.
    ExactBuffer truncated(kBatchReply, 100);
    EXPECT_EQ(batch.ParseBuf(truncated.data(), truncated.size()), VEXA_MALFORMED_MESSAGE);
    // The string array's last length runs past T.
    Bytes overlong = kBatchReply;
    overlong[139] = 0x40;
    EXPECT_EQ(Receive(batch, overlong), VEXA_MALFORMED_MESSAGE);
    // A negative string length.
    Bytes negative = kBatchReply;
    std::memcpy(negative.data() + 139, "\xFF\xFF\xFF\xFF", 4);
    EXPECT_EQ(Receive(batch, negative), VEXA_MALFORMED_MESSAGE);
    EXPECT_EQ(batch.GetLongDataRef().Size(), 0);
    EXPECT_EQ(batch.GetFirstRow(), -1);
}

TEST(BatchMalformed, HeaderThatPromisesMoreThanTheBatchHolds) {
    const auto header_of = [](const std::vector<std::int32_t>& longs, std::int32_t cells) {
        DatastepSmb batch;
        for (std::int32_t value : longs) batch.SetLong(value);
        LongData flags;
        DoubleData doubles;
        StringData texts;
        for (std::int32_t i = 0; i < cells; ++i) {
            flags.SetValue(0);
            doubles.SetValue(0);
            texts.SetValue("");
        }
        batch.SetLongArray(flags);
        batch.SetDoubleArray(doubles);
        batch.SetStringArray(texts);
        const std::int32_t status = batch.ReadBatchHeader();
        EXPECT_EQ(batch.GetFirstRow(), status == VEXA_OK ? longs[0] : -1);
        return status;
    };
    EXPECT_EQ(header_of({5}, 0), VEXA_MALFORMED_MESSAGE);
    EXPECT_EQ(header_of({5, -1, 5, 0}, 0), VEXA_MALFORMED_MESSAGE);
    // Two variables promised, one type and the row figures present.
    EXPECT_EQ(header_of({5, 2, 0, 6, 0}, 4), VEXA_MALFORMED_MESSAGE);
    // Rows 5..6 of two variables need four cells.
    EXPECT_EQ(header_of({5, 2, 0, 0, 6, 0}, 3), VEXA_MALFORMED_MESSAGE);
    EXPECT_EQ(header_of({5, 2, 0, 0, 6, 0}, 4), VEXA_OK);
    // No rows: nothing to hold.
    EXPECT_EQ(header_of({5, 2, 0, 0, 4, 0}, 0), VEXA_OK);
}

TEST(BatchMalformed, FiguresSetByHandNeverIndexPastTheArrays) {
    DatastepSmb batch = IndexedBatch(0, 2, 2);
    std::int32_t error = 0;
    batch.SetrowInfo(0, error);
    batch.SetvarCount(3, error);  // more than the arrays hold
    EXPECT_EQ(error, 0);
    std::int32_t missing = 0;
    EXPECT_EQ(batch.GetNCellValue(1, 2, missing, error), 0.0);
    EXPECT_EQ(error, VEXA_MALFORMED_MESSAGE);
    EXPECT_EQ(batch.GetCCellValue(1, 2, missing, error), nullptr);
    EXPECT_EQ(error, VEXA_MALFORMED_MESSAGE);

    DatastepSmb bare;
    bare.SetLong(0);
    bare.SetLong(1);
    bare.SetLong(0);
    bare.SetLong(0);
    bare.SetLong(0);
    bare.SetvarCount(1, error);
    bare.SetrowInfo(0, error);
    bare.GetNCellValue(0, 0, missing, error);
    EXPECT_EQ(error, VEXA_MALFORMED_MESSAGE);
}
