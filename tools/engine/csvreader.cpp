#include "csvreader.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "csvrecords.h"
#include "platform/process.h"
#include "varname.h"

namespace engine {
namespace {

// Cases read before the rest are reserved from their size.
constexpr std::size_t kSampleCases = 4096;

// Powers of ten a double holds exactly.
constexpr double kExactPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                   1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                   1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr std::uint64_t kExactMantissa = std::uint64_t{1} << 53;

// The common field "-123.45" in one pass: digits, at most one dot with
// digits after it, no exponent. With the digits an exact integer and the
// power of ten exact, one division rounds as a full conversion does, so the
// value is the one from_chars gives. False for anything else, left to it.
bool ParsePlainDecimal(std::string_view text, double& value, int& decimals) {
    const char* p = text.data();
    const char* const end = p + text.size();
    const bool negative = p < end && *p == '-';
    p += negative ? 1 : 0;
    std::uint64_t mantissa = 0;
    const char* const digits = p;
    while (p < end && static_cast<unsigned>(*p - '0') < 10) {
        mantissa = mantissa * 10 + static_cast<unsigned>(*p - '0');
        ++p;
    }
    const char* const dot = p;
    if (p == digits) return false;
    if (p < end) {
        if (*p != '.') return false;
        ++p;
        while (p < end && static_cast<unsigned>(*p - '0') < 10) {
            mantissa = mantissa * 10 + static_cast<unsigned>(*p - '0');
            ++p;
        }
        if (p != end || p == dot + 1) return false;
    }
    const auto shown = static_cast<std::size_t>(end == dot ? 0 : end - dot - 1);
    // More than 19 digits could have wrapped the mantissa.
    if (p - digits > 19 + (dot < end ? 1 : 0) || mantissa > kExactMantissa ||
        shown >= std::size(kExactPowers))
        return false;
    const double magnitude = static_cast<double>(mantissa) / kExactPowers[shown];
    value = negative ? -magnitude : magnitude;
    decimals = static_cast<int>(shown);
    return true;
}

// Any other finite number, exponents included.
[[gnu::noinline]] bool ParseGeneral(std::string_view text, double& value, int& decimals) {
    const char* begin = text.data();
    const char* end = begin + text.size();
    auto [stop, failure] = std::from_chars(begin, end, value);
    if (failure != std::errc() || stop != end || !std::isfinite(value)) return false;
    const char* dot = nullptr;
    const char* exponentAt = end;
    for (const char* p = begin; p < end; ++p) {
        if (*p == '.') dot = p;
        if (*p == 'e' || *p == 'E') {
            exponentAt = p;
            break;
        }
    }
    int shown = dot ? static_cast<int>(exponentAt - dot - 1) : 0;
    if (exponentAt != end) {
        int exponent = 0;
        const char* digits = exponentAt + 1;
        if (digits < end && *digits == '+') ++digits;
        std::from_chars(digits, end, exponent);
        shown = std::max(0, shown - std::clamp(exponent, -400, 400));
    }
    decimals = shown;
    return true;
}

// A field as a finite number, with the decimals it shows ("1.50" two,
// "2.5e-3" four).
bool ParseFinite(std::string_view text, double& value, int& decimals) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    return ParsePlainDecimal(text, value, decimals) || ParseGeneral(text, value, decimals);
}

// Text in double quotes, as messages name fields.
std::string Quoted(std::string_view text) {
    std::string quoted;
    quoted.reserve(text.size() + 2);
    quoted += '"';
    quoted += text;
    quoted += '"';
    return quoted;
}

// Would have been a number but for being infinite, not-a-number or out of
// range: worth a note, since the column turns text because of it.
bool LooksNonFinite(std::string_view text) {
    double value = 0;
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    const char* end = text.data() + text.size();
    auto [stop, failure] = std::from_chars(text.data(), end, value);
    return stop == end && (failure == std::errc::result_out_of_range ||
                           (failure == std::errc() && !std::isfinite(value)));
}

// Empty fields, an unquoted NA or "." and the caller's tokens.
class MissingTokens {
  public:
    explicit MissingTokens(const std::vector<std::string>& named) : m_named(named) {}
    bool Named(std::string_view text) const {
        for (const std::string& token : m_named) {
            if (token == text) return true;
        }
        return false;
    }
    bool BuiltIn(const CsvField& field) const {
        return field.text.empty() || (!field.quoted && (field.text == "NA" || field.text == "."));
    }
    bool AnyNamed() const { return !m_named.empty(); }

  private:
    const std::vector<std::string>& m_named;
};

// One column as it is read: while every field is a number the numbers go
// straight into the cells of the cases; text is gathered here.
struct Column {
    explicit Column(std::string name = {}, bool numeric = true)
        : name(std::move(name)), numeric(numeric) {}

    std::string name;
    bool numeric;
    // The dictionary's type, or -1.
    int declared = -1;
    std::string textBytes;
    std::vector<std::size_t> textEnds;
    std::size_t widest = 1;
    double largest = 0;
    bool negative = false;
    int decimals = 0;
    bool anyNumber = false;

    void AddText(std::string_view text) {
        textBytes.append(text);
        textEnds.push_back(textBytes.size());
        widest = std::max(widest, text.size());
    }
    std::string_view Text(std::size_t row) const {
        const std::size_t begin = row == 0 ? 0 : textEnds[row - 1];
        return std::string_view(textBytes).substr(begin, textEnds[row] - begin);
    }
    PrintFormat NumericFormat() const {
        if (!anyNumber) return PrintFormat{kFormatNumeric, 8, 2};
        const int integerDigits =
            largest >= 1 ? static_cast<int>(std::floor(std::log10(largest))) + 1 : 1;
        const int decimalsKept = std::min(decimals, kMaxInferredDecimals);
        int width = (negative ? 1 : 0) + integerDigits + (decimalsKept > 0 ? decimalsKept + 1 : 0);
        width = std::clamp(width, 1, kMaxInferredWidth);
        return PrintFormat{kFormatNumeric, width, std::min(decimalsKept, width - 1)};
    }
};

class Importer {
  public:
    Importer(std::istream& input, const std::string& source, const CsvImportOptions& options,
             CsvImportReport& report)
        : m_input(input),
          m_source(source),
          m_options(options),
          m_tokens(options.missingTokens),
          m_report(report) {}

    bool Run(const std::string& name, Dataset& out) {
        if (!ReadPass()) return false;
        if (m_reread) {
            // Earlier fields of a column that turned text are needed as written.
            m_input.clear();
            m_input.seekg(0);
            if (!m_input)
                return Fail(1, "the input cannot be read again to keep a text column as written");
            for (Column& column : m_columns) {
                const int declared = column.declared;
                column = Column(std::move(column.name), column.numeric);
                column.declared = declared;
            }
            m_reread = false;
            if (!ReadPass()) return false;
        }
        return Build(name, out);
    }

  private:
    bool Fail(std::size_t line, const std::string& what) {
        m_report.error = m_source + ": line " + std::to_string(line) + ": " + what;
        return false;
    }

    bool ReadHeader(CsvRecordReader& reader, std::vector<CsvField>& fields) {
        if (!reader.Next(fields)) {
            if (!reader.error().empty()) return Fail(reader.Line(), reader.error());
            return Fail(1, "no header of variable names");
        }
        const bool first = m_columns.empty();
        if (!first) return true;
        for (std::size_t k = 0; k < fields.size(); ++k) {
            const std::string name(fields[k].text);
            const NameVerdict verdict = ValidateVariableName(name);
            if (verdict == kNameEmpty)
                return Fail(reader.Line(), "column " + std::to_string(k + 1) + " has no name");
            if (verdict != kNameValid)
                return Fail(reader.Line(), "\"" + name + "\" is not a valid variable name");
            for (const Column& column : m_columns) {
                if (column.name == name)
                    return Fail(reader.Line(), "\"" + name + "\" names two columns");
            }
            m_columns.emplace_back(name);
            for (const auto& [declaredName, type] : m_options.declaredTypes) {
                if (declaredName != name) continue;
                m_columns.back().declared = type;
                m_columns.back().numeric = type == 0;
            }
        }
        return true;
    }

    // Nearly every field of a numeric column is a number: kept small enough
    // to be inlined into the loop over the fields, the rest out of line.
    bool AddField(Column& column, const CsvField& field, OBS& cell, std::size_t line) {
        return (column.numeric && AddNumber(column, field, cell)) ||
               AddOther(column, field, cell, line);
    }

    bool AddNumber(Column& column, const CsvField& field, OBS& cell) const {
        double value = 0;
        int decimals = 0;
        if ((m_tokens.AnyNamed() && m_tokens.Named(field.text)) ||
            !ParseFinite(field.text, value, decimals))
            return false;
        cell = OBS::FromNumber(value);
        column.anyNumber = true;
        column.largest = std::max(column.largest, std::fabs(value));
        column.negative = column.negative || value < 0;
        column.decimals = std::max(column.decimals, decimals);
        return true;
    }

    [[gnu::noinline]] bool AddOther(Column& column, const CsvField& field, OBS& cell,
                                    std::size_t line) {
        if (column.numeric) {
            const bool named = m_tokens.AnyNamed() && m_tokens.Named(field.text);
            if (named || m_tokens.BuiltIn(field)) {
                cell = OBS::FromNumber(kSystemMissing);
                return true;
            }
            if (column.declared == 0)
                return Fail(line, Quoted(field.text) + " in \"" + column.name +
                                      "\", which the dictionary declares numeric, is not a number");
            if (LooksNonFinite(field.text))
                m_report.notes.push_back(
                    m_source + ": line " + std::to_string(line) + ": \"" + std::string(field.text) +
                    "\" is not a finite number, so column \"" + column.name + "\" is text");
            column.numeric = false;
            // The fields before were read as numbers; they are needed as written.
            if (m_cases > 0) m_reread = true;
        }
        if (m_reread) return true;
        const std::string_view text =
            !field.quoted && field.text == "NA" ? std::string_view() : field.text;
        if (column.declared > 0 && text.size() > static_cast<std::size_t>(column.declared))
            return Fail(line, "a value of \"" + column.name + "\" is longer than the width " +
                                  std::to_string(column.declared) + " the dictionary declares");
        column.AddText(text);
        return true;
    }

    bool ReadPass() {
        CsvRecordReader reader(m_input, m_options.windowBytes);
        std::vector<CsvField> fields;
        if (!ReadHeader(reader, fields)) return false;
        m_cases = 0;
        m_cells.clear();
        const std::size_t width = m_columns.size();
        while (reader.Next(fields)) {
            if (fields.size() != width)
                return Fail(reader.Line(), std::to_string(fields.size()) +
                                               " fields where the header has " +
                                               std::to_string(width));
            if (m_cases == kSampleCases && m_options.inputBytes > reader.Consumed()) {
                const double perCase =
                    static_cast<double>(reader.Consumed()) / static_cast<double>(kSampleCases);
                const auto expected = static_cast<std::size_t>(
                    static_cast<double>(m_options.inputBytes) / perCase * 1.05);
                m_cells.reserve((expected + 16) * width);
            }
            m_cells.resize(m_cells.size() + width);
            OBS* cells = m_cells.data() + m_cases * width;
            for (std::size_t k = 0; k < width; ++k) {
                if (!AddField(m_columns[k], fields[k], cells[k], reader.Line())) return false;
            }
            ++m_cases;
        }
        if (!reader.error().empty()) return Fail(reader.Line(), reader.error());
        return true;
    }

    bool Build(const std::string& name, Dataset& out) {
        Dataset data(name);
        bool allNumeric = true;
        for (const Column& column : m_columns) {
            if (!column.numeric && column.widest > static_cast<std::size_t>(kMaxStringWidth))
                return Fail(1, "column \"" + column.name + "\" holds a value longer than " +
                                   std::to_string(kMaxStringWidth) + " bytes");
            const int width =
                column.declared > 0 ? column.declared : static_cast<int>(column.widest);
            Variable variable(column.name, "", column.numeric ? 0 : width);
            variable.properties = DefaultProperties(variable.type);
            if (column.numeric) variable.properties.format = column.NumericFormat();
            allNumeric = allNumeric && column.numeric;
            data.AddVariable(std::move(variable));
        }
        CaseStore& store = data.cases();
        if (allNumeric) {
            // One cell a variable: the cells read are the cases already.
            if (!store.AdoptCases(std::move(m_cells)))
                return Fail(1, "the cases do not fit their variables");
        } else {
            store.AppendEmptyCases(m_cases);
            const std::size_t width = m_columns.size();
            for (std::size_t r = 0; r < m_cases; ++r) {
                const OBS* read = m_cells.data() + r * width;
                for (std::size_t k = 0; k < width; ++k) {
                    if (m_columns[k].numeric)
                        store.Case(r)[store.ObsIndex(k)] = read[k];
                    else
                        store.SetText(r, k, m_columns[k].Text(r));
                }
            }
        }
        m_cells = {};
        m_columns.clear();
        out = std::move(data);
        platform::ReleaseFreeMemory();
        return true;
    }

    std::istream& m_input;
    const std::string& m_source;
    const CsvImportOptions& m_options;
    MissingTokens m_tokens;
    CsvImportReport& m_report;
    std::vector<Column> m_columns;
    // Case by case, one cell a column: the number, or unused for text.
    std::vector<OBS> m_cells;
    std::size_t m_cases = 0;
    bool m_reread = false;
};

}  // namespace

bool ImportCsv(std::istream& input, const std::string& source, const std::string& name,
               const CsvImportOptions& options, Dataset& out, CsvImportReport& report) {
    report = CsvImportReport{};
    return Importer(input, source, options, report).Run(name, out);
}

bool ImportCsvFile(const std::string& path, const CsvImportOptions& options, Dataset& out,
                   CsvImportReport& report) {
    std::ifstream input(path, std::ios::binary);
    if (!input) {
        report = CsvImportReport{};
        report.error = path + ": cannot be opened for reading";
        return false;
    }
    std::string name = path.substr(path.find_last_of('/') + 1);
    name = name.substr(0, name.find('.'));
    CsvImportOptions sized = options;
    std::error_code failed;
    const auto bytes = std::filesystem::file_size(path, failed);
    if (!failed) sized.inputBytes = static_cast<std::size_t>(bytes);
    return ImportCsv(input, path, name, sized, out, report);
}

bool ReadCsvDataset(std::istream& input, const std::string& name, Dataset& out,
                    std::string& error) {
    CsvImportReport report;
    const bool read = ImportCsv(input, name, name, CsvImportOptions{}, out, report);
    error = report.error;
    return read;
}

bool ReadCsvFile(const std::string& path, Dataset& out, std::string& error) {
    CsvImportReport report;
    const bool read = ImportCsvFile(path, CsvImportOptions{}, out, report);
    error = report.error;
    return read;
}

}  // namespace engine
