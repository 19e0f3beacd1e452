// The case cursor family: the engine's walk over the procedure's dataset,
// the cursor a client makes on it, blocks of cases in the case layout, and
// single values of the current case for a client without a cursor.
#include <algorithm>
#include <limits>
#include <string>

#include "caseblock.h"
#include "codec/protocol.h"
#include "commandtable.h"
#include "enginecodes.h"
#include "runtime/statuscodes.h"

namespace engine {
namespace {

// A block above this would not fit a reply image; a client asking for more
// gets fewer cases, as at the end of the data.
constexpr std::size_t kMaxBlockBytes = std::size_t{1} << 28;

std::int32_t Clamped(std::int64_t value) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(
        value, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

int MakeCaseCursor(const RequestArgs& args, CleXDSmb&, DataContext& state) {
    // No access text is no "r" or "w" either.
    const CaseAccess access = AccessFromText(args.String(0).value_or(std::string()));
    ProcedureCases(state).Make(access, state.active.VariableCount());
    return VEXA_OK;
}

// Removing and resetting are the same to the engine: the pass starts over.
int RemoveCaseCursor(const RequestArgs&, CleXDSmb&, DataContext& state) {
    state.cases.Remove();
    return VEXA_OK;
}

int HasCursor(const RequestArgs&, CleXDSmb& reply, DataContext& state) {
    const bool made = state.output.IsOpen() && ProcedureCases(state).IsMade();
    reply.SetLong(made ? 1 : 0);
    return VEXA_OK;
}

int GetCursorPosition(const RequestArgs&, CleXDSmb& reply, DataContext& state) {
    reply.SetLong(Clamped(ProcedureCases(state).position()));
    return VEXA_OK;
}

// Every case stays in memory, so the client need not keep any.
int IsNeedCache(const RequestArgs&, CleXDSmb& reply, DataContext&) {
    reply.SetLong(0);
    return VEXA_OK;
}

int IsEndSplit(const RequestArgs&, CleXDSmb& reply, DataContext& state) {
    const auto current = ProcedureCases(state).Current(state.active);
    const bool ends = current && SplitGroups(state.active).EndsGroup(*current);
    reply.SetLong(ends ? 1 : 0);
    return ends ? kEndOfSplit : VEXA_OK;
}

int GetSplitEndIndex(const RequestArgs&, CleXDSmb& reply, DataContext& state) {
    for (std::size_t end : SplitGroups(state.active).Ends())
        reply.SetLong(Clamped(static_cast<std::int64_t>(end)));
    return VEXA_OK;
}

int NextCaseRefill(const RequestArgs& args, CleXDSmb& reply, DataContext& state) {
    CaseCursor& cases = ProcedureCases(state);
    if (!cases.IsMade()) return kNoCaseCursor;
    auto wanted = args.Int(0);
    auto caseSize = args.Int(1);
    if (!wanted || !caseSize) return VEXA_MALFORMED_MESSAGE;
    if (*wanted < 1) return kBadCount;
    const CaseLayout layout = CaseLayout::Of(state.active, cases.LayoutVariables());
    if (*caseSize < 0 || static_cast<std::size_t>(*caseSize) != layout.CaseSize())
        return kCaseSizeMismatch;
    std::size_t limit = static_cast<std::size_t>(*wanted);
    if (layout.CaseSize() > 0)
        limit = std::min(limit, std::max<std::size_t>(1, kMaxBlockBytes / layout.CaseSize()));
    const CaseSpan span = cases.NextBlock(state.active, limit);
    PutCases(reply, state.active, layout, span.first, span.count);
    reply.SetLong(static_cast<std::int32_t>(span.count));
    return span.endCode;
}

int NextCase(const RequestArgs&, CleXDSmb&, DataContext& state) {
    return ProcedureCases(state).Step(state.active);
}

// The variable named by the first integer and the current case, or the
// code why there is none.
int CurrentValue(const RequestArgs& args, DataContext& state, bool numeric, std::size_t& variable,
                 std::size_t& caseIndex) {
    auto index = args.Int(0);
    if (!index) return VEXA_MALFORMED_MESSAGE;
    if (*index < 0 || static_cast<std::size_t>(*index) >= state.active.VariableCount())
        return kNoSuchItem;
    variable = static_cast<std::size_t>(*index);
    if (state.active.variable(variable).IsNumeric() != numeric) return kWrongValueType;
    auto current = ProcedureCases(state).Current(state.active);
    if (!current) return kNoCurrentCase;
    caseIndex = *current;
    return VEXA_OK;
}

int GetNumericValue(const RequestArgs& args, CleXDSmb& reply, DataContext& state) {
    std::size_t variable = 0;
    std::size_t caseIndex = 0;
    if (int failed = CurrentValue(args, state, true, variable, caseIndex)) return failed;
    const CellValue& value = state.active.cell(caseIndex, variable);
    reply.SetLong(MissingFlag(state.active.variable(variable), value));
    reply.SetDouble(std::get<double>(value));
    return VEXA_OK;
}

// The value as a cursor holds it, blank-padded to the width, and at most
// the length asked for.
int GetStringValue(const RequestArgs& args, CleXDSmb& reply, DataContext& state) {
    auto length = args.Int(1);
    if (!length) return VEXA_MALFORMED_MESSAGE;
    if (*length < 0) return kBadCount;
    std::size_t variable = 0;
    std::size_t caseIndex = 0;
    if (int failed = CurrentValue(args, state, false, variable, caseIndex)) return failed;
    const Variable& about = state.active.variable(variable);
    const CellValue& value = state.active.cell(caseIndex, variable);
    std::string text = std::get<std::string>(value);
    text.resize(static_cast<std::size_t>(about.type), ' ');
    text.resize(std::min(text.size(), static_cast<std::size_t>(*length)));
    reply.SetLong(MissingFlag(about, value));
    reply.SetString(text);
    return VEXA_OK;
}

}  // namespace

void RegisterCursorCommands(CommandTable& table) {
    table.Register(cmd::kMakeCaseCursor, InProcedure<MakeCaseCursor>);
    table.Register(cmd::kRemoveCaseCursor, RemoveCaseCursor);
    table.Register(cmd::kResetDataPass, RemoveCaseCursor);
    table.Register(cmd::kHasCursor, HasCursor);
    table.Register(cmd::kGetCursorPosition, InProcedure<GetCursorPosition>);
    table.Register(cmd::kIsNeedCache, IsNeedCache);
    table.Register(cmd::kIsEndSplit, InProcedure<IsEndSplit>);
    table.Register(cmd::kGetSplitEndIndex, InProcedure<GetSplitEndIndex>);
    table.Register(cmd::kNextCaseRefill, InProcedure<NextCaseRefill>);
    table.Register(cmd::kNextCase, InProcedure<NextCase>);
    table.Register(cmd::kGetNumericValue, InProcedure<GetNumericValue>);
    table.Register(cmd::kGetStringValue, InProcedure<GetStringValue>);
}

}  // namespace engine
