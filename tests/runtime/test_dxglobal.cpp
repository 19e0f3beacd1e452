#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/process.h"
#include "runtime/dxglobal.h"

namespace {

int Failed(const char* what, const std::string& seen) {
    std::fprintf(stderr, "check failed: %s (saw \"%s\")\n", what, seen.c_str());
    return 1;
}

// The engine home cannot be unset once known, so every case that depends on
// its starting value runs in a process of its own.
#define EXPECT_IN_FRESH_PROCESS(check)                                     \
    do {                                                                   \
        GTEST_FLAG_SET(death_test_style, "threadsafe");                    \
        EXPECT_EXIT(std::exit(check()), ::testing::ExitedWithCode(0), ""); \
    } while (0)

int CheckStartValues() {
    if (IsDXGlobalInit()) return Failed("not initialised", "true");
    if (IsInStat()) return Failed("not in engine", "true");
    if (GetAppMode() != -1) return Failed("app mode unset", std::to_string(GetAppMode()));
    if (GGetUseSyncDx()) return Failed("no sync", "true");
    if (!GetXName().empty()) return Failed("no name", GetXName());
    return 0;
}

int CheckHomeFromEnvironmentDropsOneSeparator() {
    platform::SetEnvironment("VEXA_HOME", "");
    if (std::string(GetVEXAHOME()) != "") return Failed("empty home", GetVEXAHOME());
    platform::SetEnvironment("VEXA_HOME", "/opt/vexa//");
    if (std::string(GetVEXAHOME()) != "/opt/vexa/") return Failed("env home", GetVEXAHOME());
    // Once taken, the home is kept.
    platform::SetEnvironment("VEXA_HOME", "/other");
    if (std::string(GetVEXAHOME()) != "/opt/vexa/") return Failed("kept", GetVEXAHOME());
    return 0;
}

int CheckBackslashFromEnvironmentIsDropped() {
    platform::SetEnvironment("VEXA_HOME", "/opt/vexa\\");
    if (std::string(GetVEXAHOME()) != "/opt/vexa") return Failed("backslash", GetVEXAHOME());
    return 0;
}

int CheckSetHomeWinsOverTheEnvironment() {
    platform::SetEnvironment("VEXA_HOME", "/from/env");
    SetVEXAHOME("/set/home/");
    if (std::string(GetVEXAHOME()) != "/set/home") return Failed("set wins", GetVEXAHOME());
    SetVEXAHOME(nullptr);
    SetVEXAHOME("");
    if (std::string(GetVEXAHOME()) != "/set/home") return Failed("ignored", GetVEXAHOME());
    SetVEXAHOME("/");
    if (std::string(GetVEXAHOME()) != "/") return Failed("root kept", GetVEXAHOME());
    return 0;
}

}  // namespace

TEST(DxGlobalValues, StartUnset) { EXPECT_IN_FRESH_PROCESS(CheckStartValues); }

TEST(DxGlobalHome, EnvironmentIsTheFallbackWithOneTrailingSeparatorDropped) {
    EXPECT_IN_FRESH_PROCESS(CheckHomeFromEnvironmentDropsOneSeparator);
    EXPECT_IN_FRESH_PROCESS(CheckBackslashFromEnvironmentIsDropped);
}

TEST(DxGlobalHome, SetHomeWinsAndNullOrEmptyIsIgnored) {
    EXPECT_IN_FRESH_PROCESS(CheckSetHomeWinsOverTheEnvironment);
}

TEST(DxGlobalHome, PointerHandedOutStaysValidAfterTheHomeChanges) {
    SetVEXAHOME("/home/one");
    const char* first = GetVEXAHOME();
    SetVEXAHOME("/home/two");
    EXPECT_STREQ(first, "/home/one");
    EXPECT_STREQ(GetVEXAHOME(), "/home/two");
    SetVEXAHOME("/home/one/");
    EXPECT_EQ(GetVEXAHOME(), first);  // an equal home reuses its storage
}

TEST(DxGlobalHome, ReadersOnOtherThreadsAlwaysSeeAWholeHome) {
    const std::string homes[] = {"/a/short", "/a/considerably/longer/engine/home/directory"};
    SetVEXAHOME(homes[0].c_str());
    SetXName("beta");
    std::atomic<bool> stop{false};
    std::atomic<int> torn{0};
    std::vector<std::thread> readers;
    for (int i = 0; i < 3; ++i)
        readers.emplace_back([&] {
            while (!stop.load()) {
                const char* home = GetVEXAHOME();
                if (home != homes[0] && home != homes[1]) ++torn;
                std::string name = GetXName();
                if (name != "ALPHA" && name != "BETA") ++torn;
            }
        });
    for (int round = 0; round < 2000; ++round) {
        SetVEXAHOME(homes[round % 2].c_str());
        SetXName(round % 2 ? "alpha" : "beta");
    }
    stop.store(true);
    for (auto& reader : readers) reader.join();
    EXPECT_EQ(torn.load(), 0);
}

TEST(DxGlobalName, IsUpperCaseAndUnnamedWhenEmpty) {
    SetXName("python");
    EXPECT_EQ(GetXName(), "PYTHON");
    SetXName("");
    EXPECT_EQ(GetXName(), "UNNAMEDX");
    SetXName("r_3-x");
    EXPECT_EQ(GetXName(), "R_3-X");
}

TEST(DxGlobalPath, DecoratePathEndUsesForwardSlashesAndOneFinalSeparator) {
    struct Case {
        std::string in, out;
    } cases[] = {
        {"", ""},
        {"/opt/vexa", "/opt/vexa/"},
        {"/opt/vexa/", "/opt/vexa/"},
        {"C:\\vexa\\home", "C:/vexa/home/"},
        {"mixed\\path/", "mixed/path/"},
        {"\\", "/"},
    };
    for (const Case& c : cases) {
        std::string path = c.in;
        DecoratePathEnd(path);
        EXPECT_EQ(path, c.out) << "input " << c.in;
    }
}

namespace {

bool Bracket(const std::string& input, std::string& output) {
    // Writes the output before it has finished reading the input.
    output.clear();
    output.push_back('<');
    output += input;
    output += ">";
    return true;
}

class HookScope {
  public:
    explicit HookScope(ExpandEnvStrHook hook) { SetExpandEnvStr(hook); }
    ~HookScope() { SetExpandEnvStr(nullptr); }
};

}  // namespace

TEST(DxGlobalExpand, WithoutHookOutputIsACopyAndTheResultFalse) {
    std::string output = "old";
    EXPECT_FALSE(ExpandEnvStr("%A% text", output));
    EXPECT_EQ(output, "%A% text");
}

TEST(DxGlobalExpand, HookResultIsReturnedAndSameStringForBothIsSafe) {
    HookScope scope(&Bracket);
    std::string separate;
    EXPECT_TRUE(ExpandEnvStr("abc", separate));
    EXPECT_EQ(separate, "<abc>");
    std::string both = "abc";
    EXPECT_TRUE(ExpandEnvStr(both, both));
    EXPECT_EQ(both, "<abc>");
    SetExpandEnvStr(nullptr);
    EXPECT_FALSE(ExpandEnvStr(both, both));
    EXPECT_EQ(both, "<abc>");
}
