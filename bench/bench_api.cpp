// The 52-byte API round trip (GetVariableCount against the reference engine,
// started through the library) against a raw sequenced-packet request/reply
// of the same sizes between two processes.
#include <benchmark/benchmark.h>

#include <string>

#include "ratioreporter.h"
#include "rawseqpacket.h"
#include "vexaxd_p.h"

namespace {

constexpr int kRequestImage = 52;
constexpr int kReplyImage = 56;  // one integer in the reply

std::string RawPipe(const char* tag) {
    return "/tmp/vexa-pipes-" + std::to_string(::geteuid()) + "/benchapi" + std::to_string(::getpid()) + tag;
}

void BM_RawRequestReply(benchmark::State& state) {
    rawseqpacket::Client client;
    if (!client.Open(RawPipe("req"), RawPipe("rep"), kReplyImage)) {
        state.SkipWithError("peer did not start");
        return;
    }
    char image[kRequestImage] = {kRequestImage};
    char buffer[8192];
    for (auto _ : state) client.RoundTrip(image, kRequestImage, buffer, sizeof buffer);
}
BENCHMARK(BM_RawRequestReply)->UseRealTime();

#ifdef VEXA_ENGINE_HOME
void BM_GetVariableCount(benchmark::State& state) {
    const std::string arguments = std::string("-vexahome=") + VEXA_ENGINE_HOME;
    if (StartVexa(arguments.c_str()) != 0) {
        state.SkipWithError("engine did not start");
        return;
    }
    int err = 0;
    for (auto _ : state) benchmark::DoNotOptimize(GetVariableCount(&err));
    if (err != 0) state.SkipWithError("call failed");
    StopVexa();
}
BENCHMARK(BM_GetVariableCount)->UseRealTime();
#endif

}  // namespace

int main(int argc, char** argv) {
    int peerExit = 0;
    if (rawseqpacket::RunPeerIfAsked(argc, argv, peerExit)) return peerExit;
    RatioReporter reporter;
    if (!RunBenchmarks(argc, argv, reporter)) return 1;
    reporter.PrintRatio("BM_GetVariableCount", "BM_RawRequestReply", 1.3);
    return 0;
}
