// Procedure control: the engine opens and closes a procedure on the active
// dataset; the step-open flag follows what the engine accepted.
#include "callshapes.h"
#include "codec/protocol.h"
#include "replyreader.h"
#include "vexaxd_p.h"

using api::Refusal;

namespace {

int MarkStep(bool open) {
    api::Connection().setStepOpen(open);
    return 0;
}

}  // namespace

int StartProcedure(const char* procedureName, const char* secondName) {
    return api::StatusCall(
        cmd::kStartProcedure, Refusal::kWhenNotRunning, [](CleXDSmb&) { return MarkStep(true); },
        procedureName, secondName ? secondName : procedureName);
}

int EndProcedure(void) {
    return api::StatusCall(cmd::kEndProcedure, Refusal::kWhenNotRunning,
                           [](CleXDSmb&) { return MarkStep(false); });
}

int HasProcedure(void) { return api::BareCall(cmd::kHasProcedure, 0, api::FirstInt); }

int SplitChange(const char* name) {
    return api::StatusCall(cmd::kSplitChange, Refusal::kWhenNotRunning, api::NoResult, name);
}
