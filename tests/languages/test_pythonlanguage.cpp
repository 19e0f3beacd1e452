// The Python language: its library loaded into this process as the hosts
// load it (local symbols), and PYTHON blocks run by the reference engine in
// a language process of their own. Nothing is mocked; the interpreter is
// the system's CPython.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "hosting/dxcallbacks.h"
#include "hosting/inpstatisticsx.h"
#include "hosting/vexalanguage.h"
#include "languagetestsupport.h"
#include "platform/dynlib.h"
#include "runtime/dxglobal.h"
#include "runtime/statuscodes.h"
#include "runtime/xconfigoptions.h"
#include "vexaxd_p.h"

using languagetest::CapturedOutput;
using languagetest::CaptureOutput;

namespace {

std::string LibraryPath() { return languagetest::BuildEngineHome() + "/libvexapython.so"; }

// The library's own execute_x, for calls the host would not make.
VexaExecuteFn ExecuteEntry() {
    static platform::DynamicLibrary* library = [] {
        auto* opened = new platform::DynamicLibrary;
        std::string error;
        platform::DynamicLibrary::Open(LibraryPath(), *opened, error);
        return opened;
    }();
    std::string error;
    return reinterpret_cast<VexaExecuteFn>(library->Symbol("execute_x", error));
}

std::vector<std::string>& TableOutput() {
    static std::vector<std::string> output;
    return output;
}

int CaptureTableOutput(const char* text, int length) {
    TableOutput().emplace_back(text, static_cast<std::size_t>(length));
    return 0;
}

bool ProcessExists(int pid) { return kill(pid, 0) == 0 || errno != ESRCH; }

}  // namespace

// Block code reaches this through ctypes, as a block reaches the engine: the
// foreign call lets go of the interpreter's lock, and another thread runs a
// nested block while the caller waits.
extern "C" __attribute__((visibility("default"))) int RunNestedPythonBlock(const char* text) {
    int status = -1;
    std::thread([&status, text] { status = ExecuteEntry()(text); }).join();
    return status;
}

namespace {

// One interpreter per process, as in a language process: it starts with the
// suite and stops at its end.
class PythonInProcess : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        SetVEXAHOME(languagetest::BuildEngineHome().c_str());
        setenv("VEXA_HOME", languagetest::BuildEngineHome().c_str(), 1);
        unsetenv("VEXAPYTHON_PRE_ACTION");
        s_options = new XConfigOptions("PYTHON");
        s_options->PutOption(XConfigOptions::KEY_LIB_NAME, "libvexapython.so");
        s_host = new InpStatisticsX(s_options, true);
        s_host->setup_dxcallback(hosting::GetDxCallBackTable());
        char first[] = "block-args", second[] = "two words";
        char* argv[] = {first, second};
        s_initStatus = s_host->init_embedded_x(2, argv);
        s_host->set_post_vexa_output(&CaptureOutput);
    }

    static void TearDownTestSuite() {
        EXPECT_EQ(s_host->stop_embedded_x(), 0);
        // Stopped: the library refuses text, and stopping again does nothing.
        EXPECT_NE(ExecuteEntry()("print('after stop')"), 0);
        platform::DynamicLibrary library;
        std::string error;
        EXPECT_EQ(platform::DynamicLibrary::Open(LibraryPath(), library, error), 0) << error;
        auto stop = reinterpret_cast<VexaStatusFn>(library.Symbol("stop_embedded_x", error));
        EXPECT_NE(stop, nullptr) << error;
        if (stop) {
            EXPECT_EQ(stop(), 0);
        }
        delete s_host;
        delete s_options;
        unsetenv("VEXA_HOME");
    }

    void SetUp() override {
        ASSERT_EQ(s_initStatus, 0);
        ASSERT_EQ(s_host->lastStatus(), 0);
        CapturedOutput().clear();
        TableOutput().clear();
    }

    static int Run(const std::string& text) { return s_host->execute_x(text.c_str()); }

    static XConfigOptions* s_options;
    static InpStatisticsX* s_host;
    static int s_initStatus;
};

XConfigOptions* PythonInProcess::s_options = nullptr;
InpStatisticsX* PythonInProcess::s_host = nullptr;
int PythonInProcess::s_initStatus = -1;

}  // namespace

TEST_F(PythonInProcess, WrittenTextIsPostedAsWholeLinesAndTheRestAtTheEndOfTheBlock) {
    ASSERT_EQ(Run("import sys\n"
                  "print('hello')\n"
                  "print('a', 1, sep='-')\n"
                  "sys.stdout.write('part')\n"
                  "sys.stdout.write('ial\\nx\\ny\\nrest')\n"
                  "print('to stderr', file=sys.stderr)\n"
                  "sys.stdout.write(' of it')\n"
                  "sys.stdout.flush()\n"
                  "sys.stdout.flush()\n"
                  "print('')\n"
                  "print('gr\\u00fc\\u00dfe')\n"
                  "print(sys.argv)\n"
                  "sys.stdout.write('tail')\n"),
              0);
    EXPECT_EQ(CapturedOutput(), (std::vector<std::string>{"hello", "a-1", "partial\nx\ny",
                                                          "to stderr", "rest of it", "",
                                                          "gr\xc3\xbc\xc3\x9f"
                                                          "e",
                                                          "['block-args', 'two words']", "tail"}));
    // The streams are the process's own again between blocks.
    CapturedOutput().clear();
    ASSERT_EQ(Run("import sys\nprint(sys.stdout is sys.__stdout__, sys.stderr is sys.__stderr__)"),
              0);
    EXPECT_EQ(CapturedOutput(), std::vector<std::string>{"False False"});
    ASSERT_EQ(Run("import sys\nsaved = sys.stdout\n"), 0);
    CapturedOutput().clear();
    ASSERT_EQ(Run("import sys\nprint(saved is sys.stdout, sys.__stdout__ is not sys.stdout)"), 0);
    EXPECT_EQ(CapturedOutput(), std::vector<std::string>{"False True"});
}

TEST_F(PythonInProcess, AnExceptionFailsTheBlockAndPostsItsTracebackAfterTheOutputBeforeIt) {
    EXPECT_EQ(Run("print('before')\n"
                  "import sys\n"
                  "sys.stdout.write('no line feed')\n"
                  "def fail():\n"
                  "    raise ValueError('bad value 42')\n"
                  "fail()\n"
                  "print('never')\n"),
              1);
    EXPECT_EQ(CapturedOutput(),
              (std::vector<std::string>{"before", "no line feed",
                                        "Traceback (most recent call last):\n"
                                        "  File \"<program block>\", line 6, in <module>\n"
                                        "  File \"<program block>\", line 5, in fail\n"
                                        "ValueError: bad value 42"}));
    CapturedOutput().clear();
    EXPECT_EQ(Run("x = (\n"), 1);
    ASSERT_EQ(CapturedOutput().size(), 1u);
    EXPECT_NE(CapturedOutput()[0].find("SyntaxError"), std::string::npos) << CapturedOutput()[0];
    // The interpreter goes on with the next block.
    CapturedOutput().clear();
    EXPECT_EQ(Run("print('next')"), 0);
    EXPECT_EQ(CapturedOutput(), std::vector<std::string>{"next"});
}

TEST_F(PythonInProcess, SystemExitIsTheBlocksStatusAndNeverEndsTheProcess) {
    struct Case {
        const char* text;
        int status;
        std::vector<std::string> posted;
    };
    const std::vector<Case> cases = {
        {"import sys\nsys.exit()", 0, {}},
        {"raise SystemExit(0)", 0, {}},
        {"raise SystemExit(None)", 0, {}},
        {"print('then')\nimport sys\nsys.exit(7)", 7, {"then"}},
        {"raise SystemExit(-3)", -3, {}},
        {"raise SystemExit(True)", 1, {}},
        {"raise SystemExit(2**40)", 1, {}},
        {"import sys\nsys.exit('stopped here')", 1, {"stopped here"}},
        {"try:\n    raise SystemExit(4)\nexcept SystemExit:\n    print('caught')", 0, {"caught"}},
    };
    for (const Case& c : cases) {
        CapturedOutput().clear();
        EXPECT_EQ(Run(c.text), c.status) << c.text;
        EXPECT_EQ(CapturedOutput(), c.posted) << c.text;
    }
    CapturedOutput().clear();
    EXPECT_EQ(Run("print('still here')"), 0);
    EXPECT_EQ(CapturedOutput(), std::vector<std::string>{"still here"});
}

TEST_F(PythonInProcess, ExtensionModulesLoadAlthoughTheHostLoadedTheLanguageWithLocalSymbols) {
    ASSERT_EQ(
        Run("import math, json, ctypes, _ctypes, decimal, _json\n"
            "print(math.sqrt(2.25))\n"
            "print(json.dumps({'a': [1, 2]}))\n"
            "print(ctypes.c_int(-5).value, decimal.Decimal('1.10') + decimal.Decimal('2.2'))\n"
            // Resolved through the process's global scope.
            "print(ctypes.pythonapi.Py_IsInitialized())\n"),
        0)
        << (CapturedOutput().empty() ? "" : CapturedOutput().back());
    EXPECT_EQ(CapturedOutput(),
              (std::vector<std::string>{"1.5", "{\"a\": [1, 2]}", "-5 3.30", "1"}));
}

TEST_F(PythonInProcess, BlocksShareOneNamespaceAndTheEngineHomesPackageIsOnThePath) {
    ASSERT_EQ(Run("counter = 41\n"
                  "def bump():\n"
                  "    global counter\n"
                  "    counter += 1\n"
                  "    return counter\n"),
              0);
    // Starting again keeps the running interpreter and its state.
    char name[] = "ignored";
    char* argv[] = {name};
    platform::DynamicLibrary library;
    std::string error;
    ASSERT_EQ(platform::DynamicLibrary::Open(LibraryPath(), library, error), 0) << error;
    auto init = reinterpret_cast<VexaInitEmbeddedFn>(library.Symbol("init_embedded_x", error));
    ASSERT_NE(init, nullptr) << error;
    EXPECT_EQ(init(1, argv), 0);
    ASSERT_EQ(Run("print(bump(), __name__)\n"
                  "import sys, importlib.util\n"
                  "print(sys.argv)\n"
                  "print(sys.path[0])\n"
                  "print(list(importlib.util.find_spec('vexa').submodule_search_locations)[0])\n"
                  // The build's interpreter, whatever python3 comes first on PATH.
                  "import os\n"
                  "print(sys.executable)\n"
                  "print(os.path.dirname(os.__file__))\n"),
              0);
    const std::string packages = languagetest::BuildEngineHome() + "/Python/Lib/site-packages";
    EXPECT_EQ(
        CapturedOutput(),
        (std::vector<std::string>{"42 __main__", "['block-args', 'two words']", packages,
                                  packages + "/vexa", VEXA_PYTHON_EXECUTABLE, VEXA_PYTHON_STDLIB}));
}

TEST_F(PythonInProcess, ANestedBlockRunsOnAnotherThreadWhileTheOuterOneWaitsInAForeignCall) {
    ASSERT_EQ(Run("import ctypes, sys, threading\n"
                  "shared = 'from outer'\n"
                  "sys.stdout.write('outer partial ')\n"
                  "nested = ctypes.CDLL(None).RunNestedPythonBlock\n"
                  "nested.argtypes = [ctypes.c_char_p]\n"
                  "status = nested(b'import threading\\n'\n"
                  "                b'print(\"inner sees\", shared)\\n'\n"
                  "                b'inner_thread = threading.get_ident()\\n'\n"
                  "                b'raise SystemExit(3)\\n')\n"
                  "print('outer after', status, inner_thread != threading.get_ident())\n"),
              0)
        << (CapturedOutput().empty() ? "" : CapturedOutput().back());
    EXPECT_EQ(CapturedOutput(), (std::vector<std::string>{"outer partial ", "inner sees from outer",
                                                          "outer after 3 True"}));
}

// CPython breaks a blocking call only on its main thread: a block sleeping in
// one long call ends with KeyboardInterrupt soon after the interrupt, not
// when the sleep would, and an interrupt with no block running reaches none
// of the later blocks.
TEST_F(PythonInProcess, AnInterruptBreaksOneLongSleepAndALateOneReachesNoLaterBlock) {
    testsupport::TempDir temp;
    const std::string marker = temp.file("sleeping");
    std::thread interrupter([&marker] {
        for (int i = 0; i < 1000 && access(marker.c_str(), F_OK) != 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_TRUE(InpStatisticsX::InterruptRunningText());
    });
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(Run("import time\nopen(" + std::string("'") + marker +
                  "', 'w').close()\ntime.sleep(30)\nprint('slept')\n"),
              1);
    const auto took = std::chrono::steady_clock::now() - started;
    interrupter.join();
    EXPECT_LT(took, std::chrono::seconds(20)) << "the sleep was not broken";
    ASSERT_FALSE(CapturedOutput().empty());
    EXPECT_NE(CapturedOutput().back().find("KeyboardInterrupt"), std::string::npos)
        << CapturedOutput().back();

    CapturedOutput().clear();
    EXPECT_TRUE(InpStatisticsX::InterruptRunningText());
    // The signal the library wakes its main thread with, arriving after its
    // block has ended (as one sent just before the end may): no exception.
    ASSERT_EQ(kill(getpid(), SIGRTMIN + 5), 0);
    EXPECT_EQ(Run("import time\ntime.sleep(0.2)\nprint('next block')\n"), 0);
    EXPECT_EQ(CapturedOutput(), (std::vector<std::string>{"next block"}));
}

TEST_F(PythonInProcess, ActionsAndOutputRoutes) {
    EXPECT_EQ(s_host->pre_action(), 0);
    for (const auto& [value, status] : std::vector<std::pair<const char*, int>>{
             {"1", 1}, {"12", 12}, {"-2", -2}, {"x1", 0}, {"1x", 0}, {"", 0}, {"99999999999", 0}}) {
        setenv("VEXAPYTHON_PRE_ACTION", value, 1);
        EXPECT_EQ(s_host->pre_action(), status) << value;
    }
    unsetenv("VEXAPYTHON_PRE_ACTION");
    EXPECT_EQ(s_host->post_action(), 0);
    EXPECT_NE(ExecuteEntry()(nullptr), 0);

    // Without an output function the table's postOutput carries the text.
    VexaDxCallbacks table = *hosting::GetDxCallBackTable();
    table.postOutput = &CaptureTableOutput;
    s_host->setup_dxcallback(&table);
    s_host->set_post_vexa_output(nullptr);
    EXPECT_EQ(Run("print('through the table')"), 0);
    EXPECT_EQ(TableOutput(), std::vector<std::string>{"through the table"});
    // With no route at all the streams stay the process's own.
    table.postOutput = nullptr;
    EXPECT_EQ(Run("import sys\nuntouched = sys.stdout is sys.__stdout__ and sys.stderr is "
                  "sys.__stderr__"),
              0);
    // and a traceback goes to the program's own sys.stderr.
    EXPECT_EQ(Run("import io\nsys.stderr = io.StringIO()\nraise KeyError('no route')"), 1);
    EXPECT_EQ(Run("report = sys.stderr.getvalue()\nsys.stderr = sys.__stderr__"), 0);
    s_host->setup_dxcallback(hosting::GetDxCallBackTable());
    s_host->set_post_vexa_output(&CaptureOutput);
    EXPECT_EQ(
        Run("print(untouched)\nprint(report.splitlines()[0])\nprint(report.splitlines()[-1])"), 0);
    EXPECT_EQ(CapturedOutput(),
              (std::vector<std::string>{
                  "True", "Traceback (most recent call last):", "KeyError: 'no route'"}));
    EXPECT_EQ(TableOutput(), std::vector<std::string>{"through the table"});
}

namespace {

// PYTHON blocks submitted to the reference engine, which runs them in a
// language process started by "startx".
class PythonBlocks : public ::testing::Test {
  protected:
    void Start(const std::string& pythonSection = "") {
        m_home = std::make_unique<languagetest::EngineHome>(
            "[SUPPORTED_LANG]\nX=PYTHON\nTRACE=" + m_traces.path() +
            "\n[PYTHON]\nLIB_NAME=libvexapython.so\n" + pythonSection);
        const std::string arguments =
            "-vexahome=" + m_home->path() + ", -outputlog=" + OutputLogPath();
        ASSERT_EQ(StartVexa(arguments.c_str()), 0);
        m_started = true;
    }
    void TearDown() override {
        if (m_started) StopVexa();
    }

    std::string OutputLogPath() const { return m_home->file("output.log"); }

    // The output lines of the log, without their prefix.
    std::vector<std::string> Output() const {
        std::vector<std::string> lines;
        const std::string log = testsupport::ReadFile(OutputLogPath());
        const std::string prefix = "output: ";
        for (std::size_t at = 0; at < log.size();) {
            std::size_t end = log.find('\n', at);
            if (end == std::string::npos) end = log.size();
            if (log.compare(at, prefix.size(), prefix) == 0)
                lines.push_back(log.substr(at + prefix.size(), end - at - prefix.size()));
            at = end + 1;
        }
        return lines;
    }

    static int Block(const std::string& body) {
        const std::string text = "BEGIN PROGRAM PYTHON.\n" + body + "\nEND PROGRAM.";
        return Submit(text.data(), static_cast<int>(text.size()));
    }

    testsupport::TempDir m_traces;
    std::unique_ptr<languagetest::EngineHome> m_home;
    bool m_started = false;
};

}  // namespace

TEST_F(PythonBlocks, BlocksPrintIntoTheLogAndAFailedBlockLeavesTheLanguageProcessServing) {
    Start();
    // The interpreter's end runs the exit handlers, after joining threads.
    const std::string finalized = m_home->file("finalized");
    EXPECT_EQ(Block("import atexit, os, threading\n"
                    "worker = threading.Thread(target=print, args=('from a thread',))\n"
                    "worker.start()\n"
                    "worker.join()\n"
                    "atexit.register(lambda: open('" +
                    finalized +
                    "', 'w').write('finalized'))\n"
                    "print('python pid', os.getpid())\n"
                    "print('hello from python')"),
              0);
    EXPECT_EQ(Block("print('about to fail')\nraise RuntimeError('block failed on purpose')"), 1);
    EXPECT_EQ(Block("raise SystemExit(5)"), 5);
    EXPECT_EQ(Block("import os\nprint('python pid', os.getpid())"), 0);
    std::vector<std::string> output = Output();
    ASSERT_EQ(output.size(), 6u) << testsupport::ReadFile(OutputLogPath());
    EXPECT_EQ(output[0], "from a thread");
    output.erase(output.begin());
    EXPECT_EQ(output[1], "hello from python");
    EXPECT_EQ(output[2], "about to fail");
    EXPECT_EQ(output[3],
              "Traceback (most recent call last):\\n"
              "  File \"<program block>\", line 2, in <module>\\n"
              "RuntimeError: block failed on purpose");
    // One language process served every block, and it is not this one.
    ASSERT_TRUE(output[0].starts_with("python pid "));
    EXPECT_EQ(output[4], output[0]);
    const int pid = std::stoi(output[0].substr(11));
    EXPECT_NE(pid, getpid());
    StopVexa();
    m_started = false;
    EXPECT_FALSE(ProcessExists(pid));
    EXPECT_EQ(testsupport::ReadFile(finalized), "finalized");
}

TEST_F(PythonBlocks, ABlockSubmitsANestedBlockThatSeesItsNamespace) {
    Start();
    EXPECT_EQ(
        Block("import ctypes\n"
              "api = ctypes.CDLL('libvexaxd_p.so.1')\n"
              "shared = 'outer value'\n"
              "print('outer before')\n"
              "text = b\"BEGIN PROGRAM PYTHON.\\nprint('inner sees', shared)\\nEND PROGRAM.\"\n"
              "status = api.Submit(text, len(text))\n"
              "print('outer after', status)"),
        0);
    EXPECT_EQ(Output(),
              (std::vector<std::string>{"outer before", "inner sees outer value", "outer after 0"}))
        << testsupport::ReadFile(OutputLogPath());
}

TEST_F(PythonBlocks, APreActionOfOneSkipsTheBlock) {
    // Section keys reach the language process's environment.
    Start("VEXAPYTHON_PRE_ACTION=1\n");
    EXPECT_EQ(Block("print('never printed')"), VEXA_BLOCK_SKIPPED);
    EXPECT_EQ(Block("print('never printed')"), VEXA_BLOCK_SKIPPED);
    EXPECT_TRUE(Output().empty()) << testsupport::ReadFile(OutputLogPath());
}
