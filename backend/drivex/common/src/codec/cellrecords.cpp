#include "codec/cellrecords.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "codec/bytewriter.h"
#include "platform/memoryadvice.h"

namespace codec {
namespace {

// Name and text lengths, row, variable, type and the double.
constexpr std::size_t kFixedBytes = 28;
constexpr std::size_t kFirstRoom = 4096;
constexpr std::size_t kHugePageWorthy = std::size_t{4} << 20;

unsigned char* PutText(unsigned char* at, std::string_view text) {
    EncodeFixed32(at, static_cast<std::uint32_t>(text.size()));
    if (!text.empty()) std::memcpy(at + 4, text.data(), text.size());
    return at + 4 + text.size();
}

}  // namespace

unsigned char* CellRecords::Claim(std::size_t bytes) {
    if (m_buffer.size() - m_size < bytes) {
        OwnedBuffer larger =
            OwnedBuffer::Allocate(std::max({kFirstRoom, m_size + bytes, 2 * m_buffer.size()}));
        // A queue of a million writes fills every byte it grows to: in huge
        // pages it faults once per 2 MiB. Smaller or sparsely used buffers are
        // better off without (a huge page is cleared whole on first touch).
        if (larger.size() >= kHugePageWorthy)
            platform::AdviseHugePages(larger.data(), larger.size());
        if (m_size) std::memcpy(larger.data(), m_buffer.data(), m_size);
        m_buffer = std::move(larger);
    }
    unsigned char* at = m_buffer.bytes() + m_size;
    m_size += bytes;
    return at;
}

void CellRecords::Append(std::string_view dataset, std::int32_t row, std::int32_t variable,
                         std::int32_t type, double value, std::string_view text) {
    unsigned char* at = PutText(Claim(kFixedBytes + dataset.size() + text.size()), dataset);
    EncodeFixed32(at, static_cast<std::uint32_t>(row));
    EncodeFixed32(at + 4, static_cast<std::uint32_t>(variable));
    EncodeFixed32(at + 8, static_cast<std::uint32_t>(type));
    EncodeFixed64(at + 12, std::bit_cast<std::uint64_t>(value));
    PutText(at + 20, text);
    ++m_count;
}

// One bound check per length: a commit reads a million records twice, once
// to check the image and once to apply them.
bool CellRecords::Read(ByteReader& reader, CellRecord& record) {
    const std::size_t available = reader.remaining();
    const unsigned char* at = nullptr;
    if (available < kFixedBytes || !reader.GetBytes(0, &at)) return false;
    const auto nameLength = static_cast<std::int32_t>(DecodeFixed32(at));
    if (nameLength < 0 || static_cast<std::size_t>(nameLength) > available - kFixedBytes) {
        return false;
    }
    const std::size_t fixedEnd = kFixedBytes + static_cast<std::size_t>(nameLength);
    const unsigned char* fixed = at + 4 + nameLength;
    const auto textLength = static_cast<std::int32_t>(DecodeFixed32(fixed + 20));
    if (textLength < 0 || static_cast<std::size_t>(textLength) > available - fixedEnd) {
        return false;
    }
    record.dataset = std::string_view(reinterpret_cast<const char*>(at + 4),
                                      static_cast<std::size_t>(nameLength));
    record.row = static_cast<std::int32_t>(DecodeFixed32(fixed));
    record.variable = static_cast<std::int32_t>(DecodeFixed32(fixed + 4));
    record.type = static_cast<std::int32_t>(DecodeFixed32(fixed + 8));
    record.number = std::bit_cast<double>(DecodeFixed64(fixed + 12));
    record.text = std::string_view(reinterpret_cast<const char*>(fixed + 24),
                                   static_cast<std::size_t>(textLength));
    return reader.GetBytes(fixedEnd + static_cast<std::size_t>(textLength), &at);
}

void CellRecords::AppendImage(const unsigned char* bytes, std::size_t size, std::size_t count) {
    if (size > 0) std::memcpy(Claim(size), bytes, size);
    m_count += count;
}

void CellRecords::AppendNumeric(std::string_view dataset, std::int32_t row, std::int32_t variable,
                                double value) {
    Append(dataset, row, variable, kNumeric, value, {});
}

void CellRecords::AppendString(std::string_view dataset, std::int32_t row, std::int32_t variable,
                               std::string_view value) {
    Append(dataset, row, variable, kString, 0.0, value);
}

}  // namespace codec
