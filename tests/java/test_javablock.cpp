// JAVAEXTENSION program blocks end to end: this program starts the reference
// engine through the library and submits blocks; the engine's host starts
// the real Java runtime from the engine home for each block, sends it the
// block's text over loopback and posts what it wrote into the output log.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "runtime/statuscodes.h"
#include "testsupport.h"
#include "vexaxd_p.h"

namespace {

namespace fs = std::filesystem;

constexpr int kBadJavaBlock = 9082;
constexpr int kJavaProgramFailed = 9083;

// The Java extension needs no language in the configuration.
const char* const kNoLanguages = "[SUPPORTED_LANG]\nX=\n";

// An engine home of the test's own: links to what the build put in its
// engine home, the JRE link only when asked for, and the configuration.
class JavaEngineHome {
  public:
    JavaEngineHome(bool withJre, const std::string& configuration) {
        for (const fs::directory_entry& entry : fs::directory_iterator(VEXA_ENGINE_HOME)) {
            const fs::path name = entry.path().filename();
            if (name == "vexadxcfg.ini" || (name == "JRE" && !withJre)) continue;
            if (entry.is_regular_file() || name == "JRE")
                fs::create_symlink(entry.path(), fs::path(path()) / name);
        }
        testsupport::WriteFile(m_dir.file("vexadxcfg.ini"), configuration);
    }
    const std::string& path() const { return m_dir.path(); }
    std::string file(const std::string& name) const { return m_dir.file(name); }

  private:
    testsupport::TempDir m_dir;
};

class JavaBlocks : public ::testing::Test {
  protected:
    explicit JavaBlocks(bool withJre = true, const std::string& configuration = kNoLanguages)
        : m_home(withJre, configuration) {}

    void SetUp() override {
        // Read once, at the library's first use: the engine gets it as its
        // temp directory, where the block's output files live.
        setenv("VEXADXTEMP", m_temp.path().c_str(), 1);
        const std::string arguments = "-vexahome=" + m_home.path() + ", -outputlog=" + LogPath();
        ASSERT_EQ(StartVexa(arguments.c_str()), 0);
    }
    void TearDown() override {
        StopVexa();
        unsetenv("VEXADXTEMP");
    }

    static int SubmitText(const std::string& text) {
        return Submit(text.data(), static_cast<int>(text.size()));
    }
    static std::string Block(const std::string& body) {
        return "BEGIN PROGRAM JAVAEXTENSION.\n" + body + "END PROGRAM.";
    }

    std::string LogPath() const { return m_home.file("output.log"); }
    std::vector<std::string> LogLines() const {
        std::vector<std::string> lines;
        const std::string log = testsupport::ReadFile(LogPath());
        for (std::size_t at = 0; at < log.size();) {
            const std::size_t end = log.find('\n', at);
            lines.push_back(log.substr(at, end - at));
            at = end == std::string::npos ? log.size() : end + 1;
        }
        return lines;
    }
    // Nothing of a block's files is left in the engine's temp directory.
    bool TempDirectoryIsEmpty() const { return fs::is_empty(m_temp.path()); }

    testsupport::TempDir m_temp;
    JavaEngineHome m_home;
};

class JavaBlocksWithoutJre : public JavaBlocks {
  protected:
    JavaBlocksWithoutJre() : JavaBlocks(false) {}
};

class JavaBlocksBesideTestLanguage : public JavaBlocks {
  protected:
    JavaBlocksBesideTestLanguage()
        : JavaBlocks(true,
                     "[SUPPORTED_LANG]\nX=TESTLANG\n[TESTLANG]\nLIB_NAME=libvexatestlang.so\n") {}
};

}  // namespace

TEST_F(JavaBlocks, TheJavaProgramsLineReachesTheOutputLogBetweenTheBlocksLines) {
    ASSERT_EQ(SubmitText(Block("GREET\nhello from the engine\n")), 0);
    const std::vector<std::string> expected = {"command: BEGIN PROGRAM JAVAEXTENSION.",
                                               "output: GREET: hello from the engine",
                                               "command: END PROGRAM."};
    EXPECT_EQ(LogLines(), expected);
    EXPECT_TRUE(TempDirectoryIsEmpty());
}

TEST_F(JavaBlocks, EachBlockRunsAFreshJavaProcessAndBlankLinesAreIgnored) {
    ASSERT_EQ(SubmitText(Block("FIRST\none\n")), 0);
    // Two blocks in one submission, the second with blank lines around its
    // lines, and text that keeps its own blanks and multibyte characters.
    ASSERT_EQ(SubmitText(Block("SECOND\ntwo\n") + "\n" +
                         Block("\n  THIRD  \n  drei \xc3\xa4\xc3\xb6\n\n")),
              0);
    ASSERT_EQ(SubmitText(Block("FOURTH\n")), 0);
    std::vector<std::string> posted;
    for (const std::string& line : LogLines()) {
        if (line.rfind("output: ", 0) == 0) posted.push_back(line);
    }
    const std::vector<std::string> expected = {"output: FIRST: one", "output: SECOND: two",
                                               "output: THIRD:   drei \xc3\xa4\xc3\xb6",
                                               "output: FOURTH: "};
    EXPECT_EQ(posted, expected);
    EXPECT_TRUE(TempDirectoryIsEmpty());
}

TEST_F(JavaBlocks, AFailingJavaRunFailsTheBlockWithItsErrorTextAndTheNextBlockStillRuns) {
    // Not UTF-8: the Java program refuses the message and exits 1.
    EXPECT_EQ(SubmitText(Block("BROKEN\nbad \xff byte\n")), kJavaProgramFailed);
    const std::vector<std::string> failed = LogLines();
    const std::vector<std::string> expected = {
        "command: BEGIN PROGRAM JAVAEXTENSION.", "output: Extension: message is not UTF-8 text",
        "output: JAVAEXTENSION BROKEN: the Java program ended with exit status 1",
        "command: END PROGRAM.",
        "error: BEGIN PROGRAM JAVAEXTENSION (line 1): the program block ended with status 9083"};
    EXPECT_EQ(failed, expected);

    ASSERT_EQ(SubmitText(Block("AGAIN\nfine\n")), 0);
    const std::vector<std::string> lines = LogLines();
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[6], "output: AGAIN: fine");
    EXPECT_TRUE(TempDirectoryIsEmpty());
}

TEST_F(JavaBlocks, ABlockThatIsNotACommandAndOneLineIsRefusedBeforeJavaStarts) {
    EXPECT_EQ(SubmitText(Block("")), kBadJavaBlock);
    EXPECT_EQ(SubmitText(Block("CMD\none\ntwo\n")), kBadJavaBlock);
    EXPECT_EQ(SubmitText(Block("TWO WORDS\ntext\n")), kBadJavaBlock);
    EXPECT_EQ(SubmitText(Block("../escape\ntext\n")), kBadJavaBlock);
    for (const std::string& line : LogLines())
        EXPECT_EQ(line.rfind("output: ", 0), std::string::npos) << line;
    // A block that failed stops the rest of its submission.
    EXPECT_EQ(SubmitText(Block("") + "\n" + Block("LATER\nnever\n")), kBadJavaBlock);
    for (const std::string& line : LogLines())
        EXPECT_EQ(line.find("LATER"), std::string::npos) << line;
    EXPECT_TRUE(TempDirectoryIsEmpty());
}

TEST_F(JavaBlocksWithoutJre, AMissingJavaRuntimeIsAStartFailureEveryTimeAndTheEngineGoesOn) {
    EXPECT_EQ(SubmitText(Block("GREET\nhello\n")), VEXA_PROCESS_START_FAILED);
    EXPECT_EQ(SubmitText(Block("GREET\nagain\n")), VEXA_PROCESS_START_FAILED);
    for (const std::string& line : LogLines())
        EXPECT_EQ(line.rfind("output: ", 0), std::string::npos) << line;
    int err = -1;
    EXPECT_GT(GetVariableCount(&err), 0);
    EXPECT_EQ(err, 0);
    EXPECT_TRUE(TempDirectoryIsEmpty());
}

TEST_F(JavaBlocksBesideTestLanguage, TheOutputFileNamesDoNotReachALanguageProcessStartedLater) {
    ASSERT_EQ(SubmitText(Block("GREET\nfirst\n")), 0);
    // The test language's process starts now and inherits the engine's
    // environment as it is after the Java block.
    ASSERT_EQ(SubmitText("BEGIN PROGRAM TESTLANG.\ngetenv VEXA_JAVA_OUTPUT\ngetenv "
                         "VEXA_JAVA_ERRORS\nEND PROGRAM."),
              0);
    std::vector<std::string> posted;
    for (const std::string& line : LogLines()) {
        if (line.rfind("output: ", 0) == 0) posted.push_back(line);
    }
    const std::vector<std::string> expected = {
        "output: GREET: first", "output: VEXA_JAVA_OUTPUT=", "output: VEXA_JAVA_ERRORS="};
    EXPECT_EQ(posted, expected);
}
