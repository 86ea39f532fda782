#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "Classification.h"
#include "MedianObject.h"
#include "Records.h"
#include "UserText.h"

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

class ClassificationTest : public ::testing::Test {
  protected:
    void SetUp() override {
        InitStartValues();
        setup = SetupInfos; // the built-in defaults: -20/-7, 5/15 km/h, 18/14/6.8, 70/50 %
    }
    void TearDown() override {
        SetClockForTests({});
        SetTranslator({});
    }
    TSetupInfos setup;
};

struct StateCase {
    double input;
    std::string text;
    std::optional<TRgb> colour;
    uint8_t code;
};

void ExpectPanel(const TStatePanel& panel, const StateCase& c) {
    EXPECT_EQ(panel.Text, c.text) << "input " << c.input;
    EXPECT_EQ(panel.Colour, c.colour) << "input " << c.input;
    EXPECT_EQ(panel.Code, c.code) << "input " << c.input;
}

TEST_F(ClassificationTest, SkyFromTheMedianAgainstTheCloudThresholds) {
    const StateCase cases[] = {
        {-25, "DEGAGE", ColorGreen, CloudClear},         {-20, "DEGAGE", ColorGreen, CloudClear},
        {-19.5, "COUVERT", ColorOrange, CloudCloudy},    {-7, "COUVERT", ColorOrange, CloudCloudy},
        {-6, "TRES COUVERT", ColorRed, CloudVeryCloudy},
    };
    for (const auto& c : cases)
        ExpectPanel(ClassifySky(c.input, setup), c);
}

TEST_F(ClassificationTest, WindFromTheGustAgainstTheWindThresholds) {
    const StateCase cases[] = {
        {5, "CALME", ColorGreen, WindCalm},
        {5.1, "VENTEUX", ColorOrange, WindWindy},
        {15, "VENTEUX", ColorOrange, WindWindy},
        {15.1, "TRES VENTEUX", ColorRed, WindVeryWindy},
    };
    for (const auto& c : cases)
        ExpectPanel(ClassifyWind(c.input, setup), c);
}

TEST_F(ClassificationTest, HumidityAgainstTheDryAndHumidThresholds) {
    const StateCase cases[] = {
        {50, "SEC", ColorGreen, RainDry},
        {50.1, "HUMIDE", ColorOrange, RainWet},
        {70, "HUMIDE", ColorOrange, RainWet},
        {70.1, "TRES HUMIDE", ColorRed, RainWet}, // the rain code never reaches 3
        {100, "TRES HUMIDE", ColorRed, RainWet},
    };
    for (const auto& c : cases)
        ExpectPanel(ClassifyHumidity(c.input, setup), c);
}

TEST_F(ClassificationTest, SkyBackgroundFromTheMagnitudeWithItsHint) {
    struct DayCase {
        StateCase state;
        std::string hint;
    };
    const DayCase cases[] = {
        {{18.5, "NUIT NOIRE", ColorGreen, DayDark}, "Nuit noire sans Lune"},
        {{18, "NUIT \"GRISE\"", ColorYellowGreen, DayDark},
         "Crépuscule terminant, présence de Lune ou de forte pollution lumineuse..."},
        {{14, "CREPUSCULE", ColorOrange, DayLight}, "Crépuscule avancé"},
        {{6.9, "CREPUSCULE", ColorOrange, DayLight}, "Crépuscule avancé"},
        {{6.8, "JOUR", ColorRed, DayVeryLight}, "Jour (Soleil levé)"},
    };
    for (const auto& c : cases) {
        const auto panel = ClassifySkyBackground(c.state.input, setup);
        ExpectPanel(panel, c.state);
        EXPECT_EQ(panel.Hint, c.hint);
    }
}

TEST_F(ClassificationTest, RainPanel) {
    EXPECT_EQ(ClassifyRain(true), (TStatePanel{"OUI", ColorRed, "", 1}));
    EXPECT_EQ(ClassifyRain(false), (TStatePanel{"NON", ColorGreen, "", 0}));
}

TEST_F(ClassificationTest, SkyIsUnavailableUntilTheMedianHasFiveReadingsThenUsesTheMedian) {
    TMedianObject median(MedianSkySamples);
    const float deltas[] = {-25, -25, -5, -25, -25, -5, -5};
    const uint8_t expected[] = {0, 0, 0, 0, CloudClear, CloudClear, CloudVeryCloudy};
    for (size_t i = 0; i < std::size(deltas); ++i) {
        auto r = GoodReading();
        r.DeltaTempDeg = deltas[i];
        const auto d = ClassifyConditions(r, setup, median);
        EXPECT_EQ(d.Sky.Code, expected[i]) << "reading " << i;
        EXPECT_EQ(d.SkyAvailable, i >= 4) << "reading " << i;
        if (i < 4) {
            EXPECT_EQ(d.Sky.Text, "Pas disponible");
            EXPECT_FALSE(d.Sky.Colour.has_value()) << "unknown states keep the neutral colour";
        }
    }
}

TEST_F(ClassificationTest, ValueTextsOfTheInformationTab) {
    TMedianObject median(MedianSkySamples);
    auto r = GoodReading();
    SetGust(r, 10.8);
    setup.SetupInfos_HW.DefrostEnabled = {true, false, true};
    const auto d = ClassifyConditions(r, setup, median);
    EXPECT_EQ(d.TempText, "8.0 °C");
    EXPECT_EQ(d.RainTempText, "9.3 °C");
    EXPECT_EQ(d.IRCanTempText, "10.5 °C");
    EXPECT_EQ(d.SkyTempText, "-25.0 °C");
    EXPECT_EQ(d.HumidityText, "45.0 %");
    EXPECT_EQ(d.DewPointText, "-3.5 °C");
    EXPECT_EQ(d.WindSpeedText, "10.8 km/h");
    EXPECT_EQ(d.WindDirectionText, "O");
    EXPECT_DOUBLE_EQ(d.WindDirDeg, 270);
    EXPECT_EQ(d.PowerText, "5%");
    EXPECT_EQ(d.VoltsText, "12.30 V");
    EXPECT_EQ(d.DefrostText, "Dégivrage actif");
    EXPECT_EQ(d.LightText, AdaptiveFloatText(r.Lumex));
    EXPECT_EQ(d.MagnitudeText, "19.00");
    EXPECT_EQ(d.SkyBackground.Code, DayDark);
}

TEST_F(ClassificationTest, MissingWindAndLightAreShownAsUnavailable) {
    TMedianObject median(MedianSkySamples);
    auto r = GoodReading();
    r.ValidLight = 0;
    const auto d = ClassifyConditions(r, setup, median);
    EXPECT_EQ(d.WindSpeedText, "Pas de données");
    EXPECT_EQ(d.WindDirectionText, "Pas de données");
    EXPECT_EQ(d.Wind, WindNotAvailable());
    EXPECT_EQ(d.Wind.Code, WindUnknown);
    EXPECT_EQ(d.LightText, "-");
    EXPECT_EQ(d.MagnitudeText, "-");
    EXPECT_EQ(d.SkyBackground, SkyBackgroundNotAvailable());
    EXPECT_TRUE(d.SkyBackground.Hint.empty());
    EXPECT_EQ(d.Magnitude, 0);
}

TEST_F(ClassificationTest, DefrostTextPrefersDefrostOverDryingAndNeedsAReportedState) {
    struct Case {
        TT_Bool defrost, rainClean;
        std::string text;
    };
    const TT_Bool on{true, false, true}, off{false, false, true}, unreported{true, false, false};
    const Case cases[] = {
        {on, on, "Dégivrage actif"},
        {off, on, "Séchage consécutif à la pluie/neige"},
        {unreported, on, "Séchage consécutif à la pluie/neige"},
        {unreported, unreported, ""},
        {off, off, ""},
    };
    TMedianObject median(MedianSkySamples);
    for (const auto& c : cases) {
        setup.SetupInfos_HW.DefrostEnabled = c.defrost;
        setup.SetupInfos_HW.RainCleanEnabled = c.rainClean;
        EXPECT_EQ(ClassifyConditions(GoodReading(), setup, median).DefrostText, c.text);
    }
}

TEST_F(ClassificationTest, GustStoredInSinglePrecisionComparesAsTheSpeedItStandsFor) {
    // 15 km/h stored as m/s in a float times 3.6 is 14.9999995: it must still be windy, not calm
    // enough for the good-conditions rule.
    TMedianObject median(MedianSkySamples);
    auto r = GoodReading();
    SetGust(r, 5);
    EXPECT_EQ(ClassifyConditions(r, setup, median).Wind.Code, WindCalm);
    SetGust(r, 15);
    EXPECT_EQ(ClassifyConditions(r, setup, median).Wind.Code, WindWindy);
    EXPECT_FALSE(IsGoodConditions(r, setup));
}

TEST_F(ClassificationTest, GoodConditionsRule) {
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

TEST_F(ClassificationTest, GoodConditionsTransitionsAndTheirSounds) {
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
            TConditionsDisplay display;
            display.SkyAvailable = step.skyAvailable;
            display.LightValid = step.lightValid;
            EXPECT_EQ(GoodConditionsSound(r, display, setup, toggle), step.sound)
                << "sequence " << s << " step " << i;
        }
    }
}

TEST_F(ClassificationTest, RainStartRule) {
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

TEST_F(ClassificationTest, SoundsComeInOrderTransitionThenRain) {
    TTDataStation history(2, GoodReading());
    TToggle_bool toggle;
    TConditionsDisplay available;
    available.SkyAvailable = available.LightValid = true;
    EXPECT_TRUE(ConditionSounds(GoodReading(), available, setup, toggle, history).empty());
    auto rainy = GoodReading();
    rainy.RainStatus = 1;
    EXPECT_EQ(ConditionSounds(rainy, available, setup, toggle, history),
              (std::vector<std::string>{"BadConditions.wav", "Rain_pending.wav"}));
}

TEST_F(ClassificationTest, ProcessConditionsPublishesTheReading) {
    TMedianObject median(MedianSkySamples);
    TToggle_bool toggle;
    TAutomationValues values;
    auto r = GoodReading();
    SetGust(r, 10.8);
    r.RainStatus = 1;
    r.Humidity = 60;
    for (int i = 0; i < MedianSkySamples; ++i)
        ProcessConditions(r, setup, median, toggle, {}, values);

    EXPECT_EQ(values.DateLastMeasurement, FieldValue(r.DateSysteme));
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

    // Without gust and light: wind kept from the last valid gust, its condition and the day unknown.
    r.ValidWindGUST = 0;
    r.WindSpeedMax_ms = -1;
    r.DirSpeedMax_deg = 0;
    r.ValidLight = 0;
    ProcessConditions(r, setup, median, toggle, {}, values);
    EXPECT_EQ(values.WindCondition, WindUnknown);
    EXPECT_NEAR(values.Wind, 10.8, 1e-4);
    EXPECT_EQ(values.WindDir, 270);
    EXPECT_EQ(values.DayCondition, DayUnknown);
    EXPECT_EQ(values.MagnitudeSec, 0);
}

TEST_F(ClassificationTest, AutomationValuesStartValuesRoofStateAndThresholds) {
    const TDateTime start = EncodeDateTime(2020, 1, 1, 22, 0, 0);
    SetClockForTests([start] { return start; });
    ResetAutomationValues();
    EXPECT_EQ(AutomationValues.CloudCondition, 0);
    EXPECT_EQ(AutomationValues.AmbientT, 0);
    EXPECT_FALSE(AutomationValues.RoofCloseRequested);
    EXPECT_EQ(SecondsSinceGoodData(AutomationValues, start + 90.0 / 86400), 90);

    PublishRoofState({true, false, true});
    EXPECT_TRUE(AutomationValues.RoofCloseRequested);
    PublishRoofState({false, false, false}); // not reported: unchanged
    EXPECT_TRUE(AutomationValues.RoofCloseRequested);
    PublishRoofState({false, false, true});
    EXPECT_FALSE(AutomationValues.RoofCloseRequested);

    PublishThresholds(setup);
    EXPECT_EQ(AutomationValues.CloudyThreshT, -20);
    EXPECT_EQ(AutomationValues.VCloudyThreshT, -7);
    EXPECT_EQ(AutomationValues.WindyThreshSpeed, 5);
    EXPECT_EQ(AutomationValues.VWindyThreshSpeed, 15);
    ResetAutomationValues();
}

TEST_F(ClassificationTest, DurationText) {
    const std::pair<double, std::string> cases[] = {
        {0, "0 sec"},    {59.4, "59 sec"},   {59.6, "60 sec"},  {60, "1.0 min"},
        {90, "1.5 min"}, {3599, "60.0 min"}, {3600, "1.0 hrs"}, {5400, "1.5 hrs"},
    };
    for (const auto& [seconds, text] : cases)
        EXPECT_EQ(DurationText(seconds), text) << seconds;
}

TEST_F(ClassificationTest, ElapsedText) {
    const std::pair<double, std::string> cases[] = {
        {3661, "1 Heure(s) 1 Min(s) 1 sec"},
        {60, "60 sec"}, // a unit counts only above one whole unit
        {61, "1 Min(s) 1 sec"},
        {7200, "2 Heure(s) "},
        {86400.5, "1 jour(s) 0 sec"},
        {31557600 + 2629800 * 2 + 5, "1 an(s) 2 mois 5 sec"},
        {0, ""},
        {2.9, "2 sec"},
    };
    for (const auto& [seconds, text] : cases)
        EXPECT_EQ(ElapsedText(seconds), text) << seconds;
}

TEST_F(ClassificationTest, DaysOrHoursText) {
    EXPECT_EQ(DaysOrHoursText(1.5), "1.5 J");
    EXPECT_EQ(DaysOrHoursText(1), "24.0 h");
    EXPECT_EQ(DaysOrHoursText(0.25), "6.0 h");
}

TEST_F(ClassificationTest, AdaptiveFloatText) {
    const std::pair<double, std::string> cases[] = {
        {2000.7, "2001"},     {1000, "1000.0"},
        {150.44, "150.4"},    {12.3456, "12.35"},
        {2.5, "2.500"},       {-2.5, "-2.500"},
        {0.5, "0.5000"},      {0.05, "0.05000"},
        {0.005, "0.005000"},  {0.0005, "0.0005"},
        {0.00001, "1E-5"},    {0, "0"},
        {-0.0005, "-0.0005"}, {0.000123456, "0.000123456"},
    };
    for (const auto& [value, text] : cases)
        EXPECT_EQ(AdaptiveFloatText(value), text) << value;
}

TEST_F(ClassificationTest, SmallConversions) {
    EXPECT_EQ(BoolText(true), "True");
    EXPECT_EQ(BoolText(false), "False");
    EXPECT_EQ(WindUnitText(setup), "km/h");
    EXPECT_DOUBLE_EQ(WindDisplaySpeed(10, setup), 36);
    setup.Unit_Mph = true;
    EXPECT_EQ(WindUnitText(setup), "Mph");
    EXPECT_NEAR(WindDisplaySpeed(10, setup), 22.369, 1e-3);
    EXPECT_DOUBLE_EQ(DaysToSeconds(1.5), 129600);
    EXPECT_EQ(WindChillText(true, -7.25), "-7.2 °C");
    EXPECT_EQ(WindChillText(false, 0), "Pas disponible");
}

TEST_F(ClassificationTest, GoodConditionsLegend) {
    EXPECT_EQ(GoodConditionsLegend(setup),
              "En vert clair, SI le vent est inférieur à 15 km/h + ciel trés dégagé (Tciel<-20°C) + pas de "
              "pluie, et ciel noir (Magn/sec²>14)");
}

TEST_F(ClassificationTest, StateTextsGoThroughTheTranslator) {
    SetTranslator([](const char* context, const char* text) { return std::string(context) + ":" + text; });
    EXPECT_EQ(ClassifySky(-25, setup).Text, "Classification:DEGAGE");
    EXPECT_EQ(DaysOrHoursText(2), "Classification:2.0 J");
}

} // namespace
