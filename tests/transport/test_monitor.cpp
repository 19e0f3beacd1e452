// Heartbeat monitors on real pipes: a writer and a reader on one pipe name
// (in this process, or the writer in a peer process that is killed).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "platform/process.h"
#include "testsupport.h"
#include "transport/monitor.h"
#include "transport/xpipemanager.h"

namespace {

std::atomic<int> g_partnerLost{0};
void CountPartnerLost() { ++g_partnerLost; }
std::atomic<int> g_otherCallback{0};
void OtherCallback() { ++g_otherCallback; }

// Polls until the condition holds or the limit passes; the condition's
// last value.
bool WaitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) return condition();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

class MonitorTest : public ::testing::Test {
  protected:
    void SetUp() override {
        g_partnerLost = 0;
        g_otherCallback = 0;
    }
};

}  // namespace

TEST_F(MonitorTest, AReaderHearsItsWriterAndAnOrderlyStopEndsItWithoutTheCallback) {
    const std::string name = testsupport::UniquePipeName("mon");
    MonitorThread reader(name, MonitorThread::kReader);
    MonitorThread writer(name, MonitorThread::kWriter);
    EXPECT_FALSE(reader.isPartnerAlive());
    EXPECT_TRUE(writer.isPartnerAlive());
    EXPECT_TRUE(reader.isStopped());
    reader.setPartnerLostCallback(&CountPartnerLost);
    ASSERT_TRUE(reader.Start());
    ASSERT_TRUE(writer.Start());
    EXPECT_TRUE(WaitUntil([&] { return reader.isPartnerAlive(); }));

    // The writer says 3 as it goes; the reader ends on it by itself.
    writer.stop();
    EXPECT_FALSE(writer.HasThread());
    EXPECT_TRUE(WaitUntil([&] { return !reader.HasThread(); }));
    EXPECT_TRUE(reader.isStopped());
    EXPECT_FALSE(reader.isPartnerAlive());
    EXPECT_TRUE(reader.isNormalEnd());
    EXPECT_EQ(g_partnerLost.load(), 0);
}

TEST_F(MonitorTest, AReaderWhoseWriterProcessIsKilledCallsTheCallbackOnce) {
    const std::string name = testsupport::UniquePipeName("mon");
    MonitorThread reader(name, MonitorThread::kReader);
    reader.setPartnerLostCallback(&CountPartnerLost);
    ASSERT_TRUE(reader.Start());
    platform::ChildProcess writer;
    ASSERT_EQ(platform::ChildProcess::Spawn({testsupport::PeerPath("monitorwriter"), name}, writer),
              0);
    ASSERT_TRUE(WaitUntil([&] { return reader.isPartnerAlive(); }));

    writer.Kill();
    EXPECT_TRUE(WaitUntil([&] { return !reader.HasThread(); }));
    EXPECT_EQ(g_partnerLost.load(), 1);
    EXPECT_FALSE(reader.isNormalEnd());
    EXPECT_FALSE(reader.isPartnerAlive());
    // Stopping afterwards calls nothing again.
    reader.stop();
    EXPECT_EQ(g_partnerLost.load(), 1);
}

TEST_F(MonitorTest, AReaderWhoseWriterNeverCameStopsWhenAsked) {
    const std::string name = testsupport::UniquePipeName("mon");
    MonitorThread reader(name, MonitorThread::kReader);
    reader.setPartnerLostCallback(&CountPartnerLost);
    ASSERT_TRUE(reader.Start());
    // stop() waits a bounded time; the thread is gone when it returns.
    reader.stop();
    EXPECT_FALSE(reader.HasThread());
    EXPECT_TRUE(reader.isStopped());
    EXPECT_FALSE(reader.isPartnerAlive());
    EXPECT_EQ(g_partnerLost.load(), 0);
}

TEST_F(MonitorTest, AWriterWhoseReaderWentAwayEndsByItself) {
    const std::string name = testsupport::UniquePipeName("mon");
    auto reader = std::make_unique<MonitorThread>(name, MonitorThread::kReader);
    ASSERT_TRUE(reader->Start());
    MonitorThread writer(name, MonitorThread::kWriter);
    ASSERT_TRUE(writer.Start());
    ASSERT_TRUE(WaitUntil([&] { return reader->isPartnerAlive(); }));
    reader.reset();
    // The next beat finds the pipe broken.
    EXPECT_TRUE(WaitUntil([&] { return !writer.HasThread(); }));
    EXPECT_TRUE(writer.isStopped());
}

TEST_F(MonitorTest, TheSuitStartsEachMonitorOnceAndKeepsItAfterAStop) {
    XPipeManager manager("/tmp", "m" + std::to_string(platform::CurrentProcessId()));
    XPipeSuit* suit = manager.getPipeSuit("TESTLANG");
    EXPECT_EQ(suit->getMonitor(true), nullptr);
    EXPECT_EQ(suit->getMonitor(false), nullptr);

    MonitorThread* reader = suit->startMonitor(true, &CountPartnerLost);
    ASSERT_NE(reader, nullptr);
    EXPECT_TRUE(reader->HasThread());
    EXPECT_EQ(reader->monitorType(), MonitorThread::kReader);
    EXPECT_EQ(reader->pipeName(), suit->getPipeNamePrefix() + "P2C");
    EXPECT_EQ(suit->startMonitor(true, &OtherCallback), reader);
    EXPECT_EQ(suit->getMonitor(true), reader);

    MonitorThread* writer = suit->startMonitor(false, nullptr);
    ASSERT_NE(writer, nullptr);
    EXPECT_NE(writer, reader);
    EXPECT_EQ(writer->monitorType(), MonitorThread::kWriter);
    EXPECT_EQ(writer->pipeName(), suit->getPipeNamePrefix() + "C2P");
    EXPECT_EQ(suit->startMonitor(false, nullptr), writer);

    // A partner for the reader, so the second call's callback would show.
    MonitorThread partner(reader->pipeName(), MonitorThread::kWriter);
    ASSERT_TRUE(partner.Start());
    ASSERT_TRUE(WaitUntil([&] { return reader->isPartnerAlive(); }));

    EXPECT_EQ(suit->stopMonitor(false), 0);
    EXPECT_EQ(suit->stopMonitor(true), 0);
    EXPECT_FALSE(writer->HasThread());
    EXPECT_FALSE(reader->HasThread());
    EXPECT_EQ(suit->getMonitor(true), reader);
    EXPECT_EQ(suit->getMonitor(false), writer);
    partner.stop();
    EXPECT_EQ(g_partnerLost.load(), 0);
    EXPECT_EQ(g_otherCallback.load(), 0);
}
