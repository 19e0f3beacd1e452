#include "codec/textcells.h"

#include <cstring>
#include <limits>

namespace codec {
namespace {

constexpr std::size_t kMaxWire = static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max());

// Notes where the index-th string's length lies. Offsets start with the first
// string that is not empty; the empty ones before it sit one length apart.
void NoteOffset(std::vector<std::uint32_t>& offsets, std::size_t index, std::size_t at,
                std::size_t length, std::size_t lengthSize) {
    if (offsets.empty()) {
        if (length == 0) return;
        offsets.reserve(index + 1);
        for (std::size_t i = 0; i < index; ++i)
            offsets.push_back(static_cast<std::uint32_t>(lengthSize * i));
    }
    offsets.push_back(static_cast<std::uint32_t>(at));
}

// Whether the `size` bytes at `bytes` are all zero; one pass without an early
// exit, so that it runs over words.
bool AllZero(const unsigned char* bytes, std::size_t size) {
    unsigned char any = 0;
    for (std::size_t i = 0; i < size; ++i) any |= bytes[i];
    return any == 0;
}

}  // namespace

void TextCells::Reserve(std::size_t count, std::size_t bytes) {
    m_strings.reserve(count * kLengthSize + bytes);
}

bool TextCells::Append(std::string_view text) {
    const std::size_t at = m_strings.size();
    // The count and the whole array must stay within what the wire can say.
    if (m_count >= kMaxWire || text.size() > kMaxWire - 2 * kLengthSize - at) return false;
    // Grown zero-filled: an empty string's length is already written.
    m_strings.resize(at + kLengthSize + text.size());
    if (!text.empty() || !m_offsets.empty()) {
        NoteOffset(m_offsets, m_count, at, text.size(), kLengthSize);
        ByteWriter writer(m_strings.data() + at, kLengthSize + text.size());
        writer.PutFixed32(static_cast<std::int32_t>(text.size()));
        writer.PutBytes(text.data(), text.size());
    }
    ++m_count;
    return true;
}

bool TextCells::AppendEmpty(std::size_t count) {
    const std::size_t at = m_strings.size();
    if (count > kMaxWire - m_count || count > (kMaxWire - kLengthSize - at) / kLengthSize) {
        return false;
    }
    if (!m_offsets.empty()) {
        for (std::size_t i = 0; i < count; ++i)
            m_offsets.push_back(static_cast<std::uint32_t>(at + i * kLengthSize));
    }
    // Grown zero-filled: every length is already written.
    m_strings.resize(at + count * kLengthSize);
    m_count += count;
    return true;
}

void TextCells::EncodeTo(ByteWriter& writer) const {
    writer.PutFixed32(static_cast<std::int32_t>(m_count));
    writer.PutBytes(m_strings.data(), m_strings.size());
}

bool TextCells::Read(ByteReader& reader, DecodeBudget& budget) {
    ByteReader probe = reader;
    std::int32_t count = 0;
    const unsigned char* strings = nullptr;
    if (!probe.GetFixed32(&count) || !probe.GetBytes(0, &strings)) return false;
    // A negative count means none, as for strings decoded one by one.
    const std::size_t n = count > 0 ? static_cast<std::size_t>(count) : 0;
    if (n > probe.remaining() / kLengthSize) return false;
    std::vector<std::uint32_t> offsets;
    if (AllZero(strings, n * kLengthSize)) {
        // Every string empty, as in a batch of numeric cells: no walk.
        const unsigned char* lengths = nullptr;
        probe.GetBytes(n * kLengthSize, &lengths);
    } else if (!budget.Take(n, sizeof(std::uint32_t))) {
        return false;
    } else {
        const std::size_t start = probe.consumed();
        for (std::size_t i = 0; i < n; ++i) {
            const std::size_t at = probe.consumed() - start;
            const unsigned char* text = nullptr;
            std::size_t length = 0;
            if (!probe.GetLengthPrefixed(&text, &length)) return false;
            NoteOffset(offsets, i, at, length, kLengthSize);
        }
    }
    const std::size_t size = probe.consumed() - reader.consumed() - kLengthSize;
    m_strings.assign(strings, strings + size);
    m_count = n;
    m_offsets = std::move(offsets);
    reader = probe;
    return true;
}

std::string_view TextCells::At(std::size_t index) const {
    if (index >= m_count || m_offsets.empty()) return {};
    ByteReader reader(m_strings.data() + m_offsets[index], m_strings.size() - m_offsets[index]);
    const unsigned char* text = nullptr;
    std::size_t length = 0;
    if (!reader.GetLengthPrefixed(&text, &length)) return {};
    return {reinterpret_cast<const char*>(text), length};
}

}  // namespace codec
