// The session family: readiness, drive modes, nesting and stop.
#include "codec/protocol.h"
#include "commandtable.h"
#include "enginecodes.h"
#include "runtime/statuscodes.h"

namespace engine {
namespace {

int AnswerOne(const RequestArgs&, CleXDSmb& reply, SessionState&) {
    reply.SetLong(1);
    return VEXA_OK;
}

// Only the program that started the engine may end it: a language the
// engine runs is told no, and the engine keeps serving.
int Stop(const RequestArgs&, CleXDSmb&, SessionState& state) {
    if (state.callerDepth > 0) return kStopNotAllowed;
    state.stopRequested = true;
    return VEXA_OK;
}

int IsXDriven(const RequestArgs&, CleXDSmb& reply, SessionState& state) {
    reply.SetLong(state.callerDepth == 0 ? 1 : 0);
    return VEXA_OK;
}

int SetXDriveMode(const RequestArgs& args, CleXDSmb&, SettingsState& state) {
    auto mode = args.Int(0);
    if (!mode) return VEXA_MALFORMED_MESSAGE;
    state.xDriveMode = *mode;
    return VEXA_OK;
}

int SetMode(const RequestArgs& args, CleXDSmb&, SettingsState& state) {
    auto mode = args.Int(0);
    if (!mode) return VEXA_MALFORMED_MESSAGE;
    state.mode = *mode;
    return VEXA_OK;
}

int GetXDriveMode(const RequestArgs&, CleXDSmb& reply, SettingsState& state) {
    reply.SetLong(state.xDriveMode);
    reply.SetLong(state.mode);
    return VEXA_OK;
}

int GetNestDepth(const RequestArgs&, CleXDSmb& reply, SessionState& state) {
    reply.SetLong(state.callerDepth);
    return VEXA_OK;
}

// The engine has no receive thread of the client's to stop; nothing to do.
int StopReceiveXdApiThread(const RequestArgs&, CleXDSmb&, SessionState&) { return VEXA_OK; }

}  // namespace

void RegisterSessionCommands(CommandTable& table) {
    table.Register(cmd::kIsBackendReady, AnswerOne);
    table.Register(cmd::kIsXDriven, IsXDriven);
    table.Register(cmd::kStopVexa, Stop);
    table.Register(cmd::kSetXDriveMode, SetXDriveMode);
    table.Register(cmd::kGetXDriveMode, GetXDriveMode);
    table.Register(cmd::kStopReceiveXdApiThread, StopReceiveXdApiThread);
    table.Register(cmd::kGetNestDepth, GetNestDepth);
    table.Register(cmd::kSetMode, SetMode);
}

}  // namespace engine
