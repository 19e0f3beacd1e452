#include "varname.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace engine {
namespace {

constexpr std::array<std::string_view, 13> kReservedWords = {
    "ALL", "AND", "BY", "EQ", "GE", "GT", "LE", "LT", "NE", "NOT", "OR", "TO", "WITH"};

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool IsReserved(std::string_view name) {
    return std::any_of(kReservedWords.begin(), kReservedWords.end(), [name](std::string_view word) {
        return word.size() == name.size() &&
               std::equal(word.begin(), word.end(), name.begin(), [](char a, char b) {
                   return a == std::toupper(static_cast<unsigned char>(b));
               });
    });
}

}  // namespace

NameVerdict ValidateVariableName(std::string_view name) {
    if (name.empty()) return kNameEmpty;
    if (name.size() > kMaxNameBytes) return kNameTooLong;
    const char first = name.front();
    if (!IsLetter(first) && first != '@' && first != '#' && first != '$') return kNameBadFirst;
    for (char c : name.substr(1)) {
        const bool digit = c >= '0' && c <= '9';
        if (!IsLetter(c) && !digit && c != '.' && c != '_' && c != '$' && c != '#' && c != '@')
            return kNameBadCharacter;
    }
    return IsReserved(name) ? kNameReserved : kNameValid;
}

}  // namespace engine
