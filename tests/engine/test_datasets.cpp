// Named datasets through the command table: their lifecycle, cases and
// variables, committed cells, whole cases in the case layout, and the
// dictionary questions and setters that name a dataset.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "codec/protocol.h"
#include "enginecodes.h"
#include "enginereplies.h"
#include "runtime/statuscodes.h"

namespace {

using enginetest::Call;
using enginetest::Values;
using Bytes = std::vector<unsigned char>;

class Datasets : public enginetest::EngineReplies {
  protected:
    void SetUp() override {
        engine::Dataset main("main");
        main.AddVariable(engine::Variable("num", "a number", 0));
        main.AddVariable(engine::Variable("txt", "a text", 10));
        main.AddCase({1.5, std::string("abc")});
        main.AddCase({engine::kSystemMissing, std::string("")});
        main.AddCase({-2.0, std::string("0123456789")});
        state.active = std::move(main);
    }

    std::vector<std::string> Names(int code) {
        EXPECT_EQ(Ask(code), VEXA_OK);
        return ReplyStrings();
    }

    int Commit(const std::vector<dataSet>& records) {
        Call call(cmd::kCommitDataSet);
        call.request.SetStruct(records);
        return Dispatch(call.request);
    }

    static dataSet Numeric(const std::string& ds, int row, int var, double value) {
        return dataSet{ds, row, var, 0, value, ""};
    }
    static dataSet Text(const std::string& ds, int row, int var, const std::string& value) {
        return dataSet{ds, row, var, 1, 0.0, value};
    }
};

TEST_F(Datasets, CreateListActivateRenameAndClose) {
    EXPECT_EQ(Ask(cmd::kGetActive), VEXA_OK);
    EXPECT_EQ(ReplyStrings(), std::vector<std::string>{"main"});

    ASSERT_EQ(Ask(cmd::kCreateDataset, Values({"extra"}, {1, 0})), VEXA_OK);
    EXPECT_EQ(Ask(cmd::kCreateDataset, Values({"extra"}, {0, 0})), engine::kDatasetNameTaken);
    EXPECT_EQ(Ask(cmd::kCreateDataset, Values({"main"}, {0, 0})), engine::kDatasetNameTaken);
    // The active dataset is there already: opened, nothing made.
    EXPECT_EQ(Ask(cmd::kCreateDataset, Values({"*"}, {0, 0})), VEXA_OK);
    EXPECT_EQ(Ask(cmd::kCreateDataset, Values({""}, {0, 0})), VEXA_OK);
    EXPECT_EQ(Names(cmd::kGetVexaDatasets), (std::vector<std::string>{"main", "extra"}));
    EXPECT_EQ(Names(cmd::kGetOpenedVexaDatasets), std::vector<std::string>{"extra"});

    ASSERT_EQ(Ask(cmd::kSetActive, {"extra"}), VEXA_OK);
    EXPECT_EQ(Names(cmd::kGetActive), std::vector<std::string>{"extra"});
    EXPECT_EQ(state.active.VariableCount(), 0u);
    EXPECT_EQ(Names(cmd::kGetVexaDatasets), (std::vector<std::string>{"extra", "main"}));
    // The engine always has an active dataset.
    EXPECT_EQ(Ask(cmd::kCloseDataset, {"extra"}), engine::kActiveDatasetNotClosable);
    EXPECT_EQ(Ask(cmd::kCloseDataset, {"*"}), engine::kActiveDatasetNotClosable);

    ASSERT_EQ(Ask(cmd::kSetDatasetName, {"extra", "renamed"}), VEXA_OK);
    EXPECT_EQ(Names(cmd::kGetActive), std::vector<std::string>{"renamed"});
    EXPECT_EQ(Names(cmd::kGetOpenedVexaDatasets), std::vector<std::string>{"renamed"});
    EXPECT_EQ(Ask(cmd::kSetDatasetName, {"gone", "x"}), engine::kNoSuchDataset);
    EXPECT_EQ(Ask(cmd::kSetDatasetName, {"renamed", "main"}), engine::kDatasetNameTaken);

    ASSERT_EQ(Ask(cmd::kSetActive, {"main"}), VEXA_OK);
    ASSERT_EQ(Ask(cmd::kCloseDataset, {"renamed"}), VEXA_OK);
    EXPECT_EQ(Ask(cmd::kCloseDataset, {"renamed"}), engine::kNoSuchDataset);
    EXPECT_EQ(Names(cmd::kGetVexaDatasets), std::vector<std::string>{"main"});
    EXPECT_EQ(Names(cmd::kGetOpenedVexaDatasets), std::vector<std::string>());
}

TEST_F(Datasets, NewNameIsOneNoDatasetHas) {
    EXPECT_EQ(Names(cmd::kGetNewDatasetName), std::vector<std::string>{"DataSet1"});
    ASSERT_EQ(Ask(cmd::kCreateDataset, Values({"DataSet1"}, {0, 0})), VEXA_OK);
    EXPECT_EQ(Names(cmd::kGetNewDatasetName), std::vector<std::string>{"DataSet2"});
}

TEST_F(Datasets, CopyIsIndependentOfItsSource) {
    ASSERT_EQ(Ask(cmd::kCopyDataset, {"*", "copy"}), VEXA_OK);
    EXPECT_EQ(Ask(cmd::kCopyDataset, {"nothing", "other"}), engine::kNoSuchDataset);
    ASSERT_EQ(Ask(cmd::kStartDataStep), VEXA_OK);
    ASSERT_EQ(Commit({Numeric("copy", 0, 0, 42.0)}), VEXA_OK);
    ASSERT_EQ(Ask(cmd::kGetNCellValue, {0, 0}, {"copy"}), VEXA_OK);
    EXPECT_EQ(ReplyDoubles(), std::vector<double>{42.0});
    ASSERT_EQ(Ask(cmd::kGetNCellValue, {0, 0}, {"main"}), VEXA_OK);
    EXPECT_EQ(ReplyDoubles(), std::vector<double>{1.5});
}

TEST_F(Datasets, CasesAndVariablesAreInsertedAndDeleted) {
    ASSERT_EQ(Ask(cmd::kInsertCase, {3}, {"*"}), VEXA_OK);  // at the end
    EXPECT_EQ(Ask(cmd::kInsertCase, {5}, {"*"}), engine::kNoSuchRow);
    EXPECT_EQ(Ask(cmd::kInsertCase, {-1}, {"*"}), engine::kNoSuchRow);
    ASSERT_EQ(Ask(cmd::kInsertCase, {0}, {"main"}), VEXA_OK);
    ASSERT_EQ(state.active.CaseCount(), 5u);
    EXPECT_EQ(std::get<double>(state.active.cell(0, 0)), engine::kSystemMissing);
    EXPECT_EQ(std::get<double>(state.active.cell(1, 0)), 1.5);
    ASSERT_EQ(Ask(cmd::kDeleteCase, {0}, {"*"}), VEXA_OK);
    EXPECT_EQ(Ask(cmd::kDeleteCase, {4}, {"*"}), engine::kNoSuchRow);
    EXPECT_EQ(state.active.CaseCount(), 4u);

    ASSERT_EQ(Dispatch(Call(cmd::kInsertVariable).Text("*").Int(1).Text("mid").Int(4).request),
              VEXA_OK);
    ASSERT_EQ(state.active.VariableCount(), 3u);
    EXPECT_EQ(state.active.variable(1).name, "mid");
    EXPECT_EQ(std::get<std::string>(state.active.cell(0, 1)), "");
    EXPECT_EQ(std::get<std::string>(state.active.cell(0, 2)), "abc");
    EXPECT_EQ(Dispatch(Call(cmd::kInsertVariable).Text("*").Int(0).Text("mid").Int(0).request),
              engine::kVariableNameTaken);
    EXPECT_EQ(Dispatch(Call(cmd::kInsertVariable).Text("*").Int(0).Text("1bad").Int(0).request),
              engine::kBadNewVariableName);
    EXPECT_EQ(Dispatch(Call(cmd::kInsertVariable).Text("*").Int(0).Text("ok").Int(-1).request),
              engine::kBadNewVariableType);
    EXPECT_EQ(Dispatch(Call(cmd::kInsertVariable).Text("*").Int(4).Text("ok").Int(0).request),
              engine::kNoSuchItem);

    ASSERT_EQ(Ask(cmd::kDeleteVariable, {0}, {"*"}), VEXA_OK);
    EXPECT_EQ(state.active.variable(0).name, "mid");
    EXPECT_EQ(Ask(cmd::kDeleteVariable, {2}, {"*"}), engine::kNoSuchItem);
}

TEST_F(Datasets, SetTypeCutsTextAndEmptiesAChangeOfKind) {
    ASSERT_EQ(Ask(cmd::kSetVarTypeInDS, {1, 3}, {"*"}), VEXA_OK);
    EXPECT_EQ(std::get<std::string>(state.active.cell(2, 1)), "012");
    EXPECT_EQ(state.active.variable(1).properties.format.width, 3);
    ASSERT_EQ(Ask(cmd::kSetVarTypeInDS, {0, 8}, {"*"}), VEXA_OK);
    EXPECT_EQ(std::get<std::string>(state.active.cell(0, 0)), "");
    EXPECT_EQ(state.active.variable(0).properties.format.Text(), "A8");
    EXPECT_EQ(Ask(cmd::kSetVarTypeInDS, {0, 40000}, {"*"}), engine::kBadNewVariableType);
}

TEST_F(Datasets, TheActiveDatasetKeepsItsShapeWhileAProcedureReadsIt) {
    ASSERT_EQ(Ask(cmd::kCreateDataset, Values({"other"}, {0, 0})), VEXA_OK);
    ASSERT_EQ(Ask(cmd::kStartProcedure, {"FREQ"}), VEXA_OK);
    EXPECT_EQ(Ask(cmd::kInsertCase, {0}, {"*"}), engine::kActiveDatasetInUse);
    EXPECT_EQ(Ask(cmd::kDeleteVariable, {0}, {"main"}), engine::kActiveDatasetInUse);
    EXPECT_EQ(Ask(cmd::kSetActive, {"other"}), engine::kActiveDatasetInUse);
    EXPECT_EQ(state.active.CaseCount(), 3u);
    // Another dataset may change.
    EXPECT_EQ(Dispatch(Call(cmd::kInsertVariable).Text("other").Int(0).Text("v").Int(0).request),
              VEXA_OK);
}

TEST_F(Datasets, CommittedCellsAreAllOrNothing) {
    EXPECT_EQ(Commit({Numeric("*", 0, 0, 7.0)}), engine::kNoDataStep);
    ASSERT_EQ(Ask(cmd::kStartDataStep), VEXA_OK);
    // The second record writes text into a number: the first is not applied either.
    EXPECT_EQ(Commit({Numeric("main", 0, 0, 7.0), Text("main", 1, 0, "x")}),
              engine::kWrongValueType);
    EXPECT_EQ(Commit({Numeric("main", 3, 0, 7.0)}), engine::kNoSuchRow);
    EXPECT_EQ(Commit({Numeric("main", 0, 2, 7.0)}), engine::kNoSuchItem);
    EXPECT_EQ(Commit({Numeric("nowhere", 0, 0, 7.0)}), engine::kNoSuchDataset);
    EXPECT_EQ(Commit({dataSet{"main", 0, 0, 5, 7.0, ""}}), engine::kWrongValueType);
    EXPECT_EQ(std::get<double>(state.active.cell(0, 0)), 1.5);

    ASSERT_EQ(Commit({Numeric("main", 0, 0, 7.0), Text("*", 1, 1, "longer than ten")}), VEXA_OK);
    ASSERT_EQ(Ask(cmd::kGetNCellValue, {0, 0}, {"main"}), VEXA_OK);
    EXPECT_EQ(ReplyInts(), std::vector<std::int32_t>{0});
    EXPECT_EQ(ReplyDoubles(), std::vector<double>{7.0});
    ASSERT_EQ(Ask(cmd::kGetCCellValue, {1, 1}, {"main"}), VEXA_OK);
    EXPECT_EQ(ReplyStrings(), std::vector<std::string>{"longer tha"});
}

TEST_F(Datasets, CellReadsGiveTheMissingFlagAndRefuseTheOtherType) {
    ASSERT_EQ(Ask(cmd::kGetNCellValue, {1, 0}, {"*"}), VEXA_OK);
    EXPECT_EQ(ReplyInts(), std::vector<std::int32_t>{2});
    EXPECT_EQ(Ask(cmd::kGetNCellValue, {1, 1}, {"*"}), engine::kWrongValueType);
    EXPECT_EQ(Ask(cmd::kGetCCellValue, {1, 0}, {"*"}), engine::kWrongValueType);
    EXPECT_EQ(Ask(cmd::kGetCCellValue, {3, 1}, {"*"}), engine::kNoSuchRow);
    EXPECT_EQ(Ask(cmd::kGetCCellValue, {0, 1}), VEXA_MALFORMED_MESSAGE);
}

// num = 1.5, txt = "abc" over two blank-padded cells.
const Bytes kFirstCase = {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF8, 0x3F, 'a', 'b', 'c', ' ',
                          ' ',  ' ',  ' ',  ' ',  ' ',  ' ',  ' ',  ' ',  ' ', ' ', ' ', ' '};

TEST_F(Datasets, WholeCasesTravelInTheCaseLayout) {
    ASSERT_EQ(Ask(cmd::kGetCaseLength, {"*"}), VEXA_OK);
    EXPECT_EQ(ReplyInts(), std::vector<std::int32_t>{24});
    ASSERT_EQ(Ask(cmd::kGetVarObsIndex, {1}, {"*"}), VEXA_OK);
    EXPECT_EQ(ReplyInts(), std::vector<std::int32_t>{1});

    ASSERT_EQ(Ask(cmd::kGetCaseValue, {0, 1}, {"main"}), VEXA_OK);
    std::int32_t length = 0;
    const auto* data = static_cast<const unsigned char*>(reply.GetVoidData(length));
    ASSERT_EQ(length, 24);
    EXPECT_EQ(Bytes(data, data + length), kFirstCase);
    EXPECT_EQ(Ask(cmd::kGetCaseValue, {3, 1}, {"main"}), engine::kNoSuchRow);

    Call whole(cmd::kSetCaseValue);
    whole.Text("main").Int(2).Int(0);
    whole.request.AllocVoidData(24);
    whole.request.SaveDataIntoVoidData(kFirstCase.data(), 24);
    ASSERT_EQ(Dispatch(whole.request), VEXA_OK);
    EXPECT_EQ(std::get<double>(state.active.cell(2, 0)), 1.5);
    EXPECT_EQ(std::get<std::string>(state.active.cell(2, 1)), "abc");
}

TEST_F(Datasets, APartListWritesOnlyTheVariablesItNames) {
    // [row, count, obs index 1, obs length 2, flag]: only txt.
    Call part(cmd::kSetCasePartValue);
    part.Text("main").Int(1).Int(1).Int(1).Int(2).Int(1);
    part.request.AllocVoidData(24);
    part.request.SaveDataIntoVoidData(kFirstCase.data(), 24);
    ASSERT_EQ(Dispatch(part.request), VEXA_OK);
    EXPECT_EQ(std::get<double>(state.active.cell(1, 0)), engine::kSystemMissing);
    EXPECT_EQ(std::get<std::string>(state.active.cell(1, 1)), "abc");

    // A pair that is no variable's, and a block of the wrong size.
    Call wrongPair(cmd::kSetCasePartValue);
    wrongPair.Text("main").Int(1).Int(1).Int(1).Int(1).Int(1);
    wrongPair.request.AllocVoidData(24);
    wrongPair.request.SaveDataIntoVoidData(kFirstCase.data(), 24);
    EXPECT_EQ(Dispatch(wrongPair.request), engine::kBadCaseData);
    Call shortCase(cmd::kSetCaseValue);
    shortCase.Text("main").Int(1).Int(1);
    shortCase.request.AllocVoidData(16);
    shortCase.request.SaveDataIntoVoidData(kFirstCase.data(), 16);
    EXPECT_EQ(Dispatch(shortCase.request), engine::kBadCaseData);
    EXPECT_EQ(std::get<std::string>(state.active.cell(1, 1)), "abc");
}

TEST_F(Datasets, DictionaryQuestionsNameTheirDataset) {
    ASSERT_EQ(Ask(cmd::kCreateDataset, Values({"side"}, {0, 0})), VEXA_OK);
    ASSERT_EQ(Dispatch(Call(cmd::kInsertVariable).Text("side").Int(0).Text("s").Int(12).request),
              VEXA_OK);
    ASSERT_EQ(Ask(cmd::kGetVarCountInDS, {"side"}), VEXA_OK);
    EXPECT_EQ(ReplyInts(), std::vector<std::int32_t>{1});
    ASSERT_EQ(Ask(cmd::kGetCaseCountInDS, {"*"}), VEXA_OK);
    EXPECT_EQ(ReplyInts(), std::vector<std::int32_t>{3});
    ASSERT_EQ(Ask(cmd::kGetVarNameInDS, {0}, {"side"}), VEXA_OK);
    EXPECT_EQ(ReplyStrings(), std::vector<std::string>{"s"});
    ASSERT_EQ(Ask(cmd::kGetVarTypeInDS, {0}, {"side"}), VEXA_OK);
    EXPECT_EQ(ReplyInts(), std::vector<std::int32_t>{12});
    ASSERT_EQ(Ask(cmd::kGetVarMeasurementLevelInDS, {0}, {"side"}), VEXA_OK);
    EXPECT_EQ(ReplyStrings(), std::vector<std::string>{"nominal"});
    ASSERT_EQ(Ask(cmd::kGetVarAlignmentInDS, {0}, {"side"}), VEXA_OK);
    EXPECT_EQ(ReplyInts(), std::vector<std::int32_t>{engine::kAlignLeft});
    EXPECT_EQ(Ask(cmd::kGetVarNameInDS, {1}, {"side"}), engine::kNoSuchItem);
    EXPECT_EQ(Ask(cmd::kGetVarNameInDS, {0}, {"absent"}), engine::kNoSuchDataset);
}

TEST_F(Datasets, VariablePropertySettersRoundTrip) {
    auto set = [&](const Call& call) { return Dispatch(call.request); };
    EXPECT_EQ(set(Call(cmd::kSetVarNameInDS).Text("*").Int(0).Text("amount")), VEXA_OK);
    EXPECT_EQ(set(Call(cmd::kSetVarNameInDS).Text("*").Int(0).Text("txt")),
              engine::kVariableNameTaken);
    EXPECT_EQ(set(Call(cmd::kSetVarLabelInDS).Text("*").Int(0).Text("Amount paid")), VEXA_OK);
    EXPECT_EQ(set(Call(cmd::kSetVarFormatInDS).Text("*").Int(0).Int(5).Int(10).Int(3)), VEXA_OK);
    EXPECT_EQ(set(Call(cmd::kSetVarFormatInDS).Text("*").Int(0).Int(1).Int(10).Int(0)),
              engine::kBadPropertyCode);
    EXPECT_EQ(set(Call(cmd::kSetVarMeasurementLevelInDS).Text("*").Int(0).Text("Ordinal")),
              VEXA_OK);
    EXPECT_EQ(set(Call(cmd::kSetVarMeasurementLevelInDS).Text("*").Int(0).Text("loud")),
              engine::kBadPropertyCode);
    EXPECT_EQ(set(Call(cmd::kSetVarRoleInDS).Text("*").Int(0).Int(engine::kRoleTarget)), VEXA_OK);
    EXPECT_EQ(set(Call(cmd::kSetVarRoleInDS).Text("*").Int(0).Int(6)), engine::kBadPropertyCode);
    EXPECT_EQ(set(Call(cmd::kSetVarAlignmentInDS).Text("*").Int(0).Int(engine::kAlignCenter)),
              VEXA_OK);
    EXPECT_EQ(set(Call(cmd::kSetVarColumnWidthInDS).Text("*").Int(0).Int(14)), VEXA_OK);
    EXPECT_EQ(set(Call(cmd::kSetVarColumnWidthInDS).Text("*").Int(0).Int(-1)),
              engine::kBadPropertyCode);

    ASSERT_EQ(Ask(cmd::kGetVarNameInDS, {0}, {"*"}), VEXA_OK);
    EXPECT_EQ(ReplyStrings(), std::vector<std::string>{"amount"});
    ASSERT_EQ(Ask(cmd::kGetVarLabelInDS, {0}, {"*"}), VEXA_OK);
    EXPECT_EQ(ReplyStrings(), std::vector<std::string>{"Amount paid"});
    ASSERT_EQ(Ask(cmd::kGetVarFormatInDS, {0}, {"*"}), VEXA_OK);
    EXPECT_EQ(ReplyStrings(), std::vector<std::string>{"F10.3"});
    ASSERT_EQ(Ask(cmd::kGetVarMeasurementLevelInDS, {0}, {"*"}), VEXA_OK);
    EXPECT_EQ(ReplyStrings(), std::vector<std::string>{"ordinal"});
    ASSERT_EQ(Ask(cmd::kGetVarRoleInDS, {0}, {"*"}), VEXA_OK);
    EXPECT_EQ(ReplyInts(), std::vector<std::int32_t>{engine::kRoleTarget});
    ASSERT_EQ(Ask(cmd::kGetVarColumnWidthInDS, {0}, {"*"}), VEXA_OK);
    EXPECT_EQ(ReplyInts(), std::vector<std::int32_t>{14});
}

TEST_F(Datasets, MissingValuesAreCheckedAndReadBack) {
    auto set = [&](const Call& call) { return Dispatch(call.request); };
    EXPECT_EQ(set(Call(cmd::kSetVarNMissingValuesInDS)
                      .Text("*")
                      .Int(0)
                      .Int(-3)
                      .Number(1)
                      .Number(5)
                      .Number(9)),
              VEXA_OK);
    EXPECT_EQ(set(Call(cmd::kSetVarNMissingValuesInDS)
                      .Text("*")
                      .Int(0)
                      .Int(-2)
                      .Number(5)
                      .Number(1)
                      .Number(0)),
              engine::kBadMissingValues);
    EXPECT_EQ(set(Call(cmd::kSetVarNMissingValuesInDS)
                      .Text("*")
                      .Int(1)
                      .Int(1)
                      .Number(1)
                      .Number(0)
                      .Number(0)),
              engine::kWrongValueType);
    ASSERT_EQ(Ask(cmd::kGetVarNMissingValuesInDS, {0}, {"*"}), VEXA_OK);
    EXPECT_EQ(ReplyInts(), std::vector<std::int32_t>{-3});
    EXPECT_EQ(ReplyDoubles(), (std::vector<double>{1, 5, 9}));

    // Format 1 with a single value: the null ones were not sent.
    EXPECT_EQ(set(Call(cmd::kSetVarCMissingValuesInDS).Text("*").Int(1).Int(1).Text("NA")),
              VEXA_OK);
    EXPECT_EQ(set(Call(cmd::kSetVarCMissingValuesInDS).Text("*").Int(1).Int(2).Text("NA")),
              engine::kBadMissingValues);
    EXPECT_EQ(set(Call(cmd::kSetVarCMissingValuesInDS).Text("*").Int(1).Int(1).Text("ninebytes")),
              engine::kBadMissingValues);
    EXPECT_EQ(
        set(Call(cmd::kSetVarCMissingValuesInDS).Text("*").Int(1).Int(-2).Text("A").Text("B")),
        engine::kBadMissingValues);
    ASSERT_EQ(Ask(cmd::kGetVarCMissingValuesInDS, {1}, {"*"}), VEXA_OK);
    EXPECT_EQ(ReplyInts(), std::vector<std::int32_t>{1});
    EXPECT_EQ(ReplyStrings(), (std::vector<std::string>{"NA      ", "        ", "        "}));
    // The batch's missing flag follows the new definition.
    state.active.SetCell(0, 1, std::string("NA"));
    ASSERT_EQ(Ask(cmd::kGetCCellValue, {0, 1}, {"*"}), VEXA_OK);
    EXPECT_EQ(ReplyInts(), std::vector<std::int32_t>{1});
}

TEST_F(Datasets, ValueLabelsAttributesAndSetsAreSetAndDeleted) {
    auto set = [&](const Call& call) { return Dispatch(call.request); };
    ASSERT_EQ(set(Call(cmd::kSetVarNValueLabelInDS).Text("*").Int(0).Number(1).Text("one")),
              VEXA_OK);
    ASSERT_EQ(set(Call(cmd::kSetVarNValueLabelInDS).Text("*").Int(0).Number(2).Text("two")),
              VEXA_OK);
    EXPECT_EQ(set(Call(cmd::kSetVarNValueLabelInDS).Text("*").Int(1).Number(2).Text("two")),
              engine::kWrongValueType);
    ASSERT_EQ(set(Call(cmd::kDelVarNValueLabelInDS).Text("*").Int(0).Number(1)), VEXA_OK);
    ASSERT_EQ(Ask(cmd::kGetVarNValueLabelInDS, {0}, {"*"}), VEXA_OK);
    EXPECT_EQ(ReplyInts(), std::vector<std::int32_t>{1});
    EXPECT_EQ(ReplyDoubles(), std::vector<double>{2});
    EXPECT_EQ(ReplyStrings(), std::vector<std::string>{"two"});
    ASSERT_EQ(set(Call(cmd::kSetVarCValueLabelInDS).Text("*").Int(1).Text("a").Text("letter a")),
              VEXA_OK);
    ASSERT_EQ(set(Call(cmd::kDelVarValueLabelInDS).Text("*").Int(1)), VEXA_OK);
    ASSERT_EQ(Ask(cmd::kGetVarCValueLabelInDS, {1}, {"*"}), VEXA_OK);
    EXPECT_EQ(ReplyInts(), std::vector<std::int32_t>{0});

    Call attribute(cmd::kSetVarAttributesInDS);
    attribute.Text("*").Int(0).Text("unit");
    StringData values;
    values.SetValue("EUR");
    values.SetValue("cents");
    attribute.request.SetStringArray(values);
    ASSERT_EQ(Dispatch(attribute.request), VEXA_OK);
    ASSERT_EQ(Dispatch(Call(cmd::kGetVarAttributesInDS).Text("*").Int(0).Text("unit").request),
              VEXA_OK);
    EXPECT_EQ(ReplyStrings(), (std::vector<std::string>{"EUR", "cents"}));
    ASSERT_EQ(set(Call(cmd::kDelVarAttributesInDS).Text("*").Int(0).Text("unit")), VEXA_OK);
    ASSERT_EQ(Ask(cmd::kGetVarAttributesNameInDS, {0}, {"*"}), VEXA_OK);
    EXPECT_EQ(ReplyInts(), std::vector<std::int32_t>{0});

    Call file(cmd::kSetDataFileAttributesInDS);
    file.Text("main").Text("source");
    file.request.SetStringArray(values);
    ASSERT_EQ(Dispatch(file.request), VEXA_OK);
    ASSERT_EQ(Ask(cmd::kGetDataFileAttributesInDS, {"main", "source"}), VEXA_OK);
    EXPECT_EQ(ReplyStrings(), (std::vector<std::string>{"EUR", "cents"}));
    ASSERT_EQ(Ask(cmd::kDelDataFileAttributesInDS, {"main", "source"}), VEXA_OK);
    ASSERT_EQ(Ask(cmd::kGetDataFileAttributeNamesInDS, {"main"}), VEXA_OK);
    EXPECT_EQ(ReplyStrings(), std::vector<std::string>());

    Call responseSet(cmd::kSetMultiResponseSetInDS);
    responseSet.Text("main").Text("$both").Text("Both").Int(engine::kDichotomySet).Text("1");
    StringData members;
    members.SetValue("num");
    members.SetValue("txt");
    responseSet.request.SetStringArray(members);
    ASSERT_EQ(Dispatch(responseSet.request), VEXA_OK);
    ASSERT_EQ(Ask(cmd::kGetMultiResponseSetInDS, {"main", "$both"}), VEXA_OK);
    EXPECT_EQ(ReplyInts(), (std::vector<std::int32_t>{engine::kDichotomySet, 0}));
    EXPECT_EQ(ReplyStrings(), (std::vector<std::string>{"Both", "1", "num", "txt"}));
    ASSERT_EQ(Ask(cmd::kDelMultiResponseSetInDS, {"main", "$both"}), VEXA_OK);
    EXPECT_EQ(Ask(cmd::kDelMultiResponseSetInDS, {"main", "$both"}), engine::kNoSuchItem);

    Call unknownMember(cmd::kSetMultiResponseSetInDS);
    unknownMember.Text("main").Text("$x").Text("X").Int(engine::kCategorySet).Text("");
    StringData strangers;
    strangers.SetValue("nobody");
    unknownMember.request.SetStringArray(strangers);
    EXPECT_EQ(Dispatch(unknownMember.request), engine::kNoSuchItem);
}

}  // namespace
