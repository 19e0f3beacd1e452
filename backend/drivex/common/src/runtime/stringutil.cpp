#include "runtime/stringutil.h"

#include <cctype>

namespace {

int UpperByte(std::string_view text, std::size_t index) {
    if (index >= text.size()) return 0;
    return std::toupper(static_cast<unsigned char>(text[index]));
}

}  // namespace

namespace textutil {

int strincmp(std::string_view a, std::string_view b, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        int left = UpperByte(a, i);
        int right = UpperByte(b, i);
        if (left != right) return left - right;
        if (left == 0 && i >= a.size() && i >= b.size()) return 0;
    }
    return 0;
}

std::string UpperString(std::string_view text) {
    std::string upper(text);
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return upper;
}

std::vector<std::string> GetListFromDelims(std::string_view text, std::string_view separator) {
    std::vector<std::string> pieces;
    if (separator.empty()) {
        if (!text.empty()) pieces.emplace_back(text);
        return pieces;
    }
    std::size_t start = 0;
    for (std::size_t found; (found = text.find(separator, start)) != std::string_view::npos;
         start = found + separator.size())
        pieces.emplace_back(text.substr(start, found - start));
    if (start < text.size()) pieces.emplace_back(text.substr(start));
    return pieces;
}

}  // namespace textutil
