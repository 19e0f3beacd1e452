// What the benchmark programs share: their main (a raw peer when started as
// one, else the registered benchmarks) and the raw bulk-transfer baseline.
#pragma once

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "rawseqpacket.h"

namespace benchmain {

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
