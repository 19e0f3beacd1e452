// Splits submitted text into commands by the command syntax's rules: a
// command ends with a full stop at the end of a line or at a blank line, and
// runs over as many lines as it needs; "/* ... */" comments (across lines
// too, not inside quotes) are dropped, as are whole comment commands that
// start with "*" or COMMENT. A "BEGIN PROGRAM <language>." line outside a
// command opens a program block that its "END PROGRAM." line closes. Pure
// functions; no state.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "programblock.h"

namespace engine {

struct SyntaxCommand {
    // The lines as submitted, for the output log.
    std::string text;
    // Without comments and without the final full stop, trimmed; lines are
    // joined by '\n'.
    std::string body;
    // The first line of the command (or of the block's begin line), from 1.
    int line = 1;
    // False for a last command that the text left without its full stop.
    bool closed = true;
};

// A command, or a program block when `block` is set.
struct SyntaxPiece {
    SyntaxCommand command;
    std::optional<ProgramBlock> block;
};

struct SplitSyntax {
    std::vector<SyntaxPiece> pieces;
    // The begin line of a block the text does not end; nothing of such a
    // text may run.
    std::optional<int> unendedBlockLine;
    // Inside a "/*" comment at the end of the text.
    bool openComment = false;
};

enum class BlockLines { kRecognised, kOrdinary };

SplitSyntax SplitCommands(std::string_view text, BlockLines blocks = BlockLines::kRecognised);

}  // namespace engine
