// The weather model: every state the program classifies comes round within an hour.
#include <cmath>
#include <gtest/gtest.h>
#include <set>

#include "WeatherModel.h"

using halvex::sim::ParseScenario;
using halvex::sim::TWeather;
using halvex::sim::WeatherModel;

namespace {

// The program's classes with its default thresholds.
struct States {
    std::set<int> Sky, Wind, Humidity, Rain, Daylight;
    void Add(const TWeather& w) {
        Sky.insert(w.SkyMinusAmbient <= -20 ? 1 : w.SkyMinusAmbient <= -7 ? 2 : 3);
        Wind.insert(w.GustKmh <= 5 ? 1 : w.GustKmh <= 15 ? 2 : 3);
        Humidity.insert(w.Humidity <= 50 ? 1 : w.Humidity <= 70 ? 2 : 3);
        Rain.insert(w.Rain ? 1 : 0);
        Daylight.insert(w.Magnitude > 18 ? 1 : w.Magnitude > 14 ? 2 : w.Magnitude > 6.8 ? 3 : 4);
    }
    bool All() const {
        return Sky.size() == 3 && Wind.size() == 3 && Humidity.size() == 3 && Rain.size() == 2 &&
               Daylight.size() == 4;
    }
};

// Readings every `step` model seconds from `from` for `span` seconds, clock starting at `clockStart`.
States Observe(const WeatherModel& model, double from, double span, double step, double clockStart) {
    States s;
    for (double t = from; t < from + span; t += step)
        s.Add(model.At(t, std::fmod(clockStart + t, 86400)));
    return s;
}

} // namespace

TEST(SimulatorWeather, EveryStateWithinAnHourOfAShortDay) {
    // With a one-hour day, an hour of readings every 20 s sees every state, whatever the seed and
    // wherever the hour starts.
    for (uint64_t seed = 1; seed <= 12; ++seed)
        for (double from : {0.0, 5000.0, 123456.0}) {
            SCOPED_TRACE(testing::Message() << "seed " << seed << " from " << from);
            const WeatherModel model(seed, 3600);
            EXPECT_TRUE(Observe(model, from, 3600, 20, 9 * 3600).All());
        }
}

TEST(SimulatorWeather, EveryStateWithinAnHourAtSixtyTimesTheSpeed) {
    // The program reads every 20 real seconds: at --speed 60 that is every 20 model minutes, and
    // an hour of it is 60 model hours with the full 24-hour day.
    for (uint64_t seed = 1; seed <= 12; ++seed) {
        SCOPED_TRACE(seed);
        const WeatherModel model(seed);
        EXPECT_TRUE(Observe(model, 0, 60 * 3600, 20 * 60 + 7, 14 * 3600).All());
    }
}

TEST(SimulatorWeather, SkyFollowsTheClockAndTheSeed) {
    const WeatherModel model(7);
    // Noon is day, midnight is dark (clear or not), whatever the weather.
    for (double t : {0.0, 7200.0, 30000.0}) {
        EXPECT_LE(model.At(t, 12 * 3600).Magnitude, 6.8);
        EXPECT_GT(model.At(t, 0).Magnitude, 18);
    }
    const WeatherModel same(7), other(8);
    EXPECT_EQ(model.At(1234.5, 3600).GustKmh, same.At(1234.5, 3600).GustKmh);
    EXPECT_NE(model.At(1234.5, 3600).GustKmh, other.At(1234.5, 3600).GustKmh);
}

TEST(SimulatorWeather, ScenarioOverridesItsWindowOnly) {
    WeatherModel model(3);
    model.SetScenario(ParseScenario("rain@3-5,wind=40@10-12,dry@20-21"));
    EXPECT_TRUE(model.At(3 * 60, 0).Rain);
    EXPECT_TRUE(model.At(5 * 60 - 1, 0).Rain);
    EXPECT_DOUBLE_EQ(model.At(11 * 60, 0).GustKmh, 40);
    EXPECT_NE(model.At(12 * 60, 0).GustKmh, 40);
    EXPECT_FALSE(model.At(20.5 * 60, 0).Rain);
}

TEST(SimulatorWeather, ScenarioSyntaxErrorsAreReported) {
    for (const char* bad : {"rain", "rain@5", "hail@1-2", "wind@1-2", "wind=x@1-2", "rain@5-3", "rain@a-b"}) {
        SCOPED_TRACE(bad);
        EXPECT_THROW(ParseScenario(bad), std::invalid_argument);
    }
    const auto items = ParseScenario("rain@3-5,wind=40@10-12.5");
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[1].Name, "wind");
    EXPECT_DOUBLE_EQ(items[1].Value, 40);
    EXPECT_DOUBLE_EQ(items[1].ToMinute, 12.5);
}
