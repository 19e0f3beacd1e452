// A language host: stands for one external language inside the process that
// runs it. The public operations keep the host's state, refuse work before
// initialisation and trace; the language work is done by the virtual x_
// operations of a concrete host. The running flag may be read from another
// thread while program text runs; everything else belongs to the driver
// thread.
#pragma once

#include <atomic>

#include "hosting/vexalanguage.h"

class StatisticsX {
  public:
    explicit StatisticsX(bool vexaDrive) : m_vexaDrive(vexaDrive) {}
    StatisticsX(const StatisticsX&) = delete;
    StatisticsX& operator=(const StatisticsX&) = delete;
    // A concrete host's destructor stops the language first (see StopOnDestroy).
    virtual ~StatisticsX() = default;

    int init_embedded_x(int argc, char** argv);
    int execute_x(const char* text);
    int stop_embedded_x();
    int pre_action();
    int post_action();
    void set_post_vexa_output(VexaPostOutputFn output);
    void setup_dxcallback(VexaDxCallbacks* table);
    int get_library_lock() { return x_get_library_lock(); }
    int release_library_lock() { return x_release_library_lock(); }

    // The engine drives the language, so the host starts and stops its runtime.
    bool isVexaDrive() const { return m_vexaDrive; }
    bool isIntialized() const { return m_initialised; }
    void setIntialized(bool initialised) { m_initialised = initialised; }
    bool isRunning() const { return m_running.load(); }
    bool hasLock() const { return m_lock; }
    void setLock(bool lock) { m_lock = lock; }
    // R's runtime initialises itself; the host only marks it.
    bool isR() const { return m_r; }
    void setR(bool r) { m_r = r; }

  protected:
    virtual int x_init_embedded_x(int argc, char** argv) = 0;
    virtual int x_execute_x(const char* text) = 0;
    virtual int x_stop_embedded_x() = 0;
    virtual int x_pre_action() = 0;
    virtual int x_post_action() = 0;
    virtual void x_setup_dxcallback(VexaDxCallbacks*) {}
    virtual void x_set_post_vexa_output(VexaPostOutputFn) {}
    virtual int x_get_library_lock() { return 0; }
    virtual int x_release_library_lock() { return 0; }

    // Virtual calls do not reach a derived class from the base destructor,
    // so each concrete host calls this from its own.
    void StopOnDestroy() { stop_embedded_x(); }

  private:
    const bool m_vexaDrive;
    bool m_initialised = false;
    std::atomic<bool> m_running{false};
    bool m_lock = false;
    bool m_r = false;
};
