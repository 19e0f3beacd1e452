// Scanning helpers for submitted command text: blanks and trimming. Plain
// functions over views; no state.
#pragma once

#include <string_view>

namespace engine {

inline bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

inline std::string_view TrimStart(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    return text;
}

inline std::string_view TrimEnd(std::string_view text) {
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

inline std::string_view Trim(std::string_view text) { return TrimStart(TrimEnd(text)); }

}  // namespace engine
