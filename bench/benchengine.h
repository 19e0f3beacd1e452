// The reference engine for a benchmark program: a generated numeric data file
// (written once, kept for later runs) and one engine session over it, started
// on first use and kept while the program asks for the same data. For one
// calling thread.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "vexaxd_p.h"

namespace benchengine {

// `cases` rows by `variables` numeric columns x0, x1, ...; empty when it
// cannot be written.
inline std::string DataFile(long cases, int variables) {
    const std::string path = "/tmp/vexa-bench-cursor-" + std::to_string(cases) + "x" +
                             std::to_string(variables) + ".csv";
    if (std::ifstream(path).good()) return path;
    const std::string partial = path + ".part" + std::to_string(::getpid());
    std::FILE* file = std::fopen(partial.c_str(), "w");
    if (!file) return {};
    for (int v = 0; v < variables; ++v) std::fprintf(file, v ? ",x%d" : "x%d", v);
    std::fputc('\n', file);
    for (long c = 0; c < cases; ++c) {
        for (int v = 0; v < variables; ++v)
            std::fprintf(file, v ? ",%.2f" : "%.2f", (c % 1000) * 0.25 + v);
        std::fputc('\n', file);
    }
    const bool written = std::fclose(file) == 0;
    if (!written || std::rename(partial.c_str(), path.c_str()) != 0) {
        std::remove(partial.c_str());
        return {};
    }
    return path;
}

// The library drives one engine per process, so there is one session: asking
// for other data stops the running engine and starts one over that data.
class Session {
  public:
    // cases == 0 asks for the engine's bundled sample.
    static Session& Get(long cases = 0, int variables = 0) {
        static Session session;
        session.Use(cases, variables);
        return session;
    }
    // Stops the engine, if any, so the caller may start and stop its own.
    static void StopAny() { Get(-1, 0); }

    bool running() const { return m_started == 0; }

    ~Session() { Stop(); }

  private:
    Session() = default;
    void Stop() {
        if (m_started == 0) StopVexa();
        m_started = -1;
    }
    void Use(long cases, int variables) {
        if (cases == m_cases && variables == m_variables) return;
        Stop();
        m_cases = cases;
        m_variables = variables;
        if (cases < 0) return;
        std::string arguments = std::string("-vexahome=") + VEXA_ENGINE_HOME;
        if (cases > 0) {
            const std::string data = DataFile(cases, variables);
            if (data.empty()) return;
            arguments += ", -datafile=" + data;
        }
        m_started = StartVexa(arguments.c_str());
    }

    long m_cases = -1;
    int m_variables = 0;
    int m_started = -1;
};

// Peak resident memory of this process in KiB, -1 when unknown.
inline long PeakResidentKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    }
    return -1;
}

// Starts a new high-water mark of resident memory.
inline void ResetPeakResident() { std::ofstream("/proc/self/clear_refs") << "5"; }

}  // namespace benchengine
