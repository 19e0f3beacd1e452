// The engine's settings, locales and text conversion, the host application's
// identity and the server mode.
#include "callshapes.h"
#include "codec/protocol.h"
#include "replyreader.h"
#include "resultreaders.h"
#include "vexaxd_p.h"

using api::Refusal;

namespace {

template <typename... Args>
int RefusedCall(int command, const Args&... args) {
    return api::StatusCall(command, Refusal::kWhenNotRunning, api::NoResult, args...);
}

}  // namespace

const char* GetSetting(const char* name, int* err, const char* fallback) {
    return api::ValueCall<const char*>(cmd::kGetSetting, Refusal::kNever, nullptr, err,
                                       api::SharedStringReader{api::MissingString::kFails}, name,
                                       fallback);
}

const char* TransCode(const char* text, int* err) {
    return api::ValueCall<const char*>(cmd::kTransCode, Refusal::kNever, "", err,
                                       api::SharedStringReader{api::MissingString::kFails}, text);
}

const char* GetVEXALocale(int* err) {
    return api::ValueCall<const char*>(cmd::kGetVEXALocale, Refusal::kNever, nullptr, err,
                                       api::SharedStringReader{api::MissingString::kNull});
}

int GetCLocale(char** locale) {
    return api::StatusCall(cmd::kGetCLocale, Refusal::kWhenNotRunning, api::LocaleInto{locale});
}

int GetHostAppNameAndVersion(char** name, char** version) {
    return api::StatusCall(cmd::kGetHostAppNameAndVersion, Refusal::kWhenNotRunning,
                           api::ExactStringsInto<2>{{name, version}});
}

int SetHostAppNameAndVersion(const char* name, const char* version) {
    return RefusedCall(cmd::kSetHostAppNameAndVersion, name, version);
}

int GetHostAppCopyright(char** text) {
    return api::StatusCall(cmd::kGetHostAppCopyright, Refusal::kWhenNotRunning,
                           api::ExactStringsInto<1>{{text}});
}

int SetHostAppCopyright(const char* text) { return RefusedCall(cmd::kSetHostAppCopyright, text); }

int GetPlexorServerMode(void) {
    return api::ValueCall(cmd::kGetPlexorServerMode, Refusal::kWhenNotRunning, -1, nullptr,
                          api::FirstInt);
}

void SetPlexorServerMode(int mode) {
    api::ReportCall(cmd::kSetPlexorServerMode, Refusal::kWhenNotRunning, nullptr, api::NoValue,
                    mode);
}
