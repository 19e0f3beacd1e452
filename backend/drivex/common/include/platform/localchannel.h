// Local message channels: Unix-domain sequenced-packet sockets in the private
// pipe directory. Each send is one packet, so message boundaries are kept.
// Every operation returns 0 or an errno value; nothing throws, nothing traces.
// Objects are used by one thread at a time.
#pragma once

#include <cstddef>
#include <string>

#include "platform/uniquefd.h"

namespace platform {

// One outgoing packet: its two parts end to end, the second possibly empty.
struct PacketParts {
    const void* first;
    std::size_t firstLength;
    const void* second;
    std::size_t secondLength;
};

// Room for one incoming packet.
struct PacketSlot {
    void* data;
    std::size_t size;
};

// "/tmp/vexa-pipes-<euid>"; the directory need not exist yet.
std::string PipeDirectory();
// What every pipe name starts with: the directory and its separator.
std::string PipeNamePrefix();

// Creates `directory` with mode 0700 when missing. An existing entry is
// accepted only when it is a real directory (not a link) owned by the
// effective user with no group or other access. Returns 0, or
// ENOTDIR / EPERM / errno on refusal.
int EnsurePrivateDirectory(const std::string& directory);
inline int EnsurePipeDirectory() { return EnsurePrivateDirectory(PipeDirectory()); }

// Longest socket path the platform can bind or connect to.
std::size_t MaxChannelPathLength();

// Removes the socket files in the pipe directory whose names start with
// `prefix` and to which no socket is bound any more: what processes that were
// killed left behind. Returns how many were removed.
int RemoveDeadChannels(const std::string& prefix);
// Removes every socket file this process has bound and not closed yet: for a
// process about to end at once (its partner gone) without its destructors.
// Safe from any thread. Returns how many were removed.
int RemoveOwnChannels();

// A connected channel end.
class ChannelConnection {
  public:
    ChannelConnection() = default;
    explicit ChannelConnection(UniqueFd fd) : m_fd(std::move(fd)) {}

    // Connects without waiting: ENOENT when no socket file, ECONNREFUSED when no listener.
    static int Connect(const std::string& path, ChannelConnection& out);

    bool valid() const { return m_fd.valid(); }
    void close() { m_fd.reset(); }

    // One packet; EPIPE when the partner is gone.
    int Send(const void* data, std::size_t length);
    // One packet of the two parts, end to end, without joining them first.
    int Send(const void* first, std::size_t firstLength, const void* second,
             std::size_t secondLength);
    // The most packets one batch call hands to the system.
    static constexpr std::size_t BATCH_LIMIT = 64;
    // The packets in order, BATCH_LIMIT a call where the platform allows.
    int SendBatch(const PacketParts* packets, std::size_t count);
    // One packet of at most `capacity` bytes; EPIPE when the partner closed,
    // EMSGSIZE when the packet did not fit.
    int Receive(void* buffer, std::size_t capacity, std::size_t& received);
    // Packets into the slots in turn: waits for the first packet, then takes
    // those already queued, at most `count` and BATCH_LIMIT. `lengths[i]`
    // gets packet i's size, `taken` their number; a size beyond its slot
    // marks a packet that did not fit, cut to the slot. EPIPE when the
    // partner closed before the first packet.
    int ReceiveBatch(const PacketSlot* slots, std::size_t count, std::size_t* lengths,
                     std::size_t& taken);
    // 0 once a receive would not block (data or the partner's end), else
    // ETIMEDOUT after the limit.
    int WaitReadable(unsigned milliseconds) const;
    // Without limit: 0 once a receive would not block, EPIPE as soon as
    // `watchedProcess` (a process end descriptor) turns readable first.
    int WaitReadableWatching(int watchedProcess) const;
    // True once the partner has closed its end, even with packets still queued.
    bool PartnerClosed() const;
    int SetNonBlocking();
    int descriptor() const { return m_fd.get(); }

  private:
    UniqueFd m_fd;
};

// The listening end; it owns its socket file and removes it when closed,
// unless another end has since replaced the file.
class ChannelListener {
  public:
    ChannelListener() = default;
    ChannelListener(ChannelListener&& other) noexcept;
    ChannelListener& operator=(ChannelListener&& other) noexcept;
    ChannelListener(const ChannelListener&) = delete;
    ChannelListener& operator=(const ChannelListener&) = delete;
    ~ChannelListener() { close(); }

    // Removes a stale socket file of that name, binds and listens.
    static int Listen(const std::string& path, ChannelListener& out);

    bool valid() const { return m_fd.valid(); }
    // Blocks until a writer connects. With a watched connection, gives up
    // with EPIPE as soon as that connection's partner hangs up.
    int Accept(ChannelConnection& out, const ChannelConnection* watched = nullptr);
    // As Accept, but ETIMEDOUT when no writer connected within the limit,
    // and EPIPE as soon as `watchedProcess` (a process end descriptor, or
    // -1) turns readable: the process that was to connect has ended.
    int AcceptWithin(ChannelConnection& out, unsigned milliseconds, int watchedProcess = -1);
    void close();

  private:
    UniqueFd m_fd;
    std::string m_path;
    unsigned long m_device = 0;
    unsigned long m_inode = 0;
};

}  // namespace platform
