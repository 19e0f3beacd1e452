// Drivers and the host registry with fake hosts that record what reaches
// them, and the registry's factories against a configuration of this test.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "hosting/drivex.h"
#include "hosting/dxstartup.h"
#include "hosting/statisticsx.h"
#include "hosting/xmanager.h"
#include "runtime/dxglobal.h"
#include "runtime/statuscodes.h"
#include "runtime/syncsyntaxslot.h"
#include "runtime/xconfigoptions.h"
#include "testsupport.h"
#include "transport/xpipemanager.h"

namespace {

// Records every language step, the start's arguments and the thread of
// each text run; pre_action answers `preStatus`.
class RecordingHost : public StatisticsX {
  public:
    RecordingHost() : StatisticsX(true) {}
    ~RecordingHost() override { StopOnDestroy(); }

    int preStatus = 0;
    std::vector<std::string> calls;
    std::vector<std::string> arguments;
    std::vector<std::thread::id> textThreads;

  protected:
    int x_init_embedded_x(int argc, char** argv) override {
        Note("init");
        arguments.clear();
        for (int i = 0; i < argc; ++i) arguments.emplace_back(argv[i]);
        return 0;
    }
    int x_execute_x(const char* text) override {
        Note(std::string("execute:") + text);
        textThreads.push_back(std::this_thread::get_id());
        return static_cast<int>(std::string(text).size());
    }
    int x_stop_embedded_x() override { return Note("stop"); }
    int x_pre_action() override {
        Note("pre");
        return preStatus;
    }
    int x_post_action() override { return Note("post"); }

  private:
    int Note(const std::string& call) {
        std::lock_guard<std::mutex> guard(m_lock);
        calls.push_back(call);
        return 0;
    }
    std::mutex m_lock;
};

// The sync-syntax slot stays stopped once stopped, and the configuration is
// read once: each case runs in a process of its own (as the discovery runs them).
const std::string& EngineHome() { return testsupport::ConfiguredEngineHome(); }

// The process-wide state for one test, torn down afterwards.
class GlobalState : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(InitDxGlobal("/tmp/", std::string("r").append(std::to_string(::getpid())),
                               "TESTLANG", EngineHome()),
                  0);
    }
    void TearDown() override { FinalizeDXGlobal(); }
};

std::vector<std::string> InitArguments(const std::string& language, const std::string* args) {
    RecordingHost host;
    XConfigOptions options(language);
    if (args) options.PutOption(XConfigOptions::KEY_ARGS, *args);
    DriveX driver(language, &host, &options);
    EXPECT_EQ(driver.initializeX(), 0);
    EXPECT_TRUE(host.isIntialized());
    // A started host is not started again.
    EXPECT_EQ(driver.initializeX(), 0);
    EXPECT_EQ(std::count(host.calls.begin(), host.calls.end(), "init"), 1);
    return host.arguments;
}

}  // namespace

TEST(DriveX, TheStartArgumentsDependOnTheLanguageUnlessArgsIsSet) {
    using Args = std::vector<std::string>;
    EXPECT_EQ(InitArguments("R", nullptr), (Args{"--silent", "--no-save"}));
    EXPECT_EQ(InitArguments("JAVAEXTENSION", nullptr), (Args{"JavaExtension"}));
    EXPECT_EQ(InitArguments("TESTLANG", nullptr), Args{});
    const std::string args = "-a b -c";
    EXPECT_EQ(InitArguments("R", &args), (Args{"-a", "b", "-c"}));
    EXPECT_EQ(InitArguments("TESTLANG", &args), (Args{"-a", "b", "-c"}));
    const std::string empty;
    EXPECT_EQ(InitArguments("R", &empty), (Args{"--silent", "--no-save"}));
}

TEST(DriveX, ABlockRunsPreTextPostAndAPythonPreActionOfOneSkipsIt) {
    const std::vector<std::string> lines = {"first", "", "third"};
    {
        RecordingHost host;
        XConfigOptions options("PYTHON");
        DriveX driver("PYTHON", &host, &options);
        driver.setSyntax(&lines);
        // invokeX starts the host first.
        EXPECT_EQ(driver.invokeX(), static_cast<int>(std::string("first\n\nthird\n").size()));
        EXPECT_EQ(host.calls,
                  (std::vector<std::string>{"init", "pre", "execute:first\n\nthird\n", "post"}));

        host.calls.clear();
        host.preStatus = 1;
        EXPECT_EQ(driver.runX(), VEXA_BLOCK_SKIPPED);
        EXPECT_EQ(host.calls, std::vector<std::string>{"pre"});
    }
    {
        // Another language's pre action of 1 is a plain failure.
        RecordingHost host;
        XConfigOptions options("R");
        DriveX driver("R", &host, &options);
        host.setIntialized(true);
        host.preStatus = 1;
        driver.setSyntax(&lines);
        EXPECT_EQ(driver.runX(), 1);
        EXPECT_EQ(host.calls, std::vector<std::string>{"pre"});
    }
}

TEST(DriveX, TheDriverThreadRunsTheBlockAndKeepsItsResult) {
    RecordingHost host;
    host.setIntialized(true);
    XConfigOptions options("TESTLANG");
    const std::vector<std::string> lines = {"abc"};
    std::thread::id textThread;
    {
        DriveX driver("TESTLANG", &host, &options);
        driver.setSyntax(&lines);
        EXPECT_EQ(driver.getReturnValue(), 0u);
        ASSERT_EQ(driver.startX(), 0);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (driver.getReturnValue() == 0 && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        EXPECT_EQ(driver.getReturnValue(), 4u);  // "abc\n"
        ASSERT_EQ(host.textThreads.size(), 1u);
        textThread = host.textThreads[0];
    }
    EXPECT_NE(textThread, std::this_thread::get_id());
    EXPECT_EQ(host.calls, (std::vector<std::string>{"pre", "execute:abc\n", "post"}));
}

TEST(CmdVexaDX, BlocksHandedToTheSlotRunOnTheCallingThreadUntilTheSlotStops) {
    RecordingHost host;
    host.setIntialized(true);
    XConfigOptions options("TESTLANG");
    CmdVexaDX driver("TESTLANG", &host, &options);
    std::thread::id hostThread;
    std::future<int> loop = std::async(std::launch::async, [&] {
        hostThread = std::this_thread::get_id();
        return driver.invokeX();
    });
    EXPECT_EQ(GRunSyncSyntax({"one", "two"}), 8);
    EXPECT_EQ(GRunSyncSyntax({"x"}), 2);
    EXPECT_EQ(GStopSyncSyntax(), 0);
    EXPECT_EQ(loop.get(), 2);  // the last block's status
    ASSERT_EQ(host.textThreads.size(), 2u);
    EXPECT_EQ(host.textThreads[0], hostThread);
    EXPECT_EQ(host.textThreads[1], hostThread);
    EXPECT_NE(hostThread, std::this_thread::get_id());
    EXPECT_EQ(host.calls, (std::vector<std::string>{"pre", "execute:one\ntwo\n", "post", "pre",
                                                    "execute:x\n", "post"}));
}

TEST(XManager, TheFactoriesRefuseBeforeStartUp) {
    EXPECT_EQ(CreateLanguageX("TESTLANG", false), VEXA_NOT_INITIALISED);
    EXPECT_EQ(CreateCmdVexaDX("TESTLANG", false), nullptr);
}

TEST_F(GlobalState, NestedDriversOfALanguageShareOneHostEachOneLevelDeeper) {
    XManager* registry = GetXManager();
    XPipeSuit* suit = GetXPipeManager()->getPipeSuit("TESTLANG");
    ASSERT_EQ(CreateLanguageX("TESTLANG", false), 0);
    DriveX* outer = registry->getBackVexaDX();
    ASSERT_NE(outer, nullptr);
    ASSERT_EQ(CreateLanguageX("TESTLANG", false), 0);
    DriveX* inner = registry->getBackVexaDX();
    ASSERT_NE(inner, outer);
    EXPECT_EQ(registry->driverCount(), 2);
    EXPECT_EQ(outer->host(), inner->host());
    EXPECT_EQ(registry->getStatisticsX("TESTLANG"), outer->host());
    EXPECT_EQ(outer->getIndex(), 0);
    EXPECT_EQ(inner->getIndex(), 1);
    EXPECT_EQ(suit->getIndex(), 1);

    // Only the newest goes.
    registry->destoryVexaDX(outer);
    EXPECT_EQ(registry->driverCount(), 2);
    EXPECT_EQ(suit->getIndex(), 1);
    registry->destoryVexaDX(inner);
    EXPECT_EQ(registry->driverCount(), 1);
    EXPECT_EQ(registry->getBackVexaDX(), outer);
    EXPECT_EQ(suit->getIndex(), 0);
    registry->destoryVexaDX(outer);
    EXPECT_EQ(registry->driverCount(), 0);
    EXPECT_EQ(suit->getIndex(), -1);
}

TEST_F(GlobalState, ALanguageTheConfigurationDoesNotNameGetsNothing) {
    testsupport::TraceCapture trace;
    EXPECT_EQ(CreateLanguageX("NOSUCH", false), VEXA_UNSUPPORTED_LANGUAGE);
    EXPECT_EQ(CreateCmdVexaDX("NOSUCH", false), nullptr);
    EXPECT_EQ(GetXManager()->driverCount(), 0);
    EXPECT_EQ(GetXManager()->getStatisticsX("NOSUCH"), nullptr);
    EXPECT_EQ(GetXPipeManager()->getPipeSuit("NOSUCH")->getIndex(), -1);
    const std::vector<std::string> lines = trace.lines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Unsupported external language:NOSUCH"), 2);

    // The command driver is the caller's: nothing is registered.
    std::unique_ptr<CmdVexaDX> driver = CreateCmdVexaDX("TESTLANG", false);
    ASSERT_NE(driver, nullptr);
    EXPECT_EQ(GetXManager()->driverCount(), 0);
    EXPECT_EQ(driver->host(), GetXManager()->getStatisticsX("TESTLANG"));
}

namespace {

// A driver whose running flag the test sets, as the language side's run does.
class FlaggedDriver : public DriveX {
  public:
    using DriveX::DriveX;
    using DriveX::setRunning;
};

}  // namespace

// kExitDxRun waits for the driver's end on an event: a stopped driver is
// passed at once, a running one only once its flag is cleared.
TEST(DriveX, AwaitingTheStopReturnsOnlyOnceTheRunningFlagIsClear) {
    RecordingHost host;
    XConfigOptions options("TESTLANG");
    FlaggedDriver driver("TESTLANG", &host, &options);
    driver.awaitStopped();
    EXPECT_TRUE(driver.isStopped());
    for (int round = 0; round < 3; ++round) {
        driver.setRunning(true);
        std::atomic<bool> cleared{false};
        std::thread ender([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            cleared = true;
            driver.setRunning(false);
        });
        driver.awaitStopped();
        EXPECT_TRUE(cleared.load());
        EXPECT_TRUE(driver.isStopped());
        ender.join();
    }
}

namespace {

// A host whose text runs until the test lets it go.
class HeldHost : public RecordingHost {
  public:
    std::promise<void> release;

  protected:
    int x_execute_x(const char*) override {
        m_released.wait();
        return 0;
    }

  private:
    std::shared_future<void> m_released{release.get_future().share()};
};

}  // namespace

// A block that never returns must not hang the shutdown, nor be destroyed
// under its thread: the registry gives up after its limit, leaves the
// driver, the host and the pipes alive, and the thread finishes on them
// (a use after free would show under the sanitizers).
TEST_F(GlobalState, ShutdownGivesUpOnABlockThatDoesNotReturnAndLeavesWhatItUses) {
    XManager* registry = GetXManager();
    auto* host = new HeldHost;
    registry->addStatisticsX("TESTLANG", host);
    XConfigOptions options("TESTLANG");
    auto* driver = new DriveX("TESTLANG", host, &options);
    registry->addVexaDX(driver);
    const std::vector<std::string> lines{"held"};
    driver->setSyntax(&lines);
    ASSERT_EQ(driver->initializeX(), 0);
    XPipeSuit* suit = GetXPipeManager()->getPipeSuit("TESTLANG");
    ASSERT_EQ(driver->startX(), 0);

    EXPECT_FALSE(hosting::FinalizeDXGlobalWithin(50));
    EXPECT_EQ(GetXManager(), nullptr);
    EXPECT_EQ(GetXPipeManager(), nullptr);
    // Left alive: the level the driver works on is still there.
    EXPECT_EQ(suit->getIndex(), 0);

    host->release.set_value();
    EXPECT_TRUE(driver->awaitThreadEnd(600000));
    EXPECT_EQ(driver->getReturnValue(), 0u);
    EXPECT_EQ(host->calls, (std::vector<std::string>{"init", "pre", "post"}));
}

// Threads that end in time are waited for and everything is released.
TEST_F(GlobalState, ShutdownWaitsForABlockThatReturnsInTime) {
    auto* host = new RecordingHost;
    GetXManager()->addStatisticsX("TESTLANG", host);
    XConfigOptions options("TESTLANG");
    auto* driver = new DriveX("TESTLANG", host, &options);
    GetXManager()->addVexaDX(driver);
    const std::vector<std::string> lines{"quick"};
    driver->setSyntax(&lines);
    ASSERT_EQ(driver->initializeX(), 0);
    ASSERT_EQ(driver->startX(), 0);
    EXPECT_TRUE(GetXManager()->cleanup(600000));
    EXPECT_FALSE(GetXManager()->leftBehind());
    EXPECT_EQ(GetXManager()->getBackVexaDX(), nullptr);
    EXPECT_EQ(GetXManager()->getStatisticsX("TESTLANG"), nullptr);
}
