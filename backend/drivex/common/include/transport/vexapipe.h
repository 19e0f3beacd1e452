// One end of a one-way local pipe. The reader creates the pipe (server end)
// and connects before its first read; the writer opens it as a client before
// its first write. Bytes only: framing is in sendreceive. Used by one thread
// at a time; every failure is traced as "<pipe name> <operation> error code : N.".
#pragma once

#include <cstddef>
#include <deque>
#include <string>
#include <vector>

#include "codec/byterun.h"
#include "platform/localchannel.h"

class VexaPipe {
  public:
    // Largest piece written or read in one call.
    static constexpr int PIECE_SIZE = 8192;

    VexaPipe() = default;
    explicit VexaPipe(std::string name) : m_name(std::move(name)) {}
    VexaPipe(const VexaPipe&) = delete;
    VexaPipe& operator=(const VexaPipe&) = delete;
    ~VexaPipe();

    void SetPipeName(const std::string& name) { m_name = name; }
    const std::string& GetPipeName() const { return m_name; }
    const char* GetPipeName(int& length) const;

    int CreatePipe();
    int ConnectPipe();
    // As ConnectPipe, but ends with EPIPE when the partner of `request` (the
    // other direction of the same conversation) hangs up first, so a reader
    // never waits for a writer that died.
    int ConnectPipe(const VexaPipe& request);
    // As ConnectPipe, but ETIMEDOUT (untraced, nothing changed) when no
    // writer came within the limit, and EPIPE (the end left ready for a later
    // writer) as soon as `watchedProcess`, the end descriptor of the process
    // that was to connect, or -1, shows that process ended.
    int ConnectPipeWithin(unsigned milliseconds, int watchedProcess = -1);
    int DisconnectPipe();
    int VEXACreateFile();
    // As VEXACreateFile, waiting up to the limit for the reader to create the
    // pipe; woken when it does.
    int VEXACreateFileWithin(unsigned milliseconds);
    int VEXACreateFileR();
    int OpenPipeToWrite();
    int OpenPipeToUnBlockWrite() { return OpenPipeToWrite(); }
    int OpenPipeToRead() { return 0; }
    int OpenPipeToUnBlockRead() { return 0; }

    int WriteData(const void* buffer, int length, int& written);
    // The same pieces as WriteData of `head` followed by `tail`, sent from
    // where the two lie.
    int WriteData(const void* head, int headLength, const void* tail, int tailLength, int& written);
    // The same pieces as WriteData of the runs end to end, each sent from
    // where it lies, many pieces a call; a piece that would join more than
    // two runs is gathered into one small buffer first.
    int WriteRuns(const codec::ByteRun* runs, std::size_t count, int& written);
    int ReadData(int size, void* buffer, int& bytesRead);
    // As ReadData, but for up to PIECES_PER_CALL pieces of one message at
    // once: full pieces one after the other in `buffer`, the last slot
    // holding what is left of `size`. Waits for the first piece as ReadData
    // does, then takes those already queued. `pieceLengths` gets each
    // piece's size (beyond its slot: it did not fit), `pieces` their number.
    // The pieces end at the first that does not fill its slot; any taken
    // behind it belong to what follows and are kept for the next reads.
    int ReadPieces(int size, void* buffer, std::size_t* pieceLengths, std::size_t& pieces);
    static constexpr int PIECES_PER_CALL =
        static_cast<int>(platform::ChannelConnection::BATCH_LIMIT);
    // From now on a read that waits also watches this process (its end
    // descriptor; -1: none) and fails with EPIPE the moment it ends, in the
    // same wait as the pipe's.
    void WatchProcess(int processDescriptor) { m_watchedProcess = processDescriptor; }
    // As ReadData, but ETIMEDOUT (untraced, nothing read) when nothing came
    // within the limit, so a reader can look at its stop request.
    int ReadDataWithin(int size, void* buffer, int& bytesRead, unsigned milliseconds);
    // 0 once a read would not block (data, or the partner's end); ETIMEDOUT
    // after the limit; EBADF without a connection.
    int WaitReadable(unsigned milliseconds) const;
    // Without limit: 0 once a read would not block, EPIPE as soon as
    // `descriptor` (a process's end, a wake event) turns readable first.
    int WaitReadableWatching(int descriptor) const {
        return m_held.empty() ? m_connection.WaitReadableWatching(descriptor) : 0;
    }
    // The connected partner has closed its end (queued packets may remain).
    bool IsPartnerGone() const { return m_connection.PartnerClosed(); }
    int FlushPipe() { return 0; }
    int ChangeReadMode();
    int ChangeToUnBlockMode();
    int ClosePipe();

    bool HasPipe() const { return m_listener.valid() || m_connection.valid(); }
    bool IsWritePipeConnected() const { return m_writeConnected; }
    bool IsPipeCreated() const { return m_created; }

  private:
    int Connect(const platform::ChannelConnection* watched, int milliseconds,
                int watchedProcess = -1);
    int OpenClient(const char* operation, unsigned waitMs = 0);
    void Trace(const char* operation, int code) const;
    // 0 once a piece can be read: connected, and (when watching) the
    // watched process still there.
    int WaitForPiece() const;
    // The next held packet into `buffer`, at most `size` bytes; its length.
    std::size_t ReadHeld(std::size_t size, void* buffer);

    std::string m_name;
    platform::ChannelListener m_listener;
    platform::ChannelConnection m_connection;
    // Packets a batch read took behind the end of a broken message, served
    // before the channel's own: each cut to a piece, with its whole length.
    struct HeldPacket {
        std::vector<unsigned char> bytes;
        std::size_t length;
    };
    std::deque<HeldPacket> m_held;
    int m_watchedProcess = -1;
    bool m_writeConnected = false;
    bool m_connectAttempted = false;
    bool m_created = false;
};
