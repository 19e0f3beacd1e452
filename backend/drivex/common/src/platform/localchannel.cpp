#include "platform/localchannel.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <set>

namespace platform {
namespace {

bool FillAddress(const std::string& path, sockaddr_un& address) {
    if (path.empty() || path.size() >= sizeof(address.sun_path)) return false;
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.data(), path.size());
    return true;
}

int NewSocket(UniqueFd& out) {
    int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (fd < 0) return errno;
    out.reset(fd);
    return 0;
}

}  // namespace

std::string PipeDirectory() { return "/tmp/vexa-pipes-" + std::to_string(::geteuid()); }
std::string PipeNamePrefix() { return PipeDirectory() + "/"; }

int EnsurePrivateDirectory(const std::string& directory) {
    if (::mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST) return errno;
    struct stat info {};
    if (::lstat(directory.c_str(), &info) != 0) return errno;
    if (!S_ISDIR(info.st_mode)) return ENOTDIR;
    if (info.st_uid != ::geteuid() || (info.st_mode & 077) != 0) return EPERM;
    return 0;
}

std::size_t MaxChannelPathLength() { return sizeof(sockaddr_un::sun_path) - 1; }

int ChannelConnection::Connect(const std::string& path, ChannelConnection& out) {
    sockaddr_un address;
    if (!FillAddress(path, address)) return ENAMETOOLONG;
    UniqueFd fd;
    if (int error = NewSocket(fd)) return error;
    int rc;
    do {
        rc = ::connect(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) return errno;
    out.m_fd = std::move(fd);
    return 0;
}

int ChannelConnection::Send(const void* data, std::size_t length) {
    return Send(data, length, nullptr, 0);
}

int ChannelConnection::Send(const void* first, std::size_t firstLength, const void* second,
                            std::size_t secondLength) {
    if (!m_fd) return EBADF;
    iovec parts[2] = {{const_cast<void*>(first), firstLength},
                      {const_cast<void*>(second), secondLength}};
    msghdr message{};
    message.msg_iov = parts;
    message.msg_iovlen = secondLength > 0 ? 2 : 1;
    for (;;) {
        ssize_t sent = ::sendmsg(m_fd.get(), &message, MSG_NOSIGNAL);
        if (sent >= 0) return 0;
        if (errno != EINTR) return errno;
    }
}

int ChannelConnection::SendBatch(const PacketParts* packets, std::size_t count) {
    if (!m_fd) return EBADF;
    // A lone packet, as nearly every request and reply is, takes the plain call.
    if (count == 1)
        return Send(packets[0].first, packets[0].firstLength, packets[0].second,
                    packets[0].secondLength);
    // One call per batch instead of one per packet, and the receiver is
    // woken fewer times.
    std::array<iovec, 2 * BATCH_LIMIT> parts;
    std::array<mmsghdr, BATCH_LIMIT> messages;
    while (count > 0) {
        const std::size_t now = std::min(count, BATCH_LIMIT);
        for (std::size_t i = 0; i < now; ++i) {
            parts[2 * i] = {const_cast<void*>(packets[i].first), packets[i].firstLength};
            parts[2 * i + 1] = {const_cast<void*>(packets[i].second), packets[i].secondLength};
            messages[i] = {};
            messages[i].msg_hdr.msg_iov = &parts[2 * i];
            messages[i].msg_hdr.msg_iovlen = packets[i].secondLength > 0 ? 2 : 1;
        }
        const int sent =
            ::sendmmsg(m_fd.get(), messages.data(), static_cast<unsigned>(now), MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        packets += sent;
        count -= static_cast<std::size_t>(sent);
    }
    return 0;
}

int ChannelConnection::ReceiveBatch(const PacketSlot* slots, std::size_t count,
                                    std::size_t* lengths, std::size_t& taken) {
    taken = 0;
    if (!m_fd) return EBADF;
    count = std::min(count, BATCH_LIMIT);
    if (count == 0) return 0;
    std::array<iovec, BATCH_LIMIT> parts;
    std::array<mmsghdr, BATCH_LIMIT> messages;
    for (std::size_t i = 0; i < count; ++i) {
        parts[i] = {slots[i].data, slots[i].size};
        messages[i] = {};
        messages[i].msg_hdr.msg_iov = &parts[i];
        messages[i].msg_hdr.msg_iovlen = 1;
    }
    int got = 0;
    do {
        got = ::recvmmsg(m_fd.get(), messages.data(), static_cast<unsigned>(count),
                         MSG_WAITFORONE | MSG_TRUNC, nullptr);
    } while (got < 0 && errno == EINTR);
    if (got < 0) return errno;
    // A closed partner reads as an empty packet, again on every later read:
    // the batch ends before it, and the next receive reports it.
    for (std::size_t i = 0; i < static_cast<std::size_t>(got); ++i) {
        if (messages[i].msg_len == 0) break;
        lengths[i] = messages[i].msg_len;
        taken = i + 1;
    }
    return taken == 0 ? EPIPE : 0;
}

int ChannelConnection::Receive(void* buffer, std::size_t capacity, std::size_t& received) {
    received = 0;
    if (!m_fd) return EBADF;
    for (;;) {
        ssize_t got = ::recv(m_fd.get(), buffer, capacity, MSG_TRUNC);
        if (got < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (got == 0) return EPIPE;
        if (static_cast<std::size_t>(got) > capacity) {
            received = capacity;
            return EMSGSIZE;
        }
        received = static_cast<std::size_t>(got);
        return 0;
    }
}

int ChannelConnection::SetNonBlocking() {
    int flags = ::fcntl(m_fd.get(), F_GETFL);
    if (flags < 0 || ::fcntl(m_fd.get(), F_SETFL, flags | O_NONBLOCK) != 0) return errno;
    return 0;
}

ChannelListener::ChannelListener(ChannelListener&& other) noexcept { *this = std::move(other); }

ChannelListener& ChannelListener::operator=(ChannelListener&& other) noexcept {
    if (this != &other) {
        close();
        m_fd = std::move(other.m_fd);
        m_path = std::move(other.m_path);
        m_device = std::exchange(other.m_device, 0);
        m_inode = std::exchange(other.m_inode, 0);
        other.m_path.clear();
    }
    return *this;
}

namespace {

// The socket files this process has bound and not removed, with the file
// each one was, so that a file another process has since put there stays.
struct OwnChannels {
    std::mutex lock;
    std::map<std::string, std::pair<unsigned long, unsigned long>> files;
};

OwnChannels& Own() {
    // Never destroyed: a process may end from any thread, static
    // destructors included.
    static OwnChannels* own = new OwnChannels;
    return *own;
}

bool IsSameFile(const std::string& path, unsigned long device, unsigned long inode) {
    struct stat current {};
    return ::lstat(path.c_str(), &current) == 0 &&
           static_cast<unsigned long>(current.st_dev) == device &&
           static_cast<unsigned long>(current.st_ino) == inode;
}

}  // namespace

int RemoveOwnChannels() {
    OwnChannels& own = Own();
    std::lock_guard<std::mutex> guard(own.lock);
    int removed = 0;
    for (const auto& [path, file] : own.files) {
        if (IsSameFile(path, file.first, file.second) && ::unlink(path.c_str()) == 0) ++removed;
    }
    own.files.clear();
    return removed;
}

int ChannelListener::Listen(const std::string& path, ChannelListener& out) {
    sockaddr_un address;
    if (!FillAddress(path, address)) return ENAMETOOLONG;
    UniqueFd fd;
    if (int error = NewSocket(fd)) return error;
    struct stat existing {};
    if (::lstat(path.c_str(), &existing) == 0) {
        if (!S_ISSOCK(existing.st_mode)) return EEXIST;
        ::unlink(path.c_str());
    }
    if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return errno;
    // Connecting needs write access to the file: only the owner gets it,
    // whatever the umask, even where the directory's own rule is not in force.
    struct stat bound {};
    int statResult = ::chmod(path.c_str(), 0600) == 0 ? ::lstat(path.c_str(), &bound) : -1;
    if (statResult != 0 || ::listen(fd.get(), SOMAXCONN) != 0) {
        int error = errno;
        ::unlink(path.c_str());
        return error;
    }
    out.close();
    out.m_fd = std::move(fd);
    out.m_path = path;
    out.m_device = static_cast<unsigned long>(bound.st_dev);
    out.m_inode = static_cast<unsigned long>(bound.st_ino);
    std::lock_guard<std::mutex> guard(Own().lock);
    Own().files[path] = {out.m_device, out.m_inode};
    return 0;
}

namespace {

// Waits until `listening` has a connection to accept; EPIPE when `watched`
// turns readable: a write-only channel's partner or a watched process has
// ended.
// A negative `watched` watches nothing; a negative limit waits for ever.
int WaitForConnection(int listening, int watched, int milliseconds) {
    pollfd fds[2] = {{listening, POLLIN, 0}, {watched, POLLIN, 0}};
    for (;;) {
        int ready = ::poll(fds, watched >= 0 ? 2 : 1, milliseconds);
        if (ready < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (ready == 0) return ETIMEDOUT;
        if (fds[0].revents & POLLIN) return 0;
        if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) return EPIPE;
        if (fds[0].revents & (POLLERR | POLLNVAL)) return EBADF;
    }
}

}  // namespace

int ChannelListener::Accept(ChannelConnection& out, const ChannelConnection* watched) {
    if (!m_fd) return EBADF;
    for (;;) {
        if (watched && watched->valid()) {
            if (int error = WaitForConnection(m_fd.get(), watched->descriptor(), -1)) return error;
        }
        int fd = ::accept4(m_fd.get(), nullptr, nullptr, SOCK_CLOEXEC);
        if (fd >= 0) {
            out = ChannelConnection(UniqueFd(fd));
            return 0;
        }
        if (errno != EINTR && errno != ECONNABORTED) return errno;
    }
}

bool ChannelConnection::PartnerClosed() const {
    if (!m_fd) return true;
    pollfd fd{m_fd.get(), POLLRDHUP, 0};
    while (::poll(&fd, 1, 0) < 0) {
        if (errno != EINTR) return false;
    }
    return (fd.revents & (POLLRDHUP | POLLHUP)) != 0;
}

int ChannelConnection::WaitReadable(unsigned milliseconds) const {
    if (!m_fd) return EBADF;
    pollfd fd{m_fd.get(), POLLIN, 0};
    for (;;) {
        int ready = ::poll(&fd, 1, static_cast<int>(milliseconds));
        if (ready < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        return ready == 0 ? ETIMEDOUT : 0;
    }
}

int ChannelConnection::WaitReadableWatching(int watchedProcess) const {
    if (!m_fd) return EBADF;
    pollfd fds[2] = {{m_fd.get(), POLLIN, 0}, {watchedProcess, POLLIN, 0}};
    for (;;) {
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        // What the partner sent before it ended is still read.
        if (fds[0].revents != 0) return 0;
        return EPIPE;
    }
}

int ChannelListener::AcceptWithin(ChannelConnection& out, unsigned milliseconds,
                                  int watchedProcess) {
    if (!m_fd) return EBADF;
    if (int error = WaitForConnection(m_fd.get(), watchedProcess, static_cast<int>(milliseconds)))
        return error;
    return Accept(out);
}

void ChannelListener::close() {
    if (!m_fd) return;
    {
        std::lock_guard<std::mutex> guard(Own().lock);
        auto registered = Own().files.find(m_path);
        if (registered != Own().files.end() &&
            registered->second == std::make_pair(m_device, m_inode)) {
            Own().files.erase(registered);
        }
        if (IsSameFile(m_path, m_device, m_inode)) ::unlink(m_path.c_str());
    }
    m_fd.reset();
    m_path.clear();
}

int RemoveDeadChannels(const std::string& prefix) {
    namespace fs = std::filesystem;
    const std::string directory = PipeDirectory();
    // Paths some socket is still bound to; connecting to probe them would hand
    // a live listener a spurious client.
    std::set<std::string> bound;
    std::ifstream table("/proc/net/unix");
    for (std::string line; std::getline(table, line);) {
        const std::size_t at = line.find(directory + "/");
        if (at != std::string::npos) bound.insert(line.substr(at));
    }
    int removed = 0;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(directory, error)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(prefix, 0) != 0 || !entry.is_socket(error) ||
            bound.count(entry.path().string()))
            continue;
        if (::unlink(entry.path().c_str()) == 0) ++removed;
    }
    return removed;
}

}  // namespace platform
