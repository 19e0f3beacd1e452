#include "platform/localchannel.h"

// sddl.h needs the declarations windows.h brings.
// clang-format off
#include <windows.h>
#include <sddl.h>
// clang-format on

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/deadline.h"
#include "platform/winhandle.h"

namespace platform {
namespace {

using win32::AsHandle;
using win32::AsInt;
using win32::ErrnoFrom;
using win32::LastErrno;
using win32::OverlappedIo;

// Pieces are at most 8192 bytes; the pipe's buffers hold several, so a
// writer runs ahead of its reader as it does over a socket, and a process
// that writes before it reads on another pipe does not stall.
constexpr DWORD kPipeBuffer = 65536;
// How often a wait that the pipe cannot signal looks again, at most.
constexpr unsigned kLongestPauseMs = 10;

// Admits the user this process runs as and nobody else: the counterpart of
// the private pipe directory. Built once, kept for the process's life.
class CurrentUserOnly {
  public:
    CurrentUserOnly() {
        HANDLE token = nullptr;
        if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return;
        DWORD size = 0;
        ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
        std::vector<unsigned char> user(size);
        char* sidText = nullptr;
        if (size > 0 && ::GetTokenInformation(token, TokenUser, user.data(), size, &size) &&
            ::ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid,
                                     &sidText)) {
            // Protected DACL: one entry, all access for the owner's SID.
            const std::string descriptor = std::string("D:P(A;;GA;;;") + sidText + ")";
            ::LocalFree(sidText);
            ::ConvertStringSecurityDescriptorToSecurityDescriptorA(
                descriptor.c_str(), SDDL_REVISION_1, &m_descriptor, nullptr);
        }
        ::CloseHandle(token);
        m_attributes.nLength = sizeof m_attributes;
        m_attributes.lpSecurityDescriptor = m_descriptor;
        m_attributes.bInheritHandle = FALSE;
    }
    SECURITY_ATTRIBUTES* get() { return m_descriptor ? &m_attributes : nullptr; }

  private:
    PSECURITY_DESCRIPTOR m_descriptor = nullptr;
    SECURITY_ATTRIBUTES m_attributes{};
};

SECURITY_ATTRIBUTES* PipeSecurity() {
    static CurrentUserOnly* security = new CurrentUserOnly;
    return security->get();
}

int NewInstance(const std::string& path, bool first, UniqueFd& out) {
    SECURITY_ATTRIBUTES* security = PipeSecurity();
    if (!security) return EACCES;
    DWORD openMode = PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED;
    // The first instance must be ours: a pipe of that name held by another
    // process is refused rather than joined.
    if (first) openMode |= FILE_FLAG_FIRST_PIPE_INSTANCE;
    HANDLE pipe = ::CreateNamedPipeA(
        path.c_str(), openMode,
        PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
        PIPE_UNLIMITED_INSTANCES, kPipeBuffer, kPipeBuffer, NMPWAIT_WAIT_FOREVER, security);
    if (pipe == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        return first && error == ERROR_ACCESS_DENIED ? EADDRINUSE : ErrnoFrom(error);
    }
    out.reset(AsInt(pipe));
    return 0;
}

bool IsGone(DWORD error) {
    return error == ERROR_BROKEN_PIPE || error == ERROR_PIPE_NOT_CONNECTED ||
           error == ERROR_NO_DATA;
}

// Data waiting (true), or the partner gone (true, `gone` set).
bool Peek(HANDLE pipe, bool& gone) {
    DWORD available = 0;
    gone = false;
    if (::PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) return available > 0;
    gone = IsGone(::GetLastError());
    return gone;
}

// Waits for a client on `pipe` for up to `milliseconds` (negative: no limit),
// giving up with EPIPE when `watched` reports its partner gone or the process
// handle `watchedProcess` (or -1) is signalled.
int WaitForClient(HANDLE pipe, const ChannelConnection* watched, int milliseconds,
                  int watchedProcess = -1) {
    OverlappedIo io;
    if (!io.valid()) return LastErrno();
    const BOOL started = ::ConnectNamedPipe(pipe, io.get());
    // A client that connected before this call counts, and so does one that
    // has already gone again: what it wrote can still be read.
    if (!started && (::GetLastError() == ERROR_PIPE_CONNECTED || ::GetLastError() == ERROR_NO_DATA))
        return 0;
    if (!started && ::GetLastError() != ERROR_IO_PENDING) return LastErrno();
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        DWORD slice = INFINITE;
        if (watched) slice = 20;
        if (milliseconds >= 0) {
            const DWORD remaining = static_cast<DWORD>(MillisecondsUntil(deadline));
            if (slice == INFINITE || remaining < slice) slice = remaining;
        }
        const HANDLE handles[2] = {io.event(),
                                   watchedProcess >= 0 ? AsHandle(watchedProcess) : nullptr};
        const DWORD woken =
            ::WaitForMultipleObjects(watchedProcess >= 0 ? 2 : 1, handles, FALSE, slice);
        if (woken == WAIT_OBJECT_0) {
            DWORD ignored = 0;
            return ::GetOverlappedResult(pipe, io.get(), &ignored, FALSE) ? 0 : LastErrno();
        }
        if (woken == WAIT_OBJECT_0 + 1 || (watched && watched->PartnerClosed())) {
            io.Cancel(pipe);
            return EPIPE;
        }
        if (milliseconds >= 0 && std::chrono::steady_clock::now() >= deadline) {
            io.Cancel(pipe);
            return ETIMEDOUT;
        }
    }
}

// The connected instance becomes the connection; the next writer gets a
// fresh one.
int TakeConnected(UniqueFd& instance, const std::string& path, ChannelConnection& out) {
    UniqueFd next;
    const int error = NewInstance(path, false, next);
    out = ChannelConnection(std::move(instance));
    instance = std::move(next);
    return error;
}

}  // namespace

std::string PipeDirectory() { return "\\\\.\\pipe"; }
std::string PipeNamePrefix() { return PipeDirectory() + "\\"; }

int EnsurePrivateDirectory(const std::string& directory) {
    if (directory == PipeDirectory()) return 0;
    if (!::CreateDirectoryA(directory.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS)
        return LastErrno();
    const DWORD attributes = ::GetFileAttributesA(directory.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return LastErrno();
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) || (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return ENOTDIR;
    return 0;
}

// The system's limit on a pipe's full name.
std::size_t MaxChannelPathLength() { return 256; }

// A named pipe ends with the last handle to it: nothing is left behind.
int RemoveDeadChannels(const std::string&) { return 0; }
int RemoveOwnChannels() { return 0; }

int ChannelConnection::Connect(const std::string& path, ChannelConnection& out) {
    if (path.size() > MaxChannelPathLength()) return ENAMETOOLONG;
    for (;;) {
        HANDLE pipe = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
        if (pipe != INVALID_HANDLE_VALUE) {
            UniqueFd owned(AsInt(pipe));
            DWORD mode = PIPE_READMODE_MESSAGE;
            if (!::SetNamedPipeHandleState(pipe, &mode, nullptr, nullptr)) return LastErrno();
            out.m_fd = std::move(owned);
            return 0;
        }
        if (::GetLastError() != ERROR_PIPE_BUSY) return LastErrno();
        // Every instance is taken: the reader makes the next one as soon as
        // it accepted, so waiting for it is part of connecting.
        if (!::WaitNamedPipeA(path.c_str(), 1000) && ::GetLastError() != ERROR_SEM_TIMEOUT)
            return LastErrno();
    }
}

int ChannelConnection::Send(const void* data, std::size_t length) {
    return Send(data, length, nullptr, 0);
}

int ChannelConnection::Send(const void* first, std::size_t firstLength, const void* second,
                            std::size_t secondLength) {
    if (!m_fd) return EBADF;
    // One write is one message, so two parts travel joined.
    std::vector<unsigned char> joined;
    const void* data = first;
    std::size_t length = firstLength;
    if (secondLength > 0) {
        joined.resize(firstLength + secondLength);
        if (firstLength) std::memcpy(joined.data(), first, firstLength);
        std::memcpy(joined.data() + firstLength, second, secondLength);
        data = joined.data();
        length = joined.size();
    }
    OverlappedIo io;
    if (!io.valid()) return LastErrno();
    HANDLE pipe = AsHandle(m_fd.get());
    DWORD written = 0;
    const DWORD error = io.Finish(
        pipe, ::WriteFile(pipe, data, static_cast<DWORD>(length), nullptr, io.get()), written);
    return ErrnoFrom(error);
}

int ChannelConnection::SendBatch(const PacketParts* packets, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        const PacketParts& packet = packets[i];
        if (int error =
                Send(packet.first, packet.firstLength, packet.second, packet.secondLength)) {
            return error;
        }
    }
    return 0;
}

int ChannelConnection::ReceiveBatch(const PacketSlot* slots, std::size_t count,
                                    std::size_t* lengths, std::size_t& taken) {
    // A pipe read takes one message: the batch is the first packet alone.
    taken = 0;
    if (count == 0) return 0;
    std::size_t received = 0;
    const int error = Receive(slots[0].data, slots[0].size, received);
    if (error != 0 && error != EMSGSIZE) return error;
    if (error == 0 && received == 0) return EPIPE;
    lengths[0] = error == EMSGSIZE ? slots[0].size + 1 : received;
    taken = 1;
    return 0;
}

int ChannelConnection::Receive(void* buffer, std::size_t capacity, std::size_t& received) {
    received = 0;
    if (!m_fd) return EBADF;
    OverlappedIo io;
    if (!io.valid()) return LastErrno();
    HANDLE pipe = AsHandle(m_fd.get());
    DWORD got = 0;
    DWORD error = io.Finish(
        pipe, ::ReadFile(pipe, buffer, static_cast<DWORD>(capacity), nullptr, io.get()), got);
    received = got;
    if (error != ERROR_MORE_DATA) return ErrnoFrom(error);
    // The message did not fit: the rest is read away, so the next receive
    // starts at a message boundary, as a truncated packet would.
    char rest[512];
    while (error == ERROR_MORE_DATA) {
        DWORD ignored = 0;
        ::ResetEvent(io.event());
        error = io.Finish(pipe, ::ReadFile(pipe, rest, sizeof rest, nullptr, io.get()), ignored);
    }
    return EMSGSIZE;
}

int ChannelConnection::WaitReadable(unsigned milliseconds) const {
    if (!m_fd) return EBADF;
    // A message-mode pipe signals nothing for "data waiting"; it is looked at.
    HANDLE pipe = AsHandle(m_fd.get());
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    unsigned pause = 1;
    for (;;) {
        bool gone = false;
        if (Peek(pipe, gone)) return 0;
        if (std::chrono::steady_clock::now() >= deadline) return ETIMEDOUT;
        std::this_thread::sleep_for(std::chrono::milliseconds(pause));
        if (pause < kLongestPauseMs) pause *= 2;
    }
}

int ChannelConnection::WaitReadableWatching(int watchedProcess) const {
    if (!m_fd) return EBADF;
    HANDLE pipe = AsHandle(m_fd.get());
    unsigned pause = 1;
    for (;;) {
        // What the partner sent before it ended is still read.
        bool gone = false;
        if (Peek(pipe, gone)) return 0;
        if (::WaitForSingleObject(AsHandle(watchedProcess), pause) == WAIT_OBJECT_0)
            return Peek(pipe, gone) ? 0 : EPIPE;
        if (pause < kLongestPauseMs) pause *= 2;
    }
}

bool ChannelConnection::PartnerClosed() const {
    if (!m_fd) return true;
    bool gone = false;
    Peek(AsHandle(m_fd.get()), gone);
    return gone;
}

int ChannelConnection::SetNonBlocking() {
    if (!m_fd) return EBADF;
    DWORD mode = PIPE_READMODE_MESSAGE | PIPE_NOWAIT;
    return ::SetNamedPipeHandleState(AsHandle(m_fd.get()), &mode, nullptr, nullptr) ? 0
                                                                                    : LastErrno();
}

ChannelListener::ChannelListener(ChannelListener&& other) noexcept { *this = std::move(other); }

ChannelListener& ChannelListener::operator=(ChannelListener&& other) noexcept {
    if (this != &other) {
        close();
        m_fd = std::move(other.m_fd);
        m_path = std::move(other.m_path);
        other.m_path.clear();
    }
    return *this;
}

int ChannelListener::Listen(const std::string& path, ChannelListener& out) {
    if (path.size() > MaxChannelPathLength()) return ENAMETOOLONG;
    UniqueFd pipe;
    if (int error = NewInstance(path, true, pipe)) return error;
    out.close();
    out.m_fd = std::move(pipe);
    out.m_path = path;
    return 0;
}

int ChannelListener::Accept(ChannelConnection& out, const ChannelConnection* watched) {
    if (!m_fd) return EBADF;
    const ChannelConnection* watching = watched && watched->valid() ? watched : nullptr;
    if (int error = WaitForClient(AsHandle(m_fd.get()), watching, -1)) return error;
    return TakeConnected(m_fd, m_path, out);
}

int ChannelListener::AcceptWithin(ChannelConnection& out, unsigned milliseconds,
                                  int watchedProcess) {
    if (!m_fd) return EBADF;
    if (int error = WaitForClient(AsHandle(m_fd.get()), nullptr, static_cast<int>(milliseconds),
                                  watchedProcess))
        return error;
    return TakeConnected(m_fd, m_path, out);
}

void ChannelListener::close() {
    m_fd.reset();
    m_path.clear();
}

}  // namespace platform
