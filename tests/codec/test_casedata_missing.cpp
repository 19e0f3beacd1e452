// Cells and the missing-value rules of a cursor variable: discrete values by
// bit pattern, ranges as doubles, string values by their blank-padded bytes,
// system-missing for every numeric format.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "codec/varinfo.h"
#include "imagebytes.h"

using codectest::Bytes;
using codectest::ToBytes;

namespace {

OBS Bits(std::uint64_t bits) { return OBS::FromNumber(std::bit_cast<double>(bits)); }

std::int32_t Classify(const VarInfo& info, double value) {
    const OBS cell = OBS::FromNumber(value);
    return info.IsMissing({&cell, 1});
}

std::int32_t Classify(const VarInfo& info, const OBS& cell) { return info.IsMissing({&cell, 1}); }

// The cells of a string value exactly as a case holds it.
std::vector<OBS> StringCells(const std::string& padded) {
    std::vector<OBS> cells(padded.size() / 8);
    std::memcpy(cells.data(), padded.data(), cells.size() * 8);
    return cells;
}

VarInfo Numeric(std::int32_t format, double v1 = 0, double v2 = 0, double v3 = 0) {
    VarInfo info;
    info.SetNumericMissing(format, v1, v2, v3);
    return info;
}

VarInfo String(std::int32_t width, std::int32_t format, std::vector<std::string> values) {
    VarInfo info;
    info.type = width;
    info.missingFormat = format;
    for (std::size_t i = 0; i < values.size(); ++i) {
        info.SetStringMissingValue(static_cast<std::int32_t>(i), values[i]);
    }
    return info;
}

}  // namespace

TEST(Cells, NumberIsLittleEndianIeee) {
    const Bytes one = {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF0, 0x3F};
    const Bytes sysmis = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xEF, 0xFF};
    const OBS a = OBS::FromNumber(1.0);
    const OBS b = OBS::FromNumber(codec::kSystemMissing);
    EXPECT_EQ(ToBytes(a.bytes, 8), one);
    EXPECT_EQ(ToBytes(b.bytes, 8), sysmis);
    EXPECT_EQ(b.Bits(), codec::kSystemMissingBits);
    EXPECT_EQ(b.AsNumber(), std::numeric_limits<double>::lowest());
}

TEST(Cells, TextIsBlankPaddedAndCutAtEightBytes) {
    const Bytes ab = {0x61, 0x62, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20};
    const Bytes long_text = {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h'};
    EXPECT_EQ(ToBytes(OBS::FromText("ab").bytes, 8), ab);
    EXPECT_EQ(ToBytes(OBS::FromText("abcdefghij").bytes, 8), long_text);
    EXPECT_TRUE(OBS::FromText("").IsBlank());
    EXPECT_FALSE(OBS::FromText(std::string("a\0", 2)).IsBlank());
}

TEST(Cells, ObsLengthCoversTheWidth) {
    EXPECT_EQ(codec::ObsLength(0), 1);
    EXPECT_EQ(codec::ObsLength(1), 1);
    EXPECT_EQ(codec::ObsLength(8), 1);
    EXPECT_EQ(codec::ObsLength(9), 2);
    EXPECT_EQ(codec::ObsLength(16), 2);
    EXPECT_EQ(codec::ObsLength(17), 3);
    EXPECT_EQ(codec::ObsLength(-5), 1);
    EXPECT_EQ(codec::ObsLength(std::numeric_limits<std::int32_t>::max()), 268435456);
}

TEST(NumericMissing, SystemMissingWhateverTheFormat) {
    for (std::int32_t format : {0, 1, 2, 3, -2, -3, 4, -1, 99}) {
        SCOPED_TRACE(format);
        EXPECT_EQ(Classify(Numeric(format, 1, 5, 9), codec::kSystemMissing),
                  VarInfo::SYSTEM_MISSING);
    }
}

TEST(NumericMissing, OtherNaNPatternsAreNotSystemMissing) {
    const OBS quiet_nan = Bits(0x7FF8000000000000ull);
    const OBS negative_nan = Bits(0xFFF8000000000000ull);
    const OBS negative_infinity = Bits(0xFFF0000000000000ull);
    EXPECT_EQ(Classify(Numeric(0), quiet_nan), VarInfo::NOT_MISSING);
    EXPECT_EQ(Classify(Numeric(0), negative_nan), VarInfo::NOT_MISSING);
    EXPECT_EQ(Classify(Numeric(0), negative_infinity), VarInfo::NOT_MISSING);
}

TEST(NumericMissing, DiscreteValuesCompareBitPatterns) {
    const VarInfo zero = Numeric(1, 0.0);
    EXPECT_EQ(Classify(zero, 0.0), VarInfo::USER_MISSING);
    EXPECT_EQ(Classify(zero, -0.0), VarInfo::NOT_MISSING);

    // A NaN declared missing matches only its own pattern.
    VarInfo nan;
    nan.missingFormat = 1;
    nan.missingValue[0] = Bits(0x7FF8000000000001ull);
    EXPECT_EQ(Classify(nan, Bits(0x7FF8000000000001ull)), VarInfo::USER_MISSING);
    EXPECT_EQ(Classify(nan, Bits(0x7FF8000000000002ull)), VarInfo::NOT_MISSING);
}

TEST(NumericMissing, FormatCountsTheDiscreteValues) {
    EXPECT_EQ(Classify(Numeric(1, 1, 2, 3), 2.0), VarInfo::NOT_MISSING);
    EXPECT_EQ(Classify(Numeric(2, 1, 2, 3), 2.0), VarInfo::USER_MISSING);
    EXPECT_EQ(Classify(Numeric(2, 1, 2, 3), 3.0), VarInfo::NOT_MISSING);
    EXPECT_EQ(Classify(Numeric(3, 1, 2, 3), 3.0), VarInfo::USER_MISSING);
    EXPECT_EQ(Classify(Numeric(3, 1, 2, 3), 4.0), VarInfo::NOT_MISSING);
    EXPECT_EQ(Classify(Numeric(0, 1, 2, 3), 1.0), VarInfo::NOT_MISSING);
    EXPECT_EQ(Classify(Numeric(4, 1, 2, 3), 1.0), VarInfo::NOT_MISSING);
    EXPECT_EQ(Classify(Numeric(-1, 1, 2, 3), 1.0), VarInfo::NOT_MISSING);
}

TEST(NumericMissing, RangeIncludesBothEndsAsDoubles) {
    const VarInfo range = Numeric(-2, 1.0, 5.0);
    EXPECT_EQ(Classify(range, 1.0), VarInfo::USER_MISSING);
    EXPECT_EQ(Classify(range, 5.0), VarInfo::USER_MISSING);
    EXPECT_EQ(Classify(range, 3.25), VarInfo::USER_MISSING);
    EXPECT_EQ(Classify(range, std::nextafter(1.0, 0.0)), VarInfo::NOT_MISSING);
    EXPECT_EQ(Classify(range, std::nextafter(5.0, 6.0)), VarInfo::NOT_MISSING);
    // -0.0 == 0.0 as doubles, unlike a discrete value.
    EXPECT_EQ(Classify(Numeric(-2, 0.0, 5.0), -0.0), VarInfo::USER_MISSING);
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(Classify(Numeric(-2, -inf, inf), Bits(0x7FF8000000000000ull)), VarInfo::NOT_MISSING);
}

TEST(NumericMissing, RangeWithDiscreteValue) {
    const VarInfo info = Numeric(-3, 1.0, 5.0, 9.0);
    EXPECT_EQ(Classify(info, 5.0), VarInfo::USER_MISSING);
    EXPECT_EQ(Classify(info, 9.0), VarInfo::USER_MISSING);
    EXPECT_EQ(Classify(info, 6.0), VarInfo::NOT_MISSING);
    EXPECT_EQ(Classify(info, 0.0), VarInfo::NOT_MISSING);
    // The discrete value of a range compares bits too.
    EXPECT_EQ(Classify(Numeric(-3, 1.0, 5.0, 0.0), -0.0), VarInfo::NOT_MISSING);
}

TEST(StringMissing, ShortMissingValueMatchesBlankPaddedCase) {
    const VarInfo info = String(12, 1, {"NA"});
    EXPECT_EQ(info.IsMissing(StringCells("NA              ")), VarInfo::USER_MISSING);
    EXPECT_EQ(info.IsMissing(StringCells("NA      x       ")), VarInfo::NOT_MISSING);
    EXPECT_EQ(info.IsMissing(StringCells("NB              ")), VarInfo::NOT_MISSING);
    // A zero-filled missing value never matches a blank-padded case value.
    VarInfo zero_filled;
    zero_filled.type = 12;
    zero_filled.missingFormat = 1;
    std::memcpy(zero_filled.missingValue[0].bytes, "NA\0\0\0\0\0\0", 8);
    EXPECT_EQ(zero_filled.IsMissing(StringCells("NA              ")), VarInfo::NOT_MISSING);
}

TEST(StringMissing, NarrowVariableUsesOneCell) {
    const VarInfo info = String(3, 1, {"NA"});
    EXPECT_EQ(info.IsMissing(StringCells("NA      ")), VarInfo::USER_MISSING);
    EXPECT_EQ(info.IsMissing(StringCells("NAB     ")), VarInfo::NOT_MISSING);
}

TEST(StringMissing, OnlyTheFirstEightBytesOfAMissingValueCount) {
    const VarInfo info = String(12, 1, {"ABCDEFGHIJ"});
    EXPECT_EQ(info.IsMissing(StringCells("ABCDEFGH        ")), VarInfo::USER_MISSING);
    EXPECT_EQ(info.IsMissing(StringCells("ABCDEFGHIJ      ")), VarInfo::NOT_MISSING);
}

TEST(StringMissing, FormatsSelectValuesAndRangesNeverApply) {
    const std::vector<std::string> values = {"a", "b", "c"};
    const auto c = StringCells("c       ");
    const auto b = StringCells("b       ");
    EXPECT_EQ(String(8, 3, values).IsMissing(c), VarInfo::USER_MISSING);
    EXPECT_EQ(String(8, 2, values).IsMissing(c), VarInfo::NOT_MISSING);
    EXPECT_EQ(String(8, 2, values).IsMissing(b), VarInfo::USER_MISSING);
    EXPECT_EQ(String(8, 1, values).IsMissing(b), VarInfo::NOT_MISSING);
    for (std::int32_t format : {0, -2, -3, 4}) {
        SCOPED_TRACE(format);
        EXPECT_EQ(String(8, format, values).IsMissing(StringCells("a       ")),
                  VarInfo::NOT_MISSING);
    }
}

TEST(StringMissing, NoSystemMissingForStrings) {
    const OBS pattern = OBS::FromNumber(codec::kSystemMissing);
    EXPECT_EQ(String(8, 0, {}).IsMissing({&pattern, 1}), VarInfo::NOT_MISSING);
}

TEST(StringMissing, ValueShorterThanItsWidthIsNeverMissing) {
    const VarInfo info = String(12, 1, {"NA"});
    const auto cells = StringCells("NA              ");
    EXPECT_EQ(info.IsMissing(std::span<const OBS>(cells).first(1)), VarInfo::NOT_MISSING);
    EXPECT_EQ(info.IsMissing({}), VarInfo::NOT_MISSING);
}

TEST(VarInfoRecord, NewRecordIsAllZeroAndCopiesAllFields) {
    const VarInfo fresh;
    const OBS zero;
    EXPECT_EQ(fresh.type, 0);
    EXPECT_EQ(fresh.missingFormat, 0);
    for (const OBS& cell : fresh.missingValue) EXPECT_EQ(cell, zero);

    VarInfo copy;
    copy = String(10, 2, {"x", "y"});
    EXPECT_EQ(copy.type, 10);
    EXPECT_EQ(copy.missingFormat, 2);
    EXPECT_EQ(copy.missingValue[1], OBS::FromText("y"));
    copy.SetStringMissingValue(3, "ignored");
    EXPECT_EQ(copy.missingValue[2], zero);
}
