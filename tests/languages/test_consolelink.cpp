// The console link against the real console program over real pipes. The
// console inherits this process's standard input and output at its start, so
// each test hands it a pipe to read from and a file to write to.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "hosting/consolelink.h"
#include "hosting/dxcallbacks.h"
#include "hosting/dxstartup.h"
#include "hosting/inpstatisticsx.h"
#include "languagetestsupport.h"
#include "runtime/dxglobal.h"
#include "runtime/xconfigoptions.h"
#include "transport/xpipemanager.h"

using languagetest::CapturedOutput;

namespace {

// Standard input fed from a pipe and standard output sent to a file while
// the object lives; the console started meanwhile keeps both.
class RedirectedStdio {
  public:
    RedirectedStdio(const std::string& outputPath, const std::string& input) {
        std::fflush(stdout);
        m_savedIn = dup(0);
        m_savedOut = dup(1);
        int fds[2];
        EXPECT_EQ(pipe(fds), 0);
        EXPECT_EQ(write(fds[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
        close(fds[1]);
        dup2(fds[0], 0);
        close(fds[0]);
        int out = open(outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(out, 1);
        close(out);
    }
    ~RedirectedStdio() {
        std::fflush(stdout);
        dup2(m_savedIn, 0);
        dup2(m_savedOut, 1);
        close(m_savedIn);
        close(m_savedOut);
    }

  private:
    int m_savedIn;
    int m_savedOut;
};

bool ProcessExists(int pid) { return kill(pid, 0) == 0 || errno != ESRCH; }

class ConsoleLinkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // Cases run in parallel processes: each its own pipe names.
        char pid[16];
        std::snprintf(pid, sizeof pid, "%04x", static_cast<unsigned>(getpid()));
        m_pidText = pid;
        InitDxGlobal(m_temp.path() + "/", m_pidText, "TESTLANG", languagetest::BuildEngineHome());
    }
    void TearDown() override {
        hosting::ConsoleLinks::Close();
        FinalizeDXGlobal();
    }

    // The socket files of the console suite: the link's reply pipe, and the
    // request pipe that the console creates and removes when it ends.
    bool Exists(const std::string& pipe) const {
        return access((transport::PipeNameRoot() + m_pidText + "TESTLANGConsole0" + pipe).c_str(),
                      F_OK) == 0;
    }
    bool ConsolePipesRemain() const { return Exists("syntaxresult") || Exists("syntax"); }

    testsupport::TempDir m_temp;
    std::string m_pidText;
};

}  // namespace

TEST_F(ConsoleLinkTest, AWriteStartsTheConsoleAReadReturnsItsInputAndCloseEndsIt) {
    const std::string shown = m_temp.file("console.out");
    {
        RedirectedStdio stdio(shown, "typed by the user\nsecond line\n");
        // Writing before opening starts the console first.
        EXPECT_EQ(hosting::ConsoleLinks::Write("shown text\n", 11), 0);
    }
    ASSERT_TRUE(hosting::ConsoleLinks::IsOpen());
    const int pid = hosting::ConsoleLinks::ConsoleProcessId();
    ASSERT_GT(pid, 0);
    EXPECT_EQ(hosting::ConsoleLinks::Open(), 0);  // already open: the same console
    EXPECT_EQ(hosting::ConsoleLinks::ConsoleProcessId(), pid);

    char line[64];
    EXPECT_EQ(hosting::ConsoleLinks::Read(line, sizeof line), 0);
    EXPECT_STREQ(line, "typed by the user");
    // A buffer that the line fills gets no terminating NUL.
    char small[6];
    EXPECT_EQ(hosting::ConsoleLinks::Read(small, sizeof small), 0);
    EXPECT_EQ(std::string(small, sizeof small), "second");
    // At the end of its input the console answers with an empty line.
    EXPECT_EQ(hosting::ConsoleLinks::Read(line, sizeof line), 0);
    EXPECT_STREQ(line, "");
    EXPECT_EQ(hosting::ConsoleLinks::Write("more", 4), 0);

    EXPECT_EQ(hosting::ConsoleLinks::Close(), 0);
    EXPECT_FALSE(hosting::ConsoleLinks::IsOpen());
    EXPECT_FALSE(ProcessExists(pid));
    EXPECT_FALSE(ConsolePipesRemain());
    EXPECT_EQ(testsupport::ReadFile(shown), "shown text\nmore");
    // Without a link: close is 0, a read is 1.
    EXPECT_EQ(hosting::ConsoleLinks::Close(), 0);
    EXPECT_EQ(hosting::ConsoleLinks::Read(line, sizeof line), hosting::ConsoleLink::kNotOpen);
}

TEST_F(ConsoleLinkTest, AReadAfterTheConsoleWasKilledReturns4AndClosesTheLink) {
    {
        RedirectedStdio stdio(m_temp.file("console.out"), "");
        ASSERT_EQ(hosting::ConsoleLinks::Open(), 0);
    }
    const int pid = hosting::ConsoleLinks::ConsoleProcessId();
    ASSERT_EQ(kill(pid, SIGKILL), 0);
    char line[16] = "untouched";
    EXPECT_EQ(hosting::ConsoleLinks::Read(line, sizeof line), hosting::ConsoleLink::kConsoleGone);
    EXPECT_EQ(line[0], '\0');
    EXPECT_FALSE(hosting::ConsoleLinks::IsOpen());
    EXPECT_FALSE(ProcessExists(pid));
    // A killed console cannot remove its own pipe; ours is gone.
    EXPECT_FALSE(Exists("syntaxresult"));
    // The link object remains, closed: writes and reads are refused.
    EXPECT_EQ(hosting::ConsoleLinks::Write("x", 1), hosting::ConsoleLink::kNotOpen);
    EXPECT_EQ(hosting::ConsoleLinks::Read(line, sizeof line), hosting::ConsoleLink::kNotOpen);
    // A new open starts a new console.
    {
        RedirectedStdio stdio(m_temp.file("console2.out"), "");
        EXPECT_EQ(hosting::ConsoleLinks::Open(), 0);
    }
    EXPECT_NE(hosting::ConsoleLinks::ConsoleProcessId(), pid);
    EXPECT_EQ(hosting::ConsoleLinks::Close(), 0);
}

TEST_F(ConsoleLinkTest, AConsoleProgramThatIsMissingIsReportedAndLeavesNoPipe) {
    SetVEXAHOME(m_temp.path().c_str());  // no console program here
    EXPECT_EQ(hosting::ConsoleLinks::Open(), hosting::ConsoleLink::kConsoleNotStarted);
    EXPECT_FALSE(hosting::ConsoleLinks::IsOpen());
    EXPECT_FALSE(ConsolePipesRemain());
    SetVEXAHOME(languagetest::BuildEngineHome().c_str());
}

TEST_F(ConsoleLinkTest, TheLanguageReachesTheConsoleThroughItsCallbacks) {
    XConfigOptions options("TESTLANG");
    options.PutOption(XConfigOptions::KEY_LIB_NAME, "libvexatestlang.so");
    InpStatisticsX host(&options, true);
    host.setup_dxcallback(hosting::GetDxCallBackTable());
    host.set_post_vexa_output(&languagetest::CaptureOutput);
    ASSERT_EQ(host.init_embedded_x(0, nullptr), 0);
    const std::string shown = m_temp.file("console.out");
    {
        RedirectedStdio stdio(shown, "answer\n");
        EXPECT_EQ(host.execute_x("callback 8"), 0);
    }
    EXPECT_EQ(host.execute_x("callback 10 from the language\ncallback 11\ncallback 9\ncallback 11"),
              0);
    EXPECT_EQ(CapturedOutput(),
              (std::vector<std::string>{"callback 8 0", "callback 10 0", "callback 11 0 answer",
                                        "callback 9 0", "callback 11 1 "}));
    EXPECT_EQ(testsupport::ReadFile(shown), "from the language");
}
