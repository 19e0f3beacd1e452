#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "apitestsupport.h"
#include "vexaxd_p.h"

using apitest::Image;
using apitest::ScriptedEngine;
using apitest::WithEmptyTail;

namespace {

constexpr int kNoStepOpen = 89;

// A batch reply of rows first..last: cell (r, v) is missing when r is odd,
// holds r * 10 + v and the text "r<r>v<v>".
std::string BatchReply(int first, int last, const std::vector<int>& types, int third) {
    // Joined with a stream: GCC 12 warns falsely on "literal" + std::string.
    std::ostringstream header;
    header << "int=" << first << "," << types.size();
    for (int type : types) header << "," << type;
    header << "," << last << "," << third;
    std::ostringstream flags, values, texts;
    for (int r = first; r <= last; ++r) {
        for (std::size_t v = 0; v < types.size(); ++v) {
            const char* comma = r == first && v == 0 ? "" : ",";
            flags << comma << r % 2;
            values << comma << r * 10 + static_cast<int>(v);
            texts << comma << "r" << r << "v" << v;
        }
    }
    return header.str() + ";iarr=" + flags.str() + ";darr=" + values.str() + ";arr=" + texts.str();
}

// StartDataStep, then CreateDataset of d: 5 cases, one numeric variable.
std::vector<std::string> StepWithDataset() {
    return {"", "", "int=5", "int=1", "int=8", "int=1", "int=0", "int=0"};
}

std::vector<int> Commands(const std::vector<Image>& requests) {
    std::vector<int> commands;
    for (const Image& request : requests) commands.push_back(request[4]);
    return commands;
}

int IntAt(const Image& image, std::size_t offset) {
    return image[offset] | image[offset + 1] << 8 | image[offset + 2] << 16 |
           image[offset + 3] << 24;
}

// Batch flag and row of a fetch request (the first two integers).
std::pair<int, int> FlagAndRow(const Image& fetch) { return {IntAt(fetch, 16), IntAt(fetch, 20)}; }

}  // namespace

TEST(DatastepBatch, OptimizeReadsInsideTheBatchCostNoRoundTrip) {
    apitest::AttachAsRunning();
    ScriptedEngine engine({BatchReply(0, 99, {0}, 7)});
    int missing = -1;
    int err = -1;
    EXPECT_EQ(GetNCellValueOptimize("d", 10, 0, &missing, &err), 100.0);
    EXPECT_EQ(err, 0);
    EXPECT_EQ(missing, 0);
    EXPECT_EQ(GetNCellValueOptimize("d", 11, 0, &missing, &err), 110.0);
    EXPECT_EQ(missing, 1);
    char* text = GetCCellValueOptimize("d", 99, 0, &missing, &err);
    EXPECT_STREQ(text, "r99v0");
    FreeString(text);
    ASSERT_EQ(engine.Finish(), 0);
    const Image fetch =
        WithEmptyTail({0x41, 0, 0, 0, 221, 0, 0, 0, 0,  0, 0, 0,  // T 65, command 221
                       2,    0, 0, 0, 0,   0, 0, 0, 10, 0, 0, 0,  // [no batch of d, row 10]
                       0,    0, 0, 0, 1,   0, 0, 0, 1,  0, 0, 0, 'd'});
    EXPECT_EQ(engine.Requests(), std::vector<Image>{fetch});
}

// Each fetch is received in the pages of the batch before it: a batch of
// several pieces, a one-piece batch, then several pieces again, each reading
// its own cells only. (The replies travel on a command line, which Windows
// keeps below 32 KiB.)
TEST(DatastepBatch, BatchesReceivedOneInThePagesOfTheOtherReadTheirOwnCells) {
    apitest::AttachAsRunning();
    const std::vector<std::pair<int, int>> ranges{{0, 399}, {400, 499}, {500, 799}};
    std::vector<std::string> replies;
    for (const auto& [first, last] : ranges) replies.push_back(BatchReply(first, last, {0, 8}, 0));
    ScriptedEngine engine(replies);
    int wrong = 0;
    for (const auto& [first, last] : ranges) {
        for (int row = first; row <= last; ++row) {
            int missing = -1;
            int err = -1;
            const double number = GetNCellValueOptimize("d", row, 0, &missing, &err);
            wrong += number != row * 10.0 || missing != row % 2 || err != 0;
            char* text = GetCCellValueOptimize("d", row, 1, &missing, &err);
            wrong += text == nullptr || "r" + std::to_string(row) + "v1" != text || err != 0;
            FreeString(text);
        }
    }
    EXPECT_EQ(wrong, 0);
    ASSERT_EQ(engine.Finish(), 0);
    EXPECT_EQ(engine.Requests().size(), ranges.size());
}

TEST(DatastepBatch, TheFetchFlagSaysWhetherTheHeldBatchIsOfTheSameDataset) {
    apitest::AttachAsRunning();
    ScriptedEngine engine({BatchReply(0, 9, {0}, 0), BatchReply(0, 9, {0}, 0),
                           BatchReply(0, 9, {0}, 0), BatchReply(10, 19, {0}, 0),
                           BatchReply(10, 19, {0}, 0)});
    int missing = 0;
    int err = -1;
    EXPECT_EQ(GetNCellValueOptimize("d", 5, 0, &missing, &err), 50.0);
    EXPECT_EQ(GetNCellValueOptimize("e", 5, 0, &missing, &err), 50.0);
    EXPECT_EQ(GetNCellValueOptimize("d", 5, 0, &missing, &err), 50.0);
    EXPECT_EQ(GetNCellValueOptimize("d", 15, 0, &missing, &err), 150.0);
    ClearDatastepBatch();
    EXPECT_EQ(GetNCellValueOptimize("d", 15, 0, &missing, &err), 150.0);
    EXPECT_EQ(err, 0);
    ASSERT_EQ(engine.Finish(), 0);
    std::vector<std::pair<int, int>> fetches;
    for (const Image& request : engine.Requests()) fetches.push_back(FlagAndRow(request));
    EXPECT_EQ(fetches,
              (std::vector<std::pair<int, int>>{{0, 5}, {0, 5}, {0, 5}, {1, 15}, {0, 15}}));
}

TEST(DatastepBatch, OptimizeReadsTheHeldBatchOnlyForTheSameNameAndAVariableItHolds) {
    apitest::AttachAsRunning();
    ScriptedEngine engine(
        {BatchReply(0, 9, {0, 0}, 0), BatchReply(0, 9, {0, 0}, 0), BatchReply(0, 9, {0, 0}, 0)});
    char name[3] = "d";
    int missing = -1;
    int err = -1;
    EXPECT_EQ(GetNCellValueOptimize(name, 3, 1, &missing, &err), 31.0);
    EXPECT_EQ(err, 0);
    EXPECT_EQ(missing, 1);
    for (int variable : {-1, 2}) {
        missing = -1;
        EXPECT_EQ(GetNCellValueOptimize(name, 3, variable, &missing, &err), 0.0);
        EXPECT_EQ(err, VEXA_VARIABLE_OUT_OF_RANGE);
        EXPECT_EQ(missing, -1);
    }
    EXPECT_EQ(GetNCellValueOptimize(name, 3, 0, nullptr, &err), 0.0);
    EXPECT_EQ(err, VEXA_BAD_ARGUMENT);
    // The caller's buffer now names another dataset; then the first name again.
    name[1] = 'd';
    EXPECT_EQ(GetNCellValueOptimize(name, 4, 0, &missing, &err), 40.0);
    EXPECT_EQ(GetNCellValueOptimize("d", 4, 0, &missing, &err), 40.0);
    EXPECT_EQ(GetNCellValueOptimize("d", 9, 1, &missing, &err), 91.0);
    EXPECT_EQ(err, 0);
    ASSERT_EQ(engine.Finish(), 0);
    std::vector<std::pair<int, int>> fetches;
    for (const Image& request : engine.Requests()) fetches.push_back(FlagAndRow(request));
    EXPECT_EQ(fetches, (std::vector<std::pair<int, int>>{{0, 3}, {0, 4}, {0, 4}}));
}

TEST(DatastepBatch, RowListAndVariableTypesComeFromTheBatchLongBlock) {
    apitest::AttachAsRunning();
    ScriptedEngine engine({BatchReply(100, 199, {0, 8}, 1000)});
    int first = -1, last = -1, third = -1, err = -1;
    GetRowList("d", 150, 0, &first, &last, &third, &err);
    EXPECT_EQ(err, 0);
    EXPECT_EQ(first, 100);
    EXPECT_EQ(last, 199);
    EXPECT_EQ(third, 1000);
    int types[2] = {-1, -1};
    GetVarTypeInDSCache(types, 2, &err);
    EXPECT_EQ(err, 0);
    EXPECT_EQ(types[0], 0);
    EXPECT_EQ(types[1], 8);
    // Only two types precede the row figures.
    int three[3] = {};
    GetVarTypeInDSCache(three, 3, &err);
    EXPECT_EQ(err, VEXA_VARIABLE_OUT_OF_RANGE);
    int missing = -1;
    EXPECT_EQ(GetNCellValueCache("d", 199, 1, &missing, &err), 1991.0);
    EXPECT_EQ(missing, 1);
    ASSERT_EQ(engine.Finish(), 0);
    EXPECT_EQ(engine.Requests().size(), 1u);
}

TEST(DatastepBatch, ReadersRefuseCellsThatNoBatchHolds) {
    int missing = -1;
    int err = -1;
    EXPECT_EQ(GetNCellValueCache("d", 0, 0, &missing, &err), 0.0);
    EXPECT_EQ(err, VEXA_VARIABLE_OUT_OF_RANGE);
    err = -1;
    EXPECT_EQ(GetCCellValueCache("d", 0, 0, &missing, &err), nullptr);
    EXPECT_EQ(err, VEXA_VARIABLE_OUT_OF_RANGE);
    err = -1;
    EXPECT_EQ(GetNCellValueBatch("d", 0, 0, &missing, &err, nullptr), 0.0);
    EXPECT_EQ(err, VEXA_VARIABLE_OUT_OF_RANGE);
    int types[1] = {-1};
    err = -1;
    GetVarTypeInDSCache(types, 1, &err);
    EXPECT_EQ(err, VEXA_VARIABLE_OUT_OF_RANGE);
    EXPECT_EQ(types[0], -1);
    EXPECT_EQ(missing, -1);

    apitest::AttachAsRunning();
    // A refused fetch, a batch that lacks its cells, then a good one of rows 0..9.
    ScriptedEngine engine({"err=9000", "int=0,1,0,5,0", BatchReply(0, 9, {0}, 0)});
    EXPECT_EQ(GetNCellValueOptimize("d", 3, 0, &missing, &err), 0.0);
    EXPECT_EQ(err, 9000);
    EXPECT_EQ(GetNCellValueCache("d", 3, 0, &missing, &err), 0.0);
    EXPECT_EQ(err, VEXA_VARIABLE_OUT_OF_RANGE);
    int first = -1, last = -1, third = -1;
    GetRowList("d", 3, 0, &first, &last, &third, &err);
    EXPECT_EQ(err, VEXA_MALFORMED_MESSAGE);
    EXPECT_EQ(first, -1);
    EXPECT_EQ(GetCCellValueCache("d", 3, 0, &missing, &err), nullptr);
    EXPECT_EQ(err, VEXA_VARIABLE_OUT_OF_RANGE);
    FetchDatastep("d", 3, 0, &err);
    EXPECT_EQ(err, 0);
    EXPECT_EQ(GetNCellValueCache("d", 50, 0, &missing, &err), 0.0);
    EXPECT_EQ(err, VEXA_VARIABLE_OUT_OF_RANGE);
    EXPECT_EQ(GetNCellValueCache("d", 9, 1, &missing, &err), 0.0);
    EXPECT_EQ(err, VEXA_VARIABLE_OUT_OF_RANGE);
    EXPECT_EQ(GetNCellValueCache("d", 9, 0, &missing, &err), 90.0);
    EXPECT_EQ(err, 0);
    ASSERT_EQ(engine.Finish(), 0);
    // The failed fetches left no batch: each later fetch carried the flag 0.
    std::vector<std::pair<int, int>> fetches;
    for (const Image& request : engine.Requests()) fetches.push_back(FlagAndRow(request));
    EXPECT_EQ(fetches, (std::vector<std::pair<int, int>>{{0, 3}, {0, 3}, {0, 3}}));
}

TEST(DatastepBatch, AFetchCommitsPendingCellWritesFirst) {
    apitest::AttachAsRunning();
    std::vector<std::string> replies = StepWithDataset();
    replies.insert(replies.end(), {"", BatchReply(0, 4, {0}, 0)});
    ScriptedEngine engine(replies);
    ASSERT_EQ(StartDataStep(), 0);
    ASSERT_EQ(CreateDataset("d", false, false), 0);
    ASSERT_EQ(SetNCellValue("d", 1, 0, 2), 0);
    ASSERT_EQ(SetNCellValue("d", 2, 0, 3), 0);
    int err = -1;
    FetchDatastep("d", 0, 0, &err);
    EXPECT_EQ(err, 0);
    ASSERT_EQ(engine.Finish(), 0);
    const std::vector<Image> requests = engine.Requests();
    EXPECT_EQ(Commands(requests),
              (std::vector<int>{132, 134, 180, 148, 239, 148, 153, 240, 228, 221}));
    ASSERT_EQ(requests.size(), 10u);
    // Both records went: the struct count after the three empty blocks.
    EXPECT_EQ(IntAt(requests[8], 24), 2);
}

TEST(DataStep, ARefusedEndKeepsTheStepOpenButDropsTheBatch) {
    apitest::AttachAsRunning();
    std::vector<std::string> replies = StepWithDataset();
    replies.insert(replies.end(), {BatchReply(0, 4, {0}, 0), "", "err=77", "", ""});
    ScriptedEngine engine(replies);
    ASSERT_EQ(StartDataStep(), 0);
    ASSERT_EQ(CreateDataset("d", false, false), 0);
    int err = -1;
    FetchDatastep("d", 0, 0, &err);
    ASSERT_EQ(err, 0);
    ASSERT_EQ(SetNCellValue("d", 1, 0, 2), 0);
    EXPECT_EQ(EndDataStep(), 77);
    int missing = -1;
    EXPECT_EQ(GetNCellValueCache("d", 0, 0, &missing, &err), 0.0);
    EXPECT_EQ(err, VEXA_VARIABLE_OUT_OF_RANGE);
    // Still in the step, the dataset still known.
    EXPECT_EQ(SetNCellValue("d", 1, 0, 3), 0);
    EXPECT_EQ(EndDataStep(), 0);
    EXPECT_EQ(SetNCellValue("d", 1, 0, 4), kNoStepOpen);
    ASSERT_EQ(engine.Finish(), 0);
    EXPECT_EQ(Commands(engine.Requests()),
              (std::vector<int>{132, 134, 180, 148, 239, 148, 153, 240, 221, 228, 133, 228, 133}));
}

TEST(DataStep, AnEndAfterAFailedCommitEndsTheStepAndReportsTheCommit) {
    apitest::AttachAsRunning();
    std::vector<std::string> replies = StepWithDataset();
    replies.insert(replies.end(), {"err=4711", ""});
    ScriptedEngine engine(replies);
    ASSERT_EQ(StartDataStep(), 0);
    ASSERT_EQ(CreateDataset("d", false, false), 0);
    ASSERT_EQ(SetNCellValue("d", 1, 0, 2), 0);
    EXPECT_EQ(EndDataStep(), 4711);
    EXPECT_EQ(SetNCellValue("d", 1, 0, 3), kNoStepOpen);
    ASSERT_EQ(engine.Finish(), 0);
    EXPECT_EQ(Commands(engine.Requests()),
              (std::vector<int>{132, 134, 180, 148, 239, 148, 153, 240, 228, 133}));
}

TEST(DatastepBatch, AFailedCommitIsTheFetchsResultAndNoBatchIsFetched) {
    apitest::AttachAsRunning();
    std::vector<std::string> replies = StepWithDataset();
    replies.insert(replies.end(), {"err=4711"});
    ScriptedEngine engine(replies);
    ASSERT_EQ(StartDataStep(), 0);
    ASSERT_EQ(CreateDataset("d", false, false), 0);
    ASSERT_EQ(SetNCellValue("d", 1, 0, 2), 0);
    int err = -1;
    FetchDatastep("d", 0, 0, &err);
    EXPECT_EQ(err, 4711);
    int missing = -1;
    EXPECT_EQ(GetNCellValueCache("d", 0, 0, &missing, &err), 0.0);
    EXPECT_EQ(err, VEXA_VARIABLE_OUT_OF_RANGE);
    ASSERT_EQ(engine.Finish(), 0);
    EXPECT_EQ(Commands(engine.Requests()),
              (std::vector<int>{132, 134, 180, 148, 239, 148, 153, 240, 228}));
}

TEST(DataStep, RefusedWhileNotRunning) {
    int err = -1;
    FetchDatastep("d", 0, 0, &err);
    EXPECT_EQ(err, VEXA_ENGINE_NOT_RUNNING);
    EXPECT_EQ(StartDataStep(), VEXA_ENGINE_NOT_RUNNING);
    EXPECT_EQ(EndDataStep(), VEXA_ENGINE_NOT_RUNNING);
    char** names = nullptr;
    int count = -1;
    EXPECT_EQ(GetDatastepDatasets(&names, &count), VEXA_ENGINE_NOT_RUNNING);
    EXPECT_EQ(count, -1);
    int missing = -1;
    // The reader is not refused; the fetch it needs is.
    EXPECT_EQ(GetNCellValueOptimize("d", 0, 0, &missing, &err), 0.0);
    EXPECT_EQ(err, VEXA_ENGINE_NOT_RUNNING);
}

TEST(DataStep, DatastepDatasetsAreAllTheStringsOfTheReply) {
    apitest::AttachAsRunning();
    ScriptedEngine engine({"str=a;str=b;str=c"});
    char** names = nullptr;
    int count = -1;
    EXPECT_EQ(GetDatastepDatasets(&names, &count), 0);
    ASSERT_EQ(count, 3);
    EXPECT_STREQ(names[2], "c");
    EXPECT_EQ(FreeStringArray(names, count), 0);
    ASSERT_EQ(engine.Finish(), 0);
    EXPECT_EQ(engine.Requests(),
              std::vector<Image>{WithEmptyTail(
                  {0x34, 0, 0, 0, 142, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})});
}

// The queued records of a commit are the wire records of each write in call
// order; a second commit carries only the writes made after the first.
TEST(DataStep, EachCommitCarriesExactlyTheWritesQueuedSinceTheLast) {
    apitest::AttachAsRunning();
    std::vector<std::string> replies = StepWithDataset();
    replies.insert(replies.end(), {"", ""});
    ScriptedEngine engine(replies);
    ASSERT_EQ(StartDataStep(), 0);
    ASSERT_EQ(CreateDataset("d", false, false), 0);
    ASSERT_EQ(SetNCellValue("d", 1, 0, 2.5), 0);
    ASSERT_EQ(SetCCellValue("d", 4, 0, "xy"), 0);
    ASSERT_EQ(CommitDataSet(), 0);
    ASSERT_EQ(SetNCellValue("d", 3, 0, -1.0), 0);
    ASSERT_EQ(CommitDataSet(), 0);
    ASSERT_EQ(engine.Finish(), 0);
    const std::vector<Image> requests = engine.Requests();
    ASSERT_EQ(requests.size(), 10u);
    // The struct block: its count, then per record the name, row, variable,
    // type, double and text, little-endian.
    auto block = [](const std::vector<std::tuple<int, int, double, std::string>>& records) {
        Image out;
        auto i32 = [&out](std::uint32_t value) {
            for (int shift = 0; shift < 32; shift += 8)
                out.push_back(static_cast<unsigned char>(value >> shift));
        };
        i32(static_cast<std::uint32_t>(records.size()));
        for (const auto& [row, type, number, text] : records) {
            i32(1);
            out.push_back('d');
            i32(static_cast<std::uint32_t>(row));
            i32(0);
            i32(static_cast<std::uint32_t>(type));
            std::uint64_t bits = 0;
            std::memcpy(&bits, &number, sizeof bits);
            i32(static_cast<std::uint32_t>(bits));
            i32(static_cast<std::uint32_t>(bits >> 32));
            i32(static_cast<std::uint32_t>(text.size()));
            out.insert(out.end(), text.begin(), text.end());
        }
        return out;
    };
    const Image first = block({{1, 0, 2.5, ""}, {4, 1, 0.0, "xy"}});
    ASSERT_EQ(requests[8].size(), 52 + first.size() - 4);
    EXPECT_EQ(Image(requests[8].begin() + 24, requests[8].begin() + 24 + first.size()), first);
    const Image second = block({{3, 0, -1.0, ""}});
    ASSERT_EQ(requests[9].size(), 52 + second.size() - 4);
    EXPECT_EQ(Image(requests[9].begin() + 24, requests[9].begin() + 24 + second.size()), second);
}

// Every call reuses its thread's messages: a reply with fewer values than the
// one before it must not be read with the earlier reply's leftovers.
TEST(CallFrameReuse, AShorterReplyIsNotPaddedWithTheLastOnesValues) {
    apitest::AttachAsRunning();
    ScriptedEngine engine({"int=7,9", "int=5", "int=6,8"});
    int first = 0, second = 0;
    EXPECT_EQ(GetXDriveMode(&first, &second), 0);
    EXPECT_EQ(first, 7);
    EXPECT_EQ(second, 9);
    first = -1;
    second = -2;
    EXPECT_EQ(GetXDriveMode(&first, &second), VEXA_MALFORMED_MESSAGE);
    EXPECT_EQ(first, -1);
    EXPECT_EQ(second, -2);
    EXPECT_EQ(GetXDriveMode(&first, &second), 0);
    EXPECT_EQ(first, 6);
    EXPECT_EQ(second, 8);
    ASSERT_EQ(engine.Finish(), 0);
    // The requests are fresh too: each the bare 52-byte image of its command.
    for (const Image& request : engine.Requests()) EXPECT_EQ(request.size(), 52u);
}
