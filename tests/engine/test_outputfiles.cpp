#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>

#include "codec/protocol.h"
#include "outputfiles.h"

namespace {

namespace fs = std::filesystem;

std::string Content(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

class Scratch {
  public:
    Scratch() : m_path(fs::temp_directory_path() / ("outputfiles-" + std::to_string(::getpid()))) {
        fs::create_directories(m_path);
    }
    ~Scratch() {
        std::error_code ignored;
        fs::remove_all(m_path, ignored);
    }
    std::string file(const std::string& name) const { return (m_path / name).string(); }
    // Every name in the directory: a left partial file shows here.
    std::size_t entries() const {
        return static_cast<std::size_t>(
            std::distance(fs::directory_iterator(m_path), fs::directory_iterator()));
    }

  private:
    fs::path m_path;
};

}  // namespace

TEST(OutputFiles, AReplacedFileHoldsTheNewTextAndNoPartialFileIsLeft) {
    Scratch scratch;
    const std::string path = scratch.file("page.html");
    ASSERT_EQ(engine::ReplaceFile(path, "first"), 0);
    EXPECT_EQ(Content(path), "first");
    ASSERT_EQ(engine::ReplaceFile(path, std::string(100000, 'x')), 0);
    EXPECT_EQ(Content(path), std::string(100000, 'x'));
    EXPECT_EQ(scratch.entries(), 1u);
}

TEST(OutputFiles, AFileThatCannotBeWrittenKeepsTheOlderOneAndNamesItsPath) {
    Scratch scratch;
    const std::string good = scratch.file("out.xml");
    const std::string bad = scratch.file("missing/out.html");
    engine::OutputFiles files(good, bad);
    engine::EngineState state;
    EXPECT_EQ(files.Save(state.output, state.log), ENOENT);
    EXPECT_EQ(files.failedPath(), bad);
    EXPECT_NE(Content(good).find("<output"), std::string::npos);

    // A directory in the way: the rename fails, the target is untouched.
    fs::create_directories(scratch.file("taken"));
    EXPECT_NE(engine::ReplaceFile(scratch.file("taken"), "new"), 0);
    EXPECT_TRUE(fs::is_directory(scratch.file("taken")));
    EXPECT_EQ(scratch.entries(), 2u);
}

TEST(OutputFiles, OnlyRequestsThatFinishOutputSaveIt) {
    for (int settles :
         {cmd::kSubmit, cmd::kQueueCommandPart, cmd::kPostVexaOutput, cmd::kAddTextBlock,
          cmd::kEndProcedure, cmd::kGetGraphic, cmd::kSetGraphicsLabel, cmd::kSetOutputLanguage}) {
        EXPECT_TRUE(engine::SettlesOutput(settles)) << settles;
    }
    for (int passes :
         {cmd::kGetVariableCount, cmd::kStartProcedure, cmd::kSetNumberCell, cmd::kStopVexa}) {
        EXPECT_FALSE(engine::SettlesOutput(passes)) << passes;
    }
}
