// The process's diagnostic log. One writer per process, installed in the global
// state; a writer that was never opened drops every line. Takes no lock: each
// line is written and flushed in one call sequence.
#pragma once

#include <fstream>
#include <memory>
#include <mutex>
#include <string>

class DxTracer {
  public:
    DxTracer() = default;
    DxTracer(const DxTracer&) = delete;
    DxTracer& operator=(const DxTracer&) = delete;

    // Truncates the file and writes the banner; an empty path opens nothing.
    void open(const std::string& path);
    void write(const std::string& text);
    bool isOpen() const {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_output != nullptr;
    }

    void setXName(const std::string& name);
    std::string getXName() const;

  private:
    // Lines come from every thread of the process (drivers, monitors,
    // command threads); one line is written whole at a time.
    mutable std::mutex m_lock;
    std::string m_name;
    std::unique_ptr<std::ofstream> m_output;
};

// Free functions every component writes through; they reach the installed writer.
void DxTrace(const std::string& text);
void DxTraceError(const std::string& text, int code);

// Installed writer of the process (owned by the global state).
DxTracer* GetDxTracer();
void SetDxTracer(DxTracer* tracer);
