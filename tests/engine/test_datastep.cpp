// The data step through the command table: when a step may start and end,
// the datasets made in it, and the batches of cells command 221 answers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "codec/protocol.h"
#include "enginecodes.h"
#include "enginereplies.h"
#include "runtime/statuscodes.h"

namespace {

using enginetest::Call;
using enginetest::Values;

constexpr std::size_t kRows = 10000;

class DataStep : public enginetest::EngineReplies {
  protected:
    void SetUp() override {
        engine::Dataset big("big");
        engine::Variable number("x", "", 0);
        number.properties = engine::DefaultProperties(0);
        number.properties.missing.format = 1;
        number.properties.missing.numbers = {-1.0, 0.0, 0.0};
        big.AddVariable(number);
        big.AddVariable(engine::Variable("code", "", 6));
        for (std::size_t r = 0; r < kRows; ++r) {
            // Row 7 has no value, row 8 a user-missing one.
            double value = r == 7   ? engine::kSystemMissing
                           : r == 8 ? -1.0
                                    : static_cast<double>(r) * 0.5;
            big.AddCase({value, std::string("r").append(std::to_string(r))});
        }
        state.active = std::move(big);
    }

    int Fetch(const std::string& dataset, std::int32_t row) {
        return Dispatch(Call(cmd::kFetchDatastep).Text(dataset).Int(0).Int(row).request);
    }
    // The reply as a receiver decodes its wire image, value by value.
    CleXDSmb Received() const {
        std::size_t size = 0;
        EXPECT_EQ(reply.EncodedSize(size), VEXA_OK);
        std::vector<unsigned char> image(size);
        EXPECT_EQ(reply.EncodeInto(image.data(), size), VEXA_OK);
        CleXDSmb decoded;
        EXPECT_EQ(decoded.ParseBuf(image.data(), size), VEXA_OK);
        return decoded;
    }
};

TEST_F(DataStep, StartsOnceAndNotDuringAProcedure) {
    EXPECT_EQ(Ask(cmd::kEndDataStep), engine::kNoDataStep);
    ASSERT_EQ(Ask(cmd::kStartDataStep), VEXA_OK);
    EXPECT_EQ(Ask(cmd::kStartDataStep), engine::kDataStepOpen);
    ASSERT_EQ(Ask(cmd::kEndDataStep), VEXA_OK);
    EXPECT_EQ(Ask(cmd::kEndDataStep), engine::kNoDataStep);

    ASSERT_EQ(Ask(cmd::kStartProcedure, {"FREQ"}), VEXA_OK);
    EXPECT_EQ(Ask(cmd::kStartDataStep), engine::kDataStepOpen);
}

TEST_F(DataStep, ListsTheDatasetsOfTheOpenStepWhichOutliveIt) {
    ASSERT_EQ(Ask(cmd::kCreateDataset, Values({"before"}, {0, 0})), VEXA_OK);
    ASSERT_EQ(Ask(cmd::kStartDataStep), VEXA_OK);
    ASSERT_EQ(Ask(cmd::kCreateDataset, Values({"during"}, {0, 1})), VEXA_OK);
    ASSERT_EQ(Ask(cmd::kCopyDataset, {"big", "copied"}), VEXA_OK);
    ASSERT_EQ(Ask(cmd::kGetDatastepDatasets), VEXA_OK);
    EXPECT_EQ(ReplyStrings(), (std::vector<std::string>{"during", "copied"}));
    ASSERT_EQ(Ask(cmd::kEndDataStep), VEXA_OK);

    ASSERT_EQ(Ask(cmd::kGetDatastepDatasets), VEXA_OK);
    EXPECT_EQ(ReplyStrings(), std::vector<std::string>());
    ASSERT_EQ(Ask(cmd::kGetVexaDatasets), VEXA_OK);
    EXPECT_EQ(ReplyStrings(), (std::vector<std::string>{"big", "before", "during", "copied"}));
}

TEST_F(DataStep, ABatchHolds4096RowsFromTheOneAsked) {
    ASSERT_EQ(Fetch("*", 5), VEXA_OK);
    const std::vector<std::int32_t> ints = ReplyInts();
    // [first row, variable count, the types, last row, case count]
    EXPECT_EQ(ints,
              (std::vector<std::int32_t>{5, 2, 0, 6, 4100, static_cast<std::int32_t>(kRows)}));
    const CleXDSmb received = Received();
    ASSERT_EQ(received.GetLongArrayRef().size(), 1u);
    ASSERT_EQ(received.GetDoubleArrayRef().size(), 1u);
    ASSERT_EQ(received.GetStringArrayRef().size(), 1u);
    const LongData& flags = received.GetLongArrayRef()[0];
    const DoubleData& numbers = received.GetDoubleArrayRef()[0];
    const StringData& texts = received.GetStringArrayRef()[0];
    ASSERT_EQ(flags.Size(), 8192);
    ASSERT_EQ(numbers.Size(), 8192);
    ASSERT_EQ(texts.Size(), 8192);
    // Cell (r, v) at (r - first row) * variable count + v.
    auto at = [](std::int32_t r, std::int32_t v) { return (r - 5) * 2 + v; };
    EXPECT_EQ(numbers[at(6, 0)], 3.0);
    EXPECT_EQ(flags[at(6, 0)], 0);
    EXPECT_EQ(texts[at(6, 0)], "");
    EXPECT_EQ(texts[at(6, 1)], "r6");
    EXPECT_EQ(numbers[at(6, 1)], 0.0);
    EXPECT_EQ(flags[at(7, 0)], 2);
    EXPECT_EQ(flags[at(8, 0)], 1);
    EXPECT_EQ(texts[at(4100, 1)], "r4100");
}

TEST_F(DataStep, TheLastBatchStopsAtTheLastRow) {
    ASSERT_EQ(Fetch("big", 9900), VEXA_OK);
    const std::vector<std::int32_t> ints = ReplyInts();
    ASSERT_EQ(ints.size(), 6u);
    EXPECT_EQ(ints[0], 9900);
    EXPECT_EQ(ints[4], 9999);
    const CleXDSmb received = Received();
    EXPECT_EQ(received.GetStringArrayRef()[0].Size(), 200);
    EXPECT_EQ(received.GetStringArrayRef()[0][199], "r9999");

    EXPECT_EQ(Fetch("big", 10000), engine::kNoSuchRow);
    EXPECT_EQ(Fetch("big", -1), engine::kNoSuchRow);
    EXPECT_EQ(Fetch("none", 0), engine::kNoSuchDataset);
    ASSERT_EQ(Ask(cmd::kCreateDataset, Values({"empty"}, {0, 0})), VEXA_OK);
    EXPECT_EQ(Fetch("empty", 0), engine::kNoSuchRow);
    EXPECT_EQ(Dispatch(Call(cmd::kFetchDatastep).Text("big").Int(0).request),
              VEXA_MALFORMED_MESSAGE);
}

TEST_F(DataStep, AWideDatasetGetsFewerRowsPerBatch) {
    engine::Dataset wide("wide");
    constexpr std::size_t kVariables = 2048;
    for (std::size_t v = 0; v < kVariables; ++v) {
        wide.AddVariable(engine::Variable(std::string("v").append(std::to_string(v)), "", 0));
    }
    const std::vector<engine::CellValue> values(kVariables, engine::CellValue(1.0));
    for (int r = 0; r < 600; ++r) wide.AddCase(values);
    state.active = std::move(wide);
    ASSERT_EQ(Fetch("*", 0), VEXA_OK);
    // 1048576 cells / 2048 variables = 512 rows.
    EXPECT_EQ(ReplyInts().at(kVariables + 2), 511);
    EXPECT_EQ(reply.GetDoubleArrayRef()[0].Size(), static_cast<std::int32_t>(512 * kVariables));
}

TEST_F(DataStep, CommittedCellsShowInTheNextBatch) {
    ASSERT_EQ(Ask(cmd::kStartDataStep), VEXA_OK);
    Call commit(cmd::kCommitDataSet);
    commit.request.SetStruct(dataSet{"big", 10, 0, 0, 99.0, ""});
    commit.request.SetStruct(dataSet{"big", 10, 1, 1, 0.0, "new"});
    ASSERT_EQ(Dispatch(commit.request), VEXA_OK);
    ASSERT_EQ(Fetch("big", 10), VEXA_OK);
    EXPECT_EQ(reply.GetDoubleArrayRef()[0][0], 99.0);
    EXPECT_EQ(Received().GetStringArrayRef()[0][1], "new");
}

}  // namespace
