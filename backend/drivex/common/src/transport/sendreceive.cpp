#include "transport/sendreceive.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

#include "codec/bytereader.h"
#include "codec/clexdsmb.h"
#include "codec/javaextensionsmb.h"
#include "codec/ownedbuffer.h"
#include "runtime/dxtracer.h"
#include "runtime/statuscodes.h"
#include "transport/javaplugsocket.h"
#include "transport/vexapipe.h"

namespace {

constexpr int kPiece = VexaPipe::PIECE_SIZE;
static_assert(JavaPlugInSocket::PIECE_SIZE == kPiece, "both channels read the same pieces");
constexpr int kTotalFieldSize = 4;
// The most one read of an image's rest asks for: a pipe's batch of pieces.
constexpr std::size_t kReadRun = std::size_t{kPiece} * VexaPipe::PIECES_PER_CALL;
// A declared total is trusted for one up-front allocation only up to this
// size; beyond it the image grows as its bytes actually arrive.
constexpr std::size_t kTrustedReservation = std::size_t{64} << 20;

int ProtocolViolation(const std::string& channel, const char* condition) {
    DxTraceError(channel + " " + condition, VEXA_MALFORMED_MESSAGE);
    return VEXA_MALFORMED_MESSAGE;
}

// Holds the image being assembled; allocated once for totals that are
// plausible, grown geometrically for the rest. A lent block large enough for
// the first allocation is used instead of a fresh one.
class ImageAssembly {
  public:
    ImageAssembly(std::size_t total, codec::OwnedBuffer lent) : m_total(total) {
        const std::size_t first = std::min(total, kTrustedReservation);
        if (lent.size() >= first) {
            m_buffer = std::move(lent);
        } else {
            lent.reset();
            m_buffer = codec::OwnedBuffer::Allocate(first);
        }
    }

    std::size_t received() const { return m_received; }
    std::size_t missing() const { return m_total - m_received; }
    bool complete() const { return m_received == m_total; }
    // The whole image, in its first T bytes once complete.
    codec::OwnedBuffer Take() { return std::move(m_buffer); }

    // Room for the next piece of at most `want` bytes, growing if needed.
    unsigned char* Tail(std::size_t want) {
        std::size_t needed = m_received + want;
        if (needed > m_buffer.size()) {
            std::size_t grown = std::min(m_total, std::max(needed, m_buffer.size() * 2));
            codec::OwnedBuffer larger = codec::OwnedBuffer::Allocate(grown);
            std::memcpy(larger.data(), m_buffer.data(), m_received);
            m_buffer = std::move(larger);
        }
        return m_buffer.bytes() + m_received;
    }
    void Advance(std::size_t count) { m_received += count; }

  private:
    std::size_t m_total;
    codec::OwnedBuffer m_buffer;
    std::size_t m_received = 0;
};

// Encodes the message and hands its image to `write`(runs, count): the wire
// records and the void block are written from where they lie, not copied
// into one image first. The message is cleaned up only when the write
// succeeded.
template <typename Write>
int SendImage(CleXDSmb& message, Write write) {
    // Nearly every request and reply fits one piece: built on the stack, so a
    // round trip allocates no image, and sized once, by the encode itself.
    unsigned char image[kPiece];
    if (message.EncodeInto(image, sizeof image) == 0) {
        const codec::ByteRun whole{image, codec::DecodeFixed32(image)};
        if (int error = write(&whole, 1)) return error;
        message.CleanUp();
        return 0;
    }
    std::size_t size = 0;
    if (int sized = message.EncodedSize(size)) return sized;
    std::array<codec::ByteRun, CleXDSmb::SEND_RUNS> runs;
    if (int built = message.ContructSendRuns(runs)) return built;
    if (int error = write(runs.data(), runs.size())) return error;
    message.CleanUp();
    return 0;
}

// Completes the image whose first `count` bytes are in `first` and decodes
// it into the message. `read`(into, want, got) reads at most `want` bytes,
// one or more pieces, and returns a transport code. `channel` names the channel in
// the trace of a malformed image. `imageEnded` tells whether all T bytes
// arrived, so a caller can tell a broken framing from a bad image.
template <typename Read>
int AssembleImage(CleXDSmb& message, const std::string& channel, const unsigned char* first,
                  int count, Read read, bool& imageEnded) {
    imageEnded = false;
    std::int32_t total = 0;
    if (CleXDSmb::PeekTotalSize(first, static_cast<std::size_t>(count), total) != 0) {
        return ProtocolViolation(channel, "T>=52");
    }
    if (total < count) return ProtocolViolation(channel, "dataLen>=realDataLen");

    codec::OwnedBuffer lent = message.TakeLentBlock();
    if (total == count && lent.empty()) {
        imageEnded = true;
        // Whole in its first piece, as nearly every reply is: decoded from
        // there, without an image of its own.
        if (int parsed = message.ParseBuf(first, static_cast<std::size_t>(count))) return parsed;
        return message.GetErrorCode();
    }
    ImageAssembly image(static_cast<std::size_t>(total), std::move(lent));
    std::memcpy(image.Tail(static_cast<std::size_t>(count)), first,
                static_cast<std::size_t>(count));
    image.Advance(static_cast<std::size_t>(count));
    while (!image.complete()) {
        std::size_t want = std::min<std::size_t>(kReadRun, image.missing());
        if (int error = read(image.Tail(want), static_cast<int>(want), count)) return error;
        if (count == 0) return VEXA_EMPTY_READ;
        image.Advance(static_cast<std::size_t>(count));
    }
    imageEnded = true;
    // The image's memory becomes the message's void data: no second large copy.
    if (int parsed = message.ParseBuf(image.Take())) return parsed;
    return message.GetErrorCode();
}

constexpr char kSocketChannel[] = "JavaPlugInSocket";

// A writer's pieces follow one another without waiting for the reader, so
// after a full piece the next one of the same message is at most this far
// behind; a message that happened to end on a full piece has ended by then.
constexpr unsigned kNextPieceWaitMs = 100;

// Reads and drops the rest of a message whose framing broke, so that none of
// its pieces is taken for the next message. Every piece but a message's last
// is full (a piece too large for the read counts as full): the message ends
// at its first short piece.
void DiscardRestOfMessage(VexaPipe& end, bool lastPieceFull) {
    unsigned char scratch[kPiece];
    while (lastPieceFull) {
        if (end.WaitReadable(kNextPieceWaitMs) != 0) return;
        int got = 0;
        const int error = end.ReadData(kPiece, scratch, got);
        if (error != 0 && error != EMSGSIZE) return;
        lastPieceFull = error == EMSGSIZE || got == kPiece;
    }
}

}  // namespace

int SendData(VexaPipe& end, CleXDSmb& message) {
    return SendImage(message, [&end](const codec::ByteRun* runs, std::size_t count) {
        int written = 0;
        return end.WriteRuns(runs, count, written);
    });
}

int SendData(VexaPipe& end, CleXDSmb& message, bool serverEnd) {
    if (!serverEnd) {
        if (!end.HasPipe()) {
            if (int error = end.VEXACreateFile()) return error;
        }
        if (int error = end.ChangeReadMode()) {
            end.ClosePipe();
            return error;
        }
    }
    return SendData(end, message);
}

int ReceiveData(VexaPipe& end, CleXDSmb& message) {
    // A pipe keeps packet boundaries: the first read takes the whole first
    // piece, whatever its size.
    unsigned char first[kPiece];
    int count = 0;
    const int firstRead = end.ReadData(kPiece, first, count);
    const std::string& channel = end.GetPipeName();
    if (firstRead == EMSGSIZE) {
        DiscardRestOfMessage(end, true);
        return ProtocolViolation(channel, "piece <= 8192");
    }
    if (firstRead) return firstRead;
    if (count == 0) return VEXA_EMPTY_READ;
    bool lastPieceFull = count == kPiece;
    bool imageEnded = false;
    const int result = AssembleImage(
        message, channel, first, count,
        [&end, &channel, &lastPieceFull](void* into, int want, int& got) {
            got = 0;
            std::array<std::size_t, VexaPipe::PIECES_PER_CALL> lengths;
            std::size_t pieces = 0;
            if (int error = end.ReadPieces(want, into, lengths.data(), pieces)) return error;
            if (pieces == 0) return 0;
            // Every piece but the last one read fills its slot; the last may
            // end the image, or break it.
            const std::size_t last = pieces - 1;
            const std::size_t slot =
                std::min<std::size_t>(kPiece, static_cast<std::size_t>(want) - last * kPiece);
            const std::size_t size = lengths[last];
            // One too large for its slot counts as full.
            lastPieceFull = size >= static_cast<std::size_t>(kPiece) || size > slot;
            // A piece that does not fit the rest of the image runs past T.
            if (size > slot) return ProtocolViolation(channel, "dataLen>=realDataLen");
            // Only a message's last piece is short: this one ended before T.
            if (size < slot) return ProtocolViolation(channel, "piece is full or the last");
            got = static_cast<int>(last * kPiece + size);
            return 0;
        },
        imageEnded);
    if (result == VEXA_MALFORMED_MESSAGE && !imageEnded) DiscardRestOfMessage(end, lastPieceFull);
    return result;
}

int ReceiveData(VexaPipe& end, CleXDSmb& message, bool serverEnd) {
    if (!serverEnd && !end.HasPipe()) {
        if (int error = end.VEXACreateFile()) return error;
    }
    return ReceiveData(end, message);
}

int SendData(JavaPlugInSocket& socket, CleXDSmb& message) {
    // A stream keeps no packet boundaries: the runs go one after the other.
    return SendImage(message, [&socket](const codec::ByteRun* runs, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) {
            if (runs[i].size == 0) continue;
            int written = 0;
            if (int error =
                    socket.WriteData(runs[i].data, static_cast<int>(runs[i].size), written)) {
                return error;
            }
        }
        return 0;
    });
}

int ReceiveData(JavaPlugInSocket& socket, CleXDSmb& message) {
    // A stream may hand T over in more than one read.
    unsigned char first[kTotalFieldSize];
    int count = 0;
    while (count < kTotalFieldSize) {
        int got = 0;
        if (int error = socket.ReadData(reinterpret_cast<char*>(first) + count,
                                        kTotalFieldSize - count, got)) {
            return error;
        }
        if (got == 0) return VEXA_EMPTY_READ;
        count += got;
    }
    // A stream has no piece boundaries to resynchronise on after a broken image.
    bool imageEnded = false;
    return AssembleImage(
        message, kSocketChannel, first, count,
        [&socket](void* into, int want, int& got) {
            return socket.ReadData(static_cast<char*>(into), want, got);
        },
        imageEnded);
}

int SendData(JavaPlugInSocket& socket, JavaExtensionSmb& message) {
    return message.SendWith([&socket](const void* data, std::int32_t length) {
        int written = 0;
        return socket.WriteData(data, length, written);
    });
}

int ReceiveData(JavaPlugInSocket&, JavaExtensionSmb&) { return 0; }
