// What the engine's computing commands share: reading variable names.
#include "enginecodes.h"
#include "syntaxcommands.h"

namespace engine {

CommandOutcome ReadVariable(SyntaxLexer& words, const CaseView& data, VariableKinds kinds,
                            std::size_t& variable) {
    const SyntaxToken& token = words.Peek();
    if (token.kind != SyntaxToken::Kind::kName) {
        return CommandOutcome::Failed(
            kUnknownVariable, token.kind == SyntaxToken::Kind::kEnd
                                  ? "a variable name is missing"
                                  : "'" + token.text + "' where a variable name is expected");
    }
    auto found = data.FindVariable(token.text);
    if (!found)
        return CommandOutcome::Failed(kUnknownVariable, "unknown variable '" + token.text + "'");
    if (kinds == VariableKinds::kNumericOnly && !data.variable(*found).IsNumeric()) {
        return CommandOutcome::Failed(
            kWrongVariableType,
            "'" + token.text + "' is a string variable; a numeric one is needed");
    }
    words.Take();
    variable = *found;
    return CommandOutcome::Done();
}

CommandOutcome ReadVariablesSubcommand(SyntaxLexer& words, const CaseView& data,
                                       VariableKinds kinds, std::vector<std::size_t>& variables) {
    words.TakeSymbol("/");
    if (!words.TakeKeyword("VARIABLES") || !words.TakeSymbol("=")) {
        return CommandOutcome::Failed(kBadSyntax, "VARIABLES=<names> is expected");
    }
    if (words.TakeKeyword("ALL")) {
        for (std::size_t v = 0; v < data.VariableCount(); ++v) {
            if (kinds == VariableKinds::kAny || data.variable(v).IsNumeric())
                variables.push_back(v);
        }
        return ExpectEnd(words);
    }
    do {
        std::size_t variable = 0;
        CommandOutcome read = ReadVariable(words, data, kinds, variable);
        if (!read.ok()) return read;
        variables.push_back(variable);
        words.TakeSymbol(",");
    } while (!words.AtEnd());
    return CommandOutcome::Done();
}

CommandOutcome ExpectEnd(const SyntaxLexer& words) {
    if (words.AtEnd()) return CommandOutcome::Done();
    return CommandOutcome::Failed(kBadSyntax, "'" + words.Peek().text + "' is not expected here");
}

}  // namespace engine
