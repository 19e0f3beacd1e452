#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "hosting/xprocessenvironment.h"
#include "platform/process.h"
#include "runtime/xconfigoptions.h"
#include "testsupport.h"

using hosting::ChildEnvironment;
using hosting::JavaExtensionArgv;
using hosting::pushEnv;
using hosting::XLauncherArgv;
using hosting::XLaunchInputs;
using hosting::XModeArgument;

namespace {

using Entries = std::vector<std::string>;

// Inputs over a fixed, injected environment instead of the process's own.
XLaunchInputs Inputs(std::map<std::string, std::string> environment = {}) {
    XLaunchInputs inputs;
    inputs.engineHome = "/opt/vexa";
    inputs.tempDir = "/var/tmp/vexa run";
    inputs.pidText = "1a2c";
    inputs.lookupEnv = [environment](const std::string& name, std::string& value) {
        auto found = environment.find(name);
        if (found == environment.end()) return false;
        value = found->second;
        return true;
    };
    return inputs;
}

XConfigOptions Options(const std::string& language,
                       std::vector<std::pair<std::string, std::string>> pairs) {
    XConfigOptions options(language);
    for (const auto& [key, value] : pairs) options.PutOption(key, value);
    return options;
}

Entries List(const XConfigOptions& options, const XLaunchInputs& inputs) {
    XCmdArgument list = pushEnv(options, inputs);
    Entries entries;
    for (int i = 0; i < list.argc(); ++i) entries.push_back(list.argumentAt(i));
    return entries;
}

// Sets variables for one test and restores the previous state afterwards.
class ScopedVariables {
  public:
    explicit ScopedVariables(std::vector<std::string> names) : m_names(std::move(names)) {
        for (const auto& name : m_names) {
            const char* value = std::getenv(name.c_str());
            m_saved.emplace_back(value != nullptr, value ? value : "");
            ::unsetenv(name.c_str());
        }
    }
    ~ScopedVariables() {
        for (size_t i = 0; i < m_names.size(); ++i) {
            if (m_saved[i].first)
                ::setenv(m_names[i].c_str(), m_saved[i].second.c_str(), 1);
            else
                ::unsetenv(m_names[i].c_str());
        }
    }

  private:
    std::vector<std::string> m_names;
    std::vector<std::pair<bool, std::string>> m_saved;
};

std::string Get(const std::string& name) {
    std::string value = "<unset>";
    platform::GetEnvironment(name, value);
    return value;
}

}  // namespace

TEST(ProcessEnvironment, PythonWithoutOwnVariablesGetsEveryDefaultInOrder) {
    auto options = Options("PYTHON", {{"HOME", "/opt/python3"}, {"LIB_NAME", "lib/libpy.so"}});
    auto inputs = Inputs(
        {{"PATH", "/usr/bin:/bin"}, {"VEXA_EXTENSIONS_PATH", "/ext"}, {"CPRLMX_HOST", "10.0.0.5"}});
    EXPECT_EQ(List(options, inputs), (Entries{
                                         "VEXA_HOME=/opt/vexa",
                                         "VEXADXTEMP=/var/tmp/vexa run",
                                         "VEXA_EXTENSIONS_PATH=/ext",
                                         "PYTHONHOME=/opt/python3",
                                         "PYTHONPATH=/opt/vexa/Python/Lib/site-packages",
                                         "PATH=/opt/python3:/usr/bin:/bin",
                                         "BACKEND_PYTHON_SCRIPT=True",
                                         // Only one of the pair is set, so both take the defaults.
                                         "CPRLMX_HOST=127.0.0.1",
                                         "CPRLMX_PORT=0",
                                         "JAVA_CLIENT_PORT=0",
                                     }));
}

TEST(ProcessEnvironment, PythonTakesInheritedValuesAndAppendsTheInheritedPythonPath) {
    auto options = Options("PYTHON", {{"HOME", "/opt/python3"}});
    auto inputs = Inputs({{"PYTHONPATH", "/site/a:/site/b"},
                          {"CPRLMX_HOST", "10.0.0.5"},
                          {"CPRLMX_PORT", "7001"},
                          {"JAVA_CLIENT_PORT", "7002"}});
    Entries entries = List(options, inputs);
    ASSERT_EQ(entries.size(), 10u);
    // Unset variables give empty values, and an unset PATH adds nothing.
    EXPECT_EQ(entries[2], "VEXA_EXTENSIONS_PATH=");
    EXPECT_EQ(entries[4], "PYTHONPATH=/opt/vexa/Python/Lib/site-packages:/site/a:/site/b");
    EXPECT_EQ(entries[5], "PATH=/opt/python3");
    EXPECT_EQ(entries[7], "CPRLMX_HOST=10.0.0.5");
    EXPECT_EQ(entries[8], "CPRLMX_PORT=7001");
    EXPECT_EQ(entries[9], "JAVA_CLIENT_PORT=7002");
}

TEST(ProcessEnvironment, OwnVariablesComeFirstByNameAndSuppressTheUnlessDefinedRows) {
    auto options = Options("PYTHON", {{"PATH", "/own/bin"},
                                      {"HOME", "/opt/python3/"},
                                      {"VEXA_HOME", "/elsewhere"},
                                      {"BACKEND_PYTHON_SCRIPT", "False"},
                                      {"CPRLMX_HOST", "192.168.1.1"},
                                      {"PYTHONPATH", "/own/site"}});
    auto inputs = Inputs({{"PATH", "/usr/bin"},
                          {"PYTHONPATH", "/inherited"},
                          {"CPRLMX_HOST", "10.0.0.5"},
                          {"CPRLMX_PORT", "7001"}});
    EXPECT_EQ(List(options, inputs),
              (Entries{
                  "BACKEND_PYTHON_SCRIPT=False",
                  "CPRLMX_HOST=192.168.1.1",
                  "PATH=/own/bin",
                  "PYTHONPATH=/own/site",
                  "VEXA_HOME=/elsewhere",
                  "VEXADXTEMP=/var/tmp/vexa run",
                  "VEXA_EXTENSIONS_PATH=",
                  // The trailing separator of HOME is gone.
                  "PYTHONHOME=/opt/python3",
                  // Site-packages first, then the options' value, not the inherited one.
                  "PYTHONPATH=/opt/vexa/Python/Lib/site-packages:/own/site",
                  // Defining only the host does not keep the pair out; these win.
                  "CPRLMX_HOST=10.0.0.5",
                  "CPRLMX_PORT=7001",
                  "JAVA_CLIENT_PORT=0",
              }));
}

TEST(ProcessEnvironment, OptionsDefiningBothHostAndPortGetNoCprlmxEntries) {
    auto options = Options("PYTHON", {{"CPRLMX_HOST", "h"}, {"CPRLMX_PORT", "1"}});
    auto inputs =
        Inputs({{"CPRLMX_HOST", "10.0.0.5"}, {"CPRLMX_PORT", "7001"}, {"PATH", "/usr/bin"}});
    Entries entries = List(options, inputs);
    EXPECT_EQ(std::count(entries.begin(), entries.end(), "CPRLMX_HOST=h"), 1);
    EXPECT_EQ(std::count(entries.begin(), entries.end(), "CPRLMX_PORT=1"), 1);
    EXPECT_EQ(entries.size(), 2u + 8u);
    // Without HOME, PATH gets no empty piece, which would search the current directory.
    EXPECT_EQ(entries[5], "PYTHONHOME=");
    EXPECT_EQ(entries[7], "PATH=/usr/bin");
}

TEST(ProcessEnvironment, RPushesItsHomeAlwaysAndItWinsInTheChildBlock) {
    auto options = Options("R", {{"R_HOME", "/wrong/R"}, {"HOME", "/opt/R\\"}});
    auto inputs = Inputs({{"PATH", "/usr/bin"}, {"DISPLAY", ":0"}});
    Entries entries = List(options, inputs);
    EXPECT_EQ(entries, (Entries{
                           "R_HOME=/wrong/R",
                           "VEXA_HOME=/opt/vexa",
                           "VEXADXTEMP=/var/tmp/vexa run",
                           "VEXA_EXTENSIONS_PATH=",
                           "R_HOME=/opt/R",
                           "PATH=/opt/R/bin:/usr/bin",
                           "VEXA_RPACKAGES_PATH=",
                           "DISPLAY=:0",
                       }));

    // The later R_HOME takes the earlier one's place in the child's block.
    EXPECT_EQ(
        ChildEnvironment(pushEnv(options, inputs), {"PATH=/usr/bin", "R_HOME=/old", "TERM=xterm"}),
        (Entries{"PATH=/opt/R/bin:/usr/bin", "R_HOME=/opt/R", "TERM=xterm", "VEXA_HOME=/opt/vexa",
                 "VEXADXTEMP=/var/tmp/vexa run",
                 "VEXA_EXTENSIONS_PATH=", "VEXA_RPACKAGES_PATH=", "DISPLAY=:0"}));
}

TEST(ProcessEnvironment, JavaExtensionClassPathFollowsPackageModeAndTheInheritedClassPath) {
    auto options = Options("JAVAEXTENSION", {});
    struct Case {
        std::string extensionPath;
        bool packageMode;
        std::map<std::string, std::string> environment;
        std::string expected;
    } cases[] = {
        {"/ext/one;/ext/two/;/ext/three",
         true,
         {},
         "CLASSPATH=/opt/vexa/vexajavaplugin.jar:/ext/one/CMD.jar:/ext/two/CMD.jar:/ext/three/"
         "CMD.jar"},
        {"/ext/one",
         true,
         {{"CLASSPATH", "/usr/share/java/x.jar"}},
         "CLASSPATH=/opt/vexa/vexajavaplugin.jar:/ext/one/CMD.jar:/usr/share/java/x.jar"},
        {"/ext/a.jar;/ext/b.jar",
         false,
         {{"CLASSPATH", "/cp"}},
         "CLASSPATH=/opt/vexa/vexajavaplugin.jar:/ext/a.jar:/ext/b.jar:/cp"},
        {"/ext/a.jar", false, {}, "CLASSPATH=/opt/vexa/vexajavaplugin.jar:/ext/a.jar"},
        // Empty pieces would be the current directory (or a jar at the root).
        {";/ext/one;;",
         true,
         {{"CLASSPATH", ""}},
         "CLASSPATH=/opt/vexa/vexajavaplugin.jar:/ext/one/CMD.jar"},
        {"", true, {}, "CLASSPATH=/opt/vexa/vexajavaplugin.jar"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.extensionPath);
        XLaunchInputs inputs = Inputs(c.environment);
        inputs.extensionPath = c.extensionPath;
        inputs.commandName = "CMD";
        inputs.packageMode = c.packageMode;
        Entries entries = List(options, inputs);
        ASSERT_EQ(entries.size(), 4u);
        EXPECT_EQ(entries[3], c.expected);
    }
}

TEST(ProcessEnvironment, OtherLanguagesGetOnlyTheRowsForAll) {
    auto options =
        Options("RUBY", {{"HOME", "/opt/ruby"}, {"VEXADXTEMP", "/own/tmp"}, {"RUBYLIB", "/lib"}});
    auto inputs = Inputs({{"PATH", "/usr/bin"}, {"VEXA_EXTENSIONS_PATH", "/ext"}});
    EXPECT_EQ(List(options, inputs), (Entries{
                                         "RUBYLIB=/lib",
                                         "VEXADXTEMP=/own/tmp",
                                         "VEXA_HOME=/opt/vexa",
                                         "VEXA_EXTENSIONS_PATH=/ext",
                                     }));
}

TEST(ProcessEnvironment, AChildBlockSetsInListOrderSplitsAtTheFirstEqualsAndSkipsNamelessEntries) {
    XCmdArgument list;
    list.pushArgument("VEXA_TEST_ENV_A=first", true);
    list.pushArgument("VEXA_TEST_ENV_B=x=y=z", true);
    list.pushArgument("=orphan", true);
    list.pushArgument("no equals sign", true);
    list.pushArgument("VEXA_TEST_ENV_A=second value", true);
    list.pushArgument("HOME=/child", true);
    EXPECT_EQ(ChildEnvironment(list, {"HOME=/root", "EMPTY=", "SHELL=/bin/sh"}),
              (Entries{"HOME=/child", "EMPTY=", "SHELL=/bin/sh", "VEXA_TEST_ENV_A=second value",
                       "VEXA_TEST_ENV_B=x=y=z"}));
    EXPECT_EQ(ChildEnvironment(XCmdArgument(), {"A=1"}), (Entries{"A=1"}));
}

TEST(ProcessEnvironment, ModeArgumentIsLocalRemoteOrTheExecutableFileName) {
    EXPECT_EQ(XModeArgument(1), "LOCAL");
    EXPECT_EQ(XModeArgument(0), "REMOTE");
    EXPECT_EQ(XModeArgument(2), "test_hosting");
    EXPECT_EQ(XModeArgument(-1), "test_hosting");
}

TEST(ProcessEnvironment, LauncherArgvNamesTheLauncherAndPassesEveryArgumentUnquoted) {
    auto python = Options("PYTHON", {{"HOME", "/opt/my python/"}});
    XLaunchInputs inputs = Inputs();
    inputs.engineHome = "/opt/vexa";
    EXPECT_EQ(XLauncherArgv(python, inputs, 1),
              (std::vector<std::string>{"/opt/vexa/startx", "LOCAL", "/var/tmp/vexa run", "1a2c",
                                        "PYTHON", "/opt/my python/"}));

    auto r32 = Options("R", {{"HOME", "/opt/R"}, {"WORK_ON_32", "true"}});
    EXPECT_EQ(XLauncherArgv(r32, inputs, 0),
              (std::vector<std::string>{"/opt/vexa/startx32", "REMOTE", "/var/tmp/vexa run", "1a2c",
                                        "R"}));

    XLaunchInputs java = inputs;
    java.commandName = "MYEXT CMD";
    EXPECT_EQ(
        JavaExtensionArgv(java, 0, 50123),
        (std::vector<std::string>{"/opt/vexa/JRE/bin/java", "com.kor.statistics.plugin.Extension",
                                  "REMOTE", "50123", "MYEXT CMD"}));
}

TEST(ProcessEnvironment, AStartedLauncherReceivesTheArgumentsAndTheAppliedEnvironment) {
    testsupport::TempDir home;
    testsupport::TempDir temp;
    std::string blankTemp = temp.path() + "/dir with blank";
    std::filesystem::create_directory(blankTemp);
    std::string out = temp.file("seen.txt");
    // The stand-in launcher writes each argument on its own line, then two variables.
    testsupport::WriteFile(
        home.file("startx"),
        "#!/bin/sh\n"
        "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$VEXA_TEST_OUT\"\n"
        "printf '%s\\n' \"$VEXADXTEMP\" \"$PYTHONHOME\" >> \"$VEXA_TEST_OUT\"\n");
    std::filesystem::permissions(home.file("startx"), std::filesystem::perms::owner_all);

    ScopedVariables saved({"VEXA_TEST_OUT", "VEXA_HOME", "VEXADXTEMP", "VEXA_EXTENSIONS_PATH",
                           "PYTHONHOME", "PYTHONPATH", "BACKEND_PYTHON_SCRIPT", "CPRLMX_HOST",
                           "CPRLMX_PORT", "JAVA_CLIENT_PORT"});
    std::string path = Get("PATH");
    auto options =
        Options("PYTHON", {{"HOME", "/opt/py home"}, {"VEXA_TEST_OUT", out}, {"PATH", path}});
    XLaunchInputs inputs;
    inputs.engineHome = home.path();
    inputs.tempDir = blankTemp;
    inputs.pidText = "00ff";
    const std::vector<std::string> before = platform::CurrentEnvironment();
    platform::ChildProcess child;
    ASSERT_EQ(
        platform::ChildProcess::Spawn(XLauncherArgv(options, inputs, 1),
                                      ChildEnvironment(pushEnv(options, inputs), before), child),
        0);
    EXPECT_EQ(platform::CurrentEnvironment(), before);
    EXPECT_EQ(child.Wait(), 0);
    EXPECT_EQ(testsupport::ReadFile(out), "LOCAL\n" + blankTemp + "\n00ff\nPYTHON\n/opt/py home\n" +
                                              blankTemp + "\n/opt/py home\n");
}
