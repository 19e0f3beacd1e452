// Move-only owner of a malloc'ed byte buffer (void data, wire images, received
// images): the buffer is released with free exactly once. Not thread-safe.
#pragma once

#include <cstddef>
#include <utility>

namespace codec {

class OwnedBuffer {
  public:
    OwnedBuffer() = default;
    // Adopts memory that came from malloc; size is what the owner may use.
    OwnedBuffer(void* data, std::size_t size) noexcept : m_data(data), m_size(data ? size : 0) {}
    OwnedBuffer(OwnedBuffer&& other) noexcept
        : m_data(std::exchange(other.m_data, nullptr)), m_size(std::exchange(other.m_size, 0)) {}
    OwnedBuffer& operator=(OwnedBuffer&& other) noexcept {
        if (this != &other) {
            reset(other.m_data, other.m_size);
            other.m_data = nullptr;
            other.m_size = 0;
        }
        return *this;
    }
    OwnedBuffer(const OwnedBuffer&) = delete;
    OwnedBuffer& operator=(const OwnedBuffer&) = delete;
    ~OwnedBuffer() { reset(); }

    // A zero size gives an empty owner; a failed malloc throws std::bad_alloc.
    static OwnedBuffer Allocate(std::size_t size);

    void* data() const { return m_data; }
    unsigned char* bytes() const { return static_cast<unsigned char*>(m_data); }
    std::size_t size() const { return m_size; }
    bool empty() const { return m_data == nullptr; }

    // Hands the memory to the caller, who frees it with free.
    void* release() noexcept {
        m_size = 0;
        return std::exchange(m_data, nullptr);
    }
    // Frees the held memory (unless it is the adopted pointer itself).
    void reset(void* data = nullptr, std::size_t size = 0) noexcept;
    // Gives back all but the first `size` bytes; the contents stay. Keeps the
    // larger block if the allocator cannot shrink it.
    void shrink(std::size_t size) noexcept;

  private:
    void* m_data = nullptr;
    std::size_t m_size = 0;
};

}  // namespace codec
