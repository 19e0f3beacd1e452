// Paths, names and options reach a language process as they are: the host
// starts it with an argument vector, never through a shell, so text that a
// shell would run stays text.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "hosting/dxstartup.h"
#include "hosting/outpstatisticsx.h"
#include "languagetestsupport.h"
#include "runtime/vexadxconfigreader.h"
#include "transport/xpipemanager.h"

namespace {

// Each piece would create its marker file if a shell ever saw it.
const std::string kShellText = "a b;touch ran1;$(touch ran2)`touch ran3`|touch ran4&&touch ran5";
const char* const kMarkers[] = {"ran1", "ran2", "ran3", "ran4", "ran5"};

// Runs the test in `directory`, where a shell's relative touch would land.
class WorkingDirectory {
  public:
    explicit WorkingDirectory(const std::string& directory)
        : m_previous(std::filesystem::current_path()) {
        std::filesystem::current_path(directory);
    }
    ~WorkingDirectory() { std::filesystem::current_path(m_previous); }

  private:
    std::filesystem::path m_previous;
};

std::string PidText() {
    char text[32];
    std::snprintf(text, sizeof text, "e%04x", static_cast<unsigned>(getpid()));
    return text;
}

}  // namespace

TEST(NoShell, ShellSyntaxInTheTempPathAndTheArgumentsStaysText) {
    testsupport::TempDir work;
    const std::string tempDirectory = work.file(kShellText);
    ASSERT_EQ(::mkdir(tempDirectory.c_str(), 0700), 0);
    languagetest::EngineHome home(
        "[SUPPORTED_LANG]\nX=TESTLANG\n[TESTLANG]\nLIB_NAME=libvexatestlang.so\nARGS=" +
        kShellText + "\n");
    WorkingDirectory inWork(work.path());
    ASSERT_EQ(InitDxGlobal(tempDirectory + "/", PidText(), "ENGINE", home.path()), 0);
    {
        GetXPipeManager()->getPipeSuit("TESTLANG")->increaseIndex();
        auto host = std::make_unique<OutpStatisticsX>(
            VexaDXConfigReader::GetInstance()->GetOptions("TESTLANG"), 1, true);
        ASSERT_EQ(host->init_embedded_x(0, nullptr), 0);
        ASSERT_EQ(host->pre_action(), 0);
        // The language process started from the tricky temp path runs blocks.
        EXPECT_EQ(host->execute_x("status 7\n"), 7);
        EXPECT_EQ(host->post_action(), 0);
        EXPECT_EQ(host->stop_embedded_x(), 0);
    }
    FinalizeDXGlobal();
    for (const char* marker : kMarkers)
        EXPECT_FALSE(std::filesystem::exists(work.file(marker))) << marker;
}
