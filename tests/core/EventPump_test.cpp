#include "core/EventPump.h"

#include "support/RecordingPump.h"

#include <gtest/gtest.h>

using namespace pelorix;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

TEST(EventPump, ShortestWaitStillHandlesPendingEvents)
{
    test::RecordingPump pump;
    int handled = 0;
    for (int i = 0; i < 100; ++i) {
        pump.post([&] { ++handled; });
        PumpWait(pump, 1);
    }
    EXPECT_EQ(handled, 100);
}

TEST(EventPump, ReturnsAfterTheTimeWithOrWithoutEvents)
{
    test::RecordingPump pump;
    int handled = 0;
    // A handler that posts itself again keeps events pending for the whole wait.
    std::function<void()> again = [&] {
        ++handled;
        pump.post(again);
    };
    pump.post(again);
    const auto start = Clock::now();
    PumpWait(pump, 50);
    EXPECT_GE(Clock::now() - start, 50ms);
    EXPECT_LT(Clock::now() - start, 5s);
    EXPECT_GT(handled, 1);

    SleepingEventPump sleeping;
    const auto before = Clock::now();
    PumpWait(sleeping, 30);
    EXPECT_GE(Clock::now() - before, 30ms);
}
