#include "syntaxrunner.h"

#include <algorithm>
#include <cctype>
#include <string_view>
#include <vector>

#include "bulktransport.h"
#include "commandtext.h"
#include "enginecodes.h"
#include "languageblocks.h"
#include "outputfiles.h"
#include "outputxml.h"
#include "runtime/stringutil.h"
#include "syntaxcommands.h"

namespace engine {
namespace {

CommandOutcome Set(const CommandInput& input, EngineState& state) {
    return RunSet(input.rest, state.settings, state.log);
}

CommandOutcome FileHandle(const CommandInput& input, EngineState& state) {
    return RunFileHandle(input.rest, state.settings);
}

CommandOutcome Transfer(const CommandInput& input, EngineState& state) {
    TransferContext context(state);
    return RunTransferCommand(input.command.body + ".", context);
}

CommandOutcome Execute(const CommandInput& input, EngineState& state) {
    if (!Trim(input.rest).empty())
        return CommandOutcome::Failed(kBadSyntax, "EXECUTE takes nothing after it");
    TransferContext context(state);
    return RunExecute(context);
}

CommandOutcome Cache(const CommandInput& input, EngineState&) {
    if (!Trim(input.rest).empty())
        return CommandOutcome::Failed(kBadSyntax, "CACHE takes nothing after it");
    return CommandOutcome::Done();
}

template <ComputeHandler Run>
CommandOutcome Computing(const CommandInput& input, EngineState& state) {
    ComputeContext context(state);
    return Run(input, context);
}

struct NamedCommand {
    std::vector<std::string_view> words;
    SyntaxHandler handler;
};

const std::vector<NamedCommand>& Commands() {
    static const std::vector<NamedCommand> commands = {
        {{"SET"}, Set},
        {{"FILE", "HANDLE"}, FileHandle},
        {{"GET", "DATA"}, Transfer},
        {{"SAVE"}, Transfer},
        {{"EXECUTE"}, Execute},
        {{"CACHE"}, Cache},
        {{"DESCRIBE"}, Computing<RunDescribe>},
        {{"TALLY"}, Computing<RunTally>},
        {{"CROSSCOUNT"}, Computing<RunCrosscount>},
        {{"DERIVE"}, Computing<RunDerive>},
        {{"KEEP", "CASES"}, Computing<RunKeepCases>},
        {{"SHOW", "CASES"}, Computing<RunShowCases>},
    };
    return commands;
}

// The leading words of a body (letters only), upper case, with where each ends.
struct LeadingWord {
    std::string word;
    std::size_t end;
};

std::vector<LeadingWord> LeadingWords(std::string_view body, std::size_t count) {
    std::vector<LeadingWord> words;
    std::size_t at = 0;
    while (words.size() < count) {
        while (at < body.size() && IsBlank(body[at])) ++at;
        const std::size_t start = at;
        while (at < body.size() && std::isalpha(static_cast<unsigned char>(body[at]))) ++at;
        if (at == start) break;
        // A word runs into the next character only at a blank or a symbol.
        if (at < body.size() &&
            (std::isalnum(static_cast<unsigned char>(body[at])) || body[at] == '_'))
            break;
        words.push_back({textutil::UpperString(body.substr(start, at - start)), at});
    }
    return words;
}

std::string FirstWordOf(std::string_view body) {
    std::size_t end = 0;
    while (end < body.size() && !IsBlank(body[end]) && body[end] != '/' && end < 40) ++end;
    return std::string(body.substr(0, end));
}

int RunBlock(const SyntaxPiece& piece, EngineState& state) {
    if (!state.languages) return kNoLanguageHosting;
    state.log.Add(OutputLog::Kind::kCommand, "BEGIN PROGRAM " + piece.block->language + ".");
    const int status = state.languages->Run(*piece.block, state);
    state.log.Add(OutputLog::Kind::kCommand, "END PROGRAM.");
    // What the block filed is on disk before anything else can go wrong.
    SaveOutput(state);
    return status;
}

}  // namespace

CommandOutcome RunSyntaxCommand(const SyntaxCommand& command, EngineState& state,
                                std::string& name) {
    const std::string_view body = command.body;
    const std::vector<LeadingWord> words = LeadingWords(body, 2);
    name = words.empty() ? FirstWordOf(body) : words.front().word;
    if (body.find('\0') != std::string_view::npos) {
        return CommandOutcome::Failed(kBadSyntax, "the command holds a zero byte");
    }
    for (const NamedCommand& known : Commands()) {
        if (words.size() < known.words.size()) continue;
        const bool matches = std::equal(
            known.words.begin(), known.words.end(), words.begin(),
            [](std::string_view want, const LeadingWord& have) { return want == have.word; });
        if (!matches) continue;
        name.clear();
        for (std::string_view word : known.words) name.append(name.empty() ? "" : " ").append(word);
        const std::size_t end = words[known.words.size() - 1].end;
        return known.handler(CommandInput{command, body.substr(end)}, state);
    }
    return CommandOutcome::Failed(kUnknownSyntaxCommand,
                                  "the engine does not know the command '" + name + "'");
}

void ReportFailure(OutputState& state, const std::string& name, int line,
                   const CommandOutcome& outcome) {
    const std::string text = name + " (line " + std::to_string(line) + "): " + outcome.cause;
    state.log.Add(OutputLog::Kind::kError, text);
    state.documents.Keep(kErrorHandle, ErrorXml(name, line, outcome.code, text));
}

int RunSyntax(const std::string& text, EngineState& state, BlockLines blocks) {
    SplitSyntax split = SplitCommands(text, blocks);
    if (split.unendedBlockLine) {
        state.log.Add(OutputLog::Kind::kCommand, text);
        ReportFailure(state, "BEGIN PROGRAM", *split.unendedBlockLine,
                      CommandOutcome::Failed(
                          kIncompleteProgramBlock,
                          "the program block has no END PROGRAM line; nothing of the text ran"));
        return kIncompleteProgramBlock;
    }
    for (const SyntaxPiece& piece : split.pieces) {
        if (piece.block) {
            const int status = RunBlock(piece, state);
            if (status == 0) continue;
            ReportFailure(
                state, "BEGIN PROGRAM " + piece.block->language, piece.command.line,
                CommandOutcome::Failed(
                    status, status == kNoLanguageHosting
                                ? "this engine runs no program blocks"
                                : "the program block ended with status " + std::to_string(status)));
            return status;
        }
        state.log.Add(OutputLog::Kind::kCommand, piece.command.text);
        std::string name;
        const CommandOutcome outcome = RunSyntaxCommand(piece.command, state, name);
        if (outcome.ok()) continue;
        ReportFailure(state, name, piece.command.line, outcome);
        return outcome.code;
    }
    return 0;
}

}  // namespace engine
