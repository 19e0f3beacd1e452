// The fault matrix: every case breaks one partner of the library (a fake
// engine, the reference engine, a language process, the console) and checks
// that the call ends with a code within a bound, that nothing crashes, and
// that no thread, process or socket file is left behind.
//   faultmatrix                 runs every case, prints the table, exits 1 on a failure
//   faultmatrix <case>...       runs only those cases
// Each case runs in a process of its own (this program started again with
// "--case"): the connection state is per process, and a crash of a case is
// seen rather than suffered.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "testlanguagelog.h"
#include "vexaxd_p.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// The longest wait the library itself has on these paths: an engine that was
// told to stop gets 10 s before it is killed. Every case must end sooner.
constexpr auto kBound = std::chrono::seconds(10);
// Beyond the bound, the runner takes the case process for hung and kills it.
constexpr auto kRunnerGrace = std::chrono::seconds(20);
constexpr int kSampleVariables = 9;
// How long a shutdown waits for a block thread of a language hosted here.
constexpr long kHostedBlockLimitMs = 5000;

std::string PipeDirectory() { return "/tmp/vexa-pipes-" + std::to_string(::geteuid()); }

std::string PidText(int pid) {
    char text[16];
    std::snprintf(text, sizeof text, "%04x", static_cast<unsigned>(pid));
    return text;
}

std::vector<std::string> PipeFilesOf(int pid) {
    std::vector<std::string> files;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(PipeDirectory(), error)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(PidText(pid), 0) == 0) files.push_back(name);
    }
    return files;
}

std::size_t ThreadCount() {
    std::size_t count = 0;
    std::error_code error;
    for (auto it = fs::directory_iterator("/proc/self/task", error); it != fs::directory_iterator();
         ++it)
        ++count;
    return count;
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    while (!condition()) {
        if (Clock::now() >= deadline) return condition();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

bool ProcessExists(int pid) {
    if (pid <= 0 || ::kill(pid, 0) != 0) return false;
    // A zombie child of someone else has ended for all that matters here.
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const std::size_t close = text.rfind(')');
    return close == std::string::npos || text.compare(close + 2, 1, "Z") != 0;
}

// The live processes whose parent is `parent` and whose name is `name`.
std::vector<int> ChildrenNamed(int parent, const std::string& name) {
    std::vector<int> pids;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/proc", error)) {
        const std::string pidText = entry.path().filename().string();
        if (pidText.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream stat(entry.path() / "stat");
        std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
        const std::size_t open = text.find('('), close = text.rfind(')');
        if (open == std::string::npos || close == std::string::npos || close + 4 >= text.size())
            continue;
        if (text[close + 2] == 'Z') continue;
        const int ppid = std::atoi(text.c_str() + close + 4);
        if (ppid == parent && text.substr(open + 1, close - open - 1) == name)
            pids.push_back(std::stoi(pidText));
    }
    return pids;
}

std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

long PeakResidentKb() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// What a case found: the code of its faulty call, the time to it, and every
// check that failed.
struct Outcome {
    int code = 0;
    long ms = 0;
    std::vector<std::string> failures;
    std::vector<std::string> notes;
    void Check(bool condition, const std::string& what) {
        if (!condition) failures.push_back(what);
    }
};

// Times one call: its code and how long it took, checked against the bound.
template <typename Call>
void TimeCall(Outcome& outcome, Call call) {
    const auto started = Clock::now();
    outcome.code = call();
    const auto took = Clock::now() - started;
    outcome.ms =
        static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(took).count());
    outcome.Check(took < kBound, "ended after the bound");
}

// A process started by a case, with its standard output on a pipe; killed and
// reaped on destruction.
class Peer {
  public:
    explicit Peer(const std::vector<std::string>& argv) {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        std::vector<char*> vector;
        for (const auto& argument : argv) vector.push_back(const_cast<char*>(argument.c_str()));
        vector.push_back(nullptr);
        pid_t pid;
        if (::posix_spawn(&pid, vector[0], &actions, nullptr, vector.data(), environ) == 0)
            m_pid = pid;
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        m_output = fds[0];
    }
    ~Peer() {
        Reap(true);
        if (m_output >= 0) ::close(m_output);
    }
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;

    int pid() const { return m_pid; }
    // Waits for the peer's "got" line: it holds the request now.
    bool AwaitHold(std::chrono::milliseconds limit) {
        pollfd readable{m_output, POLLIN, 0};
        char line[8] = {};
        if (::poll(&readable, 1, static_cast<int>(limit.count())) != 1) return false;
        return ::read(m_output, line, sizeof line - 1) > 0 && std::strncmp(line, "got", 3) == 0;
    }
    // The next line the peer printed, without its end; empty after the limit.
    std::string ReadLine(std::chrono::milliseconds limit) {
        const auto deadline = Clock::now() + limit;
        std::string line;
        char c = 0;
        while (line.empty() || line.back() != '\n') {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            pollfd readable{m_output, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&readable, 1, static_cast<int>(left.count())) != 1)
                return {};
            if (::read(m_output, &c, 1) != 1) return {};
            line += c;
        }
        line.pop_back();
        return line;
    }
    // The peer's end: its exit code, or 128 + the signal that ended it.
    int Reap(bool kill) {
        if (m_pid <= 0) return m_status;
        if (kill) ::kill(m_pid, SIGKILL);
        ::kill(m_pid, SIGCONT);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
        m_pid = -1;
        m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return m_status;
    }

  private:
    int m_pid = -1;
    int m_output = -1;
    int m_status = -1;
};

// ---- A: the library's client side against a fake engine -------------------

enum class Action { kNone, kKill, kStopOneSecond };

const char* kClientLanguage = "FAULTS";

std::string ClientPipe(const std::string& constant) {
    return PipeDirectory() + "/" + PidText(::getpid()) + kClientLanguage + "0" + constant;
}

Outcome FakeEngineCase(const std::string& mode, Action action, bool expectValue) {
    Outcome outcome;
    const std::size_t threads = ThreadCount();
    const long residentBefore = PeakResidentKb();
    SetXNameAndSHome(kClientLanguage, "");
    SetVexaRunning(true);
    Peer peer(
        {VEXA_FAULT_PEER_DIR "/faultpeer", mode, ClientPipe("xdapi"), ClientPipe("xdapiresult")});
    std::atomic<bool> held{false};
    std::thread actor([&] {
        if (action == Action::kNone || !peer.AwaitHold(kBound)) return;
        held = true;
        if (action == Action::kKill) {
            ::kill(peer.pid(), SIGKILL);
        } else {
            ::kill(peer.pid(), SIGSTOP);
            std::this_thread::sleep_for(std::chrono::seconds(1));
            ::kill(peer.pid(), SIGCONT);
        }
    });
    int err = -1;
    int value = -1;
    TimeCall(outcome, [&] {
        value = GetVariableCount(&err);
        return err;
    });
    actor.join();
    if (action != Action::kNone) outcome.Check(held.load(), "the peer never held the request");
    const bool peerStays = mode == "garbage" || mode == "hold";
    if (!peerStays) WaitUntil([&] { return !ProcessExists(peer.pid()); }, kBound);
    const int peerEnd = peer.Reap(true);
    outcome.notes.push_back("peer end " + std::to_string(peerEnd));
    if (expectValue) {
        outcome.Check(err == 0, "the call failed");
        outcome.Check(value == kSampleVariables, "the value was lost: " + std::to_string(value));
    } else {
        outcome.Check(err != 0, "a failure was reported as success");
    }
    if (mode == "huge") {
        const long grownKb = PeakResidentKb() - residentBefore;
        outcome.notes.push_back("peak RSS +" + std::to_string(grownKb / 1024) + " MiB");
        outcome.Check(grownKb < 64 * 1024, "the declared total was allocated");
    }
    // A killed fake engine cannot remove its own socket file; it is the test's.
    std::error_code ignored;
    if (peerEnd >= 128) fs::remove(ClientPipe("xdapi"), ignored);
    outcome.Check(
        WaitUntil([&] { return ThreadCount() <= threads; }, std::chrono::seconds(3)),
        "a thread was left: " + std::to_string(ThreadCount()) + " > " + std::to_string(threads));
    // The result pipe is the library's until it is unloaded; the runner checks
    // the files once this process has ended.
    return outcome;
}

// ---- B and C: the reference engine -----------------------------------------

const char* kLanguageConfiguration =
    "[SUPPORTED_LANG]\nX=TESTLANG;PYTHON;R;TESTLANGIN;PYTHONIN;RIN\n[TESTLANG]\nLIB_NAME="
    "libvexatestlang.so\n"
    "[PYTHON]\nLIB_NAME=libvexapython.so\n[R]\nLIB_NAME=libvexar.so\nHOME=/usr/lib/R\n"
    // The same languages loaded into the engine's own process.
    "[TESTLANGIN]\nLIB_NAME=libvexatestlang.so\nINNER_PROCESS=true\n"
    "[PYTHONIN]\nLIB_NAME=libvexapython.so\nINNER_PROCESS=true\n"
    "[RIN]\nLIB_NAME=libvexar.so\nHOME=/usr/lib/R\nARGS=--silent --no-save\nINNER_PROCESS=true\n";

// An engine home of the case: links to the build's engine home and a
// configuration that names the test language; removed on destruction.
class EngineHome {
  public:
    EngineHome() {
        m_path = "/tmp/faultmatrix-" + PidText(::getpid());
        fs::remove_all(m_path);
        fs::create_directory(m_path);
        for (const fs::directory_entry& entry : fs::directory_iterator(VEXA_ENGINE_HOME_DIR)) {
            if (entry.path().filename() == "vexadxcfg.ini" || !entry.is_regular_file()) continue;
            fs::create_symlink(entry.path(), fs::path(m_path) / entry.path().filename());
        }
        std::ofstream(file("vexadxcfg.ini")) << kLanguageConfiguration;
    }
    ~EngineHome() {
        std::error_code ignored;
        fs::remove_all(m_path, ignored);
    }
    EngineHome(const EngineHome&) = delete;
    EngineHome& operator=(const EngineHome&) = delete;
    std::string file(const std::string& name) const { return m_path + "/" + name; }
    const std::string& path() const { return m_path; }

  private:
    std::string m_path;
};

std::string OutputArguments(const std::string& directory) {
    return " -outputxml=" + directory + "/output.xml -outputhtml=" + directory + "/output.html";
}

// The reference engine started through the library for the length of a case,
// with standard input on a pipe that stays silent: a console waits for a line.
class Engine {
  public:
    // With documents, the engine keeps its XML and HTML output in its home.
    // With a client language, this process hosts that language: the engine
    // runs its blocks here.
    explicit Engine(Outcome& outcome, bool withDocuments = false,
                    const std::string& clientLanguage = {})
        : m_outcome(outcome), m_threads(ThreadCount()) {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) == 0) {
            ::dup2(fds[0], 0);
            ::close(fds[0]);
            m_silentInput = fds[1];
        }
        const std::string arguments =
            "-vexahome=" + m_home.path() + ", -outputlog=" + m_home.file("output.log") +
            (withDocuments ? OutputArguments(m_home.path()) : std::string());
        if (!clientLanguage.empty())
            SetXNameAndSHome(clientLanguage.c_str(), m_home.path().c_str());
        m_outcome.Check(StartVexa(arguments.c_str()) == 0, "StartVexa failed");
        const std::vector<int> engines = ChildrenNamed(::getpid(), "StartXD");
        m_enginePid = engines.size() == 1 ? engines[0] : -1;
        m_outcome.Check(m_enginePid > 0, "no engine process");
    }
    ~Engine() {
        if (m_silentInput >= 0) ::close(m_silentInput);
    }
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    int pid() const { return m_enginePid; }
    const EngineHome& home() const { return m_home; }
    std::string OutputLog() const { return ReadFile(m_home.file("output.log")); }
    bool Posted(const std::string& text) const {
        return OutputLog().find(text) != std::string::npos;
    }
    // The pids the test language posted, in order.
    std::vector<int> PostedPids() const { return testsupport::PostedPids(OutputLog()); }
    int LanguagePid() {
        const std::size_t before = PostedPids().size();
        m_outcome.Check(Block("pid") == 0, "a pid block failed");
        const std::vector<int> pids = PostedPids();
        return pids.size() > before ? pids.back() : -1;
    }
    void CheckAnswers() {
        int err = -1;
        const int count = GetVariableCount(&err);
        m_outcome.Check(
            err == 0 && count == kSampleVariables,
            "the engine no longer answers: " + std::to_string(count) + "/" + std::to_string(err));
    }
    // A later block runs in a process of its own, not in `old`.
    void CheckNewLanguageProcess(int old) {
        const int pid = LanguagePid();
        m_outcome.Check(pid > 0 && pid != old && ProcessExists(pid),
                        "a later block got no new process");
        m_languages.push_back(pid);
    }
    void Remember(int languagePid) { m_languages.push_back(languagePid); }

    // StopVexa, then everything must be gone.
    void Stop() {
        StopVexa();
        // Orphans of a killed engine come here (the case process is their
        // subreaper); a test only ever sends SIGKILL, so another signal is a crash.
        std::vector<int> crashed;
        m_outcome.Check(WaitUntil(
                            [&crashed] {
                                int status = 0;
                                const pid_t pid = ::waitpid(-1, &status, WNOHANG);
                                if (pid > 0 && WIFSIGNALED(status) && WTERMSIG(status) != SIGKILL) {
                                    crashed.push_back(pid);
                                }
                                return pid == -1 && errno == ECHILD;
                            },
                            kBound),
                        "a child process was left");
        for (int pid : crashed)
            m_outcome.Check(false, "process " + std::to_string(pid) + " crashed");
        for (int pid : m_languages) {
            m_outcome.Check(WaitUntil([pid] { return !ProcessExists(pid); }, kBound),
                            "language process " + std::to_string(pid) + " was left");
        }
        const std::vector<std::string> files = PipeFilesOf(::getpid());
        std::string names;
        for (const std::string& name : files) names += " " + name;
        m_outcome.Check(files.empty(), "socket files left:" + names);
        m_outcome.Check(
            WaitUntil([this] { return ThreadCount() <= m_threads; }, std::chrono::seconds(3)),
            "a thread was left: " + std::to_string(ThreadCount()) + " > " +
                std::to_string(m_threads));
    }

    static int Block(const std::string& body, const std::string& language = "TESTLANG") {
        const std::string text = "BEGIN PROGRAM " + language + ".\n" + body + "\nEND PROGRAM.";
        return Submit(text.data(), static_cast<int>(text.size()));
    }

  private:
    Outcome& m_outcome;
    std::size_t m_threads;
    EngineHome m_home;
    int m_silentInput = -1;
    int m_enginePid = -1;
    std::vector<int> m_languages;
};

// A second client on the engine's request pipe, before the library's first
// call connects: the engine serves connections one at a time, in order, so
// this one is served first.
bool RawClientSends(const std::vector<std::vector<unsigned char>>& pieces) {
    std::string request;
    for (const std::string& name : PipeFilesOf(::getpid())) {
        if (name.size() > 6 && name.compare(name.size() - 6, 6, "0xdapi") == 0)
            request = PipeDirectory() + "/" + name;
    }
    if (request.empty()) return false;
    const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", request.c_str());
    bool sent = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    for (const auto& piece : pieces) {
        sent = sent && ::send(fd, piece.data(), piece.size(), MSG_NOSIGNAL) ==
                           static_cast<ssize_t>(piece.size());
    }
    ::close(fd);
    return sent;
}

std::vector<unsigned char> Piece(std::int32_t total, std::size_t size, bool random) {
    std::vector<unsigned char> piece(size, 0);
    std::mt19937 generator(99);
    if (random) {
        for (unsigned char& byte : piece) byte = static_cast<unsigned char>(generator());
    }
    std::memcpy(piece.data(), &total, 4);
    return piece;
}

Outcome SecondClientCase(const std::vector<std::vector<unsigned char>>& pieces) {
    Outcome outcome;
    {
        Engine engine(outcome);
        // Held while the second client sends and leaves, so that the engine
        // reads the broken image only once its sender is gone.
        ::kill(engine.pid(), SIGSTOP);
        outcome.Check(RawClientSends(pieces), "the second client could not send");
        ::kill(engine.pid(), SIGCONT);
        int err = -1;
        int count = -1;
        TimeCall(outcome, [&] {
            count = GetVariableCount(&err);
            return err;
        });
        outcome.Check(err == 0 && count == kSampleVariables,
                      "the library's call after the second client: " + std::to_string(count) + "/" +
                          std::to_string(err));
        engine.CheckAnswers();
        engine.Stop();
    }
    return outcome;
}

// Runs `body` as a block and SIGKILLs `victim` once the block has posted
// "waiting"; the block must fail.
void RunBlockKilling(Engine& engine, Outcome& outcome, int victim, const std::string& body) {
    std::atomic<bool> sawMark{false};
    std::thread killer([&] {
        sawMark = WaitUntil([&] { return engine.Posted("waiting\n"); }, kBound);
        ::kill(victim, SIGKILL);
    });
    TimeCall(outcome, [&] { return Engine::Block(body); });
    killer.join();
    outcome.Check(sawMark.load(), "the block never started");
    outcome.Check(outcome.code != 0, "a failure was reported as success");
}

Outcome EngineKilledCase() {
    Outcome outcome;
    {
        Engine engine(outcome);
        const int language = engine.LanguagePid();
        engine.Remember(language);
        RunBlockKilling(engine, outcome, engine.pid(), "post waiting\nwait 3000");
        int err = 0;
        GetVariableCount(&err);
        outcome.Check(err != 0, "a dead engine answered");
        outcome.notes.push_back("next call " + std::to_string(err));
        engine.Stop();
    }
    return outcome;
}

// The engine dies while a block of the language hosted in this process never
// returns: StopVexa gives the block's thread its limit, then returns and
// leaves the thread with what it uses, instead of waiting for ever.
Outcome HostedBlockOutlivesEngineCase() {
    Outcome outcome;
    Engine engine(outcome, false, "TESTLANG");
    outcome.Check(Engine::Block("pid") == 0, "a pid block failed");
    const std::vector<int> pids = engine.PostedPids();
    outcome.Check(!pids.empty() && pids.back() == ::getpid(),
                  "the block did not run in this process");
    RunBlockKilling(engine, outcome, engine.pid(), "post waiting\nwait 600000");
    TimeCall(outcome, [] {
        StopVexa();
        return 0;
    });
    outcome.Check(outcome.ms <= kHostedBlockLimitMs + 1000,
                  "StopVexa waited past the block's limit");
    outcome.Check(!IsBackendReady(), "the engine still answers");
    // The left thread ends with this case's process.
    return outcome;
}

// A language process alive but silent when the engine stops: the engine
// waits a bounded time for the stop's reply, kills it and ends by itself,
// before the library's own limit on the engine's end.
Outcome LanguageSilentAtStopCase() {
    Outcome outcome;
    {
        Engine engine(outcome);
        const int language = engine.LanguagePid();
        engine.Remember(language);
        outcome.Check(language > 0 && ::kill(language, SIGSTOP) == 0,
                      "the language process could not be stopped");
        TimeCall(outcome, [] {
            StopVexa();
            return 0;
        });
        outcome.Check(outcome.ms < 7000, "the engine waited for the silent process");
        outcome.Check(!ProcessExists(language), "the silent language process was left");
        engine.Stop();
    }
    return outcome;
}

Outcome LanguageKilledMidBlockCase() {
    Outcome outcome;
    {
        Engine engine(outcome);
        const int language = engine.LanguagePid();
        engine.Remember(language);
        RunBlockKilling(engine, outcome, language, "post waiting\nwait 20000");
        engine.CheckAnswers();
        engine.CheckNewLanguageProcess(language);
        engine.Stop();
    }
    return outcome;
}

Outcome LanguageDiesOnLoadCase() {
    Outcome outcome;
    const std::string once = "/tmp/faultmatrix-" + PidText(::getpid()) + "-exit-once";
    std::ofstream(once).put('x');
    ::setenv("VEXATESTLANG_EXIT_ON_LOAD", ("7," + once).c_str(), 1);
    {
        Engine engine(outcome);
        TimeCall(outcome, [] { return Engine::Block("pid"); });
        outcome.Check(outcome.code != 0, "a failure was reported as success");
        outcome.Check(!fs::exists(once), "the language was never loaded");
        outcome.Check(engine.PostedPids().empty(), "the dying process ran the block");
        engine.CheckAnswers();
        engine.CheckNewLanguageProcess(-1);
        engine.Stop();
    }
    ::unsetenv("VEXATESTLANG_EXIT_ON_LOAD");
    std::error_code ignored;
    fs::remove(once, ignored);
    return outcome;
}

Outcome LanguageDiesAfterResultCase() {
    Outcome outcome;
    {
        Engine engine(outcome);
        const int language = engine.LanguagePid();
        engine.Remember(language);
        TimeCall(outcome, [] { return Engine::Block("die-after 2"); });
        const bool diedLater = ProcessExists(language);
        outcome.Check(WaitUntil([language] { return !ProcessExists(language); }, kBound),
                      "the process did not die");
        outcome.notes.push_back(diedLater ? "died after the block's end"
                                          : "died within the block's end");
        engine.CheckAnswers();
        engine.CheckNewLanguageProcess(language);
        engine.Stop();
    }
    return outcome;
}

Outcome ConsoleKilledCase() {
    Outcome outcome;
    {
        Engine engine(outcome);
        const int language = engine.LanguagePid();
        engine.Remember(language);
        std::atomic<int> console{-1};
        std::thread killer([&] {
            if (!WaitUntil([&] { return engine.Posted("waiting\n"); }, kBound)) return;
            std::vector<int> consoles;
            WaitUntil([&] { return !(consoles = ChildrenNamed(language, "DOzerido")).empty(); },
                      kBound);
            if (consoles.empty()) return;
            console = consoles[0];
            ::kill(consoles[0], SIGKILL);
        });
        int status = -1;
        TimeCall(outcome, [&] {
            status = Engine::Block("callback 8\npost waiting\ncallback 11");
            return status;
        });
        killer.join();
        outcome.Check(console.load() > 0, "no console was killed");
        // The block itself goes on after its read; the read's status is the outcome.
        const std::string log = engine.OutputLog();
        const std::size_t at = log.find("callback 11 ");
        outcome.code = at == std::string::npos ? 0 : std::atoi(log.c_str() + at + 12);
        outcome.Check(at != std::string::npos, "the console read never returned");
        outcome.Check(outcome.code != 0, "the read of a killed console reported success");
        outcome.notes.push_back("block status " + std::to_string(status));
        engine.CheckAnswers();
        const int next = engine.LanguagePid();
        outcome.Check(next > 0, "a later block failed");
        engine.Remember(next);
        outcome.notes.push_back(next == language ? "same language process"
                                                 : "new language process");
        engine.Stop();
    }
    return outcome;
}

// ---- D: lifetimes: nothing lost, nothing orphaned ----------------------------

constexpr const char* kLastTable = "Last table";

// A procedure with one pivot table of one cell, titled kLastTable.
int BuildLastTable() {
    int failures = StartProcedure("Faults", "faults") != 0;
    failures += StartPivotTable("Faults", kLastTable, "Faults Table", false) != 0;
    failures +=
        AddDimension("Faults", kLastTable, "Faults Table", false, "Rows", 0, 0, false, false) != 0;
    failures += AddNumberCategory("Faults", kLastTable, "Faults Table", false, "Rows", 0, 0, false,
                                  false, 1) != 0;
    failures += SetNumberCell("Faults", kLastTable, "Faults Table", false, "Rows", 0, 0, false,
                              false, 42.5) != 0;
    failures += EndProcedure() != 0;
    return failures;
}

// Both documents whole (each ends with its root's end tag) and holding the last table.
void CheckDocuments(Outcome& outcome, const std::string& directory) {
    const std::string xml = ReadFile(directory + "/output.xml");
    const std::string html = ReadFile(directory + "/output.html");
    const auto ends = [](const std::string& text, const std::string& tail) {
        const std::size_t at = text.rfind(tail);
        return at != std::string::npos &&
               text.find_first_not_of(" \n", at + tail.size()) == std::string::npos;
    };
    outcome.Check(ends(xml, "</output>"),
                  "the XML is not whole (" + std::to_string(xml.size()) + " bytes)");
    outcome.Check(ends(html, "</html>"),
                  "the HTML is not whole (" + std::to_string(html.size()) + " bytes)");
    outcome.Check(xml.find(kLastTable) != std::string::npos, "the XML lacks the last table");
    outcome.Check(html.find(kLastTable) != std::string::npos, "the HTML lacks the last table");
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(directory, error)) {
        const std::string name = entry.path().filename().string();
        outcome.Check(name.find(".part") == std::string::npos, "a partial file was left: " + name);
    }
}

// Reaps the orphans that came to this case process (its subreaper) until
// none is left; false when one is still there at the limit.
bool ReapOrphans(std::chrono::milliseconds limit) {
    return WaitUntil(
        [] {
            int status = 0;
            while (::waitpid(-1, &status, WNOHANG) > 0) {
            }
            return errno == ECHILD;
        },
        limit);
}

// A killed client and the engine it took down leave their socket files; they
// carry the client's id text and are this case's to remove.
void RemoveFilesOf(Outcome& outcome, int client) {
    std::string names;
    for (const std::string& name : PipeFilesOf(client)) {
        std::error_code ignored;
        fs::remove(PipeDirectory() + "/" + name, ignored);
        names += " " + name;
    }
    if (!names.empty()) outcome.notes.push_back("socket files of the dead removed:" + names);
}

// A client program of its own (this program with "--client"): it starts the
// engine with both documents, makes the last table, prints the engine's pid,
// then either returns from main without StopVexa or runs a block that never ends.
int ClientMain(const std::string& mode, const std::string& home) {
    const std::string arguments =
        "-vexahome=" + home + ", -outputlog=" + home + "/output.log" + OutputArguments(home);
    if (StartVexa(arguments.c_str()) != 0) return 2;
    if (BuildLastTable() != 0) return 3;
    const std::vector<int> engines = ChildrenNamed(::getpid(), "StartXD");
    std::printf("engine %d\n", engines.size() == 1 ? engines[0] : -1);
    std::fflush(stdout);
    if (mode == "loop") Engine::Block("pid\npost waiting\nwait 600000");
    return 0;
}

struct ClientRun {
    EngineHome home;
    std::unique_ptr<Peer> client;
    int engine = -1;
};

void StartClient(Outcome& outcome, ClientRun& run, const std::string& mode) {
    const std::string self = fs::read_symlink("/proc/self/exe").string();
    run.client =
        std::make_unique<Peer>(std::vector<std::string>{self, "--client", mode, run.home.path()});
    const std::string line = run.client->ReadLine(kBound);
    if (line.rfind("engine ", 0) == 0) run.engine = std::atoi(line.c_str() + 7);
    outcome.Check(run.engine > 0, "the client started no engine: \"" + line + "\"");
}

Outcome ClientExitsWithoutStopCase() {
    Outcome outcome;
    ClientRun run;
    StartClient(outcome, run, "exit");
    const int client = run.client->pid();
    TimeCall(outcome, [&] {
        const int status = run.client->Reap(false);
        WaitUntil([&] { return !ProcessExists(run.engine); }, kBound);
        return status;
    });
    outcome.Check(outcome.code == 0, "the client failed");
    outcome.Check(!ProcessExists(run.engine), "the engine outlived its client");
    // A killed engine could not have removed its request pipe.
    outcome.Check(PipeFilesOf(client).empty(),
                  "the engine did not end in order after the farewell");
    CheckDocuments(outcome, run.home.path());
    outcome.Check(ReapOrphans(kBound), "a process was left");
    RemoveFilesOf(outcome, client);
    return outcome;
}

Outcome ClientKilledMidBlockCase() {
    Outcome outcome;
    ClientRun run;
    StartClient(outcome, run, "loop");
    const std::string log = run.home.file("output.log");
    outcome.Check(
        WaitUntil([&] { return ReadFile(log).find("waiting\n") != std::string::npos; }, kBound),
        "the block never started");
    const std::vector<int> languages = testsupport::PostedPids(ReadFile(log));
    const int language = languages.empty() ? -1 : languages.back();
    outcome.Check(language > 0, "no language process");
    const int client = run.client->pid();
    TimeCall(outcome, [&] {
        const int status = run.client->Reap(true);
        WaitUntil([&] { return !ProcessExists(run.engine) && !ProcessExists(language); }, kBound);
        return status;
    });
    outcome.Check(outcome.ms <= 2000, "a process of the system outlived the client by over 2 s");
    outcome.Check(!ProcessExists(run.engine), "the engine was left");
    outcome.Check(!ProcessExists(language), "the language process was left");
    CheckDocuments(outcome, run.home.path());
    outcome.Check(ReapOrphans(kBound), "a process was left");
    RemoveFilesOf(outcome, client);
    return outcome;
}

Outcome EngineKilledLanguageEndsCase() {
    Outcome outcome;
    {
        Engine engine(outcome);
        const int language = engine.LanguagePid();
        engine.Remember(language);
        std::atomic<long> gone{-1};
        std::thread killer([&] {
            if (!WaitUntil([&] { return engine.Posted("waiting\n"); }, kBound)) return;
            const auto killed = Clock::now();
            ::kill(engine.pid(), SIGKILL);
            if (WaitUntil([language] { return !ProcessExists(language); }, kBound)) {
                gone = static_cast<long>(
                    std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - killed)
                        .count());
            }
        });
        outcome.code = Engine::Block("post waiting\nwait 600000");
        killer.join();
        outcome.ms = gone.load();
        outcome.Check(outcome.code != 0, "a failure was reported as success");
        outcome.Check(outcome.ms >= 0 && outcome.ms <= 1000,
                      "the language process outlived the engine by over 1 s");
        engine.Stop();
    }
    return outcome;
}

Outcome EngineKilledAfterProcedureCase() {
    Outcome outcome;
    {
        Engine engine(outcome, true);
        TimeCall(outcome, BuildLastTable);
        ::kill(engine.pid(), SIGKILL);
        WaitUntil([&] { return !ProcessExists(engine.pid()); }, kBound);
        CheckDocuments(outcome, engine.home().path());
        engine.Stop();
    }
    return outcome;
}

// ---- E: Ctrl-C while a block runs --------------------------------------------

// What a client program does with SIGINT: ask for the block's interrupt.
void InterruptOnSigint(int) { InterruptVexa(); }

struct LanguageText {
    std::string pid;   // posts "pid <its process id>"
    std::string loop;  // posts "waiting", then never ends by itself
};

// A Python block either loops in bytecode or sleeps in one blocking call.
enum class Wait { kLoop, kSleep };

LanguageText TextsOf(const std::string& language, Wait wait) {
    if (language.rfind("PYTHON", 0) == 0) {
        return {"import os\nprint('pid', os.getpid(), flush=True)",
                wait == Wait::kSleep ? "import time\nprint('waiting', flush=True)\ntime.sleep(600)"
                                     : "print('waiting', flush=True)\nwhile True:\n    pass"};
    }
    if (language == "R" || language == "RIN")
        return {"cat('pid', Sys.getpid(), '\\n')", "cat('waiting\\n')\nrepeat {}"};
    return {"pid", "post waiting\nwait 600000"};
}

Outcome InterruptCase(const std::string& language, bool wholeGroup, Wait wait = Wait::kLoop) {
    Outcome outcome;
    // The group a terminal's Ctrl-C reaches: this client, the engine and the
    // language processes it starts from here on.
    if (wholeGroup) ::setpgid(0, 0);
    struct sigaction action {};
    action.sa_handler = InterruptOnSigint;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    const LanguageText texts = TextsOf(language, wait);
    {
        Engine engine(outcome);
        const auto pidOf = [&] {
            const std::size_t before = engine.PostedPids().size();
            outcome.Check(Engine::Block(texts.pid, language) == 0, "a pid block failed");
            const std::vector<int> pids = engine.PostedPids();
            return pids.size() > before ? pids.back() : -1;
        };
        const int process = pidOf();
        // A language loaded into the engine runs its blocks in the engine's process.
        const bool inEngine =
            language.size() > 2 && language.compare(language.size() - 2, 2, "IN") == 0;
        if (inEngine) {
            outcome.Check(process == engine.pid(), "the block did not run in the engine's process");
        } else {
            engine.Remember(process);
        }
        outcome.Check(process > 0, "no language process");
        std::atomic<bool> sent{false};
        Clock::time_point sentAt;
        std::thread interrupter([&] {
            if (!WaitUntil([&] { return engine.Posted("waiting\n"); }, kBound)) return;
            sentAt = Clock::now();
            sent = true;
            ::kill(wholeGroup ? 0 : ::getpid(), SIGINT);
        });
        outcome.code = Engine::Block(texts.loop, language);
        const auto returned = Clock::now();
        interrupter.join();
        outcome.Check(sent.load(), "the block never started");
        outcome.ms = sent ? static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                  returned - sentAt)
                                                  .count())
                          : -1;
        outcome.Check(outcome.code == 9085, "Submit did not answer the interrupt's code");
        outcome.Check(outcome.ms >= 0 && outcome.ms <= 1000,
                      "the block outlived the interrupt by over 1 s");
        engine.CheckAnswers();
        outcome.Check(pidOf() == process,
                      "the next block did not run in the same language process");
        engine.Stop();
    }
    ::signal(SIGINT, SIG_DFL);
    return outcome;
}

struct Case {
    const char* name;
    std::function<Outcome()> run;
};

const std::vector<Case>& Cases() {
    static const std::vector<Case> cases = {
        {"A1 fake engine exits before reading",
         [] { return FakeEngineCase("exit-before-read", Action::kNone, false); }},
        {"A2 fake engine exits after reading",
         [] { return FakeEngineCase("exit-after-read", Action::kNone, false); }},
        {"A3 fake engine dies mid 1 MiB reply",
         [] { return FakeEngineCase("cut-long", Action::kNone, false); }},
        {"A4 fake engine sends garbage",
         [] { return FakeEngineCase("garbage", Action::kNone, false); }},
        {"A5 truncated reply image",
         [] { return FakeEngineCase("truncated", Action::kNone, false); }},
        {"A6 reply total 0x7fffffff", [] { return FakeEngineCase("huge", Action::kNone, false); }},
        {"A7 fake engine SIGKILLed holding",
         [] { return FakeEngineCase("hold", Action::kKill, false); }},
        {"A8 fake engine SIGSTOPped 1 s",
         [] { return FakeEngineCase("slow-answer", Action::kStopOneSecond, true); }},
        {"B1 2nd client sends garbage",
         [] { return SecondClientCase({Piece(static_cast<std::int32_t>(0xdeadbeef), 64, true)}); }},
        {"B2 2nd client truncated image",
         [] { return SecondClientCase({Piece(4096, 1000, false)}); }},
        {"B3 2nd client total 0x7fffffff",
         [] { return SecondClientCase({Piece(0x7fffffff, 8192, false)}); }},
        {"B4 engine SIGKILLed mid Submit", EngineKilledCase},
        {"C1 language killed mid block", LanguageKilledMidBlockCase},
        {"C2 language dies while loading", LanguageDiesOnLoadCase},
        {"C3 language dies at block end", LanguageDiesAfterResultCase},
        {"C4 console killed mid read", ConsoleKilledCase},
        {"D1 client exits without StopVexa", ClientExitsWithoutStopCase},
        {"D2 client SIGKILLed mid endless block", ClientKilledMidBlockCase},
        {"D3 engine SIGKILLed mid endless block", EngineKilledLanguageEndsCase},
        {"D4 engine SIGKILLed after a procedure", EngineKilledAfterProcedureCase},
        {"F1 engine SIGKILLed, hosted block stuck", HostedBlockOutlivesEngineCase},
        {"F2 language SIGSTOPped at StopVexa", LanguageSilentAtStopCase},
        {"E1 SIGINT to client, TESTLANG wait", [] { return InterruptCase("TESTLANG", false); }},
        {"E2 SIGINT to group, TESTLANG wait", [] { return InterruptCase("TESTLANG", true); }},
        {"E7 SIGINT to client, TESTLANG in engine",
         [] { return InterruptCase("TESTLANGIN", false); }},
        {"E8 SIGINT to group, TESTLANG in engine",
         [] { return InterruptCase("TESTLANGIN", true); }},
#ifdef VEXA_FAULTS_PYTHON
        {"E3 SIGINT to client, PYTHON loop", [] { return InterruptCase("PYTHON", false); }},
        {"E4 SIGINT to group, PYTHON loop", [] { return InterruptCase("PYTHON", true); }},
        {"E9 SIGINT to client, PYTHON in engine", [] { return InterruptCase("PYTHONIN", false); }},
        {"EB SIGINT to client, PYTHON sleep",
         [] { return InterruptCase("PYTHON", false, Wait::kSleep); }},
        {"EC SIGINT to group, PYTHON sleep",
         [] { return InterruptCase("PYTHON", true, Wait::kSleep); }},
        {"ED SIGINT to client, PYTHON in engine sleep",
         [] { return InterruptCase("PYTHONIN", false, Wait::kSleep); }},
        {"EE SIGINT to group, PYTHON in engine sleep",
         [] { return InterruptCase("PYTHONIN", true, Wait::kSleep); }},
#endif
#ifdef VEXA_FAULTS_R
        {"E5 SIGINT to client, R loop", [] { return InterruptCase("R", false); }},
        {"E6 SIGINT to group, R loop", [] { return InterruptCase("R", true); }},
        {"EA SIGINT to client, R in engine", [] { return InterruptCase("RIN", false); }},
#endif
    };
    return cases;
}

std::string Id(const Case& c) { return std::string(c.name).substr(0, 2); }

// In the case process: run it and hand back "code ms verdict notes" on `fd`.
int RunCase(const std::string& id, int fd) {
    const int report = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
    ::close(fd);
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);
    // A sanitizer starts its own thread with the first one of the program;
    // that one must not count as left behind by the case.
    std::thread([] {}).join();
    for (const Case& c : Cases()) {
        if (Id(c) != id) continue;
        Outcome outcome = c.run();
        std::string text = std::to_string(outcome.code) + " " + std::to_string(outcome.ms) + " " +
                           (outcome.failures.empty() ? "PASS" : "FAIL");
        std::string details;
        for (const std::string& failure : outcome.failures)
            details += (details.empty() ? "" : "; ") + failure;
        for (const std::string& note : outcome.notes)
            details += (details.empty() ? "" : "; ") + note;
        text += " " + details + "\n";
        [[maybe_unused]] ssize_t written = ::write(report, text.data(), text.size());
        ::close(report);
        return outcome.failures.empty() ? 0 : 1;
    }
    return 2;
}

struct Row {
    std::string name, code = "-", ms = "-", verdict = "FAIL", details;
};

// In the runner: start the case process, take its line, then check what only
// an outsider can see: how it ended and which of its socket files remain.
Row Run(const Case& c) {
    Row row;
    row.name = c.name;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return row;
    const int childEnd = ::fcntl(fds[1], F_DUPFD, 3);  // without close-on-exec
    ::close(fds[1]);
    const std::string fdText = std::to_string(childEnd);
    const std::string id = Id(c);
    std::string self = fs::read_symlink("/proc/self/exe").string();
    std::vector<char*> argv{self.data(), const_cast<char*>("--case"), const_cast<char*>(id.c_str()),
                            const_cast<char*>(fdText.c_str()), nullptr};
    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, self.c_str(), nullptr, nullptr, argv.data(), environ);
    ::close(childEnd);
    if (spawned != 0) {
        ::close(fds[0]);
        row.details = "could not start the case";
        return row;
    }
    std::string line;
    const auto deadline = Clock::now() + kBound + kRunnerGrace;
    bool hung = false;
    while (line.find('\n') == std::string::npos) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        pollfd readable{fds[0], POLLIN, 0};
        if (left <= 0 || ::poll(&readable, 1, static_cast<int>(left)) != 1) {
            hung = true;
            break;
        }
        char buffer[512];
        const ssize_t count = ::read(fds[0], buffer, sizeof buffer);
        if (count <= 0) break;
        line.append(buffer, static_cast<std::size_t>(count));
    }
    ::close(fds[0]);
    if (hung) ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    std::istringstream fields(line);
    std::string verdict;
    fields >> row.code >> row.ms >> verdict;
    std::getline(fields >> std::ws, row.details);
    bool pass = verdict == "PASS" && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    std::vector<std::string> problems;
    if (hung)
        problems.push_back("hung: killed after " + std::to_string((kBound + kRunnerGrace).count()) +
                           " s");
    if (WIFSIGNALED(status))
        problems.push_back(std::string("crashed: ") + strsignal(WTERMSIG(status)));
    const std::vector<std::string> files = PipeFilesOf(pid);
    for (const std::string& name : files) {
        problems.push_back("left " + name);
        std::error_code ignored;
        fs::remove(PipeDirectory() + "/" + name, ignored);
    }
    pass = pass && problems.empty();
    for (const std::string& problem : problems)
        row.details += (row.details.empty() ? "" : "; ") + problem;
    row.verdict = pass ? "PASS" : "FAIL";
    return row;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--case") return RunCase(argv[2], std::atoi(argv[3]));
    if (argc == 4 && std::string(argv[1]) == "--client") return ClientMain(argv[2], argv[3]);
    std::vector<Row> rows;
    for (const Case& c : Cases()) {
        bool chosen = argc == 1;
        for (int i = 1; i < argc; ++i) chosen = chosen || Id(c) == argv[i];
        if (chosen) rows.push_back(Run(c));
    }
    const long bound =
        static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(kBound).count());
    const std::string timeHeader = "ms (bound " + std::to_string(bound) + ")";
    std::printf("%-38s | %-8s | %-16s | %s\n", "case", "code", timeHeader.c_str(), "verdict");
    std::printf("%s\n", std::string(100, '-').c_str());
    int failures = 0;
    for (const Row& row : rows) {
        std::printf("%-38s | %-8s | %-16s | %s%s%s\n", row.name.c_str(), row.code.c_str(),
                    row.ms.c_str(), row.verdict.c_str(), row.details.empty() ? "" : "  ",
                    row.details.c_str());
        if (row.verdict != "PASS") ++failures;
    }
    std::printf("%d of %zu cases failed\n", failures, rows.size());
    return failures == 0 ? 0 : 1;
}
