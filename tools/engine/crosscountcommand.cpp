// CROSSCOUNT <a> BY <b>: the two-way table of weighted counts of the cases
// valid on both, with row and column totals.
#include <map>
#include <utility>
#include <vector>

#include "casestatistics.h"
#include "enginecodes.h"
#include "enginetables.h"
#include "shownvalues.h"
#include "summarycommands.h"
#include "syntaxcommands.h"

namespace engine {

CommandOutcome RunCrosscount(const CommandInput& input, ComputeContext& state) {
    DatasetCases data(state.active);
    SyntaxLexer words(input.rest);
    std::size_t down = 0, across = 0;
    CommandOutcome read = ReadVariable(words, data, VariableKinds::kAny, down);
    if (!read.ok()) return read;
    if (!words.TakeKeyword("BY"))
        return CommandOutcome::Failed(kBadSyntax, "CROSSCOUNT <row variable> BY <column variable>");
    read = ReadVariable(words, data, VariableKinds::kAny, across);
    if (!read.ok()) return read;
    read = ExpectEnd(words);
    if (!read.ok()) return read;
    EngineProcedure procedure(state.results);
    CommandOutcome begun = procedure.Begin("Crosscount");
    if (!begun.ok()) return begun;

    const Variable& a = data.variable(down);
    const Variable& b = data.variable(across);
    TableBuilder table(
        data.Dictionary(),
        TableKey{"Crosscount", a.name + " * " + b.name + " Crosstabulation", "Crosstabulation"});
    const std::vector<std::size_t> splitDimensions = AddSplitDimensions(data, table);
    const std::size_t rows = table.AddDimension(a.name, Place::kRow);
    const std::size_t columns = table.AddDimension(b.name, Place::kColumn);

    for (const CaseGroup& group : SplitGroups(data)) {
        std::map<std::pair<ValueKey, ValueKey>, double> cells;
        std::map<ValueKey, double> rowTotals, columnTotals;
        double total = 0;
        group.ForEachRow(data, [&](std::size_t row) {
            const double weight = data.Weight(row);
            if (weight <= 0 || data.MissingOf(row, down) != Missingness::kValid ||
                data.MissingOf(row, across) != Missingness::kValid) {
                return;
            }
            const ValueKey r = KeyOf(data, row, down), c = KeyOf(data, row, across);
            cells[{r, c}] += weight;
            rowTotals[r] += weight;
            columnTotals[c] += weight;
            total += weight;
        });
        std::vector<std::size_t> at = GroupCoordinates(data, group, splitDimensions, table);
        at.resize(at.size() + 2);
        std::size_t& row = at[at.size() - 2];
        std::size_t& column = at.back();
        // Categories first in value order, so that rows and columns read sorted.
        for (const auto& entry : rowTotals)
            table.Category(rows, ValueCategory(data, down, entry.first));
        for (const auto& entry : columnTotals)
            table.Category(columns, ValueCategory(data, across, entry.first));
        const std::size_t rowTotal = table.Category(rows, StringValue("Total"));
        const std::size_t columnTotal = table.Category(columns, StringValue("Total"));
        for (const auto& [r, rowSum] : rowTotals) {
            row = table.Category(rows, ValueCategory(data, down, r));
            for (const auto& [c, columnSum] : columnTotals) {
                column = table.Category(columns, ValueCategory(data, across, c));
                const auto found = cells.find({r, c});
                table.SetNumber(at, found == cells.end() ? 0.0 : found->second, CountFormat());
            }
            column = columnTotal;
            table.SetNumber(at, rowSum, CountFormat());
        }
        row = rowTotal;
        for (const auto& [c, columnSum] : columnTotals) {
            column = table.Category(columns, ValueCategory(data, across, c));
            table.SetNumber(at, columnSum, CountFormat());
        }
        column = columnTotal;
        table.SetNumber(at, total, CountFormat());
    }
    procedure.AddTable(table.Take());
    return CommandOutcome::Done();
}

}  // namespace engine
