// The active dataset's dictionary as an XML document for XPath queries:
// every variable with its properties, the file attributes, the multiple
// response sets and the split variables. Built with libxml2's tree API, so
// any text of the dictionary arrives escaped, and bytes XML cannot hold
// become U+FFFD; the caller owns the document.
//
//   <dictionary dataset="" variables="9" cases="150" [weight="w"]>
//     <variable position="0" name="x" label="..." type="numeric|string" width="8"
//               format="F8.2" level="scale" role="input" alignment="right" columnWidth="8">
//       <missingValues><range low="1" high="2"/><value>9</value></missingValues>
//       <valueLabel value="1">low</valueLabel>
//       <attribute name="Unit"><value>cm</value></attribute>
//     </variable>
//     <fileAttribute name="Source"><value>...</value></fileAttribute>
//     <multipleResponseSet name="$s" label="..." kind="category|dichotomy" countedValue=""
//     second="0">
//       <member>x</member>
//     </multipleResponseSet>
//     <splitVariable>x</splitVariable>
//   </dictionary>
#pragma once

#include "dataset.h"
#include "xpathstore.h"

namespace engine {

// Throws std::bad_alloc when libxml2 cannot allocate a node.
XPathDocument BuildDictionaryDocument(const Dataset& data);

}  // namespace engine
