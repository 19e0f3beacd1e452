#include "commandrunner.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <utility>
#include <vector>

#include "enginecodes.h"
#include "runtime/statuscodes.h"

namespace engine {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view TrimEnd(std::string_view text) {
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

std::string_view TrimStart(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    return text;
}

std::string Upper(std::string_view text) {
    std::string upper(text);
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return upper;
}

using Assignments = std::vector<std::pair<std::string, std::string>>;

// "KEY=value KEY = 'value' ..." into upper-case keys and their values; false
// when the text is not of that shape.
bool SplitAssignments(std::string_view text, Assignments& assignments) {
    text = TrimStart(text);
    while (!text.empty()) {
        std::size_t keyEnd = 0;
        while (keyEnd < text.size() && std::isalpha(static_cast<unsigned char>(text[keyEnd]))) ++keyEnd;
        if (keyEnd == 0) return false;
        std::string key = Upper(text.substr(0, keyEnd));
        text = TrimStart(text.substr(keyEnd));
        if (text.empty() || text.front() != '=') return false;
        text = TrimStart(text.substr(1));
        std::string value;
        if (!text.empty() && (text.front() == '\'' || text.front() == '"')) {
            const std::size_t close = text.find(text.front(), 1);
            if (close == std::string_view::npos) return false;
            value = std::string(text.substr(1, close - 1));
            text = text.substr(close + 1);
        } else {
            std::size_t valueEnd = 0;
            while (valueEnd < text.size() && !IsBlank(text[valueEnd])) ++valueEnd;
            value = std::string(text.substr(0, valueEnd));
            text = text.substr(valueEnd);
        }
        assignments.emplace_back(std::move(key), std::move(value));
        text = TrimStart(text);
    }
    return !assignments.empty();
}

// The assignments of "SET ... ." when the command is one; nullopt otherwise.
std::optional<Assignments> SetAssignments(const std::string& command) {
    if (command.find('\0') != std::string::npos) return std::nullopt;
    std::string_view text = TrimStart(TrimEnd(command));
    if (text.empty() || text.back() != '.') return std::nullopt;
    text.remove_suffix(1);
    if (text.size() < 4 || Upper(text.substr(0, 3)) != "SET" || !IsBlank(text[3])) return std::nullopt;
    Assignments assignments;
    if (!SplitAssignments(text.substr(4), assignments)) return std::nullopt;
    return assignments;
}

std::optional<int> ParseWidth(const std::string& value) {
    int width = 0;
    auto [stop, failure] = std::from_chars(value.data(), value.data() + value.size(), width);
    if (failure != std::errc() || stop != value.data() + value.size() || value.empty()) return std::nullopt;
    if (width < kMinOutputWidth || width > kMaxOutputWidth) return std::nullopt;
    return width;
}

}  // namespace

std::optional<std::string> CommandAssembler::Add(std::string_view part) {
    if (m_pending) m_gathered += '\n';
    m_gathered += part;
    m_pending = true;
    std::string_view trimmed = TrimEnd(m_gathered);
    if (trimmed.empty() || trimmed.back() != '.') return std::nullopt;
    std::string complete = std::exchange(m_gathered, std::string());
    m_pending = false;
    return complete;
}

int RunCommand(const std::string& command, OutputSettings& settings, OutputLog& log) {
    log.Add(OutputLog::Kind::kCommand, command);
    auto assignments = SetAssignments(command);
    if (!assignments) return VEXA_OK;
    // Checked in full first, so that a refused command changes nothing.
    OutputSettings changed = settings;
    bool languageChanged = false;
    for (const auto& [key, value] : *assignments) {
        if (key == "WIDTH") {
            auto width = ParseWidth(value);
            if (!width) return kBadSetValue;
            changed.width = *width;
        } else if (key == "OLANG") {
            if (value.empty()) return kBadSetValue;
            changed.language = value;
            languageChanged = true;
        } else if (key == "UNICODE") {
            const std::string upper = Upper(value);
            if (upper != "ON" && upper != "OFF") return kBadSetValue;
            changed.unicode = upper == "ON";
        }
    }
    settings = std::move(changed);
    if (languageChanged) log.Add(OutputLog::Kind::kLanguage, settings.language);
    return VEXA_OK;
}

int ChangeLanguage(const std::string& language, OutputSettings& settings, OutputLog& log) {
    if (language.empty()) return kBadSetValue;
    settings.language = language;
    log.Add(OutputLog::Kind::kLanguage, language);
    return VEXA_OK;
}

}  // namespace engine
