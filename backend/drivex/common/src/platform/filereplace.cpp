#include "platform/filereplace.h"

#include <cerrno>
#include <cstdio>

namespace platform {

int ReplaceFileWith(const std::string& to, const std::string& from) {
    return std::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

}  // namespace platform
