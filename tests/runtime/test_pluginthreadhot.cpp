#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <stdexcept>
#include <thread>

#include "runtime/pluginsynchevent.h"
#include "runtime/pluginthreadhot.h"

namespace {

// Runs until the test opens the gate; the events belong to the test, so they
// outlive the object.
class GatedThread : public PlugInThreadHot {
  public:
    GatedThread(PlugInSynchEvent& gate, PlugInSynchEvent& started, std::uint32_t value = 0)
        : m_gate(gate), m_started(started), m_value(value) {}
    ~GatedThread() override { WaitForStop(); }

  protected:
    std::uint32_t Run() override {
        PlugInSynchEvent& gate = m_gate;
        std::uint32_t value = m_value;
        m_started.Signal();
        gate.WaitForSignal();
        return value;
    }

  private:
    PlugInSynchEvent& m_gate;
    PlugInSynchEvent& m_started;
    std::uint32_t m_value;
};

class ValueThread : public PlugInThreadHot {
  public:
    explicit ValueThread(std::uint32_t value) : m_value(value) {}
    ~ValueThread() override { WaitForStop(); }
    std::thread::id runOn() const { return m_runOn; }

  protected:
    std::uint32_t Run() override {
        m_runOn = std::this_thread::get_id();
        return m_value;
    }

  private:
    std::uint32_t m_value;
    std::thread::id m_runOn;
};

class SelfDeletingThread : public PlugInThreadHot {
  public:
    SelfDeletingThread(PlugInSynchEvent& gate, PlugInSynchEvent& destroyed)
        : m_gate(gate), m_destroyed(destroyed) {}
    ~SelfDeletingThread() override { m_destroyed.Signal(); }

  protected:
    std::uint32_t Run() override {
        m_gate.WaitForSignal();
        return 1;
    }

  private:
    PlugInSynchEvent& m_gate;
    PlugInSynchEvent& m_destroyed;
};

class ThrowingThread : public PlugInThreadHot {
  public:
    ~ThrowingThread() override { WaitForStop(); }

  protected:
    std::uint32_t Run() override { throw std::runtime_error("run failed"); }
};

}  // namespace

TEST(PlugInThreadHot, StartedThreadRunsRunAndKeepsItsResult) {
    ValueThread thread(42);
    ASSERT_TRUE(thread.Start(0));
    EXPECT_TRUE(thread.WaitForStop(5000));
    EXPECT_FALSE(thread.HasThread());
    EXPECT_EQ(thread.GetReturnValue(), 42u);
    EXPECT_NE(thread.runOn(), std::this_thread::get_id());
}

TEST(PlugInThreadHot, NeverStartedObjectHasStoppedAtOnce) {
    PlugInThreadHot thread;
    EXPECT_FALSE(thread.HasThread());
    EXPECT_TRUE(thread.WaitForStop());
    EXPECT_TRUE(thread.WaitForStop(0));
    EXPECT_EQ(thread.GetReturnValue(), 0u);
}

TEST(PlugInThreadHot, StartWhileRunningFailsAndARestartAfterTheEndSucceeds) {
    PlugInSynchEvent gate(true, false), started(false, false);
    GatedThread thread(gate, started, 5);
    ASSERT_TRUE(thread.Start(0));
    ASSERT_TRUE(started.WaitForSignal(5000));
    EXPECT_FALSE(thread.Start(0));
    EXPECT_FALSE(thread.WaitForStop(10));
    EXPECT_TRUE(thread.HasThread());
    gate.Signal();
    ASSERT_TRUE(thread.WaitForStop(5000));
    EXPECT_EQ(thread.GetReturnValue(), 5u);
    EXPECT_TRUE(thread.Start(0));
    EXPECT_TRUE(thread.WaitForStop(5000));
}

TEST(PlugInThreadHot, SuspendResumeAndTerminateRefuseAndLeaveTheThreadRunning) {
    PlugInSynchEvent gate(true, false), started(false, false);
    GatedThread thread(gate, started, 9);
    ASSERT_TRUE(thread.Start(0));
    ASSERT_TRUE(started.WaitForSignal(5000));
    EXPECT_FALSE(thread.Suspend());
    EXPECT_FALSE(thread.Resume());
    EXPECT_FALSE(thread.Terminate());
    EXPECT_TRUE(thread.HasThread());
    gate.Signal();
    EXPECT_TRUE(thread.WaitForStop(5000));
    EXPECT_EQ(thread.GetReturnValue(), 9u);
}

TEST(PlugInThreadHot, ObjectDestroyedWhileItsThreadRunsLeavesTheThreadToFinishAlone) {
    PlugInSynchEvent gate(true, false), started(false, false), finished(true, false);
    class Lingering : public PlugInThreadHot {
      public:
        Lingering(PlugInSynchEvent& gate, PlugInSynchEvent& started, PlugInSynchEvent& finished)
            : m_gate(gate), m_started(started), m_finished(finished) {}

      protected:
        std::uint32_t Run() override {
            // Only the test's events are touched once the object may be gone.
            PlugInSynchEvent& gate = m_gate;
            PlugInSynchEvent& finished = m_finished;
            m_started.Signal();
            gate.WaitForSignal();
            finished.Signal();
            return 0;
        }

      private:
        PlugInSynchEvent& m_gate;
        PlugInSynchEvent& m_started;
        PlugInSynchEvent& m_finished;
    };
    auto* thread = new Lingering(gate, started, finished);
    ASSERT_TRUE(thread->Start(0));
    ASSERT_TRUE(started.WaitForSignal(5000));
    delete thread;  // waits 3000 ms, then detaches
    gate.Signal();
    EXPECT_TRUE(finished.WaitForSignal(5000));
}

TEST(PlugInThreadHot, AutoDeleteObjectDestroysItselfAfterRun) {
    PlugInSynchEvent gate(true, false), destroyed(true, false);
    auto* thread = new SelfDeletingThread(gate, destroyed);
    thread->SetAutoDelete(true);
    EXPECT_TRUE(thread->IsAutoDelete());
    ASSERT_TRUE(thread->Start(0));
    EXPECT_FALSE(destroyed.WaitForSignal(0));
    gate.Signal();
    EXPECT_TRUE(destroyed.WaitForSignal(5000));
}

TEST(PlugInThreadHot, WaitForMultipleThreadsWaitsForAllThatRun) {
    PlugInSynchEvent gate(true, false), firstStarted(false, false), secondStarted(false, false);
    GatedThread first(gate, firstStarted), second(gate, secondStarted);
    PlugInThreadHot idle;
    PlugInThreadHot* all[] = {&first, nullptr, &idle, &second};
    EXPECT_TRUE(PlugInThreadHot::WaitForMultipleThreads(all, 4, 0)) << "none is running";
    ASSERT_TRUE(first.Start(0));
    ASSERT_TRUE(second.Start(0));
    ASSERT_TRUE(firstStarted.WaitForSignal(5000));
    ASSERT_TRUE(secondStarted.WaitForSignal(5000));
    EXPECT_FALSE(PlugInThreadHot::WaitForMultipleThreads(all, 4, 20));
    EXPECT_FALSE(PlugInThreadHot::WaitForMultipleThreads(all, 0));
    EXPECT_FALSE(PlugInThreadHot::WaitForMultipleThreads(nullptr, 4));
    gate.Signal();
    EXPECT_TRUE(PlugInThreadHot::WaitForMultipleThreads(all, 4));
    EXPECT_FALSE(first.HasThread());
    EXPECT_FALSE(second.HasThread());
}

TEST(PlugInThreadHot, AttachedThreadRunsEntryItselfAndCannotBeStartedMeanwhile) {
    ValueThread thread(3);
    ASSERT_TRUE(thread.Attach());
    EXPECT_TRUE(thread.HasThread());
    EXPECT_FALSE(thread.Attach());
    EXPECT_FALSE(thread.Start(0));
    // The calling thread is the attached one: waiting on itself must not block.
    EXPECT_FALSE(thread.WaitForStop(60000));
    EXPECT_EQ(thread.Entry(), 3u);
    EXPECT_EQ(thread.runOn(), std::this_thread::get_id());
    EXPECT_FALSE(thread.HasThread());
    EXPECT_TRUE(thread.WaitForStop(0));
}

TEST(PlugInThreadHot, AnotherThreadWaitsForTheAttachedThreadToFinishEntry) {
    PlugInSynchEvent gate(true, false), started(false, false);
    GatedThread thread(gate, started, 8);
    std::atomic<bool> attached{false};
    std::thread runner([&] {
        attached = thread.Attach();
        thread.Entry();
    });
    ASSERT_TRUE(started.WaitForSignal(5000));
    EXPECT_TRUE(attached);
    EXPECT_FALSE(thread.WaitForStop(10));
    gate.Signal();
    EXPECT_TRUE(thread.WaitForStop(5000));
    EXPECT_EQ(thread.GetReturnValue(), 8u);
    runner.join();
}

TEST(PlugInThreadHot, RunThatThrowsEndsTheThreadWithMinusOne) {
    ThrowingThread thread;
    ASSERT_TRUE(thread.Start(0));
    EXPECT_TRUE(thread.WaitForStop(5000));
    EXPECT_EQ(thread.GetReturnValue(), 0xFFFFFFFFu);
}
