// The output as XML: one document per finished procedure (what its
// identifier's XPath handle holds) and one for the whole output (what
// StartXD writes at its end). Built with libxml2's tree, so every text is
// escaped; bytes that XML cannot hold become U+FFFD.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "outputdocument.h"
#include "outputlog.h"

namespace engine {

// `text` as valid UTF-8 without the control characters XML 1.0 forbids.
std::string XmlSafeText(std::string_view text);

std::string ProcedureXml(const Procedure& procedure, const OutputLog& log);
// ProcedureXml of the finished procedure at `index`, when called: a
// procedure's document is filed at its end but rendered only when first
// queried. Reads the document and the log then; both must still exist.
std::function<std::string()> ProcedureXmlLater(const OutputDocument& document, std::size_t index,
                                               const OutputLog& log);
// What the "Error" handle holds after a failed command:
// <error command="DESCRIBE" line="2" code="9101">the error text</error>.
std::string ErrorXml(const std::string& command, int line, int code, const std::string& text);
std::string OutputXml(const OutputDocument& document, const OutputLog& log);

// What finished procedure i of a document renders to, once rendered: a
// finished procedure never changes, so a writer that saves the whole output
// after each procedure renders each one once. Holds the pieces of one
// document only.
using ProcedurePieces = std::vector<std::optional<std::string>>;
// The position of `procedure` among `finished`, when it is one of them.
std::optional<std::size_t> FinishedPosition(const std::vector<Procedure>& finished,
                                            const Procedure& procedure);
// OutputXml, with each finished procedure's element taken from `pieces`, or
// rendered and kept there.
std::string OutputXml(const OutputDocument& document, const OutputLog& log,
                      ProcedurePieces& pieces);

}  // namespace engine
