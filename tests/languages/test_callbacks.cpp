// Every entry of the callback table, reached from the test language hosted in
// a process that drives the reference engine.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>

#include "hosting/dxcallbacks.h"
#include "hosting/dxstartup.h"
#include "hosting/inpstatisticsx.h"
#include "languagetestsupport.h"
#include "runtime/dxglobal.h"
#include "runtime/vexadxconfigreader.h"
#include "transport/xpipemanager.h"
#include "vexaxd_p.h"

using languagetest::CapturedOutput;

namespace {

std::string Configuration(const std::string& traceDirectory) {
    return "[SUPPORTED_LANG]\nX=TESTLANG\nTRACE=" + traceDirectory +
           "\n[version]\nVexadxVersion=30.1.2.3\n[TESTLANG]\nLIB_NAME=" +
           languagetest::LibraryFile("libvexatestlang") + "\n";
}

std::string TraceFileText(const std::string& directory) {
    std::string text;
    for (const auto& entry : std::filesystem::directory_iterator(directory)) {
        const std::string name = entry.path().filename().string();
        if (name.ends_with("_trace.log")) {
            text += testsupport::ReadFile(entry.path().string());
        }
    }
    return text;
}

}  // namespace

TEST(CallbackTable, EveryEntryIsReachableFromALanguageAndAnswersWithTheProcessState) {
    testsupport::TempDir traces;
    languagetest::EngineHome home(Configuration(traces.path()));
    const std::string outputLog = home.file("output.log");
    const std::string arguments = "-vexahome=" + home.path() + ", -outputlog=" + outputLog;
    ASSERT_EQ(StartVexa(arguments.c_str()), 0);
    SetAppMode(3);
    ASSERT_EQ(SetRecordBrowserOutput(home.file("browser.txt").c_str(), true), 0);
    int err = 0;
    const int variables = GetVariableCount(&err);
    ASSERT_EQ(err, 0);
    ASSERT_GT(variables, 0);
    const int unicode = IsUTF8mode();

    auto host = std::make_unique<InpStatisticsX>(VexaDXConfigReader::GetInstance("TESTLANG"), true);
    ASSERT_EQ(host->lastStatus(), 0);
    host->setup_dxcallback(hosting::GetDxCallBackTable());
    ASSERT_EQ(host->init_embedded_x(0, nullptr), 0);
    host->set_post_vexa_output(&languagetest::CaptureOutput);
    EXPECT_EQ(host->execute_x(
                  "callback 0\ncallback 1\ncallback 2\ncallback 3\ncallback 4\n"
                  "callback 5 traced by the language\ncallback 12 browser record\n"
                  "callback 13 posted through the table\ncallback 14\ncallback 15\ncallback 15\n"
                  "call GetVariableCount\nfeed first\\nsecond"),
              0);
    host.reset();

    std::ostringstream expectedCount;
    expectedCount << "GetVariableCount " << variables << " 0";
    const std::vector<std::string> expected{
        "callback 0 3",
        std::string("callback 1 ").append(std::to_string(unicode)),
        "callback 2 30.1.2.3",
        std::string("callback 3 ").append(GetXPipeManager()->getPipePath()),
        "callback 4 0",
        "callback 5 done",
        "callback 12 done",
        "callback 13 0",
        "callback 14 done",
        "callback 15 0",
        "callback 15 0",
        expectedCount.str(),
        "took first\\n|second\\n"};
    EXPECT_EQ(CapturedOutput(), expected);
    EXPECT_NE(TraceFileText(traces.path()).find("traced by the language"), std::string::npos);
    SetRecordBrowserOutput(nullptr, false);
    EXPECT_EQ(testsupport::ReadFile(home.file("browser.txt")), "browser record");
    StopVexa();
    EXPECT_NE(testsupport::ReadFile(outputLog).find("posted through the table"), std::string::npos);
}

TEST(CallbackTable, OutputThroughTheTableWithoutAnEngineIsRefused) {
    // No engine and no bridge call can succeed: the refusal reaches the language.
    EXPECT_EQ(hosting::GetDxCallBackTable()->postOutput("lost", 4), VEXA_ENGINE_NOT_RUNNING);
    EXPECT_EQ(hosting::GetDxCallBackTable(), hosting::GetDxCallBackTable());
    EXPECT_STREQ(hosting::GetDxCallBackTable()->tempDirectory(), "");
    EXPECT_EQ(hosting::GetDxCallBackTable()->nestingIndex(), -1);
}
