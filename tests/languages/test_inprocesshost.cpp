#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "hosting/dxcallbacks.h"
#include "hosting/inpstatisticsx.h"
#include "languagetestsupport.h"
#include "runtime/dxglobal.h"
#include "runtime/statuscodes.h"
#include "runtime/xconfigoptions.h"

using languagetest::CapturedOutput;
using languagetest::CaptureOutput;
using languagetest::LanguageCalls;

namespace {

class InProcessHost : public ::testing::Test {
  protected:
    void SetUp() override {
        SetVEXAHOME(languagetest::BuildEngineHome().c_str());
        CapturedOutput().clear();
    }

    static XConfigOptions Section(const std::string& libName) {
        XConfigOptions options("TESTLANG");
        if (!libName.empty()) options.PutOption(XConfigOptions::KEY_LIB_NAME, libName);
        return options;
    }

    static std::string LibraryPath(const std::string& name) {
        return languagetest::BuildEngineHome() + "/" + name;
    }

    bool Traced(const std::string& line) const {
        const std::vector<std::string> lines = m_trace.lines();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

    testsupport::TraceCapture m_trace;
};

}  // namespace

TEST_F(InProcessHost, ARunCallsTheEntryPointsInOrderWithTheirArgumentsAndPassesStatusesThrough) {
    XConfigOptions options = Section("libvexatestlang");  // the suffix is added
    auto host = std::make_unique<InpStatisticsX>(&options, true);
    ASSERT_EQ(host->lastStatus(), 0);
    host->setup_dxcallback(hosting::GetDxCallBackTable());
    char one[] = "one", two[] = "two words";
    char* argv[] = {one, two};
    EXPECT_EQ(host->init_embedded_x(2, argv), 0);
    EXPECT_TRUE(host->isIntialized());
    // Initialised already: nothing is called and nothing traced.
    const std::size_t tracedBefore = m_trace.lines().size();
    EXPECT_EQ(host->init_embedded_x(2, argv), 0);
    EXPECT_EQ(m_trace.lines().size(), tracedBefore);
    host->set_post_vexa_output(&CaptureOutput);
    EXPECT_EQ(host->pre_action(), 0);
    EXPECT_EQ(host->execute_x("post hello\nargs"), 0);
    EXPECT_EQ(host->execute_x("post before\nstatus 7\npost never"), 7);
    EXPECT_EQ(host->post_action(), 0);
    EXPECT_EQ(host->stop_embedded_x(), 0);
    EXPECT_FALSE(host->isIntialized());

    EXPECT_EQ(
        LanguageCalls(LibraryPath(languagetest::LibraryFile("libvexatestlang"))),
        "setup_dxcallback;init_embedded_x(2 one two words);set_post_vexa_output;pre_action;"
        "execute_x(post hello\nargs);execute_x(post before\nstatus 7\npost never);post_action;"
        "stop_embedded_x");
    EXPECT_EQ(CapturedOutput(),
              (std::vector<std::string>{"hello", "args one two words", "before"}));
    for (const char* line :
         {"StatisticsX::setup_dxcallback", "StatisticsX::init_embedded_x error code : 0.",
          "StatisticsX::x_set_post_vexa_output", "StatisticsX::execute_x error code : 7.",
          "StatisticsX::post_action error code : 0.",
          "StatisticsX::stop_embedded_x error code : 0."}) {
        EXPECT_TRUE(Traced(line)) << line;
    }
    // A stopped host can start again; destroying it stops the language.
    EXPECT_EQ(host->init_embedded_x(0, nullptr), 0);
    host.reset();
    EXPECT_TRUE(LanguageCalls(LibraryPath(languagetest::LibraryFile("libvexatestlang")))
                    .ends_with(";stop_embedded_x;init_embedded_x(0);stop_embedded_x"));
}

TEST_F(InProcessHost, ASectionWithoutLibNameAnswers99118AndNeverRunsText) {
    XConfigOptions options = Section("");
    InpStatisticsX host(&options, true);
    EXPECT_EQ(host.lastStatus(), VEXA_LANGUAGE_LIB_NAME_EMPTY);
    EXPECT_TRUE(Traced("Configration file vexadxcfg.ini is invalid because the LIB_NAME is NULL."));
    EXPECT_EQ(host.init_embedded_x(0, nullptr), VEXA_LANGUAGE_LIB_NAME_EMPTY);
    EXPECT_FALSE(host.isIntialized());
    EXPECT_EQ(host.execute_x("post x"), VEXA_LANGUAGE_NOT_INITIALISED);
    EXPECT_EQ(host.pre_action(), VEXA_LANGUAGE_NOT_INITIALISED);
    EXPECT_EQ(host.post_action(), VEXA_LANGUAGE_NOT_INITIALISED);
    EXPECT_EQ(host.stop_embedded_x(), 0);
    // The optional entries have nothing to reach.
    host.setup_dxcallback(hosting::GetDxCallBackTable());
    host.set_post_vexa_output(&CaptureOutput);
}

TEST_F(InProcessHost, AMissingLibraryFileIs99114) {
    XConfigOptions options = Section(languagetest::LibraryFile("libnolanguage"));
    InpStatisticsX host(&options, true);
    EXPECT_EQ(host.lastStatus(), VEXA_LANGUAGE_LOAD_FAILED);
    EXPECT_TRUE(Traced("Load library from " +
                       LibraryPath(languagetest::LibraryFile("libnolanguage")) + " failed."));
    EXPECT_EQ(host.init_embedded_x(0, nullptr), VEXA_LANGUAGE_LOAD_FAILED);
    EXPECT_EQ(host.execute_x("post x"), VEXA_LANGUAGE_NOT_INITIALISED);
}

TEST_F(InProcessHost, ALibraryWithoutPostActionKeepsTheEntryPointsFoundBeforeIt) {
    XConfigOptions options = Section(languagetest::LibraryFile("libvexatestlang_nopost"));
    InpStatisticsX host(&options, true);
    EXPECT_EQ(host.lastStatus(), VEXA_LANGUAGE_LOAD_FAILED);
    // The look-up stopped at post_action, so set_post_vexa_output was never
    // looked up although the library has it.
    host.setup_dxcallback(hosting::GetDxCallBackTable());
    host.set_post_vexa_output(&CaptureOutput);
    EXPECT_EQ(host.init_embedded_x(0, nullptr), 0);
    EXPECT_EQ(host.pre_action(), 0);
    EXPECT_EQ(host.execute_x("status 7"), 7);
    // No entry point: the last status answers.
    EXPECT_EQ(host.post_action(), 7);
    EXPECT_EQ(LanguageCalls(LibraryPath(languagetest::LibraryFile("libvexatestlang_nopost"))),
              "setup_dxcallback;init_embedded_x(0);pre_action;execute_x(status 7)");
}

TEST_F(InProcessHost, ALibraryWithoutTheOptionalEntryPointsLoadsAndThoseCallsDoNothing) {
    XConfigOptions options = Section(languagetest::LibraryFile("libvexatestlang_minimal"));
    InpStatisticsX host(&options, true);
    EXPECT_EQ(host.lastStatus(), 0);
    host.setup_dxcallback(hosting::GetDxCallBackTable());
    host.set_post_vexa_output(&CaptureOutput);
    EXPECT_EQ(host.init_embedded_x(0, nullptr), 0);
    EXPECT_EQ(host.execute_x("status 3"), 3);
    EXPECT_EQ(host.post_action(), 0);
    EXPECT_EQ(LanguageCalls(LibraryPath(languagetest::LibraryFile("libvexatestlang_minimal"))),
              "init_embedded_x(0);execute_x(status 3);post_action");
    EXPECT_TRUE(CapturedOutput().empty());
}

TEST_F(InProcessHost, TheSectionsEnvironmentVariablesAreSetBeforeTheLibraryLoads) {
    XConfigOptions options = Section(languagetest::LibraryFile("libvexatestlang"));
    options.PutOption("VEXATESTLANG_GREETING", "hello there");
    options.PutOption("VEXATESTLANG_PRE_ACTION", "5");
    InpStatisticsX host(&options, true);
    host.set_post_vexa_output(&CaptureOutput);
    ASSERT_EQ(host.init_embedded_x(0, nullptr), 0);
    // The library reads its pre-action status from the environment.
    EXPECT_EQ(host.pre_action(), 5);
    EXPECT_EQ(host.execute_x("getenv VEXATESTLANG_GREETING\ngetenv VEXATESTLANG_UNSET"), 0);
    EXPECT_EQ(CapturedOutput(), (std::vector<std::string>{"VEXATESTLANG_GREETING=hello there",
                                                          "VEXATESTLANG_UNSET unset"}));
}

TEST_F(InProcessHost, AHostThatTheEngineDoesNotDriveNeitherStartsNorStopsTheLanguage) {
    XConfigOptions options = Section(languagetest::LibraryFile("libvexatestlang"));
    {
        InpStatisticsX host(&options, false);
        EXPECT_EQ(host.init_embedded_x(0, nullptr), 0);
        EXPECT_TRUE(host.isIntialized());
        EXPECT_EQ(host.execute_x("status 0"), 0);
        EXPECT_EQ(host.stop_embedded_x(), 0);
        EXPECT_FALSE(host.isIntialized());
        EXPECT_EQ(host.init_embedded_x(0, nullptr), 0);
    }
    // Neither the explicit stop nor the destructor reached the library.
    EXPECT_EQ(LanguageCalls(LibraryPath(languagetest::LibraryFile("libvexatestlang"))),
              "execute_x(status 0)");
}
