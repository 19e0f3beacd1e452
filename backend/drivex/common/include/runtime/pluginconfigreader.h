// A small portable reader of INI-style files: "[" section headers found by a
// case-insensitive prefix of their name, ";" comments, "key=value" entries.
// A line holds at most kMaxLineLength bytes; a longer one is read as several.
// Stateless apart from the file it opens per call; safe to use from any thread.
#pragma once

#include <cstddef>
#include <istream>
#include <string>

class PlugInConfigReader {
  public:
    static constexpr std::size_t kMaxLineLength = 2047;

    PlugInConfigReader() = default;
    PlugInConfigReader(const PlugInConfigReader&) = default;
    PlugInConfigReader& operator=(const PlugInConfigReader&) = default;
    virtual ~PlugInConfigReader() = default;

    // Clears `size` bytes of `buffer`, then fills it and returns the bytes placed:
    // - section and key given: the value of the first entry of the section whose
    //   line begins with the key (case ignored), at most size - 1 bytes; 0 when
    //   it is empty or missing. `defaultValue` is not used.
    // - key empty: the section's key names, each followed by a NUL;
    // - section empty: the file's section names, each followed by a NUL;
    //   a name is added only while it and two more bytes still fit.
    // 0 when the file cannot be opened or the buffer is null or empty.
    std::size_t GetPrivateProfileString(const std::string& section, const std::string& key,
                                        const std::string& defaultValue, char* buffer,
                                        std::size_t size, const std::string& path) const;

  protected:
    // Removes white space at both ends, in place.
    static void TrimAll(std::string& line);
    // Next line, trimmed; false at the end of the input.
    static bool ReadLine(std::istream& input, std::string& line);
    static bool IsSectionHeader(const std::string& line) { return !line.empty() && line[0] == '['; }
    static bool IsComment(const std::string& line) { return !line.empty() && line[0] == ';'; }
    // Positions the input after the first header whose name begins with `section`,
    // case ignored; false when there is none.
    static bool GotoSectionStart(std::istream& input, const std::string& section);
    // Splits an entry line at its first "="; false for a line without a key
    // (empty or starting with "=").
    static bool SplitEntry(const std::string& line, std::string& key, std::string& value);

    static std::size_t RetrieveSectionNames(std::istream& input, char* buffer, std::size_t size);
    static std::size_t RetrieveKeyNames(std::istream& input, char* buffer, std::size_t size);
    static std::size_t RetrieveValue(std::istream& input, const std::string& key, char* buffer,
                                     std::size_t size);
};
