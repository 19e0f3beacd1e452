#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

#include "platform/process.h"
#include "platform/wakeevent.h"
#include "runtime/statuscodes.h"
#include "testsupport.h"
#include "transport/vexapipe.h"

using testsupport::TraceCapture;
using testsupport::UniquePipeName;

namespace {

// A server end with a reader-side connection, as the reading process holds it.
struct ConnectedPair {
    explicit ConnectedPair(const std::string& name) : server(name), client(name) {
        EXPECT_EQ(server.CreatePipe(), 0);
        EXPECT_EQ(client.VEXACreateFile(), 0);
        EXPECT_EQ(server.ConnectPipe(), 0);
    }
    VexaPipe server;
    VexaPipe client;
};

std::vector<int> ReadPieces(VexaPipe& reader, int total) {
    std::vector<int> sizes;
    std::vector<char> buffer(VexaPipe::PIECE_SIZE);
    for (int got = 0; got < total;) {
        int n = 0;
        if (reader.ReadData(VexaPipe::PIECE_SIZE, buffer.data(), n) != 0) break;
        sizes.push_back(n);
        got += n;
    }
    return sizes;
}

}  // namespace

TEST(VexaPipeNaming, EmptyNameIsRefusedWithoutTrace) {
    TraceCapture trace;
    VexaPipe pipe;
    EXPECT_EQ(pipe.CreatePipe(), VEXA_PIPE_WITHOUT_NAME);
    EXPECT_FALSE(pipe.HasPipe());
    EXPECT_TRUE(trace.lines().empty());
}

TEST(VexaPipeNaming, NameLongerThanSocketPathIsRefusedWithTrace) {
    TraceCapture trace;
    VexaPipe pipe(UniquePipeName(std::string(platform::MaxChannelPathLength(), 'x')));
    EXPECT_EQ(pipe.CreatePipe(), VEXA_PIPE_WITHOUT_NAME);
    EXPECT_EQ(pipe.VEXACreateFile(), VEXA_PIPE_WITHOUT_NAME);
    EXPECT_EQ(trace.lines().size(), 2u);
}

TEST(VexaPipeOpen, OpeningAPipeNobodyCreatedFailsAtOnceWithOneTrace) {
    TraceCapture trace;
    const std::string name = UniquePipeName("absent");
    VexaPipe pipe(name);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(pipe.VEXACreateFile(), VEXA_PIPE_FAILED);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_FALSE(pipe.HasPipe());
    ASSERT_EQ(trace.lines().size(), 1u);
    EXPECT_EQ(trace.lines()[0], name + " VEXACreateFile error code : 2.");
}

TEST(VexaPipeOpen, ReadOnlyOpenWaitsAboutTenSecondsThenGivesUp) {
    TraceCapture trace;
    VexaPipe pipe(UniquePipeName("never"));
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(pipe.VEXACreateFileR(), VEXA_PIPE_FAILED);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(9900));
    EXPECT_EQ(trace.lines().size(), 100u);
}

TEST(VexaPipeOpen, ReadOnlyOpenFindsAPipeCreatedWhileWaiting) {
    const std::string name = UniquePipeName("late");
    VexaPipe reader(name);
    VexaPipe server(name);
    std::thread creator([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        server.CreatePipe();
    });
    EXPECT_EQ(reader.VEXACreateFileR(), 0);
    creator.join();
    EXPECT_TRUE(reader.HasPipe());
}

// The library's open of an engine's request pipe: woken by the pipe's
// creation, and one traced failure with 99104 when it never comes.
TEST(VexaPipeOpen, BoundedOpenFindsAPipeCreatedWhileWaitingElseFailsOnce) {
    const std::string name = UniquePipeName("within");
    VexaPipe writer(name);
    VexaPipe server(name);
    std::thread creator([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        server.CreatePipe();
    });
    EXPECT_EQ(writer.VEXACreateFileWithin(10000), 0);
    creator.join();
    EXPECT_TRUE(writer.HasPipe());

    TraceCapture trace;
    const std::string missing = UniquePipeName("missing");
    VexaPipe nobody(missing);
    EXPECT_EQ(nobody.VEXACreateFileWithin(200), VEXA_PIPE_FAILED);
    EXPECT_FALSE(nobody.HasPipe());
    EXPECT_EQ(trace.lines(),
              (std::vector<std::string>{missing + " VEXACreateFile error code : 2."}));
}

TEST(VexaPipeConnect, SecondConnectReturnsAtOnce) {
    ConnectedPair pair(UniquePipeName("connect"));
    EXPECT_TRUE(pair.server.IsWritePipeConnected());
    EXPECT_EQ(pair.server.ConnectPipe(), 0);  // would block forever if it accepted again
}

TEST(VexaPipeConnect, DisconnectOfFreshEndIsANoOp) {
    VexaPipe server(UniquePipeName("fresh"));
    ASSERT_EQ(server.CreatePipe(), 0);
    EXPECT_EQ(server.DisconnectPipe(), 0);
    EXPECT_TRUE(server.IsPipeCreated());
    EXPECT_TRUE(server.HasPipe());
}

TEST(VexaPipeWrite, LongBuffersArriveAsPiecesOfAtMost8192) {
    ConnectedPair pair(UniquePipeName("pieces"));
    struct Case {
        int length;
        std::vector<int> pieces;
    };
    for (const Case& c : {Case{8192, {8192}}, Case{8193, {8192, 1}}, Case{16384, {8192, 8192}}}) {
        std::vector<char> data(static_cast<size_t>(c.length), 'q');
        int written = 0;
        ASSERT_EQ(pair.client.WriteData(data.data(), c.length, written), 0);
        EXPECT_EQ(written, c.pieces.back());
        EXPECT_EQ(ReadPieces(pair.server, c.length), c.pieces) << c.length;
    }
}

// Empty runs vanish, runs shorter than a piece share one, and a piece that
// joins more than two runs still goes out as one packet, also when two such
// pieces go out in one batch.
TEST(VexaPipeWrite, RunsArriveAsTheirBytesEndToEndInPiecesOf8192) {
    ConnectedPair pair(UniquePipeName("runs"));
    const std::vector<std::size_t> sizes{0, 8190, 1, 0, 1, 1, 9000, 5, 8190, 1, 1, 1};
    std::vector<std::vector<unsigned char>> runBytes;
    std::vector<codec::ByteRun> runs;
    std::vector<unsigned char> whole;
    for (std::size_t r = 0; r < sizes.size(); ++r) {
        std::vector<unsigned char>& bytes = runBytes.emplace_back(sizes[r]);
        for (std::size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<unsigned char>(r * 41 + i * 7);
        whole.insert(whole.end(), bytes.begin(), bytes.end());
    }
    for (const auto& bytes : runBytes) runs.push_back({bytes.data(), bytes.size()});
    int written = 0;
    ASSERT_EQ(pair.client.WriteRuns(runs.data(), runs.size(), written), 0);
    EXPECT_EQ(written, 815);

    std::vector<int> pieces;
    std::vector<unsigned char> received;
    std::vector<unsigned char> buffer(VexaPipe::PIECE_SIZE);
    while (received.size() < whole.size()) {
        int n = 0;
        ASSERT_EQ(pair.server.ReadData(VexaPipe::PIECE_SIZE, buffer.data(), n), 0);
        pieces.push_back(n);
        received.insert(received.end(), buffer.begin(), buffer.begin() + n);
    }
    EXPECT_EQ(pieces, (std::vector<int>{8192, 8192, 8192, 815}));
    EXPECT_TRUE(received == whole);
}

TEST(VexaPipeWrite, ARunWithoutBytesToPointAtIsACallerError) {
    ConnectedPair pair(UniquePipeName("nullrun"));
    const codec::ByteRun runs[2] = {{"ab", 2}, {nullptr, 3}};
    int written = 7;
    EXPECT_EQ(pair.client.WriteRuns(runs, 2, written), VEXA_BAD_ARGUMENT);
    EXPECT_EQ(written, 0);
}

TEST(VexaPipeWrite, NegativeLengthIsACallerError) {
    ConnectedPair pair(UniquePipeName("negative"));
    int written = 7;
    EXPECT_EQ(pair.client.WriteData("x", -1, written), VEXA_BAD_ARGUMENT);
    EXPECT_EQ(written, 0);
}

TEST(VexaPipeWrite, WriteToAGonePartnerIsTracedAndFails) {
    const std::string name = UniquePipeName("gone");
    auto pair = std::make_unique<ConnectedPair>(name);
    VexaPipe client(name);
    ASSERT_EQ(client.VEXACreateFile(), 0);
    ASSERT_EQ(pair->server.ClosePipe(), 0);
    TraceCapture trace;
    int written = 0;
    EXPECT_EQ(client.WriteData("abc", 3, written), VEXA_PIPE_FAILED);
    ASSERT_FALSE(trace.lines().empty());
    EXPECT_NE(trace.lines()[0].find(name + " WriteData error code : "), std::string::npos);
}

TEST(VexaPipeRead, EndWithoutPipeReportsAnError) {
    TraceCapture trace;
    VexaPipe pipe(UniquePipeName("none"));
    char buffer[16];
    int n = -1;
    EXPECT_NE(pipe.ReadData(sizeof buffer, buffer, n), 0);
    EXPECT_EQ(n, 0);
}

TEST(VexaPipeProcesses, PiecesFromAnotherProcessKeepTheirBoundaries) {
    const std::string name = UniquePipeName("peer");
    VexaPipe server(name);
    ASSERT_EQ(server.CreatePipe(), 0);
    platform::ChildProcess peer;
    ASSERT_EQ(
        platform::ChildProcess::Spawn(
            {testsupport::PeerPath("pipepeer"), "write", name, "8192", "8192", "3616", "52"}, peer),
        0);
    ASSERT_EQ(server.ConnectPipe(), 0);
    std::vector<char> buffer(VexaPipe::PIECE_SIZE);
    std::vector<int> sizes;
    for (int i = 0; i < 4; ++i) {
        int n = 0;
        ASSERT_EQ(server.ReadData(VexaPipe::PIECE_SIZE, buffer.data(), n), 0);
        sizes.push_back(n);
        for (int b = 0; b < n; ++b) ASSERT_EQ(static_cast<unsigned char>(buffer[b]), b * 7 % 251);
    }
    EXPECT_EQ(sizes, (std::vector<int>{8192, 8192, 3616, 52}));
    EXPECT_EQ(peer.Wait(), 0);
}

TEST(VexaPipeProcesses, WriterThatClosesWithoutWritingGivesBrokenPipe) {
    const std::string name = UniquePipeName("closer");
    VexaPipe server(name);
    ASSERT_EQ(server.CreatePipe(), 0);
    platform::ChildProcess peer;
    ASSERT_EQ(
        platform::ChildProcess::Spawn({testsupport::PeerPath("pipepeer"), "close", name}, peer), 0);
    ASSERT_EQ(server.ConnectPipe(), 0);
    char buffer[64];
    int n = 0;
    EXPECT_EQ(server.ReadData(sizeof buffer, buffer, n), EPIPE);
    EXPECT_EQ(peer.Wait(), 0);
}

TEST(VexaPipeLifetime, ClosingTracesOnlyAnEndThatHadAPipe) {
    const std::string name = UniquePipeName("close");
    TraceCapture trace;
    VexaPipe never(name);
    EXPECT_EQ(never.ClosePipe(), 0);
    EXPECT_TRUE(trace.lines().empty());
    VexaPipe server(name);
    ASSERT_EQ(server.CreatePipe(), 0);
    EXPECT_EQ(server.ClosePipe(), 0);
    EXPECT_FALSE(server.HasPipe());
    EXPECT_FALSE(server.IsPipeCreated());
    ASSERT_EQ(trace.lines().size(), 1u);
    EXPECT_EQ(trace.lines()[0], name + " ClosePipe error code : 0.");
}

TEST(VexaPipeConnect, WaitForAWriterEndsWhenTheOtherDirectionHangsUp) {
    const std::string requestName = UniquePipeName("req"), resultName = UniquePipeName("res");
    auto engineSide = std::make_unique<VexaPipe>(requestName);
    ASSERT_EQ(engineSide->CreatePipe(), 0);
    VexaPipe request(requestName);
    ASSERT_EQ(request.VEXACreateFile(), 0);
    ASSERT_EQ(engineSide->ConnectPipe(), 0);
    VexaPipe result(resultName);
    ASSERT_EQ(result.CreatePipe(), 0);
    std::thread engineDies([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        engineSide.reset();
    });
    EXPECT_EQ(result.ConnectPipe(request), EPIPE);
    engineDies.join();
    EXPECT_FALSE(result.IsWritePipeConnected());
    // A later writer can still connect.
    VexaPipe writer(resultName);
    ASSERT_EQ(writer.VEXACreateFile(), 0);
    EXPECT_EQ(result.ConnectPipe(), 0);
    EXPECT_TRUE(result.IsWritePipeConnected());
}

TEST(VexaPipeConnect, BoundedWaitTimesOutThenAcceptsALateWriter) {
    const std::string name = UniquePipeName("bounded");
    VexaPipe server(name);
    ASSERT_EQ(server.CreatePipe(), 0);
    EXPECT_EQ(server.ConnectPipeWithin(20), ETIMEDOUT);
    EXPECT_FALSE(server.IsWritePipeConnected());
    VexaPipe client(name);
    ASSERT_EQ(client.VEXACreateFile(), 0);
    EXPECT_EQ(server.ConnectPipeWithin(1000), 0);
    EXPECT_TRUE(server.IsWritePipeConnected());
}

// The engine waits for a language process to connect; that process's end,
// watched in the same wait, ends the wait at once instead of at the limit,
// and leaves the end ready for a later writer.
TEST(VexaPipeConnect, WatchedProcessEndEndsTheWaitAndKeepsTheEndReady) {
    const std::string name = UniquePipeName("watched");
    VexaPipe server(name);
    ASSERT_EQ(server.CreatePipe(), 0);
    platform::ChildProcess child;
    testsupport::TempDir dir;
    ASSERT_EQ(platform::ChildProcess::Spawn(
                  {testsupport::PeerPath("argsecho"), dir.file("echo.txt"), "0"}, child),
              0);
    ASSERT_GE(child.endDescriptor(), 0);
    // A limit far beyond the test's own: ETIMEDOUT would mean the end went unseen.
    EXPECT_EQ(server.ConnectPipeWithin(600000, child.endDescriptor()), EPIPE);
    EXPECT_FALSE(server.IsWritePipeConnected());
    VexaPipe writer(name);
    ASSERT_EQ(writer.VEXACreateFile(), 0);
    EXPECT_EQ(server.ConnectPipeWithin(1000, child.endDescriptor()), 0);
    EXPECT_TRUE(server.IsWritePipeConnected());
}

// A server thread asked to stop leaves its wait for a writer or for data at
// once, yet data already there is read first.
TEST(VexaPipeConnect, ARaisedWakeEventEndsTheWaitsButNotBeforeQueuedData) {
    platform::WakeEvent stop;
    ASSERT_EQ(platform::WakeEvent::Open(stop), 0);
    const std::string name = UniquePipeName("woken");
    VexaPipe server(name);
    ASSERT_EQ(server.CreatePipe(), 0);
    stop.Set();
    EXPECT_EQ(server.ConnectPipeWithin(600000, stop.descriptor()), EPIPE);
    stop.Clear();
    EXPECT_EQ(server.ConnectPipeWithin(10, stop.descriptor()), ETIMEDOUT);

    VexaPipe client(name);
    ASSERT_EQ(client.VEXACreateFile(), 0);
    ASSERT_EQ(server.ConnectPipeWithin(600000, stop.descriptor()), 0);
    int written = 0;
    ASSERT_EQ(client.WriteData("x", 1, written), 0);
    stop.Set();
    EXPECT_EQ(server.WaitReadableWatching(stop.descriptor()), 0);
    char byte = 0;
    int read = 0;
    ASSERT_EQ(server.ReadData(1, &byte, read), 0);
    EXPECT_EQ(byte, 'x');
    EXPECT_EQ(server.WaitReadableWatching(stop.descriptor()), EPIPE);
}
