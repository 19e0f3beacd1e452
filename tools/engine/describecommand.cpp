// DESCRIBE VARIABLES=<list>: per variable the valid cases, minimum, maximum,
// mean and standard deviation, and the cases valid on every variable listed.
#include <vector>

#include "casestatistics.h"
#include "enginetables.h"
#include "shownvalues.h"
#include "summarycommands.h"
#include "syntaxcommands.h"

namespace engine {

CommandOutcome RunDescribe(const CommandInput& input, ComputeContext& state) {
    DatasetCases data(state.active);
    SyntaxLexer words(input.rest);
    std::vector<std::size_t> variables;
    CommandOutcome read =
        ReadVariablesSubcommand(words, data, VariableKinds::kNumericOnly, variables);
    if (!read.ok()) return read;
    EngineProcedure procedure(state.results);
    CommandOutcome begun = procedure.Begin("Describe");
    if (!begun.ok()) return begun;

    TableBuilder table(data.Dictionary(), TableKey{"Descriptives", "Descriptive Statistics",
                                                   "Descriptive Statistics"});
    const std::vector<std::size_t> splitDimensions = AddSplitDimensions(data, table);
    const std::size_t rows = table.AddDimension("Variables", Place::kRow);
    const std::size_t columns = table.AddDimension("Statistics", Place::kColumn);
    const std::size_t n = table.Category(columns, StringValue("N"));
    const std::size_t minimum = table.Category(columns, StringValue("Minimum"));
    const std::size_t maximum = table.Category(columns, StringValue("Maximum"));
    const std::size_t mean = table.Category(columns, StringValue("Mean"));
    const std::size_t deviation = table.Category(columns, StringValue("Std. Deviation"));

    for (const CaseGroup& group : SplitGroups(data)) {
        std::vector<Moments> moments(variables.size());
        double listwise = 0;
        group.ForEachRow(data, [&](std::size_t row) {
            const double weight = data.Weight(row);
            if (weight <= 0) return;
            bool everyValid = true;
            for (std::size_t k = 0; k < variables.size(); ++k) {
                if (data.MissingOf(row, variables[k]) == Missingness::kValid) {
                    moments[k].Add(data.Number(row, variables[k]), weight);
                } else {
                    everyValid = false;
                }
            }
            if (everyValid) listwise += weight;
        });
        std::vector<std::size_t> at = GroupCoordinates(data, group, splitDimensions, table);
        at.resize(at.size() + 2);
        std::size_t& row = at[at.size() - 2];
        const auto set = [&](std::size_t column, double value, const FormatSpec& format) {
            at.back() = column;
            table.SetNumber(at, value, format);
        };
        for (std::size_t k = 0; k < variables.size(); ++k) {
            const std::size_t variable = variables[k];
            row = table.Category(rows,
                                 VariableNameValue(data.Dictionary(), static_cast<int>(variable)));
            const Moments& m = moments[k];
            set(n, m.Weight(), CountFormat());
            set(minimum, m.Minimum(), VariableFormat("Variable", variable));
            set(maximum, m.Maximum(), VariableFormat("Variable", variable));
            set(mean, m.Mean(), VariableFormat("Mean", variable));
            set(deviation, m.StdDev(), VariableFormat("StdDev", variable));
        }
        row = table.Category(rows, StringValue("Valid N (listwise)"));
        set(n, listwise, CountFormat());
    }
    procedure.AddTable(table.Take());
    return CommandOutcome::Done();
}

}  // namespace engine
