// A read-cursor pass over 1,000,000 cases by 10 numeric variables (80 MB of
// case data) against the reference engine, against the raw transfer of the
// same bytes in 8192-byte packets between two processes; local value reads
// inside one block; the client's peak resident memory during a pass.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "benchengine.h"
#include "ratioreporter.h"
#include "rawseqpacket.h"
#include "vexaxd_p.h"

namespace {

constexpr long kCases = 1000000;
constexpr int kVariables = 10;
constexpr long kCaseBytes = kVariables * 8;
constexpr long kPassBytes = kCases * kCaseBytes;

std::string RawPipe(const char* tag) {
    return "/tmp/vexa-pipes-" + std::to_string(::geteuid()) + "/benchcursor" + std::to_string(::getpid()) + tag;
}

benchengine::Session& Engine() { return benchengine::Session::Get(kCases, kVariables); }

// The highest peak of any pass.
long g_passPeakKiB = 0;

void BM_RawTransfer(benchmark::State& state) {
    const long packets = (kPassBytes + rawseqpacket::kBulkPacket - 1) / rawseqpacket::kBulkPacket;
    rawseqpacket::Client client;
    if (!client.Open(RawPipe("req"), RawPipe("rep"), packets, "--bulk-peer")) {
        state.SkipWithError("peer did not start");
        return;
    }
    std::vector<char> buffer(rawseqpacket::kBulkPacket);
    for (auto _ : state) benchmark::DoNotOptimize(client.Transfer(packets, buffer.data(), buffer.size()));
    state.SetBytesProcessed(state.iterations() * packets * rawseqpacket::kBulkPacket);
}
BENCHMARK(BM_RawTransfer)->UseRealTime()->Unit(benchmark::kMillisecond);

// One pass: every case, and every value read when `read` is set.
double Pass(long& cases, bool read = true) {
    double sum = 0;
    cases = 0;
    if (MakeCaseCursor("r") != 0) return sum;
    while (NextCase() == 0) {
        ++cases;
        for (int v = 0; read && v < kVariables; ++v) {
            double value = 0;
            int missing = 0;
            GetNumericValue(v, &value, &missing);
            sum += value;
        }
    }
    RemoveCaseCursor();
    return sum;
}

void BM_CursorPass(benchmark::State& state) {
    const bool read = state.range(0) != 0;
    if (!Engine().running() || StartProcedure("bench", nullptr) != 0) {
        state.SkipWithError("engine or procedure did not start");
        return;
    }
    long cases = 0;
    for (auto _ : state) {
        benchengine::ResetPeakResident();
        benchmark::DoNotOptimize(Pass(cases, read));
        g_passPeakKiB = std::max(g_passPeakKiB, benchengine::PeakResidentKiB());
    }
    EndProcedure();
    if (cases != kCases) state.SkipWithError("the pass did not see every case");
    state.SetBytesProcessed(state.iterations() * kPassBytes);
    state.counters["peak_rss_MiB"] = static_cast<double>(g_passPeakKiB) / 1024.0;
}
// Arg 0: cases only, the share of the block transfer; arg 1: every value read.
BENCHMARK(BM_CursorPass)->Arg(0)->Arg(1)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_LocalValueReads(benchmark::State& state) {
    if (!Engine().running() || StartProcedure("bench", nullptr) != 0 || MakeCaseCursor("r") != 0 ||
        NextCase() != 0) {
        state.SkipWithError("no case to read");
        return;
    }
    double value = 0;
    int missing = 0;
    for (auto _ : state) {
        for (int v = 0; v < kVariables; ++v) GetNumericValue(v, &value, &missing);
        benchmark::DoNotOptimize(value);
    }
    state.SetItemsProcessed(state.iterations() * kVariables);
    RemoveCaseCursor();
    EndProcedure();
}
BENCHMARK(BM_LocalValueReads)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    int peerExit = 0;
    if (rawseqpacket::RunPeerIfAsked(argc, argv, peerExit)) return peerExit;
    RatioReporter reporter;
    if (!RunBenchmarks(argc, argv, reporter)) return 1;
    Engine().Stop();
    reporter.PrintRatio("BM_CursorPass/0", "BM_RawTransfer", 1.5);
    reporter.PrintRatio("BM_CursorPass/1", "BM_RawTransfer", 1.5);
    const double perRead = reporter.seconds("BM_LocalValueReads") / kVariables;
    if (perRead > 0) std::printf("local value reads: %.0f million per second (target >= 100)\n", 1e-6 / perRead);
    std::printf("client peak resident memory during a pass: %.1f MiB (target <= 60)\n",
                static_cast<double>(g_passPeakKiB) / 1024.0);
    return 0;
}
