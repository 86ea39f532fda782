// The roof relay's decisions without a station or a wait: the relay states come in as the station
// would report them, the waiting time runs on an injected UTC clock, and the owner's part (sounds,
// program, re-arm list) is recorded.
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>
#include <vector>

#include "Log.h"
#include "RelayController.h"
#include "TestSupport.h"

namespace {

constexpr double Minute = 1.0 / 1440;

class RelayControllerTest : public SandboxTest {
  protected:
    void SetUp() override {
        SandboxTest::SetUp();
        SetClockForTests([] { return 46365.5; });
        inputs.Criteria.DoWatch = {true, true, true};
        inputs.Criteria.TempSky = {-10, 0, true};
        inputs.Criteria.RH = {90, 0, true};
        inputs.Criteria.Wind = {50, 0, true};
        inputs.Criteria.Light = {false, false, true};
        inputs.Criteria.ValueMag = {18, 0, true};
        inputs.AlarmSound = "Relay.wav";
        inputs.AlarmProgram = "/usr/bin/alarm";
        clear.DeltaTempDeg = -20;
        clear.Humidity = 60;
        clear.WindSpeedMax_ms = 10 / 3.6f;
        clear.ValidWindGUST = 1;
    }

    // One reading with the relay closed (true), open (false).
    void Reading(bool closed, const TcapteursInfos& current) {
        inputs.Roof = {closed, false, true};
        relay.UpdateRelayDisplay(inputs, current);
    }
    void Reading(bool closed) { Reading(closed, clear); }

    void AutoRearmAfter(uint16_t minutes) {
        inputs.Criteria.DoReamAuto = true;
        inputs.Criteria.AfterMinutes = minutes;
    }

    static int CountLogLines(const std::string& text) {
        int n = 0;
        for (const auto& line : SplitLines(ReadWholeFile(PathLogs + LogFileNameToday())))
            if (line.size() >= text.size() && line.compare(line.size() - text.size(), text.size(), text) == 0)
                ++n;
        return n;
    }

    const TRelayDisplay& Shown() const { return relay.Display(); }

    TDateTime utc = 46365.0;
    std::vector<std::string> sounds, programs;
    std::vector<bool> rearms; // quiet flag of each re-arm asked for
    int changes = 0;
    bool programFails = false;
    TPublishedConditions published{46365.5};
    TRelayInputs inputs;
    TcapteursInfos clear{};
    TRelayController relay{published,
                           {.PlaySound = [this](const std::string& f) { sounds.push_back(f); },
                            .RunProgram =
                                [this](const std::string& p) {
                                    if (programFails) throw std::runtime_error("cannot start");
                                    programs.push_back(p);
                                },
                            .StartRearm = [this](bool quiet) { rearms.push_back(quiet); },
                            .Changed = [this] { ++changes; }},
                           [this] { return utc; }};
};

TEST_F(RelayControllerTest, AClosingRaisesTheAlarmOnceUntilTheRelayIsRearmed) {
    EXPECT_EQ(Shown().Panel.Text, "Pas disponible");
    EXPECT_EQ(Shown().ButtonCaption, "Ouvrir relais");
    EXPECT_FALSE(Shown().ButtonEnabled);

    Reading(true);
    Reading(true);
    EXPECT_EQ(Shown().Panel.Text, " Fermé");
    EXPECT_EQ(Shown().Panel.Colour, ColorRed);
    EXPECT_EQ(Shown().Panel.Hint, "Activé à 09/12/2026 12:00:00");
    EXPECT_TRUE(Shown().ButtonEnabled);
    EXPECT_TRUE(published.Values().RoofCloseRequested);
    EXPECT_EQ(sounds, std::vector<std::string>{"Relay.wav"});
    EXPECT_EQ(programs, std::vector<std::string>{"/usr/bin/alarm"});
    EXPECT_EQ(CountLogLines("Alarme : activation du relai d'urgence !"), 1);
    EXPECT_EQ(CountLogLines("Relay closed condition met"), 1);
    EXPECT_EQ(relay.PassRelay(), 2);
    EXPECT_EQ(changes, 2);

    // Open, then closed again without a re-arm: a new waiting time, but the alarm stays raised.
    Reading(false);
    EXPECT_EQ(Shown().Panel.Text, " Ouvert");
    EXPECT_EQ(Shown().Panel.Colour, ColorGreen);
    EXPECT_FALSE(published.Values().RoofCloseRequested);
    Reading(true);
    EXPECT_EQ(sounds.size(), 1u);
    EXPECT_EQ(CountLogLines("Relay closed condition met"), 2);

    // Re-armed by hand while the station still reports it closed: the alarm again.
    relay.RearmRelay(false);
    EXPECT_EQ(rearms, std::vector<bool>{false});
    EXPECT_FALSE(Shown().ButtonEnabled);
    inputs.Roof = {true, false, true};
    relay.RearmDone(inputs, clear);
    EXPECT_EQ(sounds.size(), 2u);
    EXPECT_EQ(CountLogLines("Alarme : activation du relai d'urgence !"), 2);
}

// A program that cannot start ends the reading before the button is enabled: the next reading
// raises the alarm again.
TEST_F(RelayControllerTest, AnAlarmProgramThatFailsIsTriedAgainAtTheNextReading) {
    programFails = true;
    EXPECT_THROW(Reading(true), std::runtime_error);
    EXPECT_FALSE(Shown().ButtonEnabled);
    EXPECT_EQ(CountLogLines("Alarme : activation du relai d'urgence !"), 0);
    programFails = false;
    Reading(true);
    EXPECT_EQ(sounds.size(), 2u);
    EXPECT_EQ(programs.size(), 1u);
    EXPECT_TRUE(Shown().ButtonEnabled);
    EXPECT_EQ(CountLogLines("Alarme : activation du relai d'urgence !"), 1);
}

TEST_F(RelayControllerTest, TheButtonCountsDownTheWaitingTime) {
    AutoRearmAfter(120);
    Reading(true);
    EXPECT_EQ(Shown().ButtonCaption, "Ouvrir relais"); // the closing reading starts the wait
    const struct {
        double minutes;
        const char* caption;
    } cases[] = {
        {0, "Ouvrir relai  [120.0 m]"},    {30, "Ouvrir relai  [90.0 m]"}, {119.5, "Ouvrir relai  [0.5 m]"},
        {119.96, "Ouvrir relai  [0.0 m]"}, {60, "Ouvrir relai  [60.0 m]"}, // a clock set back counts up
    };
    const TDateTime start = utc;
    for (const auto& k : cases) {
        utc = start + k.minutes * Minute;
        Reading(true);
        EXPECT_EQ(Shown().ButtonCaption, k.caption) << k.minutes;
    }
    EXPECT_TRUE(rearms.empty());
}

TEST_F(RelayControllerTest, TheRelayIsRearmedQuietlyWhenTheWaitEndsWithTheConditionsMet) {
    AutoRearmAfter(2);
    Reading(true);
    utc += 1.9 * Minute;
    Reading(true);
    EXPECT_EQ(Shown().ButtonCaption, "Ouvrir relai  [0.1 m]");
    EXPECT_TRUE(rearms.empty());
    utc += 0.2 * Minute;
    Reading(true);
    EXPECT_EQ(rearms, std::vector<bool>{true});
    EXPECT_EQ(Shown().ButtonCaption, "Ouvrir relai");
    EXPECT_FALSE(Shown().ButtonEnabled);
    EXPECT_EQ(CountLogLines("Rearm condition met -> OK"), 1);
    EXPECT_EQ(CountLogLines("Relay closed condition met"), 1);

    // The set-up after the re-arm finds the relay open.
    inputs.Roof = {false, false, true};
    relay.RearmDone(inputs, clear);
    EXPECT_EQ(Shown().Panel.Text, " Ouvert");
    EXPECT_EQ(Shown().Panel.Hint, "Réarmé à : 09/12/2026 12:00:00");
}

TEST_F(RelayControllerTest, AWaitThatEndsWithoutTheConditionsStartsAFullOneAgain) {
    AutoRearmAfter(2);
    TcapteursInfos rain = clear;
    rain.RainStatus = 1;
    Reading(true, rain);
    utc += 2.5 * Minute;
    Reading(true, rain);
    EXPECT_TRUE(rearms.empty());
    EXPECT_EQ(Shown().ButtonCaption, "Ouvrir relai");
    EXPECT_EQ(CountLogLines("Relay closed condition met"), 2);
    utc += 0.5 * Minute;
    Reading(true, clear);
    EXPECT_EQ(Shown().ButtonCaption, "Ouvrir relai  [1.5 m]");
    EXPECT_TRUE(rearms.empty());

    // A criterion the station did not report blocks the re-arm as well.
    inputs.Criteria.Wind.Valid = false;
    utc += 2 * Minute;
    Reading(true, clear);
    EXPECT_TRUE(rearms.empty());
    EXPECT_EQ(CountLogLines("Relay closed condition met"), 3);
}

TEST_F(RelayControllerTest, WithoutAutomaticRearmTheButtonKeepsItsCaption) {
    inputs.Criteria.AfterMinutes = 2;
    Reading(true);
    utc += 600 * Minute;
    Reading(true);
    EXPECT_EQ(Shown().ButtonCaption, "Ouvrir relais");
    EXPECT_TRUE(rearms.empty());
    EXPECT_TRUE(Shown().ButtonEnabled);
}

TEST_F(RelayControllerTest, CriteriaAreShownAsReportedAndAnUnreportedRelayIsNotWatched) {
    inputs.Roof = {true, false, false};
    relay.UpdateRelayDisplay(inputs, clear);
    EXPECT_EQ(Shown().Panel,
              (TStatePanel{"Pas disponible", std::nullopt, "Non activé, pas de surveillance", 0}));
    EXPECT_EQ(Shown().WatchText, "OUI");
    EXPECT_EQ(Shown().SkyThresholdText, "-10 °C");
    EXPECT_EQ(Shown().RHThresholdText, "90 %");
    EXPECT_EQ(Shown().WindThresholdText, "50 km/h");
    EXPECT_EQ(Shown().LightText, "NON");
    EXPECT_EQ(Shown().MagnitudeText, "18.0");
    EXPECT_EQ(relay.PassRelay(), 0);
    EXPECT_TRUE(sounds.empty());
    EXPECT_FALSE(published.Values().RoofCloseRequested);

    inputs.Criteria = {};
    relay.UpdateRelayDisplay(inputs, clear);
    for (const auto* text : {&Shown().WatchText, &Shown().SkyThresholdText, &Shown().RHThresholdText,
                             &Shown().WindThresholdText, &Shown().LightText, &Shown().MagnitudeText})
        EXPECT_EQ(*text, "???");

    // The first reported state after start, already closed: alarm and waiting time at once.
    Reading(true);
    EXPECT_EQ(relay.PassRelay(), 1);
    EXPECT_EQ(sounds.size(), 1u);
    EXPECT_EQ(CountLogLines("Relay closed condition met"), 1);
}

TEST_F(RelayControllerTest, AFailedRearmLeavesTheRelayUnreportedWithoutAnAlarm) {
    Reading(true);
    relay.RearmRelay(false);
    relay.RearmFailed();
    EXPECT_EQ(Shown().Panel, (TStatePanel{"Pas disponible", std::nullopt, "", 0}));
    EXPECT_EQ(Shown().WatchText, "???");
    EXPECT_FALSE(Shown().ButtonEnabled);
    EXPECT_EQ(sounds.size(), 1u);
}

} // namespace
