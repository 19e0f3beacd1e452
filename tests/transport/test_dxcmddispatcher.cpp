// The command channel between an engine side and a language side in one
// process: the language side serves on a thread of its own, through the
// real visitor where the rule is the visitor's.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "codec/clexdsmb.h"
#include "hosting/drivex.h"
#include "hosting/dxstartup.h"
#include "hosting/startxdispatchervisitor.h"
#include "hosting/statisticsx.h"
#include "hosting/xmanager.h"
#include "runtime/dxglobal.h"
#include "runtime/statuscodes.h"
#include "runtime/syncsyntaxslot.h"
#include "runtime/xconfigoptions.h"
#include "testsupport.h"
#include "transport/dxcmddispatcher.h"

namespace {

// Serves the channel's server role with the visitor until the loop ends.
class LanguageSide {
  public:
    LanguageSide(const std::string& base, DXCmdDispatcherVisitor& visitor)
        : m_dispatcher(base, true) {
        m_result = std::async(std::launch::async, [this, &visitor] {
            if (int error = m_dispatcher.connectPeer()) return error;
            return m_dispatcher.receiveCmd(&visitor);
        });
    }
    int Result() { return m_result.get(); }

  private:
    DXCmdDispatcher m_dispatcher;
    std::future<int> m_result;
};

// Records the keys and arguments the base visitor hands on.
class RecordingVisitor : public DXCmdDispatcherVisitor {
  public:
    int cmdDispatcher(std::int32_t key, const std::vector<std::string>& arguments) override {
        keys.push_back(key);
        argumentLists.push_back(arguments);
        return key == protocol::kStopDX ? 5 : 0;
    }
    std::vector<std::int32_t> keys;
    std::vector<std::vector<std::string>> argumentLists;
};

class FakeHost : public StatisticsX {
  public:
    FakeHost() : StatisticsX(false) {}
    ~FakeHost() override { StopOnDestroy(); }

  protected:
    int x_init_embedded_x(int, char**) override { return 0; }
    int x_execute_x(const char*) override { return 0; }
    int x_stop_embedded_x() override { return 0; }
    int x_pre_action() override { return 0; }
    int x_post_action() override { return 0; }
};

// A language-process driver that only counts its starts.
class CountingDriver : public VexaDX_P {
  public:
    CountingDriver(const std::string& name, StatisticsX* host, XConfigOptions* options,
                   std::atomic<int>& runs)
        : VexaDX_P(name, host, options), m_runs(runs) {}
    int runX() override {
        ++m_runs;
        return 0;
    }

  private:
    std::atomic<int>& m_runs;
};

const std::string& EngineHome() { return testsupport::ConfiguredEngineHome(); }

std::string PidText() { return std::string("d").append(std::to_string(::getpid())); }

}  // namespace

TEST(DXCmdDispatcher, KeysAreAnsweredByTheVisitorAndOnlyStopEndsTheLoop) {
    testsupport::TraceCapture trace;
    const std::string base = testsupport::UniquePipeName("cmd");
    DXCmdDispatcher engine(base, false);
    EXPECT_FALSE(engine.isServer());
    StartXDispatcherVisitor visitor("TESTLANG", false);
    LanguageSide language(base, visitor);
    ASSERT_EQ(engine.connectPeer(), 0);

    EXPECT_EQ(engine.sendCmd(protocol::kTestCmdst), 0);
    EXPECT_EQ(engine.sendCmd(0), 0);  // the same as kTestCmdst
    EXPECT_EQ(engine.sendCmd(0x4458C0AA), VEXA_UNKNOWN_COMMAND_KEY);
    EXPECT_EQ(engine.sendCmd(-7, {"an", "argument"}), VEXA_UNKNOWN_COMMAND_KEY);
    // No driver registered (and no registry): nothing to wait for.
    EXPECT_EQ(engine.sendCmd(protocol::kExitDxRun), 0);
    EXPECT_EQ(engine.sendCmd(protocol::kTestCmdst), 0);  // the loop went on
    EXPECT_EQ(engine.sendCmd(protocol::kStopDX), 0);
    EXPECT_EQ(language.Result(), 0);

    const std::vector<std::string> lines = trace.lines();
    auto count = [&lines](const std::string& text) {
        return std::count(lines.begin(), lines.end(), text);
    };
    EXPECT_EQ(count("cmd NO: 1146667263"), 2);
    EXPECT_EQ(count("cmd NO: 0"), 1);
    EXPECT_EQ(count("cmd NO: -7"), 1);
    EXPECT_EQ(count("cmd NO: 1146667010"), 1);
    EXPECT_EQ(count("cmd return: 99119"), 2);
    EXPECT_EQ(count("StartXDispatcherVisitor kTestCmdst"), 3);
    EXPECT_EQ(count("kStopDX"), 1);
}

TEST(DXCmdDispatcher, ARequestWithoutExactlyOneLongIsAnsweredZeroAndArgumentsTravelInOrder) {
    const std::string base = testsupport::UniquePipeName("cmd");
    AsyCsPipe1 engine(base, false);
    RecordingVisitor visitor;
    LanguageSide language(base, visitor);
    ASSERT_EQ(engine.connectServer(), 0);

    CleXDSmb none;
    none.SetString("no key");
    CleXDSmb noneReply;
    EXPECT_EQ(engine.send(none, noneReply), 0);
    CleXDSmb two;
    two.SetLong(protocol::kStopDX);
    two.SetLong(protocol::kStopDX);
    CleXDSmb twoReply;
    EXPECT_EQ(engine.send(two, twoReply), 0);
    EXPECT_EQ(twoReply.GetCommandAction(), -1);
    EXPECT_TRUE(visitor.keys.empty());  // neither reached the dispatch

    CleXDSmb withArguments;
    withArguments.SetLong(0x1234);
    withArguments.SetString("first");
    withArguments.SetString("");
    withArguments.SetString("third");
    CleXDSmb reply;
    EXPECT_EQ(engine.send(withArguments, reply), 0);

    // The visitor's own status for kStopDX is not the answer.
    CleXDSmb stop;
    stop.SetLong(protocol::kStopDX);
    CleXDSmb stopReply;
    stopReply.SetErrorCode(77);
    EXPECT_EQ(engine.send(stop, stopReply), 0);
    EXPECT_EQ(language.Result(), 0);
    EXPECT_EQ(visitor.keys, (std::vector<std::int32_t>{0x1234, protocol::kStopDX}));
    EXPECT_EQ(visitor.argumentLists[0], (std::vector<std::string>{"first", "", "third"}));
}

TEST(DXCmdDispatcher, StopIsAnsweredZeroAlsoWhenTheSyncSlotsStopGivesAnotherStatus) {
    testsupport::TraceCapture trace;
    GSetUseSyncDx(true);
    // The host program's thread, which answers the slot's stop with 7.
    std::thread hostThread([] {
        runtime::SyncSyntaxSlot& slot = runtime::SyncSyntaxSlot::Instance();
        std::vector<std::string> lines;
        while (slot.WaitForRequest(lines)) slot.Complete(0);
        slot.Complete(7);
    });
    const std::string base = testsupport::UniquePipeName("cmd");
    DXCmdDispatcher engine(base, false);
    StartXDispatcherVisitor visitor("TESTLANG", false);
    LanguageSide language(base, visitor);
    ASSERT_EQ(engine.connectPeer(), 0);
    EXPECT_EQ(engine.sendCmd(protocol::kStopDX), 0);
    EXPECT_EQ(language.Result(), 0);
    hostThread.join();
    GSetUseSyncDx(false);
    const std::vector<std::string> lines = trace.lines();
    EXPECT_NE(
        std::find(lines.begin(), lines.end(), "StartXDispatcherVisitor result  error code : 7."),
        lines.end());
}

// kSetupDXRun for a language the factory refuses: the refusal is the answer,
// and the driver of an outer block is not started again.
TEST(DXCmdDispatcher, ARefusedSetupAnswersTheRefusalAndStartsNoDriver) {
    std::atomic<int> runs{0};
    FakeHost host;
    XConfigOptions options("NOSUCH");
    const std::string base = testsupport::UniquePipeName("cmd");
    DXCmdDispatcher engine(base, false);
    StartXDispatcherVisitor visitor("NOSUCH", false);
    LanguageSide language(base, visitor);
    ASSERT_EQ(engine.connectPeer(), 0);

    // Before the global start-up, with a registry that holds a driver.
    SetXManager(new XManager);
    GetXManager()->addVexaDX(new CountingDriver("NOSUCH", &host, &options, runs));
    EXPECT_EQ(engine.sendCmd(protocol::kSetupDXRun), VEXA_NOT_INITIALISED);
    EXPECT_EQ(GetXManager()->driverCount(), 1);
    SetXManager(nullptr);

    // After it: the language is not in the configuration.
    ASSERT_EQ(InitDxGlobal("/tmp/", PidText(), "TESTLANG", EngineHome()), 0);
    auto* outer = new CountingDriver("NOSUCH", &host, &options, runs);
    GetXManager()->addVexaDX(outer);
    EXPECT_EQ(engine.sendCmd(protocol::kSetupDXRun), VEXA_UNSUPPORTED_LANGUAGE);
    EXPECT_EQ(GetXManager()->driverCount(), 1);
    EXPECT_EQ(GetXManager()->getBackVexaDX(), outer);
    EXPECT_EQ(engine.sendCmd(protocol::kStopDX), 0);
    EXPECT_EQ(language.Result(), 0);
    EXPECT_EQ(runs.load(), 0);
    FinalizeDXGlobal();
}

// A language side alive but silent: a bounded request ends with ETIMEDOUT
// instead of waiting for ever; one answered in time keeps its status.
TEST(DXCmdDispatcher, ABoundedRequestToASilentSideEndsWithTimedOut) {
    class SilentOnStop : public DXCmdDispatcherVisitor {
      public:
        int cmdDispatcher(std::int32_t key, const std::vector<std::string>&) override {
            if (key == protocol::kStopDX) released.get_future().wait();
            return 0;
        }
        std::promise<void> released;
    };
    const std::string base = testsupport::UniquePipeName("cmd");
    DXCmdDispatcher engine(base, false);
    SilentOnStop visitor;
    LanguageSide language(base, visitor);
    ASSERT_EQ(engine.connectPeer(), 0);
    EXPECT_EQ(engine.sendCmd(protocol::kTestCmdst, {}, 5000), 0);
    EXPECT_EQ(engine.sendCmd(protocol::kStopDX, {}, 100), ETIMEDOUT);
    visitor.released.set_value();
    EXPECT_EQ(language.Result(), 0);
}
