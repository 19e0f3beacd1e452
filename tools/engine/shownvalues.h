// How categories and cells read in the output: numbers rendered by their
// number format, variables by their label, values by their value
// label. Pure functions over the active dataset's dictionary.
#pragma once

#include <string>

#include "dataset.h"
#include "outputdocument.h"

namespace engine {

// Fixed notation with `decimals` places; "." for system-missing.
std::string FixedText(double value, int decimals);

// The shortest text that reads back as the same double.
std::string ShortestText(double value);

// A number category: the shortest text that reads back as the same double.
ShownValue NumberValue(double value);
ShownValue StringValue(std::string text);
ShownValue DateValue(std::string text);
// The variable's label, or its name without one. `position` must be valid.
ShownValue VariableNameValue(const Dataset& dataset, int position);
// The value's label when it has one, else the value in the variable's format.
ShownValue VariableValue(const Dataset& dataset, int position, double value);
// The value's label when it has one, else the value without trailing blanks.
ShownValue VariableValue(const Dataset& dataset, int position, const std::string& value);

// A number cell in the given format: counts without decimals, percents with
// one and a sign, statistics with three, and variable-bound kinds with the
// variable's decimals (means and deviations two more, differences one more).
ShownValue NumberCellValue(const Dataset& dataset, double value, const FormatSpec& format);

}  // namespace engine
