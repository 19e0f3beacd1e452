#include "outputxml.h"

#include <libxml/tree.h>

#include <memory>
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

    std::string Text() const {
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
        Attribute(node, "name", procedure.name);
        Attribute(node, "identifier", procedure.identifier);
        Footnotes(node, procedure.footnotes);
        m_parents.push_back(node);
    }

    void EndProcedure(const Procedure&) override { m_parents.pop_back(); }

    void Table(const PivotTable& table) override {
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
        xmlNode* node = Child(Parent(), "textBlock", block.text);
        Attribute(node, "outline", block.outline);
        Attribute(node, "title", block.title);
        Attribute(node, "lines", std::to_string(block.lines));
    }

    void Split(const SplitMark& mark) override {
        Attribute(Child(Parent(), "split"), "name", mark.name);
    }

  private:
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
};

}  // namespace

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

}  // namespace engine
