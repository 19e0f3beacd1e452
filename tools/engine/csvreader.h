// Reads a dataset from comma-separated text: a header line of variable names,
// then one line per case. A column whose every non-empty field is a number is
// numeric (empty fields are system-missing); any other column is a string
// variable as wide as its longest value. Fields may be quoted with '"', a
// doubled quote inside standing for one.
#pragma once

#include <istream>
#include <string>
#include <string_view>
#include <vector>

#include "dataset.h"

namespace engine {

// False when a quoted field is not closed.
bool SplitCsvRecord(std::string_view line, std::vector<std::string>& fields);

// On failure `out` is left as it was and `error` says which line is wrong.
bool ReadCsvDataset(std::istream& input, const std::string& name, Dataset& out,
                    std::string& error);
bool ReadCsvFile(const std::string& path, Dataset& out, std::string& error);

}  // namespace engine
