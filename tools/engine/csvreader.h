// Imports a dataset from comma-separated text, streaming: a header line of
// variable names, then one record per case (see csvrecords.h for quoting).
// A UTF-8 byte-order mark is dropped. A column is numeric when every field
// is a finite number or a missing token; missing tokens (empty, "NA", "."
// and those the caller names) are system-missing there. Any other column is
// text as wide as its longest value, with an unquoted NA read as empty.
// Numeric formats follow the data: F with the widest integer part and the
// most decimals seen.
#pragma once

#include <istream>
#include <string>
#include <utility>
#include <vector>

#include "dataset.h"

namespace engine {

struct CsvImportOptions {
    // Besides empty, "NA" and ".".
    std::vector<std::string> missingTokens;
    // Types a dictionary gives by name (0 numeric, else the string width):
    // such a column takes that type, and a field that does not fit it fails
    // the import.
    std::vector<std::pair<std::string, int>> declaredTypes;
    std::size_t windowBytes = std::size_t{1} << 20;
    // The input's size when known: the cases are then reserved up front from
    // the size of the first ones, which saves growing them by copies.
    std::size_t inputBytes = 0;
};

struct CsvImportReport {
    // "<source>: line <n>: <what>" when the import failed.
    std::string error;
    // What a user should know of a load that worked: a column that is text
    // because of "nan", "inf" or a number out of range, say.
    std::vector<std::string> notes;
};

// On failure `out` is left as it was. `source` names the input in messages;
// `name` becomes the dataset's name. The input must be seekable when a
// column turns out text after numbers (it is read a second time).
bool ImportCsv(std::istream& input, const std::string& source, const std::string& name,
               const CsvImportOptions& options, Dataset& out, CsvImportReport& report);
// The dataset is named after the file, without directory and extension.
bool ImportCsvFile(const std::string& path, const CsvImportOptions& options, Dataset& out,
                   CsvImportReport& report);

// The same with the default options, the error text alone.
bool ReadCsvDataset(std::istream& input, const std::string& name, Dataset& out, std::string& error);
bool ReadCsvFile(const std::string& path, Dataset& out, std::string& error);

// Precision limits of the inferred numeric formats.
inline constexpr int kMaxInferredWidth = 40;
inline constexpr int kMaxInferredDecimals = 16;

}  // namespace engine
