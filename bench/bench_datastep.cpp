// Row-by-row reads of a dataset in a data step with GetNCellValueOptimize
// against the cursor pass over the same 100,000 cases by 10 numeric
// variables, and one million queued SetNCellValue writes with their commit.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "benchengine.h"
#include "ratioreporter.h"
#include "vexaxd_p.h"

namespace {

constexpr long kCases = 100000;
constexpr int kVariables = 10;
constexpr long kCells = kCases * kVariables;
// Queued writes travel in messages of at most this many records.
constexpr long kRecordsPerFlush = 1048576;

benchengine::Session& Engine() { return benchengine::Session::Get(kCases, kVariables); }

// The name the engine gives the active dataset.
std::string ActiveName() {
    int err = 0;
    const char* name = GetActive(&err);
    return name ? name : "*";
}

void BM_CursorPass(benchmark::State& state) {
    if (!Engine().running() || StartProcedure("bench", nullptr) != 0) {
        state.SkipWithError("engine or procedure did not start");
        return;
    }
    long cells = 0;
    for (auto _ : state) {
        double sum = 0;
        cells = 0;
        if (MakeCaseCursor("r") != 0) break;
        while (NextCase() == 0) {
            for (int v = 0; v < kVariables; ++v, ++cells) {
                double value = 0;
                int missing = 0;
                GetNumericValue(v, &value, &missing);
                sum += value;
            }
        }
        RemoveCaseCursor();
        benchmark::DoNotOptimize(sum);
    }
    EndProcedure();
    if (cells != kCells) state.SkipWithError("the pass did not see every cell");
}
BENCHMARK(BM_CursorPass)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_OptimizePass(benchmark::State& state) {
    if (!Engine().running() || StartDataStep() != 0) {
        state.SkipWithError("engine or data step did not start");
        return;
    }
    const std::string name = ActiveName();
    long cells = 0;
    for (auto _ : state) {
        double sum = 0;
        cells = 0;
        ClearDatastepBatch();
        for (int row = 0; row < kCases; ++row) {
            for (int v = 0; v < kVariables; ++v) {
                int missing = 0, err = 0;
                sum += GetNCellValueOptimize(name.c_str(), row, v, &missing, &err);
                cells += err == 0;
            }
        }
        benchmark::DoNotOptimize(sum);
    }
    EndDataStep();
    if (cells != kCells) state.SkipWithError("a cell read failed");
}
BENCHMARK(BM_OptimizePass)->UseRealTime()->Unit(benchmark::kMillisecond);

// One million writes into the active dataset, registered with "*", and
// their commit. The queue holds them all, so they cost one message.
void BM_MillionCellWrites(benchmark::State& state) {
    if (!Engine().running() || StartDataStep() != 0 || CreateDataset("*", false, false) != 0) {
        state.SkipWithError("engine, data step or dataset did not start");
        return;
    }
    const std::string name = ActiveName();
    int failures = 0;
    for (auto _ : state) {
        for (int row = 0; row < kCases; ++row) {
            for (int v = 0; v < kVariables; ++v) {
                failures += SetNCellValue(name.c_str(), row, v, row + v * 0.5) != 0;
            }
        }
        failures += CommitDataSet() != 0;
    }
    EndDataStep();
    if (failures) state.SkipWithError("a write or the commit failed");
    state.SetItemsProcessed(state.iterations() * kCells);
}
BENCHMARK(BM_MillionCellWrites)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    RatioReporter reporter;
    if (!RunBenchmarks(argc, argv, reporter)) return 1;
    Engine().Stop();
    reporter.PrintRatio("BM_OptimizePass", "BM_CursorPass", 2.0);
    const double writes = reporter.seconds("BM_MillionCellWrites");
    if (writes > 0) {
        std::printf("SetNCellValue: %.1f ns per write including the commit, %ld round trip(s) "
                    "for %ld writes\n",
                    writes * 1e9 / kCells, (kCells + kRecordsPerFlush - 1) / kRecordsPerFlush, kCells);
    }
    return 0;
}
