#include "runtime/dxtracer.h"

#include <atomic>
#include <cstdio>
#include <ctime>

namespace {
constexpr const char kBanner[] =
    "****************************************TRACE BEGIN"
    "****************************************\n";

std::atomic<DxTracer*> g_tracer{nullptr};
}  // namespace

void DxTracer::setXName(const std::string& name) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_name = name;
}

std::string DxTracer::getXName() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_name;
}

void DxTracer::open(const std::string& path) {
    if (path.empty()) return;
    std::lock_guard<std::mutex> guard(m_lock);
    // Binary: the same bytes, "\n" line ends included, on every platform.
    m_output =
        std::make_unique<std::ofstream>(path, std::ios::out | std::ios::trunc | std::ios::binary);
    *m_output << kBanner;
    m_output->flush();
}

void DxTracer::write(const std::string& text) {
    std::lock_guard<std::mutex> guard(m_lock);
    if (!m_output) return;
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[100];
    size_t length = std::strftime(stamp, sizeof stamp, "%x %X ", &local);
    std::string line(stamp, length);
    line += m_name;
    line += ">>";
    line += text;
    line += '\n';
    m_output->write(line.data(), static_cast<std::streamsize>(line.size()));
    m_output->flush();
}

void DxTrace(const std::string& text) {
    if (DxTracer* tracer = g_tracer.load()) tracer->write(text);
}

void DxTraceError(const std::string& text, int code) {
    DxTracer* tracer = g_tracer.load();
    if (!tracer) return;
    char suffix[48];
    std::snprintf(suffix, sizeof suffix, " error code : %d.", code);
    tracer->write(text + suffix);
}

DxTracer* GetDxTracer() { return g_tracer.load(); }
void SetDxTracer(DxTracer* tracer) { g_tracer.store(tracer); }
