// Program blocks end to end: this program starts the reference engine through
// the library and submits blocks in the test language, which the engine runs
// in a language process of its own ("startx"). Nothing is mocked.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "languagetestsupport.h"
#include "platform/process.h"
#include "vexaxd_p.h"

namespace {

class ProgramBlocks : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string arguments =
            "-vexahome=" + m_home.path() + ", -outputlog=" + OutputLogPath();
        ASSERT_EQ(StartVexa(arguments.c_str()), 0);
    }
    void TearDown() override { StopVexa(); }

    std::string OutputLogPath() const { return m_home.file("output.log"); }
    std::string OutputLog() const { return testsupport::ReadFile(OutputLogPath()); }

    // The posted texts of the output log, in order, that start with `prefix`.
    std::vector<std::string> Posted(const std::string& prefix) const {
        std::vector<std::string> found;
        const std::string log = OutputLog();
        for (std::size_t at = log.find(prefix); at != std::string::npos;
             at = log.find(prefix, at + 1)) {
            found.push_back(log.substr(at, log.find('\n', at) - at));
        }
        return found;
    }

    static int SubmitText(const std::string& text) {
        return Submit(text.data(), static_cast<int>(text.size()));
    }

    testsupport::TempDir m_traces;
    languagetest::EngineHome m_home{
        "[SUPPORTED_LANG]\nX=TESTLANG\nTRACE=" + m_traces.path() +
        "\n[TESTLANG]\nLIB_NAME=" + languagetest::LibraryFile("libvexatestlang") + "\n"};
};

using languagetest::ProcessExists;

int OwnPid() { return platform::CurrentProcessId(); }

}  // namespace

TEST_F(ProgramBlocks, ABlockCallsTheApiAndItsOutputReachesTheLog) {
    int err = 0;
    const int variables = GetVariableCount(&err);
    ASSERT_EQ(err, 0);
    EXPECT_EQ(
        SubmitText(
            "BEGIN PROGRAM TESTLANG.\ncall GetVariableCount\npost from the block\nEND PROGRAM."),
        0);
    EXPECT_EQ(Posted("GetVariableCount"),
              std::vector<std::string>{"GetVariableCount " + std::to_string(variables) + " 0"});
    EXPECT_EQ(Posted("from the block").size(), 1u);
    // The language's status is the submission's.
    EXPECT_EQ(SubmitText("BEGIN PROGRAM TESTLANG.\nstatus 42\nEND PROGRAM."), 42);
}

TEST_F(ProgramBlocks, BlocksInARowShareOneLanguageProcessThatEndsWithTheEngine) {
    ASSERT_EQ(SubmitText("BEGIN PROGRAM TESTLANG.\npid\nEND PROGRAM."), 0);
    ASSERT_EQ(SubmitText("SET WIDTH=100.\nBEGIN PROGRAM TESTLANG.\npid\ncallback 4\nEND PROGRAM."),
              0);
    const std::vector<std::string> pids = Posted("pid ");
    ASSERT_EQ(pids.size(), 2u);
    EXPECT_EQ(pids[0], pids[1]);
    EXPECT_EQ(Posted("callback 4"), std::vector<std::string>{"callback 4 0"});
    // The engine starts its language processes in mode LOCAL, which the
    // launcher hands on as application mode 1.
    ASSERT_EQ(SubmitText("BEGIN PROGRAM TESTLANG.\ncallback 0\nEND PROGRAM."), 0);
    EXPECT_EQ(Posted("callback 0"), std::vector<std::string>{"callback 0 1"});
    int err = 0;
    EXPECT_EQ(GetVexaOutputWidth(&err), 100);
    const int languagePid = std::stoi(pids[0].substr(4));
    EXPECT_NE(languagePid, OwnPid());
    StopVexa();
    EXPECT_FALSE(ProcessExists(languagePid));
}

TEST_F(ProgramBlocks, NestedBlocksThreeLevelsDeepReturnInOrderAndRestoreTheLevels) {
    // Each level posts its nesting index, submits the next level and posts
    // again once that returned.
    const std::string text =
        "BEGIN PROGRAM TESTLANG.\n"
        "post enter 0\ncallback 4\n"
        "submit BEGIN PROGRAM TESTLANG.\\npost enter 1\\ncallback 4\\n"
        "submit BEGIN PROGRAM TESTLANG.\\\\npost enter 2\\\\ncallback 4\\\\nEND PROGRAM.\\n"
        "post leave 1\\nEND PROGRAM.\n"
        "post leave 0\ncallback 4\n"
        "END PROGRAM.";
    ASSERT_EQ(SubmitText(text), 0);
    const std::string log = OutputLog();
    std::size_t at = 0;
    for (const char* step :
         {"enter 0", "callback 4 0", "enter 1", "callback 4 1", "enter 2", "callback 4 2",
          "submit 0", "leave 1", "submit 0", "leave 0", "callback 4 0"}) {
        const std::size_t found = log.find(step, at);
        ASSERT_NE(found, std::string::npos) << step << " after offset " << at << " in\n" << log;
        at = found + 1;
    }
    // The levels are back where they were: a later block runs at level 0.
    ASSERT_EQ(SubmitText("BEGIN PROGRAM TESTLANG.\npost after\ncallback 4\nEND PROGRAM."), 0);
    EXPECT_NE(OutputLog().find("after\n"), std::string::npos);
    EXPECT_EQ(Posted("callback 4").back(), "callback 4 0");
}

TEST_F(ProgramBlocks, ALanguageTheConfigurationDoesNotNameIsRefused) {
    EXPECT_EQ(SubmitText("BEGIN PROGRAM NOSUCH.\npost x\nEND PROGRAM."), VEXA_UNSUPPORTED_LANGUAGE);
    EXPECT_EQ(SubmitText("BEGIN PROGRAM TESTLANG.\npost never ends"), 9080);
    // The engine still answers.
    int err = 0;
    EXPECT_GT(GetVariableCount(&err), 0);
}

// The engine starts the launcher with the command line "<mode> <temp
// directory> <process id text> <language>", the directory quoted for its blank.
TEST(LauncherCommandLine, IsTheModeTheQuotedTempDirectoryTheClientsIdTextAndTheLanguage) {
    testsupport::TempDir traces;
    languagetest::EngineHome home(
        "[SUPPORTED_LANG]\nX=TESTLANG\nTRACE=" + traces.path() +
        "\n[TESTLANG]\nLIB_NAME=" + languagetest::LibraryFile("libvexatestlang") + "\n");
    const std::string temp = traces.path() + "/temp dir";
    std::filesystem::create_directories(temp);
    ASSERT_EQ(platform::SetEnvironment("VEXADXTEMP", temp), 0);
    const std::string log = home.file("output.log");
    const std::string arguments = "-vexahome=" + home.path() + ", -outputlog=" + log;
    ASSERT_EQ(StartVexa(arguments.c_str()), 0);
    const std::string block = "BEGIN PROGRAM TESTLANG.\ncmdline\nEND PROGRAM.";
    EXPECT_EQ(Submit(block.data(), static_cast<int>(block.size())), 0);
    StopVexa();
    char pidText[16];
    std::snprintf(pidText, sizeof pidText, "%04x", static_cast<unsigned>(OwnPid()));
    const std::string expected = "cmdline [ LOCAL \"" + temp + "/\" " + pidText + " TESTLANG]\n";
    const std::string text = testsupport::ReadFile(log);
    EXPECT_NE(text.find(expected), std::string::npos) << expected << "in\n" << text;
}

// A program that is itself a configured language and drives the engine: the
// engine runs that language's blocks in this very process, one level above
// the program's own calls.
TEST(HostedLanguageBlocks, BlocksOfTheDrivingLanguageRunInItsOwnProcess) {
    testsupport::TempDir traces;
    languagetest::EngineHome home(
        "[SUPPORTED_LANG]\nX=TESTLANG\nTRACE=" + traces.path() +
        "\n[TESTLANG]\nLIB_NAME=" + languagetest::LibraryFile("libvexatestlang") + "\n");
    const std::string log = home.file("output.log");
    SetXNameAndSHome("TESTLANG", home.path().c_str());
    const std::string arguments = "-vexahome=" + home.path() + ", -outputlog=" + log;
    ASSERT_EQ(StartVexa(arguments.c_str()), 0);
    const std::string block =
        "BEGIN PROGRAM TESTLANG.\npid\ncallback 4\ncall GetVariableCount\nEND PROGRAM.";
    EXPECT_EQ(Submit(block.data(), static_cast<int>(block.size())), 0);
    EXPECT_EQ(Submit(block.data(), static_cast<int>(block.size())), 0);
    int err = 0;
    const int variables = GetVariableCount(&err);
    StopVexa();
    const std::string text = testsupport::ReadFile(log);
    const std::string pid = "pid " + std::to_string(OwnPid()) + "\n";
    EXPECT_NE(text.find(pid), std::string::npos) << text;
    EXPECT_NE(text.find(pid, text.find(pid) + 1), std::string::npos);
    EXPECT_NE(text.find("callback 4 1\n"), std::string::npos);
    EXPECT_NE(text.find("GetVariableCount " + std::to_string(variables) + " 0"), std::string::npos);
}

// A language whose section says INNER_PROCESS=true is loaded into the engine.
TEST(InProcessLanguageBlocks, ABlockRunsInsideTheEngineAndReachesItThroughTheLevelsPipes) {
    testsupport::TempDir traces;
    languagetest::EngineHome home(
        "[SUPPORTED_LANG]\nX=TESTLANG\nTRACE=" + traces.path() + "\n[TESTLANG]\nLIB_NAME=" +
        languagetest::LibraryFile("libvexatestlang") + "\nINNER_PROCESS=true\n");
    const std::string log = home.file("output.log");
    const std::string arguments = "-vexahome=" + home.path() + ", -outputlog=" + log;
    ASSERT_EQ(StartVexa(arguments.c_str()), 0);
    const std::string nested = "BEGIN PROGRAM TESTLANG.\\npid\\ncallback 4\\nEND PROGRAM.";
    const std::string block =
        "BEGIN PROGRAM TESTLANG.\npid\ncallback 4\ncall GetVariableCount\nsubmit " + nested +
        "\nEND PROGRAM.";
    EXPECT_EQ(Submit(block.data(), static_cast<int>(block.size())), 0);
    int err = 0;
    const int variables = GetVariableCount(&err);
    StopVexa();
    const std::string text = testsupport::ReadFile(log);
    // Both levels ran in one process, the engine's.
    const std::size_t first = text.find("pid ");
    ASSERT_NE(first, std::string::npos) << text;
    const std::string pidLine = text.substr(first, text.find('\n', first) - first);
    EXPECT_NE(text.find(pidLine, first + 1), std::string::npos) << text;
    const int pid = std::stoi(pidLine.substr(4));
    EXPECT_NE(pid, OwnPid());
    EXPECT_NE(text.find("callback 4 0\n"), std::string::npos);
    EXPECT_NE(text.find("callback 4 1\n"), std::string::npos);
    EXPECT_NE(text.find("GetVariableCount " + std::to_string(variables) + " 0"), std::string::npos);
    EXPECT_NE(text.find("submit 0"), std::string::npos);
}
