#include "runtime/pluginconfigreader.h"

#include <cstring>
#include <fstream>

#include "runtime/stringutil.h"

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
    return prefix.size() <= text.size() && textutil::strincmp(text, prefix, prefix.size()) == 0;
}

// Appends name and its NUL while the name and two more bytes fit, keeping room
// for the list's final NUL.
bool AppendName(const std::string& name, char* buffer, std::size_t size, std::size_t& used) {
    if (used + name.size() + 2 > size) return false;
    std::memcpy(buffer + used, name.data(), name.size());
    used += name.size() + 1;
    return true;
}

}  // namespace

void PlugInConfigReader::TrimAll(std::string& line) {
    std::size_t end = line.size();
    while (end > 0 && IsBlank(line[end - 1])) --end;
    std::size_t begin = 0;
    while (begin < end && IsBlank(line[begin])) ++begin;
    line = line.substr(begin, end - begin);
}

bool PlugInConfigReader::ReadLine(std::istream& input, std::string& line) {
    line.clear();
    std::istream::int_type next = input.get();
    if (next == std::istream::traits_type::eof()) return false;
    while (next != std::istream::traits_type::eof() && next != '\n') {
        line.push_back(static_cast<char>(next));
        if (line.size() == kMaxLineLength) {
            // The rest of an over-long line is the next line; a line break
            // right at the limit belongs to this one.
            if (input.peek() == '\n') input.get();
            break;
        }
        next = input.get();
    }
    TrimAll(line);
    return true;
}

bool PlugInConfigReader::GotoSectionStart(std::istream& input, const std::string& section) {
    std::string line;
    while (ReadLine(input, line)) {
        if (IsSectionHeader(line) && StartsWithNoCase(line.substr(1), section)) return true;
    }
    return false;
}

bool PlugInConfigReader::SplitEntry(const std::string& line, std::string& key, std::string& value) {
    if (line.empty() || line[0] == '=') return false;
    std::size_t equals = line.find('=');
    if (equals == std::string::npos) {
        key = line;
        value.clear();
    } else {
        key = line.substr(0, equals);
        value = line.substr(equals + 1);
    }
    return true;
}

std::size_t PlugInConfigReader::RetrieveSectionNames(std::istream& input, char* buffer,
                                                     std::size_t size) {
    std::size_t used = 0;
    std::string line;
    while (ReadLine(input, line)) {
        if (!IsSectionHeader(line)) continue;
        std::size_t close = line.find(']');
        std::string name = line.substr(1, close == std::string::npos ? close : close - 1);
        if (!AppendName(name, buffer, size, used)) break;
    }
    return used;
}

std::size_t PlugInConfigReader::RetrieveKeyNames(std::istream& input, char* buffer,
                                                 std::size_t size) {
    std::size_t used = 0;
    std::string line, key, value;
    while (ReadLine(input, line) && !IsSectionHeader(line)) {
        if (IsComment(line) || !SplitEntry(line, key, value)) continue;
        if (!AppendName(key, buffer, size, used)) break;
    }
    return used;
}

std::size_t PlugInConfigReader::RetrieveValue(std::istream& input, const std::string& key,
                                              char* buffer, std::size_t size) {
    std::string line, entryKey, value;
    while (ReadLine(input, line) && !IsSectionHeader(line)) {
        if (IsComment(line) || !SplitEntry(line, entryKey, value)) continue;
        if (!StartsWithNoCase(line, key)) continue;
        std::size_t length = value.size() < size - 1 ? value.size() : size - 1;
        std::memcpy(buffer, value.data(), length);
        return length;
    }
    return 0;
}

std::size_t PlugInConfigReader::GetPrivateProfileString(const std::string& section,
                                                        const std::string& key,
                                                        const std::string& /*defaultValue*/,
                                                        char* buffer, std::size_t size,
                                                        const std::string& path) const {
    if (buffer == nullptr || size == 0) return 0;
    std::memset(buffer, 0, size);
    std::ifstream input(path, std::ios::in | std::ios::binary);
    if (!input.is_open()) return 0;
    if (section.empty()) return RetrieveSectionNames(input, buffer, size);
    if (!GotoSectionStart(input, section)) return 0;
    if (key.empty()) return RetrieveKeyNames(input, buffer, size);
    return RetrieveValue(input, key, buffer, size);
}
