// Program blocks in submitted syntax: the lines between
// "BEGIN PROGRAM <language>." and "END PROGRAM." (keywords in any case, each
// on a line of its own) are one block of program text in that language.
// A block's text cannot hold another block's lines; a nested block is
// submitted by the running program itself.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace engine {

struct ProgramBlock {
    std::string language;  // upper case
    std::vector<std::string> lines;
};

// The language of a begin line; nullopt for any other line. A begin line
// without a language names none this engine could run, so it is no begin line.
std::optional<std::string> BlockBeginLanguage(std::string_view line);
bool IsBlockEndLine(std::string_view line);

}  // namespace engine
