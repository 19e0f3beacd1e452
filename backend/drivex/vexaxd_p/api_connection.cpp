// Connection functions: modes, nesting depth, names and local settings.
#include "callshapes.h"
#include "codec/protocol.h"
#include "replyreader.h"
#include "resultreaders.h"
#include "vexaxd_p.h"

using api::Refusal;

int SetMode(int mode) {
    return api::StatusCall(cmd::kSetMode, Refusal::kNever, api::NoResult, mode);
}

int SetXDriveMode(int mode) {
    return api::StatusCall(cmd::kSetXDriveMode, Refusal::kWhenNotRunning, api::NoResult, mode);
}

int GetXDriveMode(int* first, int* second) {
    return api::StatusCall(cmd::kGetXDriveMode, Refusal::kWhenNotRunning,
                           api::IntsInto<2>{{first, second}});
}

int StopReceiveXdApiThread(void) {
    return api::StatusCall(cmd::kStopReceiveXdApiThread, Refusal::kNever, api::NoResult);
}

int IsUTF8mode(void) { return api::BareCall(cmd::kIsUTF8mode, 0, api::FirstInt); }

int GetNestDepth(int* depth) {
    return api::StatusCall(cmd::kGetNestDepth, Refusal::kWhenNotRunning, api::IntsInto<1>{{depth}});
}

void SetXNameAndSHome(const char* languageName, const char* engineHome) {
    // No status to give: a failure leaves the names as they were.
    static_cast<void>(api::Guarded([&] {
        api::Connection().setNames(languageName ? languageName : "", engineHome ? engineHome : "");
        return 0;
    }));
}

int SetVexaRunning(bool running) {
    api::Connection().setRunning(running);
    return 0;
}

int SetRTempFolderToVEXA(const char* folder) {
    return api::Guarded([&] {
        api::Connection().setRTempFolder(folder);
        return 0;
    });
}

const char* GetRTempFolderToVEXA(void) { return api::Connection().rTempFolder(); }
