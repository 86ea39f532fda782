// When the weather and light readings fall due, and what the labels say meanwhile.
#include <gtest/gtest.h>

#include "PollingRhythm.h"
#include "TestSupport.h"

namespace {

constexpr TDateTime Noon = 46365.5; // 09/12/2026 12:00:00

class PollingRhythmTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SetClockForTests([] { return Noon; });
    }
    void TearDown() override { SetClockForTests({}); }
    // Ticks until a weather reading is due; the number of ticks it took.
    int TicksToWeather(uint32_t interval) {
        for (int i = 1; i <= 1000; ++i)
            if (rhythm.TickWeather(interval, 0)) return i;
        return -1;
    }
    TPollingRhythm rhythm;
};

TEST_F(PollingRhythmTest, AReadingIsDueEveryIntervalCountedFromTheRestart) {
    EXPECT_EQ(rhythm.WeatherLabels().Interval, "???");
    rhythm.Restart(20, 60);
    EXPECT_EQ(rhythm.WeatherLabels().Interval, "20 sec");
    EXPECT_EQ(rhythm.LightLabels().Interval, "1.0 min");

    EXPECT_FALSE(rhythm.TickWeather(20, 0));
    EXPECT_EQ(rhythm.WeatherLabels().Remaining, "19 sec");
    EXPECT_EQ(rhythm.WeatherLabels().LastReading, "???");
    EXPECT_EQ(TicksToWeather(20), 19);
    EXPECT_EQ(rhythm.TimerSec(), 0u);
    EXPECT_EQ(TicksToWeather(20), 20);

    // The two rhythms count apart.
    for (int i = 0; i < 59; ++i)
        EXPECT_FALSE(rhythm.TickLight(60, 0));
    EXPECT_EQ(rhythm.TimerSecLight(), 59u);
    EXPECT_EQ(rhythm.LightLabels().Remaining, "1 sec");
    EXPECT_TRUE(rhythm.TickLight(60, 0));
    EXPECT_EQ(rhythm.TimerSecLight(), 0u);

    // Resumed after a pause: the counts start again, the intervals shown stay.
    for (int i = 0; i < 5; ++i) {
        rhythm.TickWeather(20, 0);
        rhythm.TickLight(60, 0);
    }
    rhythm.ResetCounts();
    EXPECT_EQ(rhythm.TimerSec(), 0u);
    EXPECT_EQ(rhythm.TimerSecLight(), 0u);
    EXPECT_EQ(rhythm.LightLabels().Interval, "1.0 min");
}

// An interval shortened below the count already reached: due at the next tick.
TEST_F(PollingRhythmTest, AShortenedIntervalIsDueAtOnce) {
    rhythm.Restart(60, 60);
    for (int i = 0; i < 30; ++i)
        ASSERT_FALSE(rhythm.TickWeather(60, 0));
    EXPECT_TRUE(rhythm.TickWeather(20, 0));
    EXPECT_EQ(TicksToWeather(20), 20);
}

TEST_F(PollingRhythmTest, TheLastReadingShowsItsDateThenItsAge) {
    rhythm.Restart(20, 60);
    const TDateTime taken = Noon - 5.0 / 86400;
    rhythm.WeatherRead(taken);
    EXPECT_EQ(rhythm.WeatherLabels().LastReading, "09/12/2026 11:59:55");
    rhythm.TickWeather(20, taken);
    EXPECT_EQ(rhythm.WeatherLabels().LastReading, "09/12/2026 11:59:55 -> 5 sec");
    rhythm.TickLight(60, Noon - 90.0 / 86400);
    EXPECT_EQ(rhythm.LightLabels().LastReading, "09/12/2026 11:58:30 -> 1.5 min");
}

} // namespace
