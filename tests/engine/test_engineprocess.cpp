// StartXD as a real process, driven the way the library drives it: the test
// owns the result pipe and the request pipe's client end, and checks what
// arrives on the wire, how the engine survives bad input and how it ends.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>

#include "codec/protocol.h"
#include "engineclient.h"
#include "enginecodes.h"
#include "runtime/statuscodes.h"

namespace {

using enginetest::Bytes;
using enginetest::EngineClient;

// Generous: an engine under a sanitizer starts in well under a second.
constexpr unsigned kReadyLimit = 20000;
constexpr unsigned kExitLimit = 20000;

Bytes Padded(Bytes head, std::size_t size) {
    head.resize(size, 0x00);
    return head;
}

// GetVariableCount: action 7 and nothing else.
const Bytes kVariableCountRequest = Padded({0x34, 0x00, 0x00, 0x00, 0x07, 0x00, 0x00, 0x00}, 52);
// Variables of the bundled sample.
constexpr std::int32_t kBundledVariableCount = 9;
// Action 7 echoed, error 0, long block {9}, every other block empty.
const Bytes kVariableCountReply = Padded(
    {0x38, 0x00, 0x00, 0x00, 0x07, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // T=56, action, error
     0x01, 0x00, 0x00, 0x00, 0x09, 0x00, 0x00, 0x00},                         // long block
    56);
// A fresh message's action -1 and the single long 998800.
const Bytes kFarewell = Padded(
    {0x38, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00,  // T=56, action -1
     0x01, 0x00, 0x00, 0x00, 0x90, 0x3D, 0x0F, 0x00},                         // long block {998800}
    56);
// Fresh message (action -1) carrying error 99105.
const Bytes kMalformedReply =
    Padded({0x34, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x21, 0x83, 0x01, 0x00}, 52);

class EngineProcess : public ::testing::Test {
  protected:
    void SetUp() override {
        char pid[16];
        std::snprintf(pid, sizeof pid, "%04xe",
                      static_cast<unsigned>(platform::CurrentProcessId()));
        // The test's name keeps the pipes of the cases apart when they share a process.
        std::string language = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        client = std::make_unique<EngineClient>(pid, language.substr(0, 40));
    }

    // Starts the engine as the library does and returns its ready code.
    int StartAndReceiveReady(const std::vector<std::string>& extra = {}) {
        if (int created = client->CreateResultPipe()) return created;
        if (int started = client->StartEngine(extra)) return started;
        return client->ReceiveReady(kReadyLimit);
    }

    int Call(int action, CleXDSmb& reply) {
        CleXDSmb request;
        request.SetCommandAction(action);
        if (int sent = client->Send(request)) return sent;
        return client->Receive(reply);
    }

    void ExpectVariableCount(std::int32_t expected) {
        CleXDSmb reply;
        ASSERT_EQ(Call(cmd::kGetVariableCount, reply), VEXA_OK);
        EXPECT_EQ(reply.GetCommandAction(), cmd::kGetVariableCount);
        ASSERT_EQ(reply.GetLongDataRef().Size(), 1);
        EXPECT_EQ(reply.GetLongDataRef()[0], expected);
    }

    // The engine ended by itself within the limit, with this status, and
    // removed its pipe.
    void ExpectEngineExit(int status) {
        ASSERT_TRUE(client->engine().WaitFor(kExitLimit)) << "the engine is still running";
        EXPECT_EQ(client->engine().ExitStatus(), status);
        client->CloseRequestPipe();
        client->CloseResultPipe();
        EXPECT_EQ(client->LeftoverPipeFiles(), std::vector<std::string>());
    }

    std::unique_ptr<EngineClient> client;
};

TEST_F(EngineProcess, ReadyMessageThenTheBundledDatasetIsActive) {
    ASSERT_EQ(StartAndReceiveReady(), 0);
    ExpectVariableCount(kBundledVariableCount);
    CleXDSmb depth;
    ASSERT_EQ(Call(cmd::kGetNestDepth, depth), VEXA_OK);
    ASSERT_EQ(depth.GetLongDataRef().Size(), 1);
    EXPECT_EQ(depth.GetLongDataRef()[0], 0);
}

TEST_F(EngineProcess, ReplyImageIsExactlyTheWireFormat) {
    ASSERT_EQ(StartAndReceiveReady(), 0);
    ASSERT_EQ(client->SendRaw(kVariableCountRequest), 0);
    Bytes reply;
    ASSERT_EQ(client->ReceiveRaw(reply), 0);
    EXPECT_EQ(reply, kVariableCountReply);
}

TEST_F(EngineProcess, UnknownCommandIsAnsweredAndTheEngineGoesOn) {
    ASSERT_EQ(StartAndReceiveReady(), 0);
    CleXDSmb reply;
    EXPECT_EQ(Call(5000, reply), engine::kUnknownCommand);
    EXPECT_EQ(reply.GetCommandAction(), 5000);
    ExpectVariableCount(kBundledVariableCount);
}

TEST_F(EngineProcess, MalformedImagesAreAnsweredWith99105AndTheEngineGoesOn) {
    const std::vector<std::pair<const char*, Bytes>> malformed = {
        {"shorter than a header", {0x08, 0x00, 0x00, 0x00, 0x07, 0x00, 0x00, 0x00}},
        {"negative total", Padded({0xFF, 0xFF, 0xFF, 0xFF, 0x07, 0x00, 0x00, 0x00}, 52)},
        {"long block of 16 values in 36 bytes",
         Padded({0x34, 0x00, 0x00, 0x00, 0x07, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                 0x00, 0x00},
                52)},
        {"packet longer than its total",
         Padded({0x34, 0x00, 0x00, 0x00, 0x07, 0x00, 0x00, 0x00}, 56)},
    };
    ASSERT_EQ(StartAndReceiveReady(), 0);
    for (const auto& [what, image] : malformed) {
        ASSERT_EQ(client->SendRaw(image), 0) << what;
        Bytes reply;
        ASSERT_EQ(client->ReceiveRaw(reply), 0) << what;
        EXPECT_EQ(reply, kMalformedReply) << what;
        ExpectVariableCount(kBundledVariableCount);
    }
}

// A request's error code is no receive result: whatever it holds, the request
// is answered, even when it equals a transport code.
TEST_F(EngineProcess, ErrorCodeInARequestDoesNotStopItsDispatch) {
    ASSERT_EQ(StartAndReceiveReady(), 0);
    for (int code : {5, static_cast<int>(VEXA_MALFORMED_MESSAGE), EPIPE}) {
        Bytes request = kVariableCountRequest;
        request[8] = static_cast<unsigned char>(code & 0xFF);
        request[9] = static_cast<unsigned char>((code >> 8) & 0xFF);
        request[10] = static_cast<unsigned char>((code >> 16) & 0xFF);
        ASSERT_EQ(client->SendRaw(request), 0) << code;
        Bytes reply;
        ASSERT_EQ(client->ReceiveRaw(reply), 0) << code;
        EXPECT_EQ(reply, kVariableCountReply) << code;
    }
}

TEST_F(EngineProcess, RequestPipeReopenedBetweenCallsIsServed) {
    ASSERT_EQ(StartAndReceiveReady(), 0);
    ExpectVariableCount(kBundledVariableCount);
    client->CloseRequestPipe();
    ExpectVariableCount(kBundledVariableCount);
}

TEST_F(EngineProcess, FarewellEndsTheEngineWithoutAReply) {
    ASSERT_EQ(StartAndReceiveReady(), 0);
    ExpectVariableCount(kBundledVariableCount);
    ASSERT_EQ(client->SendRaw(kFarewell), 0);
    Bytes reply;
    EXPECT_EQ(client->ReceiveRaw(reply), EPIPE) << reply.size() << " bytes arrived";
    ExpectEngineExit(0);
}

TEST_F(EngineProcess, OnlyTheExactFarewellEndsTheEngine) {
    ASSERT_EQ(StartAndReceiveReady(), 0);
    CleXDSmb almost;
    almost.SetLong(protocol::kFarewellValue + 1);
    ASSERT_EQ(client->Send(almost), 0);
    CleXDSmb reply;
    EXPECT_EQ(client->Receive(reply), engine::kUnknownCommand);

    CleXDSmb twoValues;
    twoValues.SetLong(protocol::kFarewellValue);
    twoValues.SetLong(0);
    ASSERT_EQ(client->Send(twoValues), 0);
    CleXDSmb secondReply;
    EXPECT_EQ(client->Receive(secondReply), engine::kUnknownCommand);
    ExpectVariableCount(kBundledVariableCount);
}

TEST_F(EngineProcess, StopIsAnsweredThenTheEngineEnds) {
    ASSERT_EQ(StartAndReceiveReady(), 0);
    CleXDSmb reply;
    EXPECT_EQ(Call(cmd::kStopVexa, reply), VEXA_OK);
    EXPECT_EQ(reply.GetCommandAction(), cmd::kStopVexa);
    ExpectEngineExit(0);
}

TEST_F(EngineProcess, DataFileOptionReplacesTheBundledDataset) {
    const std::filesystem::path file =
        std::filesystem::temp_directory_path() /
        ("enginetest-" + std::to_string(platform::CurrentProcessId()) + ".csv");
    std::ofstream(file) << "x,y,label\n1,2,a\n3,4,b\n";
    struct Remove {
        std::filesystem::path path;
        ~Remove() { std::filesystem::remove(path); }
    } removeFile{file};
    ASSERT_EQ(StartAndReceiveReady({"-datafile=" + file.string()}), 0);
    ExpectVariableCount(3);
}

TEST_F(EngineProcess, UnreadableDataFileIsReportedInTheReadyMessage) {
    EXPECT_EQ(StartAndReceiveReady({"-datafile=/nonexistent"}), engine::kDataFileUnreadable);
    ExpectEngineExit(1);
}

TEST_F(EngineProcess, ReadyMessageCarriesTheFileTheLineAndWhatFailed) {
    const std::filesystem::path file =
        std::filesystem::temp_directory_path() /
        ("enginetest-bad-" + std::to_string(platform::CurrentProcessId()) + ".csv");
    std::ofstream(file) << "x,my var\n1,2\n";
    struct Remove {
        std::filesystem::path path;
        ~Remove() { std::filesystem::remove(path); }
    } removeFile{file};
    ASSERT_EQ(client->CreateResultPipe(), 0);
    ASSERT_EQ(client->StartEngine({"-datafile=" + file.string()}), 0);
    std::string text;
    EXPECT_EQ(client->ReceiveReady(kReadyLimit, &text), engine::kDataFileUnreadable);
    EXPECT_EQ(text, file.string() + ": line 1: \"my var\" is not a valid variable name");
    ExpectEngineExit(1);
}

TEST_F(EngineProcess, ClientGoneBeforeItsFirstRequestEndsTheEngine) {
    ASSERT_EQ(StartAndReceiveReady(), 0);
    client->CloseResultPipe();
    ExpectEngineExit(1);
}

TEST_F(EngineProcess, ClientGoneAfterARequestEndsTheEngine) {
    ASSERT_EQ(StartAndReceiveReady(), 0);
    ExpectVariableCount(kBundledVariableCount);
    // All a dying client's ends close together.
    client->CloseResultPipe();
    client->CloseRequestPipe();
    ExpectEngineExit(1);
}

TEST_F(EngineProcess, EngineWithoutAClientResultPipeGivesUp) {
    ASSERT_EQ(client->StartEngine(), 0);
    ExpectEngineExit(1);
}

}  // namespace
