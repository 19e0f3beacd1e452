#include "xpathstore.h"

#include <libxml/parser.h>
#include <libxml/xmlerror.h>
#include <libxml/xmlsave.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <utility>

#include "enginecodes.h"
#include "runtime/statuscodes.h"

namespace engine {
namespace {

struct ParserContextFree {
    void operator()(xmlParserCtxt* context) const { xmlFreeParserCtxt(context); }
};
struct XPathContextFree {
    void operator()(xmlXPathContext* context) const { xmlXPathFreeContext(context); }
};
struct CompiledFree {
    void operator()(xmlXPathCompExpr* compiled) const { xmlXPathFreeCompExpr(compiled); }
};
struct ObjectFree {
    void operator()(xmlXPathObject* object) const { xmlXPathFreeObject(object); }
};
struct BufferFree {
    void operator()(xmlBuffer* buffer) const { xmlBufferFree(buffer); }
};
struct XmlTextFree {
    void operator()(xmlChar* text) const { xmlFree(text); }
};
using XPathObject = std::unique_ptr<xmlXPathObject, ObjectFree>;
using XmlText = std::unique_ptr<xmlChar, XmlTextFree>;

void AppendMessage(std::string& collected, std::string message) {
    while (!message.empty() && (message.back() == '\n' || message.back() == ' '))
        message.pop_back();
    if (message.empty()) return;
    if (!collected.empty()) collected += "; ";
    collected += message;
}

// Some libxml2 messages (unknown XPath functions, for one) bypass every
// per-context handler and go to the thread's generic error function, which
// prints to stderr. This points it at `collected` for the guard's life.
class GenericErrorCapture {
  public:
    explicit GenericErrorCapture(std::string& collected)
        : m_previous(xmlGenericError), m_previousContext(xmlGenericErrorContext) {
        xmlSetGenericErrorFunc(&collected, &Collect);
    }
    ~GenericErrorCapture() { xmlSetGenericErrorFunc(m_previousContext, m_previous); }
    GenericErrorCapture(const GenericErrorCapture&) = delete;
    GenericErrorCapture& operator=(const GenericErrorCapture&) = delete;

  private:
    // libxml2 sends one message in several pieces; they are joined as they come.
    static void Collect(void* collected, const char* format, ...) {
        char piece[512];
        va_list values;
        va_start(values, format);
        std::vsnprintf(piece, sizeof piece, format, values);
        va_end(values);
        auto& text = *static_cast<std::string*>(collected);
        text += piece;
    }

    xmlGenericErrorFunc m_previous;
    void* m_previousContext;
};

// The structured error of an XPath context: the parameter's constness
// differs between libxml2 versions.
template <typename ErrorPointer>
void CollectStructured(void* collected, ErrorPointer error) {
    if (error && error->message)
        AppendMessage(*static_cast<std::string*>(collected), error->message);
}

std::string Tidy(std::string text) {
    std::string tidy;
    std::string line;
    for (char c : text) {
        if (c == '\n') {
            AppendMessage(tidy, std::exchange(line, std::string()));
        } else {
            line += c;
        }
    }
    AppendMessage(tidy, line);
    return tidy;
}

std::string NodeText(xmlNode* node) {
    XmlText text(xmlXPathCastNodeToString(node));
    return text ? std::string(reinterpret_cast<const char*>(text.get())) : std::string();
}

// Compiles and runs XPath over one document, collecting every message.
class Evaluator {
  public:
    Evaluator(const xmlDoc* document, std::string& error)
        : m_error(error),
          m_capture(m_generic),
          m_context(xmlXPathNewContext(const_cast<xmlDoc*>(document))) {
        if (m_context) {
            m_context->error = &CollectStructured;
            m_context->userData = &m_structured;
        }
    }
    ~Evaluator() = default;
    Evaluator(const Evaluator&) = delete;
    Evaluator& operator=(const Evaluator&) = delete;

    // Null (and the messages in the error text) when it does not compile.
    std::unique_ptr<xmlXPathCompExpr, CompiledFree> Compile(const std::string& expression) {
        std::unique_ptr<xmlXPathCompExpr, CompiledFree> compiled;
        if (!m_context) {
            Fail("no XPath context");
        } else if (expression.find('\0') != std::string::npos) {
            Fail("the expression holds a zero byte");
        } else {
            compiled.reset(xmlXPathCtxtCompile(
                m_context.get(), reinterpret_cast<const xmlChar*>(expression.c_str())));
            if (!compiled) Fail("'" + expression + "' does not compile");
        }
        return compiled;
    }

    XPathObject Run(xmlXPathCompExpr* compiled, xmlNode* at) {
        m_context->node = at;
        XPathObject result(xmlXPathCompiledEval(compiled, m_context.get()));
        if (!result) Fail("the expression fails");
        return result;
    }

  private:
    void Fail(const std::string& what) {
        std::string message = m_structured;
        AppendMessage(message, Tidy(m_generic));
        m_error = message.empty() ? what : what + ": " + message;
    }

    std::string& m_error;
    std::string m_structured;
    std::string m_generic;
    GenericErrorCapture m_capture;
    std::unique_ptr<xmlXPathContext, XPathContextFree> m_context;
};

void AppendResult(xmlXPathObject& result, std::vector<std::string>& results) {
    if (result.type != XPATH_NODESET) {
        XmlText text(xmlXPathCastToString(&result));
        results.emplace_back(text ? reinterpret_cast<const char*>(text.get()) : "");
        return;
    }
    xmlNodeSet* nodes = result.nodesetval;
    if (!nodes) return;
    xmlXPathNodeSetSort(nodes);
    for (int i = 0; i < nodes->nodeNr; ++i) results.push_back(NodeText(nodes->nodeTab[i]));
}

// The length of the valid sequence at `at` and its code point; 0 for a stray
// byte, a truncated or overlong sequence, a surrogate or a value beyond U+10FFFF.
std::size_t DecodeUtf8(const std::string& text, std::size_t at, char32_t& code) {
    const auto lead = static_cast<unsigned char>(text[at]);
    std::size_t length = 0;
    if (lead < 0x80) {
        code = lead;
        return 1;
    } else if (lead >= 0xC2 && lead < 0xE0) {
        length = 2;
        code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead < 0xF0) {
        length = 3;
        code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead < 0xF5) {
        length = 4;
        code = lead & 0x07;
    } else {
        return 0;
    }
    if (at + length > text.size()) return 0;
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[at + k]);
        if ((next & 0xC0) != 0x80) return 0;
        code = (code << 6) | (next & 0x3F);
    }
    if (length == 3 && code < 0x800) return 0;
    if (length == 4 && (code < 0x10000 || code > 0x10FFFF)) return 0;
    if (code >= 0xD800 && code <= 0xDFFF) return 0;
    return length;
}

// The document of `xml`, or null with libxml2's message in `error`.
XPathDocument Parse(const std::string& xml, std::string& error) {
    if (xml.size() > static_cast<std::size_t>(INT_MAX)) {
        error = "the document is too large";
        return nullptr;
    }
    std::string generic;
    GenericErrorCapture capture(generic);
    std::unique_ptr<xmlParserCtxt, ParserContextFree> parser(xmlNewParserCtxt());
    if (!parser) {
        error = "no parser context";
        return nullptr;
    }
    // No network, no entity substitution; messages stay in the context.
    const int options = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;
    XPathDocument document(xmlCtxtReadMemory(parser.get(), xml.data(), static_cast<int>(xml.size()),
                                             nullptr, nullptr, options));
    if (!document) {
        const xmlError* last = xmlCtxtGetLastError(parser.get());
        error = last && last->message ? Tidy(last->message) : Tidy(generic);
        if (error.empty()) error = "not well-formed XML";
        if (last && last->line > 0) error = "line " + std::to_string(last->line) + ": " + error;
    }
    return document;
}

}  // namespace

int XPathStore::Keep(const std::string& handle, const std::string& xml) {
    std::string error;
    return Keep(handle, xml, error);
}

int XPathStore::Keep(const std::string& handle, const std::string& xml, std::string& error) {
    if (handle.empty()) return kEmptyHandle;
    XPathDocument document = Parse(xml, error);
    if (!document) return kMalformedXml;
    return Keep(handle, std::move(document));
}

XPathStore::Entry* XPathStore::FindEntry(const std::string& handle) {
    auto found = std::find_if(m_documents.begin(), m_documents.end(),
                              [&](const Entry& entry) { return entry.handle == handle; });
    return found == m_documents.end() ? nullptr : &*found;
}

void XPathStore::Place(const std::string& handle, XPathDocument document,
                       std::function<std::string()> render) {
    if (Entry* found = FindEntry(handle)) {
        found->document = std::move(document);
        found->render = std::move(render);
    } else {
        m_documents.push_back(Entry{handle, std::move(document), std::move(render)});
    }
}

int XPathStore::Keep(const std::string& handle, XPathDocument document) {
    if (handle.empty() || !document) return kEmptyHandle;
    Place(handle, std::move(document), nullptr);
    return VEXA_OK;
}

int XPathStore::Keep(const std::string& handle, std::function<std::string()> render) {
    if (handle.empty() || !render) return kEmptyHandle;
    Place(handle, nullptr, std::move(render));
    return VEXA_OK;
}

bool XPathStore::Remove(const std::string& handle) {
    auto found = std::find_if(m_documents.begin(), m_documents.end(),
                              [&](const Entry& entry) { return entry.handle == handle; });
    if (found == m_documents.end()) return false;
    m_documents.erase(found);
    return true;
}

std::vector<std::string> XPathStore::Handles() const {
    std::vector<std::string> handles;
    for (const Entry& entry : m_documents) handles.push_back(entry.handle);
    return handles;
}

const xmlDoc* XPathStore::Find(const std::string& handle) const {
    auto found = std::find_if(m_documents.begin(), m_documents.end(),
                              [&](const Entry& entry) { return entry.handle == handle; });
    if (found == m_documents.end()) return nullptr;
    if (found->render) {
        const std::function<std::string()> render = std::move(found->render);
        found->render = nullptr;
        std::string error;
        found->document = Parse(render(), error);
    }
    return found->document.get();
}

int XPathStore::Evaluate(const std::string& handle, const std::string& context,
                         const std::string& expression, std::vector<std::string>& results,
                         std::string& error) const {
    const xmlDoc* document = Find(handle);
    if (!document) return kNoSuchHandle;
    Evaluator evaluator(document, error);
    auto compiled = evaluator.Compile(expression);
    if (!compiled) return kBadXPath;

    // The context result owns the namespace nodes it selected, so it lives
    // while the expression runs on them.
    XPathObject contextResult;
    std::vector<xmlNode*> at;
    if (context.empty()) {
        at.push_back(reinterpret_cast<xmlNode*>(const_cast<xmlDoc*>(document)));
    } else {
        auto compiledContext = evaluator.Compile(context);
        if (!compiledContext) return kBadXPath;
        contextResult = evaluator.Run(compiledContext.get(),
                                      reinterpret_cast<xmlNode*>(const_cast<xmlDoc*>(document)));
        if (!contextResult) return kBadXPath;
        if (contextResult->type != XPATH_NODESET) {
            error = "the context '" + context + "' selects no nodes";
            return kXPathContextNotNodes;
        }
        if (xmlNodeSet* nodes = contextResult->nodesetval) {
            xmlXPathNodeSetSort(nodes);
            at.assign(nodes->nodeTab, nodes->nodeTab + nodes->nodeNr);
        }
    }
    std::vector<std::string> found;
    for (xmlNode* node : at) {
        XPathObject result = evaluator.Run(compiled.get(), node);
        if (!result) return kBadXPath;
        AppendResult(*result, found);
    }
    results.insert(results.end(), found.begin(), found.end());
    return VEXA_OK;
}

int XPathStore::Serialize(const std::string& handle, std::string& utf8) const {
    const xmlDoc* document = Find(handle);
    if (!document) return kNoSuchHandle;
    std::string generic;
    GenericErrorCapture capture(generic);
    std::unique_ptr<xmlBuffer, BufferFree> buffer(xmlBufferCreate());
    if (!buffer) return ENOMEM;
    xmlSaveCtxt* save = xmlSaveToBuffer(buffer.get(), "UTF-8", XML_SAVE_NO_DECL);
    if (!save) return ENOMEM;
    xmlSaveDoc(save, const_cast<xmlDoc*>(document));
    // Closing flushes into the buffer and releases the save context.
    if (xmlSaveClose(save) < 0) return ENOMEM;
    utf8.assign(reinterpret_cast<const char*>(xmlBufferContent(buffer.get())),
                static_cast<std::size_t>(xmlBufferLength(buffer.get())));
    return VEXA_OK;
}

std::u16string Utf8ToUtf16(const std::string& utf8) {
    constexpr char16_t kReplacement = 0xFFFD;
    std::u16string wide;
    wide.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        char32_t code = 0;
        const std::size_t length = DecodeUtf8(utf8, i, code);
        if (length == 0) {
            wide.push_back(kReplacement);
            ++i;
            continue;
        }
        if (code >= 0x10000) {
            code -= 0x10000;
            wide.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
            wide.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
        } else {
            wide.push_back(static_cast<char16_t>(code));
        }
        i += length;
    }
    return wide;
}

}  // namespace engine
