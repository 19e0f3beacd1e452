// Reads the dictionary file that may accompany a data file: "<base>.dict"
// next to it. One statement per line, '#' starts a comment, texts in double
// quotes with "" standing for a quote:
//   variable <name> [label "<text>"] [format F8.1] [level scale] [role input]
//            [align right] [width 10]
//   missing <name> 9 99 | range -999 -900 [value 9] | "unknown"
//   values <name> 1 "setosa" 2 "versicolor"
//   attribute <name> <attribute> "v1" "v2"
//   fileattribute <attribute> "v1" ...
//   mrset <$name> label "..." kind 1 counted "" second 0 members a b c
//   weight <name>
//   split <name>...
//   csvmissing "<text>"...   (fields read as missing in numeric columns)
#pragma once

#include <istream>
#include <string>
#include <vector>

#include "csvreader.h"
#include "dataset.h"

namespace engine {

// Applies the statements to `data`, whose variables they name. On failure
// `data` is left as it was and `error` names the line and what is wrong.
bool ReadDictionary(std::istream& input, Dataset& data, std::string& error);

// "<directory>/<base>.dict" for "<directory>/<base>.<extension>".
std::string DictionaryPathFor(const std::string& dataPath);

// What the data file's import needs from its dictionary, read before it:
// the csvmissing texts and the type each "variable ... format" declares.
// A missing file adds nothing.
bool ReadImportHints(const std::string& path, CsvImportOptions& options, std::string& error);

// A missing file is no error: the defaults stay.
bool ReadDictionaryFileIfPresent(const std::string& path, Dataset& data, std::string& error);

}  // namespace engine
