// Writes a dataset's dictionary in the dictionary file's statements (see
// dictionaryreader.h), so that reading it back gives the same dictionary.
#pragma once

#include <ostream>
#include <string>

#include "dataset.h"

namespace engine {

// False, with what cannot be written, for a text holding a line break (the
// file has one statement per line) or a value that is no finite number.
bool WriteDictionary(const Dataset& data, std::ostream& out, std::string& error);

}  // namespace engine
