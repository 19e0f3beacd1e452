#include "codec/ownedbuffer.h"

#include <cstdlib>
#include <new>

namespace codec {

OwnedBuffer OwnedBuffer::Allocate(std::size_t size) {
    if (size == 0) return OwnedBuffer();
    void* data = std::malloc(size);
    if (!data) throw std::bad_alloc();
    return OwnedBuffer(data, size);
}

void OwnedBuffer::reset(void* data, std::size_t size) noexcept {
    if (data != m_data) std::free(m_data);
    m_data = data;
    m_size = data ? size : 0;
}

void OwnedBuffer::shrink(std::size_t size) noexcept {
    if (!m_data || size >= m_size) return;
    if (size == 0) {
        reset();
        return;
    }
    if (void* smaller = std::realloc(m_data, size)) m_data = smaller;
    m_size = size;
}

}  // namespace codec
