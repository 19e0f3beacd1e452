// The two results the library keeps for the caller instead of handing over:
// the last single string and the last wide text of a call. Each pointer stays
// valid until the next result of its kind or the connection reset. Kept by
// ApiConnection; belongs to the API's calling thread, no lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace api {

class SharedResults {
  public:
    // Replaces the shared single string.
    const char* ShareString(std::string text);
    // Replaces the shared wide result with `length` units of `text` and a zero
    // unit; the allocation (and its address) is kept when the text fits.
    const std::uint16_t* ShareWideText(const char16_t* text, std::size_t length);
    // Gives the memory back.
    void Clear();

  private:
    std::string m_string;
    std::vector<std::uint16_t> m_wide;
};

}  // namespace api
