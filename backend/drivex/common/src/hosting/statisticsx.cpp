#include "hosting/statisticsx.h"

#include "runtime/dxtracer.h"
#include "runtime/statuscodes.h"

int StatisticsX::init_embedded_x(int argc, char** argv) {
    if (m_initialised && !m_r) return 0;
    if (m_r) {
        m_initialised = true;
        DxTrace("StatisticsX::init_embedded_R");
    }
    const int status = m_vexaDrive ? x_init_embedded_x(argc, argv) : 0;
    m_initialised = status == 0;
    DxTraceError("StatisticsX::init_embedded_x", status);
    return status;
}

int StatisticsX::execute_x(const char* text) {
    int status = VEXA_LANGUAGE_NOT_INITIALISED;
    if (m_initialised) {
        m_running = true;
        status = x_execute_x(text);
        m_running = false;
    }
    DxTraceError("StatisticsX::execute_x", status);
    return status;
}

int StatisticsX::stop_embedded_x() {
    const int status = m_initialised && m_vexaDrive ? x_stop_embedded_x() : 0;
    m_initialised = false;
    DxTraceError("StatisticsX::stop_embedded_x", status);
    return status;
}

int StatisticsX::pre_action() {
    const int status = m_initialised ? x_pre_action() : VEXA_LANGUAGE_NOT_INITIALISED;
    DxTraceError("StatisticsX::pre_action", status);
    return status;
}

int StatisticsX::post_action() {
    const int status = m_initialised ? x_post_action() : VEXA_LANGUAGE_NOT_INITIALISED;
    DxTraceError("StatisticsX::post_action", status);
    return status;
}

void StatisticsX::set_post_vexa_output(VexaPostOutputFn output) {
    x_set_post_vexa_output(output);
    DxTrace("StatisticsX::x_set_post_vexa_output");
}

void StatisticsX::setup_dxcallback(VexaDxCallbacks* table) {
    x_setup_dxcallback(table);
    DxTrace("StatisticsX::setup_dxcallback");
}
