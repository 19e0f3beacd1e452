#include "hosting/inpstatisticsx.h"

#include <string>

#include "platform/process.h"
#include "runtime/dxglobal.h"
#include "runtime/dxtracer.h"
#include "runtime/statuscodes.h"
#include "runtime/xconfigoptions.h"

namespace {

template <class Function>
bool LookUp(PlugInDynamicLoadedLibrary& library, const char* name, Function& entry) {
    entry = reinterpret_cast<Function>(library.GetSymbolAddress(name));
    return entry != nullptr;
}

}  // namespace

InpStatisticsX::InpStatisticsX(XConfigOptions* options, bool vexaDrive)
    : StatisticsX(vexaDrive), m_options(options) {
    loadXlib();
}

std::atomic<VexaInterruptFn> InpStatisticsX::s_interrupt{nullptr};

InpStatisticsX::~InpStatisticsX() {
    if (m_interrupt) {
        VexaInterruptFn own = m_interrupt;
        s_interrupt.compare_exchange_strong(own, nullptr);
    }
    StopOnDestroy();
}

bool InpStatisticsX::InterruptRunningText() {
    VexaInterruptFn interrupt = s_interrupt.load();
    if (!interrupt) return false;
    interrupt();
    return true;
}

bool InpStatisticsX::interruptText() const {
    if (!m_interrupt) return false;
    m_interrupt();
    return true;
}

int InpStatisticsX::loadXlib() {
    if (m_library) return m_lastStatus;
    const std::string* libName =
        m_options ? m_options->FindOption(XConfigOptions::KEY_LIB_NAME) : nullptr;
    if (!libName || libName->empty()) {
        m_lastStatus = VEXA_LANGUAGE_LIB_NAME_EMPTY;
        DxTrace("Configration file vexadxcfg.ini is invalid because the LIB_NAME is NULL.");
        return m_lastStatus;
    }
    PutEnvironment();
    std::string path = GetVEXAHOME();
    DecoratePathEnd(path);
    path = PlugInDecorateDynamicPathName(path + *libName);
    m_library = std::make_unique<PlugInDynamicLoadedLibrary>(path);
    if (m_library->LoadLibraryNow() != 0) {
        m_lastStatus = VEXA_LANGUAGE_LOAD_FAILED;
        DxTrace("Load library from " + path + " failed.");
        DxTrace(m_library->GetErrorString());
        m_library.reset();
        return m_lastStatus;
    }
    LookUpEntryPoints();
    return m_lastStatus;
}

// The language's own variables come first, so its library sees them from
// its very first initialiser on.
void InpStatisticsX::PutEnvironment() {
    for (const auto& [name, value] : m_options->GetXEnvVars()) {
        if (int error = platform::SetEnvironment(name, value)) {
            DxTraceError("Setting the environment variable " + name + " failed", error);
        }
    }
}

void InpStatisticsX::LookUpEntryPoints() {
    PlugInDynamicLoadedLibrary& library = *m_library;
    LookUp(library, "setup_dxcallback", m_setupDxCallback);
    const bool complete = LookUp(library, "init_embedded_x", m_initEmbedded) &&
                          LookUp(library, "execute_x", m_execute) &&
                          LookUp(library, "stop_embedded_x", m_stopEmbedded) &&
                          LookUp(library, "pre_action", m_preAction) &&
                          LookUp(library, "post_action", m_postAction);
    if (!complete) {
        m_lastStatus = VEXA_LANGUAGE_LOAD_FAILED;
        DxTrace(library.GetErrorString());
        return;
    }
    LookUp(library, "set_post_vexa_output", m_setPostOutput);
    if (LookUp(library, "interrupt_x", m_interrupt)) s_interrupt = m_interrupt;
}

template <class Entry, class... Args>
int InpStatisticsX::Forward(Entry entry, Args... args) {
    if (entry) m_lastStatus = entry(args...);
    return m_lastStatus;
}

int InpStatisticsX::x_init_embedded_x(int argc, char** argv) {
    return Forward(m_initEmbedded, argc, argv);
}
int InpStatisticsX::x_execute_x(const char* text) { return Forward(m_execute, text); }
int InpStatisticsX::x_stop_embedded_x() { return Forward(m_stopEmbedded); }
int InpStatisticsX::x_pre_action() { return Forward(m_preAction); }
int InpStatisticsX::x_post_action() { return Forward(m_postAction); }

void InpStatisticsX::x_setup_dxcallback(VexaDxCallbacks* table) {
    if (m_setupDxCallback) m_setupDxCallback(table);
}

void InpStatisticsX::x_set_post_vexa_output(VexaPostOutputFn output) {
    if (m_setPostOutput) m_setPostOutput(output);
}
