#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hosting/statisticsx.h"
#include "runtime/statuscodes.h"
#include "testsupport.h"

namespace {

// A language whose start fails while `failStart` is set.
class FakeHost : public StatisticsX {
  public:
    using StatisticsX::StatisticsX;
    ~FakeHost() override { StopOnDestroy(); }

    bool failStart = false;
    std::vector<std::string>* calls = nullptr;

  protected:
    int x_init_embedded_x(int, char**) override { return Note("init", failStart ? 42 : 0); }
    int x_execute_x(const char*) override { return Note("execute", isRunning() ? 0 : -1); }
    int x_stop_embedded_x() override { return Note("stop", 0); }
    int x_pre_action() override { return Note("pre", 0); }
    int x_post_action() override { return Note("post", 0); }

  private:
    int Note(const char* call, int status) {
        if (calls) calls->push_back(call);
        return status;
    }
};

}  // namespace

TEST(StatisticsX, ARHostIsMarkedInitialisedEachTimeButAFailedStartLeavesItUninitialised) {
    testsupport::TraceCapture trace;
    std::vector<std::string> calls;
    FakeHost host(true);
    host.calls = &calls;
    host.setR(true);
    host.failStart = true;
    EXPECT_EQ(host.init_embedded_x(0, nullptr), 42);
    EXPECT_FALSE(host.isIntialized());
    host.failStart = false;
    EXPECT_EQ(host.init_embedded_x(0, nullptr), 0);
    // R goes through the start again although it is initialised.
    EXPECT_EQ(host.init_embedded_x(0, nullptr), 0);
    EXPECT_EQ(calls, (std::vector<std::string>{"init", "init", "init"}));
    EXPECT_EQ(trace.lines(),
              (std::vector<std::string>{
                  "StatisticsX::init_embedded_R", "StatisticsX::init_embedded_x error code : 42.",
                  "StatisticsX::init_embedded_R", "StatisticsX::init_embedded_x error code : 0.",
                  "StatisticsX::init_embedded_R", "StatisticsX::init_embedded_x error code : 0."}));
}

TEST(StatisticsX, TheRunningFlagHoldsOnlyWhileTextRunsAndDestroyingStopsAStartedLanguage) {
    std::vector<std::string> calls;
    {
        FakeHost host(true);
        host.calls = &calls;
        EXPECT_EQ(host.execute_x("x"), VEXA_LANGUAGE_NOT_INITIALISED);
        ASSERT_EQ(host.init_embedded_x(0, nullptr), 0);
        EXPECT_EQ(host.execute_x("x"), 0);  // the fake answers -1 unless running
        EXPECT_FALSE(host.isRunning());
    }
    EXPECT_EQ(calls, (std::vector<std::string>{"init", "execute", "stop"}));
}
