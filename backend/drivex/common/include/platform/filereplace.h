// Puts a finished file in place of another in one step, so that a reader
// sees the old file or the new one, never a part.
#pragma once

#include <string>

namespace platform {

// Renames `from` to `to`, replacing a file already at `to`. 0, or errno.
int ReplaceFileWith(const std::string& to, const std::string& from);

}  // namespace platform
