// TALLY VARIABLES=<list>: per variable a table of its values with count,
// percent of all cases, percent of valid cases and cumulative percent;
// missing values in rows of their own, and totals.
#include <vector>

#include "casestatistics.h"
#include "enginetables.h"
#include "shownvalues.h"
#include "summarycommands.h"
#include "syntaxcommands.h"

namespace engine {
namespace {

double Percent(double part, double whole) {
    return whole > 0 ? 100.0 * part / whole : kSystemMissing;
}

PivotTable TallyTable(const CaseView& data, const std::vector<CaseGroup>& groups,
                      std::size_t variable) {
    const Variable& described = data.variable(variable);
    TableBuilder table(data.Dictionary(),
                       TableKey{"Tally", described.label.empty() ? described.name : described.label,
                                "Frequencies"});
    const std::vector<std::size_t> splitDimensions = AddSplitDimensions(data, table);
    const std::size_t rows = table.AddDimension("Values", Place::kRow);
    const std::size_t columns = table.AddDimension("Statistics", Place::kColumn);
    const std::size_t frequency = table.Category(columns, StringValue("Frequency"));
    const std::size_t percent = table.Category(columns, StringValue("Percent"));
    const std::size_t validPercent = table.Category(columns, StringValue("Valid Percent"));
    const std::size_t cumulative = table.Category(columns, StringValue("Cumulative Percent"));

    for (const CaseGroup& group : groups) {
        const ValueCounts counts = CountValues(data, group, variable);
        const double total = counts.validTotal + counts.missingTotal;
        std::vector<std::size_t> at = GroupCoordinates(data, group, splitDimensions, table);
        at.resize(at.size() + 2);
        const auto row = [&](ShownValue category) {
            at[at.size() - 2] = table.Category(rows, std::move(category));
        };
        const auto set = [&](std::size_t column, double value, const FormatSpec& format) {
            at.back() = column;
            table.SetNumber(at, value, format);
        };
        double running = 0;
        for (const auto& [value, count] : counts.valid) {
            running += count;
            row(ValueCategory(data, variable, value));
            set(frequency, count, CountFormat());
            set(percent, Percent(count, total), PercentFormat());
            set(validPercent, Percent(count, counts.validTotal), PercentFormat());
            set(cumulative, Percent(running, counts.validTotal), PercentFormat());
        }
        row(StringValue("Valid total"));
        set(frequency, counts.validTotal, CountFormat());
        set(percent, Percent(counts.validTotal, total), PercentFormat());
        set(validPercent, counts.validTotal > 0 ? 100.0 : kSystemMissing, PercentFormat());
        for (const auto& [value, count] : counts.missing) {
            const bool system = !value.isText && value.number == kSystemMissing;
            row(system ? StringValue("System missing") : ValueCategory(data, variable, value));
            set(frequency, count, CountFormat());
            set(percent, Percent(count, total), PercentFormat());
        }
        if (!counts.missing.empty()) {
            row(StringValue("Missing total"));
            set(frequency, counts.missingTotal, CountFormat());
            set(percent, Percent(counts.missingTotal, total), PercentFormat());
        }
        row(StringValue("Total"));
        set(frequency, total, CountFormat());
        set(percent, total > 0 ? 100.0 : kSystemMissing, PercentFormat());
    }
    return table.Take();
}

}  // namespace

CommandOutcome RunTally(const CommandInput& input, ComputeContext& state) {
    DatasetCases data(state.active);
    SyntaxLexer words(input.rest);
    std::vector<std::size_t> variables;
    CommandOutcome read = ReadVariablesSubcommand(words, data, VariableKinds::kAny, variables);
    if (!read.ok()) return read;
    EngineProcedure procedure(state.results);
    CommandOutcome begun = procedure.Begin("Tally");
    if (!begun.ok()) return begun;
    const std::vector<CaseGroup> groups = SplitGroups(data);
    for (std::size_t variable : variables) procedure.AddTable(TallyTable(data, groups, variable));
    return CommandOutcome::Done();
}

}  // namespace engine
