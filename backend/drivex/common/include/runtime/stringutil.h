// Byte-string helpers; upper-casing follows the process's C locale.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace textutil {

// Compares at most n bytes of a and b after upper-casing each; returns the
// difference of the first differing pair, 0 when equal. The end of a text
// counts as a 0 byte, so n may exceed either length.
int strincmp(std::string_view a, std::string_view b, std::size_t n);

std::string UpperString(std::string_view text);

// The pieces between occurrences of the whole separator: empty pieces between
// separators are kept, an empty last piece is dropped, nothing is trimmed. An
// empty separator yields the text as one piece.
std::vector<std::string> GetListFromDelims(std::string_view text, std::string_view separator);

}  // namespace textutil
