// What decoding a received image costs in memory: a forged image that
// declares millions of empty blocks or strings is a few bytes a value on the
// wire but tens of bytes a value once decoded. The peak of what operator new
// holds while one image is decoded must stay within about twice the image.
#include <gtest/gtest.h>
#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#include "codec/clexdsmb.h"
#include "codec/decodebudget.h"
#include "imagebytes.h"
#include "runtime/statuscodes.h"

namespace {

std::atomic<std::size_t> g_held{0};
std::atomic<std::size_t> g_peak{0};

void* Counted(std::size_t size) {
    void* block = std::malloc(size == 0 ? 1 : size);
    if (!block) throw std::bad_alloc();
    const std::size_t held =
        g_held.fetch_add(malloc_usable_size(block)) + malloc_usable_size(block);
    std::size_t peak = g_peak.load();
    while (held > peak && !g_peak.compare_exchange_weak(peak, held)) {
    }
    return block;
}

void Uncounted(void* block) {
    if (!block) return;
    g_held.fetch_sub(malloc_usable_size(block));
    std::free(block);
}

// The most operator new held at once while `work` ran, beyond what it held before.
template <typename Work>
std::size_t PeakDuring(Work work) {
    const std::size_t before = g_held.load();
    g_peak.store(before);
    work();
    return g_peak.load() - before;
}

using codectest::ImageBuilder;

constexpr std::size_t kSixteenMiB = std::size_t{16} << 20;

// Header, four empty blocks, `longArrays` empty integer arrays, no double or
// string arrays, no binary, wide or void data.
ImageBuilder EmptyLongArrays(std::size_t longArrays) {
    return ImageBuilder()
        .i32(0)
        .i32(1)
        .i32(0)
        .zeros(16)
        .i32(static_cast<std::int32_t>(longArrays))
        .zeros(4 * longArrays)
        .zeros(8)
        .zeros(12)
        .sealTotal();
}

// Header, `count` empty strings in the string block, nothing else.
ImageBuilder EmptyStrings(std::size_t count) {
    return ImageBuilder()
        .i32(0)
        .i32(1)
        .i32(0)
        .zeros(8)
        .i32(static_cast<std::int32_t>(count))
        .zeros(4 * count)
        .zeros(4)
        .zeros(12)
        .zeros(12)
        .sealTotal();
}

}  // namespace

void* operator new(std::size_t size) { return Counted(size); }
void* operator new[](std::size_t size) { return Counted(size); }
void operator delete(void* block) noexcept { Uncounted(block); }
void operator delete[](void* block) noexcept { Uncounted(block); }
void operator delete(void* block, std::size_t) noexcept { Uncounted(block); }
void operator delete[](void* block, std::size_t) noexcept { Uncounted(block); }

TEST(DecodeMemory, MillionsOfEmptyArraysStayWithinTwiceTheImage) {
    const std::size_t arrays = (kSixteenMiB - 52) / 4;
    const codectest::Bytes image = EmptyLongArrays(arrays).bytes();
    ASSERT_GE(image.size(), kSixteenMiB - 64);
    CleXDSmb message;
    message.SetLong(8);
    int parsed = 0;
    const std::size_t peak =
        PeakDuring([&] { parsed = message.ParseBuf(image.data(), image.size()); });
    EXPECT_LE(peak, 2 * image.size() + codec::DecodeBudget::kSlack);
    // An image that would decode into more than its budget is refused whole.
    EXPECT_EQ(parsed, VEXA_MALFORMED_MESSAGE);
    EXPECT_EQ(message.GetLongData().GetData(), std::vector<std::int32_t>{8});
    EXPECT_TRUE(message.GetLongArrayRef().empty());
}

TEST(DecodeMemory, MillionsOfEmptyStringsStayWithinTwiceTheImage) {
    const codectest::Bytes image = EmptyStrings((kSixteenMiB - 52) / 4).bytes();
    CleXDSmb message;
    int parsed = 0;
    const std::size_t peak =
        PeakDuring([&] { parsed = message.ParseBuf(image.data(), image.size()); });
    EXPECT_LE(peak, 2 * image.size() + codec::DecodeBudget::kSlack);
    EXPECT_EQ(parsed, VEXA_MALFORMED_MESSAGE);
}

TEST(DecodeMemory, ManySmallValuesWithinTheBudgetStillDecode) {
    // A dictionary of a hundred thousand variables with empty labels, say.
    const std::size_t count = 100000;
    const codectest::Bytes arrayImage = EmptyLongArrays(count).bytes();
    CleXDSmb arrays;
    ASSERT_EQ(arrays.ParseBuf(arrayImage.data(), arrayImage.size()), 0);
    EXPECT_EQ(arrays.GetLongArrayRef().size(), count);
    const codectest::Bytes stringImage = EmptyStrings(count).bytes();
    CleXDSmb strings;
    ASSERT_EQ(strings.ParseBuf(stringImage.data(), stringImage.size()), 0);
    EXPECT_EQ(strings.GetStringData().Size(), static_cast<std::int32_t>(count));
}
