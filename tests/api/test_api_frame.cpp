#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <new>
#include <stdexcept>

#include "apitestsupport.h"
#include "callshapes.h"
#include "vexaxd_p.h"

using apitest::Child;
using apitest::LevelZeroPipe;

namespace {

// A peer that plays the engine for one request on this process's level-0 pipes.
std::vector<std::string> PeerReplying(const std::vector<std::string>& fields) {
    std::vector<std::string> argv{apitest::PeerPath("framepeer"), "reply",
                                  LevelZeroPipe("APITEST", "xdapi"),
                                  LevelZeroPipe("APITEST", "xdapiresult")};
    argv.insert(argv.end(), fields.begin(), fields.end());
    return argv;
}

void AttachAsRunning() {
    SetXNameAndSHome("APITEST", "");
    SetVexaRunning(true);
}

}  // namespace

// What an exported function answers when its body throws: an exhausted heap
// is ENOMEM, anything else a fault of the library, never a malformed message.
TEST(CallGuard, AnUnexpectedExceptionIsAnInternalFaultAndExhaustedMemoryIsENOMEM) {
    EXPECT_EQ(api::Guarded([]() -> int { throw std::logic_error("broken invariant"); }),
              VEXA_INTERNAL_FAULT);
    EXPECT_EQ(api::Guarded([]() -> int { throw 7; }), VEXA_INTERNAL_FAULT);
    EXPECT_EQ(api::Guarded([]() -> int { throw std::bad_alloc(); }), ENOMEM);
    int err = -1;
    EXPECT_EQ(api::LocalValue(-1.0, &err, [](double&) -> int { throw std::out_of_range("x"); }),
              -1.0);
    EXPECT_EQ(err, VEXA_INTERNAL_FAULT);
}

TEST(WithoutEngine, RefusingFunctionsReturn17AndTouchNoPipe) {
    int depth = 41, first = 1, second = 2;
    EXPECT_EQ(GetNestDepth(&depth), VEXA_ENGINE_NOT_RUNNING);
    EXPECT_EQ(SetXDriveMode(3), VEXA_ENGINE_NOT_RUNNING);
    EXPECT_EQ(GetXDriveMode(&first, &second), VEXA_ENGINE_NOT_RUNNING);
    EXPECT_EQ(depth, 41);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 2);
    EXPECT_TRUE(apitest::OwnPipeFiles().empty());
}

TEST(WithoutEngine, TheExternalProgramDrives) {
    EXPECT_FALSE(IsBackendReady());
    EXPECT_TRUE(IsXDriven());
}

TEST(WithoutEngine, StartWithAHomeLackingTheLauncherSaysSoAndReturns17) {
    testing::internal::CaptureStdout();
    int result = StartVexa("-vexahome=/nonexistent/vexa home");
    std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(result, VEXA_ENGINE_NOT_RUNNING);
    const std::string engine = "/nonexistent/vexa home/" + platform::ExecutableFileName("StartXD");
    EXPECT_EQ(printed, "No " + engine + " file exists\n");
    EXPECT_EQ(GetStartFailure(), "no engine at " + engine);
    EXPECT_FALSE(IsBackendReady());
}

TEST(WithoutEngine, RequestThatCannotBeSentEndsWithTheOpenFailure) {
    AttachAsRunning();
    int err = 0;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(GetVariableCount(&err), 0);
    EXPECT_EQ(err, VEXA_PIPE_FAILED);
    // Twenty attempts 100 ms apart, then the call ends instead of waiting on.
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1900));
}

TEST(CallFrame, EngineThatDiesAfterReadingTheRequestEndsTheCallWithBrokenPipe) {
    AttachAsRunning();
    Child peer({apitest::PeerPath("framepeer"), "readexit", LevelZeroPipe("APITEST", "xdapi")});
    int err = 0;
    EXPECT_EQ(GetVariableCount(&err), 0);
    EXPECT_EQ(err, EPIPE);
    EXPECT_EQ(peer.Wait(), 0);
}

TEST(CallFrame, ReplyValueReachesTheCaller) {
    AttachAsRunning();
    Child peer(PeerReplying({"0", "7", "9"}));
    int first = 0, second = 0;
    EXPECT_EQ(GetXDriveMode(&first, &second), 0);
    EXPECT_EQ(first, 7);
    EXPECT_EQ(second, 9);
    EXPECT_EQ(peer.Wait(), 0);
}

TEST(CallFrame, ReplyLackingAValueIsMalformedAndLeavesOutputsAlone) {
    AttachAsRunning();
    Child peer(PeerReplying({"0", "7"}));
    int first = -1, second = -2;
    EXPECT_EQ(GetXDriveMode(&first, &second), VEXA_MALFORMED_MESSAGE);
    EXPECT_EQ(first, -1);
    EXPECT_EQ(second, -2);
    EXPECT_EQ(peer.Wait(), 0);
}

TEST(CallFrame, EngineErrorCodePassesThroughUnchanged) {
    AttachAsRunning();
    Child peer(PeerReplying({"4242", "3"}));
    int depth = 5;
    EXPECT_EQ(GetNestDepth(&depth), 4242);
    EXPECT_EQ(depth, 5);
    EXPECT_EQ(peer.Wait(), 0);
}

TEST(CallFrame, ValueShapeGivesTheFailureValueAndTheCode) {
    AttachAsRunning();
    Child peer(PeerReplying({"77", "12"}));
    int err = 0;
    EXPECT_EQ(GetVariableCount(&err), 0);
    EXPECT_EQ(err, 77);
    EXPECT_EQ(peer.Wait(), 0);
}

TEST(CallFrame, NullOutputIsACallerErrorAndSendsNothing) {
    AttachAsRunning();
    int first = 0;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(GetXDriveMode(&first, nullptr), VEXA_BAD_ARGUMENT);
    EXPECT_EQ(GetNestDepth(nullptr), VEXA_BAD_ARGUMENT);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
}

TEST(Connection, RTempFolderIsStoredAndReturned) {
    EXPECT_STREQ(GetRTempFolderToVEXA(), "");
    EXPECT_EQ(SetRTempFolderToVEXA("/tmp/r"), 0);
    EXPECT_STREQ(GetRTempFolderToVEXA(), "/tmp/r");
    EXPECT_EQ(SetRTempFolderToVEXA(nullptr), 0);
    EXPECT_STREQ(GetRTempFolderToVEXA(), "");
}
