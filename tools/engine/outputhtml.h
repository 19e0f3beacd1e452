// The whole output as one HTML page a person can read in a browser: pivot
// tables as tables (row dimensions down the side under their names, column
// dimensions across under theirs, one table per combination of layer
// categories), footnote letters (one per distinct text) with their notes
// under the table, text blocks, printed lines and graphics in order. The
// notebook kernel shows the same pieces, marked <!--piece kind--> on the page.
#pragma once

#include <string>

#include "outputdocument.h"
#include "outputlog.h"
#include "outputxml.h"

namespace engine {

std::string OutputHtml(const OutputDocument& document, const OutputLog& log);
// OutputHtml, with each finished procedure's part of the page taken from
// `pieces`, or rendered and kept there.
std::string OutputHtml(const OutputDocument& document, const OutputLog& log,
                       ProcedurePieces& pieces);

}  // namespace engine
