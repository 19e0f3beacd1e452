#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "apitestsupport.h"
#include "vexaxd_p.h"

using apitest::Image;
using apitest::ScriptedEngine;
using apitest::WithEmptyTail;

namespace {

std::size_t ThreadCount() {
    std::size_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) {
        (void)entry;
        ++count;
    }
    return count;
}

// A plug-in has used the connection before it starts a transfer: the pipes
// are open and connected from its own thread.
void UseConnection() { EXPECT_EQ(GetRowCountInTempFile(nullptr), 0); }

// Command and text of a request that carries one string.
std::pair<int, std::string> CommandText(const Image& request) {
    const int length = request[24] | request[25] << 8;
    return {request[4] | request[5] << 8,
            std::string(request.begin() + 28, request.begin() + 28 + length)};
}

}  // namespace

TEST(TransportData, ReadingIntoTheEngineQueuesTwoLinesAfterAPauseAndSubmitsExecute) {
    apitest::AttachAsRunning();
    ScriptedEngine engine({"int=0", "", "", ""});
    UseConnection();
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(TransportData("4711", "a b c", true), 0);
    // Back before the engine saw anything of the transfer.
    EXPECT_EQ(engine.Requests().size(), 1u);
    ASSERT_EQ(engine.Finish(), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(500));
    const std::vector<Image> requests = engine.Requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(CommandText(requests[1]),
              std::make_pair(
                  5, std::string("GET DATA /TYPE=BINARYSTREAM /SOCKET=4711 /VARIABLES=a b c.")));
    const Image cache = WithEmptyTail(
        {0x3e, 0, 0, 0, 5, 0, 0, 0, 0, 0, 0, 0,  // T 62, command 5
         0,    0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 6, 0, 0, 0, 'C', 'A', 'C', 'H', 'E', '.'});
    EXPECT_EQ(requests[2], cache);
    const Image execute =
        WithEmptyTail({0x40, 0, 0, 0, 0,   0,   0,   0,   0,   0,   0,   0,  // T 64, command 0
                       0,    0, 0, 0, 0,   0,   0,   0,   1,   0,   0,   0,
                       8,    0, 0, 0, 'E', 'X', 'E', 'C', 'U', 'T', 'E', '.'});
    EXPECT_EQ(requests[3], execute);
}

TEST(TransportData, WritingWithoutVariablesSubmitsOnlyTheSaveLine) {
    apitest::AttachAsRunning();
    ScriptedEngine engine({"int=0", "err=9001"});
    UseConnection();
    // The engine's refusal stays inside the thread.
    EXPECT_EQ(TransportData("4711", "", false), 0);
    ASSERT_EQ(engine.Finish(), 0);
    const std::vector<Image> requests = engine.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(CommandText(requests[1]),
              std::make_pair(0, std::string("SAVE /TYPE=BINARYSTREAM /SOCKET=4711.")));
}

TEST(TransportData, WritingKeepsTheGivenVariables) {
    apitest::AttachAsRunning();
    ScriptedEngine engine({"int=0", ""});
    UseConnection();
    EXPECT_EQ(TransportData("4711", "x y", false), 0);
    ASSERT_EQ(engine.Finish(), 0);
    const std::vector<Image> requests = engine.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(CommandText(requests[1]),
              std::make_pair(0, std::string("SAVE /TYPE=BINARYSTREAM /SOCKET=4711 /KEEP=x y.")));
}

TEST(TransportData, RefusedWhileNotRunningWithoutAThread) {
    const std::size_t threads = ThreadCount();
    EXPECT_EQ(TransportData("4711", "a", true), VEXA_ENGINE_NOT_RUNNING);
    apitest::AttachAsRunning();
    EXPECT_EQ(TransportData(nullptr, "a", true), VEXA_BAD_ARGUMENT);
    EXPECT_EQ(TransportData("4711", nullptr, false), VEXA_BAD_ARGUMENT);
    EXPECT_EQ(ThreadCount(), threads);
}

TEST(TempFiles, TheVariableIndexesTravelAsLongsWithoutTheirCount) {
    apitest::AttachAsRunning();
    ScriptedEngine engine({"", "int=12", "err=3", "err=8"});
    const int variables[] = {3, 5};
    EXPECT_EQ(SaveDataToTempFile("tmp", variables, 2), 0);
    int err = -1;
    EXPECT_EQ(GetRowCountInTempFile(&err), 12);
    EXPECT_EQ(err, 0);
    EXPECT_EQ(GetRowCountInTempFile(&err), 0);
    EXPECT_EQ(err, 3);
    EXPECT_EQ(GetDataFromTempFile("tmp", 1, 2), 8);
    EXPECT_EQ(SaveDataToTempFile("tmp", nullptr, 1), VEXA_BAD_ARGUMENT);
    ASSERT_EQ(engine.Finish(), 0);
    const std::vector<Image> requests = engine.Requests();
    ASSERT_EQ(requests.size(), 4u);
    const Image save = WithEmptyTail({0x43, 0, 0, 0, 232, 0, 0, 0, 0, 0, 0, 0,  // T 67, command 232
                                      2,    0, 0, 0, 3,   0, 0, 0, 5, 0, 0, 0,  // [3, 5]
                                      0,    0, 0, 0, 1,   0, 0, 0, 3, 0, 0, 0, 't', 'm', 'p'});
    EXPECT_EQ(requests[0], save);
    const Image rowCount = WithEmptyTail(
        {0x34, 0, 0, 0, 236, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(requests[1], rowCount);
    const Image fromFile =
        WithEmptyTail({0x43, 0, 0, 0, 233, 0, 0, 0, 0, 0, 0, 0,  // T 67, command 233
                       2,    0, 0, 0, 1,   0, 0, 0, 2, 0, 0, 0,  // [1, 2]
                       0,    0, 0, 0, 1,   0, 0, 0, 3, 0, 0, 0, 't', 'm', 'p'});
    EXPECT_EQ(requests[3], fromFile);
}

TEST(TempFiles, GetDataFromTempFileIsRefusedWhileNotRunning) {
    EXPECT_EQ(GetDataFromTempFile("tmp", 1, 2), VEXA_ENGINE_NOT_RUNNING);
}
