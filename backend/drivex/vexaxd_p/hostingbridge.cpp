// Hands the API functions that language libraries reach through their
// callback table to the hosting code of the static library.
#include "apiconnection.h"
#include "hosting/dxapibridge.h"
#include "vexaxd_p.h"

namespace {

// Without an engine the call would only wait for pipes nobody creates.
const char* OutputLanguageOrEmpty() {
    if (!api::Connection().running()) return "";
    int err = 0;
    const char* language = GetOutputLanguage(&err);
    return err == 0 && language ? language : "";
}

void RecordBrowser(const char* text, int length, VexaTextConverterFn converter) {
    RecordBrowserOutput(text, length, converter);
}

[[maybe_unused]] const bool g_installed = [] {
    hosting::DxApiBridge bridge;
    bridge.isUtf8Mode = &IsUTF8mode;
    bridge.postOutput = &PostVexaOutput;
    bridge.recordBrowserOutput = &RecordBrowser;
    bridge.outputLanguage = &OutputLanguageOrEmpty;
    bridge.stopReceiveXdApiThread = &StopReceiveXdApiThread;
    hosting::SetDxApiBridge(bridge);
    return true;
}();

}  // namespace
