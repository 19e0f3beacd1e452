#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "apitestsupport.h"
#include "vexaxd_p.h"

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

// The first call that needs the pipes initialises the process-wide state
// from the environment: the trace file of a configured engine home shows it.
TEST(Attach, TakesTempDirectoryFromTheEnvironmentAndThePidAsFourHexDigits) {
    namespace fs = std::filesystem;
    const fs::path home = fs::temp_directory_path() / ("vexa-attach-" + std::to_string(::getpid()));
    fs::create_directories(home / "trace");
    std::ofstream(home / "vexadxcfg.ini")
        << "[SUPPORTED_LANG]\nTRACE=" << (home / "trace").string() << "\n";
    ::setenv("VEXADXTEMP", "/var/tmp\\vexa", 1);

    SetXNameAndSHome("apitest", home.c_str());
    SetVexaRunning(true);
    // The name is upper-cased by the start-up, and so are the pipe names.
    apitest::Child peer({apitest::PeerPath("framepeer"), "reply",
                         apitest::LevelZeroPipe("APITEST", "xdapi"),
                         apitest::LevelZeroPipe("APITEST", "xdapiresult"), "0", "3"});
    int err = -1;
    EXPECT_EQ(GetVariableCount(&err), 3);
    EXPECT_EQ(err, 0);

    char pid[16];
    std::snprintf(pid, sizeof pid, "%04x", static_cast<unsigned>(::getpid()));
    const std::string trace = ReadAll((home / "trace" / "apitest_trace.log").string());
    EXPECT_NE(trace.find(">>InitDxGlobal>tempPath:/var/tmp/vexa/\n"), std::string::npos) << trace;
    EXPECT_NE(trace.find(std::string(">>InitDxGlobal>pid:") + pid + "\n"), std::string::npos);
    EXPECT_NE(trace.find(">>InitDxGlobal>xname:apitest\n"), std::string::npos);
    EXPECT_NE(trace.find("xdapiresult created: error code : 0."), std::string::npos);
    if (!HasFailure()) fs::remove_all(home);
}

TEST(Attach, UnnamedLanguageUsesTheDefaultName) {
    SetVexaRunning(true);
    apitest::Child peer({apitest::PeerPath("framepeer"), "reply",
                         apitest::LevelZeroPipe("UNNAMEDX", "xdapi"),
                         apitest::LevelZeroPipe("UNNAMEDX", "xdapiresult"), "0", "1", "2"});
    int first = 0, second = 0;
    EXPECT_EQ(GetXDriveMode(&first, &second), 0);
    EXPECT_EQ(second, 2);
}
