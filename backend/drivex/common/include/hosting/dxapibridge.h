// The exported functions of the API that hosting hands to language
// libraries. They live in the shared library, above this static one, so the
// shared library fills this table when it is loaded; a program that links
// only the static library gets the stand-ins below.
#pragma once

#include "hosting/vexalanguage.h"

namespace hosting {

struct DxApiBridge {
    int (*isUtf8Mode)() = nullptr;
    int (*postOutput)(const char* text, int length) = nullptr;
    void (*recordBrowserOutput)(const char* text, int length,
                                VexaTextConverterFn converter) = nullptr;
    // The engine's output language; empty when it cannot be asked.
    const char* (*outputLanguage)() = nullptr;
    int (*stopReceiveXdApiThread)() = nullptr;
};

void SetDxApiBridge(const DxApiBridge& bridge);

// Without a bridge: not Unicode, output refused with VEXA_ENGINE_NOT_RUNNING,
// browser records dropped, no output language.
int BridgeIsUtf8Mode();
int BridgePostOutput(const char* text, int length);
void BridgeRecordBrowserOutput(const char* text, int length, VexaTextConverterFn converter);
const char* BridgeOutputLanguage();
// Without a bridge: 0, there is no API thread to stop.
int BridgeStopReceiveXdApiThread();

}  // namespace hosting
