#include "outputxml.h"

#include <libxml/tree.h>
#include <libxml/xmlsave.h>

#include <memory>
#include <new>
#include <optional>
#include <utility>
#include <vector>

#include "shownvalues.h"

namespace engine {
namespace {

struct DocumentFree {
    void operator()(xmlDoc* document) const { xmlFreeDoc(document); }
};
using Document = std::unique_ptr<xmlDoc, DocumentFree>;

const xmlChar* X(const std::string& text) { return reinterpret_cast<const xmlChar*>(text.c_str()); }

// Length of the valid UTF-8 sequence at `at`, or 0.
std::size_t Utf8Length(std::string_view text, std::size_t at) {
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    unsigned char lead = byte(at);
    std::size_t length = lead < 0x80           ? 1
                         : (lead >> 5) == 0x6  ? 2
                         : (lead >> 4) == 0xE  ? 3
                         : (lead >> 3) == 0x1E ? 4
                                               : 0;
    if (length == 0 || at + length > text.size()) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) return 0;
    }
    if (length == 2 && lead < 0xC2) return 0;                           // overlong
    if (length == 3 && lead == 0xE0 && byte(at + 1) < 0xA0) return 0;   // overlong
    if (length == 3 && lead == 0xED && byte(at + 1) >= 0xA0) return 0;  // surrogate
    if (length == 4 && (lead > 0xF4 || (lead == 0xF0 && byte(at + 1) < 0x90) ||
                        (lead == 0xF4 && byte(at + 1) >= 0x90))) {
        return 0;
    }
    return length;
}

class XmlBuilder final : public OutputVisitor {
  public:
    explicit XmlBuilder(const char* rootName) : m_document(xmlNewDoc(BAD_CAST "1.0")) {
        xmlNode* root = xmlNewDocNode(m_document.get(), nullptr, BAD_CAST rootName, nullptr);
        xmlDocSetRootElement(m_document.get(), root);
        m_parents.push_back(root);
    }

    // Finished procedures of `document` come from and go to `pieces`.
    void ReusePieces(const OutputDocument& document, ProcedurePieces& pieces) {
        m_finished = &document.procedures();
        m_pieces = &pieces;
        m_pieces->resize(m_finished->size());
    }

    std::string Text() const {
        if (m_pieces && root()->children) return Assembled();
        xmlChar* bytes = nullptr;
        int length = 0;
        xmlDocDumpFormatMemoryEnc(m_document.get(), &bytes, &length, "UTF-8", 1);
        std::string text(reinterpret_cast<const char*>(bytes), length > 0 ? length : 0);
        xmlFree(bytes);
        return text;
    }

    xmlNode* root() const { return m_parents.front(); }

    void Describe(const std::string& command, int line, int code, const std::string& text) {
        Attribute(root(), "command", command);
        Attribute(root(), "line", std::to_string(line));
        Attribute(root(), "code", std::to_string(code));
        xmlNodeAddContent(root(), X(XmlSafeText(text)));
    }

    void LogEntry(const OutputLog::Entry& entry) override {
        if (m_skipping) return;
        switch (entry.kind) {
            case OutputLog::Kind::kCommand:
                Child(Parent(), "command", entry.text);
                break;
            case OutputLog::Kind::kOutput:
                Child(Parent(), "text", entry.text);
                break;
            case OutputLog::Kind::kLanguage:
                Child(Parent(), "language", entry.text);
                break;
            case OutputLog::Kind::kError:
                Child(Parent(), "error", entry.text);
                break;
            case OutputLog::Kind::kGraphic: {
                xmlNode* image = Child(Parent(), "image");
                Attribute(image, "name", entry.text.substr(entry.text.find_last_of('/') + 1));
                Attribute(image, "path", entry.text);
                break;
            }
            case OutputLog::Kind::kLabels: {
                xmlNode* labels = Child(Parent(), "graphicLabels");
                Attribute(labels, "first", entry.text);
                Attribute(labels, "second", entry.second);
                break;
            }
        }
    }

    void BeginProcedure(const Procedure& procedure) override {
        // A procedure document is its own root; in the whole output it nests.
        xmlNode* node = m_parents.size() == 1 && xmlStrEqual(root()->name, BAD_CAST "procedure")
                            ? root()
                            : Child(Parent(), "procedure");
        m_parents.push_back(node);
        if (const std::optional<std::size_t> index = FinishedIndex(procedure)) {
            // Its element is taken from the pieces when the text is made.
            m_pieceNodes.emplace_back(node, *index);
            if ((*m_pieces)[*index]) {
                m_skipping = true;
                return;
            }
        }
        Attribute(node, "name", procedure.name);
        Attribute(node, "identifier", procedure.identifier);
        Footnotes(node, procedure.footnotes);
    }

    void EndProcedure(const Procedure&) override {
        m_parents.pop_back();
        m_skipping = false;
    }

    void Table(const PivotTable& table) override {
        if (m_skipping) return;
        xmlNode* node = Child(Parent(), "pivotTable");
        Attribute(node, "outline", table.key.outline);
        Attribute(node, "title", table.key.title);
        Attribute(node, "subtype", table.key.subtype);
        Attribute(node, "flag", Boolean(table.key.flag));
        Attribute(node, "titleHidden", Boolean(table.titleHidden));
        if (table.minColumnWidth)
            Attribute(node, "minColumnWidth", std::to_string(*table.minColumnWidth));
        if (table.maxColumnWidth)
            Attribute(node, "maxColumnWidth", std::to_string(*table.maxColumnWidth));
        Footnotes(node, table.outlineFootnotes, "outline");
        Footnotes(node, table.titleFootnotes, "title");
        if (table.caption) {
            xmlNode* caption = Child(node, "caption");
            Attribute(caption, "text", *table.caption);
            Footnotes(caption, table.captionFootnotes);
        }
        for (const Dimension& dimension : table.dimensions) DimensionNode(node, dimension);
        for (const Cell& cell : table.cells) CellNode(node, table, cell);
    }

    void Text(const TextBlock& block) override {
        if (m_skipping) return;
        xmlNode* node = Child(Parent(), "textBlock", block.text);
        Attribute(node, "outline", block.outline);
        Attribute(node, "title", block.title);
        Attribute(node, "lines", std::to_string(block.lines));
    }

    void Split(const SplitMark& mark) override {
        if (m_skipping) return;
        Attribute(Child(Parent(), "split"), "name", mark.name);
    }

  private:
    // The position of a finished procedure whose piece is wanted.
    std::optional<std::size_t> FinishedIndex(const Procedure& procedure) const {
        return m_pieces ? FinishedPosition(*m_finished, procedure) : std::nullopt;
    }

    // One child of the root as the whole document's formatted dump shows it.
    std::string ChildText(xmlNode* child) const {
        std::unique_ptr<xmlBuffer, decltype(&xmlBufferFree)> buffer(xmlBufferCreate(),
                                                                    &xmlBufferFree);
        xmlOutputBuffer* out = xmlOutputBufferCreateBuffer(buffer.get(), nullptr);
        if (!out) throw std::bad_alloc();
        xmlNodeDumpOutput(out, m_document.get(), child, 1, 1, "UTF-8");
        xmlOutputBufferClose(out);
        return std::string(reinterpret_cast<const char*>(xmlBufferContent(buffer.get())),
                           static_cast<std::size_t>(xmlBufferLength(buffer.get())));
    }

    // The formatted dump of the whole document, with the pieces of finished
    // procedures standing in for their elements.
    std::string Assembled() const {
        std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<";
        text += reinterpret_cast<const char*>(root()->name);
        text += ">\n";
        auto piece = m_pieceNodes.begin();
        for (xmlNode* child = root()->children; child; child = child->next) {
            text += "  ";
            if (piece != m_pieceNodes.end() && piece->first == child) {
                std::optional<std::string>& kept = (*m_pieces)[piece->second];
                if (!kept) kept = ChildText(child);
                text += *kept;
                ++piece;
            } else {
                text += ChildText(child);
            }
            text += "\n";
        }
        text += "</";
        text += reinterpret_cast<const char*>(root()->name);
        return text + ">\n";
    }

    static const char* Boolean(bool value) { return value ? "true" : "false"; }
    static const char* PlaceName(int place) {
        return place == static_cast<int>(Place::kRow)      ? "row"
               : place == static_cast<int>(Place::kColumn) ? "column"
                                                           : "layer";
    }
    static const char* KindName(ShownValue::Kind kind) {
        switch (kind) {
            case ShownValue::Kind::kNumber:
                return "number";
            case ShownValue::Kind::kString:
                return "string";
            case ShownValue::Kind::kVariableName:
                return "variable";
            case ShownValue::Kind::kVariableValue:
                return "value";
            case ShownValue::Kind::kDate:
                return "date";
        }
        return "string";
    }

    xmlNode* Parent() const { return m_parents.back(); }

    xmlNode* Child(xmlNode* parent, const char* name, const std::string& content = {}) {
        std::string safe = XmlSafeText(content);
        return xmlNewTextChild(parent, nullptr, BAD_CAST name, content.empty() ? nullptr : X(safe));
    }

    void Attribute(xmlNode* node, const char* name, const std::string& value) {
        xmlNewProp(node, BAD_CAST name, X(XmlSafeText(value)));
    }

    void Footnotes(xmlNode* node, const std::vector<std::string>& footnotes,
                   const char* level = nullptr) {
        for (const std::string& footnote : footnotes) {
            xmlNode* child = Child(node, "footnote", footnote);
            if (level) Attribute(child, "level", level);
        }
    }

    void ValueAttributes(xmlNode* node, const ShownValue& value) {
        Attribute(node, "kind", KindName(value.kind));
        Attribute(node, "text", value.text);
        if (value.number) Attribute(node, "number", ShortestText(*value.number));
        if (!value.variableName.empty()) Attribute(node, "variable", value.variableName);
    }

    void DimensionNode(xmlNode* parent, const Dimension& dimension) {
        xmlNode* node = Child(parent, "dimension");
        Attribute(node, "name", dimension.key.name);
        Attribute(node, "place", PlaceName(dimension.key.place));
        Attribute(node, "position", std::to_string(dimension.key.position));
        Attribute(node, "hideName", Boolean(dimension.key.hideName));
        Attribute(node, "hideLabels", Boolean(dimension.key.hideLabels));
        Footnotes(node, dimension.footnotes);
        for (std::size_t i = 0; i < dimension.categories.size(); ++i) {
            xmlNode* category = Child(node, "category");
            Attribute(category, "index", std::to_string(i));
            ValueAttributes(category, dimension.categories[i].value);
            Footnotes(category, dimension.categories[i].footnotes);
        }
    }

    void CellNode(xmlNode* parent, const PivotTable& table, const Cell& cell) {
        xmlNode* node = Child(parent, "cell");
        ValueAttributes(node, cell.value);
        if (cell.format) {
            Attribute(node, "format", cell.format->kind);
            if (cell.format->variable >= 0)
                Attribute(node, "formatVariable", std::to_string(cell.format->variable));
        }
        for (std::size_t d = 0; d < cell.at.size(); ++d) {
            const Dimension& dimension = table.dimensions[d];
            xmlNode* at = Child(node, "at");
            Attribute(at, "dimension", dimension.key.name);
            Attribute(at, "category", std::to_string(cell.at[d]));
            Attribute(at, "text", dimension.categories[cell.at[d]].value.text);
        }
        Footnotes(node, cell.footnotes);
    }

    Document m_document;
    std::vector<xmlNode*> m_parents;
    const std::vector<Procedure>* m_finished = nullptr;
    ProcedurePieces* m_pieces = nullptr;
    // Root children that stand for finished procedures, in document order.
    std::vector<std::pair<xmlNode*, std::size_t>> m_pieceNodes;
    // Inside a finished procedure whose piece is already rendered.
    bool m_skipping = false;
};

}  // namespace

std::optional<std::size_t> FinishedPosition(const std::vector<Procedure>& finished,
                                            const Procedure& procedure) {
    // A total order on pointers, since the open procedure lies elsewhere.
    const std::less<const Procedure*> before;
    const Procedure* first = finished.data();
    if (finished.empty() || before(&procedure, first) ||
        !before(&procedure, first + finished.size())) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(&procedure - first);
}

std::string XmlSafeText(std::string_view text) {
    std::string safe;
    safe.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        std::size_t length = Utf8Length(text, at);
        unsigned char lead = static_cast<unsigned char>(text[at]);
        bool control = length == 1 && lead < 0x20 && lead != '\t' && lead != '\n' && lead != '\r';
        if (length == 0 || control) {
            safe += "\xEF\xBF\xBD";
            at += length == 0 ? 1 : length;
        } else {
            safe.append(text, at, length);
            at += length;
        }
    }
    return safe;
}

std::string ProcedureXml(const Procedure& procedure, const OutputLog& log) {
    XmlBuilder builder("procedure");
    VisitProcedure(procedure, log, builder);
    return builder.Text();
}

std::function<std::string()> ProcedureXmlLater(const OutputDocument& document, std::size_t index,
                                               const OutputLog& log) {
    // Finished procedures are never changed or removed, and the log only
    // grows: the text is the same whenever it is rendered.
    return [&document, index, &log] { return ProcedureXml(document.procedures().at(index), log); };
}

std::string ErrorXml(const std::string& command, int line, int code, const std::string& text) {
    XmlBuilder builder("error");
    builder.Describe(command, line, code, text);
    return builder.Text();
}

std::string OutputXml(const OutputDocument& document, const OutputLog& log) {
    XmlBuilder builder("output");
    VisitOutput(document, log, builder);
    return builder.Text();
}

std::string OutputXml(const OutputDocument& document, const OutputLog& log,
                      ProcedurePieces& pieces) {
    XmlBuilder builder("output");
    builder.ReusePieces(document, pieces);
    VisitOutput(document, log, builder);
    return builder.Text();
}

}  // namespace engine
