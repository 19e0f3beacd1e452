#include "platform/filereplace.h"

#include <windows.h>

#include "platform/winhandle.h"

namespace platform {

// The C runtime's rename refuses an existing target on Windows.
int ReplaceFileWith(const std::string& to, const std::string& from) {
    return ::MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) ? 0
                                                                              : win32::LastErrno();
}

}  // namespace platform
