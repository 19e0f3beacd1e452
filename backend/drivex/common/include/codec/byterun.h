// A run of bytes that stays where it lies, for writers that send several
// runs as one image without joining them first. Owns nothing.
#pragma once

#include <cstddef>

namespace codec {

struct ByteRun {
    const void* data = nullptr;
    std::size_t size = 0;
};

}  // namespace codec
