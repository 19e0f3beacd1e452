#include "commandrunner.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <utility>
#include <vector>

#include "commandtext.h"
#include "enginecodes.h"
#include "runtime/statuscodes.h"
#include "runtime/stringutil.h"

namespace engine {
namespace {

using Assignments = std::vector<std::pair<std::string, std::string>>;

// "KEY=value KEY = 'value' ..." into upper-case keys and their values; false
// when the text is not of that shape.
bool SplitAssignments(std::string_view text, Assignments& assignments) {
    text = TrimStart(text);
    while (!text.empty()) {
        std::size_t keyEnd = 0;
        while (keyEnd < text.size() && std::isalpha(static_cast<unsigned char>(text[keyEnd]))) ++keyEnd;
        if (keyEnd == 0) return false;
        std::string key = UpperString(text.substr(0, keyEnd));
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
    if (text.size() < 4 || UpperString(text.substr(0, 3)) != "SET" || !IsBlank(text[3])) return std::nullopt;
    Assignments assignments;
    if (!SplitAssignments(text.substr(4), assignments)) return std::nullopt;
    return assignments;
}

// A locale name such as "de_CH.UTF-8" or "sr_RS@latin".
bool IsLocaleName(const std::string& value) {
    if (value.empty()) return false;
    return std::all_of(value.begin(), value.end(), [](unsigned char c) {
        return std::isalnum(c) || c == '_' || c == '.' || c == '-' || c == '@';
    });
}

std::string_view Word(std::string_view text) {
    std::size_t end = 0;
    while (end < text.size() && std::isalpha(static_cast<unsigned char>(text[end]))) ++end;
    return text.substr(0, end);
}

// A subcommand value: quoted ('' or "" inside for the quote) or up to the
// next blank. False for an unclosed quote.
bool TakeValue(std::string_view& text, std::string& value) {
    value.clear();
    if (!text.empty() && (text.front() == '\'' || text.front() == '"')) {
        const char quote = text.front();
        std::size_t at = 1;
        while (true) {
            const std::size_t close = text.find(quote, at);
            if (close == std::string_view::npos) return false;
            value += text.substr(at, close - at);
            if (close + 1 < text.size() && text[close + 1] == quote) {
                value += quote;
                at = close + 2;
                continue;
            }
            text = text.substr(close + 1);
            return true;
        }
    }
    std::size_t end = 0;
    while (end < text.size() && !IsBlank(text[end])) ++end;
    value = std::string(text.substr(0, end));
    text = text.substr(end);
    return true;
}

enum class Parsed { kOtherCommand, kRefused, kDone };

// "FILE HANDLE <name> /NAME='<path>' [/<key>=<value> ...]." into `entry`;
// subcommands other than NAME are accepted and ignored.
Parsed ParseFileHandle(const std::string& command, FileHandles::Entry& entry) {
    if (command.find('\0') != std::string::npos) return Parsed::kOtherCommand;
    std::string_view text = TrimStart(TrimEnd(command));
    if (text.empty() || text.back() != '.') return Parsed::kOtherCommand;
    text.remove_suffix(1);
    std::string_view first = Word(text);
    if (UpperString(first) != "FILE") return Parsed::kOtherCommand;
    text = TrimStart(text.substr(first.size()));
    std::string_view second = Word(text);
    if (UpperString(second) != "HANDLE") return Parsed::kOtherCommand;
    text = text.substr(second.size());
    if (!text.empty() && !IsBlank(text.front())) return Parsed::kOtherCommand;
    text = TrimStart(text);

    std::size_t nameEnd = 0;
    while (nameEnd < text.size() && !IsBlank(text[nameEnd]) && text[nameEnd] != '/') ++nameEnd;
    std::string name(text.substr(0, nameEnd));
    text = TrimStart(text.substr(nameEnd));
    std::optional<std::string> path;
    while (!text.empty()) {
        if (text.front() != '/') return Parsed::kRefused;
        text = TrimStart(text.substr(1));
        std::string_view key = Word(text);
        if (key.empty()) return Parsed::kRefused;
        text = TrimStart(text.substr(key.size()));
        if (text.empty() || text.front() != '=') return Parsed::kRefused;
        text = TrimStart(text.substr(1));
        std::string value;
        if (!TakeValue(text, value)) return Parsed::kRefused;
        if (UpperString(key) == "NAME") path = std::move(value);
        text = TrimStart(text);
    }
    if (name.empty() || !path || path->empty()) return Parsed::kRefused;
    entry = {std::move(name), std::move(*path)};
    return Parsed::kDone;
}

std::optional<int> ParseWidth(const std::string& value) {
    int width = 0;
    auto [stop, failure] = std::from_chars(value.data(), value.data() + value.size(), width);
    if (failure != std::errc() || stop != value.data() + value.size() || value.empty()) return std::nullopt;
    if (width < kMinOutputWidth || width > kMaxOutputWidth) return std::nullopt;
    return width;
}

}  // namespace

void FileHandles::Define(std::string name, std::string path) {
    const std::string upper = UpperString(name);
    for (auto& entry : m_entries) {
        if (UpperString(entry.first) == upper) {
            entry = {std::move(name), std::move(path)};
            return;
        }
    }
    m_entries.emplace_back(std::move(name), std::move(path));
}

const std::string* FileHandles::Find(const std::string& name) const {
    const std::string upper = UpperString(name);
    for (const auto& entry : m_entries) {
        if (UpperString(entry.first) == upper) return &entry.second;
    }
    return nullptr;
}

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
    FileHandles::Entry handle;
    switch (ParseFileHandle(command, handle)) {
        case Parsed::kRefused: return kBadFileHandle;
        case Parsed::kDone:
            settings.fileHandles.Define(std::move(handle.first), std::move(handle.second));
            return VEXA_OK;
        case Parsed::kOtherCommand: break;
    }
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
            const std::string upper = UpperString(value);
            if (upper != "ON" && upper != "OFF") return kBadSetValue;
            changed.unicode = upper == "ON";
        } else if (key == "LOCALE") {
            if (!IsLocaleName(value)) return kBadSetValue;
            changed.locale = value;
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
