// Importing the 1,000,000 x 10 numeric CSV file of the cursor benchmarks
// against a loop that reads the same file and converts every field with
// std::from_chars, and the engine's resident memory once it has loaded that
// file, and a mixed file with strings and missing values.
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "benchengine.h"
#include "benchmain.h"
#include "csvreader.h"
#include "vexaxd_p.h"

namespace {

constexpr long kCases = 1000000;
constexpr int kVariables = 10;
constexpr std::size_t kWindow = std::size_t{1} << 20;

void BM_ImportCsv(benchmark::State& state) {
    const std::string path = benchengine::DataFile(kCases, kVariables);
    if (path.empty()) {
        state.SkipWithError("data file not written");
        return;
    }
    for (auto _ : state) {
        engine::Dataset data;
        engine::CsvImportReport report;
        if (!engine::ImportCsvFile(path, {}, data, report) || data.CaseCount() != kCases) {
            state.SkipWithError(report.error.c_str());
            break;
        }
        benchmark::DoNotOptimize(data.cases().Number(kCases - 1, kVariables - 1));
    }
}
BENCHMARK(BM_ImportCsv)->UseRealTime()->Unit(benchmark::kMillisecond);

// The least an importer does: read the file in windows and turn every field
// into a double, one loop, no typing, no store.
void BM_FromCharsBaseline(benchmark::State& state) {
    const std::string path = benchengine::DataFile(kCases, kVariables);
    std::vector<char> window(kWindow);
    for (auto _ : state) {
        std::ifstream input(path, std::ios::binary);
        double sum = 0;
        long fields = 0;
        std::size_t kept = 0;
        bool header = true;
        while (input) {
            input.read(window.data() + kept, static_cast<std::streamsize>(window.size() - kept));
            const std::size_t end = kept + static_cast<std::size_t>(input.gcount());
            const char* p = window.data();
            const char* last = window.data() + end;
            const char* lineEnd = nullptr;
            if (header) {
                p = static_cast<const char*>(std::memchr(p, '\n', end)) + 1;
                header = false;
            }
            // Whole lines only; the rest waits for the next window.
            while ((lineEnd = static_cast<const char*>(
                        std::memchr(p, '\n', static_cast<std::size_t>(last - p))))) {
                while (p < lineEnd) {
                    double value = 0;
                    auto [stop, failure] = std::from_chars(p, lineEnd, value);
                    sum += value;
                    fields += failure == std::errc();
                    p = stop + 1;
                }
                p = lineEnd + 1;
            }
            kept = static_cast<std::size_t>(last - p);
            std::memmove(window.data(), p, kept);
        }
        benchmark::DoNotOptimize(sum);
        if (fields != kCases * kVariables) {
            state.SkipWithError("not every field converted");
            break;
        }
    }
}
BENCHMARK(BM_FromCharsBaseline)->UseRealTime()->Unit(benchmark::kMillisecond);

// 8 numeric columns (every 7th field empty, every 11th NA) and 2 text
// columns of up to 12 bytes: 12 cells a case.
std::string MixedFile() {
    const std::string path = "/tmp/vexa-bench-mixed-" + std::to_string(kCases) + ".csv";
    if (std::ifstream(path).good()) return path;
    const std::string partial = path + ".part" + std::to_string(::getpid());
    std::FILE* file = std::fopen(partial.c_str(), "w");
    if (!file) return {};
    std::fputs("a,b,c,d,e,f,g,h,name,code\n", file);
    for (long c = 0; c < kCases; ++c) {
        for (int v = 0; v < 8; ++v) {
            const long k = c * 8 + v;
            if (k % 7 == 0)
                std::fputs(",", file);
            else if (k % 11 == 0)
                std::fputs("NA,", file);
            else
                std::fprintf(file, "%.3f,", (c % 977) * 0.125 - v);
        }
        std::fprintf(file, "\"item %ld\",\"%c%ld\"\n", c % 100000, 'A' + static_cast<char>(c % 26),
                     c % 9999);
    }
    const bool written = std::fclose(file) == 0;
    if (!written || std::rename(partial.c_str(), path.c_str()) != 0) {
        std::remove(partial.c_str());
        return {};
    }
    return path;
}

// Resident KiB of this process's StartXD child, -1 when there is none.
long EngineResidentKiB() {
    DIR* proc = opendir("/proc");
    if (!proc) return -1;
    long found = -1;
    while (dirent* entry = readdir(proc)) {
        const std::string pid = entry->d_name;
        if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream status("/proc/" + pid + "/status");
        std::string line;
        bool engine = false;
        bool ours = false;
        long rss = -1;
        while (std::getline(status, line)) {
            if (line.rfind("Name:", 0) == 0) engine = line.find("StartXD") != std::string::npos;
            if (line.rfind("PPid:", 0) == 0) ours = std::stol(line.substr(5)) == ::getpid();
            if (line.rfind("VmRSS:", 0) == 0) rss = std::stol(line.substr(6));
        }
        if (engine && ours) found = rss;
    }
    closedir(proc);
    return found;
}

// Arg 0: the numeric file (10 cells a case); 1: the mixed one (12).
void BM_EngineResident(benchmark::State& state) {
    benchengine::Session::StopAny();
    const bool mixed = state.range(0) == 1;
    const std::string path = mixed ? MixedFile() : benchengine::DataFile(kCases, kVariables);
    const double cells = mixed ? 12 : kVariables;
    long rss = -1;
    for (auto _ : state) {
        const std::string arguments =
            std::string("-vexahome=") + VEXA_ENGINE_HOME + ", -datafile=" + path;
        if (StartVexa(arguments.c_str()) != 0) {
            state.SkipWithError("the engine did not start");
            break;
        }
        int err = 0;
        GetVariableCount(&err);
        rss = EngineResidentKiB();
        StopVexa();
    }
    const double dataMiB = kCases * cells * 8 / 1048576.0;
    state.counters["engine_rss_MiB"] = static_cast<double>(rss) / 1024.0;
    state.counters["data_MiB"] = dataMiB;
    state.counters["limit_MiB"] = 1.3 * dataMiB + 50;
    if (rss < 0) state.SkipWithError("no engine process found");
}
BENCHMARK(BM_EngineResident)
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) { return benchmain::Main(argc, argv); }
