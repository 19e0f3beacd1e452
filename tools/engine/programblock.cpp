#include "programblock.h"

#include <cctype>
#include <sstream>

#include "commandtext.h"

namespace engine {
namespace {

std::string Upper(std::string_view text) {
    std::string upper(text);
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return upper;
}

// The words of a line without its final full stop, upper case.
std::vector<std::string> Words(std::string_view line) {
    std::string_view trimmed = Trim(line);
    if (!trimmed.empty() && trimmed.back() == '.') trimmed.remove_suffix(1);
    std::istringstream stream{Upper(trimmed)};
    std::vector<std::string> words;
    for (std::string word; stream >> word;) words.push_back(word);
    return words;
}

bool EndsWithFullStop(std::string_view line) {
    line = Trim(line);
    return !line.empty() && line.back() == '.';
}

}  // namespace

std::optional<std::string> BlockBeginLanguage(std::string_view line) {
    const std::vector<std::string> words = Words(line);
    if (words.size() != 3 || words[0] != "BEGIN" || words[1] != "PROGRAM" ||
        !EndsWithFullStop(line)) {
        return std::nullopt;
    }
    return words[2];
}

bool IsBlockEndLine(std::string_view line) {
    const std::vector<std::string> words = Words(line);
    return words.size() == 2 && words[0] == "END" && words[1] == "PROGRAM" &&
           EndsWithFullStop(line);
}

}  // namespace engine
