// The commands that change the active dataset case by case through an
// expression: DERIVE <target> = <expression> and KEEP CASES IF <expression>.
// Values are computed for every case before any is written, so an
// expression that reads its own target sees the values as they were.
#include <memory>
#include <vector>

#include "enginecodes.h"
#include "expression.h"
#include "syntaxcommands.h"
#include "varname.h"

namespace engine {
namespace {

// The shape of the active dataset stays while a procedure is open.
CommandOutcome ShapeMayChange(const ComputeContext& state, const char* command) {
    if (!state.results.output.IsOpen()) return CommandOutcome::Done();
    return CommandOutcome::Failed(
        kActiveDatasetInUse,
        std::string(command) + " cannot change the data while a procedure is open");
}

CommandOutcome ReadExpression(SyntaxLexer& words, const CaseView& data,
                              std::unique_ptr<Expression>& expression) {
    CommandOutcome parsed = Expression::Parse(words, data, expression);
    if (!parsed.ok()) return parsed;
    return ExpectEnd(words);
}

}  // namespace

CommandOutcome RunDerive(const CommandInput& input, ComputeContext& state) {
    DatasetCases data(state.active);
    SyntaxLexer words(input.rest);
    const SyntaxToken target = words.Take();
    if (target.kind != SyntaxToken::Kind::kName ||
        ValidateVariableName(target.text) != kNameValid) {
        return CommandOutcome::Failed(
            kBadSyntax, "DERIVE needs a valid variable name before '=', not '" + target.text + "'");
    }
    if (!words.TakeSymbol("="))
        return CommandOutcome::Failed(kBadSyntax,
                                      "DERIVE " + target.text + " needs '=' and an expression");
    std::unique_ptr<Expression> expression;
    CommandOutcome read = ReadExpression(words, data, expression);
    if (!read.ok()) return read;
    auto existing = data.FindVariable(target.text);
    if (existing && !data.variable(*existing).IsNumeric()) {
        return CommandOutcome::Failed(
            kWrongVariableType, "'" + target.text + "' is a string variable; DERIVE makes numbers");
    }
    if (!existing) {
        CommandOutcome shape = ShapeMayChange(state, "DERIVE");
        if (!shape.ok()) return shape;
    }
    std::vector<double> values(data.CaseCount());
    for (std::size_t row = 0; row < values.size(); ++row)
        values[row] = expression->Evaluate(data, row);
    const std::size_t column = existing ? *existing : data.AppendNumericVariable(target.text);
    for (std::size_t row = 0; row < values.size(); ++row) data.SetNumber(row, column, values[row]);
    return CommandOutcome::Done();
}

CommandOutcome RunKeepCases(const CommandInput& input, ComputeContext& state) {
    DatasetCases data(state.active);
    SyntaxLexer words(input.rest);
    if (!words.TakeKeyword("IF"))
        return CommandOutcome::Failed(kBadSyntax, "KEEP CASES IF <expression> is expected");
    std::unique_ptr<Expression> expression;
    CommandOutcome read = ReadExpression(words, data, expression);
    if (!read.ok()) return read;
    CommandOutcome shape = ShapeMayChange(state, "KEEP CASES");
    if (!shape.ok()) return shape;
    std::vector<bool> keep(data.CaseCount());
    for (std::size_t row = 0; row < keep.size(); ++row) keep[row] = expression->IsTrue(data, row);
    data.KeepCases(keep);
    return CommandOutcome::Done();
}

}  // namespace engine
