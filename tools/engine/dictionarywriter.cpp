#include "dictionarywriter.h"

#include <charconv>
#include <cmath>

namespace engine {
namespace {

constexpr const char* kLevels[] = {"", "nominal", "ordinal", "scale"};
constexpr const char* kRoles[] = {"input", "target", "both", "none", "partition", "split"};
constexpr const char* kAlignments[] = {"left", "right", "center"};

template <std::size_t N>
const char* Word(const char* const (&words)[N], int code, const char* fallback) {
    return code >= 0 && static_cast<std::size_t>(code) < N && words[code][0] != '\0' ? words[code]
                                                                                     : fallback;
}

// Collects statements; the first text that a line cannot hold stops it.
class Statements {
  public:
    explicit Statements(std::ostream& out) : m_out(out) {}

    Statements& Word(const std::string& word) {
        m_line += ' ';
        m_line += word;
        return *this;
    }
    Statements& Quoted(const std::string& text) {
        if (text.find_first_of("\r\n") != std::string::npos)
            Refuse("\"" + text + "\" holds a line break");
        m_line += " \"";
        for (char c : text) {
            if (c == '"') m_line += '"';
            m_line += c;
        }
        m_line += '"';
        return *this;
    }
    // The shortest text that reads back as the same double.
    Statements& Number(double value) {
        if (!std::isfinite(value)) Refuse("a value that is not a finite number");
        char digits[32];
        auto [end, failure] = std::to_chars(digits, digits + sizeof digits, value);
        return Word(failure == std::errc() ? std::string(digits, end) : std::string("0"));
    }
    void End() {
        m_out << m_line.substr(1) << '\n';
        m_line.clear();
    }
    const std::string& error() const { return m_error; }

  private:
    void Refuse(const std::string& what) {
        if (m_error.empty()) m_error = what;
    }

    std::ostream& m_out;
    std::string m_line;
    std::string m_error;
};

void WriteVariable(const Variable& variable, Statements& out) {
    const VariableProperties& p = variable.properties;
    out.Word("variable").Word(variable.name);
    if (!variable.label.empty()) out.Word("label").Quoted(variable.label);
    out.Word("format").Word(p.format.Text());
    out.Word("level").Word(Word(kLevels, p.level, "scale"));
    out.Word("role").Word(Word(kRoles, p.role, "input"));
    out.Word("align").Word(Word(kAlignments, p.alignment, "right"));
    out.Word("width").Word(std::to_string(p.columnWidth));
    out.End();

    const MissingValues& missing = p.missing;
    if (missing.format != kNoMissing) {
        out.Word("missing").Word(variable.name);
        if (!variable.IsNumeric()) {
            for (int k = 0; k < missing.format && k < 3; ++k)
                out.Quoted(missing.texts[static_cast<std::size_t>(k)]);
        } else if (missing.format > 0) {
            for (int k = 0; k < missing.format && k < 3; ++k)
                out.Number(missing.numbers[static_cast<std::size_t>(k)]);
        } else {
            out.Word("range").Number(missing.numbers[0]).Number(missing.numbers[1]);
            if (missing.format == kMissingRangeAndValue)
                out.Word("value").Number(missing.numbers[2]);
        }
        out.End();
    }
    if (!p.numericLabels.entries().empty() || !p.stringLabels.entries().empty()) {
        out.Word("values").Word(variable.name);
        for (const auto& [value, label] : p.numericLabels.entries())
            out.Number(value).Quoted(label);
        for (const auto& [value, label] : p.stringLabels.entries()) out.Quoted(value).Quoted(label);
        out.End();
    }
    // An attribute without values has no statement that reads back.
    for (const std::string& name : p.attributes.Names()) {
        if (p.attributes.Find(name)->empty()) continue;
        out.Word("attribute").Word(variable.name).Quoted(name);
        for (const std::string& value : *p.attributes.Find(name)) out.Quoted(value);
        out.End();
    }
}

}  // namespace

bool WriteDictionary(const Dataset& data, std::ostream& out, std::string& error) {
    Statements statements(out);
    for (std::size_t v = 0; v < data.VariableCount(); ++v)
        WriteVariable(data.variable(v), statements);
    const FileDictionary& file = data.file();
    for (const std::string& name : file.attributes.Names()) {
        if (file.attributes.Find(name)->empty()) continue;
        statements.Word("fileattribute").Quoted(name);
        for (const std::string& value : *file.attributes.Find(name)) statements.Quoted(value);
        statements.End();
    }
    for (const MultiResponseSet& set : file.sets) {
        statements.Word("mrset").Word(set.name).Word("label").Quoted(set.label);
        statements.Word("kind")
            .Word(std::to_string(set.kind))
            .Word("counted")
            .Quoted(set.countedValue);
        statements.Word("second").Word(std::to_string(set.second)).Word("members");
        for (const std::string& member : set.members) statements.Word(member);
        statements.End();
    }
    if (!file.weight.empty()) statements.Word("weight").Word(file.weight).End();
    if (!file.split.empty()) {
        statements.Word("split");
        for (const std::string& name : file.split) statements.Word(name);
        statements.End();
    }
    error = statements.error();
    return error.empty();
}

}  // namespace engine
