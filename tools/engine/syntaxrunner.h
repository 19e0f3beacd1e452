// Runs submitted syntax: splits the text into commands and program blocks,
// logs each command and carries it out in order, and stops at the first
// that fails. A failure puts its error text (the command's name, its line
// and the cause) into the output log, and so into the XML and HTML output,
// and keeps it as the document under the "Error" XPath handle. Runs on the
// thread that holds the engine lock.
#pragma once

#include <string>

#include "commandoutcome.h"
#include "enginestate.h"
#include "syntaxsplitter.h"

namespace engine {

// The XPath handle of the last failure's document.
inline constexpr const char* kErrorHandle = "Error";

// 0, or the code of the command or block that failed.
int RunSyntax(const std::string& text, EngineState& state, BlockLines blocks);

// One command; the caller has logged it.
CommandOutcome RunSyntaxCommand(const SyntaxCommand& command, EngineState& state,
                                std::string& name);

void ReportFailure(OutputState& state, const std::string& name, int line,
                   const CommandOutcome& outcome);

}  // namespace engine
