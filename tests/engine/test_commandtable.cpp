// The engine's command table: dispatch, argument checks of the session
// family, handler failures, and the families' codes kept apart.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <new>
#include <stdexcept>
#include <vector>

#include "codec/protocol.h"
#include "commandtable.h"
#include "enginecodes.h"
#include "runtime/statuscodes.h"

namespace {

using engine::CommandTable;
using engine::EngineState;
using engine::RequestArgs;

// Far above every code the protocol has.
constexpr int kNeverACommand = 1 << 20;
// Every code the protocol has lies below this.
constexpr int kCodeRangeEnd = 4096;

int Dispatch(const CommandTable& table, CleXDSmb& request, CleXDSmb& reply, EngineState& state) {
    table.Dispatch(request, reply, state);
    return reply.GetErrorCode();
}

TEST(CommandDispatch, UnknownCommandIsAnsweredWithItsActionAndCode9001) {
    CommandTable table = engine::BuildCommandTable();
    EngineState state;
    CleXDSmb request;
    request.SetCommandAction(kNeverACommand);
    request.SetLong(1);
    CleXDSmb reply;
    EXPECT_EQ(Dispatch(table, request, reply, state), engine::kUnknownCommand);
    EXPECT_EQ(engine::kUnknownCommand, 9001);
    EXPECT_EQ(reply.GetCommandAction(), kNeverACommand);
    EXPECT_EQ(reply.GetLongDataRef().Size(), 0);
}

TEST(CommandDispatch, ModeSettersNeedTheirIntegerArgument) {
    CommandTable table = engine::BuildCommandTable();
    for (int code : {static_cast<int>(cmd::kSetXDriveMode), static_cast<int>(cmd::kSetMode)}) {
        EngineState state;
        CleXDSmb bare;
        bare.SetCommandAction(code);
        CleXDSmb reply;
        EXPECT_EQ(Dispatch(table, bare, reply, state), VEXA_MALFORMED_MESSAGE) << code;
        EXPECT_EQ(reply.GetCommandAction(), code);

        // A value of another type is no integer argument either.
        CleXDSmb wrongType;
        wrongType.SetCommandAction(code);
        wrongType.SetDouble(3.0);
        CleXDSmb wrongReply;
        EXPECT_EQ(Dispatch(table, wrongType, wrongReply, state), VEXA_MALFORMED_MESSAGE) << code;
        EXPECT_EQ(state.xDriveMode, 0);
        EXPECT_EQ(state.mode, 0);
    }
}

TEST(CommandDispatch, ModeSettersStoreTheValueAndGetXDriveModeHandsBothBack) {
    CommandTable table = engine::BuildCommandTable();
    EngineState state;
    CleXDSmb setDrive;
    setDrive.SetCommandAction(cmd::kSetXDriveMode);
    setDrive.SetLong(3);
    CleXDSmb reply;
    EXPECT_EQ(Dispatch(table, setDrive, reply, state), VEXA_OK);
    EXPECT_EQ(state.xDriveMode, 3);

    CleXDSmb setMode;
    setMode.SetCommandAction(cmd::kSetMode);
    setMode.SetLong(-7);
    CleXDSmb modeReply;
    EXPECT_EQ(Dispatch(table, setMode, modeReply, state), VEXA_OK);
    EXPECT_EQ(state.mode, -7);
    EXPECT_EQ(state.xDriveMode, 3);

    CleXDSmb get;
    get.SetCommandAction(cmd::kGetXDriveMode);
    CleXDSmb values;
    ASSERT_EQ(Dispatch(table, get, values, state), VEXA_OK);
    ASSERT_EQ(values.GetLongDataRef().Size(), 2);
    EXPECT_EQ(values.GetLongDataRef()[0], 3);
    EXPECT_EQ(values.GetLongDataRef()[1], -7);
}

TEST(CommandDispatch, StopIsAnsweredAndMarksTheState) {
    CommandTable table = engine::BuildCommandTable();
    EngineState state;
    CleXDSmb stop;
    stop.SetCommandAction(cmd::kStopVexa);
    CleXDSmb reply;
    EXPECT_EQ(Dispatch(table, stop, reply, state), VEXA_OK);
    EXPECT_TRUE(state.stopRequested);
}

TEST(CommandDispatch, VariableCountIsThatOfTheActiveDataset) {
    CommandTable table = engine::BuildCommandTable();
    EngineState state;
    ASSERT_TRUE(state.active.AddVariable({"a", "", 0}));
    ASSERT_TRUE(state.active.AddVariable({"b", "", 4}));
    CleXDSmb request;
    request.SetCommandAction(cmd::kGetVariableCount);
    CleXDSmb reply;
    ASSERT_EQ(Dispatch(table, request, reply, state), VEXA_OK);
    ASSERT_EQ(reply.GetLongDataRef().Size(), 1);
    EXPECT_EQ(reply.GetLongDataRef()[0], 2);
}

TEST(CommandDispatch, HandlerFailuresBecomeCodesNotExceptions) {
    CommandTable table;
    ASSERT_TRUE(table.Register(1, [](const RequestArgs&, CleXDSmb&, EngineState&) -> int {
        throw std::out_of_range("no such value");
    }));
    ASSERT_TRUE(table.Register(
        2, [](const RequestArgs&, CleXDSmb&, EngineState&) -> int { throw std::bad_alloc(); }));
    EngineState state;
    CleXDSmb first;
    first.SetCommandAction(1);
    CleXDSmb firstReply;
    EXPECT_EQ(Dispatch(table, first, firstReply, state), VEXA_MALFORMED_MESSAGE);
    CleXDSmb second;
    second.SetCommandAction(2);
    CleXDSmb secondReply;
    EXPECT_EQ(Dispatch(table, second, secondReply, state), ENOMEM);
}

TEST(CommandDispatch, RequestArgsNeverReadBeyondWhatWasSent) {
    CleXDSmb request;
    request.SetLong(4);
    request.SetString("s");
    RequestArgs args(request);
    EXPECT_EQ(args.Int(0), 4);
    EXPECT_FALSE(args.Int(1).has_value());
    EXPECT_FALSE(args.Int(-1).has_value());
    EXPECT_FALSE(args.Double(0).has_value());
    EXPECT_EQ(args.String(0), "s");
    EXPECT_FALSE(args.String(1).has_value());
}

int AnswerSeven(const RequestArgs&, CleXDSmb& reply, EngineState&) {
    reply.SetLong(7);
    return VEXA_OK;
}

int AnswerEight(const RequestArgs&, CleXDSmb& reply, EngineState&) {
    reply.SetLong(8);
    return VEXA_OK;
}

// Each handler works on its own part of the state: the parts sit at
// different places inside it, so a handler given the wrong address, or a copy,
// would change or read the wrong thing.
TEST(CommandDispatch, EachHandlerIsGivenItsPartOfTheOneState) {
    CommandTable table;
    ASSERT_TRUE(table.Register(
        1, [](const RequestArgs& args, CleXDSmb&, engine::SettingsState& part) -> int {
            part.serverMode = args.Int(0).value_or(-1);
            return VEXA_OK;
        }));
    ASSERT_TRUE(table.Register(
        2, [](const RequestArgs&, CleXDSmb& reply, engine::DataContext& part) -> int {
            reply.SetLong(static_cast<std::int32_t>(part.active.VariableCount()));
            reply.SetLong(part.output.IsOpen() ? 1 : 0);
            return part.active.AddVariable({"added", "", 0}) ? VEXA_OK : VEXA_MALFORMED_MESSAGE;
        }));
    ASSERT_TRUE(table.Register(
        3, [](const RequestArgs&, CleXDSmb& reply, const engine::SessionState& part) -> int {
            reply.SetLong(part.callerDepth);
            return VEXA_OK;
        }));
    ASSERT_TRUE(
        table.Register(4, [](const RequestArgs&, CleXDSmb&, engine::OutputState& part) -> int {
            part.log.Add(engine::OutputLog::Kind::kOutput, "from the output part");
            return VEXA_OK;
        }));

    EngineState state;
    state.callerDepth = 3;
    ASSERT_TRUE(state.active.AddVariable({"a", "", 0}));
    const auto ask = [&](int code, std::int32_t argument) {
        CleXDSmb request;
        request.SetCommandAction(code);
        request.SetLong(argument);
        CleXDSmb reply;
        EXPECT_EQ(Dispatch(table, request, reply, state), VEXA_OK) << code;
        std::vector<std::int32_t> longs;
        for (std::int32_t i = 0; i < reply.GetLongDataRef().Size(); ++i)
            longs.push_back(reply.GetLongDataRef()[i]);
        return longs;
    };

    EXPECT_TRUE(ask(1, 1).empty());
    EXPECT_EQ(state.serverMode, 1);
    EXPECT_EQ(ask(2, 0), (std::vector<std::int32_t>{1, 0}));
    EXPECT_EQ(state.active.VariableCount(), 2u);
    EXPECT_EQ(ask(3, 0), std::vector<std::int32_t>{3});
    EXPECT_TRUE(ask(4, 0).empty());
    ASSERT_EQ(state.log.entries().size(), 1u);
    EXPECT_EQ(state.log.entries()[0].text, "from the output part");
    EXPECT_EQ(state.serverMode, 1);
    EXPECT_EQ(state.callerDepth, 3);
}

TEST(CommandFamilies, ACodeRegisteredTwiceKeepsItsFirstHandler) {
    CommandTable table;
    EXPECT_TRUE(table.Register(5, AnswerSeven));
    EXPECT_FALSE(table.Register(5, AnswerEight));
    EngineState state;
    CleXDSmb request;
    request.SetCommandAction(5);
    CleXDSmb reply;
    ASSERT_EQ(Dispatch(table, request, reply, state), VEXA_OK);
    ASSERT_EQ(reply.GetLongDataRef().Size(), 1);
    EXPECT_EQ(reply.GetLongDataRef()[0], 7);
}

TEST(CommandFamilies, NoCodeBelongsToTwoFamiliesAndTheEngineKnowsThemAll) {
    using Family = void (*)(CommandTable&);
    const std::vector<std::pair<const char*, Family>> families = {
        {"session", engine::RegisterSessionCommands},
        {"dictionary", engine::RegisterDictionaryCommands},
        {"procedure", engine::RegisterProcedureCommands},
        {"submission", engine::RegisterSubmissionCommands},
        {"pivot", engine::RegisterPivotCommands},
        {"xpath", engine::RegisterXPathCommands},
        {"settings", engine::RegisterSettingsCommands},
        {"cursor", engine::RegisterCursorCommands},
        {"case write", engine::RegisterCaseWriteCommands},
        {"dataset", engine::RegisterDatasetCommands},
        {"data step", engine::RegisterDataStepCommands},
        {"temp file", engine::RegisterTempFileCommands},
    };
    std::vector<CommandTable> tables(families.size());
    for (std::size_t i = 0; i < families.size(); ++i) families[i].second(tables[i]);
    const CommandTable engineTable = engine::BuildCommandTable();

    for (int code = -1; code < kCodeRangeEnd; ++code) {
        std::vector<const char*> owners;
        for (std::size_t i = 0; i < families.size(); ++i) {
            if (tables[i].Knows(code)) owners.push_back(families[i].first);
        }
        EXPECT_LE(owners.size(), 1u)
            << "code " << code << " is in " << owners[0] << " and " << owners[1];
        EXPECT_EQ(engineTable.Knows(code), owners.size() == 1) << "code " << code;
    }
    // The farewell's action is no command: it must reach the server loop.
    EXPECT_FALSE(engineTable.Knows(protocol::kNoAction));
}

}  // namespace
