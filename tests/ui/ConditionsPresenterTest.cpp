// The information tab's texts of one classified reading, as the window shows them.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "ConditionsPresenter.h"
#include "NumberText.h"
#include "Records.h"
#include "SettingsTable.h"
#include "UserText.h"

namespace {

// A dark, clear, dry night with a 10.8 km/h west wind.
TcapteursInfos Reading() {
    TcapteursInfos r{};
    r.DateSysteme = EncodeDateTime(2013, 3, 27, 4, 5, 9, 370);
    r.DeltaTempDeg = -25;
    r.ValueTempDeg = 8;
    r.ValueCanDeg = 10.5f;
    r.ValueTempFceDeg = 9.3f;
    r.Humidity = 45;
    r.DewPoint = -3.5f;
    r.ValidWindGUST = 1;
    r.WindSpeedMax_ms = static_cast<float>(10.8 / 3.6);
    r.DirSpeedMax_deg = 270;
    r.RainStatus = 0;
    r.PowerRainDet = 5;
    r.ValidLight = 1;
    r.Lumex = (12.4 - 19) * std::log10(2.512); // magnitude 19
    r.PowerVolts = 12.3f;
    return r;
}

class ConditionsPresenterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        InstallSettingDefaults();
        InitStartValues();
        setup = SetupInfos;
    }
    void TearDown() override { SetTranslator({}); }
    TSetupInfos setup;
};

TEST_F(ConditionsPresenterTest, ValuesWithTheirUnitsAndTheStatePanels) {
    setup.SetupInfos_HW.DefrostEnabled = {true, false, true};
    const auto r = Reading();
    const auto v = PresentConditions(ClassifyConditions(r, setup, -25.0));
    EXPECT_EQ(v.TempText, "8.0 °C");
    EXPECT_EQ(v.RainTempText, "9.3 °C");
    EXPECT_EQ(v.IRCanTempText, "10.5 °C");
    EXPECT_EQ(v.SkyTempText, "-25.0 °C");
    EXPECT_EQ(v.HumidityText, "45.0 %");
    EXPECT_EQ(v.DewPointText, "-3.5 °C");
    EXPECT_EQ(v.WindSpeedText, "10.8 km/h");
    EXPECT_EQ(v.WindDirectionText, "O");
    EXPECT_EQ(v.WindChillText, "6.1 °C") << "8 °C in a 10.8 km/h wind";
    EXPECT_EQ(v.PowerText, "5%");
    EXPECT_EQ(v.VoltsText, "12.30 V");
    EXPECT_EQ(v.DefrostText, "Dégivrage actif");
    EXPECT_EQ(v.LightText, AdaptiveFloatText(r.Lumex));
    EXPECT_EQ(v.MagnitudeText, "19.00");
    EXPECT_EQ(v.Sky, SkyPanel(TSkyState::Clear));
    EXPECT_EQ(v.Humidity, AirPanel(TAirState::Dry));
    EXPECT_EQ(v.Rain, RainPanel(false));
    EXPECT_EQ(v.Wind, WindPanel(TWindState::Windy));
    EXPECT_EQ(v.SkyBackground, SkyBackgroundPanel(TSkyBackgroundState::DarkNight));
}

TEST_F(ConditionsPresenterTest, MissingWindAndLightAreShownAsUnavailable) {
    auto r = Reading();
    r.ValidWindGUST = 0;
    r.ValidLight = 0;
    const auto v = PresentConditions(ClassifyConditions(r, setup, std::nullopt));
    EXPECT_EQ(v.WindSpeedText, "Pas de données");
    EXPECT_EQ(v.WindDirectionText, "Pas de données");
    EXPECT_EQ(v.WindChillText, "Pas disponible");
    EXPECT_EQ(v.Wind, (TStatePanel{"Pas disponible", std::nullopt, "", WindUnknown}));
    EXPECT_EQ(v.LightText, "-");
    EXPECT_EQ(v.MagnitudeText, "-");
    EXPECT_EQ(v.SkyBackground, (TStatePanel{"Pas disponible", std::nullopt, "", DayUnknown}));
    EXPECT_EQ(v.Sky, (TStatePanel{"Pas disponible", std::nullopt, "", CloudUnknown}));
}

TEST_F(ConditionsPresenterTest, DefrostTextPrefersDefrostOverDrying) {
    const std::pair<TConditions, std::string> cases[] = {
        {[] {
             TConditions c;
             c.Defrosting = c.DryingAfterRain = true;
             return c;
         }(),
         "Dégivrage actif"},
        {[] {
             TConditions c;
             c.DryingAfterRain = true;
             return c;
         }(),
         "Séchage consécutif à la pluie/neige"},
        {TConditions{}, ""},
    };
    for (const auto& [conditions, text] : cases)
        EXPECT_EQ(PresentConditions(conditions).DefrostText, text);
}

TEST_F(ConditionsPresenterTest, FeltTemperatureText) {
    EXPECT_EQ(WindChillText(true, -7.25), "-7.2 °C");
    EXPECT_EQ(WindChillText(false, 0), "Pas disponible");
}

// The texts are made when shown: a language installed after the classification still applies.
TEST_F(ConditionsPresenterTest, TextsFollowTheLanguageOfTheMomentOfShowing) {
    auto r = Reading();
    r.ValidWindGUST = 0;
    const auto conditions = ClassifyConditions(r, setup, -25.0);
    SetTranslator([](const char* context, const char* text) { return std::string(context) + ":" + text; });
    const auto v = PresentConditions(conditions);
    EXPECT_EQ(v.Sky.Text, "ConditionTexts:DEGAGE");
    EXPECT_EQ(v.WindSpeedText, "ConditionsPresenter:Pas de données");
}

} // namespace
