// Bounded, forward-only view of received bytes. Every Get* consumes on success
// and returns false without consuming when the view is too short, so no decoder
// can read past the end it was given. Does not own the bytes; not thread-safe.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace codec {

inline std::uint32_t DecodeFixed32(const unsigned char* p) {
    if constexpr (std::endian::native == std::endian::little) {
        std::uint32_t value;
        std::memcpy(&value, p, sizeof value);
        return value;
    } else {
        return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
               std::uint32_t(p[3]) << 24;
    }
}

inline std::uint64_t DecodeFixed64(const unsigned char* p) {
    return std::uint64_t(DecodeFixed32(p)) | std::uint64_t(DecodeFixed32(p + 4)) << 32;
}

class ByteReader {
  public:
    ByteReader(const void* data, std::size_t size)
        : m_begin(static_cast<const unsigned char*>(data)), m_pos(m_begin), m_end(m_begin + size) {}

    std::size_t remaining() const { return static_cast<std::size_t>(m_end - m_pos); }
    std::size_t consumed() const { return static_cast<std::size_t>(m_pos - m_begin); }

    bool GetFixed32(std::int32_t* value) {
        if (remaining() < 4) return false;
        *value = static_cast<std::int32_t>(DecodeFixed32(m_pos));
        m_pos += 4;
        return true;
    }

    bool GetDouble(double* value) {
        if (remaining() < 8) return false;
        *value = std::bit_cast<double>(DecodeFixed64(m_pos));
        m_pos += 8;
        return true;
    }

    // Points *bytes at the next n bytes inside the view and consumes them.
    bool GetBytes(std::size_t n, const unsigned char** bytes) {
        if (remaining() < n) return false;
        *bytes = m_pos;
        m_pos += n;
        return true;
    }

    // A 32-bit length followed by that many bytes; a negative length fails.
    bool GetLengthPrefixed(const unsigned char** bytes, std::size_t* length) {
        ByteReader probe = *this;
        std::int32_t n;
        if (!probe.GetFixed32(&n) || n < 0) return false;
        if (!probe.GetBytes(static_cast<std::size_t>(n), bytes)) return false;
        *length = static_cast<std::size_t>(n);
        *this = probe;
        return true;
    }

  private:
    const unsigned char* m_begin;
    const unsigned char* m_pos;
    const unsigned char* m_end;
};

}  // namespace codec
