// A round trip whose request and reply fit one piece allocates nothing once
// the thread's frame is warm: every malloc of the process is counted here.
// Sanitizers replace the allocator themselves, so under them the count is
// not taken and the test is skipped.
#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <string>
#include <vector>

#include "apitestsupport.h"
#include "vexaxd_p.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || \
    __has_feature(memory_sanitizer)
#define VEXA_SANITIZED_ALLOCATOR 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__) || \
    defined(VEXA_SANITIZED_ALLOCATOR)
#define VEXA_COUNT_MALLOC 0
#else
#define VEXA_COUNT_MALLOC 1
#endif

#if VEXA_COUNT_MALLOC
namespace {
std::atomic<long> g_allocations{0};
}  // namespace

extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* data, std::size_t size);

void* malloc(std::size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(size);
}
void* calloc(std::size_t count, std::size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(count, size);
}
void* realloc(void* data, std::size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(data, size);
}
}
#endif

namespace {

constexpr int kWarmCalls = 3;
constexpr int kCountedCalls = 50;

TEST(CallFrameAllocation, ASmallRoundTripAllocatesNothingOnceWarm) {
#if !VEXA_COUNT_MALLOC
    GTEST_SKIP() << "the sanitizer's allocator is not counted";
#else
    apitest::AttachAsRunning();
    // Each call: GetVariableCount, then SetActive with a text argument.
    std::vector<std::string> replies(2 * (kWarmCalls + kCountedCalls), "int=4");
    apitest::ScriptedEngine engine(replies);
    int err = -1;
    for (int call = 0; call < kWarmCalls; ++call) {
        ASSERT_EQ(GetVariableCount(&err), 4);
        ASSERT_EQ(SetActive("short"), 0);
    }
    const long before = g_allocations.load();
    int sum = 0, failures = 0;
    for (int call = 0; call < kCountedCalls; ++call) {
        sum += GetVariableCount(&err);
        failures += SetActive("short") != 0;
    }
    const long during = g_allocations.load() - before;
    EXPECT_EQ(sum, 4 * kCountedCalls);
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(during, 0) << "allocations in " << 2 * kCountedCalls << " round trips";
    ASSERT_EQ(engine.Finish(), 0);
#endif
}

}  // namespace
