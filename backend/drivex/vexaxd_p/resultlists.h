// Results handed to the caller: the string list behind the opaque list
// handles, and caller-owned copies released by the Free functions.
#pragma once

#include <string>
#include <vector>

namespace api {

struct StringList {
    std::vector<std::string> items;
};

// A new zero-terminated copy, released with FreeString (delete[]).
char* CallerString(const std::string& text);
// An array of `texts.size()` new strings, released with FreeStringArray.
// Nothing is allocated for an empty list: the result is null.
char** CallerStringArray(const std::vector<std::string>& texts);

}  // namespace api
