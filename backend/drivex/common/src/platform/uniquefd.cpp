#include "platform/uniquefd.h"

#include <unistd.h>

namespace platform {

void UniqueFd::reset(int fd) {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = fd;
}

}  // namespace platform
