// The procedure family: one procedure at a time may be open on the active
// dataset; while it is, the procedure-dataset questions are answered and the
// pivot-table commands build its output. Closing it files its document.
#include <string>
#include <utility>

#include "codec/protocol.h"
#include "commandtable.h"
#include "enginecodes.h"
#include "outputxml.h"
#include "runtime/statuscodes.h"

namespace engine {
namespace {

// The name is the procedure's heading in the output and the second its
// identifier, the handle its document is filed under; both are optional:
// a caller without them opens an unnamed procedure, and a missing
// identifier is the name.
int StartProcedure(const RequestArgs& args, CleXDSmb&, OutputState& state) {
    if (state.output.IsOpen()) return kProcedureAlreadyOpen;
    std::string name = args.String(0).value_or(std::string());
    std::string identifier = args.String(1).value_or(name);
    state.output.Open(std::move(name), std::move(identifier), state.log.entries().size());
    return VEXA_OK;
}

int EndProcedure(const RequestArgs&, CleXDSmb&, OutputState& state) {
    if (!state.output.IsOpen()) return kNoProcedureOpen;
    const Procedure& closed = state.output.Close(state.log.entries().size());
    // The document is well-formed by construction; a handle it cannot take
    // (an empty identifier) leaves the procedure in the whole output only.
    state.documents.Keep(closed.identifier, ProcedureXml(closed, state.log));
    return VEXA_OK;
}

int HasProcedure(const RequestArgs&, CleXDSmb& reply, OutputState& state) {
    reply.SetLong(state.output.IsOpen() ? 1 : 0);
    return VEXA_OK;
}

}  // namespace

void RegisterProcedureCommands(CommandTable& table) {
    table.Register(cmd::kStartProcedure, StartProcedure);
    table.Register(cmd::kEndProcedure, EndProcedure);
    table.Register(cmd::kHasProcedure, HasProcedure);
}

}  // namespace engine
