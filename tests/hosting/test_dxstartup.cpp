// The process-wide start-up: one process, one story, because the trace writer
// and the configuration reader are created once per process.
#include <gtest/gtest.h>

#include <cstdlib>

#include "hosting/dxstartup.h"
#include "hosting/xmanager.h"
#include "runtime/dxglobal.h"
#include "runtime/dxtracer.h"
#include "testsupport.h"
#include "transport/xpipemanager.h"

namespace {
const std::string kBanner =
    "****************************************TRACE BEGIN****************************************\n";

size_t Count(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}
}  // namespace

TEST(GlobalStartUp, InitialisesOnceTracesAndSurvivesFinalisation) {
    testsupport::TempDir home;
    testsupport::TempDir traces;
    testsupport::WriteFile(home.file("vexadxcfg.ini"),
                           "[SUPPORTED_LANG]\nX=PYTHON;R\nTRACE=" + traces.path() + "\n");

    ASSERT_EQ(InitDxGlobal("/tmp/", "1a2c", "python", home.path()), 0);
    EXPECT_TRUE(IsDXGlobalInit());
    EXPECT_EQ(GetXName(), "PYTHON");
    EXPECT_STREQ(GetVEXAHOME(), home.path().c_str());
    XPipeManager* manager = GetXPipeManager();
    ASSERT_NE(manager, nullptr);
    EXPECT_EQ(manager->getPipePid(), "1a2c");
    ASSERT_NE(GetXManager(), nullptr);

    // The file is named after the language exactly as it was passed.
    const std::string traceFile = traces.file("python_trace.log");
    std::string contents = testsupport::ReadFile(traceFile);
    ASSERT_EQ(contents.rfind(kBanner, 0), 0u);
    EXPECT_NE(contents.find(">>InitDxGlobal>tempPath:/tmp/\n"), std::string::npos);
    EXPECT_NE(contents.find(">>InitDxGlobal>pid:1a2c\n"), std::string::npos);
    EXPECT_NE(contents.find(">>InitDxGlobal>xname:python\n"), std::string::npos);
    EXPECT_NE(contents.find(">>InitDxGlobal>vexaHome:" + home.path() + "\n"), std::string::npos);

    // A second start changes nothing.
    EXPECT_EQ(InitDxGlobal("/other/", "ffff", "R", "/elsewhere"), 0);
    EXPECT_EQ(GetXName(), "PYTHON");
    EXPECT_EQ(GetXPipeManager(), manager);
    EXPECT_EQ(Count(testsupport::ReadFile(traceFile), "InitDxGlobal>pid:"), 1u);

    FinalizeDXGlobal();
    EXPECT_FALSE(IsDXGlobalInit());
    EXPECT_EQ(GetXPipeManager(), nullptr);
    EXPECT_EQ(GetXManager(), nullptr);
    EXPECT_EQ(GetAppMode(), -1);
    EXPECT_EQ(GetXName(), "");

    // After finalisation the writer goes on in the same file, banner once.
    ASSERT_EQ(InitDxGlobal("/tmp/", "2b3d", "python", ""), 0);
    EXPECT_EQ(GetXPipeManager()->getPipePid(), "2b3d");
    EXPECT_STREQ(GetVEXAHOME(), home.path().c_str());
    contents = testsupport::ReadFile(traceFile);
    EXPECT_EQ(Count(contents, "TRACE BEGIN"), 1u);
    EXPECT_EQ(Count(contents, "InitDxGlobal>pid:"), 2u);
    FinalizeDXGlobal();
}

// The trace writer is made once per process, so this case runs in a fresh one.
int HostTracerSurvivesStartUp() {
    testsupport::TempDir home;
    testsupport::TempDir traces;
    testsupport::WriteFile(home.file("vexadxcfg.ini"),
                           "[SUPPORTED_LANG]\nX=PYTHON\nTRACE=" + traces.path() + "\n");
    testsupport::TempDir own;
    static DxTracer hostTracer;
    hostTracer.open(own.file("host.log"));
    SetDxTracer(&hostTracer);
    InitDxGlobal("/tmp/", "1a2c", "python", home.path());
    const bool kept = GetDxTracer() == &hostTracer;
    const bool tracedThere =
        testsupport::ReadFile(own.file("host.log")).find("InitDxGlobal>pid:1a2c") !=
        std::string::npos;
    FinalizeDXGlobal();
    return kept && tracedThere ? 0 : 1;
}

TEST(GlobalStartUp, ATraceWriterTheHostInstalledFirstIsKeptAndUsed) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(std::exit(HostTracerSurvivesStartUp()), ::testing::ExitedWithCode(0), "");
}
