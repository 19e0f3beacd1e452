#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "codec/datatype.h"
#include "imagebytes.h"
#include "runtime/statuscodes.h"

using codectest::Bytes;
using codectest::ExactBuffer;
using codectest::ImageBuilder;
using codectest::ToBytes;

namespace {

template <class Block>
Bytes Encode(Block& block) {
    std::int32_t length = -1;
    void* image = block.ConstructData(length);
    EXPECT_EQ(length, block.DataLength());
    return ToBytes(image, static_cast<std::size_t>(length));
}

template <class Block>
std::int32_t Parse(Block& block, const Bytes& image, std::int32_t& consumed) {
    ExactBuffer exact(image);
    return block.ParseData(exact.data(), exact.size(), consumed);
}

dataSet Record(const std::string& name, std::int32_t row, std::int32_t column, std::int32_t type,
               double number, const std::string& text) {
    dataSet record;
    record.datasetName = name;
    record.caseIndex = row;
    record.varIndex = column;
    record.valueType = type;
    record.numValue = number;
    record.strValue = text;
    return record;
}

}  // namespace

TEST(BlockImages, EmptyBlocksAreAZeroCount) {
    const Bytes zero = {0x00, 0x00, 0x00, 0x00};
    LongData longs;
    DoubleData doubles;
    StringData strings;
    StructData records;
    EXPECT_EQ(Encode(longs), zero);
    EXPECT_EQ(Encode(doubles), zero);
    EXPECT_EQ(Encode(strings), zero);
    EXPECT_EQ(Encode(records), zero);
    EXPECT_EQ(longs.DataLength(), 4);
}

TEST(BlockImages, LongsAreLittleEndianTwosComplement) {
    LongData block;
    block.SetValue(1);
    block.SetValue(-2);
    const Bytes expected = {0x02, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0xFE, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(Encode(block), expected);
}

TEST(BlockImages, DoubleStartsRightAfterTheCount) {
    DoubleData block;
    block.SetValue(1.0);
    const Bytes expected = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF0, 0x3F};
    EXPECT_EQ(Encode(block), expected);
}

TEST(BlockImages, StringsCarryLengthAndNoTerminator) {
    StringData block;
    block.SetValue("ab");
    block.SetValue(std::string());
    const Bytes expected = {0x02, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00,
                            0x00, 0x61, 0x62, 0x00, 0x00, 0x00, 0x00};
    EXPECT_EQ(Encode(block), expected);

    StringData parsed;
    std::int32_t consumed = -1;
    ASSERT_EQ(Parse(parsed, expected, consumed), VEXA_OK);
    EXPECT_EQ(consumed, 14);
    EXPECT_EQ(parsed.GetData(), (std::vector<std::string>{"ab", ""}));
}

TEST(BlockImages, StringWithZeroByteKeepsItsFullLength) {
    StringData block;
    ASSERT_EQ(block.SetValue("a\0b", 3), VEXA_OK);
    const Bytes image = Encode(block);
    ASSERT_EQ(image.size(), 11u);
    StringData parsed;
    std::int32_t consumed = 0;
    ASSERT_EQ(Parse(parsed, image, consumed), VEXA_OK);
    EXPECT_EQ(parsed[0], std::string("a\0b", 3));
}

TEST(BlockImages, StructRecordFieldsInOrder) {
    StructData block;
    block.SetValue(Record("d", 3, 1, 0, 2.5, ""));
    block.SetValue(Record("", -1, 2, 1, 0.0, "xy"));
    const Bytes expected = {
        0x02, 0x00, 0x00, 0x00,                          // N
        0x01, 0x00, 0x00, 0x00, 'd',                     // datasetName
        0x03, 0x00, 0x00, 0x00,                          // caseIndex
        0x01, 0x00, 0x00, 0x00,                          // varIndex
        0x00, 0x00, 0x00, 0x00,                          // valueType
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x04, 0x40,  // 2.5
        0x00, 0x00, 0x00, 0x00,                          // strValue
        0x00, 0x00, 0x00, 0x00,                          // second: empty datasetName
        0xFF, 0xFF, 0xFF, 0xFF,                          // caseIndex -1
        0x02, 0x00, 0x00, 0x00,                          // varIndex
        0x01, 0x00, 0x00, 0x00,                          // valueType string
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // 0.0
        0x02, 0x00, 0x00, 0x00, 'x',  'y',               // strValue
    };
    const Bytes image = Encode(block);
    EXPECT_EQ(image, expected);
    EXPECT_EQ(image.size(), 4u + 29u + 30u);

    StructData parsed;
    std::int32_t consumed = 0;
    ASSERT_EQ(Parse(parsed, image, consumed), VEXA_OK);
    EXPECT_EQ(consumed, 63);
    EXPECT_EQ(parsed.GetData(), block.GetData());
}

TEST(BlockParsing, AppendsAfterHeldValues) {
    LongData block;
    block.SetValue(9);
    const Bytes image = {0x02, 0x00, 0x00, 0x00, 0x07, 0x00, 0x00, 0x00, 0x08, 0x00, 0x00, 0x00};
    std::int32_t consumed = 0;
    ASSERT_EQ(Parse(block, image, consumed), VEXA_OK);
    EXPECT_EQ(block.GetData(), (std::vector<std::int32_t>{9, 7, 8}));
    EXPECT_EQ(consumed, 12);
}

TEST(BlockParsing, ZeroOrNegativeCountReadsAsEmptyAndConsumesFour) {
    for (const Bytes& image :
         {Bytes{0x00, 0x00, 0x00, 0x00, 0xAA}, Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0xAA}}) {
        StringData block;
        block.SetValue("kept");
        std::int32_t consumed = 0;
        ASSERT_EQ(Parse(block, image, consumed), VEXA_OK);
        EXPECT_EQ(consumed, 4);
        EXPECT_EQ(block.Size(), 1);
    }
}

TEST(BlockParsing, NullImageChangesNothing) {
    DoubleData block;
    block.SetValue(1.5);
    std::int32_t consumed = 77;
    EXPECT_EQ(block.ParseData(nullptr, 100, consumed), VEXA_OK);
    EXPECT_EQ(consumed, 77);
    EXPECT_EQ(block.Size(), 1);
}

TEST(BlockParsing, ImagesRunningPastTheViewAreRejectedUntouched) {
    struct Case {
        const char* what;
        Bytes image;
    };
    const Case cases[] = {
        {"count shorter than 4 bytes", {0x01, 0x00}},
        {"count beyond the values", ImageBuilder().i32(3).i32(1).i32(2).bytes()},
        {"huge count", ImageBuilder().i32(0x7FFFFFFF).i32(1).bytes()},
        {"string length beyond the view", ImageBuilder().i32(1).i32(5).raw("abc").bytes()},
        {"negative string length", ImageBuilder().i32(1).i32(-1).raw("abcd").bytes()},
        {"second string cut", ImageBuilder().i32(2).str("ok").i32(4).raw("a").bytes()},
    };
    for (const Case& c : cases) {
        StringData block;
        block.SetValue("held");
        std::int32_t consumed = 55;
        EXPECT_EQ(Parse(block, c.image, consumed), VEXA_MALFORMED_MESSAGE) << c.what;
        EXPECT_EQ(consumed, 55) << c.what;
        EXPECT_EQ(block.GetData(), std::vector<std::string>{"held"}) << c.what;
    }

    StructData records;
    std::int32_t consumed = 0;
    const Bytes cut_in_double = ImageBuilder().i32(1).str("d").i32(3).i32(1).i32(0).i32(0).bytes();
    EXPECT_EQ(Parse(records, cut_in_double, consumed), VEXA_MALFORMED_MESSAGE);
    EXPECT_EQ(records.Size(), 0);

    DoubleData doubles;
    EXPECT_EQ(Parse(doubles, ImageBuilder().i32(1).i32(0).bytes(), consumed),
              VEXA_MALFORMED_MESSAGE);
}

TEST(BlockBuffers, SecondConstructReflectsNewValuesAndReleasesTheFirst) {
    LongData block;
    block.SetValue(1);
    std::int32_t first_length = 0;
    block.ConstructData(first_length);
    block.SetValue(2);
    std::int32_t second_length = 0;
    void* second = block.ConstructData(second_length);
    EXPECT_EQ(first_length, 8);
    const Bytes expected = {0x02, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00};
    EXPECT_EQ(ToBytes(second, static_cast<std::size_t>(second_length)), expected);
}

TEST(BlockBuffers, CopiesNeverShareTheWireBuffer) {
    auto source = std::make_unique<StringData>();
    source->SetValue("abc");
    std::int32_t length = 0;
    source->ConstructData(length);
    StringData copy(*source);
    StringData assigned;
    assigned = *source;
    source.reset();  // frees the source's buffer; the copies must not touch it

    const Bytes expected = {0x01, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 'a', 'b', 'c'};
    EXPECT_EQ(Encode(copy), expected);
    EXPECT_EQ(Encode(assigned), expected);
}

TEST(BlockValues, SettersAndAccessors) {
    LongData longs;
    longs.SetValue(1);
    longs.AppendValue({2, 3});
    longs.AppendValue(longs.Values());
    EXPECT_EQ(longs.GetData(), (std::vector<std::int32_t>{1, 2, 3, 1, 2, 3}));
    longs[1] = 20;
    EXPECT_EQ(longs[1], 20);
    EXPECT_THROW(longs[6], std::out_of_range);
    EXPECT_THROW(longs[-1], std::out_of_range);
    longs.CleanUp();
    EXPECT_EQ(longs.Size(), 0);

    StringData strings;
    strings.SetValue(static_cast<const char*>(nullptr));
    EXPECT_EQ(strings.SetValue("abc", -1), VEXA_BAD_ARGUMENT);
    EXPECT_EQ(strings.SetValue(nullptr, 2), VEXA_BAD_ARGUMENT);
    EXPECT_EQ(strings.Size(), 0);
    EXPECT_EQ(strings.GetSingleString(), "");
    strings.SetValue("one");
    strings.SetValue("two");
    strings.SetSingleString("only");
    EXPECT_EQ(strings.GetData(), std::vector<std::string>{"only"});
    EXPECT_EQ(strings.GetSingleString(), "only");

    StructData records;
    records.SetValue(Record("a", 0, 0, 0, 1.0, ""));
    records.AssignValue({Record("b", 1, 1, 1, 0.0, "s"), Record("c", 2, 2, 0, 3.0, "")});
    ASSERT_EQ(records.Size(), 2);
    EXPECT_EQ(records[0].datasetName, "b");
}
