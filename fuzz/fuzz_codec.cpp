// Received command images through every decoder that reads one: the message
// itself (from a borrowed and from a handed-over image), the data-step batch
// read cell by cell, and a case cursor fed the image's void data. A decoded
// message must encode to an image that decodes to the same image again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "codec/clexdsmb.h"
#include "codec/cursordatasmb.h"
#include "codec/datastepsmb.h"
#include "codec/ownedbuffer.h"
#include "codec/varinfo.h"

namespace {

// Bounds the work one input can ask for, so that a large count in a valid
// image costs time only in proportion to its bytes.
constexpr std::int32_t kMaxCellsVisited = 4096;
constexpr std::int32_t kMaxCursorVariables = 64;

std::vector<unsigned char> Encode(CleXDSmb& message) {
    if (message.ContructSendData() != 0) return {};
    std::int32_t length = 0;
    const auto* image = static_cast<const unsigned char*>(message.GetSendBuf(length));
    return std::vector<unsigned char>(image, image + length);
}

void CheckRoundTrip(CleXDSmb& decoded) {
    const std::vector<unsigned char> first = Encode(decoded);
    if (first.empty()) return;
    CleXDSmb again;
    if (again.ParseBuf(first.data(), first.size()) != 0) __builtin_trap();
    if (Encode(again) != first) __builtin_trap();
}

void ReadBatch(const std::uint8_t* data, std::size_t size) {
    DatastepSmb batch;
    if (batch.ParseBuf(data, size) != 0 || batch.ReadBatchHeader() != 0) return;
    std::int32_t first = 0, last = 0, third = 0;
    batch.GetRowList(first, last, third);
    const std::int32_t variables = batch.GetVarCount();
    std::vector<std::int32_t> types(static_cast<std::size_t>(variables > 0 ? variables : 0));
    batch.GetVarTypes(types.data(), variables);
    std::int32_t visited = 0;
    // One row and one variable beyond each edge, for the refusals.
    for (std::int64_t row = std::int64_t{first} - 1; row <= std::int64_t{last} + 1; ++row) {
        for (std::int32_t v = -1; v <= variables; ++v) {
            if (++visited > kMaxCellsVisited) return;
            std::int32_t missing = 0, error = 0;
            batch.GetNCellValue(static_cast<std::int32_t>(row), v, missing, error);
            auto text = batch.GetCCellValue(static_cast<std::int32_t>(row), v, missing, error);
            if (text) (void)std::strlen(text.get());
        }
    }
}

// The image describes its own cursor: the long block is [cases, pending
// error, one variable type per value], the void data the case block.
void ReadCursor(CleXDSmb& message) {
    const LongData& longs = message.GetLongDataRef();
    if (longs.Size() < 2) return;
    CursorDataSmb cursor;
    const std::int32_t cases = longs[0];
    const std::int32_t lastError = longs[1];
    for (std::int32_t i = 2; i < longs.Size() && i - 2 < kMaxCursorVariables; ++i) {
        VarInfo info;
        info.type = longs[i] < 0 ? 0 : longs[i] % 512;
        info.missingFormat = (longs[i] >> 16) % 4;
        if (cursor.AddVariable(info) != 0) return;
    }
    std::int32_t voidLength = 0;
    codec::OwnedBuffer block = message.TakeVoidBlock(voidLength);
    if (cursor.TakeCaseBlock(block, cases, lastError,
                             static_cast<std::size_t>(voidLength < 0 ? 0 : voidLength)) != 0)
        return;
    char text[600];
    std::int32_t visited = 0;
    while (cursor.NextCase() == 0) {
        for (std::int32_t v = -1; v <= cursor.VarCount(); ++v) {
            if (++visited > kMaxCellsVisited) return;
            double value = 0;
            std::int32_t missing = 0;
            cursor.GetNumericValue(static_cast<std::uint32_t>(v), value, missing);
            cursor.GetStringValue(static_cast<std::uint32_t>(v), text, sizeof text, missing);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::int32_t total = 0;
    CleXDSmb::PeekTotalSize(data, size, total);

    CleXDSmb borrowed;
    if (borrowed.ParseBuf(data, size) == 0) CheckRoundTrip(borrowed);

    if (size > 0) {
        // Exactly the input's bytes, so that a read past them is caught.
        codec::OwnedBuffer image = codec::OwnedBuffer::Allocate(size);
        std::memcpy(image.data(), data, size);
        CleXDSmb handed;
        if (handed.ParseBuf(std::move(image)) == 0) {
            CheckRoundTrip(handed);
            ReadCursor(handed);
        }
    }
    ReadBatch(data, size);
    return 0;
}
