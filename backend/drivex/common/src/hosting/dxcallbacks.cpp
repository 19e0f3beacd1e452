#include "hosting/dxcallbacks.h"

#include <mutex>
#include <string>

#include "hosting/consolelink.h"
#include "hosting/dxapibridge.h"
#include "hosting/dxstartup.h"
#include "hosting/linefeedslot.h"
#include "runtime/dxglobal.h"
#include "runtime/dxtracer.h"
#include "runtime/vexadxconfigreader.h"
#include "transport/xpipemanager.h"

namespace hosting {

namespace {

// Entries are C functions of the language's ABI: nothing may be thrown
// through them.
template <class Result, class Body>
Result Shielded(Result fallback, Body body) noexcept {
    try {
        return body();
    } catch (...) {
        DxTrace("A language callback failed with an exception.");
        return fallback;
    }
}

int AppModeEntry() { return GetAppMode(); }

int IsUtf8ModeEntry() { return BridgeIsUtf8Mode(); }

const char* VersionEntry() {
    static std::once_flag once;
    static std::string* version = new std::string;
    return Shielded<const char*>("", [] {
        std::call_once(once, [] { *version = VexaDXConfigReader::GetInstance()->GetVersion(); });
        return version->c_str();
    });
}

const char* TempDirectoryEntry() {
    XPipeManager* manager = GetXPipeManager();
    return manager ? manager->getPipePath().c_str() : "";
}

int NestingIndexEntry() {
    return Shielded(-1, [] {
        XPipeManager* manager = GetXPipeManager();
        return manager ? manager->getPipeSuit(GetXName())->getIndex() : -1;
    });
}

void TraceEntry(const char* text) {
    Shielded(0, [text] {
        if (text) DxTrace(text);
        return 0;
    });
}

int TakeLineEntry(char* buffer, int size) {
    return Shielded(1, [=] { return LineFeedSlot::Instance().TakeLine(buffer, size); });
}

int FeedLineEntry(const char* text) {
    return Shielded(0, [=] { return LineFeedSlot::Instance().FeedText(text); });
}

int OpenConsoleEntry() {
    return Shielded(int{ConsoleLink::kConsoleNotStarted}, [] { return ConsoleLinks::Open(); });
}

int CloseConsoleEntry() {
    return Shielded(0, [] { return ConsoleLinks::Close(); });
}

int WriteConsoleEntry(const char* text, int length) {
    return Shielded(int{ConsoleLink::kNotOpen}, [=] { return ConsoleLinks::Write(text, length); });
}

int ReadConsoleEntry(char* buffer, int size) {
    return Shielded(int{ConsoleLink::kNotOpen}, [=] { return ConsoleLinks::Read(buffer, size); });
}

void RecordBrowserOutputEntry(const char* text, int length, VexaTextConverterFn converter) {
    BridgeRecordBrowserOutput(text, length, converter);
}

int PostOutputEntry(const char* text, int length) { return BridgePostOutput(text, length); }

void RaiseSubmitDepthEntry() { LineFeedSlot::Instance().RaiseSubmitDepth(); }

int LowerSubmitDepthEntry() { return LineFeedSlot::Instance().LowerSubmitDepth(); }

}  // namespace

// Every request would refill the table with the same pointers, so it is
// filled once; a language may read it while another host asks for it.
VexaDxCallbacks* GetDxCallBackTable() {
    static VexaDxCallbacks table{&AppModeEntry,
                                 &IsUtf8ModeEntry,
                                 &VersionEntry,
                                 &TempDirectoryEntry,
                                 &NestingIndexEntry,
                                 &TraceEntry,
                                 &TakeLineEntry,
                                 &FeedLineEntry,
                                 &OpenConsoleEntry,
                                 &CloseConsoleEntry,
                                 &WriteConsoleEntry,
                                 &ReadConsoleEntry,
                                 &RecordBrowserOutputEntry,
                                 &PostOutputEntry,
                                 &RaiseSubmitDepthEntry,
                                 &LowerSubmitDepthEntry};
    return &table;
}

}  // namespace hosting
