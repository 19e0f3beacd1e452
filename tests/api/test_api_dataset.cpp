#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "apitestsupport.h"
#include "vexaxd_p.h"

using apitest::Image;
using apitest::ScriptedEngine;
using apitest::WithEmptyTail;

namespace {

constexpr int kDatasetNotOpen = 87;
constexpr int kNoStepOpen = 89;
constexpr int kRowOutOfRange = 97;

// Replies to CreateDataset: the create, case count, variable count, case
// length, variable count again, then type and obs index per variable.
std::vector<std::string> CreateReplies(int cases, const std::vector<int>& types,
                                       const std::vector<int>& obs, int caseLength) {
    const std::string count = "int=" + std::to_string(types.size());
    std::vector<std::string> replies{"", "int=" + std::to_string(cases), count,
                                     "int=" + std::to_string(caseLength), count};
    for (std::size_t i = 0; i < types.size(); ++i) {
        replies.push_back("int=" + std::to_string(types[i]));
        replies.push_back("int=" + std::to_string(obs[i]));
    }
    return replies;
}

// A step started, then dataset d created with `cases` cases and one numeric variable.
std::vector<std::string> StepWithDataset(int cases) {
    std::vector<std::string> replies{""};
    for (const std::string& reply : CreateReplies(cases, {0}, {0}, 8)) replies.push_back(reply);
    return replies;
}

void StartStepWithDataset() {
    ASSERT_EQ(StartDataStep(), 0);
    ASSERT_EQ(CreateDataset("d", true, false), 0);
}

std::vector<int> Commands(const std::vector<Image>& requests) {
    std::vector<int> commands;
    for (const Image& request : requests) commands.push_back(request[4]);
    return commands;
}

template <typename... Rest>
std::vector<std::string> Join(std::vector<std::string> first, const Rest&... rest) {
    (first.insert(first.end(), rest.begin(), rest.end()), ...);
    return first;
}

// Two records: d row 1 = 2.5, d row 2 = "xy" (variable 0).
const Image kTwoRecords{0x70, 0, 0, 0, 228, 0,   0, 0, 0, 0, 0,    0,        // T 112, command 228
                        0,    0, 0, 0, 0,   0,   0, 0, 0, 0, 0,    0,        // long, double, string
                        2,    0, 0, 0,                                       // two records
                        1,    0, 0, 0, 'd', 1,   0, 0, 0, 0, 0,    0,    0,  // d, row 1, variable 0
                        0,    0, 0, 0, 0,   0,   0, 0, 0, 0, 0x04, 0x40,     // numeric, 2.5
                        0,    0, 0, 0,                                       // no text
                        1,    0, 0, 0, 'd', 2,   0, 0, 0, 0, 0,    0,    0,  // d, row 2, variable 0
                        1,    0, 0, 0, 0,   0,   0, 0, 0, 0, 0,    0,        // string, 0
                        2,    0, 0, 0, 'x', 'y',                             // "xy"
                        0,    0, 0, 0, 0,   0,   0, 0, 0, 0, 0,    0,        // arrays
                        0,    0, 0, 0, 0,   0,   0, 0, 0, 0, 0,    0};       // binary, wide, void

}  // namespace

TEST(DatasetCreate, SendsNameAndFlagsThenReadsTheLayoutOfTheNewDataset) {
    apitest::AttachAsRunning();
    ScriptedEngine engine(CreateReplies(5, {0, 16}, {0, 1}, 24));
    EXPECT_EQ(CreateDataset("d", true, false), 0);
    ASSERT_EQ(engine.Finish(), 0);
    const std::vector<Image> requests = engine.Requests();
    const Image create =
        WithEmptyTail({0x41, 0, 0, 0, 134, 0, 0, 0, 0, 0, 0, 0,  // T 65, command 134
                       2,    0, 0, 0, 1,   0, 0, 0, 0, 0, 0, 0,  // [1, 0]
                       0,    0, 0, 0, 1,   0, 0, 0, 1, 0, 0, 0, 'd'});
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests[0], create);
    // 5 + 2n round trips.
    EXPECT_EQ(Commands(requests), (std::vector<int>{134, 180, 148, 239, 148, 153, 240, 153, 240}));
    int* types = nullptr;
    int count = 0;
    GetVarInfo("d", &types, &count);
    ASSERT_EQ(count, 2);
    EXPECT_EQ(types[0], 0);
    EXPECT_EQ(types[1], 16);
    FreeIntArray(types, count);
}

TEST(DatasetCreate, TheActiveDatasetIsRegisteredUnderItsOwnName) {
    apitest::AttachAsRunning();
    std::vector<std::string> replies = StepWithDataset(3);
    replies.insert(replies.begin() + 2, "str=Active1");
    ScriptedEngine engine(replies);
    ASSERT_EQ(StartDataStep(), 0);
    EXPECT_EQ(CreateDataset("*", false, false), 0);
    EXPECT_EQ(SetNCellValue("*", 0, 0, 1), kDatasetNotOpen);
    EXPECT_EQ(SetNCellValue("Active1", 0, 0, 1), 0);
    ASSERT_EQ(engine.Finish(), 0);
    EXPECT_EQ(Commands(engine.Requests()),
              (std::vector<int>{132, 134, 137, 180, 148, 239, 148, 153, 240}));
}

TEST(DatasetCreate, RefusedCreateRegistersNothing) {
    EXPECT_EQ(CreateDataset("d", true, true), VEXA_ENGINE_NOT_RUNNING);
    apitest::AttachAsRunning();
    ScriptedEngine engine({"", "err=4040"});
    ASSERT_EQ(StartDataStep(), 0);
    EXPECT_EQ(CreateDataset("d", true, true), 4040);
    EXPECT_EQ(SetNCellValue("d", 0, 0, 1), kDatasetNotOpen);
    ASSERT_EQ(engine.Finish(), 0);
}

// Every one of the 5 + 2n layout reads counts: the first that fails is the
// create's result, and nothing is recorded that a later write could use.
TEST(DatasetCreate, AFailedLayoutReadFailsTheCreateAndRegistersNothing) {
    apitest::AttachAsRunning();
    ScriptedEngine engine({"", "", "int=5", "err=4242", "", "int=5", "int=2", "int=16", "int=2",
                           "int=0", "err=4243"});
    ASSERT_EQ(StartDataStep(), 0);
    EXPECT_EQ(CreateDataset("d", false, false), 4242);
    EXPECT_EQ(CreateDataset("e", false, false), 4243);
    EXPECT_EQ(SetNCellValue("d", 0, 0, 1), kDatasetNotOpen);
    EXPECT_EQ(SetNCellValue("e", 0, 0, 1), kDatasetNotOpen);
    int* types = nullptr;
    int count = 0;
    GetVarInfo("e", &types, &count);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(types, nullptr);
    ASSERT_EQ(engine.Finish(), 0);
    EXPECT_EQ(Commands(engine.Requests()),
              (std::vector<int>{132, 134, 180, 148, 134, 180, 148, 239, 148, 153, 240}));
}

TEST(GetActive, IsRefusedWhileNotRunningAndNamesNoDataset) {
    int err = -1;
    // An attempt to send would end after 2 s with 99104 instead.
    EXPECT_STREQ(GetActive(&err), "*");
    EXPECT_EQ(err, VEXA_ENGINE_NOT_RUNNING);
}

TEST(CellReads, AFailedCommitIsTheReadsResultAndNothingIsRead) {
    apitest::AttachAsRunning();
    ScriptedEngine engine(
        Join(StepWithDataset(5), std::vector<std::string>{"err=4711", "err=4712"}));
    StartStepWithDataset();
    ASSERT_EQ(SetNCellValue("d", 1, 0, 2.5), 0);
    int missing = -1;
    int err = -1;
    EXPECT_EQ(GetNCellValue("d", 1, 0, &missing, &err), 0.0);
    EXPECT_EQ(err, 4711);
    ASSERT_EQ(SetCCellValue("d", 2, 0, "xy"), 0);
    EXPECT_EQ(GetCCellValue("d", 2, 0, &missing, &err), nullptr);
    EXPECT_EQ(err, 4712);
    EXPECT_EQ(missing, -1);
    ASSERT_EQ(engine.Finish(), 0);
    // Two commits, no cell request (181, 182).
    const std::vector<int> commands = Commands(engine.Requests());
    EXPECT_EQ(std::vector<int>(commands.end() - 2, commands.end()), (std::vector<int>{228, 228}));
}

TEST(CellWrites, ACloseAfterAFailedCommitClosesAndReportsTheCommit) {
    apitest::AttachAsRunning();
    ScriptedEngine engine(Join(StepWithDataset(5), std::vector<std::string>{"err=4711", ""}));
    StartStepWithDataset();
    ASSERT_EQ(SetNCellValue("d", 1, 0, 2.5), 0);
    EXPECT_EQ(CloseDataset("d"), 4711);
    EXPECT_EQ(SetNCellValue("d", 1, 0, 2.5), kDatasetNotOpen);
    ASSERT_EQ(engine.Finish(), 0);
    const std::vector<int> commands = Commands(engine.Requests());
    EXPECT_EQ(std::vector<int>(commands.end() - 2, commands.end()), (std::vector<int>{228, 145}));
}

TEST(GetActive, TheAnswer93StillNamesTheDatasetOtherErrorsGiveStar) {
    apitest::AttachAsRunning();
    ScriptedEngine engine({"err=93;str=Work", "err=5;str=Other", "str=Main", ""});
    int err = -1;
    EXPECT_STREQ(GetActive(&err), "Work");
    EXPECT_EQ(err, 93);
    EXPECT_STREQ(GetActive(&err), "*");
    EXPECT_EQ(err, 5);
    EXPECT_STREQ(GetActive(&err), "Main");
    EXPECT_EQ(err, 0);
    EXPECT_STREQ(GetActive(&err), "*");
    EXPECT_EQ(err, 0);
    ASSERT_EQ(engine.Finish(), 0);
}

TEST(CellWrites, AreRefusedOutsideAStepAndOutsideTheTrackedDataset) {
    apitest::AttachAsRunning();
    EXPECT_EQ(SetNCellValue("d", 0, 0, 1), kNoStepOpen);
    EXPECT_EQ(SetCCellValue("d", 0, 0, "a"), kNoStepOpen);
    ScriptedEngine engine(Join(StepWithDataset(5), std::vector<std::string>{"", "", ""}));
    StartStepWithDataset();
    EXPECT_EQ(SetNCellValue("x", 0, 0, 1), kDatasetNotOpen);
    EXPECT_EQ(SetNCellValue("d", 5, 0, 1), kRowOutOfRange);
    EXPECT_EQ(SetNCellValue("d", -1, 0, 1), kRowOutOfRange);
    EXPECT_EQ(SetNCellValue("d", 0, 1, 1), VEXA_VARIABLE_OUT_OF_RANGE);
    EXPECT_EQ(SetCCellValue("d", 0, -1, "a"), VEXA_VARIABLE_OUT_OF_RANGE);
    EXPECT_EQ(SetCCellValue("d", 0, 0, nullptr), VEXA_BAD_ARGUMENT);
    EXPECT_EQ(InsertCase("d", 5), 0);
    EXPECT_EQ(SetNCellValue("d", 5, 0, 1), 0);
    // The list keeps the name the dataset was created under.
    EXPECT_EQ(SetDatasetName("d", "e"), 0);
    EXPECT_EQ(SetNCellValue("e", 0, 0, 1), kDatasetNotOpen);
    EXPECT_EQ(DeleteCase("d", 0), 0);
    EXPECT_EQ(SetNCellValue("d", 5, 0, 1), kRowOutOfRange);
    ASSERT_EQ(engine.Finish(), 0);
    // Inserts and deletes do not commit the queued write.
    EXPECT_EQ(Commands(engine.Requests()).back(), 179);
}

TEST(CellWrites, CommitSendsThePendingRecordsInOrderAndForgetsThemEvenWhenRefused) {
    apitest::AttachAsRunning();
    ScriptedEngine engine(Join(StepWithDataset(5), std::vector<std::string>{"err=4711", ""}));
    StartStepWithDataset();
    ASSERT_EQ(SetNCellValue("d", 1, 0, 2.5), 0);
    ASSERT_EQ(SetCCellValue("d", 2, 0, "xy"), 0);
    // Not running: refused, and the records stay.
    SetVexaRunning(false);
    EXPECT_EQ(CommitDataSet(), VEXA_ENGINE_NOT_RUNNING);
    SetVexaRunning(true);
    EXPECT_EQ(CommitDataSet(), 4711);
    EXPECT_EQ(CommitDataSet(), 0);
    ASSERT_EQ(engine.Finish(), 0);
    const std::vector<Image> requests = engine.Requests();
    ASSERT_EQ(requests.size(), 10u);
    EXPECT_EQ(requests[8], kTwoRecords);
    EXPECT_EQ(requests[9], WithEmptyTail({0x34, 0, 0, 0, 228, 0, 0, 0, 0, 0, 0, 0,
                                          0,    0, 0, 0, 0,   0, 0, 0, 0, 0, 0, 0}));
}

TEST(CellWrites, TheWriteAfterAMillionPendingCommitsThemInOneMessageFirst) {
    constexpr int kThreshold = 1048576;
    apitest::AttachAsRunning();
    ScriptedEngine engine(Join(StepWithDataset(1), std::vector<std::string>{"err=4712", ""}));
    StartStepWithDataset();
    for (int i = 0; i < kThreshold; ++i) ASSERT_EQ(SetNCellValue("d", 0, 0, i), 0);
    // The flush's refusal is this write's result; the write is still queued.
    EXPECT_EQ(SetNCellValue("d", 0, 0, -1), 4712);
    EXPECT_EQ(CommitDataSet(), 0);
    ASSERT_EQ(engine.Finish(), 0);

    // Parsing 30 MB of hex as images would dominate the test: read the lines.
    std::ifstream record(engine.record.str());
    std::vector<std::string> lines;
    for (std::string line; std::getline(record, line);) lines.push_back(std::move(line));
    ASSERT_EQ(lines.size(), 10u);
    const std::string& flush = lines[8];
    constexpr std::size_t kRecord = 29;  // one-byte name, no text
    constexpr std::size_t kSize = 12 + 12 + 4 + kRecord * kThreshold + 24;
    EXPECT_EQ(flush.size(), 2 * kSize);
    // Command 228, error 0, empty long/double/string blocks, 0x100000 records,
    // the first being d, row 0, variable 0, numeric 0.
    EXPECT_EQ(flush.substr(8, 2 * 24 + 2 * 29),
              "e4000000"
              "00000000"
              "000000000000000000000000"
              "00001000"
              "0100000064"
              "00000000"
              "00000000"
              "00000000"
              "0000000000000000"
              "00000000");
    // The last record in it is the 1048576th write, 1048575.0.
    EXPECT_EQ(flush.substr(flush.size() - 2 * (24 + 12), 16), "00000000feff2f41");
    // The 1048577th write went alone in the next commit: -1.0.
    const std::string& rest = lines[9];
    EXPECT_EQ(rest.size(), 2 * (12 + 12 + 4 + kRecord + 24));
    EXPECT_NE(rest.find("01000000"
                        "0100000064"
                        "00000000"
                        "00000000"
                        "00000000"
                        "000000000000f0bf"),
              std::string::npos);
}

TEST(CellReads, PendingWritesAreCommittedBeforeTheCellIsAsked) {
    apitest::AttachAsRunning();
    ScriptedEngine engine(
        Join(StepWithDataset(5),
             std::vector<std::string>{"", "int=1;dbl=2.5", "int=0", "int=0;str=ab", "int=0"}));
    StartStepWithDataset();
    ASSERT_EQ(SetNCellValue("d", 1, 0, 2.5), 0);
    ASSERT_EQ(SetCCellValue("d", 2, 0, "xy"), 0);
    int missing = -1;
    int err = -1;
    EXPECT_EQ(GetNCellValue("d", 1, 0, &missing, &err), 2.5);
    EXPECT_EQ(err, 0);
    EXPECT_EQ(missing, 1);
    // A reply without the value is a failed call.
    missing = -1;
    EXPECT_EQ(GetNCellValue("d", 1, 0, &missing, &err), 0.0);
    EXPECT_EQ(err, VEXA_MALFORMED_MESSAGE);
    EXPECT_EQ(missing, -1);
    EXPECT_STREQ(GetCCellValue("d", 2, 0, &missing, &err), "ab");
    EXPECT_EQ(missing, 0);
    EXPECT_EQ(GetCCellValue("d", 2, 0, &missing, &err), nullptr);
    EXPECT_EQ(err, VEXA_MALFORMED_MESSAGE);
    ASSERT_EQ(engine.Finish(), 0);
    const std::vector<Image> requests = engine.Requests();
    ASSERT_EQ(requests.size(), 13u);
    EXPECT_EQ(requests[8], kTwoRecords);
    const Image read =
        WithEmptyTail({0x41, 0, 0, 0, 181, 0, 0, 0, 0, 0, 0, 0,  // T 65, command 181
                       2,    0, 0, 0, 1,   0, 0, 0, 0, 0, 0, 0,  // [row 1, variable 0]
                       0,    0, 0, 0, 1,   0, 0, 0, 1, 0, 0, 0, 'd'});
    EXPECT_EQ(requests[9], read);
    // Nothing pending any more: the next reads go alone.
    EXPECT_EQ(Commands({requests.begin() + 10, requests.end()}), (std::vector<int>{181, 182, 182}));
}

TEST(CloseDataset, CommitsFirstAndForgetsTheDatasetOnlyWhenAccepted) {
    apitest::AttachAsRunning();
    ScriptedEngine engine(Join(StepWithDataset(5), std::vector<std::string>{"", "err=31", "", ""}));
    StartStepWithDataset();
    ASSERT_EQ(SetNCellValue("d", 1, 0, 2.5), 0);
    EXPECT_EQ(CloseDataset("d"), 31);
    EXPECT_EQ(SetNCellValue("d", 1, 0, 2.5), 0);
    EXPECT_EQ(CloseDataset("d"), 0);
    EXPECT_EQ(SetNCellValue("d", 1, 0, 2.5), kDatasetNotOpen);
    ASSERT_EQ(engine.Finish(), 0);
    const std::vector<Image> requests = engine.Requests();
    EXPECT_EQ(Commands({requests.begin() + 8, requests.end()}),
              (std::vector<int>{228, 145, 228, 145}));
    const Image close =
        WithEmptyTail({0x39, 0, 0, 0, 145, 0, 0, 0, 0, 0, 0, 0,  // T 57, command 145
                       0,    0, 0, 0, 0,   0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 'd'});
    EXPECT_EQ(requests.back(), close);
}

TEST(CaseCache, SetCasePartValueSendsTheListedVariablesLayoutAndTheCachedCase) {
    apitest::AttachAsRunning();
    // Obs indexes 0, 1, 3; obs lengths 1, 2, 1; variable 2 holds 2.0.
    std::vector<std::string> replies = CreateReplies(5, {0, 16, 0}, {0, 1, 3}, 32);
    replies.push_back("void=" + std::string(48, '0') + "0000000000000040");
    replies.push_back("");
    ScriptedEngine engine(replies);
    ASSERT_EQ(CreateDataset("d", false, false), 0);
    int length = -1;
    int err = -1;
    GetCaseValue("d", 4, true, &length, &err);
    EXPECT_EQ(err, 0);
    EXPECT_EQ(length, 32);
    int missing = -1;
    EXPECT_EQ(GetNCellValueFromCache("d", 2, &missing, &err), 2.0);
    EXPECT_EQ(missing, 0);
    EXPECT_EQ(SetNCellValueFromCache("d", 0, 1.5), 0);
    EXPECT_EQ(SetNCellValueFromCache("d", 1, 1.5), VEXA_DATASTEP_NOT_STRING);
    const int variables[] = {0, 2};
    EXPECT_EQ(SetCasePartValue("d", 4, variables, true, 2), 0);
    ASSERT_EQ(engine.Finish(), 0);
    const std::vector<Image> requests = engine.Requests();
    ASSERT_EQ(requests.size(), 13u);
    const Image getCase =
        WithEmptyTail({0x41, 0, 0, 0, 237, 0, 0, 0, 0, 0, 0, 0,  // T 65, command 237
                       2,    0, 0, 0, 4,   0, 0, 0, 1, 0, 0, 0,  // [row 4, flag 1]
                       0,    0, 0, 0, 1,   0, 0, 0, 1, 0, 0, 0, 'd'});
    EXPECT_EQ(requests[11], getCase);
    const Image setPart{0x75, 0, 0, 0, 238, 0, 0,    0,    0, 0, 0, 0,  // T 117, command 238
                        7,    0, 0, 0, 4,   0, 0,    0,    2, 0, 0, 0,  // [row 4, 2 variables,
                        0,    0, 0, 0, 1,   0, 0,    0,    3, 0, 0, 0, 1,   0, 0, 0,  //  0 1, 3 1,
                        1,    0, 0, 0,                                                //  flag 1]
                        0,    0, 0, 0, 1,   0, 0,    0,    1, 0, 0, 0, 'd', 0, 0, 0,
                        0,    0, 0, 0, 0,   0, 0,    0,    0, 0, 0, 0, 0,  // struct, arrays
                        0,    0, 0, 0, 0,   0, 0,    0,                    // binary, wide
                        32,   0, 0, 0,                                     // the case:
                        0,    0, 0, 0, 0,   0, 0xf8, 0x3f,                 //  1.5 set locally
                        0,    0, 0, 0, 0,   0, 0,    0,    0, 0, 0, 0, 0,   0, 0, 0,
                        0,    0, 0, 0, 0,   0, 0,    0x40};  //  2.0 as read
    EXPECT_EQ(requests[12], setPart);
}

TEST(CaseCache, ADatasetWithoutACachedCaseSendsNothingAndReportsNoError) {
    apitest::AttachAsRunning();
    int missing = -1;
    int err = -1;
    EXPECT_EQ(GetNCellValueFromCache("none", 0, &missing, &err), 0.0);
    EXPECT_EQ(err, 0);
    EXPECT_EQ(missing, -1);
    err = -1;
    EXPECT_EQ(GetCCellValueFromCache("none", 0, &err), nullptr);
    EXPECT_EQ(err, 0);
    EXPECT_EQ(SetNCellValueFromCache("none", 0, 1), 0);
    EXPECT_EQ(SetCCellValueFromCache("none", 0, "a"), 0);
    int length = -1;
    err = -1;
    GetCaseValue("none", 0, false, &length, &err);
    EXPECT_EQ(length, -1);
    EXPECT_EQ(err, -1);
    const int variables[] = {0};
    EXPECT_EQ(SetCasePartValue("none", 0, variables, false, 1), 0);
    int* types = nullptr;
    int count = -1;
    GetVarInfo("none", &types, &count);
    EXPECT_EQ(types, nullptr);
    EXPECT_EQ(count, -1);
}

TEST(CaseCache, ChangedVariablesMoveTheLayoutAndReadTheObsIndexAgain) {
    apitest::AttachAsRunning();
    std::vector<std::string> replies =
        Join(std::vector<std::string>{""}, CreateReplies(5, {0}, {0}, 8));
    // InsertVariable at 0 of a 16-byte string: then 2 variables, obs 0 and 2.
    replies.insert(replies.end(), {"", "int=2", "int=0", "int=2", "err=61"});
    ScriptedEngine engine(replies);
    StartStepWithDataset();
    EXPECT_EQ(InsertVariable("d", 0, "s", 16), 0);
    int* types = nullptr;
    int count = 0;
    GetVarInfo("d", &types, &count);
    ASSERT_EQ(count, 2);
    EXPECT_EQ(types[0], 16);
    EXPECT_EQ(types[1], 0);
    FreeIntArray(types, count);
    // The tracked variable count followed.
    EXPECT_EQ(SetNCellValue("d", 0, 1, 1), 0);
    // Refused by the engine: nothing changes.
    EXPECT_EQ(DeleteVariable("d", 0), 61);
    EXPECT_EQ(SetNCellValue("d", 0, 1, 1), 0);
    ASSERT_EQ(engine.Finish(), 0);
    const std::vector<Image> requests = engine.Requests();
    const Image insert =
        WithEmptyTail({0x46, 0, 0, 0, 146, 0, 0, 0, 0,  0, 0, 0,  // T 70, command 146
                       2,    0, 0, 0, 0,   0, 0, 0, 16, 0, 0, 0,  // [position 0, type 16]
                       0,    0, 0, 0, 2,   0, 0, 0, 1,  0, 0, 0, 'd', 1, 0, 0, 0, 's'});
    ASSERT_EQ(requests.size(), 13u);
    EXPECT_EQ(requests[8], insert);
    EXPECT_EQ(Commands({requests.begin() + 8, requests.end()}),
              (std::vector<int>{146, 148, 240, 240, 147}));
}

TEST(DatasetDictionary, SettersSendTheDatasetFirstAndLeaveNullValuesOut) {
    apitest::AttachAsRunning();
    ScriptedEngine engine({"", "err=9", ""});
    EXPECT_EQ(SetVarCMissingValuesInDS("d", 2, 1, "a", nullptr, nullptr), 0);
    const char* values[] = {"v1", "v2"};
    EXPECT_EQ(SetVarAttributesInDS("d", 3, "attr", values, 2), 9);
    int err = -1;
    const char* names[] = {"x"};
    SetMultiResponseSetInDS("d", "$s", "t", 4, "u", names, 1, &err);
    EXPECT_EQ(err, 0);
    ASSERT_EQ(engine.Finish(), 0);
    const std::vector<Image> requests = engine.Requests();
    ASSERT_EQ(requests.size(), 3u);
    const Image missing =
        WithEmptyTail({0x46, 0, 0, 0, 164, 0, 0, 0, 0, 0, 0, 0,  // T 70, command 164
                       2,    0, 0, 0, 2,   0, 0, 0, 1, 0, 0, 0,  // [variable 2, format 1]
                       0,    0, 0, 0, 2,   0, 0, 0, 1, 0, 0, 0, 'd', 1, 0, 0, 0, 'a'});
    EXPECT_EQ(requests[0], missing);
    const Image attributes{0x55, 0, 0, 0, 167, 0, 0, 0, 0, 0, 0, 0,  // T 85, command 167
                           1, 0, 0, 0, 3, 0, 0, 0,                   // [variable 3]
                           0, 0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 0, 'd', 4, 0, 0, 0, 'a', 't', 't', 'r',
                           0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // struct, long/double
                                                                // arrays
                           1, 0, 0, 0,                          // one string array:
                           2, 0, 0, 0, 2, 0, 0, 0, 'v', '1', 2, 0, 0, 0, 'v', '2', 0, 0, 0, 0, 0, 0,
                           0, 0, 0, 0, 0, 0};
    EXPECT_EQ(requests[1], attributes);
    EXPECT_EQ(requests[2][4], 188);
}

TEST(DatasetDictionary, EachFunctionHasItsCommand) {
    apitest::AttachAsRunning();
    ScriptedEngine engine(std::vector<std::string>(21, "err=9050"));
    EXPECT_EQ(SetVarNameInDS("d", 0, "n"), 9050);
    EXPECT_EQ(SetVarLabelInDS("d", 0, "l"), 9050);
    EXPECT_EQ(SetVarRoleInDS("d", 0, 1), 9050);
    EXPECT_EQ(SetVarFormatInDS("d", 0, 5, 8, 2), 9050);
    EXPECT_EQ(SetVarAlignmentInDS("d", 0, 1), 9050);
    EXPECT_EQ(SetVarMeasurementLevelInDS("d", 0, "scale"), 9050);
    EXPECT_EQ(SetVarColumnWidthInDS("d", 0, 9), 9050);
    EXPECT_EQ(SetVarNMissingValuesInDS("d", 0, 1, 1, 2, 3), 9050);
    EXPECT_EQ(SetVarNValueLabelInDS("d", 0, 1, "one"), 9050);
    EXPECT_EQ(SetVarCValueLabelInDS("d", 0, "a", "A"), 9050);
    EXPECT_EQ(DelVarValueLabelInDS("d", 0), 9050);
    EXPECT_EQ(DelVarNValueLabelInDS("d", 0, 1), 9050);
    EXPECT_EQ(DelVarCValueLabelInDS("d", 0, "a"), 9050);
    EXPECT_EQ(DelVarAttributesInDS("d", 0, "a"), 9050);
    EXPECT_EQ(SetDataFileAttributesInDS("d", "a", nullptr, 0), 9050);
    EXPECT_EQ(DelDataFileAttributesInDS("d", "a"), 9050);
    EXPECT_EQ(DelMultiResponseSetInDS("d", "$s"), 9050);
    EXPECT_EQ(SetVarTypeInDS("d", 0, 8), 9050);
    EXPECT_EQ(CopyDataset("d", "e"), 9050);
    EXPECT_EQ(SetActive("d"), 9050);
    EXPECT_EQ(SetCacheInDS("d", true), 9050);
    ASSERT_EQ(engine.Finish(), 0);
    EXPECT_EQ(Commands(engine.Requests()),
              (std::vector<int>{150, 152, 226, 156, 158, 160, 196, 163, 173, 174, 175,
                                176, 177, 168, 169, 198, 199, 154, 139, 138, 241}));
}

TEST(DatasetDictionary, GettersGiveTheirFailureValues) {
    apitest::AttachAsRunning();
    ScriptedEngine engine(
        {"err=7", "err=7", "err=7", "", "", "str=v1", "int=4", "int=2;str=a;str=b;str=c"});
    int err = 0;
    EXPECT_STREQ(GetVarNameInDS("d", 0, &err), "");
    EXPECT_EQ(err, 7);
    EXPECT_EQ(GetVarLabelInDS("d", 0, &err), nullptr);
    EXPECT_EQ(GetCaseCountInDS("d", &err), -1);
    // A reply without the value a getter reads fails the call.
    EXPECT_EQ(GetCaseCountInDS("d", &err), -1);
    EXPECT_EQ(err, VEXA_MALFORMED_MESSAGE);
    EXPECT_EQ(GetVarFormatInDS("d", 0, &err), nullptr);
    EXPECT_EQ(err, VEXA_MALFORMED_MESSAGE);
    EXPECT_STREQ(GetVarMeasurementLevelInDS("d", 0, &err), "v1");
    EXPECT_EQ(GetVarColumnWidthInDS("d", 1, &err), 4);
    EXPECT_EQ(err, 0);
    char** names = nullptr;
    int count = 0;
    // The count is the integer; the strings beyond it are not copied.
    EXPECT_EQ(GetVarAttributesNameInDS("d", 1, &names, &count), 0);
    ASSERT_EQ(count, 2);
    EXPECT_STREQ(names[0], "a");
    EXPECT_STREQ(names[1], "b");
    EXPECT_EQ(FreeAttributeNames(names, count), 0);
    ASSERT_EQ(engine.Finish(), 0);
    EXPECT_EQ(Commands(engine.Requests()),
              (std::vector<int>{149, 151, 180, 180, 155, 159, 195, 165}));
}

TEST(DatasetDictionary, AMultipleResponseSetReadsWhatAShortReplyHolds) {
    apitest::AttachAsRunning();
    ScriptedEngine engine(
        {"", "int=5,6", "str=Only", "str=L;str=S;str=m1", "err=9050;int=1,2;str=a;str=b"});
    char* label = nullptr;
    char* second = nullptr;
    int firstInteger = -1, secondInteger = -1, err = -1;
    void* members = nullptr;
    // Nothing came: the outputs stay, the list is empty.
    GetMultiResponseSetInDS("d", "$s", &label, &firstInteger, &second, &secondInteger, &members,
                            &err);
    EXPECT_EQ(err, 0);
    EXPECT_EQ(label, nullptr);
    EXPECT_EQ(firstInteger, -1);
    EXPECT_EQ(GetStringListLength(members), 0);
    RemoveStringList(members);
    GetMultiResponseSetInDS("d", "$s", &label, &firstInteger, &second, &secondInteger, &members,
                            &err);
    EXPECT_EQ(err, 0);
    EXPECT_EQ(firstInteger, 5);
    EXPECT_EQ(secondInteger, 6);
    EXPECT_EQ(label, nullptr);
    RemoveStringList(members);
    // One string is not the two texts: none is taken.
    GetMultiResponseSetInDS("d", "$s", &label, &firstInteger, &second, &secondInteger, &members,
                            &err);
    EXPECT_EQ(err, 0);
    EXPECT_EQ(label, nullptr);
    EXPECT_EQ(GetStringListLength(members), 0);
    RemoveStringList(members);
    GetMultiResponseSetInDS("d", "$s", &label, &firstInteger, &second, &secondInteger, &members,
                            &err);
    EXPECT_EQ(err, 0);
    EXPECT_STREQ(label, "L");
    EXPECT_STREQ(second, "S");
    EXPECT_EQ(firstInteger, 5);
    ASSERT_EQ(GetStringListLength(members), 1);
    EXPECT_STREQ(GetStringFromList(members, 0), "m1");
    EXPECT_EQ(FreeString(label), 0);
    EXPECT_EQ(FreeString(second), 0);
    RemoveStringList(members);
    // An engine error leaves every output alone.
    label = nullptr;
    members = nullptr;
    GetMultiResponseSetInDS("d", "$s", &label, &firstInteger, &second, &secondInteger, &members,
                            &err);
    EXPECT_EQ(err, 9050);
    EXPECT_EQ(label, nullptr);
    EXPECT_EQ(members, nullptr);
    EXPECT_EQ(firstInteger, 5);
    ASSERT_EQ(engine.Finish(), 0);
}

TEST(DatasetLists, TheCountIsTheNumberOfStringsInTheReply) {
    apitest::AttachAsRunning();
    ScriptedEngine engine({"str=a;str=bb", "", "str=new1"});
    char** names = nullptr;
    int count = -1;
    EXPECT_EQ(GetVexaDatasets(&names, &count), 0);
    ASSERT_EQ(count, 2);
    EXPECT_STREQ(names[1], "bb");
    EXPECT_EQ(FreeStringArray(names, count), 0);
    names = nullptr;
    EXPECT_EQ(GetOpenedVexaDatasets(&names, &count), 0);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(names, nullptr);
    char buffer[16];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(GetNewDatasetName(buffer), 0);
    EXPECT_STREQ(buffer, "new1");
    ASSERT_EQ(engine.Finish(), 0);
    EXPECT_EQ(Commands(engine.Requests()), (std::vector<int>{140, 141, 136}));
}

TEST(DatasetLists, SaveFileInDSIsGoneAndSendsNothing) {
    EXPECT_EQ(SaveFileInDS(), 0);
    apitest::AttachAsRunning();
    EXPECT_EQ(SaveFileInDS(), 0);
    EXPECT_TRUE(apitest::OwnPipeFiles().empty());
}
