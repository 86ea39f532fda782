// The statistics rules that are easy to get wrong: the interval count that decides whether the grid
// shows, the two-hour clear blocks judged at the next clear record, rain status 2, night and day
// split by light level, time weighting, and a zero period.
#include <gtest/gtest.h>

#include "DataToolsRecords.h"
#include "Statistics.h"

namespace {

using namespace datatools_test;

StatsResult Stats(const TTDataStation& records, double fromMinute = 0, double toMinute = 1e9) {
    return ComputeStatistics(records, Minutes(fromMinute), toMinute == 1e9 ? Day0() + 30 : Minutes(toMinute),
                             Cloudy, Dawn);
}

TEST(Statistics, SixRecordsGiveNoGridSevenFillIt) {
    EXPECT_EQ(Stats(Every(1, 6)).IntervalCount, 5);
    EXPECT_FALSE(StatsFillGrid(Stats(Every(1, 6))));
    EXPECT_EQ(Stats(Every(1, 7)).IntervalCount, 6);
    EXPECT_TRUE(StatsFillGrid(Stats(Every(1, 7))));
}

TEST(Statistics, OnlyRecordsInsideTheRangeBothEndsIncluded) {
    const StatsResult s = Stats(Every(10, 10), 20, 50); // minutes 20, 30, 40, 50
    EXPECT_EQ(s.IntervalCount, 3);
    EXPECT_NEAR(s.Period, 30 / 1440.0, 1e-9);
}

TEST(Statistics, ThreeClearHoursEveryTenMinutesGiveOneBlock) {
    const StatsResult s = Stats(Every(10, 19, {.Delta = ClearSky}));
    EXPECT_EQ(s.ClearBlocks, 1);
    // Twice as long: a block for every completed two hours.
    EXPECT_EQ(Stats(Every(10, 37, {.Delta = ClearSky})).ClearBlocks, 2);
}

TEST(Statistics, ABrokenClearStretchCountsItsBlockAtTheNextClearRecord) {
    // Clear for 2.5 hours, then one cloudy record: the run is not judged yet.
    TTDataStation records = {Make({.Minute = 0, .Delta = ClearSky}), Make({.Minute = 90, .Delta = ClearSky}),
                             Make({.Minute = 150, .Delta = ClearSky}),
                             Make({.Minute = 160, .Delta = CloudySky})};
    EXPECT_EQ(Stats(records).ClearBlocks, 0);
    records.push_back(Make({.Minute = 170, .Delta = ClearSky}));
    EXPECT_EQ(Stats(records).ClearBlocks, 1);
    // The clear time counts only the clear intervals: 90 + 60 + 10 of 170 minutes.
    EXPECT_NEAR(Stats(records, 0, 170).ClearPercent, 160.0 / 170 * 100, 1e-6);
}

TEST(Statistics, OnlyRainStatusOneAddsRainTime) {
    const TTDataStation rain = {Make({.Minute = 0}), Make({.Minute = 30, .Rain = 1}),
                                Make({.Minute = 60, .Rain = 2}), Make({.Minute = 90, .Rain = 1})};
    EXPECT_NEAR(Stats(rain).RainDuration, 60 / 1440.0, 1e-9);
}

TEST(Statistics, MeanTemperatureIsTimeWeighted) {
    // 10 °C for two hours, then a rise to 20 °C over one hour: (10×2 + 15×1) / 3.
    const TTDataStation records = {Make({.Minute = 0, .Temp = 10}), Make({.Minute = 120, .Temp = 10}),
                                   Make({.Minute = 180, .Temp = 20})};
    EXPECT_NEAR(Stats(records, 0, 180).MeanTemp, 35.0 / 3, 1e-6);
    // Over a period twice as long as the records, the integral is divided by the period.
    EXPECT_NEAR(Stats(records, 0, 360).MeanTemp, 35.0 / 6, 1e-6);
}

TEST(Statistics, HumidityOfEveryRecordAndGustsOfValidOnes) {
    const TTDataStation records = {
        Make({.Minute = 0, .Humidity = 40, .GustValid = true, .Gust = 2}),
        Make({.Minute = 10, .Humidity = 80, .GustValid = false, .Gust = 50}),
        Make({.Minute = 20, .Humidity = 60, .GustValid = true, .Gust = 8}),
        Make({.Minute = 30, .Humidity = 70, .GustValid = true, .Gust = 4}),
        Make({.Minute = 40, .Humidity = 50, .GustValid = true, .Gust = 6}),
    };
    const StatsResult s = Stats(records);
    EXPECT_DOUBLE_EQ(s.HumidityMin, 40);
    EXPECT_DOUBLE_EQ(s.HumidityMax, 80);
    EXPECT_DOUBLE_EQ(s.HumidityMean, 60);
    EXPECT_DOUBLE_EQ(s.GustMean, 5);
    EXPECT_DOUBLE_EQ(s.GustMax, 8);
    EXPECT_DOUBLE_EQ(s.GustMedian, 5); // even count: the mean of 4 and 6

    const StatsResult none = Stats({});
    EXPECT_EQ(none.IntervalCount, 0);
    EXPECT_EQ(none.HumidityMin, 0);
    EXPECT_EQ(none.HumidityMax, 0);
    EXPECT_EQ(none.GustMedian, 0);
}

TEST(Statistics, NightAndDayFollowTheLightLevel) {
    // Three night hours, clear, then a transition to day and two cloudy day hours.
    TTDataStation records =
        Every(10, 19, {.Delta = ClearSky, .Temp = 5, .LightValid = true, .Lumex = NightLumex});
    for (int i = 0; i <= 12; ++i)
        records.push_back(
            Make({.Minute = 190 + i * 10.0, .Temp = 15, .LightValid = true, .Lumex = DayLumex}));
    const StatsResult s = Stats(records);
    EXPECT_NEAR(s.NightDuration, 3 / 24.0, 1e-9);
    EXPECT_NEAR(s.DayDuration, 2 / 24.0, 1e-9); // the transition interval counts for neither
    ASSERT_TRUE(s.NightMeanTemp.Valid && s.DayMeanTemp.Valid);
    EXPECT_NEAR(s.NightMeanTemp.Value, 5, 1e-6);
    EXPECT_NEAR(s.DayMeanTemp.Value, 15, 1e-6);
    EXPECT_NEAR(s.NightClearPercent.Value, 100, 1e-6);
    EXPECT_NEAR(s.DayClearPercent.Value, 0, 1e-9);
    EXPECT_TRUE(s.NightClearBlocks.Valid);
    EXPECT_EQ(s.NightClearBlocks.Value, 1);
    EXPECT_FALSE(s.DayClearBlocks.Valid);
}

TEST(Statistics, OnlyDayRecords) {
    // Day: one clear hour of two.
    TTDataStation records = Every(10, 7, {.Delta = ClearSky, .LightValid = true, .Lumex = DayLumex});
    for (int i = 1; i <= 6; ++i)
        records.push_back(Make({.Minute = 60 + i * 10.0, .LightValid = true, .Lumex = DayLumex}));
    const StatsResult s = Stats(records);
    ASSERT_TRUE(s.DayClearPercent.Valid);
    EXPECT_NEAR(s.DayClearPercent.Value, 50, 1e-6);
    EXPECT_FALSE(s.NightClearPercent.Valid);
    EXPECT_FALSE(s.NightMeanTemp.Valid);
    const TStatsGrid g = StatsGridTexts(s);
    for (int row = 1; row <= 4; ++row)
        EXPECT_EQ(g[row][2], "N/D") << row;
    EXPECT_EQ(g[2][3], "50.0 %");
}

TEST(Statistics, WithoutLightNightAndDayColumnsShowND) {
    const TStatsGrid g = StatsGridTexts(Stats(Every(10, 40, {.Delta = ClearSky})));
    for (int row = 1; row <= 4; ++row) {
        EXPECT_EQ(g[row][2], "N/D") << row;
        EXPECT_EQ(g[row][3], "N/D") << row;
        EXPECT_NE(g[row][1], "N/D") << row;
    }
}

TEST(Statistics, AZeroPeriodShowsNDWhereItWouldDivide) {
    const TTDataStation records = Every(0.5, 3);
    const StatsResult s = Stats(records, 0, 0); // one record in range, from = to
    EXPECT_FALSE(s.PeriodValid());
    EXPECT_EQ(s.MeanTemp, 0);
    const TStatsGrid g = StatsGridTexts(s);
    EXPECT_EQ(g[1][1], "N/D");
    EXPECT_EQ(g[2][1], "N/D");
    EXPECT_EQ(g[4][1], "N/D");
    EXPECT_EQ(g[3][1], "0 blocs");
}

TEST(Statistics, GridTexts) {
    // Two clear night hours and a quarter (of a one-day period), humid, windy, one rainy hour; no day.
    TTDataStation records;
    for (int i = 0; i <= 27; ++i)
        records.push_back(Make({.Minute = i * 5.0,
                                .Delta = ClearSky,
                                .Temp = 16,
                                .Humidity = static_cast<float>(i < 14 ? 90 : 70),
                                .Rain = static_cast<uint8_t>(i > 0 && i <= 12 ? 1 : 0),
                                .GustValid = true,
                                .Gust = 10,
                                .LightValid = true,
                                .Lumex = NightLumex}));
    const StatsResult s = Stats(records, 0, 24 * 60);
    const TStatsGrid expected = {{
        {"", "Jour/Nuit", "Nuit", "Jour"},
        {" Température (Moyenne)", "1.5 °C", "16.0 °C", "N/D"},
        {" % ciel sans nuages", "9.4 %", "100.0 %", "N/D"},
        {" Blocs continus de ciel sans nuages >2h", "1 blocs", "1 blocs", "N/D"},
        {" % continus de ciel sans nuages >2h", "8.3 %", "88.9 %", "N/D"},
        {" Nb d'heures pluie/neige", "1.0 h", "-", "-"},
        {"Humidité Moyenne (%)", "80.0 %", "-", "-"},
        {"Humidité Max (%)", "90.0 %", "-", "-"},
        {"Humidité Min (%)", "70.0 %", "-", "-"},
        {"Vent (Moyenne)", "36.0 km/h", "-", "-"},
        {"Vent (Maximum)", "36.0 km/h", "-", "-"},
        {"Vent (Median)", "36.0 km/h", "-", "-"},
    }};
    const TStatsGrid g = StatsGridTexts(s);
    for (int row = 0; row < StatsGridRows; ++row)
        for (int column = 0; column < StatsGridColumns; ++column)
            EXPECT_EQ(g[row][column], expected[row][column]) << row << "," << column;
    EXPECT_EQ(StatsDaysText(s.Period), "1.00 Jrs");
}

} // namespace
