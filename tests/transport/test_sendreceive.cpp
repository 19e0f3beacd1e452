#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "codec/clexdsmb.h"
#include "codec/ownedbuffer.h"
#include "platform/process.h"
#include "runtime/statuscodes.h"
#include "testsupport.h"
#include "transport/sendreceive.h"
#include "transport/vexapipe.h"

using testsupport::PeerPath;
using testsupport::UniquePipeName;

namespace {

constexpr int kEmptyImage = 52;

// A message whose image is exactly `imageSize` bytes: the void data fills the rest.
void FillToImageSize(CleXDSmb& message, int imageSize) {
    int voidLength = imageSize - kEmptyImage;
    if (voidLength <= 0) return;
    auto* data = static_cast<unsigned char*>(std::malloc(static_cast<size_t>(voidLength)));
    for (int i = 0; i < voidLength; ++i) data[i] = static_cast<unsigned char>(i * 31 + 7);
    message.SetVoidData(data, voidLength);
}

bool VoidMatches(const CleXDSmb& message, int imageSize) {
    std::int32_t length = 0;
    auto* data = static_cast<const unsigned char*>(message.GetVoidData(length));
    if (length != std::max(0, imageSize - kEmptyImage)) return false;
    for (int i = 0; i < length; ++i) {
        if (data[i] != static_cast<unsigned char>(i * 31 + 7)) return false;
    }
    return true;
}

// This process's side of a conversation with a peer process: it writes the
// peer's request pipe and reads its own reply pipe.
class PeerConversation {
  public:
    explicit PeerConversation(std::vector<std::string> peerArguments, bool withRequest = true)
        : m_request(UniquePipeName("req")), m_reply(UniquePipeName("rep")) {
        EXPECT_EQ(m_reply.CreatePipe(), 0);
        std::vector<std::string> argv{PeerPath("framepeer"), peerArguments[0]};
        if (withRequest) argv.push_back(m_request.GetPipeName());
        argv.push_back(m_reply.GetPipeName());
        argv.insert(argv.end(), peerArguments.begin() + 1, peerArguments.end());
        EXPECT_EQ(platform::ChildProcess::Spawn(argv, m_peer), 0);
    }

    // The peer creates its pipe some time after it starts.
    int Send(CleXDSmb& message) {
        int result = 0;
        for (int attempt = 0; attempt < 250; ++attempt) {
            result = SendData(m_request, message, false);
            if (result != VEXA_PIPE_FAILED || m_request.HasPipe()) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return result;
    }
    int Receive(CleXDSmb& message) {
        m_reply.ConnectPipe();
        return ReceiveData(m_reply, message, true);
    }
    int PeerExit() { return m_peer.Wait(); }

  private:
    VexaPipe m_request;
    VexaPipe m_reply;
    platform::ChildProcess m_peer;
};

}  // namespace

TEST(FramingBetweenProcesses, MessagesOfEverySizeArriveWhole) {
    const std::vector<int> sizes{52, 8192, 8193, 20000, 20 * 1024 * 1024};
    PeerConversation peer({"echo", std::to_string(sizes.size())});
    for (int size : sizes) {
        CleXDSmb request;
        request.SetCommandAction(7);
        FillToImageSize(request, size);
        ASSERT_EQ(request.ContructSendData(), 0);
        ASSERT_EQ(request.GetSendLength(), size);
        ASSERT_EQ(peer.Send(request), 0) << size;
        CleXDSmb reply;
        ASSERT_EQ(peer.Receive(reply), 0) << size;
        EXPECT_EQ(reply.GetCommandAction(), 7);
        EXPECT_EQ(reply.GetSendLength(), size);
        EXPECT_TRUE(VoidMatches(reply, size)) << size;
    }
    EXPECT_EQ(peer.PeerExit(), 0);
}

TEST(FramingBetweenProcesses, ReplyErrorCodeIsTheReceiveResultAndBlocksAreFilled) {
    PeerConversation peer({"echo", "1"});
    CleXDSmb request;
    request.SetErrorCode(10);
    request.SetLong(41);
    request.SetString("kept");
    ASSERT_EQ(peer.Send(request), 0);
    CleXDSmb reply;
    EXPECT_EQ(peer.Receive(reply), 10);
    ASSERT_EQ(reply.GetLongData().Size(), 1);
    EXPECT_EQ(reply.GetLongData().Values()[0], 41);
    EXPECT_EQ(reply.GetSingleString(), "kept");
    EXPECT_EQ(peer.PeerExit(), 0);
}

TEST(FramingBetweenProcesses, WriterThatClosesWithoutWritingGivesBrokenPipe) {
    PeerConversation peer({"raw", "0"}, false);
    CleXDSmb reply;
    reply.SetLong(5);
    EXPECT_EQ(peer.Receive(reply), EPIPE);
    EXPECT_EQ(reply.GetLongData().Size(), 1);  // untouched
    EXPECT_EQ(peer.PeerExit(), 0);
}

TEST(FramingBetweenProcesses, PieceLongerThanTheDeclaredTotalIsMalformed) {
    PeerConversation peer({"raw", "60", "100"}, false);
    CleXDSmb reply;
    EXPECT_EQ(peer.Receive(reply), VEXA_MALFORMED_MESSAGE);
    EXPECT_EQ(reply.GetSendLength(), 0);
    peer.PeerExit();
}

TEST(FramingBetweenProcesses, SecondPieceRunningPastTheTotalIsMalformed) {
    PeerConversation peer({"raw", "8200", "8192", "100"}, false);
    CleXDSmb reply;
    EXPECT_EQ(peer.Receive(reply), VEXA_MALFORMED_MESSAGE);
    peer.PeerExit();
}

TEST(FramingBetweenProcesses, TotalBelowTheHeaderSizeIsMalformed) {
    for (const char* total : {"3", "51", "-8"}) {
        PeerConversation peer({"raw", total, "52"}, false);
        CleXDSmb reply;
        EXPECT_EQ(peer.Receive(reply), VEXA_MALFORMED_MESSAGE) << total;
        peer.PeerExit();
    }
}

TEST(FramingBetweenProcesses, HugeDeclaredTotalFromAWriterThatStopsEndsWithBrokenPipe) {
    PeerConversation peer({"raw", "2147483647", "8192", "8192"}, false);
    CleXDSmb reply;
    EXPECT_EQ(peer.Receive(reply), EPIPE);
    peer.PeerExit();
}

namespace {

// The first request gets the broken reply, the second the integer 42: the
// broken message costs its own call and no more.
void ExpectBrokenReplyThenAGoodOne(const std::vector<std::string>& brokenPieces) {
    std::vector<std::string> arguments{"badthengood"};
    arguments.insert(arguments.end(), brokenPieces.begin(), brokenPieces.end());
    PeerConversation peer(arguments);
    CleXDSmb first;
    ASSERT_EQ(peer.Send(first), 0);
    CleXDSmb broken;
    EXPECT_EQ(peer.Receive(broken), VEXA_MALFORMED_MESSAGE);
    CleXDSmb second;
    ASSERT_EQ(peer.Send(second), 0);
    CleXDSmb good;
    EXPECT_EQ(peer.Receive(good), 0);
    ASSERT_EQ(good.GetLongData().Size(), 1);
    EXPECT_EQ(good.GetLongData().Values()[0], 42);
    EXPECT_EQ(peer.PeerExit(), 0);
}

}  // namespace

TEST(FramingAfterABrokenMessage, ASinglePieceBelowTheHeaderSizeCostsOnlyItsCall) {
    ExpectBrokenReplyThenAGoodOne({"40", "100"});
}

TEST(FramingAfterABrokenMessage, TheRestOfABrokenMultiPieceMessageIsNeverTheNextReply) {
    // Total below the header size, then smaller than the piece, then a later
    // piece running past the total, then a short piece before the total.
    ExpectBrokenReplyThenAGoodOne({"12", "8192", "8192", "300"});
    ExpectBrokenReplyThenAGoodOne({"100", "8192", "8192", "8192", "7"});
    ExpectBrokenReplyThenAGoodOne({"8300", "8192", "8192", "8192", "60"});
    ExpectBrokenReplyThenAGoodOne({"30000", "8192", "500"});
    // A short piece too large for the rest of the total counts as full.
    ExpectBrokenReplyThenAGoodOne({"8300", "8192", "500", "60"});
}

TEST(FramingAfterABrokenMessage, AFirstPieceTooLargeForTheReadIsMalformed) {
    ExpectBrokenReplyThenAGoodOne({"9000", "9000"});
    ExpectBrokenReplyThenAGoodOne({"30000", "9000", "8192", "1000"});
}

TEST(FramingAfterABrokenMessage, AMessageEndingOnAFullPieceIsDrainedToItsEnd) {
    ExpectBrokenReplyThenAGoodOne({"20", "8192", "8192"});
}

// A reader takes the pieces already queued in one batch, which may run past
// a broken message into the next one: those are kept and read in turn.
TEST(FramingInProcess, PiecesQueuedBehindABrokenMessageStayTheNextMessage) {
    const std::string name = UniquePipeName("behind");
    VexaPipe reader(name);
    ASSERT_EQ(reader.CreatePipe(), 0);
    VexaPipe writer(name);
    ASSERT_EQ(writer.VEXACreateFile(), 0);
    ASSERT_EQ(reader.ConnectPipe(), 0);
    // A first piece declaring 30,000 bytes, a short second piece, then a
    // whole message of three pieces, all queued before the receive.
    std::vector<unsigned char> first(VexaPipe::PIECE_SIZE, 0x5A);
    first[0] = 0x30;
    first[1] = 0x75;
    first[2] = 0;
    first[3] = 0;
    const std::vector<unsigned char> shortPiece(500, 0x33);
    int written = 0;
    ASSERT_EQ(writer.WriteData(first.data(), static_cast<int>(first.size()), written), 0);
    ASSERT_EQ(writer.WriteData(shortPiece.data(), static_cast<int>(shortPiece.size()), written), 0);
    CleXDSmb good;
    good.SetCommandAction(9);
    FillToImageSize(good, 20000);
    ASSERT_EQ(SendData(writer, good), 0);

    CleXDSmb broken;
    EXPECT_EQ(ReceiveData(reader, broken), VEXA_MALFORMED_MESSAGE);
    CleXDSmb next;
    ASSERT_EQ(ReceiveData(reader, next), 0);
    EXPECT_EQ(next.GetCommandAction(), 9);
    EXPECT_TRUE(VoidMatches(next, 20000));
    // Nothing else was left: the next read waits.
    char byte = 0;
    int got = 0;
    EXPECT_EQ(reader.ReadDataWithin(1, &byte, got, 50), ETIMEDOUT);
}

TEST(FramingInProcess, TwentyThousandBytesTravelAsThreePieces) {
    const std::string name = UniquePipeName("three");
    VexaPipe reader(name);
    ASSERT_EQ(reader.CreatePipe(), 0);
    VexaPipe writer(name);
    CleXDSmb message;
    FillToImageSize(message, 20000);
    ASSERT_EQ(SendData(writer, message, false), 0);
    ASSERT_EQ(reader.ConnectPipe(), 0);
    std::vector<char> buffer(8192);
    std::vector<int> pieces;
    for (int total = 0; total < 20000;) {
        int n = 0;
        ASSERT_EQ(reader.ReadData(8192, buffer.data(), n), 0);
        pieces.push_back(n);
        total += n;
    }
    EXPECT_EQ(pieces, (std::vector<int>{8192, 8192, 3616}));
}

// Wire records and the void block go out from where they lie, between and
// behind values encoded into the message's own buffer: the packets must still
// be the image cut into whole pieces, whichever piece each run ends in, also
// when one piece joins more than two runs.
TEST(FramingInProcess, RunsOfTheImageTravelAsTheImageCutIntoPieces) {
    struct Shape {
        std::size_t headText;  // string bytes before the records
        int records;
        bool array;  // a string array between the records and the void block
        int voidLength;
    };
    for (const Shape shape :
         {Shape{0, 0, false, 0}, Shape{100, 0, false, 8192 - 100 - 73}, Shape{100, 0, false, 30000},
          Shape{10000, 0, false, 20000}, Shape{20000, 0, false, 1}, Shape{8192 - 73, 0, false, 5},
          Shape{100, 2, true, 30000}, Shape{0, 1000, true, 0}, Shape{8000, 1000, false, 9000},
          Shape{0, 300, true, 1},
          // Past one batch of pieces, with a piece that joins runs as the first of the next.
          Shape{64 * 8192 + 8000, 3, true, 600000}, Shape{200000, 1000, true, 700000}}) {
        SCOPED_TRACE("head text " + std::to_string(shape.headText) + ", records " +
                     std::to_string(shape.records) + ", void " + std::to_string(shape.voidLength));
        CleXDSmb message;
        message.SetLong(7);
        message.SetString(std::string(shape.headText, 'h'));
        codec::CellRecords records;
        for (int i = 0; i < shape.records; ++i) {
            if (i % 3 == 0)
                records.AppendString("set", i, i % 7, "text" + std::to_string(i));
            else
                records.AppendNumeric("set", i, i % 7, i * 0.25);
        }
        message.SetStructRecords(std::move(records));
        if (shape.array) {
            StringData names;
            names.SetValue("after");
            names.SetValue("the records");
            message.SetStringArray(std::move(names));
        }
        if (shape.voidLength > 0) {
            auto* data = static_cast<unsigned char*>(
                std::malloc(static_cast<std::size_t>(shape.voidLength)));
            for (int i = 0; i < shape.voidLength; ++i)
                data[i] = static_cast<unsigned char>(i * 13 + 1);
            message.SetVoidData(data, shape.voidLength);
        }
        std::size_t size = 0;
        ASSERT_EQ(message.EncodedSize(size), 0);
        std::vector<unsigned char> image(size);
        ASSERT_EQ(message.EncodeInto(image.data(), image.size()), 0);

        const std::string name = UniquePipeName("gather");
        VexaPipe reader(name);
        ASSERT_EQ(reader.CreatePipe(), 0);
        VexaPipe writer(name);
        std::vector<unsigned char> received;
        std::thread drain([&] {
            ASSERT_EQ(reader.ConnectPipe(), 0);
            std::vector<unsigned char> piece(VexaPipe::PIECE_SIZE + 1);
            while (received.size() < size) {
                int n = 0;
                ASSERT_EQ(reader.ReadData(static_cast<int>(piece.size()), piece.data(), n), 0);
                const std::size_t expected =
                    std::min<std::size_t>(VexaPipe::PIECE_SIZE, size - received.size());
                ASSERT_EQ(static_cast<std::size_t>(n), expected);
                received.insert(received.end(), piece.begin(), piece.begin() + n);
            }
        });
        EXPECT_EQ(SendData(writer, message, false), 0);
        drain.join();
        EXPECT_TRUE(received == image);
    }
}

TEST(FramingInProcess, SuccessfulSendEmptiesTheMessageAndAFailedOneKeepsIt) {
    const std::string name = UniquePipeName("keep");
    auto reader = std::make_unique<VexaPipe>(name);
    ASSERT_EQ(reader->CreatePipe(), 0);
    VexaPipe writer(name);
    CleXDSmb sent;
    sent.SetLong(1);
    sent.SetString("x");
    ASSERT_EQ(SendData(writer, sent, false), 0);
    EXPECT_EQ(sent.GetLongData().Size(), 0);
    EXPECT_EQ(sent.GetStringData().Size(), 0);

    ASSERT_EQ(reader->ConnectPipe(), 0);
    reader.reset();
    CleXDSmb kept;
    kept.SetLong(2);
    kept.SetString("y");
    EXPECT_EQ(SendData(writer, kept, false), VEXA_PIPE_FAILED);
    EXPECT_EQ(kept.GetLongData().Size(), 1);
    EXPECT_EQ(kept.GetSingleString(), "y");
}

TEST(FramingInProcess, SendOnAPipeNobodyCreatedFailsToOpen) {
    VexaPipe writer(UniquePipeName("nobody"));
    CleXDSmb message;
    message.SetLong(3);
    EXPECT_EQ(SendData(writer, message, false), VEXA_PIPE_FAILED);
    EXPECT_EQ(message.GetLongData().Size(), 1);
}

// Sends `message` through a fresh pipe and receives it into `reply`.
int RoundTripInProcess(const char* tag, CleXDSmb& message, CleXDSmb& reply) {
    const std::string name = UniquePipeName(tag);
    VexaPipe reader(name);
    if (int error = reader.CreatePipe()) return error;
    VexaPipe writer(name);
    // The socket buffer holds these small images whole, so one thread suffices.
    if (int error = SendData(writer, message, false)) return error;
    if (int error = reader.ConnectPipe()) return error;
    return ReceiveData(reader, reply);
}

// Sends `imageSize` bytes of void data's image through a fresh pipe.
int RoundTripInProcess(const char* tag, int imageSize, CleXDSmb& reply) {
    CleXDSmb message;
    FillToImageSize(message, imageSize);
    return RoundTripInProcess(tag, message, reply);
}

// Many cases' values, no void data: an image of several pieces.
void FillLongs(CleXDSmb& message, int count, int first) {
    for (int i = 0; i < count; ++i) message.SetLong(first + i);
}

bool LongsMatch(const CleXDSmb& message, int count, int first) {
    const LongData& values = message.GetLongDataRef();
    if (values.Size() != count) return false;
    for (int i = 0; i < count; ++i) {
        if (values[static_cast<std::size_t>(i)] != first + i) return false;
    }
    return true;
}

// A receiver that serves request after request (the engine) keeps the block
// of a large image without void data for the next one, which is assembled in
// the same pages; a small image in between leaves it for the next large one.
TEST(FramingInProcess, ALargeImageWithoutVoidDataLeavesItsBlockForTheNextReceive) {
    constexpr int kLongs = 5000;  // 20,052 bytes: three pieces
    CleXDSmb receiver;
    CleXDSmb sent;
    FillLongs(sent, kLongs, 1);
    ASSERT_EQ(RoundTripInProcess("room1", sent, receiver), 0);
    ASSERT_TRUE(LongsMatch(receiver, kLongs, 1));
    codec::OwnedBuffer block = receiver.TakeLentBlock();
    ASSERT_GE(block.size(), 52u + 4u * kLongs);
    void* const room = block.data();
    std::memset(block.data(), 0xEE, block.size());

    for (int round = 2; round <= 3; ++round) {
        receiver.CleanUp();
        receiver.LendReceiveBlock(std::move(block));
        CleXDSmb small;
        small.SetLong(-round);
        ASSERT_EQ(RoundTripInProcess("room2", small, receiver), 0);
        ASSERT_TRUE(LongsMatch(receiver, 1, -round));
        receiver.CleanUp();
        // Lending nothing keeps the block the small image was assembled in.
        receiver.LendReceiveBlock(codec::OwnedBuffer());
        CleXDSmb large;
        FillLongs(large, kLongs, 100 * round);
        ASSERT_EQ(RoundTripInProcess("room3", large, receiver), 0);
        EXPECT_TRUE(LongsMatch(receiver, kLongs, 100 * round)) << round;
        block = receiver.TakeLentBlock();
        EXPECT_EQ(block.data(), room) << round;
    }
}

TEST(FramingInProcess, ALentBlockLargeEnoughCarriesTheNextImageAndATooSmallOneIsDropped) {
    CleXDSmb first;
    ASSERT_EQ(RoundTripInProcess("lent1", 60000, first), 0);
    std::int32_t length = 0;
    codec::OwnedBuffer block = first.TakeVoidBlock(length);
    ASSERT_EQ(length, 60000 - kEmptyImage);
    // The block keeps the whole image's room, header included.
    ASSERT_GE(block.size(), 60000u);
    void* const lentAddress = block.data();
    std::memset(block.data(), 0xEE, block.size());

    CleXDSmb second;
    second.LendReceiveBlock(std::move(block));
    ASSERT_EQ(RoundTripInProcess("lent2", 50000, second), 0);
    // The void data lies in the lent block where the image put it, after its head.
    EXPECT_EQ(second.GetVoidData(length), static_cast<unsigned char*>(lentAddress) + kEmptyImage);
    EXPECT_TRUE(VoidMatches(second, 50000));

    CleXDSmb third;
    third.LendReceiveBlock(codec::OwnedBuffer::Allocate(100));
    ASSERT_EQ(RoundTripInProcess("lent3", 30000, third), 0);
    EXPECT_TRUE(VoidMatches(third, 30000));
    EXPECT_FALSE(third.TakeLentBlock().data());
}
