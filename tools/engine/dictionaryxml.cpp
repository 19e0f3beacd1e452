#include "dictionaryxml.h"

#include <charconv>
#include <new>
#include <string>
#include <vector>

#include "outputxml.h"

namespace engine {
namespace {

const xmlChar* X(const char* text) { return reinterpret_cast<const xmlChar*>(text); }

// Shortest text that reads back as the same double.
std::string NumberText(double value) {
    char text[32];
    auto [end, failure] = std::to_chars(text, text + sizeof text, value);
    return failure == std::errc() ? std::string(text, end) : std::string();
}

std::string LevelText(int level) {
    switch (level) {
        case kNominal:
            return "nominal";
        case kOrdinal:
            return "ordinal";
        case kScale:
            return "scale";
        default:
            return std::to_string(level);
    }
}

std::string RoleText(int role) {
    static const char* const kNames[] = {"input", "target", "both", "none", "partition", "split"};
    if (role >= kRoleInput && role <= kRoleSplit) return kNames[role];
    return std::to_string(role);
}

std::string AlignmentText(int alignment) {
    static const char* const kNames[] = {"left", "right", "center"};
    if (alignment >= kAlignLeft && alignment <= kAlignCenter) return kNames[alignment];
    return std::to_string(alignment);
}

std::string SetKindText(int kind) {
    if (kind == kCategorySet) return "category";
    if (kind == kDichotomySet) return "dichotomy";
    return std::to_string(kind);
}

xmlNode* Checked(xmlNode* node) {
    if (!node) throw std::bad_alloc();
    return node;
}

// Children and attributes of one element; every text passes XmlSafeText.
class Element {
  public:
    explicit Element(xmlNode* node) : m_node(node) {}

    Element& Attribute(const char* name, const std::string& value) {
        if (!xmlNewProp(m_node, X(name), X(XmlSafeText(value).c_str()))) throw std::bad_alloc();
        return *this;
    }
    Element& Attribute(const char* name, long long value) {
        return Attribute(name, std::to_string(value));
    }
    Element Child(const char* name) {
        return Element(Checked(xmlNewChild(m_node, nullptr, X(name), nullptr)));
    }
    Element TextChild(const char* name, const std::string& text) {
        return Element(
            Checked(xmlNewTextChild(m_node, nullptr, X(name), X(XmlSafeText(text).c_str()))));
    }

  private:
    xmlNode* m_node;
};

void AddAttributes(Element parent, const char* element, const AttributeSet& attributes) {
    for (const auto& name : attributes.Names()) {
        Element attribute = parent.Child(element);
        attribute.Attribute("name", name);
        for (const auto& value : *attributes.Find(name)) attribute.TextChild("value", value);
    }
}

void AddMissing(Element variable, const Variable& source) {
    const MissingValues& missing = source.properties.missing;
    if (missing.format == kNoMissing) return;
    Element values = variable.Child("missingValues");
    if (!source.IsNumeric()) {
        for (int i = 0; i < missing.format && i < 3; ++i)
            values.TextChild("value", missing.texts[i]);
        return;
    }
    if (missing.format == kMissingRange || missing.format == kMissingRangeAndValue) {
        values.Child("range")
            .Attribute("low", NumberText(missing.numbers[0]))
            .Attribute("high", NumberText(missing.numbers[1]));
        if (missing.format == kMissingRangeAndValue)
            values.TextChild("value", NumberText(missing.numbers[2]));
        return;
    }
    for (int i = 0; i < missing.format && i < 3; ++i)
        values.TextChild("value", NumberText(missing.numbers[i]));
}

void AddVariable(Element root, std::size_t position, const Variable& source) {
    const VariableProperties& properties = source.properties;
    Element variable = root.Child("variable");
    variable.Attribute("position", static_cast<long long>(position))
        .Attribute("name", source.name)
        .Attribute("label", source.label)
        .Attribute("type", source.IsNumeric() ? "numeric" : "string")
        .Attribute("width", source.IsNumeric() ? 8 : source.type)
        .Attribute("format", properties.format.Text())
        .Attribute("level", LevelText(properties.level))
        .Attribute("role", RoleText(properties.role))
        .Attribute("alignment", AlignmentText(properties.alignment))
        .Attribute("columnWidth", properties.columnWidth);
    AddMissing(variable, source);
    if (source.IsNumeric()) {
        for (const auto& [value, label] : properties.numericLabels.entries()) {
            variable.TextChild("valueLabel", label).Attribute("value", NumberText(value));
        }
    } else {
        for (const auto& [value, label] : properties.stringLabels.entries()) {
            variable.TextChild("valueLabel", label).Attribute("value", value);
        }
    }
    AddAttributes(variable, "attribute", properties.attributes);
}

}  // namespace

XPathDocument BuildDictionaryDocument(const Dataset& data) {
    XPathDocument document(xmlNewDoc(X("1.0")));
    if (!document) throw std::bad_alloc();
    xmlNode* rootNode = Checked(xmlNewDocNode(document.get(), nullptr, X("dictionary"), nullptr));
    xmlDocSetRootElement(document.get(), rootNode);
    Element root(rootNode);
    root.Attribute("dataset", data.name())
        .Attribute("variables", static_cast<long long>(data.VariableCount()))
        .Attribute("cases", static_cast<long long>(data.CaseCount()));
    const FileDictionary& file = data.file();
    if (!file.weight.empty()) root.Attribute("weight", file.weight);
    for (std::size_t i = 0; i < data.VariableCount(); ++i) AddVariable(root, i, data.variable(i));
    AddAttributes(root, "fileAttribute", file.attributes);
    for (const auto& source : file.sets) {
        Element set = root.Child("multipleResponseSet");
        set.Attribute("name", source.name)
            .Attribute("label", source.label)
            .Attribute("kind", SetKindText(source.kind))
            .Attribute("countedValue", source.countedValue)
            .Attribute("second", source.second);
        for (const auto& member : source.members) set.TextChild("member", member);
    }
    for (const auto& name : file.split) root.TextChild("splitVariable", name);
    return document;
}

}  // namespace engine
