// Load: long runs of API calls, case-cursor passes and engine start/stop
// cycles in one process, with the process's open descriptors, threads and
// resident memory measured before and after each run and printed.
//   load_resources <engine home> [call count] [pass count] [cycle count] [--memory-unbounded]
// A run fails when descriptors or threads grew at all, when resident memory
// grew by more than its bound, or when a cycle left a child process or a
// socket file behind. Under AddressSanitizer freed memory waits in its
// quarantine, so resident memory is printed but not bounded there (its leak
// check stands in for the bound).
#include <dirent.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "vexaxd_p.h"

namespace {

// Bounds on resident growth: allocator caches and lazily touched pages of
// the first run settle after a warm-up, so the bound is well below what a
// leak of one small allocation per call or pass would give.
constexpr long kCallGrowthLimitKb = 1024;  // 1,000,000 calls: 1 byte each would be 976 KB
constexpr long kPassGrowthLimitKb = 1024;
constexpr long kCycleGrowthLimitKb = 4096;  // 100 cycles: a leaked 40 KB per cycle would show

int g_failures = 0;
bool g_memoryBounded = true;

void Check(bool condition, const std::string& what) {
    std::printf("%s %s\n", condition ? "ok  " : "FAIL", what.c_str());
    if (!condition) ++g_failures;
}

int CountEntries(const char* directory) {
    int count = 0;
    std::error_code error;
    for (auto it = std::filesystem::directory_iterator(directory, error);
         !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
        ++count;
    }
    return count;
}

long ResidentKb() {
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            long kb = 0;
            status >> kb;
            return kb;
        }
        status.ignore(4096, '\n');
    }
    return -1;
}

struct Resources {
    int descriptors;
    int threads;
    long residentKb;
};

Resources Measure() {
    // The directory listing's own descriptor is counted in both readings alike.
    return {CountEntries("/proc/self/fd"), CountEntries("/proc/self/task"), ResidentKb()};
}

bool NoChildLeft() { return ::waitpid(-1, nullptr, WNOHANG) == -1 && errno == ECHILD; }

int OwnPipeFiles() {
    char pid[16];
    std::snprintf(pid, sizeof pid, "%04x", static_cast<unsigned>(::getpid()));
    int count = 0;
    std::error_code error;
    const auto directory = "/tmp/vexa-pipes-" + std::to_string(::geteuid());
    for (const auto& entry : std::filesystem::directory_iterator(directory, error)) {
        if (entry.path().filename().string().rfind(pid, 0) == 0) ++count;
    }
    return count;
}

// Prints one row of the table and checks it against the run's bound.
void Report(const char* run, long count, const Resources& before, const Resources& after,
            double seconds, long growthLimitKb) {
    std::printf(
        "%-22s %9ld  fds %3d -> %3d  threads %2d -> %2d  rss %7ld -> %7ld KB (%+ld)  %.2f s\n", run,
        count, before.descriptors, after.descriptors, before.threads, after.threads,
        before.residentKb, after.residentKb, after.residentKb - before.residentKb, seconds);
    Check(after.descriptors <= before.descriptors, std::string(run) + ": no descriptor more");
    Check(after.threads <= before.threads, std::string(run) + ": no thread more");
    if (g_memoryBounded) {
        Check(
            after.residentKb - before.residentKb <= growthLimitKb,
            std::string(run) + ": resident growth within " + std::to_string(growthLimitKb) + " KB");
    }
}

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

bool CallRun(long calls) {
    for (long i = 0; i < calls; ++i) {
        int err = -1;
        if (GetVariableCount(&err) != 9 || err != 0) {
            std::printf("call %ld failed with %d\n", i, err);
            return false;
        }
    }
    return true;
}

// One procedure with a full read pass over every variable of every case.
bool CursorPass() {
    if (StartProcedure("Load", "Load") != 0) return false;
    bool ok = MakeCaseCursor("r") == 0;
    int cases = 0;
    char text[64];
    int status = 0;
    while (ok && (status = NextCase()) == 0) {
        for (int v = 0; v < 9 && ok; ++v) {
            int missing = 0;
            if (v == 4) {
                char* buffer = text;
                ok = GetStringValue(v, &buffer, 10, &missing) == 0;
            } else {
                double value = 0;
                ok = GetNumericValue(v, &value, &missing) == 0;
            }
        }
        ++cases;
    }
    ok = ok && (status == 1900 || status == 23) && cases == 150;
    ok = RemoveCaseCursor() == 0 && ok;
    return EndProcedure() == 0 && ok;
}

bool PassRun(long passes) {
    for (long i = 0; i < passes; ++i) {
        if (!CursorPass()) {
            std::printf("pass %ld failed\n", i);
            return false;
        }
    }
    return true;
}

bool CycleRun(const std::string& arguments, long cycles) {
    for (long i = 0; i < cycles; ++i) {
        int err = -1;
        if (StartVexa(arguments.c_str()) != 0 || GetVariableCount(&err) != 9 || err != 0) {
            std::printf("cycle %ld: start or call failed (%d)\n", i, err);
            StopVexa();
            return false;
        }
        StopVexa();
        if (!NoChildLeft()) {
            std::printf("cycle %ld left a child process\n", i);
            return false;
        }
    }
    return true;
}

long Argument(int argc, char** argv, int index, long fallback) {
    return argc > index ? std::strtol(argv[index], nullptr, 10) : fallback;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <engine home> [calls] [passes] [cycles]\n", argv[0]);
        return 2;
    }
    const std::string arguments = std::string("-vexahome=") + argv[1];
    const long calls = Argument(argc, argv, 2, 1000000);
    const long passes = Argument(argc, argv, 3, 1000);
    const long cycles = Argument(argc, argv, 4, 100);
    g_memoryBounded = !(argc > 5 && std::string(argv[5]) == "--memory-unbounded");

    if (StartVexa(arguments.c_str()) != 0) {
        std::printf("FAIL the engine did not start\n");
        return 1;
    }
    // Warm-up: the first calls and passes allocate what every later one reuses.
    Check(CallRun(10000) && PassRun(20), "warm-up");

    Resources before = Measure();
    auto started = std::chrono::steady_clock::now();
    Check(CallRun(calls), "every GetVariableCount answered 9");
    Report("GetVariableCount calls", calls, before, Measure(), Seconds(started),
           kCallGrowthLimitKb);

    before = Measure();
    started = std::chrono::steady_clock::now();
    Check(PassRun(passes), "every cursor pass read 150 cases");
    Report("cursor passes", passes, before, Measure(), Seconds(started), kPassGrowthLimitKb);
    StopVexa();

    // The first cycle outside the measurement: its one-time allocations stay.
    Check(CycleRun(arguments, 1), "first start/stop cycle");
    before = Measure();
    started = std::chrono::steady_clock::now();
    Check(CycleRun(arguments, cycles), "every start/stop cycle answered and left no child");
    Report("StartVexa/StopVexa", cycles, before, Measure(), Seconds(started), kCycleGrowthLimitKb);
    Check(OwnPipeFiles() == 0, "no socket file of this process is left");
    return g_failures == 0 ? 0 : 1;
}
