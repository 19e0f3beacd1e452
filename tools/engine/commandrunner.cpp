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
#include "syntaxsplitter.h"

namespace engine {
namespace {

using Assignments = std::vector<std::pair<std::string, std::string>>;

// "KEY=value KEY = 'value' ..." into upper-case keys and their values; false
// when the text is not of that shape.
bool SplitAssignments(std::string_view text, Assignments& assignments) {
    text = TrimStart(text);
    while (!text.empty()) {
        std::size_t keyEnd = 0;
        while (keyEnd < text.size() && std::isalpha(static_cast<unsigned char>(text[keyEnd])))
            ++keyEnd;
        if (keyEnd == 0) return false;
        std::string key = textutil::UpperString(text.substr(0, keyEnd));
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

// "<name> /NAME='<path>' [/<key>=<value> ...]" after FILE HANDLE into
// `entry`; subcommands other than NAME are accepted and ignored.
bool ParseFileHandle(std::string_view text, FileHandles::Entry& entry) {
    text = TrimStart(text);
    std::size_t nameEnd = 0;
    while (nameEnd < text.size() && !IsBlank(text[nameEnd]) && text[nameEnd] != '/') ++nameEnd;
    std::string name(text.substr(0, nameEnd));
    text = TrimStart(text.substr(nameEnd));
    std::optional<std::string> path;
    while (!text.empty()) {
        if (text.front() != '/') return false;
        text = TrimStart(text.substr(1));
        std::string_view key = Word(text);
        if (key.empty()) return false;
        text = TrimStart(text.substr(key.size()));
        if (text.empty() || text.front() != '=') return false;
        text = TrimStart(text.substr(1));
        std::string value;
        if (!TakeValue(text, value)) return false;
        if (textutil::UpperString(key) == "NAME") path = std::move(value);
        text = TrimStart(text);
    }
    if (name.empty() || !path || path->empty()) return false;
    entry = {std::move(name), std::move(*path)};
    return true;
}

std::optional<int> ParseWidth(const std::string& value) {
    int width = 0;
    auto [stop, failure] = std::from_chars(value.data(), value.data() + value.size(), width);
    if (failure != std::errc() || stop != value.data() + value.size() || value.empty())
        return std::nullopt;
    if (width < kMinOutputWidth || width > kMaxOutputWidth) return std::nullopt;
    return width;
}

}  // namespace

void FileHandles::Define(std::string name, std::string path) {
    const std::string upper = textutil::UpperString(name);
    for (auto& entry : m_entries) {
        if (textutil::UpperString(entry.first) == upper) {
            entry = {std::move(name), std::move(path)};
            return;
        }
    }
    m_entries.emplace_back(std::move(name), std::move(path));
}

const std::string* FileHandles::Find(const std::string& name) const {
    const std::string upper = textutil::UpperString(name);
    for (const auto& entry : m_entries) {
        if (textutil::UpperString(entry.first) == upper) return &entry.second;
    }
    return nullptr;
}

std::optional<std::string> CommandAssembler::Add(std::string_view part) {
    if (m_pending) m_gathered += '\n';
    m_gathered += part;
    m_pending = true;
    const SplitSyntax split = SplitCommands(m_gathered, BlockLines::kOrdinary);
    if (split.openComment) return std::nullopt;
    const std::string_view gathered = TrimEnd(m_gathered);
    if (gathered.empty()) {
        m_gathered.clear();
        m_pending = false;
        return std::nullopt;
    }
    // Only comments gathered: complete once they end as a command would.
    const bool complete =
        split.pieces.empty() ? gathered.back() == '.' : split.pieces.back().command.closed;
    if (!complete) return std::nullopt;
    m_pending = false;
    return std::exchange(m_gathered, std::string());
}

CommandOutcome RunFileHandle(std::string_view rest, OutputSettings& settings) {
    FileHandles::Entry handle;
    if (!ParseFileHandle(rest, handle)) {
        return CommandOutcome::Failed(kBadFileHandle,
                                      "FILE HANDLE needs a name and /NAME='<path>'");
    }
    settings.fileHandles.Define(std::move(handle.first), std::move(handle.second));
    return CommandOutcome::Done();
}

CommandOutcome RunSet(std::string_view rest, OutputSettings& settings, OutputLog& log) {
    Assignments assignments;
    if (!SplitAssignments(rest, assignments)) {
        return CommandOutcome::Failed(kBadSyntax, "SET takes <keyword>=<value> assignments");
    }
    // Checked in full first, so that a refused command changes nothing.
    OutputSettings changed = settings;
    bool languageChanged = false;
    const auto refused = [](const std::string& key, const std::string& value) {
        return CommandOutcome::Failed(kBadSetValue,
                                      "SET " + key + " does not take '" + value + "'");
    };
    for (const auto& [key, value] : assignments) {
        if (key == "WIDTH") {
            auto width = ParseWidth(value);
            if (!width) return refused(key, value);
            changed.width = *width;
        } else if (key == "OLANG") {
            if (value.empty()) return refused(key, value);
            changed.language = value;
            languageChanged = true;
        } else if (key == "UNICODE") {
            const std::string upper = textutil::UpperString(value);
            if (upper != "ON" && upper != "OFF") return refused(key, value);
            changed.unicode = upper == "ON";
        } else if (key == "LOCALE") {
            if (!IsLocaleName(value)) return refused(key, value);
            changed.locale = value;
        } else {
            return CommandOutcome::Failed(kBadSyntax, "SET has no keyword " + key);
        }
    }
    settings = std::move(changed);
    if (languageChanged) log.Add(OutputLog::Kind::kLanguage, settings.language);
    return CommandOutcome::Done();
}

int ChangeLanguage(const std::string& language, OutputSettings& settings, OutputLog& log) {
    if (language.empty()) return kBadSetValue;
    settings.language = language;
    log.Add(OutputLog::Kind::kLanguage, language);
    return VEXA_OK;
}

}  // namespace engine
