// The commands of submitted syntax that the engine carries out, one function
// each, and the helpers they share to read their subcommands. Each gets what
// follows its name and answers with a CommandOutcome; the runner logs the
// command and reports a failure. Under the engine lock, one at a time.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "caseview.h"
#include "commandoutcome.h"
#include "enginestate.h"
#include "syntaxlexer.h"
#include "syntaxsplitter.h"

namespace engine {

struct CommandInput {
    const SyntaxCommand& command;
    // The body after the command's name.
    std::string_view rest;
};

// The runner holds the whole state: a syntax command may touch any of it.
using SyntaxHandler = CommandOutcome (*)(const CommandInput& input, EngineState& state);

// What the computing commands see: the active dataset they read (DERIVE and
// KEEP CASES change it) and the output they file their procedure in.
struct ComputeContext {
    explicit ComputeContext(EngineState& state) : active(state.active), results(state) {}

    Dataset& active;
    OutputState& results;
};

using ComputeHandler = CommandOutcome (*)(const CommandInput& input, ComputeContext& state);

CommandOutcome RunDescribe(const CommandInput& input, ComputeContext& state);
CommandOutcome RunTally(const CommandInput& input, ComputeContext& state);
CommandOutcome RunCrosscount(const CommandInput& input, ComputeContext& state);
CommandOutcome RunDerive(const CommandInput& input, ComputeContext& state);
CommandOutcome RunKeepCases(const CommandInput& input, ComputeContext& state);
CommandOutcome RunShowCases(const CommandInput& input, ComputeContext& state);

enum class VariableKinds { kAny, kNumericOnly };

// "VARIABLES=<names>" up to the end of the command: names separated by
// blanks or commas, ALL for every variable. At least one name.
CommandOutcome ReadVariablesSubcommand(SyntaxLexer& words, const CaseView& data,
                                       VariableKinds kinds, std::vector<std::size_t>& variables);
// One variable name.
CommandOutcome ReadVariable(SyntaxLexer& words, const CaseView& data, VariableKinds kinds,
                            std::size_t& variable);
// Failure unless the command has ended.
CommandOutcome ExpectEnd(const SyntaxLexer& words);

}  // namespace engine
