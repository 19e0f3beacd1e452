// Forward-only writer into a caller's buffer of known capacity. A Put* that
// would overrun writes nothing and marks the writer failed, so an encoder that
// sized the buffer wrongly is caught instead of corrupting memory. Does not own
// the buffer; not thread-safe.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace codec {

inline void EncodeFixed32(unsigned char* p, std::uint32_t value) {
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(p, &value, sizeof value);
    } else {
        p[0] = static_cast<unsigned char>(value);
        p[1] = static_cast<unsigned char>(value >> 8);
        p[2] = static_cast<unsigned char>(value >> 16);
        p[3] = static_cast<unsigned char>(value >> 24);
    }
}

inline void EncodeFixed64(unsigned char* p, std::uint64_t value) {
    EncodeFixed32(p, static_cast<std::uint32_t>(value));
    EncodeFixed32(p + 4, static_cast<std::uint32_t>(value >> 32));
}

class ByteWriter {
  public:
    ByteWriter(void* data, std::size_t capacity)
        : m_begin(static_cast<unsigned char*>(data)), m_pos(m_begin), m_end(m_begin + capacity) {}

    bool ok() const { return !m_failed; }
    std::size_t written() const { return static_cast<std::size_t>(m_pos - m_begin); }

    void PutFixed32(std::int32_t value) {
        if (unsigned char* p = claim(4)) EncodeFixed32(p, static_cast<std::uint32_t>(value));
    }

    void PutDouble(double value) {
        if (unsigned char* p = claim(8)) EncodeFixed64(p, std::bit_cast<std::uint64_t>(value));
    }

    void PutBytes(const void* bytes, std::size_t n) {
        if (n == 0) return;
        if (unsigned char* p = claim(n)) std::memcpy(p, bytes, n);
    }

    // Reserves the next n bytes for the caller to fill; null when they do not fit.
    unsigned char* claim(std::size_t n) {
        if (m_failed || static_cast<std::size_t>(m_end - m_pos) < n) {
            m_failed = true;
            return nullptr;
        }
        unsigned char* p = m_pos;
        m_pos += n;
        return p;
    }

  private:
    unsigned char* m_begin;
    unsigned char* m_pos;
    unsigned char* m_end;
    bool m_failed = false;
};

}  // namespace codec
