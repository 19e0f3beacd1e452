// The engine's verdict on a proposed variable name.
#pragma once

#include <cstddef>
#include <string_view>

namespace engine {

enum NameVerdict : int {
    kNameValid = 0,
    kNameEmpty = 1,
    kNameTooLong = 2,       // more than 64 bytes
    kNameBadFirst = 3,      // not a letter, '@', '#' or '$'
    kNameBadCharacter = 4,  // later: not a letter, digit, '.', '_', '$', '#' or '@'
    kNameReserved = 5,      // ALL AND BY EQ GE GT LE LT NE NOT OR TO WITH, any case
};

inline constexpr std::size_t kMaxNameBytes = 64;

// Letters are the ASCII letters.
NameVerdict ValidateVariableName(std::string_view name);

}  // namespace engine
