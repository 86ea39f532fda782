#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "Conditions.h"
#include "PublishedConditions.h"
#include "Records.h"
#include "SettingsTable.h"

namespace {

// Light level that gives the wanted sky brightness.
double LumexForMagnitude(double magnitude) {
    return (12.4 - magnitude) * std::log10(2.512);
}

// A dark, clear, dry, calm night reading: good conditions with the default thresholds.
TcapteursInfos GoodReading() {
    TcapteursInfos r{};
    r.DateSysteme = EncodeDateTime(2013, 3, 27, 4, 5, 9, 370);
    r.DeltaTempDeg = -25;
    r.ValueTempDeg = 8;
    r.ValueCanDeg = 10.5f;
    r.ValueTempFceDeg = 9.3f;
    r.Humidity = 45;
    r.DewPoint = -3.5f;
    r.ValidWindGUST = 0;
    r.WindSpeedMax_ms = -1;
    r.RainStatus = 0;
    r.PowerRainDet = 5;
    r.ValidLight = 1;
    r.Lumex = LumexForMagnitude(19);
    r.PowerVolts = 12.3f;
    return r;
}

void SetGust(TcapteursInfos& r, double kmh) {
    r.ValidWindGUST = 1;
    r.WindSpeedMax_ms = static_cast<float>(kmh / 3.6);
    r.DirSpeedMax_deg = 270;
}

class ConditionsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        InstallSettingDefaults();
        InitStartValues();
        setup = SetupInfos; // the built-in defaults: -20/-7, 5/15 km/h, 18/14/6.8, 70/50 %
    }
    TSetupInfos setup;
};

TEST_F(ConditionsTest, SkyFromTheMedianAgainstTheCloudThresholds) {
    const std::pair<double, TSkyState> cases[] = {
        {-25, TSkyState::Clear}, {-20, TSkyState::Clear},     {-19.5, TSkyState::Cloudy},
        {-7, TSkyState::Cloudy}, {-6, TSkyState::VeryCloudy},
    };
    for (const auto& [median, state] : cases)
        EXPECT_EQ(ClassifySky(median, setup), state) << median;
}

TEST_F(ConditionsTest, WindFromTheGustAgainstTheWindThresholds) {
    const std::pair<double, TWindState> cases[] = {
        {5, TWindState::Calm},
        {5.1, TWindState::Windy},
        {15, TWindState::Windy},
        {15.1, TWindState::VeryWindy},
    };
    for (const auto& [gust, state] : cases)
        EXPECT_EQ(ClassifyWind(gust, setup), state) << gust;
}

TEST_F(ConditionsTest, AirAgainstTheDryAndHumidThresholdsAndItsRainCode) {
    const struct {
        double humidity;
        TAirState state;
        uint8_t code;
    } cases[] = {
        {50, TAirState::Dry, RainDry},
        {50.1, TAirState::Humid, RainWet},
        {70, TAirState::Humid, RainWet},
        {70.1, TAirState::VeryHumid, RainWet}, // the rain code never reaches 3
        {100, TAirState::VeryHumid, RainWet},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ClassifyHumidity(c.humidity, setup), c.state) << c.humidity;
        EXPECT_EQ(RainCode(c.state), c.code) << c.humidity;
    }
}

TEST_F(ConditionsTest, SkyBackgroundFromTheMagnitudeAndItsDayCode) {
    const struct {
        double magnitude;
        TSkyBackgroundState state;
        uint8_t code;
    } cases[] = {
        {18.5, TSkyBackgroundState::DarkNight, DayDark}, {18, TSkyBackgroundState::GreyNight, DayDark},
        {14, TSkyBackgroundState::Twilight, DayLight},   {6.9, TSkyBackgroundState::Twilight, DayLight},
        {6.8, TSkyBackgroundState::Day, DayVeryLight},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ClassifySkyBackground(c.magnitude, setup), c.state) << c.magnitude;
        EXPECT_EQ(DayCode(c.state), c.code) << c.magnitude;
    }
    EXPECT_EQ(DayCode(TSkyBackgroundState::Unknown), DayUnknown);
}

TEST_F(ConditionsTest, SkyWaitsForTheMedianThenUsesItNotTheInstantValue) {
    auto r = GoodReading();
    r.DeltaTempDeg = -5; // very cloudy at this instant
    const auto waiting = ClassifyConditions(r, setup, std::nullopt);
    EXPECT_FALSE(waiting.SkyAvailable);
    EXPECT_EQ(waiting.Sky, TSkyState::Unknown);
    EXPECT_EQ(waiting.CloudCode(), CloudUnknown);
    const auto ready = ClassifyConditions(r, setup, -25.0);
    EXPECT_TRUE(ready.SkyAvailable);
    EXPECT_EQ(ready.MedianSkyDeltaT, -25);
    EXPECT_EQ(ready.CloudCode(), CloudClear);
    EXPECT_EQ(ready.SkyDeltaT, -5) << "the instant value is still the one shown";
}

TEST_F(ConditionsTest, NumbersOfAReadingWithGustAndLight) {
    auto r = GoodReading();
    SetGust(r, 10.8);
    r.ValueTempDeg = -2;
    r.RainStatus = 1;
    const auto c = ClassifyConditions(r, setup, -25.0);
    EXPECT_EQ(c.Date, r.DateSysteme);
    EXPECT_DOUBLE_EQ(c.AmbientT, -2);
    EXPECT_DOUBLE_EQ(c.RainSensorT, 9.3f);
    EXPECT_DOUBLE_EQ(c.IRSensorT, 10.5);
    EXPECT_DOUBLE_EQ(c.Humidity, 45);
    EXPECT_DOUBLE_EQ(c.DewPoint, -3.5);
    EXPECT_EQ(c.HeaterPercent, 5);
    EXPECT_DOUBLE_EQ(c.SupplyVolts, 12.3f);
    EXPECT_TRUE(c.Raining);
    EXPECT_EQ(c.Air, TAirState::Dry);
    EXPECT_TRUE(c.WindValid);
    EXPECT_NEAR(c.GustKmh, 10.8, 1e-4);
    EXPECT_EQ(c.WindDirDeg, 270);
    EXPECT_EQ(c.Wind, TWindState::Windy);
    EXPECT_TRUE(c.WindChillComputed) << "cold and windy";
    EXPECT_LT(c.WindChill, -2);
    EXPECT_TRUE(c.LightValid);
    EXPECT_NEAR(c.Magnitude, 19, 1e-9);
    EXPECT_EQ(c.SkyBackground, TSkyBackgroundState::DarkNight);
    EXPECT_EQ(c.DayCode(), DayDark);
}

TEST_F(ConditionsTest, MissingWindAndLightAreUnavailable) {
    auto r = GoodReading();
    r.ValidLight = 0;
    const auto c = ClassifyConditions(r, setup, std::nullopt);
    EXPECT_FALSE(c.WindValid);
    EXPECT_EQ(c.Wind, TWindState::Unknown);
    EXPECT_EQ(c.WindCode(), WindUnknown);
    EXPECT_FALSE(c.WindChillComputed);
    EXPECT_FALSE(c.LightValid);
    EXPECT_EQ(c.SkyBackground, TSkyBackgroundState::Unknown);
    EXPECT_EQ(c.Magnitude, 0);
}

TEST_F(ConditionsTest, SensorHeatingNeedsAReportedState) {
    struct Case {
        TT_Bool defrost, rainClean;
        bool defrosting, drying;
    };
    const TT_Bool on{true, false, true}, off{false, false, true}, unreported{true, false, false};
    const Case cases[] = {
        {on, on, true, true},          {off, on, false, true},
        {unreported, on, false, true}, {unreported, unreported, false, false},
        {off, off, false, false},
    };
    for (const auto& c : cases) {
        setup.SetupInfos_HW.DefrostEnabled = c.defrost;
        setup.SetupInfos_HW.RainCleanEnabled = c.rainClean;
        const auto conditions = ClassifyConditions(GoodReading(), setup, std::nullopt);
        EXPECT_EQ(conditions.Defrosting, c.defrosting);
        EXPECT_EQ(conditions.DryingAfterRain, c.drying);
    }
}

TEST_F(ConditionsTest, GustStoredInSinglePrecisionComparesAsTheSpeedItStandsFor) {
    // 15 km/h stored as m/s in a float times 3.6 is 14.9999995: it must still be windy, not calm
    // enough for the good-conditions rule.
    auto r = GoodReading();
    SetGust(r, 5);
    EXPECT_EQ(ClassifyConditions(r, setup, std::nullopt).Wind, TWindState::Calm);
    SetGust(r, 15);
    EXPECT_EQ(ClassifyConditions(r, setup, std::nullopt).Wind, TWindState::Windy);
    EXPECT_FALSE(IsGoodConditions(r, setup));
}

TEST_F(ConditionsTest, GoodConditionsRule) {
    struct Case {
        const char* what;
        void (*change)(TcapteursInfos&);
        bool good;
    };
    const Case cases[] = {
        {"dark clear dry night without wind sensor", [](TcapteursInfos&) {}, true},
        {"no valid light", [](TcapteursInfos& r) { r.ValidLight = 0; }, false},
        {"rain", [](TcapteursInfos& r) { r.RainStatus = 1; }, false},
        {"sky at the cloudy threshold", [](TcapteursInfos& r) { r.DeltaTempDeg = -20; }, false},
        {"sky just below it", [](TcapteursInfos& r) { r.DeltaTempDeg = -20.1f; }, true},
        {"gust 14.9 km/h", [](TcapteursInfos& r) { SetGust(r, 14.9); }, true},
        {"gust 15 km/h", [](TcapteursInfos& r) { SetGust(r, 15); }, false},
        {"invalid gust with a stale high speed",
         [](TcapteursInfos& r) {
             r.ValidWindGUST = 0;
             r.WindSpeedMax_ms = 30;
         },
         true},
        {"magnitude at the dawn threshold", [](TcapteursInfos& r) { r.Lumex = LumexForMagnitude(14); },
         false},
        {"magnitude just above it", [](TcapteursInfos& r) { r.Lumex = LumexForMagnitude(14.01); }, true},
    };
    for (const auto& c : cases) {
        auto r = GoodReading();
        c.change(r);
        EXPECT_EQ(IsGoodConditions(r, setup), c.good) << c.what;
    }
}

TEST_F(ConditionsTest, GoodConditionsTransitionsAndTheirSounds) {
    struct Step {
        bool good;
        bool skyAvailable;
        bool lightValid;
        std::string sound;
    };
    const std::string good = "GoodConditions.wav", bad = "BadConditions.wav";
    const std::vector<std::vector<Step>> sequences = {
        // The first evaluated reading never plays.
        {{true, true, true, ""}, {true, true, true, ""}, {false, true, true, bad}, {true, true, true, good}},
        {{false, true, true, ""}, {false, true, true, ""}, {true, true, true, good}},
        // An unavailable median breaks the comparison for that reading only.
        {{true, true, true, ""}, {false, false, true, ""}, {true, true, true, good}},
        {{false, true, true, ""}, {true, false, true, ""}, {false, true, true, bad}},
        // Without light the reading is bad and silent; the next good one is a start.
        {{true, true, true, ""}, {false, true, false, ""}, {true, true, true, good}},
    };
    for (size_t s = 0; s < sequences.size(); ++s) {
        TToggle_bool toggle;
        for (size_t i = 0; i < sequences[s].size(); ++i) {
            const auto& step = sequences[s][i];
            auto r = GoodReading();
            if (!step.good) r.DeltaTempDeg = -5;
            if (!step.lightValid) r.ValidLight = 0;
            TConditions conditions;
            conditions.SkyAvailable = step.skyAvailable;
            conditions.LightValid = step.lightValid;
            EXPECT_EQ(GoodConditionsSound(r, conditions, setup, toggle), step.sound)
                << "sequence " << s << " step " << i;
        }
    }
}

TEST_F(ConditionsTest, RainStartRule) {
    struct Case {
        std::vector<uint8_t> storedRain; // RainStatus of the history, oldest first
        uint8_t readingRain;
        bool started;
    };
    const Case cases[] = {
        {{0, 0}, 1, true},  {{1, 0}, 1, true},
        {{0, 1}, 1, false},                  // already raining at the latest stored record
        {{0, 0}, 0, false}, {{0}, 1, false}, // fewer than two stored records
        {{}, 1, false},
    };
    for (const auto& c : cases) {
        TTDataStation history;
        for (const auto rain : c.storedRain) {
            auto stored = GoodReading();
            stored.RainStatus = rain;
            history.push_back(stored);
        }
        auto r = GoodReading();
        r.RainStatus = c.readingRain;
        EXPECT_EQ(RainStarted(r, history), c.started)
            << "history of " << c.storedRain.size() << ", reading rain " << int(c.readingRain);
    }
}

TEST_F(ConditionsTest, SoundsComeInOrderTransitionThenRain) {
    TTDataStation history(2, GoodReading());
    TToggle_bool toggle;
    TConditions available;
    available.SkyAvailable = available.LightValid = true;
    EXPECT_TRUE(ConditionSounds(GoodReading(), available, setup, toggle, history).empty());
    auto rainy = GoodReading();
    rainy.RainStatus = 1;
    EXPECT_EQ(ConditionSounds(rainy, available, setup, toggle, history),
              (std::vector<std::string>{"BadConditions.wav", "Rain_pending.wav"}));
}

TEST_F(ConditionsTest, ProcessConditionsPublishesTheReading) {
    TToggle_bool toggle;
    TPublishedConditions published(0);
    const auto& values = published.Values();
    auto r = GoodReading();
    SetGust(r, 10.8);
    r.RainStatus = 1;
    r.Humidity = 60;
    ProcessConditions(r, setup, -25.0, toggle, {}, published);

    EXPECT_EQ(values.DateLastMeasurement, r.DateSysteme);
    EXPECT_EQ(values.CloudCondition, CloudClear);
    EXPECT_EQ(values.WindCondition, WindWindy);
    EXPECT_EQ(values.RainCondition, RainWet) << "rain is published as RainF, never as condition 3";
    EXPECT_TRUE(values.RainF);
    EXPECT_EQ(values.DayCondition, DayDark);
    EXPECT_NEAR(values.Wind, 10.8, 1e-4);
    EXPECT_EQ(values.WindDir, 270);
    EXPECT_NEAR(values.MagnitudeSec, 19, 1e-9);
    EXPECT_DOUBLE_EQ(values.RelSkyT, -25);
    EXPECT_DOUBLE_EQ(values.AmbientT, 8);
    EXPECT_DOUBLE_EQ(values.SensorT, 10.5);
    EXPECT_DOUBLE_EQ(values.HumidityPercent, 60);
    EXPECT_DOUBLE_EQ(values.DewPointT, -3.5);
    EXPECT_DOUBLE_EQ(values.HeaterPercent, 5);

    // Without median, gust and light: wind kept from the last valid gust, its condition, the sky
    // and the day unknown.
    r.ValidWindGUST = 0;
    r.WindSpeedMax_ms = -1;
    r.DirSpeedMax_deg = 0;
    r.ValidLight = 0;
    ProcessConditions(r, setup, std::nullopt, toggle, {}, published);
    EXPECT_EQ(values.CloudCondition, CloudUnknown);
    EXPECT_EQ(values.WindCondition, WindUnknown);
    EXPECT_NEAR(values.Wind, 10.8, 1e-4);
    EXPECT_EQ(values.WindDir, 270);
    EXPECT_EQ(values.DayCondition, DayUnknown);
    EXPECT_EQ(values.MagnitudeSec, 0);
}

TEST_F(ConditionsTest, PublishedStartValuesRoofStateAndThresholds) {
    const TDateTime start = EncodeDateTime(2020, 1, 1, 22, 0, 0);
    TPublishedConditions published(start);
    const auto& values = published.Values();
    EXPECT_EQ(values.CloudCondition, 0);
    EXPECT_EQ(values.AmbientT, 0);
    EXPECT_FALSE(values.RoofCloseRequested);
    EXPECT_EQ(SecondsSinceGoodData(values, start + 90.0 / 86400), 90);

    published.PublishRoofState({true, false, true});
    EXPECT_TRUE(values.RoofCloseRequested);
    published.PublishRoofState({false, false, false}); // not reported: unchanged
    EXPECT_TRUE(values.RoofCloseRequested);
    published.PublishRoofState({false, false, true});
    EXPECT_FALSE(values.RoofCloseRequested);

    published.PublishThresholds(setup);
    EXPECT_EQ(values.CloudyThreshT, -20);
    EXPECT_EQ(values.VCloudyThreshT, -7);
    EXPECT_EQ(values.WindyThreshSpeed, 5);
    EXPECT_EQ(values.VWindyThreshSpeed, 15);

    // A reset starts again from nothing at the new time.
    published.Reset(start + 1);
    EXPECT_EQ(values.CloudyThreshT, 0);
    EXPECT_EQ(SecondsSinceGoodData(values, start + 1), 0);
}

TEST_F(ConditionsTest, UnitConversions) {
    EXPECT_DOUBLE_EQ(WindDisplaySpeed(10, setup), 36);
    setup.Unit_Mph = true;
    EXPECT_NEAR(WindDisplaySpeed(10, setup), 22.369, 1e-3);
    EXPECT_DOUBLE_EQ(DaysToSeconds(1.5), 129600);
    EXPECT_DOUBLE_EQ(MsToKmh(10), 36);
}

} // namespace
