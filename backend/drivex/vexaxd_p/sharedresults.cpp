#include "sharedresults.h"

namespace api {

const char* SharedResults::ShareString(std::string text) {
    // Assigning keeps the buffer (and the address callers saw) when it fits.
    m_string.assign(text);
    return m_string.c_str();
}

const std::uint16_t* SharedResults::ShareWideText(const char16_t* text, std::size_t length) {
    // reserve() reallocates only when the new text outgrows the capacity.
    m_wide.clear();
    m_wide.reserve(length + 1);
    if (length > 0) m_wide.insert(m_wide.end(), text, text + length);
    m_wide.push_back(0);
    return m_wide.data();
}

void SharedResults::Clear() {
    std::string().swap(m_string);
    std::vector<std::uint16_t>().swap(m_wide);
}

}  // namespace api
