// The output as XML: one document per finished procedure (what its
// identifier's XPath handle holds) and one for the whole output (what
// StartXD writes at its end). Built with libxml2's tree, so every text is
// escaped; bytes that XML cannot hold become U+FFFD.
#pragma once

#include <string>
#include <string_view>

#include "outputdocument.h"
#include "outputlog.h"

namespace engine {

// `text` as valid UTF-8 without the control characters XML 1.0 forbids.
std::string XmlSafeText(std::string_view text);

std::string ProcedureXml(const Procedure& procedure, const OutputLog& log);
// What the "Error" handle holds after a failed command:
// <error command="DESCRIBE" line="2" code="9101">the error text</error>.
std::string ErrorXml(const std::string& command, int line, int code, const std::string& text);
std::string OutputXml(const OutputDocument& document, const OutputLog& log);

}  // namespace engine
