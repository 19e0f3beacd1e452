// A data file with its dictionary: "<base>.csv" and "<base>.dict" beside it.
// Loading reads the dictionary's import hints first (missing tokens,
// declared types), imports the CSV file, then applies the dictionary.
// Saving writes both so that loading them gives the same dataset back.
#pragma once

#include <string>

#include "csvreader.h"
#include "dataset.h"

namespace engine {

// On failure `out` is left as it was and report.error says file, line and
// what.
bool LoadDataFile(const std::string& path, Dataset& out, CsvImportReport& report);

// The CSV file at `path` and the dictionary beside it. False, with file and
// reason in `error`, when either cannot be written or a value cannot be
// written so that it reads back; a failed save leaves no partial files.
bool SaveDataFile(const std::string& path, const Dataset& data, std::string& error);

}  // namespace engine
