// A read-cursor pass over 1,000,000 cases by 10 numeric variables (80 MB of
// case data) against the reference engine, against the raw transfer of the
// same bytes in 8192-byte packets between two processes; local value reads
// inside one block; the client's peak resident memory during a pass; the
// engine's DESCRIBE of the same data against the pass; and the pass over
// datasets of 10,000 to 1,000,000 cases, for its scaling.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <string>
#include <vector>

#include "benchengine.h"
#include "benchmain.h"
#include "vexaxd_p.h"

namespace {

constexpr long kCases = 1000000;
constexpr int kVariables = 10;
constexpr long kCaseBytes = kVariables * 8;
constexpr long kPassBytes = kCases * kCaseBytes;

benchengine::Session& Engine(long cases = kCases) {
    return benchengine::Session::Get(cases, kVariables);
}

// The highest peak of any pass.
long g_passPeakKiB = 0;

void BM_RawTransfer(benchmark::State& state) {
    benchmain::RawBulkTransfer(state, kPassBytes, "cursor");
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
    const benchmain::TreeCpu cpu(state);
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

// The engine's own DESCRIBE of the same 10 variables, submitted as syntax:
// the statistics of a cursor pass computed where the data is.
void BM_Describe(benchmark::State& state) {
    if (!Engine().running()) {
        state.SkipWithError("engine did not start");
        return;
    }
    std::string command = "DESCRIBE VARIABLES=";
    for (int v = 0; v < kVariables; ++v) command += " x" + std::to_string(v);
    command += ".";
    for (auto _ : state) {
        if (Submit(command.data(), static_cast<int>(command.size())) != 0) {
            state.SkipWithError("DESCRIBE failed");
            return;
        }
    }
    state.SetBytesProcessed(state.iterations() * kPassBytes);
}
BENCHMARK(BM_Describe)->UseRealTime()->Unit(benchmark::kMillisecond);

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

// Arg 0 as for BM_CursorPass; arg 1: the cases of the dataset. A new size
// restarts the engine over its own data file, outside the timing.
void BM_CursorScaling(benchmark::State& state) {
    const bool read = state.range(0) != 0;
    const long expected = state.range(1);
    if (!Engine(expected).running() || StartProcedure("bench", nullptr) != 0) {
        state.SkipWithError("engine or procedure did not start");
        return;
    }
    // The first pass of a new engine also pays for its first use of memory.
    long cases = 0;
    Pass(cases, read);
    for (auto _ : state) benchmark::DoNotOptimize(Pass(cases, read));
    EndProcedure();
    if (cases != expected) state.SkipWithError("the pass did not see every case");
    state.SetItemsProcessed(state.iterations() * expected);
}
// Both kinds of pass per size, largest first, so the engine starts once per
// size and the first reuses the one of the passes above.
BENCHMARK(BM_CursorScaling)
    ->ArgsProduct({{0, 1}, {1000000, 850000, 700000, 550000, 400000, 250000, 100000, 10000}})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    return benchmain::Main(argc, argv, benchengine::Session::StopAny);
}
