// Program blocks in submitted syntax: the lines between
// "BEGIN PROGRAM <language>." and "END PROGRAM." (keywords in any case, each
// on a line of its own) are one block of program text in that language.
// A block's text cannot hold another block's lines; a nested block is
// submitted by the running program itself.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace engine {

struct ProgramBlock {
    std::string language;  // upper case
    std::vector<std::string> lines;
};

// One piece of submitted text, in order: command text, or a block.
struct SubmittedPiece {
    std::string commandText;
    std::optional<ProgramBlock> block;
};

bool HasProgramBlock(const std::string& text);
// False (pieces unchanged) for a block without its end line. A begin line
// without a language is command text.
bool SplitProgramBlocks(const std::string& text, std::vector<SubmittedPiece>& pieces);

}  // namespace engine
