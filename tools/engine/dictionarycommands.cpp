// The dictionary family: questions about the active dataset.
#include "commandcodes.h"
#include "commandtable.h"
#include "runtime/statuscodes.h"

namespace engine {
namespace {

int GetVariableCount(const RequestArgs&, CleXDSmb& reply, EngineState& state) {
    reply.SetLong(static_cast<std::int32_t>(state.active.VariableCount()));
    return VEXA_OK;
}

}  // namespace

void RegisterDictionaryCommands(CommandTable& table) {
    table.Register(cmd::kGetVariableCount, GetVariableCount);
}

}  // namespace engine
