#include <gtest/gtest.h>

#include <chrono>

#include "platform/clock.h"

namespace clock_ = corvalis::platform::clock;
using namespace std::chrono;

namespace {
// Restores the time scale a test changed.
class ClockScale : public ::testing::Test {
  protected:
    void SetUp() override { saved_ = clock_::timeScale(); }
    void TearDown() override { clock_::setTimeScale(saved_); }
    double saved_ = 1;
};
}  // namespace

TEST_F(ClockScale, ReadFromTheEnvironmentWithTheSimulator) {
    // CTest and test_main set CORVALIS_SIM_TIMESCALE=0.01 with CORVALIS_CAMERA=simulator.
    EXPECT_DOUBLE_EQ(clock_::timeScale(), 0.01);
}

TEST_F(ClockScale, ScaledSleepAdvancesTicksByTheFullDeviceTime) {
    clock_::setTimeScale(0.01);
    auto realStart = steady_clock::now();
    std::uint32_t t0 = clock_::tickCount();
    clock_::sleepMs(2000);
    std::uint32_t t1 = clock_::tickCount();
    auto real = steady_clock::now() - realStart;
    EXPECT_GE(t1 - t0, 2000u);
    EXPECT_GE(real, milliseconds(20));  // a sleep never ends early
    EXPECT_LT(real, seconds(30));       // liveness only
}

TEST_F(ClockScale, ZeroScaleDoesNotWaitButTicksStillAdvance) {
    clock_::setTimeScale(0);
    auto realStart = steady_clock::now();
    std::uint32_t t0 = clock_::tickCount();
    clock_::sleepMs(60000);
    std::uint32_t t1 = clock_::tickCount();
    EXPECT_GE(t1 - t0, 60000u);
    EXPECT_LT(steady_clock::now() - realStart, seconds(30));
}

TEST_F(ClockScale, WaitIsGivenTheScaledDuration) {
    clock_::setTimeScale(0.01);
    microseconds given{-1};
    clock_::waitScaled(5e6, [&](microseconds real) {
        given = real;
        return true;
    });
    EXPECT_EQ(given, microseconds(50000));
}

TEST_F(ClockScale, InterruptedWaitCountsOnlyRealTime) {
    clock_::setTimeScale(0.01);
    std::uint32_t t0 = clock_::tickCount();
    clock_::waitScaled(100e6, [](microseconds) { return false; });  // 100 s cut short at once
    std::uint32_t t1 = clock_::tickCount();
    EXPECT_LT(t1 - t0, 100000u);
}

TEST_F(ClockScale, TickCountIsDeviceTimeInMilliseconds) {
    clock_::setTimeScale(0);
    std::int64_t before = clock_::deviceMicros();
    clock_::sleepMs(3000);
    std::uint32_t ticks = clock_::tickCount();
    std::int64_t after = clock_::deviceMicros();
    EXPECT_GE(after - before, 3000000);
    EXPECT_GE(ticks, static_cast<std::uint32_t>(before / 1000 + 3000));
    EXPECT_LE(ticks, static_cast<std::uint32_t>(after / 1000));
}

TEST_F(ClockScale, NegativeScaleIsIgnored) {
    clock_::setTimeScale(0.5);
    clock_::setTimeScale(-1);
    EXPECT_DOUBLE_EQ(clock_::timeScale(), 0.5);
}

TEST_F(ClockScale, NothingToWaitForCallsNoWait) {
    bool called = false;
    clock_::waitScaled(0, [&](microseconds) { return called = true; });
    EXPECT_FALSE(called);
}
