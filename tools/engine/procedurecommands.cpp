// The procedure family: one procedure at a time may be open; while it is,
// the procedure-dataset questions are answered.
#include <string>

#include "commandcodes.h"
#include "commandtable.h"
#include "enginecodes.h"
#include "runtime/statuscodes.h"

namespace engine {
namespace {

// The procedure's name is optional: a caller without one opens an unnamed
// procedure.
int StartProcedure(const RequestArgs& args, CleXDSmb&, EngineState& state) {
    if (state.procedure.open) return kProcedureAlreadyOpen;
    state.procedure = {true, args.String(0).value_or(std::string())};
    return VEXA_OK;
}

int EndProcedure(const RequestArgs&, CleXDSmb&, EngineState& state) {
    if (!state.procedure.open) return kNoProcedureOpen;
    state.procedure = {};
    return VEXA_OK;
}

int HasProcedure(const RequestArgs&, CleXDSmb& reply, EngineState& state) {
    reply.SetLong(state.procedure.open ? 1 : 0);
    return VEXA_OK;
}

}  // namespace

void RegisterProcedureCommands(CommandTable& table) {
    table.Register(cmd::kStartProcedure, StartProcedure);
    table.Register(cmd::kEndProcedure, EndProcedure);
    table.Register(cmd::kHasProcedure, HasProcedure);
}

}  // namespace engine
