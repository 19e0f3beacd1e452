#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "platform/process.h"
#include "runtime/dxglobal.h"
#include "runtime/vexadxconfigreader.h"
#include "testsupport.h"

namespace {

using EnvMap = std::map<std::string, std::string>;
using Names = std::vector<std::string>;

// A configuration file in a fresh directory and a reader of it.
class ConfigFile {
  public:
    explicit ConfigFile(const std::string& contents) : m_path(m_dir.file("vexadxcfg.ini")) {
        testsupport::WriteFile(m_path, contents);
    }
    const std::string& path() const { return m_path; }
    const testsupport::TempDir& dir() const { return m_dir; }
    void Rewrite(const std::string& contents) const { testsupport::WriteFile(m_path, contents); }

  private:
    testsupport::TempDir m_dir;
    std::string m_path;
};

// The reader's profile lookup, reached from a test.
class ProfileReader : public PlugInConfigReader {
  public:
    std::string Get(const std::string& section, const std::string& key, const std::string& path,
                    std::size_t size = 256) const {
        std::string buffer(size, 'Z');
        std::size_t used = GetPrivateProfileString(section, key, "dflt", buffer.data(), size, path);
        if (used >= size) return "<overflow>";
        // Everything past the bytes used must have been cleared.
        if (buffer.find_first_not_of('\0', used) != std::string::npos) return "<not cleared>";
        return buffer.substr(0, used);
    }
};

}  // namespace

// ---- The profile format -----------------------------------------------------

TEST(ConfigFormat, KeyNamesAreListedNulSeparatedSkippingCommentsAndKeylessLines) {
    ConfigFile file("[S]\na=1\n;c=3\n=x\nbb = 2\n  d  \n\n[T]\ne=5\n");
    ProfileReader reader;
    EXPECT_EQ(reader.Get("S", "", file.path()), std::string("a\0bb \0d\0", 8));
}

TEST(ConfigFormat, NameListStopsWhenTheNextNameAndTwoBytesDoNotFit) {
    ConfigFile file("[S]\na=1\nbb=2\nd=3\n");
    ProfileReader reader;
    EXPECT_EQ(reader.Get("S", "", file.path(), 6), std::string("a\0bb\0", 5));
    EXPECT_EQ(reader.Get("S", "", file.path(), 5), std::string("a\0", 2));
}

TEST(ConfigFormat, SectionNamesAreTheTextBetweenTheBrackets) {
    ConfigFile file("x=0\n[one]\na=1\n  [two\n[ three ] trailing\n;[four]\n");
    ProfileReader reader;
    EXPECT_EQ(reader.Get("", "a", file.path()), std::string("one\0two\0 three \0", 16));
}

TEST(ConfigFormat, ValueIsTruncatedToTheBufferLessOne) {
    ConfigFile file("[S]\nK=abcdefgh\n");
    ProfileReader reader;
    EXPECT_EQ(reader.Get("S", "K", file.path(), 4), "abc");
    EXPECT_EQ(reader.Get("S", "K", file.path(), 1), "");
}

TEST(ConfigFormat, MissingFileClearsTheBufferAndReturnsZero) {
    testsupport::TempDir dir;
    ProfileReader reader;
    EXPECT_EQ(reader.Get("S", "K", dir.file("absent.ini")), "");
    EXPECT_EQ(reader.Get("", "", dir.file("absent.ini")), "");
}

TEST(ConfigFormat, NullOrEmptyBufferIsRefused) {
    ConfigFile file("[S]\nK=v\n");
    PlugInConfigReader reader;
    char byte = 'Z';
    EXPECT_EQ(reader.GetPrivateProfileString("S", "K", "", nullptr, 10, file.path()), 0u);
    EXPECT_EQ(reader.GetPrivateProfileString("S", "K", "", &byte, 0, file.path()), 0u);
    EXPECT_EQ(byte, 'Z');
}

TEST(ConfigFormat, KeyMatchesByCaseInsensitivePrefixAndTheFirstMatchWins) {
    ConfigFile file("[S]\ntracedir=/first\nTRACE=/second\n[U]\nTRACEX\nTRACE=/late\n");
    ProfileReader reader;
    EXPECT_EQ(reader.Get("s", "Trace", file.path()), "/first");
    // The first matching line has no value: the later one is not looked at.
    EXPECT_EQ(reader.Get("U", "TRACE", file.path()), "");
}

TEST(ConfigFormat, LookupStaysInsideTheSection) {
    ConfigFile file("[A]\nk1=a\n[B]\nk2=b\n");
    ProfileReader reader;
    EXPECT_EQ(reader.Get("A", "k2", file.path()), "");
    EXPECT_EQ(reader.Get("B", "k2", file.path()), "b");
    EXPECT_EQ(reader.Get("C", "k2", file.path()), "");
}

TEST(ConfigFormat, OverlongLineIsReadAsSeveralLines) {
    const std::string tail(953, 't');
    ConfigFile file("[S]\nA=" + std::string(2045, 'a') + tail + "\nB=b\n");
    ProfileReader reader;
    EXPECT_EQ(reader.Get("S", "", file.path(), 4096),
              std::string("A\0", 2) + tail + std::string("\0B\0", 3));
    EXPECT_EQ(reader.Get("S", "A", file.path(), 4096), std::string(2045, 'a'));
}

TEST(ConfigFormat, LineOfExactlyTheLimitIsOneLine) {
    ConfigFile file("[S]\nA=" + std::string(2045, 'a') + "\nB=b\n");
    ProfileReader reader;
    EXPECT_EQ(reader.Get("S", "", file.path()), std::string("A\0B\0", 4));
    EXPECT_EQ(reader.Get("S", "B", file.path()), "b");
}

// ---- The library's configuration ----------------------------------------------

TEST(ConfigReader, MissingFileGivesEmptyValuesAndOnlyTheJavaExtension) {
    testsupport::TempDir dir;
    VexaDXConfigReader reader(dir.file("vexadxcfg.ini"));
    EXPECT_EQ(reader.GetTracePath(), "");
    EXPECT_EQ(reader.GetVersion(), "");
    EXPECT_TRUE(reader.GetSupportLanguage().empty());
    EXPECT_TRUE(reader.IsSupportLanguage("JAVAEXTENSION"));
    EXPECT_FALSE(reader.IsSupportLanguage("javaextension"));
    EXPECT_FALSE(reader.IsSupportLanguage("PYTHON"));
    XConfigOptions* python = reader.GetOptions("PYTHON");
    ASSERT_NE(python, nullptr);
    EXPECT_TRUE(python->GetXEnvVars().empty());
    EXPECT_EQ(python->GetXLibName(), "");
}

TEST(ConfigReader, SupportedNamesCompareWithCaseAndAreNotTrimmed) {
    ConfigFile plain("[SUPPORTED_LANG]\nX=PYTHON;R\n");
    VexaDXConfigReader reader(plain.path());
    EXPECT_EQ(reader.GetSupportLanguage(), (Names{"PYTHON", "R"}));
    EXPECT_TRUE(reader.IsSupportLanguage("PYTHON"));
    EXPECT_TRUE(reader.IsSupportLanguage("R"));
    EXPECT_FALSE(reader.IsSupportLanguage("python"));

    ConfigFile blank("[SUPPORTED_LANG]\nX=PYTHON; R\n");
    VexaDXConfigReader blankReader(blank.path());
    EXPECT_EQ(blankReader.GetSupportLanguage(), (Names{"PYTHON", " R"}));
    EXPECT_FALSE(blankReader.IsSupportLanguage("R"));
    EXPECT_TRUE(blankReader.IsSupportLanguage("JAVAEXTENSION"));
}

TEST(ConfigReader, ListKeepsInnerEmptyPiecesButNoEmptyNameIsSupported) {
    ConfigFile file("[SUPPORTED_LANG]\nX=A;;B;\n");
    VexaDXConfigReader reader(file.path());
    EXPECT_EQ(reader.GetSupportLanguage(), (Names{"A", "", "B"}));
    EXPECT_FALSE(reader.IsSupportLanguage(""));
}

TEST(ConfigReader, TraceWithBlanksAroundTheEqualsSignIsTrimmed) {
    ConfigFile file("[SUPPORTED_LANG]\nX=R\nTRACE = /var/trace \n");
    EXPECT_EQ(VexaDXConfigReader(file.path()).GetTracePath(), "/var/trace");
}

TEST(ConfigReader, LongerKeyBeforeTraceIsTakenForTrace) {
    ConfigFile file("[SUPPORTED_LANG]\nTRACEDIR=/wrong\nTRACE=/right\n");
    EXPECT_EQ(VexaDXConfigReader(file.path()).GetTracePath(), "/wrong");
}

TEST(ConfigReader, VersionTextsComeFromTheVersionSection) {
    ConfigFile file(
        "; engine build\r\n[version]\r\nVexadxVersion=30.0.0.0\r\nVexadxVersionMajor=30\r\n"
        "VexadxVersionMinor=0\r\nVexadxVersionPatch=1\r\nVexadxFixPack=FP2\r\n");
    VexaDXConfigReader reader(file.path());
    EXPECT_EQ(reader.GetVersion(), "30.0.0.0");
    EXPECT_EQ(reader.GetVersionMajor(), "30");
    EXPECT_EQ(reader.GetVersionMinor(), "0");
    EXPECT_EQ(reader.GetVersionPatch(), "1");
    EXPECT_EQ(reader.GetVersionBugfix(), "FP2");
    XConfigOptions global = reader.GetGlobalOptions();
    EXPECT_EQ(global.XName(), "_GLOBAL_");
    EXPECT_TRUE(global.GetXEnvVars().empty());
}

TEST(ConfigReader, GetOptionTrimsSpacesOnlyAndFallsBackToTheDefault) {
    ConfigFile file("[S]\nK=  v  \t\nT=\tv\nE=   \n");
    VexaDXConfigReader reader(file.path());
    EXPECT_EQ(reader.GetOption("S", "K", "d"), "v");
    EXPECT_EQ(reader.GetOption("S", "T", "d"), "\tv");
    EXPECT_EQ(reader.GetOption("S", "E", "d"), "d");  // the line ends at "=": no value
    EXPECT_EQ(reader.GetOption("S", "Missing", "  d  "), "d");
}

TEST(ConfigReader, LanguageSectionGivesItsValuesAndEnvironmentInFileOrder) {
    ConfigFile file(
        "[SUPPORTED_LANG]\nX=PYTHON;R\n"
        "[PYTHON]\n"
        "; comment=1\n"
        "LIB_NAME=lib/libpyx.so\n"
        "HOME=/opt/py\n"
        "ARGS=-u -E\n"
        "WORK_ON_32=true\n"
        "=ignored\n"
        "PYTHONPATH=/opt/py/lib\n"
        "EXTRA= %PYTHONPATH%:/more \n"
        "BARE\n"
        "[R]\n"
        "LIB_NAME=lib/librx.so\n"
        "RPATH=%PYTHONPATH%\n");
    VexaDXConfigReader reader(file.path());
    XConfigOptions* python = reader.GetOptions("PYTHON");
    EXPECT_EQ(python->XName(), "PYTHON");
    EXPECT_EQ(python->GetXLibName(), "lib/libpyx.so");
    EXPECT_EQ(python->GetXHome(), "/opt/py");
    EXPECT_EQ(python->GetXArgs(), "-u -E");
    EXPECT_TRUE(python->WorkOn32());
    EXPECT_TRUE(python->IsNestable());
    EXPECT_FALSE(python->IsInnerProcess());
    EXPECT_EQ(
        python->GetXEnvVars(),
        (EnvMap{{"BARE", ""}, {"EXTRA", " /opt/py/lib:/more"}, {"PYTHONPATH", "/opt/py/lib"}}));

    XConfigOptions* r = reader.GetOptions("R");
    EXPECT_EQ(r->GetXLibName(), "lib/librx.so");
    EXPECT_EQ(r->GetXEnvVars(), (EnvMap{{"RPATH", "%PYTHONPATH%"}}));
    EXPECT_FALSE(r->IsNestable());
}

TEST(ConfigReader, HomeWithBlankBeforeTheEqualsSignIsNotTheHome) {
    ConfigFile file("[R]\nHOME =/opt/r\n");
    VexaDXConfigReader reader(file.path());
    XConfigOptions* r = reader.GetOptions("R");
    EXPECT_EQ(r->GetXEnvVars(), (EnvMap{{"HOME ", "/opt/r"}}));
    EXPECT_EQ(r->GetXHome(), "");
}

TEST(ConfigReader, SectionFoundByCaseInsensitivePrefixOfTheFirstHeader) {
    ConfigFile file("[python3]\nLIB_NAME=first\n[PYTHON]\nLIB_NAME=second\n[Rx]\nHOME=/rx\n");
    VexaDXConfigReader reader(file.path());
    EXPECT_EQ(reader.GetOptions("PYTHON")->GetXLibName(), "first");
    EXPECT_EQ(reader.GetOptions("R")->GetXHome(), "/rx");
    EXPECT_TRUE(reader.GetOptions("PYTHON4")->GetXEnvVars().empty());
    EXPECT_EQ(reader.GetOptions("PYTHON4")->FindOption("LIB_NAME"), nullptr);
}

TEST(ConfigReader, SelfReferringEntryInTheFileEnds) {
    ConfigFile file("[R]\nA=x%A%\nB=%A%\n");
    VexaDXConfigReader reader(file.path());
    const std::string& b = reader.GetOptions("R")->GetXEnvVars().at("B");
    EXPECT_EQ(b, std::string(XConfigOptions::kMaxReplacements, 'x') + "%A%");
}

TEST(ConfigReader, EachSectionIsReadOnceAndLaterChangesAreNotSeen) {
    ConfigFile file("[SUPPORTED_LANG]\nTRACE=/t1\n[R]\nHOME=/r1\n");
    VexaDXConfigReader reader(file.path());
    XConfigOptions* first = reader.GetOptions("R");
    EXPECT_EQ(reader.GetTracePath(), "/t1");
    file.Rewrite("[SUPPORTED_LANG]\nTRACE=/t2\n[R]\nHOME=/r2\n[Q]\nHOME=/q2\n");
    EXPECT_EQ(reader.GetOptions("R"), first);
    EXPECT_EQ(first->GetXHome(), "/r1");
    EXPECT_EQ(reader.GetTracePath(), "/t1");
    // A section not read before is read now, from the file as it is.
    EXPECT_EQ(reader.GetOptions("Q")->GetXHome(), "/q2");
    // A fresh reader sees the new file: nothing leaks between readers.
    EXPECT_EQ(VexaDXConfigReader(file.path()).GetTracePath(), "/t2");
}

TEST(ConfigReader, OptionsWithoutNameAreACopyForTheReadersLanguage) {
    ConfigFile file("[R]\nHOME=/r\n[PYTHON]\nHOME=/py\n");
    VexaDXConfigReader reader(file.path());
    EXPECT_EQ(reader.GetXName(), "");
    reader.SetXName("R");
    XConfigOptions copy = reader.GetOptions();
    EXPECT_EQ(copy.XName(), "R");
    EXPECT_EQ(copy.GetXHome(), "/r");
    copy.PutOption("HOME", "/changed");
    EXPECT_EQ(reader.GetOptions("R")->GetXHome(), "/r");
}

TEST(ConfigReader, ConcurrentFirstReadsShareOneCachedObject) {
    ConfigFile file("[SUPPORTED_LANG]\nX=R\nTRACE=/t\n[R]\nA=1\nB=%A%2\n");
    VexaDXConfigReader reader(file.path());
    constexpr int kThreads = 8;
    std::vector<XConfigOptions*> seen(kThreads, nullptr);
    std::vector<std::string> traces(kThreads);
    {
        std::vector<std::thread> threads;
        for (int i = 0; i < kThreads; ++i)
            threads.emplace_back([&, i] {
                seen[i] = reader.GetOptions("R");
                traces[i] = reader.GetTracePath();
            });
        for (auto& thread : threads) thread.join();
    }
    for (int i = 0; i < kThreads; ++i) {
        EXPECT_EQ(seen[i], seen[0]);
        EXPECT_EQ(traces[i], "/t");
    }
    EXPECT_EQ(seen[0]->GetXEnvVars().at("B"), "12");
}

// ---- The process's reader -------------------------------------------------------

namespace {

int Failed(const char* what) {
    std::fprintf(stderr, "check failed: %s\n", what);
    return 1;
}

// Runs in a fresh process, where the reader does not exist yet.
int CheckInstanceReadsTheEngineHome() {
    testsupport::TempDir home;
    testsupport::WriteFile(home.file("vexadxcfg.ini"),
                           "[SUPPORTED_LANG]\nX=R\nTRACE=/t\n[R]\nHOME=/r\n");
    SetVEXAHOME((home.path() + "/").c_str());
    VexaDXConfigReader* reader = VexaDXConfigReader::GetInstance();
    if (reader != VexaDXConfigReader::GetInstance()) return Failed("one instance");
    if (reader->GetConfigFullPath() != home.path() + "/vexadxcfg.ini") return Failed("path");
    if (reader->GetTracePath() != "/t") return Failed("trace");
    if (VexaDXConfigReader::GetInstance("R") != reader->GetOptions("R")) return Failed("options");
    if (VexaDXConfigReader::GetInstance("R")->GetXHome() != "/r") return Failed("home");
    // The path was fixed when the reader was made.
    SetVEXAHOME("/elsewhere");
    if (VexaDXConfigReader::GetInstance()->GetConfigFullPath() != home.path() + "/vexadxcfg.ini")
        return Failed("path fixed");
    return 0;
}

int CheckInstanceWithoutHomeUsesTheBareName() {
    platform::SetEnvironment("VEXA_HOME", "");
    if (VexaDXConfigReader::GetInstance()->GetConfigFullPath() != "vexadxcfg.ini")
        return Failed("bare name");
    return 0;
}

}  // namespace

TEST(ConfigReaderInstance, FirstUseTakesThePathFromTheEngineHome) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(std::exit(CheckInstanceReadsTheEngineHome()), ::testing::ExitedWithCode(0), "");
}

TEST(ConfigReaderInstance, WithoutEngineHomeTheFileIsInTheCurrentDirectory) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(std::exit(CheckInstanceWithoutHomeUsesTheBareName()), ::testing::ExitedWithCode(0),
                "");
}
