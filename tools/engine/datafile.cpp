#include "datafile.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <fstream>

#include "dictionaryreader.h"
#include "dictionarywriter.h"

namespace engine {
namespace {

void WriteQuoted(std::string_view text, std::string& line) {
    line += '"';
    for (char c : text) {
        if (c == '"') line += '"';
        line += c;
    }
    line += '"';
}

// Text is always quoted, so a value such as "NA" or "12" reads back as text;
// a number is the shortest text that reads back as the same double.
bool WriteCases(const Dataset& data, std::ostream& out, std::string& error) {
    const CaseStore& store = data.cases();
    std::string line;
    for (std::size_t v = 0; v < data.VariableCount(); ++v) {
        if (v > 0) line += ',';
        line += data.variable(v).name;
    }
    line += '\n';
    char digits[32];
    for (std::size_t c = 0; c < store.CaseCount(); ++c) {
        for (std::size_t v = 0; v < store.VariableCount(); ++v) {
            if (v > 0) line += ',';
            if (store.Type(v) != 0) {
                WriteQuoted(store.Text(c, v), line);
                continue;
            }
            const double value = store.Number(c, v);
            if (value == kSystemMissing) continue;
            if (!std::isfinite(value)) {
                error = "case " + std::to_string(c + 1) + " of " + data.variable(v).name +
                        " is not a finite number, which a CSV file cannot hold";
                return false;
            }
            auto [end, failure] = std::to_chars(digits, digits + sizeof digits, value);
            line.append(digits, end);
        }
        line += '\n';
        if (line.size() > (std::size_t{1} << 20)) {
            out << line;
            line.clear();
        }
    }
    out << line;
    return true;
}

// Written beside the target and renamed over it once complete.
class PendingFile {
  public:
    explicit PendingFile(std::string path)
        : m_path(std::move(path)), m_temporary(m_path + ".part") {
        m_out.open(m_temporary, std::ios::binary | std::ios::trunc);
    }
    ~PendingFile() {
        if (!m_committed) std::remove(m_temporary.c_str());
    }
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    bool open() const { return m_out.is_open(); }
    std::ostream& stream() { return m_out; }
    bool Commit() {
        m_out.close();
        if (!m_out || std::rename(m_temporary.c_str(), m_path.c_str()) != 0) return false;
        m_committed = true;
        return true;
    }

  private:
    std::string m_path;
    std::string m_temporary;
    std::ofstream m_out;
    bool m_committed = false;
};

}  // namespace

bool LoadDataFile(const std::string& path, Dataset& out, CsvImportReport& report) {
    const std::string dictionary = DictionaryPathFor(path);
    CsvImportOptions options;
    report = CsvImportReport{};
    if (!ReadImportHints(dictionary, options, report.error)) return false;
    Dataset read;
    if (!ImportCsvFile(path, options, read, report)) return false;
    if (!ReadDictionaryFileIfPresent(dictionary, read, report.error)) return false;
    out = std::move(read);
    return true;
}

bool SaveDataFile(const std::string& path, const Dataset& data, std::string& error) {
    const std::string dictionaryPath = DictionaryPathFor(path);
    PendingFile csv(path);
    PendingFile dictionary(dictionaryPath);
    if (!csv.open()) {
        error = path + ": cannot be opened for writing";
        return false;
    }
    if (!dictionary.open()) {
        error = dictionaryPath + ": cannot be opened for writing";
        return false;
    }
    std::string what;
    if (!WriteDictionary(data, dictionary.stream(), what)) {
        error = dictionaryPath + ": " + what;
        return false;
    }
    if (!WriteCases(data, csv.stream(), what)) {
        error = path + ": " + what;
        return false;
    }
    if (!dictionary.Commit()) {
        error = dictionaryPath + ": cannot be written";
        return false;
    }
    if (!csv.Commit()) {
        error = path + ": cannot be written";
        return false;
    }
    return true;
}

}  // namespace engine
