#include "transport/sendreceive.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "codec/clexdsmb.h"
#include "codec/ownedbuffer.h"
#include "runtime/dxtracer.h"
#include "runtime/statuscodes.h"
#include "transport/vexapipe.h"

namespace {

constexpr int kPiece = VexaPipe::PIECE_SIZE;
// A declared total is trusted for one up-front allocation only up to this
// size; beyond it the image grows as its bytes actually arrive.
constexpr std::size_t kTrustedReservation = std::size_t{64} << 20;

int ProtocolViolation(const VexaPipe& end, const char* condition) {
    DxTraceError(end.GetPipeName() + " " + condition, VEXA_MALFORMED_MESSAGE);
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

}  // namespace

int SendData(VexaPipe& end, CleXDSmb& message) {
    if (int built = message.ContructSendData()) return built;
    std::int32_t length = 0;
    const void* image = message.GetSendBuf(length);
    int written = 0;
    if (int error = end.WriteData(image, length, written)) return error;
    message.CleanUp();
    return 0;
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
    unsigned char first[kPiece];
    int count = 0;
    if (int error = end.ReadData(kPiece, first, count)) return error;
    if (count == 0) return VEXA_EMPTY_READ;
    std::int32_t total = 0;
    if (CleXDSmb::PeekTotalSize(first, static_cast<std::size_t>(count), total) != 0) {
        return ProtocolViolation(end, "T>=52");
    }
    if (total < count) return ProtocolViolation(end, "dataLen>=realDataLen");

    ImageAssembly image(static_cast<std::size_t>(total), message.TakeLentBlock());
    std::memcpy(image.Tail(static_cast<std::size_t>(count)), first, static_cast<std::size_t>(count));
    image.Advance(static_cast<std::size_t>(count));
    while (!image.complete()) {
        std::size_t want = std::min<std::size_t>(kPiece, image.missing());
        int error = end.ReadData(static_cast<int>(want), image.Tail(want), count);
        // A piece that does not fit the rest of the image runs past T.
        if (error == EMSGSIZE) return ProtocolViolation(end, "dataLen>=realDataLen");
        if (error) return error;
        if (count == 0) return VEXA_EMPTY_READ;
        image.Advance(static_cast<std::size_t>(count));
    }
    // The image's memory becomes the message's void data: no second large copy.
    if (int parsed = message.ParseBuf(image.Take())) return parsed;
    return message.GetErrorCode();
}

int ReceiveData(VexaPipe& end, CleXDSmb& message, bool serverEnd) {
    if (!serverEnd && !end.HasPipe()) {
        if (int error = end.VEXACreateFile()) return error;
    }
    return ReceiveData(end, message);
}
