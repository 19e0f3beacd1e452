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

// The language of a begin line; nullopt for any other line. A begin line
// without a language names none this engine could run, so it stays text.
std::optional<std::string> BeginLanguage(std::string_view line) {
    const std::vector<std::string> words = Words(line);
    if (words.size() != 3 || words[0] != "BEGIN" || words[1] != "PROGRAM" || !EndsWithFullStop(line)) {
        return std::nullopt;
    }
    return words[2];
}

bool IsEndLine(std::string_view line) {
    const std::vector<std::string> words = Words(line);
    return words.size() == 2 && words[0] == "END" && words[1] == "PROGRAM" && EndsWithFullStop(line);
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

}  // namespace

bool HasProgramBlock(const std::string& text) {
    for (const std::string& line : Lines(text)) {
        if (BeginLanguage(line)) return true;
    }
    return false;
}

bool SplitProgramBlocks(const std::string& text, std::vector<SubmittedPiece>& pieces) {
    std::vector<SubmittedPiece> found;
    std::string commands;
    std::optional<ProgramBlock> open;
    for (const std::string& line : Lines(text)) {
        if (open) {
            if (IsEndLine(line)) {
                found.push_back({std::string(), std::move(open)});
                open.reset();
            } else {
                open->lines.push_back(line);
            }
        } else if (auto language = BeginLanguage(line)) {
            if (!Trim(commands).empty()) found.push_back({commands, std::nullopt});
            commands.clear();
            open = ProgramBlock{*language, {}};
        } else {
            commands.append(commands.empty() ? "" : "\n").append(line);
        }
    }
    if (open) return false;
    if (!Trim(commands).empty()) found.push_back({commands, std::nullopt});
    pieces = std::move(found);
    return true;
}

}  // namespace engine
