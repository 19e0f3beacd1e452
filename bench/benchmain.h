// What the benchmark programs share: their main (a raw peer when started as
// one, else the registered benchmarks) and the raw bulk-transfer baseline.
#pragma once

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "rawseqpacket.h"

namespace benchmain {

// CPU seconds used so far by this process and its live children (an engine,
// a raw peer): on a shared machine the pass's own cost, where real time also
// counts other programs' turns.
inline double TreeCpuSeconds() {
    rusage self{};
    ::getrusage(RUSAGE_SELF, &self);
    auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    double total = seconds(self.ru_utime) + seconds(self.ru_stime);
    const double tick = static_cast<double>(::sysconf(_SC_CLK_TCK));
    const pid_t me = ::getpid();
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename();
        if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        if (!std::getline(stat, line)) continue;
        // Fields after the parenthesised name: state, ppid, ... utime (14), stime (15).
        std::istringstream rest(line.substr(line.rfind(')') + 2));
        std::string field;
        long ppid = 0;
        double utime = 0, stime = 0;
        rest >> field >> ppid;
        for (int k = 5; k <= 13; ++k) rest >> field;
        rest >> utime >> stime;
        if (ppid == me) total += (utime + stime) / tick;
    }
    return total;
}

// Reports the CPU milliseconds per iteration of the process tree as `cpu_tree_ms`.
class TreeCpu {
  public:
    explicit TreeCpu(benchmark::State& state) : m_state(state), m_start(TreeCpuSeconds()) {}
    ~TreeCpu() {
        if (m_state.iterations() == 0) return;
        m_state.counters["cpu_tree_ms"] =
            (TreeCpuSeconds() - m_start) * 1e3 / static_cast<double>(m_state.iterations());
    }
    TreeCpu(const TreeCpu&) = delete;
    TreeCpu& operator=(const TreeCpu&) = delete;

  private:
    benchmark::State& m_state;
    double m_start;
};

// Baseline body: `bytes` in bulk packets from a peer process per iteration,
// over sockets named after `tag` in the scratch directory.
inline void RawBulkTransfer(benchmark::State& state, long bytes, const std::string& tag) {
    const long packets = (bytes + rawseqpacket::kBulkPacket - 1) / rawseqpacket::kBulkPacket;
    const std::string directory = rawseqpacket::ScratchDirectory();
    rawseqpacket::Client client;
    if (!client.Open(directory + "/" + tag + "req", directory + "/" + tag + "rep", packets,
                     "--bulk-peer")) {
        state.SkipWithError("peer did not start");
        return;
    }
    std::vector<char> buffer(rawseqpacket::kBulkPacket);
    const TreeCpu cpu(state);
    for (auto _ : state)
        benchmark::DoNotOptimize(client.Transfer(packets, buffer.data(), buffer.size()));
    state.SetBytesProcessed(state.iterations() * packets * rawseqpacket::kBulkPacket);
}

// `afterwards` runs once the benchmarks are done (an engine to stop, say).
inline int Main(int argc, char** argv, void (*afterwards)() = nullptr) {
    int peerExit = 0;
    if (rawseqpacket::RunPeerIfAsked(argc, argv, peerExit)) return peerExit;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (afterwards) afterwards();
    return 0;
}

}  // namespace benchmain
