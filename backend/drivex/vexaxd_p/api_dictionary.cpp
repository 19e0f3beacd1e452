// Dictionary queries about the active dataset.
#include "callshapes.h"
#include "commandcodes.h"
#include "replyreader.h"
#include "vexaxd_p.h"

using api::Refusal;

int GetVariableCount(int* err) {
    return api::ValueCall(cmd::kGetVariableCount, Refusal::kNever, 0, err, api::FirstInt);
}
