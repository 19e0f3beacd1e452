// The engine's case cursor: blocks of cases byte for byte in the case
// layout, the end codes at the end of the data and of split groups, the
// walk and single values without a cursor, every refusal, and a real
// StartXD serving a cursor over its pipes.
#include <gtest/gtest.h>

#include <bit>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "caseblock.h"
#include "casecursor.h"
#include "codec/cursordatasmb.h"
#include "codec/protocol.h"
#include "commandtable.h"
#include "engineclient.h"
#include "enginecodes.h"
#include "enginereplies.h"
#include "runtime/statuscodes.h"

namespace {

using engine::EngineState;
using Bytes = std::vector<unsigned char>;

using enginetest::Call;

class CursorCommands : public enginetest::EngineReplies {
  protected:
    CursorCommands() {
        // Numeric, 10-byte string, numeric: cells 0, 1..2, 3; 32 bytes a case.
        EXPECT_TRUE(state.active.AddVariable({"x", "", 0}));
        EXPECT_TRUE(state.active.AddVariable({"name", "", 10}));
        EXPECT_TRUE(state.active.AddVariable({"y", "", 0}));
        state.active.properties(1).missing.format = 1;
        state.active.properties(1).missing.texts[0] = "n/a";
        state.active.properties(2).missing.format = 1;
        state.active.properties(2).missing.numbers[0] = 9.0;
        EXPECT_TRUE(state.active.AddCase({1.5, std::string("Bern"), engine::kSystemMissing}));
        EXPECT_TRUE(state.active.AddCase({-2.0, std::string("Zurich-See"), 9.0}));
        EXPECT_TRUE(state.active.AddCase({0.0, std::string("n/a"), 4.0}));
    }

    void OpenProcedure() {
        ASSERT_EQ(Run(Call(cmd::kStartProcedure).Text("Cursor test")), VEXA_OK);
    }
    void MakeCursor(const std::string& access) {
        ASSERT_EQ(Run(Call(cmd::kMakeCaseCursor).Text(access)), VEXA_OK);
    }
    // A fetch: its error code, the count it delivered, the block.
    int Fetch(std::int32_t wanted, std::int32_t caseSize, std::int32_t& count, Bytes& block) {
        Call call(cmd::kNextCaseRefill);
        call.Int(wanted).Int(caseSize);
        CleXDSmb reply;
        const int code = Run(call, reply);
        count = reply.GetLongDataRef().Size() > 0 ? reply.GetLongDataRef()[0] : -1;
        std::int32_t length = 0;
        const auto* data = static_cast<const unsigned char*>(reply.GetVoidData(length));
        block.assign(data, data + (data ? length : 0));
        return code;
    }
    std::int32_t FirstInt(int action, int* code = nullptr) {
        Call call(action);
        CleXDSmb reply;
        const int result = Run(call, reply);
        if (code) *code = result;
        return reply.GetLongDataRef().Size() > 0 ? reply.GetLongDataRef()[0] : -99;
    }
};

const Bytes kCase0 = {
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF8, 0x3F,  // x 1.5
    'B',  'e',  'r',  'n',  ' ',  ' ',  ' ',  ' ',   // name, blank-padded
    ' ',  ' ',  ' ',  ' ',  ' ',  ' ',  ' ',  ' ',   //   over two cells
    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xEF, 0xFF,  // y system-missing
};
const Bytes kCase1 = {
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0,  // x -2
    'Z',  'u',  'r',  'i',  'c',  'h',  '-',  'S',   // all 10 bytes of name
    'e',  'e',  ' ',  ' ',  ' ',  ' ',  ' ',  ' ',
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x22, 0x40,  // y 9
};

Bytes Joined(const Bytes& a, const Bytes& b) {
    Bytes both = a;
    both.insert(both.end(), b.begin(), b.end());
    return both;
}

TEST_F(CursorCommands, BlockHoldsTheCasesInTheCaseLayoutByteForByte) {
    OpenProcedure();
    MakeCursor("r");
    std::int32_t count = 0;
    Bytes block;
    ASSERT_EQ(Fetch(2, 32, count, block), VEXA_OK);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(block, Joined(kCase0, kCase1));
    EXPECT_EQ(FirstInt(cmd::kGetCursorPosition), 1);
}

// The library builds its cursor from 104, 109, 31 and 32 and reads the block
// with CursorDataSmb; the two sides must agree on every cell and flag.
TEST_F(CursorCommands, LibraryCursorBuiltFromTheDictionaryReadsTheBlock) {
    OpenProcedure();
    MakeCursor("R");
    CursorDataSmb cursor;
    const std::int32_t variables = FirstInt(cmd::kGetVariableCountInProcDS);
    ASSERT_EQ(variables, 3);
    for (std::int32_t i = 0; i < variables; ++i) {
        VarInfo info;
        CleXDSmb typeReply;
        Call typeCall(cmd::kGetVariableTypeInProcDS);
        ASSERT_EQ(Run(typeCall.Int(i), typeReply), VEXA_OK);
        info.type = typeReply.GetLongDataRef()[0];
        CleXDSmb missing;
        Call missingCall(info.type == 0 ? cmd::kGetVarNMissingValues : cmd::kGetVarCMissingValues);
        ASSERT_EQ(Run(missingCall.Int(i), missing), VEXA_OK);
        info.missingFormat = missing.GetLongDataRef()[0];
        for (int k = 0; k < 3; ++k) {
            if (info.type == 0)
                info.missingValue[k] = OBS::FromNumber(missing.GetDoubleDataRef()[k]);
            else
                info.SetStringMissingValue(k, missing.GetStringDataRef()[k]);
        }
        ASSERT_EQ(cursor.AddVariable(info), VEXA_OK);
    }
    ASSERT_EQ(cursor.GetOneCaseSize(), 32);

    Call fetch(cmd::kNextCaseRefill);
    fetch.Int(cursor.CasesPerBlock()).Int(cursor.GetOneCaseSize());
    CleXDSmb reply;
    ASSERT_EQ(Run(fetch, reply), engine::kEndOfData);
    std::int32_t length = 0;
    void* received = reply.ReleaseVoidData(length);
    codec::OwnedBuffer block(received, static_cast<std::size_t>(length));
    ASSERT_EQ(cursor.TakeCaseBlock(block, reply.GetLongDataRef()[0], reply.GetErrorCode()),
              VEXA_OK);

    const std::vector<std::pair<double, std::int32_t>> y = {
        {engine::kSystemMissing, 2}, {9.0, 1}, {4.0, 0}};
    const std::vector<std::pair<std::string, std::int32_t>> names = {
        {"Bern      ", 0}, {"Zurich-See", 0}, {"n/a       ", 1}};
    // Taking the block makes its first case current, as the fetching
    // NextCase does.
    for (std::size_t k = 0; k < 3; ++k) {
        if (k > 0) {
            ASSERT_EQ(cursor.NextCase(), VEXA_OK);
        }
        double value = 0;
        std::int32_t missing = -1;
        ASSERT_EQ(cursor.GetNumericValue(2, value, missing), VEXA_OK);
        EXPECT_EQ(value, y[k].first);
        EXPECT_EQ(missing, y[k].second);
        char text[10];
        ASSERT_EQ(cursor.GetStringValue(1, text, sizeof text, missing), VEXA_OK);
        EXPECT_EQ(std::string(text, sizeof text), names[k].first);
        EXPECT_EQ(missing, names[k].second);
    }
    EXPECT_EQ(cursor.NextCase(), engine::kEndOfData);
}

TEST_F(CursorCommands, LastCaseInTheBlockGives23AndAFetchAfterTheEndGives23WithNoCases) {
    OpenProcedure();
    MakeCursor("w");
    std::int32_t count = 0;
    Bytes block;
    EXPECT_EQ(Fetch(1, 32, count, block), VEXA_OK);
    EXPECT_EQ(block, kCase0);
    EXPECT_EQ(Fetch(1, 32, count, block), VEXA_OK);
    EXPECT_EQ(block, kCase1);
    EXPECT_EQ(Fetch(5, 32, count, block), engine::kEndOfData);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(block.size(), 32u);
    EXPECT_EQ(Fetch(5, 32, count, block), engine::kEndOfData);
    EXPECT_EQ(count, 0);
    EXPECT_TRUE(block.empty());
    EXPECT_EQ(FirstInt(cmd::kGetCursorPosition), 3);
}

class SplitCursor : public CursorCommands {
  protected:
    SplitCursor() {
        state.active = engine::Dataset();
        EXPECT_TRUE(state.active.AddVariable({"g", "", 0}));
        EXPECT_TRUE(state.active.AddVariable({"v", "", 0}));
        const double groups[] = {1, 1, 2, 2, 2, 3};
        for (int i = 0; i < 6; ++i) EXPECT_TRUE(state.active.AddCase({groups[i], double(i)}));
        state.active.file().split = {"g"};
    }
    // The v values of a block.
    static std::vector<double> Values(const Bytes& block) {
        std::vector<double> values;
        for (std::size_t at = 8; at + 8 <= block.size(); at += 16) {
            double v;
            std::memcpy(&v, block.data() + at, 8);
            values.push_back(v);
        }
        return values;
    }
};

TEST_F(SplitCursor, BlocksStopAtTheEndOfEachSplitGroupWith67) {
    OpenProcedure();
    MakeCursor("r");
    std::int32_t count = 0;
    Bytes block;
    EXPECT_EQ(Fetch(100, 16, count, block), engine::kEndOfSplit);
    EXPECT_EQ(Values(block), (std::vector<double>{0, 1}));
    EXPECT_EQ(count, 2);
    int code = 0;
    EXPECT_EQ(FirstInt(cmd::kIsEndSplit, &code), 1);
    EXPECT_EQ(code, engine::kEndOfSplit);

    // A block smaller than the group delivers part of it, without an end code.
    EXPECT_EQ(Fetch(2, 16, count, block), VEXA_OK);
    EXPECT_EQ(Values(block), (std::vector<double>{2, 3}));
    EXPECT_EQ(FirstInt(cmd::kIsEndSplit, &code), 0);
    EXPECT_EQ(code, VEXA_OK);
    EXPECT_EQ(Fetch(2, 16, count, block), engine::kEndOfSplit);
    EXPECT_EQ(Values(block), (std::vector<double>{4}));

    // The data's end is the last group's end as well; 23 wins.
    EXPECT_EQ(Fetch(100, 16, count, block), engine::kEndOfData);
    EXPECT_EQ(Values(block), (std::vector<double>{5}));
    EXPECT_EQ(Fetch(100, 16, count, block), engine::kEndOfData);
    EXPECT_EQ(count, 0);
}

TEST_F(SplitCursor, SplitEndIndexesAreTheLastCaseOfEachGroup) {
    OpenProcedure();
    CleXDSmb reply;
    Call call(cmd::kGetSplitEndIndex);
    ASSERT_EQ(Run(call, reply), VEXA_OK);
    EXPECT_EQ(reply.GetLongDataRef().Values(), (std::vector<std::int32_t>{1, 4, 5}));

    state.active.file().split.clear();
    CleXDSmb none;
    Call again(cmd::kGetSplitEndIndex);
    ASSERT_EQ(Run(again, none), VEXA_OK);
    EXPECT_EQ(none.GetLongDataRef().Size(), 0);
    // Without split variables a block runs to the data's end.
    MakeCursor("r");
    std::int32_t count = 0;
    Bytes block;
    EXPECT_EQ(Fetch(4, 16, count, block), VEXA_OK);
    EXPECT_EQ(count, 4);
    EXPECT_EQ(Fetch(4, 16, count, block), engine::kEndOfData);
    EXPECT_EQ(count, 2);
}

TEST_F(CursorCommands, WithoutACursorTheEngineWalksAndAnswersValues) {
    OpenProcedure();
    EXPECT_EQ(FirstInt(cmd::kGetCursorPosition), -1);
    EXPECT_EQ(Run(Call(cmd::kGetNumericValue).Int(0)), engine::kNoCurrentCase);
    ASSERT_EQ(Run(Call(cmd::kNextCase)), VEXA_OK);
    ASSERT_EQ(Run(Call(cmd::kNextCase)), VEXA_OK);

    Call numeric(cmd::kGetNumericValue);
    CleXDSmb value;
    ASSERT_EQ(Run(numeric.Int(2), value), VEXA_OK);
    EXPECT_EQ(value.GetLongDataRef()[0], 1);  // 9 is user-missing
    EXPECT_EQ(value.GetDoubleDataRef()[0], 9.0);

    Call text(cmd::kGetStringValue);
    CleXDSmb textReply;
    ASSERT_EQ(Run(text.Int(1).Int(6), textReply), VEXA_OK);
    EXPECT_EQ(textReply.GetLongDataRef()[0], 0);
    EXPECT_EQ(textReply.GetStringDataRef()[0], "Zurich");

    ASSERT_EQ(Run(Call(cmd::kNextCase)), VEXA_OK);
    Call padded(cmd::kGetStringValue);
    CleXDSmb paddedReply;
    ASSERT_EQ(Run(padded.Int(1).Int(40), paddedReply), VEXA_OK);
    EXPECT_EQ(paddedReply.GetLongDataRef()[0], 1);
    EXPECT_EQ(paddedReply.GetStringDataRef()[0], "n/a       ");

    EXPECT_EQ(Run(Call(cmd::kNextCase)), engine::kEndOfData);
    EXPECT_EQ(FirstInt(cmd::kGetCursorPosition), 3);
    EXPECT_EQ(Run(Call(cmd::kGetNumericValue).Int(0)), engine::kNoCurrentCase);
    EXPECT_EQ(Run(Call(cmd::kNextCase)), engine::kEndOfData);
}

TEST_F(CursorCommands, SystemMissingValueHasFlag2) {
    OpenProcedure();
    ASSERT_EQ(Run(Call(cmd::kNextCase)), VEXA_OK);
    Call numeric(cmd::kGetNumericValue);
    CleXDSmb value;
    ASSERT_EQ(Run(numeric.Int(2), value), VEXA_OK);
    EXPECT_EQ(value.GetLongDataRef()[0], 2);
    EXPECT_EQ(value.GetDoubleDataRef()[0], engine::kSystemMissing);
}

TEST_F(CursorCommands, RefusalsNameTheirReason) {
    // No procedure: nothing about its dataset is answered.
    EXPECT_EQ(Run(Call(cmd::kMakeCaseCursor).Text("r")), engine::kNoProcedureOpen);
    EXPECT_EQ(Run(Call(cmd::kNextCaseRefill).Int(1).Int(32)), engine::kNoProcedureOpen);
    EXPECT_EQ(Run(Call(cmd::kNextCase)), engine::kNoProcedureOpen);
    EXPECT_EQ(Run(Call(cmd::kGetNumericValue).Int(0)), engine::kNoProcedureOpen);
    EXPECT_EQ(FirstInt(cmd::kHasCursor), 0);

    OpenProcedure();
    EXPECT_EQ(Run(Call(cmd::kNextCaseRefill).Int(1).Int(32)), engine::kNoCaseCursor);
    MakeCursor("r");
    EXPECT_EQ(Run(Call(cmd::kNextCaseRefill).Int(1).Int(24)), engine::kCaseSizeMismatch);
    EXPECT_EQ(Run(Call(cmd::kNextCaseRefill).Int(1).Int(-32)), engine::kCaseSizeMismatch);
    EXPECT_EQ(Run(Call(cmd::kNextCaseRefill).Int(0).Int(32)), engine::kBadCount);
    EXPECT_EQ(Run(Call(cmd::kNextCaseRefill).Int(1)), VEXA_MALFORMED_MESSAGE);
    // None of them moved the cursor.
    EXPECT_EQ(FirstInt(cmd::kGetCursorPosition), -1);

    ASSERT_EQ(Run(Call(cmd::kNextCase)), VEXA_OK);
    EXPECT_EQ(Run(Call(cmd::kGetNumericValue).Int(1)), engine::kWrongValueType);
    EXPECT_EQ(Run(Call(cmd::kGetStringValue).Int(0).Int(8)), engine::kWrongValueType);
    EXPECT_EQ(Run(Call(cmd::kGetNumericValue).Int(3)), engine::kNoSuchItem);
    EXPECT_EQ(Run(Call(cmd::kGetNumericValue).Int(-1)), engine::kNoSuchItem);
    EXPECT_EQ(Run(Call(cmd::kGetNumericValue)), VEXA_MALFORMED_MESSAGE);
    EXPECT_EQ(Run(Call(cmd::kGetStringValue).Int(1).Int(-1)), engine::kBadCount);
    EXPECT_EQ(Run(Call(cmd::kGetStringValue).Int(1)), VEXA_MALFORMED_MESSAGE);
}

TEST_F(CursorCommands, RemoveResetAndReplaceStartThePassOver) {
    OpenProcedure();
    MakeCursor("r");
    EXPECT_EQ(FirstInt(cmd::kHasCursor), 1);
    std::int32_t count = 0;
    Bytes block;
    ASSERT_EQ(Fetch(1, 32, count, block), VEXA_OK);
    // A second cursor replaces the first and starts at the first case.
    MakeCursor("r");
    ASSERT_EQ(Fetch(1, 32, count, block), VEXA_OK);
    EXPECT_EQ(block, kCase0);

    ASSERT_EQ(Run(Call(cmd::kResetDataPass)), VEXA_OK);
    EXPECT_EQ(FirstInt(cmd::kHasCursor), 0);
    EXPECT_EQ(FirstInt(cmd::kGetCursorPosition), -1);
    EXPECT_EQ(Run(Call(cmd::kNextCaseRefill).Int(1).Int(32)), engine::kNoCaseCursor);

    MakeCursor("r");
    ASSERT_EQ(Run(Call(cmd::kRemoveCaseCursor)), VEXA_OK);
    EXPECT_EQ(FirstInt(cmd::kHasCursor), 0);
    EXPECT_EQ(FirstInt(cmd::kIsNeedCache), 0);
}

TEST_F(CursorCommands, CursorOfAClosedProcedureIsGoneInTheNextOne) {
    OpenProcedure();
    MakeCursor("r");
    ASSERT_EQ(Run(Call(cmd::kNextCase)), VEXA_OK);
    ASSERT_EQ(Run(Call(cmd::kEndProcedure)), VEXA_OK);
    EXPECT_EQ(FirstInt(cmd::kHasCursor), 0);
    OpenProcedure();
    EXPECT_EQ(FirstInt(cmd::kHasCursor), 0);
    EXPECT_EQ(FirstInt(cmd::kGetCursorPosition), -1);
}

TEST(CaseAccessText, OnlyExactlyROrWReadOrWrite) {
    using engine::CaseAccess;
    EXPECT_EQ(engine::AccessFromText("r"), CaseAccess::kRead);
    EXPECT_EQ(engine::AccessFromText("R"), CaseAccess::kRead);
    EXPECT_EQ(engine::AccessFromText("W"), CaseAccess::kWrite);
    EXPECT_EQ(engine::AccessFromText("rr"), CaseAccess::kAppend);
    EXPECT_EQ(engine::AccessFromText(""), CaseAccess::kAppend);
    EXPECT_EQ(engine::AccessFromText(std::string_view("r\0", 2)), CaseAccess::kAppend);
}

TEST(CaseLayoutCells, StringWidthsTakeWholeCellsAndDecodeDropsThePadding) {
    const engine::CaseLayout layout({0, 8, 9, 1, 10});
    EXPECT_EQ(layout.ObsIndex(1), 1u);
    EXPECT_EQ(layout.ObsIndex(2), 2u);
    EXPECT_EQ(layout.ObsIndex(3), 4u);
    EXPECT_EQ(layout.ObsIndex(4), 5u);
    EXPECT_EQ(layout.CaseSize(), 56u);
    std::vector<OBS> cells(7);
    ASSERT_TRUE(layout.Encode({2.0, std::string("12345678"), std::string("too long for nine"),
                               std::string(""), std::string("a b  ")},
                              cells));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(cells[2].bytes), 16), "too long        ");
    EXPECT_TRUE(cells[4].IsBlank());
    const auto values = layout.Decode(cells);
    EXPECT_EQ(std::get<std::string>(values[2]), "too long");
    EXPECT_EQ(std::get<std::string>(values[4]), "a b");
    EXPECT_EQ(std::get<double>(values[0]), 2.0);
}

TEST(CaseLayoutCells, ShortValuesOrCellsAreRefusedAndWriteNothing) {
    const engine::CaseLayout layout({0, 9});
    std::vector<OBS> cells(3, OBS::FromNumber(7.0));
    EXPECT_FALSE(layout.Encode({1.0}, cells));
    std::vector<OBS> shortCells(2, OBS::FromNumber(7.0));
    EXPECT_FALSE(layout.Encode({1.0, std::string("x")}, shortCells));
    for (const OBS& cell : cells) EXPECT_EQ(cell.AsNumber(), 7.0);
    for (const OBS& cell : shortCells) EXPECT_EQ(cell.AsNumber(), 7.0);
    EXPECT_TRUE(layout.Encode({1.0, std::string("x")}, cells));
    EXPECT_EQ(cells[0].AsNumber(), 1.0);
}

// A directory of this process's own for a test's data files, removed with
// everything in it.
struct ScratchDirectory {
    explicit ScratchDirectory(const std::string& tag)
        : path(std::filesystem::temp_directory_path() /
               (tag + std::to_string(platform::CurrentProcessId()))) {
        std::filesystem::create_directories(path);
    }
    ~ScratchDirectory() { std::filesystem::remove_all(path); }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;
    std::filesystem::path path;
};

// StartXD over real pipes: a procedure, a cursor, split-group blocks in the
// case layout, and a write that the dictionary sees afterwards.
TEST(EngineCursorProcess, RealEngineServesBlocksAndEndsSplitGroups) {
    const ScratchDirectory scratch("enginecursor-");
    const std::filesystem::path& directory = scratch.path;
    std::ofstream(directory / "split.csv") << "g,tag\n1,ab\n1,cd\n2,ef\n";
    std::ofstream(directory / "split.dict") << "split g\n";

    char pid[16];
    std::snprintf(pid, sizeof pid, "%04xc", static_cast<unsigned>(platform::CurrentProcessId()));
    enginetest::EngineClient client(pid, "CURSOR");
    ASSERT_EQ(client.CreateResultPipe(), 0);
    ASSERT_EQ(client.StartEngine({"-datafile=" + (directory / "split.csv").string()}), 0);
    ASSERT_EQ(client.ReceiveReady(20000), 0);
    auto call = [&](Call& c, CleXDSmb& reply) {
        EXPECT_EQ(client.Send(c.request), 0);
        return client.Receive(reply);
    };
    CleXDSmb started;
    Call start(cmd::kStartProcedure);
    ASSERT_EQ(call(start.Text("proc"), started), 0);
    CleXDSmb made;
    Call make(cmd::kMakeCaseCursor);
    ASSERT_EQ(call(make.Text("r"), made), 0);

    CleXDSmb first;
    Call fetch(cmd::kNextCaseRefill);
    EXPECT_EQ(call(fetch.Int(10).Int(16), first), engine::kEndOfSplit);
    ASSERT_EQ(first.GetLongDataRef().Size(), 1);
    EXPECT_EQ(first.GetLongDataRef()[0], 2);
    std::int32_t length = 0;
    const auto* bytes = static_cast<const unsigned char*>(first.GetVoidData(length));
    ASSERT_EQ(length, 32);
    const Bytes expected = {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF0, 0x3F, 'a',  'b',  ' ',
                            ' ',  ' ',  ' ',  ' ',  ' ',  0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                            0xF0, 0x3F, 'c',  'd',  ' ',  ' ',  ' ',  ' ',  ' ',  ' '};
    EXPECT_EQ(Bytes(bytes, bytes + length), expected);

    CleXDSmb last;
    Call again(cmd::kNextCaseRefill);
    EXPECT_EQ(call(again.Int(10).Int(16), last), engine::kEndOfData);
    EXPECT_EQ(last.GetLongDataRef()[0], 1);

    // An appending cursor adds a variable and a case.
    CleXDSmb appending;
    Call append(cmd::kMakeCaseCursor);
    ASSERT_EQ(call(append.Text("a"), appending), 0);
    CleXDSmb declared;
    Call declare(cmd::kSetOneVarNameAndType);
    ASSERT_EQ(call(declare.Text("score").Int(0), declared), 0);
    CleXDSmb fixed;
    Call header(cmd::kCommitHeader);
    ASSERT_EQ(call(header, fixed), 0);
    CleXDSmb added;
    Call newCase(cmd::kCommitNewCase);
    newCase.request.SetDouble(7.5);
    StringData names;
    names.SetValue(std::string("score"));
    newCase.request.SetStringArray(names);
    newCase.request.SetStringArray(StringData());
    ASSERT_EQ(call(newCase, added), 0);
    CleXDSmb ended;
    Call end(cmd::kEndChanges);
    ASSERT_EQ(call(end, ended), 0);
    CleXDSmb variables;
    Call count(cmd::kGetVariableCount);
    ASSERT_EQ(call(count, variables), 0);
    EXPECT_EQ(variables.GetLongDataRef()[0], 3);
    CleXDSmb rows;
    Call rowCount(cmd::kGetRowCount);
    ASSERT_EQ(call(rowCount, rows), 0);
    EXPECT_EQ(rows.GetLongDataRef()[0], 4);

    CleXDSmb stopped;
    Call stop(cmd::kStopVexa);
    ASSERT_EQ(call(stop, stopped), 0);
    ASSERT_TRUE(client.engine().WaitFor(20000));
    EXPECT_EQ(client.engine().ExitStatus(), 0);
}

// Case c of the lent-block data: a = c, b = c / 4, z = -c - 0.5, all exact in
// binary and in the file's decimal text.
double LentValue(int c, int variable, double scaleA = 1) {
    if (variable == 0) return c * scaleA;
    return variable == 1 ? c * 0.25 : -c - 0.5;
}

// The expected block, each double written out byte by byte, low byte first.
Bytes LentBlock(int first, int count, double scaleA = 1) {
    Bytes bytes;
    for (int c = first; c < first + count; ++c) {
        for (int v = 0; v < 3; ++v) {
            const auto bits = std::bit_cast<std::uint64_t>(LentValue(c, v, scaleA));
            for (int k = 0; k < 8; ++k)
                bytes.push_back(static_cast<unsigned char>(bits >> (8 * k)));
        }
    }
    return bytes;
}

// Blocks sent from the engine's store as they lie: many pieces each, cut at
// any case, and a change to the store shows in the next block, not in one
// already received.
TEST(EngineCursorProcess, BlocksLentFromTheStoreArriveWholeAndFollowLaterChanges) {
    constexpr int kCases = 3000;
    const ScratchDirectory scratch("enginelent-");
    const std::filesystem::path& directory = scratch.path;
    {
        std::ofstream data(directory / "lent.csv");
        data << "a,b,z\n";
        for (int c = 0; c < kCases; ++c) data << c << ',' << c * 0.25 << ',' << (-c - 0.5) << '\n';
    }

    char pid[16];
    std::snprintf(pid, sizeof pid, "%04xd", static_cast<unsigned>(platform::CurrentProcessId()));
    enginetest::EngineClient client(pid, "LENT");
    ASSERT_EQ(client.CreateResultPipe(), 0);
    ASSERT_EQ(client.StartEngine({"-datafile=" + (directory / "lent.csv").string()}), 0);
    ASSERT_EQ(client.ReceiveReady(20000), 0);
    auto ask = [&](Call&& c, CleXDSmb& reply) {
        EXPECT_EQ(client.Send(c.request), 0);
        return client.Receive(reply);
    };
    auto fetch = [&](int wanted, std::int32_t& count, Bytes& block) {
        CleXDSmb reply;
        const int code = ask(std::move(Call(cmd::kNextCaseRefill).Int(wanted).Int(24)), reply);
        count = reply.GetLongDataRef().Size() > 0 ? reply.GetLongDataRef()[0] : -1;
        std::int32_t length = 0;
        const auto* bytes = static_cast<const unsigned char*>(reply.GetVoidData(length));
        block.assign(bytes, bytes + (bytes ? length : 0));
        return code;
    };
    auto openCursor = [&] {
        CleXDSmb started, made;
        EXPECT_EQ(ask(std::move(Call(cmd::kStartProcedure).Text("lent")), started), 0);
        EXPECT_EQ(ask(std::move(Call(cmd::kMakeCaseCursor).Text("r")), made), 0);
    };

    openCursor();
    std::int32_t count = 0;
    Bytes first;
    ASSERT_EQ(fetch(1000, count, first), 0);
    EXPECT_EQ(count, 1000);
    EXPECT_EQ(first, LentBlock(0, 1000));
    Bytes middle;
    ASSERT_EQ(fetch(1337, count, middle), 0);
    EXPECT_EQ(count, 1337);
    EXPECT_EQ(middle, LentBlock(1000, 1337));
    Bytes rest;
    EXPECT_EQ(fetch(kCases, count, rest), engine::kEndOfData);
    EXPECT_EQ(count, kCases - 2337);
    EXPECT_EQ(rest, LentBlock(2337, kCases - 2337));

    CleXDSmb ended, derived;
    ASSERT_EQ(ask(std::move(Call(cmd::kEndProcedure)), ended), 0);
    ASSERT_EQ(ask(std::move(Call(cmd::kSubmit).Text("DERIVE a = a * 2.")), derived), 0);
    openCursor();
    Bytes changed;
    EXPECT_EQ(fetch(kCases, count, changed), engine::kEndOfData);
    EXPECT_EQ(count, kCases);
    EXPECT_EQ(changed, LentBlock(0, kCases, 2));
    EXPECT_EQ(first, LentBlock(0, 1000));

    CleXDSmb stopped;
    ASSERT_EQ(ask(std::move(Call(cmd::kStopVexa)), stopped), 0);
    ASSERT_TRUE(client.engine().WaitFor(20000));
    EXPECT_EQ(client.engine().ExitStatus(), 0);
}

}  // namespace
