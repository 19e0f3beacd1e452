// The 8-byte cell of case data, read as a little-endian IEEE-754 double or as
// eight bytes of text, and the layout rules every holder of cases shares. A
// plain value of alignment 1, so a cell may be viewed at any offset of a
// received block; no ownership, no threading concerns.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "codec/bytereader.h"
#include "codec/bytewriter.h"

struct OBS {
    unsigned char bytes[8] = {};

    // Inline: a pass reads and writes millions of cells.
    static OBS FromNumber(double value) {
        OBS cell;
        codec::EncodeFixed64(cell.bytes, std::bit_cast<std::uint64_t>(value));
        return cell;
    }
    // The first min(text.size(), 8) bytes, blank-padded to the cell's end.
    static OBS FromText(std::string_view text);
    static OBS Blanks();

    double AsNumber() const { return std::bit_cast<double>(Bits()); }
    std::uint64_t Bits() const { return codec::DecodeFixed64(bytes); }
    bool IsBlank() const;

    // Byte for byte: -0.0 and 0.0 differ, equal NaN patterns match.
    bool operator==(const OBS&) const = default;
};

static_assert(sizeof(OBS) == 8 && alignof(OBS) == 1, "a cell is 8 unaligned bytes");

namespace codec {

constexpr std::int32_t kCellSize = 8;
// The lowest finite double.
constexpr double kSystemMissing = -1.7976931348623157e308;
constexpr std::uint64_t kSystemMissingBits = 0xFFEFFFFFFFFFFFFFull;

// Cells a variable of this type covers: 1 for numeric (0) and widths up to 8,
// else ceil(width / 8).
inline std::int32_t ObsLength(std::int32_t type) {
    if (type <= kCellSize) return 1;
    // In 64 bits: the largest widths would overflow type + 7.
    return static_cast<std::int32_t>((static_cast<std::int64_t>(type) + kCellSize - 1) / kCellSize);
}

// The cells of `bytes`, which must be a multiple of 8 long (a trailing partial
// cell is left out).
inline std::span<const OBS> CellsOf(const void* bytes, std::size_t size) {
    return {static_cast<const OBS*>(bytes), size / sizeof(OBS)};
}
inline std::span<OBS> CellsOf(void* bytes, std::size_t size) {
    return {static_cast<OBS*>(bytes), size / sizeof(OBS)};
}

}  // namespace codec
