// The engine's output, in the order it happened: commands run, posted text,
// graphics files, graphics labels and output language changes. Optionally
// appends each entry to a file as one line ("command: ...", "output: ...", "error: ...",
// "graphic: ...", "labels: <first>\t<second>", "language: ..."), with line
// ends, tabs, zero bytes and backslashes written as \n \r \t \0 \\ so that an
// entry stays one line. Owns the file; one thread.
#pragma once

#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace engine {

class OutputLog {
  public:
    enum class Kind { kCommand, kOutput, kGraphic, kLabels, kLanguage, kError };

    struct Entry {
        Kind kind;
        std::string text;
        // Only labels have a second text.
        std::string second;
    };

    // False, and no file, when `path` cannot be opened for appending.
    bool AppendTo(const std::string& path);

    void Add(Kind kind, std::string text, std::string second = {});
    const std::vector<Entry>& entries() const { return m_entries; }

    // The file line of an entry, without its line end.
    static std::string LineOf(const Entry& entry);

  private:
    std::vector<Entry> m_entries;
    std::ofstream m_file;
};

}  // namespace engine
