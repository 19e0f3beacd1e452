// The reference engine for a benchmark program: a generated numeric data file
// (written once, kept for later runs) and one engine session over it for the
// whole run, started on first use. For one calling thread.
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
    const std::string path =
        "/tmp/vexa-bench-cursor-" + std::to_string(cases) + "x" + std::to_string(variables) + ".csv";
    if (std::ifstream(path).good()) return path;
    const std::string partial = path + ".part" + std::to_string(::getpid());
    std::FILE* file = std::fopen(partial.c_str(), "w");
    if (!file) return {};
    for (int v = 0; v < variables; ++v) std::fprintf(file, v ? ",x%d" : "x%d", v);
    std::fputc('\n', file);
    for (long c = 0; c < cases; ++c) {
        for (int v = 0; v < variables; ++v) std::fprintf(file, v ? ",%.2f" : "%.2f", (c % 1000) * 0.25 + v);
        std::fputc('\n', file);
    }
    std::fclose(file);
    std::rename(partial.c_str(), path.c_str());
    return path;
}

class Session {
public:
    static Session& Get(long cases, int variables) {
        static Session session(cases, variables);
        return session;
    }
    bool running() const { return m_started == 0; }
    void Stop() {
        if (m_started == 0) StopVexa();
        m_started = -1;
    }

private:
    Session(long cases, int variables) {
        const std::string data = DataFile(cases, variables);
        const std::string arguments = std::string("-vexahome=") + VEXA_ENGINE_HOME + ", -datafile=" + data;
        m_started = data.empty() ? -1 : StartVexa(arguments.c_str());
    }
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
