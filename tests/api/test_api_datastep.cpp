#include <gtest/gtest.h>

#include <sstream>
#include <string>
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
    return image[offset] | image[offset + 1] << 8 | image[offset + 2] << 16 | image[offset + 3] << 24;
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
    const Image fetch = WithEmptyTail({0x41, 0, 0, 0, 221, 0, 0, 0, 0, 0, 0, 0,  // T 65, command 221
                                       2, 0, 0, 0, 0, 0, 0, 0, 10, 0, 0, 0,     // [no batch of d, row 10]
                                       0, 0, 0, 0,
                                       1, 0, 0, 0, 1, 0, 0, 0, 'd'});
    EXPECT_EQ(engine.Requests(), std::vector<Image>{fetch});
}

TEST(DatastepBatch, TheFetchFlagSaysWhetherTheHeldBatchIsOfTheSameDataset) {
    apitest::AttachAsRunning();
    ScriptedEngine engine({BatchReply(0, 9, {0}, 0), BatchReply(0, 9, {0}, 0), BatchReply(0, 9, {0}, 0),
                           BatchReply(10, 19, {0}, 0), BatchReply(10, 19, {0}, 0)});
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
    EXPECT_EQ(fetches, (std::vector<std::pair<int, int>>{{0, 5}, {0, 5}, {0, 5}, {1, 15}, {0, 15}}));
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
    EXPECT_EQ(Commands(requests), (std::vector<int>{132, 134, 180, 148, 239, 148, 153, 240, 228, 221}));
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
    EXPECT_EQ(Commands(engine.Requests()), (std::vector<int>{132, 134, 180, 148, 239, 148, 153, 240, 228, 133}));
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
    EXPECT_EQ(Commands(engine.Requests()), (std::vector<int>{132, 134, 180, 148, 239, 148, 153, 240, 228}));
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
    EXPECT_EQ(engine.Requests(), std::vector<Image>{WithEmptyTail({0x34, 0, 0, 0, 142, 0, 0, 0, 0, 0, 0, 0,
                                                                   0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})});
}
