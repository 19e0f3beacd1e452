// Under Wine, a process of the engine's killed while a program block runs:
//   integration_blockfaults <engine home> <output log> language|engine
// "language" kills the language process (startx.exe) that runs the block:
// the block fails with a code long before its own end, the engine still
// answers, and the next block runs in a new language process. "engine" kills
// StartXD.exe: the block fails with a code, and so does the next call.
// Either way StopVexa leaves no process running. Prints the times taken.
// clang-format off
#include <windows.h>
#include <tlhelp32.h>
// clang-format on

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "leftovers.h"
#include "testlanguagelog.h"
#include "vexaxd_p.h"

namespace {

using Clock = std::chrono::steady_clock;

// Far beyond a block's failure (tens of milliseconds), far below the 20 s
// the killed block would otherwise wait.
constexpr auto kBound = std::chrono::seconds(10);

int g_failures = 0;

void Check(bool condition, const std::string& what) {
    std::printf("%s %s\n", condition ? "ok  " : "FAIL", what.c_str());
    if (!condition) ++g_failures;
}

std::string ReadText(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

int Block(const std::string& body) {
    const std::string text = "BEGIN PROGRAM TESTLANG.\n" + body + "\nEND PROGRAM.";
    return Submit(text.data(), static_cast<int>(text.size()));
}

int LanguagePid(const std::string& log) {
    const std::size_t before = testsupport::PostedPids(ReadText(log)).size();
    if (Block("pid") != 0) return -1;
    const std::vector<int> pids = testsupport::PostedPids(ReadText(log));
    return pids.size() > before ? pids.back() : -1;
}

DWORD ChildNamed(const char* name) {
    const HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return 0;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    DWORD found = 0;
    for (BOOL more = ::Process32First(snapshot, &entry); more && !found;
         more = ::Process32Next(snapshot, &entry)) {
        if (entry.th32ParentProcessID == ::GetCurrentProcessId() &&
            _stricmp(entry.szExeFile, name) == 0)
            found = entry.th32ProcessID;
    }
    ::CloseHandle(snapshot);
    return found;
}

bool Kill(DWORD pid) {
    const HANDLE process = ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
    if (!process) return false;
    const bool killed =
        ::TerminateProcess(process, 137) && ::WaitForSingleObject(process, 5000) == WAIT_OBJECT_0;
    ::CloseHandle(process);
    return killed;
}

template <typename Condition>
bool WaitUntil(Condition condition) {
    const auto end = Clock::now() + kBound;
    while (!condition()) {
        if (Clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

long long Milliseconds(Clock::duration duration) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(duration).count();
}

// Runs a block that posts "waiting" and then waits 20 s; `victim` is killed
// once the mark is in the log. The block's code and its time from the kill.
int BlockKilling(const std::string& log, DWORD victim, long long& msAfterKill) {
    Clock::time_point killedAt{};
    bool killed = false;
    std::thread killer([&] {
        if (!WaitUntil([&] { return ReadText(log).find("waiting\n") != std::string::npos; }))
            return;
        killedAt = Clock::now();
        killed = Kill(victim);
    });
    const int code = Block("post waiting\nwait 20000");
    const auto returned = Clock::now();
    killer.join();
    Check(killed, "the process was killed while the block ran");
    msAfterKill = killed ? Milliseconds(returned - killedAt) : -1;
    return code;
}

void LanguageKilled(const std::string& log) {
    const int language = LanguagePid(log);
    Check(language > 0, "a block posts its language process's id");
    long long ms = -1;
    const int code = BlockKilling(log, static_cast<DWORD>(language), ms);
    std::printf("     block code %d, %lld ms after the kill\n", code, ms);
    Check(code != 0, "the block fails with a code");
    Check(ms >= 0 && ms < Milliseconds(kBound), "the block ends in bounded time");
    int err = -1;
    Check(GetVariableCount(&err) == 9 && err == 0, "the engine still answers");
    const int next = LanguagePid(log);
    Check(next > 0 && next != language, "the next block runs in a new language process");
}

void EngineKilled(const std::string& log) {
    Check(LanguagePid(log) > 0, "a block runs");
    const DWORD engine = ChildNamed("StartXD.exe");
    Check(engine != 0, "the engine is this process's child");
    long long ms = -1;
    const int code = BlockKilling(log, engine, ms);
    std::printf("     block code %d, %lld ms after the kill\n", code, ms);
    Check(code != 0, "the block fails with a code");
    Check(ms >= 0 && ms < Milliseconds(kBound), "the block ends in bounded time");
    int err = 0;
    const auto before = Clock::now();
    GetVariableCount(&err);
    std::printf("     next call %d, %lld ms\n", err, Milliseconds(Clock::now() - before));
    Check(err != 0, "the next call fails with a code");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s <engine home> <output log> language|engine\n", argv[0]);
        return 2;
    }
    const std::string log = argv[2];
    std::remove(log.c_str());
    const std::string arguments = std::string("-vexahome=") + argv[1] + ", -outputlog=" + log;
    Check(StartVexa(arguments.c_str()) == 0, "StartVexa starts the engine");
    const std::string which = argv[3];
    if (which == "language") LanguageKilled(log);
    if (which == "engine") EngineKilled(log);
    const auto before = Clock::now();
    StopVexa();
    std::printf("     StopVexa %lld ms\n", Milliseconds(Clock::now() - before));
    Check(WaitUntil([] { return RunningChildren() == 0; }), "no process of the run is left");
    return g_failures == 0 ? 0 : 1;
}
