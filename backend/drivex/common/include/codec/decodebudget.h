// How much memory a decoder may still allocate for one received image. A
// forged image can declare millions of empty blocks or strings, each a few
// wire bytes but tens of bytes once decoded; the budget turns such an image
// into a clean failure before the allocation, so decoding an image of N bytes
// never holds much more than 2N bytes. Not thread-safe; one per decode.
#pragma once

#include <cstddef>
#include <string>

namespace codec {

class DecodeBudget {
  public:
    // Room beyond the image's own size for what decoding adds to it: small
    // values decoded into larger objects (a block, a string).
    static constexpr std::size_t kSlack = std::size_t{64} << 20;

    // The budget of an image of `imageSize` bytes.
    static DecodeBudget ForImage(std::size_t imageSize) { return DecodeBudget(imageSize + kSlack); }

    explicit DecodeBudget(std::size_t bytes) : m_left(bytes) {}

    // Takes `count` objects of `each` bytes; false, taking nothing, when they
    // do not fit what is left.
    [[nodiscard]] bool Take(std::size_t count, std::size_t each) {
        if (each != 0 && count > m_left / each) {
            m_exceeded = true;
            return false;
        }
        m_left -= count * each;
        return true;
    }
    [[nodiscard]] bool TakeHeapOf(const std::string& value) {
        // Short strings live inside the object, already taken with it.
        return value.size() < sizeof(std::string) ? true : Take(value.size() + 1, 1);
    }

    std::size_t left() const { return m_left; }
    // A Take failed: the image asked for more than its budget.
    bool exceeded() const { return m_exceeded; }

  private:
    std::size_t m_left;
    bool m_exceeded = false;
};

}  // namespace codec
