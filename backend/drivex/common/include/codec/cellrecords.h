// Dataset cell records in their wire form, appended one after another into one
// growing buffer: the content of a commit's struct block, built as the writes
// are queued instead of as one record object per cell encoded at the commit.
// Not thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <utility>

#include "codec/bytereader.h"
#include "codec/ownedbuffer.h"

namespace codec {

// One record as it lies in the wire bytes; the views point into them.
struct CellRecord {
    std::string_view dataset;
    std::int32_t row = 0;
    std::int32_t variable = 0;
    std::int32_t type = 0;
    double number = 0.0;
    std::string_view text;
};

class CellRecords {
  public:
    static constexpr std::int32_t kNumeric = 0;
    static constexpr std::int32_t kString = 1;

    CellRecords() = default;
    // The moved-from side holds no records and no room.
    CellRecords(CellRecords&& other) noexcept
        : m_buffer(std::move(other.m_buffer)),
          m_size(std::exchange(other.m_size, 0)),
          m_count(std::exchange(other.m_count, 0)) {}
    CellRecords& operator=(CellRecords&& other) noexcept {
        m_buffer = std::move(other.m_buffer);
        m_size = std::exchange(other.m_size, 0);
        m_count = std::exchange(other.m_count, 0);
        return *this;
    }

    void AppendNumeric(std::string_view dataset, std::int32_t row, std::int32_t variable,
                       double value);
    void AppendString(std::string_view dataset, std::int32_t row, std::int32_t variable,
                      std::string_view value);

    // Reads the next record of a received image; false (the reader where it
    // was left) when the record does not fit.
    static bool Read(ByteReader& reader, CellRecord& record);
    // Appends `count` records checked by Read, as the `size` bytes at `bytes`.
    void AppendImage(const unsigned char* bytes, std::size_t size, std::size_t count);

    // Calls visit(const CellRecord&) per record in order until it returns
    // false; whether every record was visited.
    template <typename Visit>
    bool ForEach(Visit&& visit) const;

    std::size_t count() const { return m_count; }
    bool empty() const { return m_count == 0; }
    // The records' bytes, without the block's count.
    const unsigned char* bytes() const { return m_buffer.bytes(); }
    std::size_t size() const { return m_size; }
    // No records; the buffer's room stays for the next ones.
    void clear() {
        m_count = 0;
        m_size = 0;
    }

  private:
    unsigned char* Claim(std::size_t bytes);
    void Append(std::string_view dataset, std::int32_t row, std::int32_t variable,
                std::int32_t type, double value, std::string_view text);

    OwnedBuffer m_buffer;
    std::size_t m_size = 0;
    std::size_t m_count = 0;
};

template <typename Visit>
bool CellRecords::ForEach(Visit&& visit) const {
    ByteReader reader(m_buffer.data(), m_size);
    CellRecord record;
    for (std::size_t i = 0; i < m_count; ++i) {
        if (!Read(reader, record) || !visit(record)) return false;
    }
    return true;
}

}  // namespace codec
