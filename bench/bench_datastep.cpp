// Row-by-row reads of a dataset in a data step with GetNCellValueOptimize
// against the cursor pass over the same 100,000 cases by 10 numeric
// variables, and one million queued SetNCellValue writes with their commit
// against the raw transfer of their records' wire bytes between two processes.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "benchengine.h"
#include "benchmain.h"
#include "vexaxd_p.h"

namespace {

constexpr long kCases = 100000;
constexpr int kVariables = 10;
constexpr long kCells = kCases * kVariables;
// A numeric cell record on the wire: the dataset name and an empty string
// value, each with its length, three integers and a double.
constexpr long kRecordWireBytes = 28;

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

// The bytes of the million records above, in 8192-byte packets.
void BM_RawTransferOfWriteRecords(benchmark::State& state) {
    if (!Engine().running()) {
        state.SkipWithError("engine did not start");
        return;
    }
    const long bytes = kCells * (kRecordWireBytes + static_cast<long>(ActiveName().size()));
    benchmain::RawBulkTransfer(state, bytes, "datastep");
}
BENCHMARK(BM_RawTransferOfWriteRecords)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    return benchmain::Main(argc, argv, benchengine::Session::StopAny);
}
