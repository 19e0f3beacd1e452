// Helpers for writing wire images in tests: literal byte arrays and a small
// little-endian composer for images too long to spell out.
#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

namespace codectest {

using Bytes = std::vector<unsigned char>;

inline Bytes ToBytes(const void* data, std::size_t size) {
    const auto* p = static_cast<const unsigned char*>(data);
    return Bytes(p, p + size);
}

class ImageBuilder {
  public:
    ImageBuilder& i32(std::int32_t value) {
        for (int shift = 0; shift < 32; shift += 8) {
            m_bytes.push_back(
                static_cast<unsigned char>(static_cast<std::uint32_t>(value) >> shift));
        }
        return *this;
    }
    ImageBuilder& f64(double value) {
        std::uint64_t bits;
        std::memcpy(&bits, &value, sizeof bits);
        for (int shift = 0; shift < 64; shift += 8) {
            m_bytes.push_back(static_cast<unsigned char>(bits >> shift));
        }
        return *this;
    }
    ImageBuilder& raw(const std::string& text) {
        m_bytes.insert(m_bytes.end(), text.begin(), text.end());
        return *this;
    }
    ImageBuilder& str(const std::string& text) {
        return i32(static_cast<std::int32_t>(text.size())).raw(text);
    }
    ImageBuilder& zeros(std::size_t count) {
        m_bytes.insert(m_bytes.end(), count, 0);
        return *this;
    }
    // Writes the current size into the first four bytes (the image's T).
    ImageBuilder& sealTotal() {
        const auto total = static_cast<std::uint32_t>(m_bytes.size());
        for (int i = 0; i < 4; ++i) m_bytes[i] = static_cast<unsigned char>(total >> (8 * i));
        return *this;
    }
    const Bytes& bytes() const { return m_bytes; }

  private:
    Bytes m_bytes;
};

// The image a message builds for a send; empty when it builds none.
template <class Message>
Bytes SentImage(Message& message) {
    if (message.ContructSendData() != 0) return {};
    std::int32_t length = 0;
    const void* image = message.GetSendBuf(length);
    return ToBytes(image, static_cast<std::size_t>(length));
}

// A heap copy of exactly `size` bytes, so that ASan flags any read beyond it.
class ExactBuffer {
  public:
    explicit ExactBuffer(const Bytes& bytes, std::size_t size)
        : m_size(size), m_data(new unsigned char[size == 0 ? 1 : size]) {
        std::memcpy(m_data.get(), bytes.data(), size);
    }
    explicit ExactBuffer(const Bytes& bytes) : ExactBuffer(bytes, bytes.size()) {}
    const unsigned char* data() const { return m_data.get(); }
    std::size_t size() const { return m_size; }

  private:
    std::size_t m_size;
    std::unique_ptr<unsigned char[]> m_data;
};

}  // namespace codectest
