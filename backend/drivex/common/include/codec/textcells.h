// One string array of a message in its wire form: its count, then per string
// a 32-bit length and the bytes. A builder appends string by string into one
// growing buffer, and a receiver keeps a checked image and reads a string by
// index, so that a batch of cells costs no string object per value. Not
// thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

#include "codec/bytereader.h"
#include "codec/bytewriter.h"
#include "codec/decodebudget.h"

namespace codec {

class TextCells {
  public:
    TextCells() = default;
    // The moved-from side holds no strings.
    TextCells(TextCells&& other) noexcept
        : m_strings(std::move(other.m_strings)),
          m_count(std::exchange(other.m_count, 0)),
          m_offsets(std::move(other.m_offsets)) {}
    TextCells& operator=(TextCells&& other) noexcept {
        m_strings = std::move(other.m_strings);
        m_count = std::exchange(other.m_count, 0);
        m_offsets = std::move(other.m_offsets);
        return *this;
    }
    TextCells(const TextCells&) = delete;
    TextCells& operator=(const TextCells&) = delete;
    ~TextCells() = default;

    // Room for `count` strings of `bytes` bytes in all.
    void Reserve(std::size_t count, std::size_t bytes);
    // False, nothing appended, when the array would exceed what a count or a
    // length on the wire can say.
    bool Append(std::string_view text);
    // `count` empty strings at once, as a run of numeric cells needs.
    bool AppendEmpty(std::size_t count);

    std::size_t count() const { return m_count; }
    // The array's image: its count, then the strings.
    std::size_t EncodedSize() const { return kLengthSize + m_strings.size(); }
    void EncodeTo(ByteWriter& writer) const;

    // Replaces the strings by one array image from `reader`, taking what the
    // index needs from `budget`; false (strings and reader unchanged) when the
    // image does not hold what its count says.
    bool Read(ByteReader& reader, DecodeBudget& budget);
    // The index-th string; empty beyond count().
    std::string_view At(std::size_t index) const;

  private:
    static constexpr std::size_t kLengthSize = 4;

    // Each string's length and bytes, without the count.
    std::vector<unsigned char> m_strings;
    std::size_t m_count = 0;
    // Where each string's length lies; empty while every string is empty, as
    // in a batch of numeric cells.
    std::vector<std::uint32_t> m_offsets;
};

}  // namespace codec
