// The XML documents the engine keeps under handle names for XPath queries:
// the dictionary documents a client asks for and the documents of finished
// procedures. The store owns every document; lookups hand out views that stay
// valid until that handle is replaced or removed. libxml2 errors never reach
// stderr: each call collects them into its own error text. One thread.
#pragma once

#include <libxml/tree.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace engine {

struct XPathDocumentFree {
    void operator()(xmlDoc* document) const { xmlFreeDoc(document); }
};
using XPathDocument = std::unique_ptr<xmlDoc, XPathDocumentFree>;

class XPathStore {
  public:
    // Parses `xml` and keeps it under `handle`, replacing the document there
    // (the handle keeps its place in Handles()). 0, kEmptyHandle, or
    // kMalformedXml with libxml2's message in `error`, the store unchanged.
    int Keep(const std::string& handle, const std::string& xml);
    int Keep(const std::string& handle, const std::string& xml, std::string& error);
    // The same for a document built in memory; kEmptyHandle for "" or a null
    // document.
    int Keep(const std::string& handle, XPathDocument document);
    // The same for a document whose XML text `render` gives the first time a
    // lookup needs it: filing a document no one queries costs nothing.
    // `render` must produce well-formed XML and keep working while the
    // handle is kept; a text that does not parse leaves the handle empty.
    int Keep(const std::string& handle, std::function<std::string()> render);
    // False when no document is kept under `handle`.
    bool Remove(const std::string& handle);
    // Handle names in the order they were first kept.
    std::vector<std::string> Handles() const;
    // Null when no document is kept under `handle`.
    const xmlDoc* Find(const std::string& handle) const;

    // Evaluates `expression` once for each node that `context` selects (the
    // document node for an empty context), in document order, and appends
    // one string per result: each node's string value for a node-set, else
    // the number, boolean or string as XPath's string() gives it.
    // 0, kNoSuchHandle, kBadXPath or kXPathContextNotNodes (with libxml2's
    // message in `error`).
    int Evaluate(const std::string& handle, const std::string& context,
                 const std::string& expression, std::vector<std::string>& results,
                 std::string& error) const;

    // The document as UTF-8 text without an XML declaration, since callers
    // re-encode it. 0 or kNoSuchHandle.
    int Serialize(const std::string& handle, std::string& utf8) const;

  private:
    // A document, or the way to its text until a lookup first needs it;
    // lookups parse it then, hence the mutable members.
    struct Entry {
        std::string handle;
        mutable XPathDocument document;
        mutable std::function<std::string()> render;
    };
    Entry* FindEntry(const std::string& handle);
    void Place(const std::string& handle, XPathDocument document,
               std::function<std::string()> render);

    std::vector<Entry> m_documents;
};

// UTF-8 into UTF-16; a byte that starts no valid sequence becomes U+FFFD.
std::u16string Utf8ToUtf16(const std::string& utf8);

}  // namespace engine
