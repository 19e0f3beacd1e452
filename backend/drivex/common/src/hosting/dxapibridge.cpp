#include "hosting/dxapibridge.h"

#include <atomic>

#include "runtime/statuscodes.h"

namespace hosting {

namespace {

// Filled once at load time; read from any thread.
std::atomic<const DxApiBridge*> g_bridge{nullptr};

const DxApiBridge* Bridge() { return g_bridge.load(std::memory_order_acquire); }

}  // namespace

void SetDxApiBridge(const DxApiBridge& bridge) {
    static DxApiBridge installed;
    installed = bridge;
    g_bridge.store(&installed, std::memory_order_release);
}

int BridgeIsUtf8Mode() {
    const DxApiBridge* bridge = Bridge();
    return bridge && bridge->isUtf8Mode ? bridge->isUtf8Mode() : 0;
}

int BridgePostOutput(const char* text, int length) {
    const DxApiBridge* bridge = Bridge();
    return bridge && bridge->postOutput ? bridge->postOutput(text, length)
                                        : VEXA_ENGINE_NOT_RUNNING;
}

void BridgeRecordBrowserOutput(const char* text, int length, VexaTextConverterFn converter) {
    const DxApiBridge* bridge = Bridge();
    if (bridge && bridge->recordBrowserOutput) bridge->recordBrowserOutput(text, length, converter);
}

const char* BridgeOutputLanguage() {
    const DxApiBridge* bridge = Bridge();
    const char* language = bridge && bridge->outputLanguage ? bridge->outputLanguage() : nullptr;
    return language ? language : "";
}

int BridgeStopReceiveXdApiThread() {
    const DxApiBridge* bridge = Bridge();
    return bridge && bridge->stopReceiveXdApiThread ? bridge->stopReceiveXdApiThread() : 0;
}

}  // namespace hosting
