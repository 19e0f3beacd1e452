// Received images are untrusted: every inconsistency must end in 99105 without
// a read beyond T (each image sits in a heap buffer of exactly its size, so
// ASan reports any over-read) and without touching the receiving message.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "codec/clexdsmb.h"
#include "imagebytes.h"
#include "runtime/statuscodes.h"
#include "testsupport.h"

using codectest::Bytes;
using codectest::ExactBuffer;
using codectest::ImageBuilder;

namespace {

// T placeholder (sealTotal fills it), command action 1, error code 0.
ImageBuilder Header() { return ImageBuilder().i32(0).i32(1).i32(0); }
// Header, four empty blocks and three zero array counts: B, W and V follow.
ImageBuilder AfterArrays() { return Header().zeros(28); }

struct MalformedCase {
    const char* what;
    const char* condition;  // the failed check, as traced
    Bytes image;
    std::size_t available;  // bytes handed to ParseBuf; the buffer holds exactly these
};

MalformedCase Case(const char* what, const char* condition, const ImageBuilder& builder) {
    return {what, condition, builder.bytes(), builder.bytes().size()};
}

MalformedCase Truncated(const char* what, const char* condition, const ImageBuilder& builder,
                        std::size_t available) {
    return {what, condition, builder.bytes(), available};
}

// clang-format off
std::vector<MalformedCase> MalformedImages() {
    const char* kBlocks = "blocks fit T";
    const char* kArrays = "arrays fit T";
    return {
        Truncated("fewer than 4 bytes", "available >= 4", Header().zeros(40).sealTotal(), 3),
        Case("T below 52", "T >= 52", ImageBuilder().i32(51).zeros(48)),
        Case("T zero", "T >= 52", ImageBuilder().i32(0).zeros(48)),
        Case("T negative", "T >= 52", ImageBuilder().i32(-1).zeros(48)),
        Truncated("T larger than the buffer", "T <= available", ImageBuilder().i32(60).zeros(56), 52),
        Truncated("buffer shorter than 52", "T <= available", Header().zeros(40).sealTotal(), 40),
        // long, double, string, struct blocks
        Case("long count runs past T", kBlocks, Header().i32(100).zeros(36).sealTotal()),
        Case("huge long count", kBlocks, Header().i32(0x7FFFFFFF).zeros(36).sealTotal()),
        Case("double count runs past T", kBlocks, Header().i32(0).i32(6).zeros(32).sealTotal()),
        Case("string length runs past T", kBlocks,
             Header().zeros(8).i32(1).i32(1000).raw("ab").zeros(32).sealTotal()),
        Case("negative string length", kBlocks, Header().zeros(8).i32(1).i32(-4).zeros(36).sealTotal()),
        Case("dataset name runs past T", kBlocks, Header().zeros(12).i32(1).i32(500).zeros(36).sealTotal()),
        Case("struct record cut inside its double", kBlocks,
             Header().zeros(12).i32(1).str("dddddddddddd").zeros(16).sealTotal()),
        Case("negative strValue length", kBlocks,
             Header().zeros(12).i32(1).str("d").zeros(12).f64(0).i32(-1).zeros(24).sealTotal()),
        // NL, ND, NS and the arrays
        Case("long-array count runs past T", kArrays, Header().zeros(16).i32(1000).zeros(20).sealTotal()),
        Case("long array image cut", kArrays, Header().zeros(16).i32(1).i32(9).zeros(20).sealTotal()),
        Case("string-array entry runs past T", kArrays,
             Header().zeros(24).i32(1).i32(1).i32(77).zeros(12).sealTotal()),
        // B, W, V
        Case("negative binary length", "binary length >= 0", AfterArrays().i32(-1).i32(0).i32(0).sealTotal()),
        Case("binary length runs past T", "binary string fits T", AfterArrays().i32(100).i32(0).i32(0).sealTotal()),
        Case("negative wide length", "wide length >= 0", AfterArrays().i32(0).i32(-1).i32(0).sealTotal()),
        Case("wide length runs past T", "wide string fits T",
             AfterArrays().i32(0).i32(5).raw("ab").i32(0).sealTotal()),
        Case("wide length whose byte count overflows", "wide string fits T",
             AfterArrays().i32(0).i32(0x40000000).i32(0).sealTotal()),
        Case("negative void length", "void length >= 0", AfterArrays().i32(0).i32(0).i32(-8).sealTotal()),
        Case("void length runs past T", "void data fits T",
             AfterArrays().i32(0).i32(0).i32(9).raw("abcd").sealTotal()),
        Case("fields end before T", "fields add up to T", AfterArrays().zeros(16).sealTotal()),
        // The buffer holds the whole void data, but T says the image ends 4 bytes early.
        Case("T cuts the void data short", "void data fits T",
             ImageBuilder().i32(58).i32(1).i32(0).zeros(28).i32(0).i32(0).i32(10).raw("0123456789")),
    };
}
// clang-format on

void ExpectUntouched(const CleXDSmb& message, const char* what) {
    EXPECT_EQ(message.GetCommandAction(), 42) << what;
    EXPECT_EQ(message.GetErrorCode(), 0) << what;
    EXPECT_EQ(message.GetSendLength(), 0) << what;
    EXPECT_EQ(message.GetLongData().GetData(), std::vector<std::int32_t>{8}) << what;
    EXPECT_EQ(message.GetStringData().GetData(), std::vector<std::string>{"held"}) << what;
    EXPECT_TRUE(message.GetLongArray().empty()) << what;
    EXPECT_EQ(message.GetBinaryLength(), 0) << what;
    std::int32_t length = -1;
    message.GetVoidData(length);
    EXPECT_EQ(length, 0) << what;
}

}  // namespace

TEST(MalformedImage, EachIsRejectedByItsCheckAndLeavesTheMessageAlone) {
    testsupport::TraceCapture trace;
    for (const MalformedCase& c : MalformedImages()) {
        CleXDSmb message;
        message.SetCommandAction(42);
        message.SetLong(8);
        message.SetString("held");
        ExactBuffer exact(c.image, c.available);
        EXPECT_EQ(message.ParseBuf(exact.data(), exact.size()), VEXA_MALFORMED_MESSAGE) << c.what;
        const std::vector<std::string> lines = trace.lines();
        ASSERT_FALSE(lines.empty()) << c.what;
        EXPECT_EQ(lines.back(),
                  std::string("CleXDSmb::ParseBuf ") + c.condition + " error code : 99105.")
            << c.what;
        ExpectUntouched(message, c.what);
    }
}

// An empty receiver is decoded in place; a rejection must still leave it as
// it was, the header included, with nothing half-decoded behind.
// The same with cell records kept as wire records.
TEST(MalformedImage, EachLeavesAnEmptyReceiverEmpty) {
    testsupport::TraceCapture trace;
    for (const MalformedCase& c : MalformedImages())
        for (const bool keep : {false, true}) {
            CleXDSmb message;
            message.KeepStructRecords(keep);
            message.SetCommandAction(42);
            message.SetErrorCode(6);
            ExactBuffer exact(c.image, c.available);
            EXPECT_EQ(message.ParseBuf(exact.data(), exact.size()), VEXA_MALFORMED_MESSAGE)
                << c.what;
            EXPECT_EQ(message.GetCommandAction(), 42) << c.what;
            EXPECT_EQ(message.GetErrorCode(), 6) << c.what;
            EXPECT_EQ(message.GetSendLength(), 0) << c.what;
            EXPECT_EQ(message.GetLongDataRef().Size() + message.GetDoubleDataRef().Size() +
                          message.GetStringDataRef().Size() + message.GetStructDataRef().Size(),
                      0)
                << c.what;
            EXPECT_TRUE(message.ForEachCellRecord([](const codec::CellRecord&) { return false; }))
                << c.what;
            EXPECT_TRUE(message.GetLongArrayRef().empty() && message.GetDoubleArrayRef().empty() &&
                        message.GetStringArrayRef().empty())
                << c.what;
            EXPECT_EQ(message.GetBinaryLength(), 0) << c.what;
            EXPECT_EQ(message.GetwStringData(), nullptr) << c.what;
            std::int32_t length = -1;
            EXPECT_EQ(message.GetVoidData(length), nullptr) << c.what;
            EXPECT_EQ(length, 0) << c.what;
            // Still usable: a good image decodes into it afterwards.
            CleXDSmb good;
            good.SetLong(3);
            ASSERT_EQ(good.ContructSendData(), VEXA_OK);
            std::int32_t size = 0;
            const void* image = good.GetSendBuf(size);
            ASSERT_EQ(message.ParseBuf(image, static_cast<std::size_t>(size)), VEXA_OK) << c.what;
            EXPECT_EQ(message.GetLongData().GetData(), std::vector<std::int32_t>{3}) << c.what;
        }
}

TEST(MalformedImage, ValidControlImagesOfTheTableShapesParse) {
    // The builders above differ from these only in the faulty field, so a
    // rejection in the table is not caused by a slip in the builder itself.
    const ImageBuilder good[] = {
        Header().i32(1).i32(5).zeros(36).sealTotal(),
        Header().zeros(12).i32(1).str("dddddddddddd").zeros(12).f64(0).i32(0).zeros(24).sealTotal(),
        Header().zeros(16).i32(1).i32(1).i32(9).zeros(20).sealTotal(),
        AfterArrays().i32(2).raw("ab").i32(1).raw("ab").i32(4).raw("abcd").sealTotal(),
    };
    for (const ImageBuilder& builder : good) {
        CleXDSmb message;
        ExactBuffer exact(builder.bytes());
        EXPECT_EQ(message.ParseBuf(exact.data(), exact.size()), VEXA_OK);
    }
}

TEST(MalformedImage, NullImageIsABadArgument) {
    CleXDSmb message;
    EXPECT_EQ(message.ParseBuf(nullptr, 52), VEXA_BAD_ARGUMENT);
}

TEST(MalformedImage, RejectionIsTracedWithTheFailedCondition) {
    testsupport::TraceCapture trace;
    CleXDSmb message;
    const Bytes image = ImageBuilder().i32(51).zeros(48).bytes();
    ExactBuffer exact(image);
    ASSERT_EQ(message.ParseBuf(exact.data(), exact.size()), VEXA_MALFORMED_MESSAGE);
    const std::vector<std::string> lines = trace.lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "CleXDSmb::ParseBuf T >= 52 error code : 99105.");
}

namespace {

Bytes RichImage() {
    CleXDSmb message;
    message.SetCommandAction(3);
    message.SetLong(1);
    message.SetDouble(0.5);
    message.SetString("str");
    dataSet cell;
    cell.datasetName = "ds";
    cell.strValue = "v";
    message.SetStruct(cell);
    LongData longs;
    longs.SetValue(2);
    message.SetLongArray(longs);
    DoubleData doubles;
    doubles.SetValue(1.0);
    message.SetDoubleArray(doubles);
    StringData strings;
    strings.SetValue("s");
    message.SetStringArray(strings);
    message.SetBinaryString("bin", 3);
    message.SetwString(u"wide");
    message.AllocVoidData(4);
    message.SaveDataIntoVoidData("void", 4);
    message.ContructSendData();
    std::int32_t length = 0;
    const void* image = message.GetSendBuf(length);
    return codectest::ToBytes(image, static_cast<std::size_t>(length));
}

}  // namespace

TEST(MalformedImage, EveryTruncationIsRejected) {
    const Bytes full = RichImage();
    ASSERT_LT(full.size(), 256u);  // T fits its first byte below
    for (std::size_t size = 52; size < full.size(); ++size) {
        // T claims the truncated size: the fields no longer fit it.
        Bytes cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(size));
        cut[0] = static_cast<unsigned char>(size);
        CleXDSmb message;
        ExactBuffer exact(cut);
        EXPECT_EQ(message.ParseBuf(exact.data(), exact.size()), VEXA_MALFORMED_MESSAGE) << size;

        // T keeps the full size: the buffer is shorter than T.
        ExactBuffer short_buffer(full, size);
        EXPECT_EQ(message.ParseBuf(short_buffer.data(), short_buffer.size()),
                  VEXA_MALFORMED_MESSAGE)
            << size;
    }
    CleXDSmb message;
    ExactBuffer exact(full);
    EXPECT_EQ(message.ParseBuf(exact.data(), exact.size()), VEXA_OK);
}

TEST(MalformedImage, CorruptedBytesNeverCrashTheDecoder) {
    const Bytes full = RichImage();
    std::mt19937 rng(20240607);
    int rejected = 0;
    for (int round = 0; round < 3000; ++round) {
        Bytes image = full;
        for (int flips = 1 + static_cast<int>(rng() % 3); flips > 0; --flips) {
            // Keep T intact in most rounds so the decoder gets past the header.
            const std::size_t at = 4 + rng() % (image.size() - 4);
            image[at] = static_cast<unsigned char>(rng());
        }
        CleXDSmb message;
        ExactBuffer exact(image);
        const std::int32_t status = message.ParseBuf(exact.data(), exact.size());
        ASSERT_TRUE(status == VEXA_OK || status == VEXA_MALFORMED_MESSAGE) << status;
        if (status == VEXA_MALFORMED_MESSAGE) ++rejected;
    }
    // Length and count bytes are a good share of the image: many flips must fail.
    EXPECT_GT(rejected, 100);
}
