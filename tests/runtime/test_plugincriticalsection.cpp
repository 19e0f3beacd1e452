#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/thread.h"
#include "runtime/plugincriticalsection.h"

TEST(PlugInCriticalSection, OwnerAcquiresTwiceAndTwoReleasesLeaveItFree) {
    PlugInCriticalSection crit;
    crit.Acquire();
    crit.Acquire();
    EXPECT_TRUE(crit.IsHeld());
    EXPECT_EQ(crit.OwnerThreadId(), platform::CurrentThreadId());
    EXPECT_EQ(crit.AcquisitionCount(), 2);
    crit.Release();
    EXPECT_EQ(crit.OwnerThreadId(), platform::CurrentThreadId());
    EXPECT_EQ(crit.AcquisitionCount(), 1);
    crit.Release();
    EXPECT_FALSE(crit.IsHeld());
    EXPECT_EQ(crit.OwnerThreadId(), 0u);
    EXPECT_EQ(crit.AcquisitionCount(), 0);
}

TEST(PlugInCriticalSection, OtherThreadWaitsUntilTheLastReleaseAndThenOwnsIt) {
    PlugInCriticalSection crit;
    crit.Acquire();
    crit.Acquire();
    std::atomic<bool> acquired{false};
    std::atomic<std::uint32_t> ownerSeen{0};
    std::thread other([&] {
        crit.Acquire();
        acquired = true;
        ownerSeen = crit.OwnerThreadId();
        crit.Release();
    });
    crit.Release();
    // One level is still held: the other thread must not get in.
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_FALSE(acquired);
    crit.Release();
    other.join();
    EXPECT_TRUE(acquired);
    EXPECT_NE(ownerSeen.load(), 0u);
    EXPECT_NE(ownerSeen.load(), platform::CurrentThreadId());
    EXPECT_EQ(crit.AcquisitionCount(), 0);
}

TEST(PlugInCriticalSection, ReleaseByANonOwnerChangesNothing) {
    PlugInCriticalSection crit;
    crit.Release();
    EXPECT_EQ(crit.AcquisitionCount(), 0);
    crit.Acquire();
    std::thread([&] { crit.Release(); }).join();
    EXPECT_EQ(crit.AcquisitionCount(), 1);
    EXPECT_EQ(crit.OwnerThreadId(), platform::CurrentThreadId());
    crit.Release();
    EXPECT_FALSE(crit.IsHeld());
}

TEST(PlugInCriticalSection, GuardReleasesOnScopeExitAndANullGuardIsHarmless) {
    PlugInCriticalSection crit;
    {
        PlugInCriticalSection::Lock outer(&crit);
        PlugInCriticalSection::Lock inner(&crit);
        EXPECT_EQ(crit.AcquisitionCount(), 2);
        PlugInCriticalSection::Lock none(nullptr);
    }
    EXPECT_EQ(crit.AcquisitionCount(), 0);
    EXPECT_FALSE(crit.IsHeld());
}

TEST(PlugInCriticalSection, DestroyingAHeldLockReleasesIt) {
    auto* crit = new PlugInCriticalSection;
    crit->Acquire();
    crit->Acquire();
    delete crit;  // the sanitizers report a destroyed locked mutex
}

TEST(PlugInCriticalSectionExt, TryAcquireSucceedsForFreeLockAndOwnerButFailsForOthers) {
    PlugInCriticalSectionExt crit;
    ASSERT_TRUE(crit.TryAcquire());
    EXPECT_TRUE(crit.TryAcquire());
    EXPECT_EQ(crit.AcquisitionCount(), 2);
    bool otherGotIt = true;
    std::thread([&] { otherGotIt = crit.TryAcquire(); }).join();
    EXPECT_FALSE(otherGotIt);
    EXPECT_EQ(crit.AcquisitionCount(), 2);
    crit.Release();
    crit.Release();
    std::thread([&] {
        otherGotIt = crit.TryAcquire();
        if (otherGotIt) crit.Release();
    }).join();
    EXPECT_TRUE(otherGotIt);
    EXPECT_EQ(crit.AcquisitionCount(), 0);
}

TEST(PlugInCriticalSectionExt, AcquireThroughTheBaseInterfaceExcludesTryAcquire) {
    PlugInCriticalSectionExt ext;
    PlugInCriticalSection& crit = ext;
    crit.Acquire();
    bool otherGotIt = true;
    std::thread([&] { otherGotIt = ext.TryAcquire(); }).join();
    EXPECT_FALSE(otherGotIt);
    crit.Release();
}
