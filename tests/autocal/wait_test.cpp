#include "autocal/wait.h"
#include "platform/steady_clock.h"
#include "support/fakes.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace {

using testing_support::ScriptedPump;
using testing_support::VirtualClock;

TEST(WaitSeconds, PollsTheClockAndYieldsOnEveryPassUntilTheDurationHasPassed) {
    VirtualClock clock;
    clock.stepPerNow = 1.0 / 64;
    ScriptedPump pump;
    EXPECT_TRUE(autocal::WaitSeconds(clock, pump, 1.0f));
    // Passes at elapsed 1/64 .. 64/64: one yield each, the last one after the full second.
    EXPECT_EQ(pump.yields, 64);
    EXPECT_DOUBLE_EQ(clock.time, 65.0 / 64);
    EXPECT_TRUE(clock.sleeps.empty()); // it never sleeps
    // Each yield may block for the rest of the second, never longer; the last asks for none.
    ASSERT_EQ(pump.waits.size(), 64u);
    EXPECT_DOUBLE_EQ(pump.waits.front(), 63.0 / 64);
    EXPECT_DOUBLE_EQ(pump.waits.back(), 0.0);
}

TEST(WaitSeconds, ZeroNegativeAndNotANumberReturnAtOnceWithoutYielding) {
    VirtualClock clock;
    ScriptedPump pump;
    EXPECT_TRUE(autocal::WaitSeconds(clock, pump, 0.0f));
    EXPECT_TRUE(autocal::WaitSeconds(clock, pump, -1.0f));
    EXPECT_TRUE(autocal::WaitSeconds(clock, pump, std::numeric_limits<float>::quiet_NaN()));
    EXPECT_EQ(pump.yields, 0);
}

TEST(WaitSeconds, LastsItsDurationAcrossMidnight) {
    // The monotonic clock just before 24 h: a time-of-day clock would restart at 0 here.
    VirtualClock clock;
    clock.time = 86399.5;
    clock.stepPerNow = 0.125;
    ScriptedPump pump;
    EXPECT_TRUE(autocal::WaitSeconds(clock, pump, 1.0f));
    EXPECT_DOUBLE_EQ(clock.time - 86399.5, 1.125);
    EXPECT_EQ(pump.yields, 8);
}

TEST(WaitSeconds, EndsAfterTheYieldInWhichAStopIsRequested) {
    VirtualClock clock;
    ScriptedPump pump;
    bool stop = false;
    pump.at(7, [&] { stop = true; });
    EXPECT_FALSE(autocal::WaitSeconds(clock, pump, 1.0f, [&] { return stop; }));
    EXPECT_EQ(pump.yields, 7);
}

// The real clock's pauses never end before their time, however they finish; a pause of no
// time or less returns at once. (Only the lower bound: how late they end is the benchmark's.)
TEST(SteadyClock, PausesNeverEndEarly) {
    platform::SteadyClock clock;
    for (std::int32_t ms : {1, 3}) {
        const double start = clock.now();
        clock.Sleep(ms);
        EXPECT_GE(clock.now() - start, ms / 1000.0) << ms << " ms";
    }
    const double start = clock.now();
    clock.Sleep(0);
    clock.Sleep(-5);
    EXPECT_LT(clock.now() - start, 0.5);
}

} // namespace
