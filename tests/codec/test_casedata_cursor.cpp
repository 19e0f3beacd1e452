// The case cursor's local block: layout, walking the block, reading values of
// the current case, and refusing blocks that do not hold what they claim.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "codec/clexdsmb.h"
#include "codec/cursordatasmb.h"
#include "imagebytes.h"
#include "runtime/statuscodes.h"
#include "testsupport.h"

using codectest::Bytes;
using codectest::ExactBuffer;

namespace {

// Layout: numeric, string of width 10 (2 cells), numeric: 32-byte cases.
// Case 0: 42.0 | "Anna" | system-missing.  Case 1: -0.0 | "NA" | 2.5.
// clang-format off
const Bytes kTwoCases = {
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x45, 0x40,
    0x41, 0x6E, 0x6E, 0x61, 0x20, 0x20, 0x20, 0x20,  0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20,
    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xEF, 0xFF,

    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x80,
    0x4E, 0x41, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20,  0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x04, 0x40,
};
// clang-format on

VarInfo NumericVar(std::int32_t format, double v1 = 0, double v2 = 0, double v3 = 0) {
    VarInfo info;
    info.SetNumericMissing(format, v1, v2, v3);
    return info;
}

VarInfo StringVar(std::int32_t width, const std::string& missing) {
    VarInfo info;
    info.type = width;
    info.missingFormat = missing.empty() ? 0 : 1;
    info.SetStringMissingValue(0, missing);
    return info;
}

// A cursor over the small layout; the first numeric variable counts 0.0 as
// missing, the string variable "NA".
void Describe(CursorDataSmb& cursor) {
    ASSERT_EQ(cursor.AddVariable(NumericVar(1, 0.0)), VEXA_OK);
    ASSERT_EQ(cursor.AddVariable(StringVar(10, "NA")), VEXA_OK);
    ASSERT_EQ(cursor.AddVariable(NumericVar(0)), VEXA_OK);
}

void Install(CursorDataSmb& cursor, const Bytes& block, std::int32_t cases) {
    cursor.SetCasePtr(block.data(), static_cast<std::int32_t>(block.size()));
    cursor.SetReceivedCases(cases);
}

std::string Read(const CursorDataSmb& cursor, std::uint32_t i, std::int32_t length,
                 std::int32_t& missing) {
    std::string buffer(static_cast<std::size_t>(length) + 2, 'x');
    EXPECT_EQ(cursor.GetStringValue(i, buffer.data(), length, missing), VEXA_OK);
    return buffer;
}

}  // namespace

TEST(CursorLayout, VariablesArePlacedOneAfterAnother) {
    CursorDataSmb cursor;
    Describe(cursor);
    EXPECT_EQ(cursor.VarCount(), 3);
    EXPECT_EQ(cursor.OBSIndex(0), 0u);
    EXPECT_EQ(cursor.OBSIndex(1), 1u);
    EXPECT_EQ(cursor.OBSIndex(2), 3u);
    EXPECT_EQ(cursor.GetOneCaseSize(), 32);
    EXPECT_EQ(cursor.GetVarInfo(1)->type, 10);
    EXPECT_EQ(cursor.GetVarInfo(3), nullptr);

    CursorDataSmb widths;
    for (std::int32_t width : {8, 9, 1}) widths.AddVariable(StringVar(width, ""));
    EXPECT_EQ(widths.OBSIndex(1), 1u);
    EXPECT_EQ(widths.OBSIndex(2), 3u);
    EXPECT_EQ(widths.GetOneCaseSize(), 32);
}

TEST(CursorLayout, CaseSizeMustBeWholeCells) {
    CursorDataSmb cursor;
    EXPECT_EQ(cursor.SetOneCaseSize(12), VEXA_BAD_ARGUMENT);
    EXPECT_EQ(cursor.SetOneCaseSize(-8), VEXA_BAD_ARGUMENT);
    EXPECT_EQ(cursor.GetOneCaseSize(), 0);
    EXPECT_EQ(cursor.SetOneCaseSize(24), VEXA_OK);
    EXPECT_EQ(cursor.GetOneCaseSize(), 24);

    ASSERT_EQ(cursor.SetOneCaseSize(2147483640), VEXA_OK);
    EXPECT_EQ(cursor.AddVariable(NumericVar(0)), VEXA_BAD_ARGUMENT);
    EXPECT_EQ(cursor.VarCount(), 0);
}

TEST(CursorLayout, BlockSizeFollowsTheCacheBudget) {
    CursorDataSmb cursor;
    const std::pair<std::int32_t, std::int32_t> cases[] = {
        {24, 873813}, {8, 2621440}, {20971520, 1}, {20971528, 1}, {0, 1}};
    for (const auto& [size, wanted] : cases) {
        ASSERT_EQ(cursor.SetOneCaseSize(size), VEXA_OK);
        EXPECT_EQ(cursor.CasesPerBlock(), wanted) << size;
    }
    cursor.SetAccessType(1);
    ASSERT_EQ(cursor.SetOneCaseSize(8), VEXA_OK);
    EXPECT_EQ(cursor.CasesPerBlock(), 1);
}

TEST(CursorWalk, ThreeCasesThenUsedUp) {
    CursorDataSmb cursor;
    cursor.SetOneCaseSize(8);
    const Bytes block(24, 0);
    cursor.SetCasePtr(block.data(), 24);
    cursor.SetReceivedCases(3);
    cursor.SetCurCasePos(-1);
    for (std::int32_t position = 0; position < 3; ++position) {
        EXPECT_EQ(cursor.NextCase(), VEXA_OK);
        EXPECT_EQ(cursor.GetCurCasePos(), position);
        EXPECT_TRUE(cursor.HasData());
    }
    EXPECT_EQ(cursor.NextCase(), CursorDataSmb::NO_CACHE_DATA);
    EXPECT_EQ(cursor.GetReceivedCases(), -1);
    EXPECT_EQ(cursor.GetCurCasePos(), -1);
    EXPECT_FALSE(cursor.HasData());
}

TEST(CursorWalk, PendingErrorComesAfterTheLastCase) {
    CursorDataSmb cursor;
    cursor.SetOneCaseSize(8);
    const Bytes block(16, 0);
    cursor.SetCasePtr(block.data(), 16);
    cursor.SetReceivedCases(2);
    cursor.SetLastError(23);
    cursor.SetCurCasePos(-1);
    EXPECT_EQ(cursor.NextCase(), VEXA_OK);
    EXPECT_EQ(cursor.NextCase(), VEXA_OK);
    EXPECT_EQ(cursor.NextCase(), 23);
    EXPECT_EQ(cursor.GetLastError(), 0);
    EXPECT_EQ(cursor.NextCase(), CursorDataSmb::NO_CACHE_DATA);
}

TEST(CursorWalk, EmptyBlockIsUsedUpAtOnce) {
    CursorDataSmb cursor;
    Describe(cursor);
    cursor.SetCasePtr(nullptr, 0);
    cursor.SetReceivedCases(0);
    double value = -1;
    std::int32_t missing = -1;
    EXPECT_EQ(cursor.GetNumericValue(0, value, missing), CursorDataSmb::NO_CACHE_DATA);
    EXPECT_EQ(cursor.NextCase(), CursorDataSmb::NO_CACHE_DATA);
}

TEST(CursorValues, ReplyBlockReadCaseByCase) {
    // A reply to a block fetch: long block [2 cases], the two cases as void data.
    // clang-format off
    Bytes reply = {
        0x78, 0x00, 0x00, 0x00,  0xE3, 0x00, 0x00, 0x00,  0x00, 0x00, 0x00, 0x00,
        0x01, 0x00, 0x00, 0x00,  0x02, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x00,  0x00, 0x00, 0x00, 0x00,  0x00, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x00,  0x00, 0x00, 0x00, 0x00,  0x00, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x00,  0x00, 0x00, 0x00, 0x00,
        0x40, 0x00, 0x00, 0x00,
    };
    // clang-format on
    reply.insert(reply.end(), kTwoCases.begin(), kTwoCases.end());
    ExactBuffer exact(reply);
    CleXDSmb message;
    ASSERT_EQ(message.ParseBuf(exact.data(), exact.size()), VEXA_OK);

    CursorDataSmb cursor;
    Describe(cursor);
    std::int32_t length = 0;
    void* data = message.ReleaseVoidData(length);
    codec::OwnedBuffer block(data, static_cast<std::size_t>(length));
    ASSERT_EQ(cursor.TakeCaseBlock(block, message.GetLongDataRef()[0], 0), VEXA_OK);
    EXPECT_TRUE(block.empty());
    EXPECT_EQ(cursor.GetCurCasePos(), 0);

    double value = 0;
    std::int32_t missing = -1;
    ASSERT_EQ(cursor.GetNumericValue(0, value, missing), VEXA_OK);
    EXPECT_EQ(value, 42.0);
    EXPECT_EQ(missing, VarInfo::NOT_MISSING);
    EXPECT_EQ(Read(cursor, 1, 10, missing), std::string("Anna      xx"));
    EXPECT_EQ(missing, VarInfo::NOT_MISSING);
    ASSERT_EQ(cursor.GetNumericValue(2, value, missing), VEXA_OK);
    EXPECT_EQ(missing, VarInfo::SYSTEM_MISSING);

    ASSERT_EQ(cursor.NextCase(), VEXA_OK);
    ASSERT_EQ(cursor.GetNumericValue(0, value, missing), VEXA_OK);
    EXPECT_TRUE(std::signbit(value));
    EXPECT_EQ(missing, VarInfo::NOT_MISSING);  // -0.0 is not the declared 0.0
    EXPECT_EQ(Read(cursor, 1, 10, missing), std::string("NA        xx"));
    EXPECT_EQ(missing, VarInfo::USER_MISSING);
    ASSERT_EQ(cursor.GetNumericValue(2, value, missing), VEXA_OK);
    EXPECT_EQ(value, 2.5);

    EXPECT_EQ(cursor.NextCase(), CursorDataSmb::NO_CACHE_DATA);
}

TEST(CursorValues, StringCopyRespectsBufferAndZeroBytes) {
    CursorDataSmb cursor;
    Describe(cursor);
    Install(cursor, kTwoCases, 2);
    std::int32_t missing = -1;
    EXPECT_EQ(Read(cursor, 1, 3, missing), std::string("Annxx"));
    EXPECT_EQ(Read(cursor, 1, 20, missing), std::string("Anna      ") + std::string(12, 'x'));

    Bytes with_zero = kTwoCases;
    std::memcpy(with_zero.data() + 8, "AB\0CDEFG", 8);
    Install(cursor, with_zero, 2);
    EXPECT_EQ(Read(cursor, 1, 6, missing), std::string("AB\0\0\0\0xx", 8));

    std::string untouched = "zz";
    EXPECT_EQ(cursor.GetStringValue(1, untouched.data(), 0, missing), VEXA_OK);
    EXPECT_EQ(untouched, "zz");
    EXPECT_EQ(cursor.GetStringValue(1, nullptr, 4, missing), VEXA_BAD_ARGUMENT);
}

TEST(CursorValues, WrongTypeAndIndexLeaveOutputsAlone) {
    CursorDataSmb cursor;
    Describe(cursor);
    Install(cursor, kTwoCases, 2);
    double value = 7.0;
    std::int32_t missing = 7;
    EXPECT_EQ(cursor.GetNumericValue(1, value, missing), VEXA_CURSOR_WRONG_TYPE);
    EXPECT_EQ(cursor.GetNumericValue(3, value, missing), VEXA_VARIABLE_OUT_OF_RANGE);
    EXPECT_EQ(value, 7.0);
    EXPECT_EQ(missing, 7);
    std::string buffer = "bbbb";
    EXPECT_EQ(cursor.GetStringValue(0, buffer.data(), 4, missing), VEXA_CURSOR_WRONG_TYPE);
    EXPECT_EQ(cursor.GetStringValue(3, buffer.data(), 4, missing), VEXA_VARIABLE_OUT_OF_RANGE);
    EXPECT_EQ(buffer, "bbbb");
    EXPECT_EQ(missing, 7);
}

TEST(CursorValues, NoCurrentCaseBeforeABlockOrAfterItsEnd) {
    CursorDataSmb cursor;
    Describe(cursor);
    double value = 0;
    std::int32_t missing = 0;
    EXPECT_EQ(cursor.GetNumericValue(0, value, missing), CursorDataSmb::NO_CACHE_DATA);
    Install(cursor, kTwoCases, 2);
    cursor.SetCurCasePos(-1);
    EXPECT_EQ(cursor.GetNumericValue(0, value, missing), CursorDataSmb::NO_CACHE_DATA);
    EXPECT_EQ(cursor.NextCase(), VEXA_OK);
    EXPECT_EQ(cursor.GetNumericValue(0, value, missing), VEXA_OK);
}

TEST(CursorMalformed, BlockShorterThanItsCasesIsRefused) {
    testsupport::TraceCapture trace;
    CursorDataSmb cursor;
    Describe(cursor);
    codec::OwnedBuffer block = codec::OwnedBuffer::Allocate(kTwoCases.size());
    std::memcpy(block.data(), kTwoCases.data(), kTwoCases.size());
    EXPECT_EQ(cursor.TakeCaseBlock(block, 3, 0), VEXA_MALFORMED_MESSAGE);
    EXPECT_EQ(cursor.TakeCaseBlock(block, -1, 0), VEXA_MALFORMED_MESSAGE);
    EXPECT_FALSE(block.empty());
    EXPECT_FALSE(cursor.HasData());
    EXPECT_EQ(cursor.GetCurCasePos(), -1);

    bool traced = false;
    for (const std::string& line : trace.lines()) {
        traced |= line.find("received cases * case size <= block length") != std::string::npos &&
                  line.find("99105") != std::string::npos;
    }
    EXPECT_TRUE(traced);

    EXPECT_EQ(cursor.TakeCaseBlock(block, 2, 67), VEXA_OK);
    EXPECT_EQ(cursor.NextCase(), VEXA_OK);
    EXPECT_EQ(cursor.NextCase(), 67);
}

TEST(CursorMalformed, WalkStopsWhereTheBytesEnd) {
    CursorDataSmb cursor;
    Describe(cursor);
    // One and a half cases, claimed as two.
    const Bytes truncated(kTwoCases.begin(), kTwoCases.begin() + 48);
    Install(cursor, truncated, 2);
    cursor.SetCurCasePos(-1);
    EXPECT_EQ(cursor.NextCase(), VEXA_OK);
    EXPECT_EQ(cursor.NextCase(), VEXA_MALFORMED_MESSAGE);
    EXPECT_FALSE(cursor.HasData());
    EXPECT_EQ(cursor.NextCase(), CursorDataSmb::NO_CACHE_DATA);

    // Reading at a position whose case does not fit, without NextCase.
    Install(cursor, truncated, 2);
    cursor.SetCurCasePos(1);
    double value = 0;
    std::int32_t missing = 0;
    EXPECT_EQ(cursor.GetNumericValue(0, value, missing), VEXA_MALFORMED_MESSAGE);
}

TEST(CursorMalformed, VariableOutsideTheCaseIsRefused) {
    CursorDataSmb cursor;
    auto numeric = CursorDataSmb::NewVarInfo();
    auto text = CursorDataSmb::NewVarInfo();
    text->type = 10;
    cursor.AddVarInfo(std::move(numeric));
    cursor.AddVarInfo(std::move(text));
    cursor.AddVarInfo(nullptr);
    cursor.GetObsIndex() = {0, 3};  // the string's second cell would be cell 4
    cursor.SetOneCaseSize(32);
    Install(cursor, kTwoCases, 2);
    double value = 0;
    std::int32_t missing = 0;
    EXPECT_EQ(cursor.GetNumericValue(0, value, missing), VEXA_OK);
    char buffer[10];
    EXPECT_EQ(cursor.GetStringValue(1, buffer, 10, missing), VEXA_MALFORMED_MESSAGE);

    cursor.GetObsIndex().pop_back();  // a record without an obs index
    EXPECT_EQ(cursor.GetStringValue(1, buffer, 10, missing), VEXA_MALFORMED_MESSAGE);
}

TEST(CursorBlock, SetCasePtrCopiesAndReplaces) {
    CursorDataSmb cursor;
    Describe(cursor);
    Bytes source = kTwoCases;
    Install(cursor, source, 2);
    source[6] = 0x00;  // the cursor holds its own copy
    double value = 0;
    std::int32_t missing = 0;
    ASSERT_EQ(cursor.GetNumericValue(0, value, missing), VEXA_OK);
    EXPECT_EQ(value, 42.0);

    cursor.SetCasePtr(nullptr, 32);
    EXPECT_EQ(cursor.GetCurCasePos(), -1);
    EXPECT_EQ(cursor.GetNumericValue(0, value, missing), CursorDataSmb::NO_CACHE_DATA);
}

TEST(CursorBlockReuse, OnlyAUsedUpBlockIsHandedBackAndSpareCapacityHoldsNoCases) {
    CursorDataSmb cursor;
    Describe(cursor);
    // Room for three cases, of which the received length covers two.
    codec::OwnedBuffer block = codec::OwnedBuffer::Allocate(kTwoCases.size() * 3 / 2);
    std::memcpy(block.data(), kTwoCases.data(), kTwoCases.size());
    void* const address = block.data();
    EXPECT_EQ(cursor.TakeCaseBlock(block, 3, 0, kTwoCases.size()), VEXA_MALFORMED_MESSAGE);
    ASSERT_EQ(cursor.TakeCaseBlock(block, 2, 0, kTwoCases.size()), VEXA_OK);

    // The first case is current as the block arrives.
    EXPECT_TRUE(cursor.TakeUsedBlock().empty());
    ASSERT_EQ(cursor.NextCase(), VEXA_OK);
    double value = 0;
    std::int32_t missing = 0;
    EXPECT_EQ(cursor.GetNumericValue(0, value, missing), VEXA_OK);
    EXPECT_TRUE(cursor.TakeUsedBlock().empty());
    ASSERT_EQ(cursor.NextCase(), CursorDataSmb::NO_CACHE_DATA);
    codec::OwnedBuffer used = cursor.TakeUsedBlock();
    EXPECT_EQ(used.data(), address);
    EXPECT_EQ(cursor.GetNumericValue(0, value, missing), CursorDataSmb::NO_CACHE_DATA);
}

// A received image's block is taken as it lies, its head before the cases:
// the values read are the cases' own, and the bounds count from the offset.
TEST(CursorBlockReuse, CasesAreReadWhereTheReceivedImagePutThem) {
    const Bytes head(60, 0xAB);
    Bytes image = head;
    image.insert(image.end(), kTwoCases.begin(), kTwoCases.end());
    const auto blockOf = [&image] {
        codec::OwnedBuffer block = codec::OwnedBuffer::Allocate(image.size());
        std::memcpy(block.data(), image.data(), image.size());
        return block;
    };

    CursorDataSmb cursor;
    Describe(cursor);
    codec::OwnedBuffer block = blockOf();
    EXPECT_EQ(cursor.TakeCaseBlock(block, 2, 0, kTwoCases.size(), image.size() + 1),
              VEXA_MALFORMED_MESSAGE);
    // From byte 61 only one and a half cases remain.
    EXPECT_EQ(cursor.TakeCaseBlock(block, 2, 0, SIZE_MAX, head.size() + 16),
              VEXA_MALFORMED_MESSAGE);
    EXPECT_FALSE(cursor.HasData());
    void* const address = block.data();
    ASSERT_EQ(cursor.TakeCaseBlock(block, 2, 67, kTwoCases.size(), head.size()), VEXA_OK);

    double value = 0;
    std::int32_t missing = -1;
    ASSERT_EQ(cursor.GetNumericValue(0, value, missing), VEXA_OK);
    EXPECT_EQ(value, 42.0);
    EXPECT_EQ(Read(cursor, 1, 10, missing), std::string("Anna      xx"));
    ASSERT_EQ(cursor.GetNumericValue(2, value, missing), VEXA_OK);
    EXPECT_EQ(missing, VarInfo::SYSTEM_MISSING);
    ASSERT_EQ(cursor.NextCase(), VEXA_OK);
    ASSERT_EQ(cursor.GetNumericValue(2, value, missing), VEXA_OK);
    EXPECT_EQ(value, 2.5);
    EXPECT_EQ(Read(cursor, 1, 10, missing), std::string("NA        xx"));
    EXPECT_EQ(missing, VarInfo::USER_MISSING);
    EXPECT_EQ(cursor.NextCase(), 67);
    EXPECT_EQ(cursor.TakeUsedBlock().data(), address);

    // A case claimed beyond the bytes after the offset is not walked into.
    block = blockOf();
    cursor.SetCasePtr(nullptr, 0);
    ASSERT_EQ(cursor.TakeCaseBlock(block, 1, 0, SIZE_MAX, image.size() - 32), VEXA_OK);
    cursor.SetReceivedCases(2);
    EXPECT_EQ(cursor.NextCase(), VEXA_MALFORMED_MESSAGE);
}

// Reads of the current case follow every change that moves it: the position,
// the received count, the case size and the obs index, set at any time.
TEST(CursorWalk, ValuesFollowEveryChangeOfPositionCountSizeAndIndex) {
    CursorDataSmb cursor;
    Describe(cursor);
    Install(cursor, kTwoCases, 2);
    double value = 0;
    std::int32_t missing = -1;
    ASSERT_EQ(cursor.GetNumericValue(2, value, missing), VEXA_OK);
    EXPECT_EQ(missing, VarInfo::SYSTEM_MISSING);
    cursor.SetCurCasePos(1);
    ASSERT_EQ(cursor.GetNumericValue(2, value, missing), VEXA_OK);
    EXPECT_EQ(value, 2.5);
    EXPECT_EQ(missing, VarInfo::NOT_MISSING);
    ASSERT_EQ(cursor.GetNumericValue(0, value, missing), VEXA_OK);
    EXPECT_TRUE(std::signbit(value));
    EXPECT_EQ(missing, VarInfo::NOT_MISSING);  // -0.0 is not the declared 0.0

    // One case claimed: the walk ends after it.
    cursor.SetCurCasePos(0);
    cursor.SetReceivedCases(1);
    EXPECT_EQ(cursor.NextCase(), CursorDataSmb::NO_CACHE_DATA);
    EXPECT_EQ(cursor.GetNumericValue(0, value, missing), CursorDataSmb::NO_CACHE_DATA);

    // The same bytes as four 16-byte cases: the third starts at case 1.
    Install(cursor, kTwoCases, 4);
    ASSERT_EQ(cursor.SetOneCaseSize(16), VEXA_OK);
    EXPECT_EQ(cursor.NextCase(), VEXA_OK);
    EXPECT_EQ(cursor.NextCase(), VEXA_OK);
    ASSERT_EQ(cursor.GetNumericValue(0, value, missing), VEXA_OK);
    EXPECT_TRUE(std::signbit(value));
    EXPECT_EQ(cursor.NextCase(), VEXA_OK);
    // The last numeric's cell now lies past the 2-cell case.
    EXPECT_EQ(cursor.GetNumericValue(2, value, missing), VEXA_MALFORMED_MESSAGE);

    // An index edited after the block arrived is read as it stands.
    ASSERT_EQ(cursor.SetOneCaseSize(32), VEXA_OK);
    cursor.SetCurCasePos(1);
    cursor.GetObsIndex()[0] = 3;
    ASSERT_EQ(cursor.GetNumericValue(0, value, missing), VEXA_OK);
    EXPECT_EQ(value, 2.5);
    // Four cases claimed, two whole: the third is refused.
    EXPECT_EQ(cursor.NextCase(), VEXA_MALFORMED_MESSAGE);
}
