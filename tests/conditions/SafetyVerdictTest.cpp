// The safety verdict with its own clock: unsafe at once, safe only after the delay without a break.
#include <gtest/gtest.h>

#include "Conditions.h"
#include "PublishedConditions.h"
#include "SafetyVerdict.h"

namespace {

constexpr TDateTime T0 = 46365.5;
TDateTime At(double seconds) {
    return T0 + seconds / 86400.0;
}

// A clear, dry, calm, dark reading taken at `seconds`.
TSafetyInputs Fine(double seconds) {
    TSafetyInputs in;
    in.HasReading = true;
    in.LastReading = At(seconds);
    in.CloudCode = CloudClear;
    in.DayCode = DayDark;
    return in;
}

TEST(SafetyVerdictTest, EachConditionMakesItUnsafeAtOnce) {
    struct Case {
        const char* Name;
        void (*Spoil)(TSafetyInputs&);
        TUnsafeReason Reason;
        bool DaylightRule = false;
    };
    const Case cases[] = {
        {"no reading", [](TSafetyInputs& in) { in = {}; }, TUnsafeReason::NoReading},
        {"stale", [](TSafetyInputs& in) { in.LastReading = At(1000 - 121); }, TUnsafeReason::StaleReading},
        {"link lost", [](TSafetyInputs& in) { in.LinkLost = true; }, TUnsafeReason::LinkLost},
        {"relay", [](TSafetyInputs& in) { in.RoofClosed = true; }, TUnsafeReason::RoofClosed},
        {"rain", [](TSafetyInputs& in) { in.Raining = true; }, TUnsafeReason::Rain},
        {"wind", [](TSafetyInputs& in) { in.VeryWindy = true; }, TUnsafeReason::VeryWindy},
        {"cloudy", [](TSafetyInputs& in) { in.CloudCode = CloudCloudy; }, TUnsafeReason::SkyNotClear},
        {"sky unknown", [](TSafetyInputs& in) { in.CloudCode = CloudUnknown; }, TUnsafeReason::SkyNotClear},
        {"day", [](TSafetyInputs& in) { in.DayCode = DayVeryLight; }, TUnsafeReason::Daylight, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TSafetyMonitor monitor({1, c.DaylightRule});
        ASSERT_TRUE(monitor.Update(Fine(0), At(0)) == false);
        ASSERT_TRUE(monitor.Update(Fine(900), At(900))); // safe after the minute
        TSafetyInputs in = Fine(1000);
        c.Spoil(in);
        EXPECT_FALSE(monitor.Update(in, At(1000)));
        EXPECT_EQ(monitor.Reasons(), std::vector{c.Reason});
        EXPECT_FALSE(UnsafeReasonsText(monitor).empty());
    }
    // Daylight counts only when asked for.
    TSafetyMonitor monitor({0, false});
    TSafetyInputs day = Fine(0);
    day.DayCode = DayVeryLight;
    EXPECT_TRUE(monitor.Update(day, At(0)));
}

TEST(SafetyVerdictTest, SafeOnlyAfterTheDelayWithoutABreak) {
    TSafetyMonitor monitor({10, false});
    EXPECT_FALSE(monitor.Update(Fine(0), At(0)));
    EXPECT_EQ(monitor.Reasons(), std::vector{TUnsafeReason::Waiting});
    EXPECT_EQ(UnsafeReasonsText(monitor), "conditions sûres depuis moins de 10 min (encore 600 s)");
    EXPECT_FALSE(monitor.Update(Fine(590), At(599)));
    // A gust in the middle restarts the wait.
    TSafetyInputs gust = Fine(300);
    gust.VeryWindy = true;
    TSafetyMonitor gusty({10, false});
    gusty.Update(Fine(0), At(0));
    EXPECT_FALSE(gusty.Update(gust, At(300)));
    EXPECT_FALSE(gusty.Update(Fine(600), At(600)));
    EXPECT_FALSE(gusty.Update(Fine(1199), At(1199)));
    EXPECT_TRUE(gusty.Update(Fine(1200), At(1200)));
    // Without a break: safe at ten minutes.
    EXPECT_TRUE(monitor.Update(Fine(600), At(600)));
    EXPECT_TRUE(monitor.Reasons().empty());
    // A clock set back does not shorten the next wait.
    monitor.Update(gust, At(700));
    EXPECT_FALSE(monitor.Update(Fine(100), At(100)));
    EXPECT_FALSE(monitor.Update(Fine(650), At(650)));
    EXPECT_TRUE(monitor.Update(Fine(700), At(700)));
}

// The one verdict every service reads: fed with what the controller publishes (readings, relay,
// link), looked at by several readers at several moments, each sees the same value and `since`.
TEST(SafetyVerdictTest, ThePublishedVerdictIsOneForEveryReader) {
    TPublishedConditions published(At(0));
    published.SetSafetyRules({1, false});
    EXPECT_EQ(published.Verdict(At(0)).Reasons(), std::vector{TUnsafeReason::NoReading});
    EXPECT_EQ(published.LastVerdict().Since(), At(0));

    TConditions clear;
    clear.Date = At(10);
    clear.Sky = TSkyState::Clear;
    clear.Wind = TWindState::Calm;
    clear.SkyBackground = TSkyBackgroundState::DarkNight;
    published.PublishMeasurement(clear);
    EXPECT_EQ(published.Verdict(At(10)).Reasons(), std::vector{TUnsafeReason::Waiting});
    EXPECT_EQ(published.LastVerdict().Since(), At(0)); // still unsafe: the same verdict since the start
    const TSafetyMonitor& first = published.Verdict(At(70));
    const TSafetyMonitor& second = published.Verdict(At(75)); // another reader, a moment later
    EXPECT_EQ(&first, &second);
    EXPECT_TRUE(second.IsSafe());
    EXPECT_EQ(second.Since(), At(70));

    TT_Bool roof;
    roof.Valid = true;
    roof.Value = true;
    published.PublishRoofState(roof);
    published.PublishLinkState(true);
    EXPECT_EQ(published.Verdict(At(80)).Reasons(),
              (std::vector{TUnsafeReason::LinkLost, TUnsafeReason::RoofClosed}));
    EXPECT_EQ(published.LastVerdict().Since(), At(80));
    // Stale once no reading has come for two minutes, without a new one.
    roof.Value = false;
    published.PublishRoofState(roof);
    published.PublishLinkState(false);
    EXPECT_EQ(published.Verdict(At(10 + 121)).Reasons(), std::vector{TUnsafeReason::StaleReading});
    EXPECT_EQ(published.LastVerdict().Since(), At(80));

    // A new start forgets the readings, keeps the rules.
    published.Reset(At(200));
    EXPECT_EQ(published.Verdict(At(200)).Reasons(), std::vector{TUnsafeReason::NoReading});
    EXPECT_EQ(published.LastVerdict().Rules().SafeDelayMin, 1);
}

// The follower gathers its inputs from the readings and the link, and dates each change of verdict.
TEST(SafetyVerdictTest, FollowerDatesEachChangeOfVerdict) {
    TSafetyFollower follower({1, false});
    EXPECT_FALSE(follower.ReadingAgeSeconds(At(0)).has_value());
    EXPECT_TRUE(follower.Update(At(0))); // the first verdict is a change: unsafe since now
    EXPECT_EQ(follower.Since(), At(0));
    EXPECT_EQ(follower.Monitor().Reasons(), std::vector{TUnsafeReason::NoReading});

    TcapteursInfos reading{};
    reading.DateSysteme = At(10);
    TConditions clear;
    clear.Sky = TSkyState::Clear;
    clear.SkyBackground = TSkyBackgroundState::DarkNight;
    follower.OnReading(reading, clear);
    EXPECT_FALSE(follower.Update(At(10))); // still unsafe: waiting for the delay
    EXPECT_EQ(follower.Since(), At(0));
    EXPECT_TRUE(follower.Update(At(70)));
    EXPECT_TRUE(follower.IsSafe());
    EXPECT_EQ(follower.Since(), At(70));
    EXPECT_NEAR(*follower.ReadingAgeSeconds(At(70)), 60.0, 1e-3);

    follower.OnLinkState(true);
    EXPECT_TRUE(follower.Update(At(80)));
    EXPECT_EQ(follower.Monitor().Reasons(), std::vector{TUnsafeReason::LinkLost});
    EXPECT_EQ(follower.Since(), At(80));

    // Rain from a reading, with the link back.
    follower.OnLinkState(false);
    reading.DateSysteme = At(90);
    reading.RainStatus = 1;
    follower.OnReading(reading, clear);
    EXPECT_FALSE(follower.Update(At(90))); // unsafe before, unsafe now: no change
    EXPECT_EQ(follower.Monitor().Reasons(), std::vector{TUnsafeReason::Rain});
    EXPECT_EQ(follower.Since(), At(80));
}

} // namespace
