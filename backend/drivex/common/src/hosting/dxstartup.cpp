#include "hosting/dxstartup.h"

#include <memory>

#include "hosting/xmanager.h"
#include "platform/localchannel.h"
#include "runtime/dxglobal.h"
#include "runtime/dxtracer.h"
#include "runtime/keptalive.h"
#include "runtime/vexadxconfigreader.h"
#include "transport/xpipemanager.h"

namespace {

struct OwnedState {
    std::unique_ptr<XManager> registry;
    std::unique_ptr<XPipeManager> pipes;
    std::unique_ptr<DxTracer> tracer;
    JavaPlugInSocket* javaSocket = nullptr;
};

// Deliberately never destroyed: threads and the farewell at unload may still
// reach these objects while static destructors run.
OwnedState& State() {
    static OwnedState* state = new OwnedState;
    return *state;
}

void OpenTraceWriterOnce(const std::string& languageName) {
    OwnedState& state = State();
    // A writer the host installed before the first start is kept.
    if (state.tracer || GetDxTracer()) return;
    std::string directory = VexaDXConfigReader::GetInstance()->GetTracePath();
    state.tracer = std::make_unique<DxTracer>();
    if (!directory.empty()) {
        DecoratePathEnd(directory);
        state.tracer->open(directory + languageName + "_trace.log");
    }
    SetDxTracer(state.tracer.get());
}

}  // namespace

int InitDxGlobal(const std::string& tempPath, const std::string& pidText,
                 const std::string& languageName, const std::string& engineHome) {
    if (IsDXGlobalInit()) return 0;
    SetInStat(false);
    SetXName(languageName);
    if (!engineHome.empty()) SetVEXAHOME(engineHome.c_str());
    SetXManager(new XManager);
    SetXPipeManager(new XPipeManager(tempPath, pidText));
    OpenTraceWriterOnce(languageName);
    SetDXGlobalInitFin(true);
    DxTrace("InitDxGlobal>tempPath:" + tempPath);
    DxTrace("InitDxGlobal>pid:" + pidText);
    DxTrace("InitDxGlobal>xname:" + languageName);
    DxTrace("InitDxGlobal>vexaHome:" + engineHome);
    return 0;
}

void FinalizeDXGlobal() { hosting::FinalizeDXGlobalWithin(XManager::kDriverEndLimitMs); }

bool hosting::FinalizeDXGlobalWithin(unsigned milliseconds) {
    XManager* registry = GetXManager();
    const bool released = !registry || (registry->cleanup(milliseconds) && !registry->leftBehind());
    runtime::ClearXName();
    SetAppMode(-1);
    SetXManager(nullptr);
    // A thread left in its language works on its level's pipes; only their
    // socket files go, so that none is left behind in the pipe directory.
    if (released) {
        SetXPipeManager(nullptr);
    } else {
        runtime::KeepAliveForGood(std::move(State().pipes));
        platform::RemoveOwnChannels();
    }
    SetDXGlobalInitFin(false);
    return released;
}

XManager* GetXManager() { return State().registry.get(); }
void SetXManager(XManager* manager) {
    if (manager != State().registry.get()) State().registry.reset(manager);
}
XPipeManager* GetXPipeManager() { return State().pipes.get(); }
void SetXPipeManager(XPipeManager* manager) {
    if (manager != State().pipes.get()) State().pipes.reset(manager);
}
JavaPlugInSocket* GetJavaExtSocket() { return State().javaSocket; }
void SetavaExtSocket(JavaPlugInSocket* socket) { State().javaSocket = socket; }
