// The roof relay: closed by the station itself when an enabled criterion is met, held closed until
// the re-arm order.
#include <gtest/gtest.h>

#include "RawFrameClient.h"
#include "StationEncoding.h"
#include "TestSupport.h"

using namespace simtest;
using namespace halvex;
using halvex::sim::RoofCriteria;
using halvex::sim::StationOptions;

namespace {

// Criteria that the model's own weather never meets, so that only the scripted item can.
RoofCriteria QuietCriteria() {
    RoofCriteria c;
    c.DoWatch = true;
    c.RhByte = 255;
    c.WindKmh = 255;
    c.Light = false;
    c.TempSky24 = sim::FloatToFloat24(60);
    c.MagCounter = sim::MagnitudeToCounter(5);
    return c;
}

bool RelayReported(RunningStation& s) {
    const auto flags = s.client.Exchange({OrderGetFlags});
    if (!flags) ADD_FAILURE() << "no flags answer";
    return flags && (*flags)[16] == 1;
}

} // namespace

class SimulatorRelay : public SandboxTest {};

TEST_F(SimulatorRelay, ClosesOnAnyEnabledCriterionAndStaysClosedUntilRearmed) {
    struct Case {
        const char* Name;
        std::string Item; // from minute 1 to minute 2
        bool Closes;
        void (*Adjust)(RoofCriteria&);
    };
    const Case cases[] = {
        {"rain", "rain", true, nullptr},
        {"sky", "sky=-8", true, [](RoofCriteria& c) { c.TempSky24 = sim::FloatToFloat24(-10); }},
        {"clear sky", "sky=-25", false, [](RoofCriteria& c) { c.TempSky24 = sim::FloatToFloat24(-10); }},
        {"humidity", "rh=95", true, [](RoofCriteria& c) { c.RhByte = 90; }},
        {"wind", "wind=60", true, [](RoofCriteria& c) { c.WindKmh = 50; }},
        {"light", "mag=3", true, [](RoofCriteria& c) { c.Light = true; }},
        {"light not enabled", "mag=3", false, nullptr},
        {"watch off", "rain", false, [](RoofCriteria& c) { c.DoWatch = false; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        StationOptions o = RunningStation::Manual();
        o.Criteria = QuietCriteria();
        if (c.Adjust) c.Adjust(o.Criteria);
        o.Scenario = sim::ParseScenario("dry@0-100,sky=-30@0-100,mag=20@0-100,rh=50@0-100,wind=10@0-100," +
                                        c.Item + "@1-2");
        RunningStation s(o);
        s.station.AdvanceTime(50);
        EXPECT_FALSE(RelayReported(s));
        s.station.AdvanceTime(20);
        EXPECT_EQ(RelayReported(s), c.Closes);
        s.station.AdvanceTime(120); // the condition is over
        EXPECT_EQ(RelayReported(s), c.Closes);
        ASSERT_TRUE(s.client.Exchange({OrderRearm}));
        EXPECT_FALSE(RelayReported(s));
        s.station.AdvanceTime(10);
        EXPECT_FALSE(s.station.RelayClosed());
    }
}

TEST_F(SimulatorRelay, RearmedWhileStillBadClosesAgainAtTheNextCheck) {
    StationOptions o = RunningStation::Manual();
    o.Criteria = QuietCriteria();
    o.Scenario = sim::ParseScenario("rain@0-10");
    RunningStation s(o);
    s.station.AdvanceTime(5);
    ASSERT_TRUE(s.station.RelayClosed());
    ASSERT_TRUE(s.client.Exchange({OrderRearm}));
    EXPECT_FALSE(RelayReported(s));
    s.station.AdvanceTime(1);
    EXPECT_TRUE(RelayReported(s));
}

TEST_F(SimulatorRelay, CriteriaSentWithTheSetupTakeEffect) {
    StationOptions o = RunningStation::Manual();
    o.Criteria = QuietCriteria();
    o.Scenario = sim::ParseScenario("dry@0-100,rh=80@0-100");
    RunningStation s(o);
    s.station.AdvanceTime(30);
    EXPECT_FALSE(RelayReported(s));
    // Heating on, watch on, RH 75 %, wind 255, light off, sky +60 (never), magnitude counter.
    const auto sky = sim::FloatToFloat24(60);
    ASSERT_TRUE(s.client.Exchange({OrderSetup, 1, 1, 75, 255, 0, sky[0], sky[1], sky[2], 0, 0, 0x03, 0x20}));
    s.station.AdvanceTime(1);
    EXPECT_TRUE(RelayReported(s));
}
