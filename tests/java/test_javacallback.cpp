// JAVAEXTENSION blocks whose program calls the engine while the block runs:
// the real engine starts a stand-in for the Java runtime (javaprogrampeer),
// which joins the engine's pipes as the Java binding does.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "testsupport.h"
#include "vexaxd_p.h"

namespace fs = std::filesystem;

namespace {

constexpr int kJavaProgramFailed = 9083;

class JavaCallbacks : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* name : {"StartXD", "iris.csv", "iris.dict"})
            fs::create_symlink(fs::path(VEXA_ENGINE_HOME) / name, fs::path(m_home.path()) / name);
        testsupport::WriteFile(m_home.file("vexadxcfg.ini"), "[SUPPORTED_LANG]\nX=\n");
        fs::create_directories(fs::path(m_home.path()) / "JRE" / "bin");
        fs::create_symlink(VEXA_JAVA_PROGRAM_PEER,
                           fs::path(m_home.path()) / "JRE" / "bin" / "java");
        const std::string arguments =
            "-vexahome=" + m_home.path() + ", -outputlog=" + m_home.file("output.log");
        ASSERT_EQ(StartVexa(arguments.c_str()), 0);
    }
    void TearDown() override { StopVexa(); }

    static int Run(const std::string& command) {
        const std::string block = "BEGIN PROGRAM JAVAEXTENSION.\n" + command + "\nEND PROGRAM.";
        return Submit(block.data(), static_cast<int>(block.size()));
    }
    std::vector<std::string> Posted() const {
        std::vector<std::string> posted;
        std::ifstream log(m_home.file("output.log"));
        for (std::string line; std::getline(log, line);) {
            if (line.rfind("output: ", 0) == 0) posted.push_back(line.substr(8));
        }
        return posted;
    }

    testsupport::TempDir m_home;
};

// The first column of the bundled sample, summed from its file.
double SepalLengthSum() {
    std::ifstream csv(std::string(VEXA_ENGINE_HOME) + "/iris.csv");
    std::string line;
    std::getline(csv, line);
    double sum = 0;
    while (std::getline(csv, line)) {
        if (!line.empty()) sum += std::strtod(line.c_str(), nullptr);
    }
    return sum;
}

}  // namespace

TEST_F(JavaCallbacks, TheBlocksProgramReadsTheActiveDatasetWhileItsBlockRuns) {
    ASSERT_EQ(Run("COUNT"), 0);
    ASSERT_EQ(Run("SUM"), 0);
    char sum[96];
    std::snprintf(sum, sizeof sum, "cases 150 sum %.2f", SepalLengthSum());
    EXPECT_EQ(Posted(), (std::vector<std::string>{"variables 9 cases 150", sum}));
    // The client is served again once the blocks are over.
    int err = -1;
    EXPECT_EQ(GetVariableCount(&err), 9);
    EXPECT_EQ(err, 0);
}

TEST_F(JavaCallbacks, AJavaBlockInsideOneIsRefusedAndTheOuterGoesOn) {
    ASSERT_EQ(Run("NEST"), 0);
    EXPECT_EQ(Posted(), std::vector<std::string>{"nested 9084"});
    ASSERT_EQ(Run("COUNT"), 0);
    EXPECT_EQ(Posted().back(), "variables 9 cases 150");
}

TEST_F(JavaCallbacks, AFailedProgramFailsItsBlockAndTheNextProgramJoinsAgain) {
    EXPECT_EQ(Run("FAIL"), kJavaProgramFailed);
    ASSERT_EQ(Run("COUNT"), 0);
    EXPECT_EQ(Posted(), (std::vector<std::string>{
                            "JAVAEXTENSION FAIL: the Java program ended with exit status 3",
                            "variables 9 cases 150"}));
}
