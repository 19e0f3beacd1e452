// Writing through the engine's case cursor: new variables with their
// properties, values for existing cases with the next case in the reply,
// new cases one at a time and in blocks, what the dictionary and value
// commands see after EndChanges, and every out-of-order or malformed call.
#include <gtest/gtest.h>

#include <cstring>

#include "caseblock.h"
#include "casecursor.h"
#include "codec/protocol.h"
#include "commandtable.h"
#include "enginecodes.h"
#include "enginereplies.h"
#include "runtime/statuscodes.h"

namespace {

using engine::EngineState;
using Bytes = std::vector<unsigned char>;

using enginetest::Call;

// The request of a commit: numeric values and string values with their names.
Call Commit(int action, const std::vector<std::pair<std::string, double>>& numbers,
            const std::vector<std::pair<std::string, std::string>>& texts) {
    Call call(action);
    StringData numericNames;
    StringData stringNames;
    for (const auto& [name, value] : numbers) {
        call.Number(value);
        numericNames.SetValue(name);
    }
    for (const auto& [name, value] : texts) {
        call.Text(value);
        stringNames.SetValue(name);
    }
    call.request.SetStringArray(numericNames);
    call.request.SetStringArray(stringNames);
    return call;
}

class CaseWrite : public enginetest::EngineReplies {
  protected:
    CaseWrite() {
        EXPECT_TRUE(state.active.AddVariable({"x", "", 0}));
        EXPECT_TRUE(state.active.AddVariable({"city", "", 4}));
        EXPECT_TRUE(state.active.AddCase({1.0, std::string("Bern")}));
        EXPECT_TRUE(state.active.AddCase({2.0, std::string("Genf")}));
        EXPECT_TRUE(state.active.AddCase({3.0, std::string("Chur")}));
    }

    void Open(const std::string& access) {
        ASSERT_EQ(Run(Call(cmd::kStartProcedure).Text("write")), VEXA_OK);
        ASSERT_EQ(Run(Call(cmd::kMakeCaseCursor).Text(access)), VEXA_OK);
    }
    // Declares numeric "score" and 3-byte "tag" and fixes the header.
    void DeclareScoreAndTag() {
        Call declare(cmd::kSetVarNameAndType);
        declare.Int(0).Text("score").Int(3).Text("tag").Int(2);
        ASSERT_EQ(Run(declare), VEXA_OK);
        ASSERT_EQ(Run(Call(cmd::kCommitHeader)), VEXA_OK);
    }
    std::int32_t FirstInt(const Call& call) {
        CleXDSmb reply;
        EXPECT_EQ(Run(call, reply), VEXA_OK);
        return reply.GetLongDataRef().Size() > 0 ? reply.GetLongDataRef()[0] : -99;
    }
    // Cells of the active dataset after the changes ended.
    double Number(std::size_t row, std::size_t column) const {
        return std::get<double>(state.active.cell(row, column));
    }
    std::string Text(std::size_t row, std::size_t column) const {
        return std::get<std::string>(state.active.cell(row, column));
    }
};

Bytes VoidOf(const CleXDSmb& reply) {
    std::int32_t length = 0;
    const auto* data = static_cast<const unsigned char*>(reply.GetVoidData(length));
    return data ? Bytes(data, data + length) : Bytes();
}

// Case "x = 2, city = Genf" in the layout of the cursor (16 bytes).
const Bytes kGenf = {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x40,
                     'G',  'e',  'n',  'f',  ' ',  ' ',  ' ',  ' '};

TEST_F(CaseWrite, ValuesForExistingCasesComeWithTheNextCaseAndLandAfterEndChanges) {
    Open("w");
    DeclareScoreAndTag();
    // The new variables are not in the dataset yet.
    EXPECT_EQ(FirstInt(Call(cmd::kGetVariableCount)), 2);

    CleXDSmb fetched;
    ASSERT_EQ(Run(Call(cmd::kNextCaseRefill).Int(1).Int(16), fetched), VEXA_OK);
    CleXDSmb first;
    Call commitFirst = Commit(cmd::kCommitCaseRecord, {{"score", 10.5}}, {{"tag", "abcdef"}});
    commitFirst.Int(1).Int(16);
    ASSERT_EQ(Run(commitFirst, first), VEXA_OK);
    ASSERT_EQ(first.GetLongDataRef().Size(), 1);
    EXPECT_EQ(first.GetLongDataRef()[0], 1);
    EXPECT_EQ(VoidOf(first), kGenf);

    // The last case is left to a fetch, which reports the end with it.
    CleXDSmb second;
    Call commitSecond = Commit(cmd::kCommitCaseRecord, {{"score", -1.0}}, {});
    commitSecond.Int(1).Int(16);
    ASSERT_EQ(Run(commitSecond, second), VEXA_OK);
    EXPECT_TRUE(VoidOf(second).empty());
    EXPECT_EQ(second.GetLongDataRef().Size(), 0);
    CleXDSmb last;
    EXPECT_EQ(Run(Call(cmd::kNextCaseRefill).Int(1).Int(16), last), engine::kEndOfData);
    EXPECT_EQ(last.GetLongDataRef()[0], 1);

    ASSERT_EQ(Run(Call(cmd::kEndChanges)), VEXA_OK);
    EXPECT_EQ(FirstInt(Call(cmd::kGetVariableCount)), 4);
    EXPECT_EQ(FirstInt(Call(cmd::kGetVariableType).Int(3)), 3);
    EXPECT_EQ(Number(0, 2), 10.5);
    EXPECT_EQ(Text(0, 3), "abc");  // a string keeps its width
    EXPECT_EQ(Number(1, 2), -1.0);
    EXPECT_EQ(Text(1, 3), "");
    EXPECT_EQ(Number(2, 2), engine::kSystemMissing);

    // A new cursor's layout holds them: 16 + 8 + 8 bytes a case.
    ASSERT_EQ(Run(Call(cmd::kMakeCaseCursor).Text("r")), VEXA_OK);
    CleXDSmb block;
    EXPECT_EQ(Run(Call(cmd::kNextCaseRefill).Int(3).Int(32), block), engine::kEndOfData);
    const Bytes bytes = VoidOf(block);
    ASSERT_EQ(bytes.size(), 96u);
    const Bytes tag0(bytes.begin() + 24, bytes.begin() + 32);
    EXPECT_EQ(tag0, (Bytes{'a', 'b', 'c', ' ', ' ', ' ', ' ', ' '}));
}

TEST_F(CaseWrite, PropertiesOfNewVariablesAreSeenByTheDictionaryCommands) {
    Open("w");
    ASSERT_EQ(Run(Call(cmd::kSetOneVarNameAndType).Text("score").Int(0)), VEXA_OK);
    ASSERT_EQ(Run(Call(cmd::kSetOneVarNameAndType).Text("tag").Int(12)), VEXA_OK);
    ASSERT_EQ(Run(Call(cmd::kSetVarLabel).Text("score").Text("Score")), VEXA_OK);
    ASSERT_EQ(Run(Call(cmd::kSetVarNValueLabel).Text("score").Number(1).Text("low")), VEXA_OK);
    ASSERT_EQ(Run(Call(cmd::kSetVarCValueLabel).Text("tag").Text("a").Text("A")), VEXA_OK);
    ASSERT_EQ(
        Run(Call(cmd::kSetVarNMissingValues).Text("score").Int(-3).Number(1).Number(5).Number(9)),
        VEXA_OK);
    ASSERT_EQ(Run(Call(cmd::kSetVarCMissingValues).Text("tag").Int(2).Text("n/a").Text("none")),
              VEXA_OK);
    ASSERT_EQ(Run(Call(cmd::kSetVarMeasureLevel).Text("score").Int(engine::kOrdinal)), VEXA_OK);
    ASSERT_EQ(Run(Call(cmd::kSetVarRole).Text("score").Int(engine::kRoleTarget)), VEXA_OK);
    ASSERT_EQ(Run(Call(cmd::kSetVarAlignment).Text("score").Int(engine::kAlignCenter)), VEXA_OK);
    ASSERT_EQ(Run(Call(cmd::kSetVarFormat).Text("score").Int(5).Int(6).Int(1)), VEXA_OK);
    ASSERT_EQ(Run(Call(cmd::kSetVarAttributes).Text("score").Text("Unit").Text("pt").Int(0)),
              VEXA_OK);
    ASSERT_EQ(Run(Call(cmd::kSetVarAttributes).Text("score").Text("Unit").Text("points").Int(1)),
              VEXA_OK);
    ASSERT_EQ(Run(Call(cmd::kSetVarAttributes).Text("score").Text("Unit").Text("p").Int(0)),
              VEXA_OK);
    ASSERT_EQ(Run(Call(cmd::kAllocNewVarsBuffer).Int(2)), VEXA_OK);
    ASSERT_EQ(Run(Call(cmd::kEndChanges)), VEXA_OK);

    CleXDSmb label;
    ASSERT_EQ(Run(Call(cmd::kGetVariableLabel).Int(2), label), VEXA_OK);
    EXPECT_EQ(label.GetStringDataRef()[0], "Score");
    CleXDSmb format;
    ASSERT_EQ(Run(Call(cmd::kGetVariableFormat).Int(2), format), VEXA_OK);
    EXPECT_EQ(format.GetStringDataRef()[0], "F6.1");
    CleXDSmb tagFormat;
    ASSERT_EQ(Run(Call(cmd::kGetVariableFormat).Int(3), tagFormat), VEXA_OK);
    EXPECT_EQ(tagFormat.GetStringDataRef()[0], "A12");
    EXPECT_EQ(FirstInt(Call(cmd::kGetVariableMeasurementLevel).Int(2)), engine::kOrdinal);
    EXPECT_EQ(FirstInt(Call(cmd::kGetVariableRole).Int(2)), engine::kRoleTarget);
    CleXDSmb missing;
    ASSERT_EQ(Run(Call(cmd::kGetVarNMissingValues).Int(2), missing), VEXA_OK);
    EXPECT_EQ(missing.GetLongDataRef()[0], -3);
    EXPECT_EQ(missing.GetDoubleDataRef().Values(), (std::vector<double>{1, 5, 9}));
    CleXDSmb textMissing;
    ASSERT_EQ(Run(Call(cmd::kGetVarCMissingValues).Int(3), textMissing), VEXA_OK);
    EXPECT_EQ(textMissing.GetLongDataRef()[0], 2);
    EXPECT_EQ(textMissing.GetStringDataRef()[1], "none    ");
    CleXDSmb labels;
    ASSERT_EQ(Run(Call(cmd::kGetNValueLabels).Int(2), labels), VEXA_OK);
    EXPECT_EQ(labels.GetStringDataRef()[0], "low");
    CleXDSmb unit;
    ASSERT_EQ(Run(Call(cmd::kGetVarAttributes).Int(2).Text("Unit"), unit), VEXA_OK);
    EXPECT_EQ(unit.GetStringDataRef().Values(), (std::vector<std::string>{"p", "points"}));
    const auto& alignment = state.active.variable(2).properties.alignment;
    EXPECT_EQ(alignment, engine::kAlignCenter);
    // Existing cases have no value of the new variables.
    EXPECT_EQ(Number(0, 2), engine::kSystemMissing);
    EXPECT_EQ(Text(2, 3), "");
}

TEST_F(CaseWrite, NewCasesOneAtATimeAndAsABlockAppendAfterTheOldOnes) {
    Open("a");
    DeclareScoreAndTag();
    ASSERT_EQ(Run(Commit(cmd::kCommitNewCase, {{"score", 4.0}, {"x", 9.0}}, {{"tag", "xy"}})),
              VEXA_OK);
    // No values at all: a case of missing values and blanks.
    ASSERT_EQ(Run(Call(cmd::kCommitNewCase)), VEXA_OK);

    // Two cases of (city, score) in that layout.
    Call many(cmd::kCommitManyCases);
    many.Text("city").Text("score").Int(2).Int(2);
    LongData types;
    types.SetValue(4);
    types.SetValue(0);
    many.request.SetLongArray(types);
    std::vector<OBS> cells = {OBS::FromText("Sion"), OBS::FromNumber(1.25), OBS::FromText("Thun"),
                              OBS::FromNumber(engine::kSystemMissing)};
    void* block = std::malloc(cells.size() * sizeof(OBS));
    ASSERT_NE(block, nullptr);
    std::memcpy(block, cells.data(), cells.size() * sizeof(OBS));
    many.request.SetVoidData(block, static_cast<std::int32_t>(cells.size() * sizeof(OBS)));
    ASSERT_EQ(Run(many), VEXA_OK);
    // Nothing is visible before EndChanges.
    EXPECT_EQ(FirstInt(Call(cmd::kGetRowCount)), 3);
    ASSERT_EQ(Run(Call(cmd::kEndChanges)), VEXA_OK);

    EXPECT_EQ(FirstInt(Call(cmd::kGetRowCount)), 7);
    EXPECT_EQ(Number(3, 0), 9.0);
    EXPECT_EQ(Text(3, 1), "");
    EXPECT_EQ(Number(3, 2), 4.0);
    EXPECT_EQ(Text(3, 3), "xy");
    EXPECT_EQ(Number(4, 0), engine::kSystemMissing);
    EXPECT_EQ(Text(5, 1), "Sion");
    EXPECT_EQ(Number(5, 2), 1.25);
    EXPECT_EQ(Number(5, 0), engine::kSystemMissing);
    EXPECT_EQ(Text(6, 1), "Thun");

    // The value commands read the appended cases too.
    ASSERT_EQ(Run(Call(cmd::kRemoveCaseCursor)), VEXA_OK);
    for (int i = 0; i < 5; ++i) ASSERT_EQ(Run(Call(cmd::kNextCase)), VEXA_OK);
    CleXDSmb value;
    ASSERT_EQ(Run(Call(cmd::kGetNumericValue).Int(2), value), VEXA_OK);
    EXPECT_EQ(value.GetLongDataRef()[0], 2);
}

TEST_F(CaseWrite, CommitAtTheEndOfASplitGroupLeavesTheNextCaseToAFetch) {
    state.active.file().split = {"x"};
    Open("w");
    DeclareScoreAndTag();
    CleXDSmb fetched;
    ASSERT_EQ(Run(Call(cmd::kNextCaseRefill).Int(1).Int(16), fetched), engine::kEndOfSplit);
    CleXDSmb committed;
    Call commit = Commit(cmd::kCommitCaseRecord, {{"score", 1.0}}, {});
    commit.Int(1).Int(16);
    ASSERT_EQ(Run(commit, committed), VEXA_OK);
    EXPECT_TRUE(VoidOf(committed).empty());
    CleXDSmb next;
    EXPECT_EQ(Run(Call(cmd::kNextCaseRefill).Int(1).Int(16), next), engine::kEndOfSplit);
    EXPECT_EQ(VoidOf(next), kGenf);
}

TEST_F(CaseWrite, DeclarationsAreCheckedInFullBeforeAnyIsKept) {
    EXPECT_EQ(Run(Call(cmd::kSetOneVarNameAndType).Text("score").Int(0)), engine::kNoProcedureOpen);
    ASSERT_EQ(Run(Call(cmd::kStartProcedure).Text("write")), VEXA_OK);
    EXPECT_EQ(Run(Call(cmd::kSetOneVarNameAndType).Text("score").Int(0)), engine::kNoCaseCursor);
    ASSERT_EQ(Run(Call(cmd::kMakeCaseCursor).Text("r")), VEXA_OK);
    EXPECT_EQ(Run(Call(cmd::kSetOneVarNameAndType).Text("score").Int(0)), engine::kReadOnlyCursor);
    EXPECT_EQ(Run(Call(cmd::kCommitHeader)), engine::kReadOnlyCursor);
    ASSERT_EQ(Run(Call(cmd::kMakeCaseCursor).Text("w")), VEXA_OK);

    EXPECT_EQ(Run(Call(cmd::kSetOneVarNameAndType).Text("1st").Int(0)),
              engine::kBadNewVariableName);
    EXPECT_EQ(Run(Call(cmd::kSetOneVarNameAndType).Text("city").Int(0)),
              engine::kVariableNameTaken);
    EXPECT_EQ(Run(Call(cmd::kSetOneVarNameAndType).Text("big").Int(32768)),
              engine::kBadNewVariableType);
    EXPECT_EQ(Run(Call(cmd::kSetOneVarNameAndType).Text("neg").Int(-1)),
              engine::kBadNewVariableType);
    EXPECT_EQ(Run(Call(cmd::kSetOneVarNameAndType).Text("score")), VEXA_MALFORMED_MESSAGE);
    // The second name repeats the first: neither is declared.
    EXPECT_EQ(Run(Call(cmd::kSetVarNameAndType).Int(0).Text("a").Int(0).Text("a").Int(2)),
              engine::kVariableNameTaken);
    EXPECT_EQ(Run(Call(cmd::kSetVarNameAndType).Int(0).Text("a").Int(2)), engine::kBadCount);
    EXPECT_EQ(Run(Call(cmd::kSetVarNameAndType).Int(0)), engine::kBadCount);
    EXPECT_EQ(Run(Call(cmd::kSetVarNameAndType).Int(0).Text("a").Int(0x7FFFFFFF)),
              engine::kBadCount);
    EXPECT_EQ(Run(Call(cmd::kSetVarNameAndType)), VEXA_MALFORMED_MESSAGE);
    EXPECT_EQ(Run(Call(cmd::kAllocNewVarsBuffer).Int(-1)), engine::kBadCount);
    EXPECT_TRUE(state.cases.changes().variables().empty());

    ASSERT_EQ(Run(Call(cmd::kSetOneVarNameAndType).Text("a").Int(0)), VEXA_OK);
    EXPECT_EQ(Run(Call(cmd::kSetOneVarNameAndType).Text("a").Int(0)), engine::kVariableNameTaken);
    EXPECT_EQ(Run(Call(cmd::kCommitNewCase)), engine::kHeaderNotFixed);
    ASSERT_EQ(Run(Call(cmd::kCommitHeader)), VEXA_OK);
    EXPECT_EQ(Run(Call(cmd::kSetOneVarNameAndType).Text("b").Int(0)), engine::kHeaderFixed);
}

TEST_F(CaseWrite, SettersRefuseWhatTheVariableCannotTake) {
    Open("w");
    DeclareScoreAndTag();
    EXPECT_EQ(Run(Call(cmd::kSetVarLabel).Text("x").Text("old")), engine::kNoSuchWriteVariable);
    EXPECT_EQ(Run(Call(cmd::kSetVarLabel).Text("score")), VEXA_MALFORMED_MESSAGE);
    EXPECT_EQ(Run(Call(cmd::kSetVarCValueLabel).Text("score").Text("a").Text("A")),
              engine::kWrongValueType);
    EXPECT_EQ(Run(Call(cmd::kSetVarNValueLabel).Text("tag").Number(1).Text("A")),
              engine::kWrongValueType);
    EXPECT_EQ(
        Run(Call(cmd::kSetVarNMissingValues).Text("score").Int(4).Number(1).Number(2).Number(3)),
        engine::kBadMissingValues);
    EXPECT_EQ(
        Run(Call(cmd::kSetVarNMissingValues).Text("score").Int(-2).Number(5).Number(1).Number(0)),
        engine::kBadMissingValues);
    EXPECT_EQ(Run(Call(cmd::kSetVarNMissingValues).Text("score").Int(2).Number(5)),
              VEXA_MALFORMED_MESSAGE);
    EXPECT_EQ(Run(Call(cmd::kSetVarCMissingValues).Text("tag").Int(2).Text("one")),
              engine::kBadMissingValues);
    EXPECT_EQ(Run(Call(cmd::kSetVarCMissingValues).Text("tag").Int(1).Text("ninebytes")),
              engine::kBadMissingValues);
    EXPECT_EQ(Run(Call(cmd::kSetVarCMissingValues).Text("tag").Int(-2)), engine::kBadMissingValues);
    EXPECT_EQ(Run(Call(cmd::kSetVarCMissingValues).Text("score").Int(0)), engine::kWrongValueType);
    EXPECT_EQ(Run(Call(cmd::kSetVarMeasureLevel).Text("score").Int(4)), engine::kBadPropertyCode);
    EXPECT_EQ(Run(Call(cmd::kSetVarRole).Text("score").Int(6)), engine::kBadPropertyCode);
    EXPECT_EQ(Run(Call(cmd::kSetVarAlignment).Text("score").Int(-1)), engine::kBadPropertyCode);
    EXPECT_EQ(Run(Call(cmd::kSetVarFormat).Text("score").Int(1).Int(8).Int(0)),
              engine::kBadPropertyCode);
    EXPECT_EQ(Run(Call(cmd::kSetVarFormat).Text("score").Int(5).Int(4).Int(4)),
              engine::kBadPropertyCode);
    EXPECT_EQ(Run(Call(cmd::kSetVarFormat).Text("tag").Int(1).Int(3).Int(1)),
              engine::kBadPropertyCode);
    EXPECT_EQ(Run(Call(cmd::kSetVarAttributes).Text("score").Text("Unit").Text("pt").Int(1)),
              engine::kBadPropertyCode);
    // Nothing of it stuck.
    const engine::Variable& score = state.cases.changes().variables()[0];
    EXPECT_EQ(score.properties.missing.format, engine::kNoMissing);
    EXPECT_EQ(score.properties.level, engine::kScale);
    EXPECT_EQ(score.properties.format.Text(), "F8.2");
    EXPECT_TRUE(score.properties.attributes.empty());
}

TEST_F(CaseWrite, CommitsRefuseUnknownNamesWrongTypesAndMismatchedSizes) {
    Open("w");
    DeclareScoreAndTag();
    EXPECT_EQ(Run(Commit(cmd::kCommitCaseRecord, {{"score", 1}}, {})), engine::kNoCurrentCase);
    CleXDSmb fetched;
    ASSERT_EQ(Run(Call(cmd::kNextCaseRefill).Int(1).Int(16), fetched), VEXA_OK);
    EXPECT_EQ(Run(Commit(cmd::kCommitCaseRecord, {{"nope", 1}}, {})), engine::kNoSuchWriteVariable);
    // Existing variables keep their values.
    EXPECT_EQ(Run(Commit(cmd::kCommitCaseRecord, {{"x", 1}}, {})), engine::kNoSuchWriteVariable);
    EXPECT_EQ(Run(Commit(cmd::kCommitCaseRecord, {{"tag", 1}}, {})), engine::kWrongValueType);
    Call sized = Commit(cmd::kCommitCaseRecord, {{"score", 1}}, {});
    sized.Int(1).Int(24);
    EXPECT_EQ(Run(sized), engine::kCaseSizeMismatch);
    // Two doubles, one name.
    Call uneven = Commit(cmd::kCommitCaseRecord, {{"score", 1}}, {});
    uneven.Number(2);
    EXPECT_EQ(Run(uneven), engine::kBadCount);
    EXPECT_EQ(Run(Commit(cmd::kCommitNewCase, {}, {{"x", "1"}})), engine::kWrongValueType);
    EXPECT_EQ(Run(Commit(cmd::kCommitNewCase, {{"nope", 1}}, {})), engine::kNoSuchWriteVariable);

    const auto manyCall = [](std::vector<std::string> names, std::vector<std::int32_t> typeList,
                             std::int32_t cases, std::size_t bytes) {
        Call call(cmd::kCommitManyCases);
        for (const auto& name : names) call.Text(name);
        call.Int(static_cast<std::int32_t>(names.size())).Int(cases);
        LongData types;
        for (auto type : typeList) types.SetValue(type);
        call.request.SetLongArray(types);
        if (bytes > 0) {
            void* block = std::calloc(bytes, 1);
            call.request.SetVoidData(block, static_cast<std::int32_t>(bytes));
        }
        return call;
    };
    EXPECT_EQ(Run(manyCall({"x"}, {0}, 2, 8)), engine::kCaseSizeMismatch);
    EXPECT_EQ(Run(manyCall({"x"}, {0}, 1, 12)), engine::kCaseSizeMismatch);
    EXPECT_EQ(Run(manyCall({"x", "x"}, {0, 0}, 1, 16)), engine::kRepeatedVariable);
    EXPECT_EQ(Run(manyCall({"x"}, {4}, 1, 8)), engine::kWrongValueType);
    EXPECT_EQ(Run(manyCall({"x"}, {0, 0}, 1, 8)), engine::kBadCount);
    EXPECT_EQ(Run(manyCall({"x"}, {0}, -1, 0)), engine::kBadCount);
    EXPECT_EQ(Run(manyCall({"ghost"}, {0}, 1, 8)), engine::kNoSuchWriteVariable);
    EXPECT_EQ(state.cases.changes().CaseCount(), 0u);
    EXPECT_EQ(Run(manyCall({"x"}, {0}, 1, 8)), VEXA_OK);
    EXPECT_EQ(state.cases.changes().CaseCount(), 1u);

    // An appending cursor does not touch existing cases.
    ASSERT_EQ(Run(Call(cmd::kMakeCaseCursor).Text("a")), VEXA_OK);
    EXPECT_EQ(Run(Commit(cmd::kCommitCaseRecord, {}, {})), engine::kReadOnlyCursor);
}

TEST_F(CaseWrite, ChangesNotEndedGoWithTheirCursor) {
    Open("w");
    DeclareScoreAndTag();
    ASSERT_EQ(Run(Call(cmd::kCommitNewCase)), VEXA_OK);
    ASSERT_EQ(Run(Call(cmd::kRemoveCaseCursor)), VEXA_OK);
    ASSERT_EQ(Run(Call(cmd::kEndChanges)), VEXA_OK);
    EXPECT_EQ(state.active.VariableCount(), 2u);
    EXPECT_EQ(state.active.CaseCount(), 3u);

    // The names are free again for the next cursor.
    ASSERT_EQ(Run(Call(cmd::kMakeCaseCursor).Text("w")), VEXA_OK);
    DeclareScoreAndTag();
    ASSERT_EQ(Run(Call(cmd::kEndChanges)), VEXA_OK);
    EXPECT_EQ(state.active.VariableCount(), 4u);
    // Ended changes leave room for another header.
    ASSERT_EQ(Run(Call(cmd::kSetOneVarNameAndType).Text("more").Int(0)), VEXA_OK);
}

}  // namespace
