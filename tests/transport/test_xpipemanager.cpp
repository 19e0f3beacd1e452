#include <gtest/gtest.h>

#include "platform/localchannel.h"
#include "testsupport.h"
#include "transport/xpipemanager.h"

namespace {
const std::string kRoot = platform::PipeNamePrefix();
}

TEST(XPipeSuit, NewSuitHasNoLevel) {
    XPipeManager manager("/tmp", "1a2c");
    XPipeSuit* suit = manager.getPipeSuit("PYTHON");
    EXPECT_EQ(suit->getIndex(), -1);
    EXPECT_EQ(suit->getXPipes(0), nullptr);
    EXPECT_EQ(suit->getXPipes(), nullptr);
}

TEST(XPipeSuit, FirstLevelNamesAllFourPipesAndTracesThem) {
    testsupport::TraceCapture trace;
    XPipeManager manager("/tmp", "1a2c");
    XPipeSuit* suit = manager.getPipeSuit("PYTHON");
    suit->increaseIndex();
    XPipes* pipes = suit->getXPipes();
    ASSERT_NE(pipes, nullptr);
    EXPECT_EQ(pipes->GetXDAPIPipe()->GetPipeName(), kRoot + "1a2cPYTHON0xdapi");
    EXPECT_EQ(pipes->GetXDAPIResultPipe()->GetPipeName(), kRoot + "1a2cPYTHON0xdapiresult");
    EXPECT_EQ(pipes->GetSyntaxPipe()->GetPipeName(), kRoot + "1a2cPYTHON0syntax");
    EXPECT_EQ(pipes->GetSyntaxResultPipe()->GetPipeName(), kRoot + "1a2cPYTHON0syntaxresult");
    EXPECT_EQ(trace.lines(),
              (std::vector<std::string>{"syntax:" + kRoot + "1a2cPYTHON0syntax",
                                        "syntaxresult:" + kRoot + "1a2cPYTHON0syntaxresult",
                                        "xdapi:" + kRoot + "1a2cPYTHON0xdapi",
                                        "xdapiresult:" + kRoot + "1a2cPYTHON0xdapiresult"}));
}

TEST(XPipeSuit, LevelsAreKeptReusedAndDropped) {
    XPipeManager manager("/tmp", "00ff");
    XPipeSuit* suit = manager.getPipeSuit("R");
    suit->increaseIndex();
    XPipes* level0 = suit->getXPipes();
    suit->increaseIndex();
    ASSERT_NE(suit->getXPipes(1), nullptr);
    suit->decreaseIndex();
    EXPECT_EQ(suit->getIndex(), 0);
    EXPECT_EQ(suit->getXPipes(1), nullptr);
    suit->increaseIndex();
    EXPECT_EQ(suit->getXPipes(1)->GetXDAPIPipe()->GetPipeName(), kRoot + "00ffR1xdapi");
    suit->decreaseIndex();
    suit->decreaseIndex();
    EXPECT_EQ(suit->getIndex(), -1);
    suit->decreaseIndex();  // no level entered: ignored
    EXPECT_EQ(suit->getIndex(), -1);
    suit->increaseIndex();
    EXPECT_EQ(suit->getXPipes(), level0);
}

TEST(XPipeSuit, LevelTenUsesTwoDigits) {
    XPipeManager manager("/tmp", "abcd");
    XPipeSuit* suit = manager.getPipeSuit("X");
    for (int i = 0; i <= 10; ++i) suit->increaseIndex();
    EXPECT_EQ(suit->getXPipes()->GetSyntaxPipe()->GetPipeName(), kRoot + "abcdX10syntax");
}

TEST(XPipeSuit, NameBytesThatCouldLeaveTheDirectoryAreReplaced) {
    XPipeManager manager("/tmp", "../1");
    XPipeSuit* suit = manager.getPipeSuit("a/../b c");
    EXPECT_EQ(suit->getPipeNamePrefix(), kRoot + "___1a____b_c");
}

TEST(XPipeManager, SuitsAreFoundByExactName) {
    XPipeManager manager("/tmp", "1a2c");
    XPipeSuit* python = manager.getPipeSuit("PYTHON");
    python->increaseIndex();
    EXPECT_EQ(manager.getPipeSuit("PYTHON"), python);
    EXPECT_NE(manager.getPipeSuit("python"), python);
    manager.removePipeSuit("UNKNOWN");
    EXPECT_EQ(manager.getPipeSuit("PYTHON"), python);
    manager.removePipeSuit("PYTHON");
    EXPECT_EQ(manager.getPipeSuit("PYTHON")->getIndex(), -1);
}
