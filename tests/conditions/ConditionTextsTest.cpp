#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "ConditionTexts.h"
#include "Records.h"
#include "SettingsTable.h"
#include "UserText.h"

namespace {

class ConditionTextsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        InstallSettingDefaults();
        InitStartValues();
        setup = SetupInfos;
    }
    void TearDown() override { SetTranslator({}); }
    TSetupInfos setup;
};

TEST_F(ConditionTextsTest, EveryStateHasItsTextColourHintAndCode) {
    const std::optional<TRgb> neutral;
    const std::string dark = "Nuit noire sans Lune",
                      grey = "Crépuscule terminant, présence de Lune ou de forte pollution lumineuse...";
    const struct {
        const char* what;
        TStatePanel panel;
        TStatePanel expected;
    } cases[] = {
        {"sky unknown", SkyPanel(TSkyState::Unknown), {"Pas disponible", neutral, "", CloudUnknown}},
        {"clear", SkyPanel(TSkyState::Clear), {"DEGAGE", ColorGreen, "", CloudClear}},
        {"cloudy", SkyPanel(TSkyState::Cloudy), {"COUVERT", ColorOrange, "", CloudCloudy}},
        {"very cloudy", SkyPanel(TSkyState::VeryCloudy), {"TRES COUVERT", ColorRed, "", CloudVeryCloudy}},
        {"dry", AirPanel(TAirState::Dry), {"SEC", ColorGreen, "", RainDry}},
        {"humid", AirPanel(TAirState::Humid), {"HUMIDE", ColorOrange, "", RainWet}},
        {"very humid", AirPanel(TAirState::VeryHumid), {"TRES HUMIDE", ColorRed, "", RainWet}},
        {"rain", RainPanel(true), {"OUI", ColorRed, "", 1}},
        {"no rain", RainPanel(false), {"NON", ColorGreen, "", 0}},
        {"wind unknown", WindPanel(TWindState::Unknown), {"Pas disponible", neutral, "", WindUnknown}},
        {"calm", WindPanel(TWindState::Calm), {"CALME", ColorGreen, "", WindCalm}},
        {"windy", WindPanel(TWindState::Windy), {"VENTEUX", ColorOrange, "", WindWindy}},
        {"very windy", WindPanel(TWindState::VeryWindy), {"TRES VENTEUX", ColorRed, "", WindVeryWindy}},
        {"background unknown",
         SkyBackgroundPanel(TSkyBackgroundState::Unknown),
         {"Pas disponible", neutral, "", DayUnknown}},
        {"dark night",
         SkyBackgroundPanel(TSkyBackgroundState::DarkNight),
         {"NUIT NOIRE", ColorGreen, dark, DayDark}},
        {"grey night",
         SkyBackgroundPanel(TSkyBackgroundState::GreyNight),
         {"NUIT \"GRISE\"", ColorYellowGreen, grey, DayDark}},
        {"twilight",
         SkyBackgroundPanel(TSkyBackgroundState::Twilight),
         {"CREPUSCULE", ColorOrange, "Crépuscule avancé", DayLight}},
        {"day",
         SkyBackgroundPanel(TSkyBackgroundState::Day),
         {"JOUR", ColorRed, "Jour (Soleil levé)", DayVeryLight}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.panel, c.expected) << c.what;
}

TEST_F(ConditionTextsTest, HeadlessStatesLine) {
    TConditions c;
    EXPECT_EQ(StatesLine(c, "Pas disponible"),
              "Ciel: Pas disponible | Air: SEC | Pluie: NON | Vent: Pas disponible | "
              "Fond de ciel: Pas disponible | Relais: Pas disponible");
    c.Sky = TSkyState::VeryCloudy;
    c.Air = TAirState::VeryHumid;
    c.Raining = true;
    c.Wind = TWindState::Windy;
    c.SkyBackground = TSkyBackgroundState::GreyNight;
    EXPECT_EQ(StatesLine(c, " Fermé"), "Ciel: TRES COUVERT | Air: TRES HUMIDE | Pluie: OUI | Vent: VENTEUX | "
                                       "Fond de ciel: NUIT \"GRISE\" | Relais:  Fermé");
}

TEST_F(ConditionTextsTest, DurationText) {
    const std::pair<double, std::string> cases[] = {
        {0, "0 sec"},    {59.4, "59 sec"},   {59.6, "60 sec"},  {60, "1.0 min"},
        {90, "1.5 min"}, {3599, "60.0 min"}, {3600, "1.0 hrs"}, {5400, "1.5 hrs"},
    };
    for (const auto& [seconds, text] : cases)
        EXPECT_EQ(DurationText(seconds), text) << seconds;
}

TEST_F(ConditionTextsTest, ElapsedText) {
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

TEST_F(ConditionTextsTest, DaysOrHoursText) {
    EXPECT_EQ(DaysOrHoursText(1.5), "1.5 J");
    EXPECT_EQ(DaysOrHoursText(1), "24.0 h");
    EXPECT_EQ(DaysOrHoursText(0.25), "6.0 h");
}

TEST_F(ConditionTextsTest, BoolAndWindUnitTexts) {
    EXPECT_EQ(BoolText(true), "True");
    EXPECT_EQ(BoolText(false), "False");
    EXPECT_EQ(WindUnitText(setup), "km/h");
    setup.Unit_Mph = true;
    EXPECT_EQ(WindUnitText(setup), "Mph");
}

TEST_F(ConditionTextsTest, GoodConditionsLegend) {
    EXPECT_EQ(GoodConditionsLegend(setup),
              "En vert clair, SI le vent est inférieur à 15 km/h + ciel trés dégagé (Tciel<-20°C) + pas de "
              "pluie, et ciel noir (Magn/sec²>14)");
}

// Made at each call, so a language installed meanwhile shows at the next one.
TEST_F(ConditionTextsTest, TextsGoThroughTheTranslatorOfTheMoment) {
    EXPECT_EQ(SkyPanel(TSkyState::Clear).Text, "DEGAGE");
    SetTranslator([](const char* context, const char* text) { return std::string(context) + ":" + text; });
    EXPECT_EQ(SkyPanel(TSkyState::Clear).Text, "ConditionTexts:DEGAGE");
    EXPECT_EQ(SkyBackgroundPanel(TSkyBackgroundState::Day).Hint, "ConditionTexts:Jour (Soleil levé)");
    EXPECT_EQ(DaysOrHoursText(2), "ConditionTexts:2.0 J");
}

// Compass names: rounding ties to even, wrapping past north; no number, no sector.
TEST_F(ConditionTextsTest, WindDirectionsHaveTheirSectorNames) {
    const std::vector<std::pair<float, const char*>> sectors = {
        {0, "N"}, {11.25f, "N"}, {33.75f, "NE"}, {355, "N"}, {292.5f, "W-NO"}, {180, "S"}, {247.5f, "O-SO"}};
    for (const auto& [degrees, name] : sectors)
        EXPECT_EQ(Degrees_ToSectorName(degrees), name) << degrees;
    EXPECT_EQ(Degrees_ToSectorName(std::nanf("")), "Pas de données");
}

} // namespace
