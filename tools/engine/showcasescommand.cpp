// SHOW CASES VARIABLES=<list>: the cases as a text table, one line per case,
// numbers in their variable's format ("." when system-missing), texts
// without trailing blanks.
#include <algorithm>
#include <string>
#include <vector>

#include "enginetables.h"
#include "shownvalues.h"
#include "syntaxcommands.h"

namespace engine {
namespace {

std::string Padded(const std::string& text, std::size_t width, bool right) {
    const std::string blanks(width > text.size() ? width - text.size() : 0, ' ');
    return right ? blanks + text : text + blanks;
}

}  // namespace

CommandOutcome RunShowCases(const CommandInput& input, ComputeContext& state) {
    DatasetCases data(state.active);
    SyntaxLexer words(input.rest);
    std::vector<std::size_t> variables;
    CommandOutcome read = ReadVariablesSubcommand(words, data, VariableKinds::kAny, variables);
    if (!read.ok()) return read;
    EngineProcedure procedure(state.results);
    CommandOutcome begun = procedure.Begin("Show Cases");
    if (!begun.ok()) return begun;

    std::vector<std::vector<std::string>> columns;
    columns.push_back({"Case"});
    for (std::size_t row = 0; row < data.CaseCount(); ++row)
        columns[0].push_back(std::to_string(row + 1));
    for (std::size_t variable : variables) {
        const Variable& shown = data.variable(variable);
        std::vector<std::string>& column = columns.emplace_back();
        column.push_back(shown.name);
        for (std::size_t row = 0; row < data.CaseCount(); ++row) {
            column.push_back(shown.IsNumeric() ? FixedText(data.Number(row, variable),
                                                           shown.properties.format.decimals)
                                               : data.Text(row, variable));
        }
    }
    std::vector<std::size_t> widths;
    for (const auto& column : columns) {
        std::size_t width = 0;
        for (const std::string& cell : column) width = std::max(width, cell.size());
        widths.push_back(width);
    }
    std::string text;
    for (std::size_t line = 0; line <= data.CaseCount(); ++line) {
        for (std::size_t c = 0; c < columns.size(); ++c) {
            const bool right = c == 0 || data.variable(variables[c - 1]).IsNumeric();
            text += (c ? "  " : "") + Padded(columns[c][line], widths[c], right);
        }
        text += '\n';
    }
    procedure.AddText(TextBlock{"Show Cases", "Cases", std::move(text), 0});
    return CommandOutcome::Done();
}

}  // namespace engine
