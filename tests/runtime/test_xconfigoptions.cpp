#include <gtest/gtest.h>

#include <map>
#include <string>

#include "runtime/dxglobal.h"
#include "runtime/xconfigoptions.h"

namespace {

using EnvMap = std::map<std::string, std::string>;

// Installs an expansion hook for the scope of a test.
class HookScope {
  public:
    explicit HookScope(ExpandEnvStrHook hook) { SetExpandEnvStr(hook); }
    ~HookScope() { SetExpandEnvStr(nullptr); }
};

}  // namespace

TEST(XConfigOptionsExpansion, ReferenceToEarlierVariableIsExpandedOnlyInTheEnvironment) {
    XConfigOptions options("PYTHON");
    options.PutOption("A", "alpha");
    options.PutOption("B", "%A%;beta");
    EXPECT_EQ(options.GetXEnvVars(), (EnvMap{{"A", "alpha"}, {"B", "alpha;beta"}}));
    EXPECT_EQ(options.GetOption("B"), "%A%;beta");
}

TEST(XConfigOptionsExpansion, UnknownReferenceStopsExpansionOfEverythingAfterIt) {
    XConfigOptions options("R");
    options.PutOption("A", "alpha");
    options.PutOption("B", "%NOPE%-%A%");
    options.PutOption("C", "%A%-%NOPE%-%A%");
    EXPECT_EQ(options.GetXEnvVars().at("B"), "%NOPE%-%A%");
    EXPECT_EQ(options.GetXEnvVars().at("C"), "alpha-%NOPE%-%A%");
}

TEST(XConfigOptionsExpansion, LaterVariableOnlySeesVariablesDefinedBeforeIt) {
    XConfigOptions options("R");
    options.PutOption("B", "%A%x");
    options.PutOption("A", "alpha");
    EXPECT_EQ(options.GetXEnvVars().at("B"), "%A%x");
    // The reference left in B resolves once B's value is substituted elsewhere.
    options.PutOption("C", "[%B%]");
    EXPECT_EQ(options.GetXEnvVars().at("C"), "[alphax]");
}

TEST(XConfigOptionsExpansion, RedefinedVariableExtendsItsEarlierValue) {
    XConfigOptions options("R");
    options.PutOption("PATH", "/a");
    options.PutOption("PATH", "%PATH%:/b");
    EXPECT_EQ(options.GetXEnvVars().at("PATH"), "/a:/b");
    EXPECT_EQ(options.GetOption("PATH"), "%PATH%:/b");
}

TEST(XConfigOptionsExpansion, UnpairedPercentAndEmptyNameStayAsWritten) {
    XConfigOptions options("R");
    options.PutOption("A", "alpha");
    options.PutOption("B", "100% of %A");
    options.PutOption("C", "%%A%");
    EXPECT_EQ(options.GetXEnvVars().at("B"), "100% of %A");
    EXPECT_EQ(options.GetXEnvVars().at("C"), "%%A%");
}

TEST(XConfigOptionsExpansion, SelfReferenceThatGrowsEndsAfterTheReplacementLimit) {
    XConfigOptions options("R");
    options.PutOption("A", "x%A%");  // A unknown while it is defined: stays as written
    ASSERT_EQ(options.GetXEnvVars().at("A"), "x%A%");
    options.PutOption("B", "%A%");
    // Every replacement puts one more "x" in front of a fresh reference.
    EXPECT_EQ(options.GetXEnvVars().at("B"),
              std::string(XConfigOptions::kMaxReplacements, 'x') + "%A%");
}

TEST(XConfigOptionsExpansion, CycleThroughTwoVariablesThatDoesNotGrowEnds) {
    XConfigOptions options("R");
    options.PutOption("A", "%B%");
    options.PutOption("B", "%A%");  // expands to "%B%" and stops: B is not yet known
    ASSERT_EQ(options.GetXEnvVars().at("B"), "%B%");
    options.PutOption("C", "<%A%>");
    EXPECT_EQ(options.GetXEnvVars().at("C"), "<%B%>");
}

TEST(XConfigOptionsExpansion, DoublingSelfReferenceStaysWithinTheLengthLimit) {
    XConfigOptions options("R");
    const std::string block(2000, 'y');
    options.PutOption("A", block + "%A%%A%");
    options.PutOption("B", "%A%");
    const std::string& expanded = options.GetXEnvVars().at("B");
    EXPECT_LE(expanded.size(), XConfigOptions::kMaxExpandedLength);
    EXPECT_GT(expanded.size(), XConfigOptions::kMaxExpandedLength - block.size() - 6);
    EXPECT_NE(expanded.find("%A%"), std::string::npos);
}

TEST(XConfigOptionsExpansion, HostHookSeesTheExpandedTextAndItsOutputIsStored) {
    HookScope scope([](const std::string& input, std::string& output) {
        output = "{" + input + "}";
        return true;
    });
    XConfigOptions options("R");
    options.PutOption("A", "alpha");  // hooked as well
    options.PutOption("B", "%A%!");
    EXPECT_EQ(options.GetXEnvVars(), (EnvMap{{"A", "{alpha}"}, {"B", "{{alpha}!}"}}));
    EXPECT_EQ(options.GetOption("B"), "%A%!");
}

TEST(XConfigOptionsKeys, DefinedKeysNeverBecomeEnvironmentVariables) {
    XConfigOptions options("PYTHON");
    const char* defined[] = {"LIB_NAME",
                             "HOME",
                             "ARGS",
                             "X",
                             "VexadxVersion",
                             "VexadxVersionMajor",
                             "VexadxVersionMinor",
                             "VexadxVersionPatch",
                             "VexadxFixPack",
                             "TRACE",
                             "INNER_PROCESS",
                             "NESTABLE",
                             "WORK_ON_32"};
    for (const char* key : defined) {
        EXPECT_TRUE(XConfigOptions::IsDefinedKey(key)) << key;
        options.PutOption(key, "v");
    }
    EXPECT_TRUE(options.GetXEnvVars().empty());
    EXPECT_EQ(options.GetXLibName(), "v");
}

TEST(XConfigOptionsKeys, DefinedKeysCompareWithCase) {
    XConfigOptions options("PYTHON");
    options.PutOption("home", "/h");
    options.PutOption("HOME ", "/h2");
    EXPECT_EQ(options.GetXEnvVars(), (EnvMap{{"HOME ", "/h2"}, {"home", "/h"}}));
    EXPECT_EQ(options.GetXHome(), "");
}

TEST(XConfigOptionsKeys, ReadingAnAbsentValueAddsAnEmptyEntry) {
    XConfigOptions options("R");
    ASSERT_EQ(options.FindOption("HOME"), nullptr);
    std::string& home = options.GetXHome();
    EXPECT_EQ(home, "");
    ASSERT_NE(options.FindOption("HOME"), nullptr);
    EXPECT_EQ(options.FindOption("HOME"), &home);
    options.PutOption("HOME", "/opt/r");
    EXPECT_EQ(home, "/opt/r");
    EXPECT_EQ(options.GetXArgs(), "");
    EXPECT_NE(options.FindOption("ARGS"), nullptr);
}

TEST(XConfigOptionsFlags, OnlyExactLowerCaseTrueIsTrue) {
    XConfigOptions upper("R");
    upper.PutOption("INNER_PROCESS", "TRUE");
    upper.PutOption("NESTABLE", "True");
    upper.PutOption("WORK_ON_32", " true");
    EXPECT_FALSE(upper.IsInnerProcess());
    EXPECT_FALSE(upper.IsNestable());
    EXPECT_FALSE(upper.WorkOn32());

    XConfigOptions lower("R");
    lower.PutOption("INNER_PROCESS", "true");
    lower.PutOption("NESTABLE", "true");
    lower.PutOption("WORK_ON_32", "true");
    EXPECT_TRUE(lower.IsInnerProcess());
    EXPECT_TRUE(lower.IsNestable());
    EXPECT_TRUE(lower.WorkOn32());
}

TEST(XConfigOptionsFlags, PythonIsAlwaysNestableOtherNamesAreNot) {
    EXPECT_TRUE(XConfigOptions("PYTHON").IsNestable());
    EXPECT_FALSE(XConfigOptions("python").IsNestable());
    EXPECT_FALSE(XConfigOptions("R").IsNestable());
    XConfigOptions python("PYTHON");
    python.PutOption("NESTABLE", "false");
    EXPECT_TRUE(python.IsNestable());
}

TEST(XConfigOptionsCopy, CopyIsIndependentOfTheOriginal) {
    XConfigOptions original("R");
    original.PutOption("A", "1");
    XConfigOptions copy = original;
    copy.PutOption("A", "2");
    copy.PutOption("HOME", "/r");
    EXPECT_EQ(original.GetXEnvVars().at("A"), "1");
    EXPECT_EQ(original.FindOption("HOME"), nullptr);
    EXPECT_EQ(copy.XName(), "R");
}
