// The framed receive of a pipe end fed piece by piece over a real local
// channel. Input: one byte n, then n chunk-size bytes (used in turn), one
// byte choosing a lent block, then the bytes that travel. Each chunk is one
// packet. The outcome is checked against what the framing rules predict
// for those packets: a complete image must decode exactly as the same bytes
// decoded in one piece, and the receive must take exactly the packets of its
// message (a broken one read to its end), leaving the next packet whole.
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "codec/clexdsmb.h"
#include "codec/ownedbuffer.h"
#include "platform/localchannel.h"
#include "platform/process.h"
#include "runtime/statuscodes.h"
#include "transport/sendreceive.h"
#include "transport/vexapipe.h"

namespace {

constexpr std::size_t kPiece = VexaPipe::PIECE_SIZE;
constexpr std::size_t kLargeSizes[] = {1024, 4096, kPiece - 1, kPiece, kPiece + 1, 3 * kPiece};

std::size_t ChunkSize(std::uint8_t selector) {
    const std::size_t large = sizeof kLargeSizes / sizeof kLargeSizes[0];
    if (selector >= 256 - large) return kLargeSizes[selector - (256 - large)];
    return std::size_t{selector} + 1;
}

// The reading end lives as long as the process (its socket file goes with
// it); each input gets a fresh connection on it.
VexaPipe& Reader() {
    static VexaPipe reader(platform::PipeDirectory() + "/fuzzframe" +
                           std::to_string(platform::CurrentProcessId()));
    if (!reader.IsPipeCreated() && reader.CreatePipe() != 0) __builtin_trap();
    return reader;
}

struct Prediction {
    enum class Kind { kComplete, kTruncated, kMalformed } kind;
    std::size_t total = 0;
    // Packets the receive takes: those of the image, or of the broken message
    // up to its end, which the receive reads and drops.
    std::size_t packetsTaken = 0;
};

// A message broken at packet `at` is read to its end: every piece but a
// message's last is full, so it ends at its first short piece after `at`.
std::size_t TakenToMessageEnd(const std::vector<std::size_t>& chunks, std::size_t at,
                              bool brokenPieceFull) {
    bool full = brokenPieceFull;
    std::size_t taken = at + 1;
    while (full && taken < chunks.size()) full = chunks[taken++] >= kPiece;
    return taken;
}

Prediction Predict(const std::vector<std::size_t>& chunks,
                   const std::vector<std::uint8_t>& stream) {
    using Kind = Prediction::Kind;
    if (chunks.empty()) return {Kind::kTruncated};
    if (chunks[0] > kPiece) return {Kind::kMalformed, 0, TakenToMessageEnd(chunks, 0, true)};
    std::int32_t total = 0;
    const bool firstFull = chunks[0] == kPiece;
    if (CleXDSmb::PeekTotalSize(stream.data(), chunks[0], total) != 0) {
        return {Kind::kMalformed, 0, TakenToMessageEnd(chunks, 0, firstFull)};
    }
    const auto whole = static_cast<std::size_t>(total);
    if (whole < chunks[0]) return {Kind::kMalformed, 0, TakenToMessageEnd(chunks, 0, firstFull)};
    std::size_t received = chunks[0];
    std::size_t i = 1;
    for (; received < whole; ++i) {
        if (i == chunks.size()) return {Kind::kTruncated};
        const std::size_t want = std::min(kPiece, whole - received);
        // A piece too large for the read is taken as full: its size is unknown.
        if (chunks[i] > want) return {Kind::kMalformed, 0, TakenToMessageEnd(chunks, i, true)};
        if (chunks[i] < want) return {Kind::kMalformed, 0, i + 1};
        received += chunks[i];
    }
    return {Kind::kComplete, whole, i};
}

// The packet after those the receive took is the next thing the reader
// reads, untouched; when none is left, the writer's close.
void CheckNextPacket(VexaPipe& reader, const Prediction& expected,
                     const std::vector<std::size_t>& chunks,
                     const std::vector<std::uint8_t>& stream) {
    unsigned char next[kPiece];
    int got = 0;
    const int read = reader.ReadData(static_cast<int>(kPiece), next, got);
    if (expected.packetsTaken == chunks.size()) {
        if (read != EPIPE) __builtin_trap();
        return;
    }
    std::size_t at = 0;
    for (std::size_t i = 0; i < expected.packetsTaken; ++i) at += chunks[i];
    const std::size_t size = chunks[expected.packetsTaken];
    if (read != (size > kPiece ? EMSGSIZE : 0)) __builtin_trap();
    const std::size_t compared = std::min(size, kPiece);
    if (static_cast<std::size_t>(got) != compared) __builtin_trap();
    if (std::memcmp(next, stream.data() + at, compared) != 0) __builtin_trap();
}

std::vector<unsigned char> Encode(CleXDSmb& message) {
    if (message.ContructSendData() != 0) __builtin_trap();
    std::int32_t length = 0;
    const auto* image = static_cast<const unsigned char*>(message.GetSendBuf(length));
    return std::vector<unsigned char>(image, image + length);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::size_t selectors = std::min<std::size_t>(data[0] % 16 + 1, size - 2);
    const std::uint8_t* sizes = data + 1;
    const std::uint8_t lend = data[1 + selectors];
    const std::vector<std::uint8_t> stream(data + 2 + selectors, data + size);

    std::vector<std::size_t> chunks;
    for (std::size_t at = 0, i = 0; at < stream.size(); ++i) {
        const std::size_t chunk = std::min(ChunkSize(sizes[i % selectors]), stream.size() - at);
        chunks.push_back(chunk);
        at += chunk;
    }

    VexaPipe& reader = Reader();
    platform::ChannelConnection writer;
    if (platform::ChannelConnection::Connect(reader.GetPipeName(), writer) != 0) __builtin_trap();
    if (reader.ConnectPipe() != 0) __builtin_trap();

    // The writer ends its side once everything is sent, or as soon as the
    // reader has stopped listening.
    std::thread sending([&writer, &chunks, &stream] {
        std::size_t at = 0;
        for (std::size_t chunk : chunks) {
            if (writer.Send(stream.data() + at, chunk) != 0) break;
            at += chunk;
        }
        writer.close();
    });

    CleXDSmb received;
    if (lend & 1)
        received.LendReceiveBlock(codec::OwnedBuffer::Allocate(std::size_t{lend} * 64 + 1));
    const int result = ReceiveData(reader, received, true);
    const Prediction expected = Predict(chunks, stream);
    if (expected.kind != Prediction::Kind::kTruncated)
        CheckNextPacket(reader, expected, chunks, stream);
    reader.DisconnectPipe();
    sending.join();

    switch (expected.kind) {
        case Prediction::Kind::kTruncated:
            if (result != EPIPE) __builtin_trap();
            break;
        case Prediction::Kind::kMalformed:
            if (result != VEXA_MALFORMED_MESSAGE) __builtin_trap();
            break;
        case Prediction::Kind::kComplete: {
            CleXDSmb direct;
            if (direct.ParseBuf(stream.data(), expected.total) != 0) {
                if (result != VEXA_MALFORMED_MESSAGE) __builtin_trap();
                break;
            }
            if (result != direct.GetErrorCode()) __builtin_trap();
            if (Encode(received) != Encode(direct)) __builtin_trap();
            break;
        }
    }
    return 0;
}
