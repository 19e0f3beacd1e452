// The baseline of the round-trip benchmarks: request/reply between two
// processes on bare sequenced-packet sockets, two one-way channels like the
// library's pipe pairs, no framing and no message objects.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace rawseqpacket {

// A directory of this program's own for the baselines' socket files, made on
// first use and removed at exit; its files are unlinked by their creators.
inline std::string ScratchDirectory() {
    struct Directory {
        std::string path;
        Directory() {
            char pattern[] = "/tmp/vexa-bench-XXXXXX";
            if (::mkdtemp(pattern)) path = pattern;
        }
        ~Directory() {
            if (!path.empty()) ::rmdir(path.c_str());
        }
    };
    static const Directory directory;
    return directory.path;
}

inline sockaddr_un Address(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    return address;
}

inline int Connect(const std::string& path) {
    int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    sockaddr_un address = Address(path);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return fd;
    ::close(fd);
    return -1;
}

inline int Listen(const std::string& path) {
    ::unlink(path.c_str());
    int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    sockaddr_un address = Address(path);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 4) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

inline int ConnectWithRetry(const std::string& path) {
    for (int attempt = 0; attempt < 500; ++attempt) {
        int fd = Connect(path);
        if (fd >= 0) return fd;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
}

// Peer: answers every packet on `requestPath` with `replySize` bytes until the
// requester hangs up.
inline int EchoPeer(const std::string& requestPath, const std::string& replyPath, int replySize) {
    int listener = Listen(requestPath);
    int reply = listener < 0 ? -1 : ConnectWithRetry(replyPath);
    if (reply < 0) return 4;
    int request = ::accept(listener, nullptr, nullptr);
    std::vector<char> buffer(8192);
    buffer[0] = static_cast<char>(replySize);
    while (::recv(request, buffer.data(), buffer.size(), 0) > 0) {
        if (::send(reply, buffer.data(), static_cast<size_t>(replySize), MSG_NOSIGNAL) != replySize)
            break;
    }
    ::close(request);
    ::close(reply);
    ::close(listener);
    ::unlink(requestPath.c_str());
    return 0;
}

// Peer: answers every packet on `requestPath` with `packets` packets of
// kBulkPacket bytes, a bulk transfer in the pipes' packet size.
inline constexpr int kBulkPacket = 8192;

inline int BulkPeer(const std::string& requestPath, const std::string& replyPath, long packets) {
    int listener = Listen(requestPath);
    int reply = listener < 0 ? -1 : ConnectWithRetry(replyPath);
    if (reply < 0) return 4;
    int request = ::accept(listener, nullptr, nullptr);
    std::vector<char> buffer(kBulkPacket, 'x');
    while (::recv(request, buffer.data(), buffer.size(), 0) > 0) {
        for (long i = 0; i < packets; ++i) {
            if (::send(reply, buffer.data(), buffer.size(), MSG_NOSIGNAL) != kBulkPacket) break;
        }
    }
    ::close(request);
    ::close(reply);
    ::close(listener);
    ::unlink(requestPath.c_str());
    return 0;
}

inline std::string SelfPath() {
    char path[4096];
    ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    return length > 0 ? std::string(path, static_cast<size_t>(length)) : std::string();
}

// Starts this program again with the given arguments; waited for by Reap.
inline pid_t StartSelf(const std::vector<std::string>& arguments) {
    std::string self = SelfPath();
    std::vector<char*> argv{self.data()};
    for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    ::posix_spawn(&pid, self.c_str(), nullptr, nullptr, argv.data(), environ);
    return pid;
}

inline void Reap(pid_t pid) {
    if (pid > 0) ::waitpid(pid, nullptr, 0);
}

// Starts `program` with no arguments and its output gone, and waits for it:
// the cost of a process start of that binary. False when it did not run.
inline bool SpawnAndWait(const std::string& program) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::string path = program;
    char* argv[] = {path.data(), nullptr};
    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, path.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return false;
    int status = 0;
    return ::waitpid(pid, &status, 0) == pid && WIFEXITED(status);
}

// Client side: `request`/`reply` connected; one iteration is one round trip.
struct Client {
    int request = -1;
    int reply = -1;
    int replyListener = -1;
    pid_t peer = -1;
    std::string replyPath;

    // `mode` "--raw-peer" answers each request with one packet of `size`
    // bytes; "--bulk-peer" with `size` packets of kBulkPacket bytes.
    bool Open(const std::string& requestPath, const std::string& replyPathIn, long size,
              const char* mode = "--raw-peer") {
        replyPath = replyPathIn;
        replyListener = Listen(replyPath);
        peer = StartSelf({mode, requestPath, replyPath, std::to_string(size)});
        request = ConnectWithRetry(requestPath);
        if (request < 0) return false;
        reply = ::accept(replyListener, nullptr, nullptr);
        return reply >= 0;
    }
    void RoundTrip(const char* image, int size, char* buffer, size_t capacity) const {
        ::send(request, image, static_cast<size_t>(size), MSG_NOSIGNAL);
        ::recv(reply, buffer, capacity, 0);
    }
    // One request, then `packets` packets received; the bytes received.
    long Transfer(long packets, char* buffer, size_t capacity) const {
        char image[1] = {1};
        ::send(request, image, 1, MSG_NOSIGNAL);
        long bytes = 0;
        for (long i = 0; i < packets; ++i) {
            ssize_t got = ::recv(reply, buffer, capacity, 0);
            if (got <= 0) break;
            bytes += got;
        }
        return bytes;
    }
    ~Client() {
        if (request >= 0) ::close(request);
        if (reply >= 0) ::close(reply);
        if (replyListener >= 0) ::close(replyListener);
        ::unlink(replyPath.c_str());
        Reap(peer);
    }
};

// Handles "--raw-peer <request> <reply> <reply size>" and "--bulk-peer
// <request> <reply> <packets>"; true when it did.
inline bool RunPeerIfAsked(int argc, char** argv, int& exitCode) {
    if (argc != 5) return false;
    const std::string mode = argv[1];
    if (mode == "--raw-peer") {
        exitCode = EchoPeer(argv[2], argv[3], std::stoi(argv[4]));
    } else if (mode == "--bulk-peer") {
        exitCode = BulkPeer(argv[2], argv[3], std::stol(argv[4]));
    } else {
        return false;
    }
    return true;
}

}  // namespace rawseqpacket
