// The request/reply channel between two real endpoints: the server role on
// a thread of its own, the client role on the test's thread, over the
// platform's local channels.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <future>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "codec/clexdsmb.h"
#include "runtime/statuscodes.h"
#include "testsupport.h"
#include "transport/asycspipe1.h"
#include "transport/vexapipe.h"

namespace {

bool Exists(const std::string& path) {
    std::error_code ignored;
    return std::filesystem::exists(std::filesystem::symlink_status(path, ignored));
}

ino_t Inode(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 ? info.st_ino : 0;
}

std::uint64_t Bits(double value) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

// Serves the channel on a thread: connects, then runs the loop with the
// handler (or without a visitor when none is given).
class ServerThread {
  public:
    ServerThread(const std::string& base, AsyCsPipe1::Handler handler) : m_pipe(base, true) {
        m_result = std::async(std::launch::async, [this, handler] {
            if (int error = m_pipe.connectClient()) return error;
            return handler ? m_pipe.receive(handler)
                           : m_pipe.receive(static_cast<AsyCsPipe1::Visitor*>(nullptr));
        });
    }
    // The loop's result once it ended.
    int Result() { return m_result.get(); }
    AsyCsPipe1& pipe() { return m_pipe; }

  private:
    AsyCsPipe1 m_pipe;
    std::future<int> m_result;
};

}  // namespace

TEST(AsyCsPipe1, TheClientCreatesItsReplyPipeAtOnceAndOpensTheRequestPipeOnlyWhenItConnects) {
    const std::string base = testsupport::UniquePipeName("acs");
    {
        AsyCsPipe1 client(base, false);
        EXPECT_FALSE(client.isServer());
        EXPECT_TRUE(Exists(base + "_c"));
        EXPECT_FALSE(Exists(base + "_s"));

        // A bare server: its request end listens, its reply end is opened by hand.
        VexaPipe requests(base + "_s");
        ASSERT_EQ(requests.CreatePipe(), 0);
        EXPECT_EQ(requests.ConnectPipeWithin(0), ETIMEDOUT);  // nobody opened it yet
        VexaPipe replies(base + "_c");
        ASSERT_EQ(replies.VEXACreateFile(), 0);
        ASSERT_EQ(client.connectServer(), 0);
        EXPECT_EQ(requests.ConnectPipeWithin(5000), 0);
        // The wrong role is refused.
        EXPECT_EQ(client.connectClient(), VEXA_BAD_ARGUMENT);
    }
    EXPECT_FALSE(Exists(base + "_c"));
    EXPECT_FALSE(Exists(base + "_s"));
}

TEST(AsyCsPipe1, AFirstSendOpensTheRequestPipeAndCarriesValuesByteExactBothWays) {
    const std::string base = testsupport::UniquePipeName("acs");
    AsyCsPipe1 client(base, false);
    // The server answers with the request's values, each changed so that an
    // echo of the request itself would show.
    ServerThread server(base, [](CleXDSmb& request, CleXDSmb& reply) {
        for (std::int32_t value : request.GetLongDataRef().Values())
            reply.SetLong(value ^ 0x5A5A5A5A);
        for (double value : request.GetDoubleDataRef().Values()) reply.SetDouble(-value);
        for (const std::string& value : request.GetStringDataRef().Values())
            reply.SetString(value + "|");
        reply.SetErrorCode(0);
        return -1;
    });
    EXPECT_TRUE(server.pipe().isServer());

    const std::vector<std::int32_t> longs = {0, -1, std::numeric_limits<std::int32_t>::min(),
                                             0x01020304};
    const std::vector<double> doubles = {0.0, 1.0 / 3.0, std::numeric_limits<double>::denorm_min(),
                                         -std::numeric_limits<double>::infinity(), 1e308};
    std::string binary;
    for (int i = 0; i < 256; ++i) binary.push_back(static_cast<char>(i));
    // Longer than one piece of the pipe, so the framing joins pieces.
    std::string large(3 * VexaPipe::PIECE_SIZE + 17, '\0');
    for (std::size_t i = 0; i < large.size(); ++i) large[i] = static_cast<char>(i * 31 % 253);
    CleXDSmb request;
    for (std::int32_t value : longs) request.SetLong(value);
    for (double value : doubles) request.SetDouble(value);
    request.SetString(binary);
    request.SetString(large);
    request.SetString(std::string());

    CleXDSmb reply;
    ASSERT_EQ(client.send(request, reply), 0);
    EXPECT_EQ(server.Result(), 0);

    const std::vector<std::int32_t> gotLongs = reply.GetLongDataRef().Values();
    ASSERT_EQ(gotLongs.size(), longs.size());
    for (std::size_t i = 0; i < longs.size(); ++i)
        EXPECT_EQ(gotLongs[i], longs[i] ^ 0x5A5A5A5A) << i;
    const std::vector<double> gotDoubles = reply.GetDoubleDataRef().Values();
    ASSERT_EQ(gotDoubles.size(), doubles.size());
    for (std::size_t i = 0; i < doubles.size(); ++i)
        EXPECT_EQ(Bits(gotDoubles[i]), Bits(-doubles[i])) << i;
    EXPECT_EQ(reply.GetStringDataRef().Values(),
              (std::vector<std::string>{binary + "|", large + "|", "|"}));
}

TEST(AsyCsPipe1, OnlyAHandlerAnsweringMinusOneEndsTheLoopAndItsReplyStillGoesOut) {
    const std::string base = testsupport::UniquePipeName("acs");
    AsyCsPipe1 client(base, false);
    std::vector<std::int32_t> seen;
    // Each request names what the handler returns; the reply says which it was.
    ServerThread server(base, [&seen](CleXDSmb& request, CleXDSmb& reply) {
        const std::int32_t answer = request.GetLongDataRef()[0];
        seen.push_back(answer);
        reply.SetErrorCode(static_cast<std::int32_t>(seen.size()) * 10);
        reply.SetLong(answer);
        return answer;
    });
    ASSERT_EQ(client.connectServer(), 0);
    for (std::int32_t answer : {0, -2, 7, -1}) {
        CleXDSmb request;
        request.SetLong(answer);
        CleXDSmb reply;
        // The status of a send is the reply's error code.
        const int expected = static_cast<int>(seen.size() + 1) * 10;
        EXPECT_EQ(client.send(request, reply), expected) << answer;
        ASSERT_EQ(reply.GetLongDataRef().Size(), 1) << answer;
        EXPECT_EQ(reply.GetLongDataRef()[0], answer);
    }
    EXPECT_EQ(server.Result(), 0);
    EXPECT_EQ(seen, (std::vector<std::int32_t>{0, -2, 7, -1}));
}

TEST(AsyCsPipe1, WithoutAVisitorEveryRequestGetsAnEmptyReplyUntilTheClientHangsUp) {
    const std::string base = testsupport::UniquePipeName("acs");
    auto client = std::make_unique<AsyCsPipe1>(base, false);
    ServerThread server(base, nullptr);
    ASSERT_EQ(client->connectServer(), 0);
    for (int i = 0; i < 3; ++i) {
        CleXDSmb request;
        request.SetLong(i);
        request.SetString("ask");
        request.SetErrorCode(55);
        CleXDSmb reply;
        EXPECT_EQ(client->send(request, reply), 0);
        EXPECT_EQ(reply.GetCommandAction(), -1);
        EXPECT_EQ(reply.GetErrorCode(), 0);
        EXPECT_EQ(reply.GetLongDataRef().Size(), 0);
        EXPECT_EQ(reply.GetStringDataRef().Size(), 0);
    }
    // The client's end goes away: the failed read is answered, the answer
    // cannot go out, and the loop ends with that failure.
    client.reset();
    EXPECT_NE(server.Result(), 0);
}

TEST(AsyCsPipe1, ASecondOpenChangesNothing) {
    const std::string base = testsupport::UniquePipeName("acs");
    AsyCsPipe1 client(base, false);
    const ino_t replyPipe = Inode(base + "_c");
    ASSERT_NE(replyPipe, 0u);
    EXPECT_EQ(client.openPipe(), 0);
    EXPECT_EQ(Inode(base + "_c"), replyPipe);  // not made anew

    ServerThread server(base, [](CleXDSmb& request, CleXDSmb& reply) {
        reply.SetErrorCode(request.GetLongDataRef()[0]);
        return request.GetLongDataRef()[0] == 2 ? -1 : 0;
    });
    ASSERT_EQ(client.connectServer(), 0);
    CleXDSmb first;
    first.SetLong(1);
    CleXDSmb reply;
    ASSERT_EQ(client.send(first, reply), 1);
    // Opening again while connected keeps the connection.
    EXPECT_EQ(client.openPipe(), 0);
    EXPECT_EQ(server.pipe().openPipe(), 0);
    CleXDSmb second;
    second.SetLong(2);
    CleXDSmb secondReply;
    EXPECT_EQ(client.send(second, secondReply), 2);
    EXPECT_EQ(server.Result(), 0);
}

TEST(AsyCsPipe1, TheServerRoleRefusesTheClientsConnect) {
    const std::string base = testsupport::UniquePipeName("acs");
    AsyCsPipe1 server(base, true);
    EXPECT_TRUE(Exists(base + "_s"));
    EXPECT_FALSE(Exists(base + "_c"));
    EXPECT_EQ(server.connectServer(), VEXA_BAD_ARGUMENT);
}
