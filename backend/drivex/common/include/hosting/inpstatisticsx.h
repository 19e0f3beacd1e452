// The in-process host: loads the language's own library (the section's
// "LIB_NAME", relative to the engine home) and forwards each operation to
// one of its seven entry points. A host whose library failed to load
// answers every forwarded call with the status of that failure.
#pragma once

#include <atomic>
#include <memory>

#include "hosting/statisticsx.h"
#include "runtime/plugindynamicloadedlibrary.h"

class XConfigOptions;

class InpStatisticsX : public StatisticsX {
  public:
    // Loads the library at once; the options are not owned.
    InpStatisticsX(XConfigOptions* options, bool vexaDrive);
    ~InpStatisticsX() override;

    int loadXlib();
    // The result of the last load step or forwarded call.
    int lastStatus() const { return m_lastStatus; }

    // From any thread: asks the language whose library is loaded in this
    // process to interrupt the text it runs, through the library's optional
    // "interrupt_x". False when no loaded library has one. A process loads
    // one language library for blocks, so this is process-wide.
    static bool InterruptRunningText();
    // The same for this host's own library, for a process that loads several
    // (the engine): false when it has no "interrupt_x".
    bool interruptText() const;

  protected:
    int x_init_embedded_x(int argc, char** argv) override;
    int x_execute_x(const char* text) override;
    int x_stop_embedded_x() override;
    int x_pre_action() override;
    int x_post_action() override;
    void x_setup_dxcallback(VexaDxCallbacks* table) override;
    void x_set_post_vexa_output(VexaPostOutputFn output) override;

  private:
    void PutEnvironment();
    void LookUpEntryPoints();
    // The call's result when the entry point exists, else the last status.
    template <class Entry, class... Args>
    int Forward(Entry entry, Args... args);

    // The interrupt entry of the library loaded last, cleared before it goes.
    static std::atomic<VexaInterruptFn> s_interrupt;

    VexaSetupDxCallbackFn m_setupDxCallback = nullptr;
    VexaInterruptFn m_interrupt = nullptr;
    VexaInitEmbeddedFn m_initEmbedded = nullptr;
    VexaExecuteFn m_execute = nullptr;
    VexaStatusFn m_stopEmbedded = nullptr;
    VexaSetPostOutputFn m_setPostOutput = nullptr;
    VexaStatusFn m_preAction = nullptr;
    VexaStatusFn m_postAction = nullptr;

    XConfigOptions* m_options;
    std::unique_ptr<PlugInDynamicLoadedLibrary> m_library;
    int m_lastStatus = 0;
};
