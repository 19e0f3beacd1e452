// A string array kept in wire form: built string by string or received as an
// image, it must give the bytes and the strings that one string object per
// value gives.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "codec/clexdsmb.h"
#include "codec/textcells.h"
#include "imagebytes.h"
#include "runtime/statuscodes.h"

using codectest::Bytes;
using codectest::ExactBuffer;
using codectest::ImageBuilder;

namespace {

Bytes Image(CleXDSmb& message) {
    Bytes image = codectest::SentImage(message);
    EXPECT_FALSE(image.empty());
    return image;
}

// A reply with a long array and the string arrays given as values.
CleXDSmb AsValues(const std::vector<std::vector<std::string>>& arrays) {
    CleXDSmb message;
    message.SetCommandAction(221);
    message.SetLongArray(LongData());
    for (const auto& strings : arrays) {
        StringData list;
        for (const std::string& text : strings) list.SetValue(text);
        message.SetStringArray(std::move(list));
    }
    return message;
}

// Every string of `strings` appended one by one, runs of empty ones at once.
codec::TextCells Built(const std::vector<std::string>& strings) {
    codec::TextCells cells;
    std::size_t empty = 0;
    for (const std::string& text : strings) {
        if (text.empty()) {
            ++empty;
            continue;
        }
        EXPECT_TRUE(cells.AppendEmpty(empty));
        empty = 0;
        EXPECT_TRUE(cells.Append(text));
    }
    EXPECT_TRUE(cells.AppendEmpty(empty));
    return cells;
}

const std::vector<std::string> kMixed = {"", "", "abc", "", std::string("a\0b", 3), ""};
const std::vector<std::string> kEmpty(5, "");

}  // namespace

TEST(TextCellsImage, SameBytesAsStringValues) {
    for (const auto& strings : {kMixed, kEmpty, std::vector<std::string>{}}) {
        CleXDSmb values = AsValues({strings, {"x"}});
        CleXDSmb wire = AsValues({{"x"}});
        wire.SetTextCells(Built(strings));
        EXPECT_EQ(Image(wire), Image(values));
    }
    // Spelled out: one array of "", "ab", "" after the empty blocks.
    CleXDSmb wire;
    wire.SetCommandAction(221);
    wire.SetTextCells(Built({"", "ab", ""}));
    // clang-format off
    const Bytes expected = ImageBuilder()
        .i32(0).i32(221).i32(0)
        .i32(0).i32(0).i32(0).i32(0)  // value blocks
        .i32(0).i32(0)                // long and double arrays
        .i32(1).i32(3).i32(0).str("ab").i32(0)
        .i32(0).i32(0).i32(0)
        .sealTotal()
        .bytes();
    // clang-format on
    EXPECT_EQ(Image(wire), expected);
}

TEST(TextCellsImage, ReceivedArrayIsReadByIndexAndTheRestAsValues) {
    for (const auto& strings : {kMixed, kEmpty}) {
        CleXDSmb sent = AsValues({strings, {"after", ""}});
        const Bytes image = Image(sent);
        CleXDSmb kept;
        kept.KeepTextCells(true);
        ExactBuffer exact(image);
        ASSERT_EQ(kept.ParseBuf(exact.data(), exact.size()), VEXA_OK);
        const codec::TextCells* cells = kept.GetTextCells();
        ASSERT_NE(cells, nullptr);
        ASSERT_EQ(cells->count(), strings.size());
        for (std::size_t i = 0; i < strings.size(); ++i) EXPECT_EQ(cells->At(i), strings[i]);
        EXPECT_EQ(cells->At(strings.size()), "");
        ASSERT_EQ(kept.GetStringArrayRef().size(), 1u);
        EXPECT_EQ(kept.GetStringArrayRef()[0].Values(), (std::vector<std::string>{"after", ""}));
        // Sent on as it came.
        EXPECT_EQ(Image(kept), image);
    }
}

TEST(TextCellsImage, ImagesAppendedInOrderKeepOnlyTheFirstArrayInWireForm) {
    CleXDSmb first = AsValues({{"a", ""}});
    CleXDSmb second = AsValues({{"", "b"}, {"c"}});
    const Bytes one = Image(first), two = Image(second);
    CleXDSmb kept;
    kept.KeepTextCells(true);
    ASSERT_EQ(kept.ParseBuf(one.data(), one.size()), VEXA_OK);
    ASSERT_EQ(kept.ParseBuf(two.data(), two.size()), VEXA_OK);
    ASSERT_NE(kept.GetTextCells(), nullptr);
    EXPECT_EQ(kept.GetTextCells()->At(0), "a");
    ASSERT_EQ(kept.GetStringArrayRef().size(), 2u);
    EXPECT_EQ(kept.GetStringArrayRef()[0].Values(), (std::vector<std::string>{"", "b"}));
    EXPECT_EQ(kept.GetStringArrayRef()[1].Values(), (std::vector<std::string>{"c"}));
}

TEST(TextCellsImage, ArraysThatDoNotFitTheImageAreRefused) {
    auto array = [](const std::vector<std::int32_t>& words, const std::string& tail) {
        ImageBuilder image;
        for (std::int32_t word : words) image.i32(word);
        return image.raw(tail).bytes();
    };
    const std::vector<Bytes> malformed = {
        array({3, 0, 0}, ""),      // three empty strings promised, two given
        array({2, 0, 5}, "abcd"),  // a string longer than what is left
        array({1, -1}, ""),        // a negative length
        array({0x7FFFFFFF}, ""),   // a count no image of this size holds
        array({}, "ab"),           // not even a count
    };
    for (const Bytes& bytes : malformed) {
        codec::TextCells cells = Built({"kept"});
        ExactBuffer exact(bytes);
        codec::ByteReader reader(exact.data(), exact.size());
        codec::DecodeBudget budget = codec::DecodeBudget::ForImage(exact.size());
        EXPECT_FALSE(cells.Read(reader, budget));
        EXPECT_EQ(reader.consumed(), 0u);
        ASSERT_EQ(cells.count(), 1u);
        EXPECT_EQ(cells.At(0), "kept");
    }
    // What the image promises, followed by bytes that are not the array's.
    const Bytes sound = array({2, 0, 4, 7}, "abcd");
    codec::TextCells cells;
    codec::ByteReader reader(sound.data(), sound.size());
    codec::DecodeBudget budget = codec::DecodeBudget::ForImage(sound.size());
    ASSERT_TRUE(cells.Read(reader, budget));
    EXPECT_EQ(reader.consumed(), 16u);
    EXPECT_EQ(cells.At(0), "");
    EXPECT_EQ(cells.At(1), std::string_view("\x07\0\0\0", 4));

    // A message whose kept array fails keeps nothing of the image.
    CleXDSmb kept;
    kept.KeepTextCells(true);
    // clang-format off
    const Bytes image = ImageBuilder()
        .i32(0).i32(221).i32(0).zeros(16).i32(0).i32(0)
        .i32(1).i32(1).i32(9).raw("abc")  // a string longer than the image
        .sealTotal()
        .bytes();
    // clang-format on
    ExactBuffer exact(image);
    EXPECT_EQ(kept.ParseBuf(exact.data(), exact.size()), VEXA_MALFORMED_MESSAGE);
    EXPECT_EQ(kept.GetTextCells(), nullptr);
}

TEST(TextCellsBuild, MovedFromHoldsNothingAndCleanUpDropsTheArray) {
    codec::TextCells cells = Built(kMixed);
    codec::TextCells moved = std::move(cells);
    EXPECT_EQ(cells.count(), 0u);
    EXPECT_EQ(cells.EncodedSize(), 4u);
    EXPECT_EQ(moved.At(2), "abc");
    CleXDSmb message;
    message.SetTextCells(std::move(moved));
    message.CleanUp();
    EXPECT_EQ(message.GetTextCells(), nullptr);
    std::size_t size = 0;
    ASSERT_EQ(message.EncodedSize(size), VEXA_OK);
    EXPECT_EQ(size, static_cast<std::size_t>(CleXDSmb::MIN_IMAGE_SIZE));
}
