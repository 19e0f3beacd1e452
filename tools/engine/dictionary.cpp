#include "dictionary.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace engine {
namespace {

constexpr int kMaxFormatWidth = 255;

std::optional<int> ParseCount(const char* begin, const char* end) {
    int value = 0;
    auto [stop, failure] = std::from_chars(begin, end, value);
    if (failure != std::errc() || stop != end || begin == end) return std::nullopt;
    return value;
}

}  // namespace

std::string PrintFormat::Text() const {
    // Appended piecewise: GCC 12 warns falsely on "literal" + std::string at -O3.
    std::string text(1, code == kFormatString ? 'A' : 'F');
    text += std::to_string(width);
    if (code == kFormatString) return text;
    text += '.';
    text += std::to_string(decimals);
    return text;
}

std::optional<PrintFormat> ParsePrintFormat(const std::string& text) {
    if (text.size() < 2) return std::nullopt;
    PrintFormat format;
    const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    if (letter == 'A') {
        format.code = kFormatString;
    } else if (letter == 'F') {
        format.code = kFormatNumeric;
    } else {
        return std::nullopt;
    }
    const char* begin = text.data() + 1;
    const char* end = text.data() + text.size();
    const char* dot = std::find(begin, end, '.');
    auto width = ParseCount(begin, dot);
    if (!width || *width < 1 || *width > kMaxFormatWidth) return std::nullopt;
    format.width = *width;
    if (dot != end) {
        if (format.code == kFormatString) return std::nullopt;
        auto decimals = ParseCount(dot + 1, end);
        if (!decimals || *decimals < 0 || *decimals >= format.width) return std::nullopt;
        format.decimals = *decimals;
    }
    return format;
}

void AttributeSet::Set(const std::string& name, std::vector<std::string> values) {
    for (auto& entry : m_entries) {
        if (entry.first == name) {
            entry.second = std::move(values);
            return;
        }
    }
    m_entries.emplace_back(name, std::move(values));
}

const std::vector<std::string>* AttributeSet::Find(const std::string& name) const {
    for (const auto& entry : m_entries) {
        if (entry.first == name) return &entry.second;
    }
    return nullptr;
}

std::vector<std::string> AttributeSet::Names() const {
    std::vector<std::string> names;
    names.reserve(m_entries.size());
    for (const auto& entry : m_entries) names.push_back(entry.first);
    return names;
}

VariableProperties DefaultProperties(int type) {
    VariableProperties properties;
    if (type == 0) {
        properties.format = {kFormatNumeric, 8, 2};
        return properties;
    }
    properties.format = {kFormatString, type, 0};
    properties.level = kNominal;
    properties.alignment = kAlignLeft;
    properties.columnWidth = type;
    return properties;
}

const MultiResponseSet* FileDictionary::FindSet(const std::string& name) const {
    for (const auto& set : sets) {
        if (set.name == name) return &set;
    }
    return nullptr;
}

}  // namespace engine
