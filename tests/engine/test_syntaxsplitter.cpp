// Splitting submitted text into commands and program blocks, and gathering
// queued command parts.
#include <gtest/gtest.h>

#include "commandrunner.h"
#include "syntaxsplitter.h"

namespace {

using engine::BlockLines;
using engine::SplitCommands;
using namespace std::string_literals;

std::vector<std::string> Bodies(const engine::SplitSyntax& split) {
    std::vector<std::string> bodies;
    for (const auto& piece : split.pieces)
        bodies.push_back(piece.block ? "<block " + piece.block->language + ">"
                                     : piece.command.body);
    return bodies;
}

TEST(SyntaxSplitter, CommandsEndAtAFullStopClosingALineOrAtABlankLine) {
    const auto split = SplitCommands(
        "SET WIDTH=100.\nSET OLANG=German.\n"
        "DESCRIBE\n  VARIABLES=a b\n  c.  \n"
        "TALLY VARIABLES=x\n\n"
        "DERIVE y = 2.5 * x.\r\n"
        "SHOW CASES VARIABLES=y");
    EXPECT_EQ(Bodies(split),
              (std::vector<std::string>{"SET WIDTH=100", "SET OLANG=German",
                                        "DESCRIBE\n  VARIABLES=a b\n  c", "TALLY VARIABLES=x",
                                        "DERIVE y = 2.5 * x", "SHOW CASES VARIABLES=y"}));
    std::vector<int> lines;
    for (const auto& piece : split.pieces) lines.push_back(piece.command.line);
    EXPECT_EQ(lines, (std::vector<int>{1, 2, 3, 6, 8, 9}));
    EXPECT_TRUE(split.pieces[4].command.closed);
    EXPECT_FALSE(split.pieces.back().command.closed);
    // The log sees the lines as they were submitted.
    EXPECT_EQ(split.pieces[2].command.text, "DESCRIBE\n  VARIABLES=a b\n  c.  ");
}

TEST(SyntaxSplitter, CommentsAndQuotedFullStopsAreNoCommandEnds) {
    const auto split = SplitCommands(
        "* a comment\n  over two lines.\n"
        "COMMENT another one.\n"
        "SET OLANG='a.b'\n  WIDTH=100.\n"
        "DERIVE z = 1 /* inline. */ + 2.\n"
        "DERIVE w /* across\n lines. */ = 3.\n"
        "/* only a comment */\n"
        "KEEP CASES IF z > 1 /* trailing */.\n"
        "SET OLANG='x.");
    EXPECT_EQ(Bodies(split), (std::vector<std::string>{"SET OLANG='a.b'\n  WIDTH=100",
                                                       "DERIVE z = 1   + 2", "DERIVE w  \n = 3",
                                                       "KEEP CASES IF z > 1", "SET OLANG='x."}));
    std::vector<int> lines;
    for (const auto& piece : split.pieces) lines.push_back(piece.command.line);
    EXPECT_EQ(lines, (std::vector<int>{4, 6, 7, 10, 11}));
    // A full stop inside an open quote ends nothing.
    EXPECT_FALSE(split.pieces.back().command.closed);
    EXPECT_FALSE(split.openComment);
    EXPECT_TRUE(SplitCommands("SET WIDTH=90. /* never closed\n more.").openComment);
}

TEST(SyntaxSplitter, ProgramBlocksStayWholeBetweenCommands) {
    const auto split = SplitCommands(
        "SET WIDTH=100.\nbegin program testlang.\npid\n\nx = 1.\nEND PROGRAM.\nTALLY VARIABLES=a.");
    EXPECT_EQ(Bodies(split),
              (std::vector<std::string>{"SET WIDTH=100", "<block TESTLANG>", "TALLY VARIABLES=a"}));
    EXPECT_EQ(split.pieces[1].block->lines, (std::vector<std::string>{"pid", "", "x = 1."}));
    EXPECT_EQ(split.pieces[1].command.line, 2);
    EXPECT_EQ(split.pieces[2].command.line, 7);

    const auto unended = SplitCommands("SET WIDTH=100.\n\nBEGIN PROGRAM PYTHON.\nprint(1)\n");
    EXPECT_EQ(unended.unendedBlockLine, 3);
    // Queued parts never start blocks: the begin line is a command like any other.
    const auto queued = SplitCommands("BEGIN PROGRAM PYTHON.\nEND PROGRAM.", BlockLines::kOrdinary);
    EXPECT_EQ(Bodies(queued), (std::vector<std::string>{"BEGIN PROGRAM PYTHON", "END PROGRAM"}));
    // A begin line inside an unfinished command belongs to that command.
    EXPECT_EQ(Bodies(SplitCommands("DESCRIBE\nBEGIN PROGRAM X.")),
              (std::vector<std::string>{"DESCRIBE\nBEGIN PROGRAM X"}));
}

TEST(SyntaxSplitter, EmptyAndBlankTextsHoldNoCommand) {
    for (const std::string& text : {""s, "\n\n  \n"s, "."s, "* only a comment."s, "/* x */"s}) {
        EXPECT_TRUE(SplitCommands(text).pieces.empty()) << text;
    }
}

TEST(CommandParts, CompleteAtAFullStopEndingALineOrAtABlankPart) {
    engine::CommandAssembler parts;
    EXPECT_EQ(parts.Add("FREQUENCIES"), std::nullopt);
    EXPECT_TRUE(parts.HasPending());
    EXPECT_EQ(parts.Add("  /VARIABLES=x.y"), std::nullopt);
    EXPECT_EQ(parts.Add("  /FORMAT=NOTABLE. \r\n\t "),
              "FREQUENCIES\n  /VARIABLES=x.y\n  /FORMAT=NOTABLE. \r\n\t ");
    EXPECT_FALSE(parts.HasPending());
    EXPECT_EQ(parts.Add("DESCRIBE VARIABLES=a"), std::nullopt);
    EXPECT_EQ(parts.Add(""), "DESCRIBE VARIABLES=a\n");
    // Blank parts alone gather nothing.
    EXPECT_EQ(parts.Add(" \n"), std::nullopt);
    EXPECT_FALSE(parts.HasPending());
    // A full stop inside a comment or a quote ends nothing.
    EXPECT_EQ(parts.Add("SET OLANG='a."), std::nullopt);
    EXPECT_EQ(parts.Add("/* not yet."), std::nullopt);
    EXPECT_EQ(parts.Add("*/ ."), "SET OLANG='a.\n/* not yet.\n*/ .");
    EXPECT_EQ(parts.Add("A\0B"s), std::nullopt);
    EXPECT_EQ(parts.Add("\0."s), "A\0B\n\0."s);
}

}  // namespace
