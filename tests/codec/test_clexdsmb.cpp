#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <string_view>

#include "codec/clexdsmb.h"
#include "imagebytes.h"
#include "runtime/statuscodes.h"

using codectest::Bytes;
using codectest::ExactBuffer;
using codectest::ImageBuilder;
using codectest::ToBytes;

namespace {

Bytes Encode(CleXDSmb& message) {
    EXPECT_EQ(message.ContructSendData(), VEXA_OK);
    std::int32_t length = 0;
    const void* image = message.GetSendBuf(length);
    return ToBytes(image, static_cast<std::size_t>(length));
}

std::int32_t Parse(CleXDSmb& message, const Bytes& image) {
    ExactBuffer exact(image);
    return message.ParseBuf(exact.data(), exact.size());
}

void* MallocCopy(const std::string& text) {
    void* data = std::malloc(text.size());
    std::memcpy(data, text.data(), text.size());
    return data;
}

std::string VoidText(const CleXDSmb& message) {
    std::int32_t length = -1;
    const void* data = message.GetVoidData(length);
    return length > 0 ? std::string(static_cast<const char*>(data), length) : std::string();
}

const Bytes kEmptyImage = {
    0x34, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00,  // T, action, error
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,                          // long, double blocks
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // string, struct blocks
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // NL, ND
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // NS, B
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // W, V
};

// Action 9, error 3, long {1}, string {"x"}, one double array {2.0}, one
// string array {"y"}, binary "z", wide "A", void "uv".
const Bytes kEveryField = {
    0x57, 0x00, 0x00, 0x00, 0x09, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00,  // T=87
    0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00,                          // long block
    0x00, 0x00, 0x00, 0x00,                                                  // double block
    0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 'x',                     // string block
    0x00, 0x00, 0x00, 0x00,                                                  // struct block
    0x00, 0x00, 0x00, 0x00,                                                  // NL
    0x01, 0x00, 0x00, 0x00,                                                  // ND
    0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x40,  //
    0x01, 0x00, 0x00, 0x00,                                                  // NS
    0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 'y',                     //
    0x01, 0x00, 0x00, 0x00, 'z',                                             // B
    0x01, 0x00, 0x00, 0x00, 0x41, 0x00,                                      // W
    0x02, 0x00, 0x00, 0x00, 'u',  'v',                                       // V
};

void FillEveryField(CleXDSmb& message) {
    message.SetCommandAction(9);
    message.SetErrorCode(3);
    message.SetLong(1);
    message.SetString("x");
    DoubleData doubles;
    doubles.SetValue(2.0);
    message.SetDoubleArray(doubles);
    StringData strings;
    strings.SetValue("y");
    message.SetStringArray(strings);
    message.SetBinaryString("z", 1);
    message.SetwString(u"A");
    message.SetVoidData(MallocCopy("uv"), 2);
}

}  // namespace

TEST(MessageImage, FreshMessageIs52BytesWithActionMinusOne) {
    CleXDSmb message;
    EXPECT_EQ(message.GetCommandAction(), -1);
    EXPECT_EQ(Encode(message), kEmptyImage);
    EXPECT_EQ(message.GetSendLength(), 52);
}

TEST(MessageImage, ActionSevenAloneIsHeaderAndTenZeros) {
    CleXDSmb message;
    message.SetCommandAction(7);
    Bytes expected = {0x34, 0x00, 0x00, 0x00, 0x07, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
    expected.resize(52, 0x00);
    EXPECT_EQ(Encode(message), expected);
}

TEST(MessageImage, LongAndStringGive62Bytes) {
    CleXDSmb message;
    message.SetCommandAction(7);
    message.SetLong(5);
    message.SetString(std::string("ab"));
    const Bytes expected = {
        0x3E, 0x00, 0x00, 0x00, 0x07, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // T=62
        0x01, 0x00, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00,                          // long block
        0x00, 0x00, 0x00, 0x00,                                                  // double block
        0x01, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x61, 0x62,              // string block
        0x00, 0x00, 0x00, 0x00,                                                  // struct block
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // NL ND NS
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // B W V
    };
    EXPECT_EQ(Encode(message), expected);
}

TEST(MessageImage, LongArraysFollowTheStructureBlock) {
    CleXDSmb message;
    message.SetCommandAction(1);
    dataSet cell;
    cell.datasetName = "d";
    cell.caseIndex = 3;
    cell.varIndex = 1;
    cell.valueType = 0;
    cell.numValue = 2.5;
    message.SetStruct(cell);
    LongData first;
    first.SetValue(4);
    LongData second;
    message.SetLongArray(first);
    message.SetLongArray(second);
    const Bytes expected = {
        0x5D, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // T=93
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // long double
                                                                                 // string
        0x01, 0x00, 0x00, 0x00,                                                  // struct block N=1
        0x01, 0x00, 0x00, 0x00, 'd', 0x03, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x04, 0x40,              //
        0x00, 0x00, 0x00, 0x00,                                                  // empty strValue
        0x02, 0x00, 0x00, 0x00,                                                  // NL=2
        0x01, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00,                          // {4}
        0x00, 0x00, 0x00, 0x00,                                                  // {}
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,                          // ND NS
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // B W V
    };
    EXPECT_EQ(Encode(message), expected);
}

// Cell records appended in wire form give the image of the same records set
// one by one, behind any set individually, and keep their room when taken.
TEST(MessageImage, AppendedCellRecordsGiveTheImageOfRecordObjects) {
    const std::string zeroText("text with\0zero", 14);
    auto record = [](const char* name, int row, int var, int type, double number,
                     const std::string& text) {
        dataSet cell;
        cell.datasetName = name;
        cell.caseIndex = row;
        cell.varIndex = var;
        cell.valueType = type;
        cell.numValue = number;
        cell.strValue = text;
        return cell;
    };
    CleXDSmb expected;
    expected.SetCommandAction(11);
    expected.SetStruct(record("first", 9, 9, 0, 1.0, ""));
    expected.SetStruct(record("d", 3, 1, 0, 2.5, ""));
    expected.SetStruct(record("", -1, 70000, 1, 0.0, zeroText));
    expected.SetStruct(record("longer dataset name", 2147483647, 0, 0, -0.0, ""));
    expected.SetLong(4);

    CleXDSmb message;
    message.SetCommandAction(11);
    message.SetStruct(record("first", 9, 9, 0, 1.0, ""));
    codec::CellRecords records;
    records.AppendNumeric("d", 3, 1, 2.5);
    records.AppendString("", -1, 70000, zeroText);
    records.AppendNumeric("longer dataset name", 2147483647, 0, -0.0);
    EXPECT_EQ(records.count(), 3u);
    message.SetStructRecords(std::move(records));
    EXPECT_TRUE(records.empty());
    message.SetLong(4);
    EXPECT_EQ(Encode(message), Encode(expected));

    CleXDSmb parsed;
    ASSERT_EQ(Parse(parsed, Encode(message)), VEXA_OK);
    ASSERT_EQ(parsed.GetStructDataRef().Size(), 4);
    EXPECT_EQ(parsed.GetStructDataRef()[2], record("", -1, 70000, 1, 0.0, zeroText));

    message.CleanUp();
    codec::CellRecords returned = message.TakeStructRecords();
    EXPECT_TRUE(returned.empty());
    EXPECT_EQ(returned.size(), 0u);
    returned.AppendNumeric("d", 0, 0, 1.0);
    EXPECT_EQ(returned.size(), 29u);
}

// A receiver that keeps cell records as wire records sees the same records,
// whole images and images appended to held values alike.
TEST(MessageParse, KeptCellRecordsAreTheRecordsOfTheImage) {
    CleXDSmb sent;
    sent.SetCommandAction(5);
    codec::CellRecords records;
    records.AppendNumeric("set", 7, 2, 0.5);
    records.AppendString("other", 0, 1, std::string("a\0b", 3));
    sent.SetStructRecords(std::move(records));
    sent.SetLong(9);
    const Bytes image = Encode(sent);
    auto walk = [](const CleXDSmb& message) {
        std::vector<std::string> seen;
        message.ForEachCellRecord([&seen](const codec::CellRecord& r) {
            seen.push_back(std::string(r.dataset) + "|" + std::to_string(r.row) + "|" +
                           std::to_string(r.variable) + "|" + std::to_string(r.type) + "|" +
                           std::to_string(r.number) + "|" + std::string(r.text));
            return true;
        });
        return seen;
    };
    const std::vector<std::string> expected = {"set|7|2|0|0.500000|",
                                               std::string("other|0|1|1|0.000000|a\0b", 24)};
    CleXDSmb objects;
    ASSERT_EQ(Parse(objects, image), VEXA_OK);
    EXPECT_EQ(objects.GetStructDataRef().Size(), 2);
    EXPECT_EQ(walk(objects), expected);

    CleXDSmb kept;
    kept.KeepStructRecords(true);
    ASSERT_EQ(Parse(kept, image), VEXA_OK);
    EXPECT_EQ(kept.GetStructDataRef().Size(), 0);
    EXPECT_EQ(walk(kept), expected);
    EXPECT_EQ(kept.GetLongData().GetData(), std::vector<std::int32_t>{9});
    // Re-encoded, the kept records give the image they came from.
    EXPECT_EQ(Encode(kept), image);

    // Appended behind values already held: the held record comes first.
    CleXDSmb holding;
    holding.KeepStructRecords(true);
    dataSet held;
    held.datasetName = "held";
    holding.SetStruct(held);
    ASSERT_EQ(Parse(holding, image), VEXA_OK);
    std::vector<std::string> all = {"held|0|0|0|0.000000|"};
    all.insert(all.end(), expected.begin(), expected.end());
    EXPECT_EQ(walk(holding), all);

    // A visitor that stops ends the walk.
    int visits = 0;
    EXPECT_FALSE(
        kept.ForEachCellRecord([&visits](const codec::CellRecord&) { return ++visits < 1; }));
    EXPECT_EQ(visits, 1);
}

// A record is read only when all of it lies in the view: every cut of a
// record, and lengths that are negative or run past the end, fail without
// consuming anything; the bytes after a record are left for the next read.
TEST(MessageParse, ACellRecordIsReadOnlyWhenItFitsTheView) {
    codec::CellRecords records;
    records.AppendString("set", -4, 70000, std::string("t\0x", 3));
    Bytes bytes = ToBytes(records.bytes(), records.size());
    ASSERT_EQ(bytes.size(), 28u + 3u + 3u);
    bytes.push_back(0x5A);  // a byte of whatever follows
    codec::CellRecord record;
    for (std::size_t cut = 0; cut + 1 < bytes.size(); ++cut) {
        codec::ByteReader reader(bytes.data(), cut);
        EXPECT_FALSE(codec::CellRecords::Read(reader, record)) << cut;
        EXPECT_EQ(reader.consumed(), 0u) << cut;
    }
    codec::ByteReader whole(bytes.data(), bytes.size());
    ASSERT_TRUE(codec::CellRecords::Read(whole, record));
    EXPECT_EQ(whole.consumed(), bytes.size() - 1);
    EXPECT_EQ(record.dataset, "set");
    EXPECT_EQ(record.row, -4);
    EXPECT_EQ(record.variable, 70000);
    EXPECT_EQ(record.type, codec::CellRecords::kString);
    EXPECT_EQ(record.number, 0.0);
    EXPECT_EQ(record.text, std::string_view("t\0x", 3));

    // Name length at 0, text length at 27: negative, or one byte too long.
    for (std::size_t at : {0u, 27u}) {
        for (std::uint32_t length : {0xFFFFFFFFu, 0x80000000u, 4u}) {
            Bytes bad = bytes;
            bad.pop_back();
            for (int i = 0; i < 4; ++i) bad[at + i] = static_cast<unsigned char>(length >> 8 * i);
            codec::ByteReader reader(bad.data(), bad.size());
            EXPECT_FALSE(codec::CellRecords::Read(reader, record)) << at << " " << length;
            EXPECT_EQ(reader.consumed(), 0u);
        }
    }
}

// Many records grow the one buffer; every byte stays where it was written.
TEST(MessageImage, ManyAppendedRecordsMatchTheirObjects) {
    CleXDSmb expected;
    codec::CellRecords records;
    for (int i = 0; i < 5000; ++i) {
        dataSet cell;
        cell.datasetName = i % 2 ? "odd" : "even set";
        cell.caseIndex = i;
        cell.varIndex = i % 7;
        cell.valueType = i % 3 == 0;
        cell.numValue = cell.valueType ? 0.0 : i * 0.25;
        cell.strValue =
            cell.valueType ? std::string(static_cast<std::size_t>(i % 40), 'a' + i % 26) : "";
        expected.SetStruct(cell);
        if (cell.valueType) {
            records.AppendString(cell.datasetName, i, cell.varIndex, cell.strValue);
        } else {
            records.AppendNumeric(cell.datasetName, i, cell.varIndex, cell.numValue);
        }
    }
    CleXDSmb message;
    message.SetStructRecords(std::move(records));
    EXPECT_EQ(Encode(message), Encode(expected));
}

TEST(MessageImage, EveryFieldInOrder) {
    CleXDSmb message;
    FillEveryField(message);
    EXPECT_EQ(Encode(message), kEveryField);

    CleXDSmb parsed;
    ASSERT_EQ(Parse(parsed, kEveryField), VEXA_OK);
    EXPECT_EQ(parsed.GetSendLength(), 87);
    EXPECT_EQ(parsed.GetCommandAction(), 9);
    EXPECT_EQ(parsed.GetErrorCode(), 3);
    EXPECT_EQ(parsed.GetLongData().GetData(), std::vector<std::int32_t>{1});
    EXPECT_EQ(parsed.GetSingleString(), "x");
    ASSERT_EQ(parsed.GetDoubleArray().size(), 1u);
    EXPECT_EQ(parsed.GetDoubleArray()[0].GetData(), std::vector<double>{2.0});
    ASSERT_EQ(parsed.GetStringArray().size(), 1u);
    EXPECT_EQ(parsed.GetStringArray()[0].GetSingleString(), "y");
    EXPECT_EQ(VoidText(parsed), "uv");
    EXPECT_EQ(Encode(parsed), kEveryField);
}

TEST(MessageImage, WideStringTravelsWithoutItsTerminator) {
    CleXDSmb message;
    message.SetwString(u"A");
    const Bytes image = Encode(message);
    ASSERT_EQ(image.size(), 54u);
    const Bytes tail(image.end() - 10, image.end());
    EXPECT_EQ(tail, (Bytes{0x01, 0x00, 0x00, 0x00, 0x41, 0x00, 0x00, 0x00, 0x00, 0x00}));

    CleXDSmb parsed;
    ASSERT_EQ(Parse(parsed, image), VEXA_OK);
    const char16_t* text = parsed.GetwStringData();
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text[0], u'A');
    EXPECT_EQ(text[1], u'\0');
    EXPECT_EQ(parsed.GetwStringLength(), 1);
}

TEST(MessageImage, NonAsciiWideUnitsAreLittleEndian) {
    CleXDSmb message;
    message.SetwString(u"\u00e9\u4e2d");
    const Bytes image = Encode(message);
    const Bytes tail(image.end() - 12, image.end() - 4);
    EXPECT_EQ(tail, (Bytes{0x02, 0x00, 0x00, 0x00, 0xE9, 0x00, 0x2D, 0x4E}));
    CleXDSmb parsed;
    ASSERT_EQ(Parse(parsed, image), VEXA_OK);
    EXPECT_EQ(std::u16string(parsed.GetwStringData()), u"\u00e9\u4e2d");
}

TEST(MessageImage, BinaryStringGainsATrailingZeroOnParse) {
    CleXDSmb message;
    ASSERT_EQ(message.SetBinaryString("\x01\x00\x02", 3), VEXA_OK);
    const Bytes image = Encode(message);
    const Bytes tail(image.end() - 15, image.end() - 8);
    EXPECT_EQ(tail, (Bytes{0x03, 0x00, 0x00, 0x00, 0x01, 0x00, 0x02}));

    CleXDSmb parsed;
    ASSERT_EQ(Parse(parsed, image), VEXA_OK);
    EXPECT_EQ(parsed.GetBinaryLength(), 3);
    std::int32_t length = 0;
    std::unique_ptr<char[]> taken(parsed.GetBinaryData(&length));
    ASSERT_NE(taken, nullptr);
    EXPECT_EQ(length, 3);
    EXPECT_EQ(Bytes(taken.get(), taken.get() + 4), (Bytes{0x01, 0x00, 0x02, 0x00}));
    // Taken means gone: the message neither sends nor frees it any more.
    EXPECT_EQ(parsed.GetBinaryData(), nullptr);
    EXPECT_EQ(Encode(parsed).size(), 52u);
}

TEST(MessageImage, VoidLengthNotPositiveIsSentAsZero) {
    for (std::int32_t length : {0, -5}) {
        CleXDSmb message;
        message.SetVoidData(MallocCopy("abcd"), length);
        EXPECT_EQ(Encode(message), kEmptyImage);
        std::int32_t held = -1;
        message.GetVoidData(held);
        EXPECT_EQ(held, 0);
    }
}

TEST(MessageImage, EncodeIntoMatchesTheSendBufferAndChecksCapacity) {
    CleXDSmb message;
    FillEveryField(message);
    std::size_t size = 0;
    ASSERT_EQ(message.EncodedSize(size), VEXA_OK);
    ASSERT_EQ(size, kEveryField.size());
    Bytes buffer(size + 8, 0xEE);
    EXPECT_EQ(message.EncodeInto(buffer.data(), size - 1), VEXA_BAD_ARGUMENT);
    ASSERT_EQ(message.EncodeInto(buffer.data(), buffer.size()), VEXA_OK);
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + size), kEveryField);
    EXPECT_EQ(buffer[size], 0xEE);
    EXPECT_EQ(message.EncodeInto(nullptr, size), VEXA_BAD_ARGUMENT);
}

// Rebuilds into a kept buffer must give exactly the image a fresh message
// gives, with nothing of a longer earlier image behind it.
TEST(MessageImage, RebuiltImagesMatchFreshOnesWhateverTheBufferHeld) {
    const std::string bulk(4000, 'q');
    auto fill = [&](CleXDSmb& message, int step) {
        message.SetCommandAction(9);
        message.SetErrorCode(3);
        message.SetLong(step);
        if (step == 2)
            message.SetVoidData(MallocCopy(bulk), static_cast<std::int32_t>(bulk.size()));
    };
    CleXDSmb kept;
    FillEveryField(kept);
    ASSERT_EQ(Encode(kept), kEveryField);
    std::int32_t length = 0;
    const void* first = kept.GetSendBuf(length);
    for (int step : {1, 2, 3}) {
        kept.CleanUpAllData();
        kept.SetwString(nullptr);
        fill(kept, step);
        CleXDSmb fresh;
        fill(fresh, step);
        const Bytes image = Encode(kept);
        EXPECT_EQ(image, Encode(fresh)) << step;
        EXPECT_EQ(image.size(), step == 2 ? 56 + bulk.size() : 56u) << step;
        // A smaller image is built where the last one was.
        if (step == 1) {
            EXPECT_EQ(kept.GetSendBuf(length), first);
        }
    }
}

TEST(MessageParse, AppendsToHeldBlocksAndArrays) {
    CleXDSmb message;
    message.SetLong(1);
    message.SetString("a");
    LongData held;
    held.SetValue(5);
    message.SetLongArray(held);
    message.SetwString(u"Q");

    CleXDSmb reply;
    reply.SetCommandAction(4);
    reply.SetErrorCode(10);
    reply.SetLong(2);
    reply.SetString("b");
    LongData fresh;
    fresh.SetValue(6);
    reply.SetLongArray(fresh);
    ASSERT_EQ(Parse(message, Encode(reply)), VEXA_OK);

    EXPECT_EQ(message.GetCommandAction(), 4);
    EXPECT_EQ(message.GetErrorCode(), 10);
    EXPECT_EQ(message.GetLongData().GetData(), (std::vector<std::int32_t>{1, 2}));
    EXPECT_EQ(message.GetStringData().GetData(), (std::vector<std::string>{"a", "b"}));
    ASSERT_EQ(message.GetLongArrayRef().size(), 2u);
    EXPECT_EQ(message.GetLongArrayRef()[0][0], 5);
    EXPECT_EQ(message.GetLongArrayRef()[1][0], 6);
    // A reply without a wide string releases the one held.
    EXPECT_EQ(message.GetwStringData(), nullptr);
}

TEST(MessageParse, ReadsOnlyTheImageWhenTheBufferHoldsMore) {
    Bytes buffer = kEveryField;
    buffer.insert(buffer.end(), {0x01, 0x02, 0x03});
    CleXDSmb parsed;
    ASSERT_EQ(Parse(parsed, buffer), VEXA_OK);
    EXPECT_EQ(parsed.GetSendLength(), 87);
    EXPECT_EQ(VoidText(parsed), "uv");
}

TEST(MessageParse, PeekTotalSizeReadsTheFirstField) {
    std::int32_t total = -1;
    EXPECT_EQ(CleXDSmb::PeekTotalSize(kEveryField.data(), 4, total), VEXA_OK);
    EXPECT_EQ(total, 87);
    total = -1;
    EXPECT_EQ(CleXDSmb::PeekTotalSize(kEveryField.data(), 3, total), VEXA_MALFORMED_MESSAGE);
    const Bytes small = ImageBuilder().i32(51).bytes();
    EXPECT_EQ(CleXDSmb::PeekTotalSize(small.data(), small.size(), total), VEXA_MALFORMED_MESSAGE);
    const Bytes negative = ImageBuilder().i32(-52).bytes();
    EXPECT_EQ(CleXDSmb::PeekTotalSize(negative.data(), negative.size(), total),
              VEXA_MALFORMED_MESSAGE);
    EXPECT_EQ(total, -1);
}

TEST(MessageLifecycle, NullStringAddsNothing) {
    CleXDSmb message;
    message.SetString(static_cast<const char*>(nullptr));
    EXPECT_EQ(message.GetStringData().Size(), 0);
    EXPECT_EQ(message.SetString(nullptr, 3), VEXA_BAD_ARGUMENT);
    EXPECT_EQ(message.SetString("abc", -1), VEXA_BAD_ARGUMENT);
    ASSERT_EQ(message.SetString("a\0c", 3), VEXA_OK);
    EXPECT_EQ(message.GetSingleString(), std::string("a\0c", 3));
}

TEST(MessageLifecycle, CleanUpAfterSendKeepsOnlyTheHeader) {
    CleXDSmb message;
    FillEveryField(message);
    message.ContructSendData();
    message.CleanUp();
    std::int32_t length = -1;
    EXPECT_EQ(message.GetSendBuf(length), nullptr);
    EXPECT_EQ(length, 0);
    EXPECT_EQ(message.GetSendLength(), 0);
    EXPECT_EQ(message.GetwStringData(), nullptr);
    EXPECT_EQ(message.GetBinaryData(), nullptr);
    EXPECT_EQ(message.GetVoidData(length), nullptr);
    EXPECT_EQ(message.GetCommandAction(), 9);
    EXPECT_EQ(message.GetErrorCode(), 3);
    Bytes expected = {0x34, 0x00, 0x00, 0x00, 0x09, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00};
    expected.resize(52, 0x00);
    EXPECT_EQ(Encode(message), expected);
}

TEST(MessageLifecycle, CleanUpAllDataKeepsWideStringAndSendBuffer) {
    CleXDSmb message;
    FillEveryField(message);
    message.ContructSendData();
    message.CleanUpAllData();
    std::int32_t length = 0;
    EXPECT_NE(message.GetSendBuf(length), nullptr);
    EXPECT_EQ(length, 87);
    EXPECT_NE(message.GetwStringData(), nullptr);
    EXPECT_EQ(message.GetLongData().Size(), 0);
    EXPECT_TRUE(message.GetDoubleArrayRef().empty());
    EXPECT_EQ(message.GetVoidData(length), nullptr);
    EXPECT_EQ(message.GetBinaryData(), nullptr);
}

TEST(MessageVoidData, TakenOverReplacedAndReleased) {
    CleXDSmb message;
    void* first = MallocCopy("first");
    message.SetVoidData(first, 5);
    message.SetVoidData(first, 5);  // the same pointer again must not be freed
    EXPECT_EQ(VoidText(message), "first");
    message.SetVoidData(MallocCopy("second"), 6);  // frees "first"
    EXPECT_EQ(VoidText(message), "second");

    std::int32_t length = 0;
    void* released = message.ReleaseVoidData(length);
    EXPECT_EQ(length, 6);
    EXPECT_EQ(message.GetVoidData(length), nullptr);
    EXPECT_EQ(length, 0);
    std::free(released);
}

TEST(MessageVoidData, SavedPiecesStayWithinTheAllocatedSize) {
    CleXDSmb message;
    ASSERT_EQ(message.AllocVoidData(6), VEXA_OK);
    EXPECT_EQ(VoidText(message), "");
    EXPECT_EQ(message.SaveDataIntoVoidData("abc", 3), VEXA_OK);
    EXPECT_EQ(message.SaveDataIntoVoidData("def", 3), VEXA_OK);
    EXPECT_EQ(message.SaveDataIntoVoidData("g", 1), VEXA_BAD_ARGUMENT);
    EXPECT_EQ(message.SaveDataIntoVoidData("g", -1), VEXA_BAD_ARGUMENT);
    EXPECT_EQ(VoidText(message), "abcdef");
    EXPECT_EQ(message.AllocVoidData(-1), VEXA_BAD_ARGUMENT);

    CleXDSmb parsed;
    ASSERT_EQ(Parse(parsed, Encode(message)), VEXA_OK);
    EXPECT_EQ(VoidText(parsed), "abcdef");
}

TEST(MessageVoidData, LentBytesGiveTheImageOfOwnedOnesAndStayTheLenders) {
    // Owned by the test: the message must neither free nor keep them.
    const std::string lent = "0123456789abcdef";
    CleXDSmb borrowing;
    borrowing.SetLong(2);
    borrowing.LendVoidData(lent.data(), 16);
    EXPECT_TRUE(borrowing.HoldsLentVoidData());
    CleXDSmb owning;
    owning.SetLong(2);
    owning.SetVoidData(MallocCopy(lent.c_str()), 16);
    const Bytes image = Encode(owning);
    ASSERT_EQ(image.size(), 52u + 4u + 16u);
    EXPECT_EQ(Encode(borrowing), image);

    // The runs a large send writes from: the last is the lender's own memory.
    std::array<codec::ByteRun, CleXDSmb::SEND_RUNS> runs;
    ASSERT_EQ(borrowing.ContructSendRuns(runs), VEXA_OK);
    EXPECT_EQ(runs[3].data, lent.data());
    EXPECT_EQ(runs[3].size, 16u);

    borrowing.CleanUp();
    EXPECT_FALSE(borrowing.HoldsLentVoidData());
    std::int32_t length = -1;
    EXPECT_EQ(borrowing.GetVoidData(length), nullptr);
    EXPECT_EQ(length, 0);
    EXPECT_EQ(lent, "0123456789abcdef");
}

TEST(MessageVoidData, HandingOutOrAppendingToLentBytesTakesACopy) {
    std::string lent = "lent";
    CleXDSmb released;
    released.LendVoidData(lent.data(), 4);
    std::int32_t length = 0;
    void* copy = released.ReleaseVoidData(length);
    ASSERT_EQ(length, 4);
    EXPECT_NE(copy, lent.data());
    EXPECT_EQ(std::string(static_cast<char*>(copy), 4), "lent");
    std::free(copy);

    CleXDSmb taken;
    taken.LendVoidData(lent.data(), 4);
    std::size_t offset = 99;
    codec::OwnedBuffer block = taken.TakeVoidBlock(length, offset);
    ASSERT_EQ(length, 4);
    EXPECT_EQ(offset, 0u);
    EXPECT_NE(block.data(), lent.data());
    EXPECT_EQ(std::string(static_cast<char*>(block.data()), 4), "lent");

    // Appending needs room the message owns: a lent run has none beyond it.
    CleXDSmb appended;
    appended.LendVoidData(lent.data(), 4);
    EXPECT_EQ(appended.SaveDataIntoVoidData("x", 1), VEXA_BAD_ARGUMENT);
    EXPECT_FALSE(appended.HoldsLentVoidData());
    lent = "gone";
    EXPECT_EQ(VoidText(appended), "lent");

    // Replaced by owned data, or lent with nothing to lend: no lent run left.
    CleXDSmb replaced;
    replaced.LendVoidData(lent.data(), 4);
    replaced.SetVoidData(MallocCopy("own"), 3);
    EXPECT_FALSE(replaced.HoldsLentVoidData());
    EXPECT_EQ(VoidText(replaced), "own");
    replaced.LendVoidData(nullptr, 4);
    EXPECT_FALSE(replaced.HoldsLentVoidData());
    EXPECT_EQ(replaced.GetVoidData(length), nullptr);
    EXPECT_EQ(length, 0);
}

// Seeded, so a failure reproduces; every field kind is exercised.
class RandomMessage {
  public:
    explicit RandomMessage(unsigned seed) : m_rng(seed) {}

    void Fill(CleXDSmb& message) {
        message.SetCommandAction(Int());
        message.SetErrorCode(Int());
        FillLongs(message.GetLongDataRef());
        FillDoubles(message.GetDoubleDataRef());
        for (int i = Count(); i > 0; --i) message.SetString(Text());
        for (int i = Count(); i > 0; --i) message.SetStruct(Record());
        for (int i = Count(); i > 0; --i) {
            LongData list;
            FillLongs(list);
            message.SetLongArray(list);
        }
        for (int i = Count(); i > 0; --i) {
            DoubleData list;
            FillDoubles(list);
            message.SetDoubleArray(list);
        }
        for (int i = Count(); i > 0; --i) {
            StringData list;
            for (int j = Count(); j > 0; --j) list.SetValue(Text());
            message.SetStringArray(list);
        }
        if (Coin()) {
            const std::string bytes = Text();
            message.SetBinaryString(bytes.data(), static_cast<std::int32_t>(bytes.size()));
        }
        if (Coin()) {
            std::u16string wide;
            for (int i = Count() + 1; i > 0; --i) {
                wide.push_back(static_cast<char16_t>(1 + m_rng() % 0xFFFE));
            }
            message.SetwString(wide.c_str());
        }
        if (Coin()) {
            const std::string bytes = Text() + "v";
            message.SetVoidData(MallocCopy(bytes), static_cast<std::int32_t>(bytes.size()));
        }
    }

  private:
    std::int32_t Int() { return static_cast<std::int32_t>(m_rng()); }
    int Count() { return static_cast<int>(m_rng() % 4); }
    bool Coin() { return m_rng() % 2 == 0; }
    double Real() { return std::uniform_real_distribution<double>(-1e9, 1e9)(m_rng); }
    std::string Text() {
        std::string text(m_rng() % 12, '\0');
        for (char& c : text) c = static_cast<char>(m_rng());  // zero bytes included
        return text;
    }
    dataSet Record() {
        dataSet record;
        record.datasetName = Text();
        record.caseIndex = Int();
        record.varIndex = Int();
        record.valueType = static_cast<std::int32_t>(m_rng() % 2);
        record.numValue = Real();
        record.strValue = Text();
        return record;
    }
    void FillLongs(LongData& block) {
        for (int i = Count(); i > 0; --i) block.SetValue(Int());
    }
    void FillDoubles(DoubleData& block) {
        for (int i = Count(); i > 0; --i) block.SetValue(Real());
    }

    std::mt19937 m_rng;
};

TEST(MessageRoundTrip, RandomMessagesSurviveEncodeAndParse) {
    for (unsigned seed = 1; seed <= 300; ++seed) {
        SCOPED_TRACE(seed);
        CleXDSmb original;
        RandomMessage(seed).Fill(original);
        const Bytes image = Encode(original);
        ASSERT_EQ(static_cast<std::size_t>(original.GetSendLength()), image.size());

        CleXDSmb parsed;
        ASSERT_EQ(Parse(parsed, image), VEXA_OK);
        EXPECT_EQ(parsed.GetCommandAction(), original.GetCommandAction());
        EXPECT_EQ(parsed.GetErrorCode(), original.GetErrorCode());
        EXPECT_EQ(parsed.GetLongData().GetData(), original.GetLongData().GetData());
        EXPECT_EQ(parsed.GetDoubleData().GetData(), original.GetDoubleData().GetData());
        EXPECT_EQ(parsed.GetStringData().GetData(), original.GetStringData().GetData());
        EXPECT_EQ(parsed.GetStructData().GetData(), original.GetStructData().GetData());
        ASSERT_EQ(parsed.GetLongArray().size(), original.GetLongArray().size());
        for (std::size_t i = 0; i < parsed.GetLongArray().size(); ++i) {
            EXPECT_EQ(parsed.GetLongArray()[i].GetData(), original.GetLongArray()[i].GetData());
        }
        ASSERT_EQ(parsed.GetStringArray().size(), original.GetStringArray().size());
        for (std::size_t i = 0; i < parsed.GetStringArray().size(); ++i) {
            EXPECT_EQ(parsed.GetStringArray()[i].GetData(), original.GetStringArray()[i].GetData());
        }
        EXPECT_EQ(parsed.GetwStringLength(), original.GetwStringLength());
        EXPECT_EQ(parsed.GetBinaryLength(), original.GetBinaryLength());
        EXPECT_EQ(VoidText(parsed), VoidText(original));
        // Doubles, wide units and binary bytes are covered by the image itself.
        EXPECT_EQ(Encode(parsed), image);
    }
}

namespace {

codec::OwnedBuffer HeapImage(const Bytes& image) {
    codec::OwnedBuffer buffer = codec::OwnedBuffer::Allocate(image.size());
    std::memcpy(buffer.data(), image.data(), image.size());
    return buffer;
}

}  // namespace

TEST(MessageAdoptingParse, HandedImageBecomesTheVoidData) {
    Bytes padded = kEveryField;
    padded.insert(padded.end(), {'p', 'a', 'd'});  // bytes past T are not void data
    codec::OwnedBuffer image = HeapImage(padded);
    CleXDSmb parsed;
    ASSERT_EQ(parsed.ParseBuf(std::move(image)), VEXA_OK);
    EXPECT_TRUE(image.empty());
    EXPECT_EQ(VoidText(parsed), "uv");
    EXPECT_EQ(parsed.GetSingleString(), "x");
    EXPECT_EQ(Encode(parsed), kEveryField);
}

// The void data stays where the image put it, after the head, until a taker
// needs it at the block's front: a bulk reply is never moved.
TEST(MessageAdoptingParse, VoidDataStaysInPlaceUntilATakerNeedsItAtTheFront) {
    const std::size_t voidAt = kEveryField.size() - 2;
    const auto adopted = [] {
        auto parsed = std::make_unique<CleXDSmb>();
        Bytes padded = kEveryField;
        padded.insert(padded.end(), {'p', 'a', 'd'});
        EXPECT_EQ(parsed->ParseBuf(HeapImage(padded)), VEXA_OK);
        return parsed;
    };

    auto message = adopted();
    std::int32_t length = 0;
    std::size_t offset = 0;
    codec::OwnedBuffer block = message->TakeVoidBlock(length, offset);
    EXPECT_EQ(length, 2);
    EXPECT_EQ(offset, voidAt);
    ASSERT_EQ(block.size(), kEveryField.size() + 3);
    EXPECT_EQ(codectest::ToBytes(block.bytes() + offset, 2), (Bytes{'u', 'v'}));
    // The head before it is the image's own.
    EXPECT_EQ(
        codectest::ToBytes(block.data(), voidAt),
        Bytes(kEveryField.begin(), kEveryField.begin() + static_cast<std::ptrdiff_t>(voidAt)));
    EXPECT_EQ(message->GetVoidData(length), nullptr);

    message = adopted();
    block = message->TakeVoidBlock(length);
    ASSERT_EQ(length, 2);
    EXPECT_EQ(codectest::ToBytes(block.data(), 2), (Bytes{'u', 'v'}));

    message = adopted();
    std::unique_ptr<void, decltype(&std::free)> released(message->ReleaseVoidData(length),
                                                         &std::free);
    ASSERT_EQ(length, 2);
    EXPECT_EQ(codectest::ToBytes(released.get(), 2), (Bytes{'u', 'v'}));

    // Appending moves the data to the front first; the whole block is room.
    message = adopted();
    ASSERT_EQ(message->SaveDataIntoVoidData("wxyz", 4), VEXA_OK);
    EXPECT_EQ(VoidText(*message), "uvwxyz");
    const std::string rest(kEveryField.size() + 3 - 6, 'r');
    EXPECT_EQ(message->SaveDataIntoVoidData(rest.data(), static_cast<std::int32_t>(rest.size())),
              VEXA_OK);
    EXPECT_EQ(message->SaveDataIntoVoidData("!", 1), VEXA_BAD_ARGUMENT);
    EXPECT_EQ(VoidText(*message), "uvwxyz" + rest);

    // A received message sent on is the image it came as.
    message = adopted();
    EXPECT_EQ(Encode(*message), kEveryField);
}

TEST(MessageAdoptingParse, ImageWithoutVoidDataIsConsumedToo) {
    codec::OwnedBuffer image = HeapImage(kEmptyImage);
    CleXDSmb parsed;
    ASSERT_EQ(parsed.ParseBuf(std::move(image)), VEXA_OK);
    EXPECT_TRUE(image.empty());
    std::int32_t length = -1;
    EXPECT_EQ(parsed.GetVoidData(length), nullptr);
    EXPECT_EQ(length, 0);
}

TEST(MessageAdoptingParse, RejectedImageStaysWithTheCaller) {
    Bytes broken = kEveryField;
    broken[broken.size() - 6] = 0x09;  // V = 9 but only 2 bytes follow
    codec::OwnedBuffer image = HeapImage(broken);
    CleXDSmb parsed;
    EXPECT_EQ(parsed.ParseBuf(std::move(image)), VEXA_MALFORMED_MESSAGE);
    ASSERT_FALSE(image.empty());
    EXPECT_EQ(codectest::ToBytes(image.data(), image.size()), broken);
    EXPECT_EQ(parsed.ParseBuf(codec::OwnedBuffer()), VEXA_BAD_ARGUMENT);
}
