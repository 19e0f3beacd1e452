// Faults of an out-of-process language, end to end: this program is the
// engine side (driving the out-of-process host itself, or through the
// reference engine) and the language runs in a real launcher process that
// the tests kill or replace.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "hosting/dxstartup.h"
#include "hosting/outpstatisticsx.h"
#include "languagetestsupport.h"
#include "platform/localchannel.h"
#include "platform/process.h"
#include "runtime/statuscodes.h"
#include "runtime/vexadxconfigreader.h"
#include "testlanguagelog.h"
#include "transport/monitor.h"
#include "transport/xpipemanager.h"
#include "vexaxd_p.h"

namespace {

const std::string kConfiguration =
    "[SUPPORTED_LANG]\nX=TESTLANG\n[TESTLANG]\nLIB_NAME=libvexatestlang.so\n";
// A launcher that died leaves nothing that makes the host wait longer than
// this; everything here ends far sooner.
constexpr auto kHangLimit = std::chrono::seconds(20);

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) return condition();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

bool ProcessExists(int pid) { return kill(pid, 0) == 0 || errno != ESRCH; }

// A killed process leaves its socket files behind; all carry the process id
// text of the engine side, which starts with `prefix`.
void RemovePipeFiles(const std::string& prefix) {
    namespace fs = std::filesystem;
    std::error_code ignored;
    for (const fs::directory_entry& entry :
         fs::directory_iterator(platform::PipeDirectory(), ignored)) {
        if (entry.path().filename().string().rfind(prefix, 0) == 0)
            fs::remove(entry.path(), ignored);
    }
}

std::string HexPid() {
    char text[32];
    std::snprintf(text, sizeof text, "%04x", static_cast<unsigned>(getpid()));
    return text;
}

std::atomic<int> g_partnerLost{0};
void CountPartnerLost() { ++g_partnerLost; }

// Lines of `lines` that start with one of the prefixes, in order.
std::vector<std::string> Select(const std::vector<std::string>& lines,
                                const std::vector<std::string>& prefixes) {
    std::vector<std::string> selected;
    for (const std::string& line : lines) {
        for (const std::string& prefix : prefixes) {
            if (line.rfind(prefix, 0) == 0) {
                selected.push_back(line);
                break;
            }
        }
    }
    return selected;
}

// The engine side of one language process: the process-wide state on an
// engine home of the test, and an out-of-process host for the test language
// at nesting level 0, as the engine makes it for a block.
class OutOfProcessHost : public ::testing::Test {
  protected:
    void SetUp() override { g_partnerLost = 0; }

    void Start(const std::string& engineHome) {
        ASSERT_EQ(InitDxGlobal(m_temp.path() + "/", PidText(), "ENGINE", engineHome), 0);
        m_suit = GetXPipeManager()->getPipeSuit("TESTLANG");
        m_suit->increaseIndex();
        m_host = std::make_unique<OutpStatisticsX>(
            VexaDXConfigReader::GetInstance()->GetOptions("TESTLANG"), 1, true);
    }

    void TearDown() override {
        m_host.reset();
        FinalizeDXGlobal();
        RemovePipeFiles(PidText());
    }

    static std::string PidText() { return "f" + HexPid(); }

    testsupport::TempDir m_temp;
    XPipeSuit* m_suit = nullptr;
    std::unique_ptr<OutpStatisticsX> m_host;
};

}  // namespace

// Each block is kSetupDXRun, the ready message, the text, the result and
// kExitDxRun, in that order, on the engine side's trace.
TEST_F(OutOfProcessHost, EachBlockExchangesSetupReadyTextResultAndExitInOrder) {
    languagetest::EngineHome home(kConfiguration);
    Start(home.path());
    ASSERT_EQ(m_host->init_embedded_x(0, nullptr), 0);
    const int languagePid = m_host->processId();
    ASSERT_GT(languagePid, 0);
    {
        testsupport::TraceCapture trace;
        for (const char* text : {"status 5\n", "status 6\n"}) {
            ASSERT_EQ(m_host->pre_action(), 0);
            EXPECT_EQ(m_host->execute_x(text), text[7] - '0');
            EXPECT_EQ(m_host->post_action(), 0);
        }
        auto block = [](int status) {
            return std::vector<std::string>{
                "cmd NO: 1146667011",  // kSetupDXRun
                "setup_x_run cmdDispatcher sendCmd error code : 0.",
                "StatisticsX::pre_action error code : 0.",  // the ready message came
                "x_execute_x SendData syntaxPipe error code : 0.",
                "x_execute_x ReceiveData syntaxResultPipe error code : " + std::to_string(status) +
                    ".",
                "cmd NO: 1146667012",  // kExitDxRun
                "exit_x_run cmdDispatcher sendCmd error code : 0."};
        };
        std::vector<std::string> expected = block(5);
        // The result pipe of the level is kept for the next block.
        expected.push_back("setup_x_run syntaxResultPipe has CreatePipe");
        for (const std::string& line : block(6)) expected.push_back(line);
        EXPECT_EQ(Select(trace.lines(), {"cmd NO: ", "setup_x_run", "StatisticsX::pre_action",
                                         "x_execute_x", "exit_x_run"}),
                  expected);
    }
    testsupport::TraceCapture trace;
    EXPECT_EQ(m_host->stop_embedded_x(), 0);
    const std::vector<std::string> lines = trace.lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "cmd NO: 1146667010"), lines.end());  // kStopDX
    EXPECT_FALSE(ProcessExists(languagePid));
}

TEST_F(OutOfProcessHost, ALanguageProcessKilledMidBlockFailsTheBlockAndTheStopSendsNothing) {
    languagetest::EngineHome home(kConfiguration);
    Start(home.path());
    ASSERT_EQ(m_host->init_embedded_x(0, nullptr), 0);
    const int languagePid = m_host->processId();
    ASSERT_EQ(m_host->pre_action(), 0);

    // The block calls the engine's API, which this side never answers: the
    // language is caught in the middle of its block.
    VexaPipe& api = *m_suit->getXPipes()->GetXDAPIPipe();
    ASSERT_EQ(api.CreatePipe(), 0);
    std::future<int> block = std::async(
        std::launch::async, [this] { return m_host->execute_x("call GetVariableCount\n"); });

    // The heartbeat the language side would write comes from a peer that
    // dies with it.
    MonitorThread* reader = m_suit->startMonitor(true, &CountPartnerLost);
    platform::ChildProcess writer;
    ASSERT_EQ(platform::ChildProcess::Spawn(
                  {testsupport::PeerPath("monitorwriter"), reader->pipeName()}, writer),
              0);
    ASSERT_TRUE(WaitUntil([&] { return api.ConnectPipeWithin(50) == 0; }, kHangLimit));
    ASSERT_TRUE(WaitUntil([&] { return reader->isPartnerAlive(); }, kHangLimit));

    ASSERT_EQ(kill(languagePid, SIGKILL), 0);
    writer.Kill();
    ASSERT_EQ(block.wait_for(kHangLimit), std::future_status::ready)
        << "the block waits for a dead process";
    EXPECT_NE(block.get(), 0);
    EXPECT_TRUE(WaitUntil([&] { return !reader->HasThread(); }, kHangLimit));
    EXPECT_EQ(g_partnerLost.load(), 1);
    EXPECT_FALSE(reader->isNormalEnd());
    api.ClosePipe();
    // SIGKILL is delivered before the process is gone: the stop is meant to
    // meet a process that has exited.
    ASSERT_TRUE(WaitUntil([&] { return !m_host->isXProcessActive(); }, kHangLimit));

    testsupport::TraceCapture trace;
    EXPECT_EQ(m_host->stop_embedded_x(), 0);
    const std::vector<std::string> lines = trace.lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "stat_stop_x: x process has already exited "),
              lines.end());
    EXPECT_EQ(Select(lines, {"cmd NO: "}), std::vector<std::string>{});
    EXPECT_FALSE(ProcessExists(languagePid));
}

// The launcher starts but never opens its pipes: the host gives up once the
// schedule of a start pause and 100 sends 100 ms apart (about 10.5 s) has
// passed, waiting for the connection and sending kTestCmdst within it, and
// fails with the last send's code instead of hanging.
TEST_F(OutOfProcessHost, ALauncherThatNeverAnswersFailsTheStartWithinItsSchedule) {
    testsupport::TempDir home;
    testsupport::WriteFile(home.file("vexadxcfg.ini"), kConfiguration);
    std::filesystem::create_symlink(testsupport::PeerPath("silentlauncher"), home.file("startx"));
    Start(home.path());
    testsupport::TraceCapture trace;
    std::future<int> start =
        std::async(std::launch::async, [this] { return m_host->init_embedded_x(0, nullptr); });
    // The schedule plus the slack of one failing send; the old double wait took 20 s.
    ASSERT_EQ(start.wait_for(std::chrono::seconds(14)), std::future_status::ready);
    const int status = start.get();
    EXPECT_NE(status, 0);
    EXPECT_FALSE(m_host->isIntialized());
    const std::vector<std::string> lines = trace.lines();
    const auto sends = std::count(lines.begin(), lines.end(), "cmd NO: 1146667263");
    EXPECT_GE(sends, 1);
    EXPECT_LE(sends, OutpStatisticsX::kTestSends);
    const auto lastReturn =
        std::find(lines.rbegin(), lines.rend(), "cmd return: " + std::to_string(status));
    EXPECT_NE(lastReturn, lines.rend()) << "the status is not the last send's";
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "stat_start_x result error code : " + std::to_string(status) + "."),
              lines.end());
    const int launcherPid = m_host->processId();
    ASSERT_GT(launcherPid, 0);
    EXPECT_TRUE(ProcessExists(launcherPid));
    // Destroying the host reaps the launcher it started.
    m_host.reset();
    EXPECT_FALSE(ProcessExists(launcherPid));
}

namespace {

// The reference engine started through the library, with standard input
// taken from a pipe that stays silent, so that a console the language opens
// waits for a line until the language process is killed.
class EngineBlocks : public ::testing::Test {
  protected:
    void SetUp() override {
        int fds[2];
        // Only the read end reaches the processes started meanwhile.
        ASSERT_EQ(pipe2(fds, O_CLOEXEC), 0);
        m_savedIn = dup(0);
        dup2(fds[0], 0);
        close(fds[0]);
        m_silentInput = fds[1];
        const std::string arguments =
            "-vexahome=" + m_home.path() + ", -outputlog=" + m_home.file("output.log");
        ASSERT_EQ(StartVexa(arguments.c_str()), 0);
    }
    void TearDown() override {
        StopVexa();
        dup2(m_savedIn, 0);
        close(m_savedIn);
        close(m_silentInput);
        // The engine names its pipes with this process's id text.
        RemovePipeFiles(HexPid());
    }

    std::string OutputLog() const { return testsupport::ReadFile(m_home.file("output.log")); }
    static int SubmitText(const std::string& text) {
        return Submit(text.data(), static_cast<int>(text.size()));
    }
    // The pids the language posted, in order.
    std::vector<int> PostedPids() const { return testsupport::PostedPids(OutputLog()); }

    int m_savedIn = -1;
    int m_silentInput = -1;
    languagetest::EngineHome m_home{kConfiguration};
};

}  // namespace

TEST_F(EngineBlocks, ALanguageProcessKilledMidBlockFailsTheBlockAndALaterBlockGetsANewProcess) {
    ASSERT_EQ(SubmitText("BEGIN PROGRAM TESTLANG.\npid\nEND PROGRAM."), 0);
    ASSERT_EQ(PostedPids().size(), 1u);
    const int languagePid = PostedPids()[0];
    ASSERT_GT(languagePid, 0);

    // The block posts a mark once its console is open and then waits on it;
    // the language process is killed from another thread meanwhile (or,
    // should the mark never come, anyway, so that nothing hangs).
    std::atomic<bool> sawMark{false};
    std::thread killer([&] {
        sawMark = WaitUntil([this] { return OutputLog().find("waiting\n") != std::string::npos; },
                            kHangLimit);
        kill(languagePid, SIGKILL);
    });
    const int status =
        SubmitText("BEGIN PROGRAM TESTLANG.\ncallback 8\npost waiting\ncallback 11\nEND PROGRAM.");
    killer.join();
    EXPECT_TRUE(sawMark.load());
    EXPECT_NE(status, 0);

    int err = 0;
    EXPECT_GT(GetVariableCount(&err), 0);
    EXPECT_EQ(err, 0);
    EXPECT_EQ(SubmitText("BEGIN PROGRAM TESTLANG.\npid\nEND PROGRAM."), 0);
    const std::vector<int> pids = PostedPids();
    ASSERT_EQ(pids.size(), 2u) << OutputLog();
    EXPECT_NE(pids[1], languagePid);
    EXPECT_TRUE(ProcessExists(pids[1]));
}

namespace {

const std::string kTwoLanguages =
    "[SUPPORTED_LANG]\nX=PYTHON;R\n"
    "[PYTHON]\nHOME=/opt/env-test/python\nVEXA_ENV_TEST_PY=from-python\n"
    "[R]\nHOME=/opt/env-test/r\nVEXA_ENV_TEST_R=from-r\n";

// The environment block a process started with, by name.
std::map<std::string, std::string> EnvironmentOf(int pid) {
    const std::string block = testsupport::ReadFile("/proc/" + std::to_string(pid) + "/environ");
    std::map<std::string, std::string> variables;
    for (std::size_t at = 0; at < block.size();) {
        const std::size_t end = block.find('\0', at);
        const std::string entry = block.substr(at, end - at);
        const std::size_t equals = entry.find('=');
        if (equals != std::string::npos)
            variables[entry.substr(0, equals)] = entry.substr(equals + 1);
        at = end == std::string::npos ? block.size() : end + 1;
    }
    return variables;
}

std::string Current(const std::string& name) {
    std::string value;
    return platform::GetEnvironment(name, value) ? value : std::string("<unset>");
}

}  // namespace

// Each language process gets the engine's environment with its own section
// set over it, as a block of its own: after three starts of each language
// the engine's environment is as before, and no child holds the other
// language's values or a folder twice.
TEST(LanguageEnvironment, EveryStartGetsItsOwnBlockAndTheEngineEnvironmentNeverChanges) {
    languagetest::EngineHome home(kTwoLanguages);
    testsupport::TempDir temp;
    const std::string pidText = "e" + HexPid();
    ASSERT_EQ(InitDxGlobal(temp.path() + "/", pidText, "ENGINE", home.path()), 0);
    const std::vector<std::string> engineBefore = platform::CurrentEnvironment();
    const std::string enginePath = Current("PATH");
    for (int round = 0; round < 3; ++round) {
        for (const std::string language : {"PYTHON", "R"}) {
            SCOPED_TRACE(language + " start " + std::to_string(round + 1));
            // Each process gets fresh channels, as the engine gives a new one.
            GetXPipeManager()->removePipeSuit(language);
            GetXPipeManager()->getPipeSuit(language)->increaseIndex();
            OutpStatisticsX host(VexaDXConfigReader::GetInstance()->GetOptions(language), 1, true);
            ASSERT_EQ(host.init_embedded_x(0, nullptr), 0);
            const std::map<std::string, std::string> child = EnvironmentOf(host.processId());
            const bool python = language == "PYTHON";
            const std::string own = python ? "VEXA_ENV_TEST_PY" : "VEXA_ENV_TEST_R";
            const std::string other = python ? "VEXA_ENV_TEST_R" : "VEXA_ENV_TEST_PY";
            EXPECT_EQ(child.count(own), 1u);
            EXPECT_EQ(child.count(other), 0u);
            EXPECT_EQ(child.at("PATH"),
                      (python ? "/opt/env-test/python:" : "/opt/env-test/r/bin:") + enginePath);
            if (python) {
                EXPECT_EQ(child.at("PYTHONHOME"), "/opt/env-test/python");
                EXPECT_EQ(child.at("BACKEND_PYTHON_SCRIPT"), "True");
                EXPECT_EQ(child.count("R_HOME"), Current("R_HOME") == "<unset>" ? 0u : 1u);
            } else {
                EXPECT_EQ(child.at("R_HOME"), "/opt/env-test/r");
                EXPECT_EQ(child.count("BACKEND_PYTHON_SCRIPT"),
                          Current("BACKEND_PYTHON_SCRIPT") == "<unset>" ? 0u : 1u);
                EXPECT_EQ(child.count("PYTHONHOME"), Current("PYTHONHOME") == "<unset>" ? 0u : 1u);
            }
            EXPECT_EQ(platform::CurrentEnvironment(), engineBefore);
            EXPECT_EQ(host.stop_embedded_x(), 0);
        }
    }
    EXPECT_EQ(Current("PATH"), enginePath);
    FinalizeDXGlobal();
    RemovePipeFiles(pidText);
}
