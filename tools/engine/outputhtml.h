// The whole output as one HTML page a person can read in a browser: pivot
// tables as tables (row dimensions down the side, column dimensions across,
// one table per combination of layer categories), footnote marks with their
// notes under the table, text blocks, posted text and graphics in order.
#pragma once

#include <string>

#include "outputdocument.h"
#include "outputlog.h"

namespace engine {

std::string OutputHtml(const OutputDocument& document, const OutputLog& log);

}  // namespace engine
