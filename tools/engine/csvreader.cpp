#include "csvreader.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <optional>

namespace engine {
namespace {

std::optional<double> ParseNumber(const std::string& text) {
    double value = 0;
    const char* end = text.data() + text.size();
    auto [stop, failure] = std::from_chars(text.data(), end, value);
    if (failure != std::errc() || stop != end) return std::nullopt;
    return value;
}

bool IsNumericColumn(const std::vector<std::vector<std::string>>& rows, std::size_t column) {
    return std::all_of(rows.begin(), rows.end(), [column](const auto& row) {
        return row[column].empty() || ParseNumber(row[column]).has_value();
    });
}

std::size_t WidestValue(const std::vector<std::vector<std::string>>& rows, std::size_t column) {
    std::size_t width = 1;
    for (const auto& row : rows) width = std::max(width, row[column].size());
    return width;
}

std::string LineError(std::size_t lineNumber, const char* what) {
    return "line " + std::to_string(lineNumber) + ": " + what;
}

bool ReadLine(std::istream& input, std::string& line) {
    if (!std::getline(input, line)) return false;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
}

}  // namespace

bool SplitCsvRecord(std::string_view line, std::vector<std::string>& fields) {
    fields.assign(1, std::string());
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (quoted) {
            if (c != '"')
                fields.back() += c;
            else if (i + 1 < line.size() && line[i + 1] == '"')
                fields.back() += line[++i];
            else
                quoted = false;
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    return !quoted;
}

bool ReadCsvDataset(std::istream& input, const std::string& name, Dataset& out,
                    std::string& error) {
    std::string line;
    std::vector<std::string> header;
    if (!ReadLine(input, line) || line.empty()) {
        error = LineError(1, "no header of variable names");
        return false;
    }
    if (!SplitCsvRecord(line, header)) {
        error = LineError(1, "unterminated quote");
        return false;
    }
    std::vector<std::vector<std::string>> rows;
    for (std::size_t lineNumber = 2; ReadLine(input, line); ++lineNumber) {
        if (line.empty()) continue;
        std::vector<std::string> fields;
        if (!SplitCsvRecord(line, fields)) {
            error = LineError(lineNumber, "unterminated quote");
            return false;
        }
        if (fields.size() != header.size()) {
            error = LineError(lineNumber, "field count differs from the header");
            return false;
        }
        rows.push_back(std::move(fields));
    }

    Dataset dataset(name);
    for (std::size_t column = 0; column < header.size(); ++column) {
        Variable variable{header[column], "", 0};
        if (!IsNumericColumn(rows, column)) variable.type = static_cast<int>(WidestValue(rows, column));
        if (!dataset.AddVariable(std::move(variable))) {
            error = LineError(1, "empty or repeated variable name");
            return false;
        }
    }
    for (const auto& row : rows) {
        std::vector<CellValue> values;
        values.reserve(row.size());
        for (std::size_t column = 0; column < row.size(); ++column) {
            if (dataset.variable(column).IsNumeric())
                values.emplace_back(row[column].empty() ? kSystemMissing : *ParseNumber(row[column]));
            else
                values.emplace_back(row[column]);
        }
        dataset.AddCase(std::move(values));
    }
    out = std::move(dataset);
    return true;
}

bool ReadCsvFile(const std::string& path, Dataset& out, std::string& error) {
    std::ifstream input(path);
    if (!input) {
        error = "cannot open " + path;
        return false;
    }
    std::string name = path.substr(path.find_last_of('/') + 1);
    name = name.substr(0, name.find('.'));
    return ReadCsvDataset(input, name, out, error);
}

}  // namespace engine
