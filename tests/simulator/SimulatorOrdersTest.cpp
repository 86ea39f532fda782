// Every order over the pseudo-terminal, answered with the byte layout the PC reads.
#include <cmath>
#include <gtest/gtest.h>

#include "RawFrameClient.h"
#include "StationEncoding.h"
#include "TestSupport.h"

using namespace simtest;
using namespace halvex;
using halvex::sim::StationOptions;

namespace {

StationOptions WithFirmware(const std::string& firmware) {
    StationOptions o = RunningStation::Manual();
    o.Firmware = firmware;
    return o;
}

TDateTime ClockOfWeather(const TArrayByte& a) {
    return EncodeDateTime(2000 + Bcd(a[11]), Bcd(a[10]), Bcd(a[9]), Bcd(a[8]), Bcd(a[7]), Bcd(a[6]));
}

} // namespace

class SimulatorOrders : public SandboxTest {};

TEST_F(SimulatorOrders, EveryOrderIsAnsweredWithItsLayout) {
    RunningStation s;
    struct Case {
        TArrayByte Order;
        std::size_t PayloadSize;
    };
    const Case cases[] = {
        {{OrderGetVersion}, 13},
        {{OrderGetWeather}, WeatherAnswerSize},
        {{OrderGetLight}, LightAnswerSize},
        {{OrderGetGustWind}, GustWindAnswerSize},
        {{OrderGetIRGain}, IRGainAnswerSize},
        {{OrderGetFlags}, FlagsAnswerSize},
        {{OrderGetAnalogWind}, AnalogWindAnswerSize},
        {{OrderGetCriteria}, CriteriaAnswerSize},
        {ReadRecordOrder(7710), RecordSize},
        {{OrderSetDate, 0x05, 0x04, 0x03, 0x02, 0x01, 0x27, 60, 0}, 1},
        {{OrderSetIR, 40, 70}, 1},
        {{OrderSetup, 1, 1, 90, 50, 0, 0xC1, 0x20, 0x00, 0, 1, 0x38, 0x80}, 1},
        {{OrderRearm}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "order 0x" << std::hex << int{c.Order[0]});
        const auto answer = s.client.Exchange(c.Order);
        ASSERT_TRUE(answer.has_value());
        EXPECT_EQ(answer->size(), c.PayloadSize);
        EXPECT_LE(answer->size(), MaxAnswerPayload);
    }
    EXPECT_EQ(s.station.ReceivedOrders().size(), std::size(cases));
}

TEST_F(SimulatorOrders, VersionLayoutFollowsTheFirmware) {
    struct Case {
        std::string Firmware;
        uint8_t Major, Minor;
        std::size_t VersionSize;
        bool AnswersCriteriaOrder;
    };
    const Case cases[] = {
        {"1.11", 1, 11, 20, false},
        {"2.65", 2, 65, 13, true},
        {"2.100", 2, 100, 20, false}, // read as 2.1 by the PC: criteria in the 0x1A answer
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Firmware);
        StationOptions o = WithFirmware(c.Firmware);
        o.PrefillRecords = 10;
        o.IntervalSec = 300;
        o.IdleSeconds = 1e9; // polled once, the station records nothing while the clock moves on
        RunningStation s(o);
        ASSERT_TRUE(s.client.Exchange({OrderGetIRGain}));
        s.station.AdvanceTime(1000);
        const auto a = s.client.Exchange({OrderGetVersion});
        ASSERT_TRUE(a.has_value());
        ASSERT_EQ(a->size(), c.VersionSize);
        EXPECT_EQ((*a)[0], c.Major);
        EXPECT_EQ((*a)[1], c.Minor);
        EXPECT_EQ((uint32_t{(*a)[2]} << 16) | ((*a)[3] << 8) | (*a)[4], 170u); // P = 10 records
        EXPECT_EQ((*a)[5], 0);                                                 // W
        EXPECT_EQ(WordLE(*a, 6), 300);                                         // I, low byte first
        EXPECT_EQ(LongBE(*a, 8), 1000u);                                       // seconds since start
        EXPECT_EQ((*a)[12], 1);                                                // heating allowed
        if (c.VersionSize == 20) { // watch, RH, wind, light, sky threshold -10 low byte first
            EXPECT_EQ(TArrayByte(a->begin() + 13, a->end()), (TArrayByte{1, 90, 50, 0, 0x00, 0x20, 0xC1}));
        }
        EXPECT_EQ(s.client.Exchange({OrderGetCriteria}, 300).has_value(), c.AnswersCriteriaOrder);
    }
}

TEST_F(SimulatorOrders, SetupIsHeldAndReportedBack) {
    RunningStation s;
    // Heating off, watch on, RH 85, wind 30 km/h, light on, sky -20 (high byte first), counter 800.
    ASSERT_TRUE(s.client.Exchange({OrderSetup, 0, 1, 85, 30, 1, 0xC1, 0xA0, 0x00, 0x00, 0x00, 0x03, 0x20}));
    const auto c = s.client.Exchange({OrderGetCriteria});
    ASSERT_TRUE(c.has_value());
    EXPECT_EQ(*c, (TArrayByte{1, 85, 30, 1, 0x00, 0xA0, 0xC1, 0x00, 0x00, 0x03, 0x20})); // sky low byte first
    EXPECT_DOUBLE_EQ(s.station.Criteria().TempSky(), -20.0);
    EXPECT_NEAR(s.station.Criteria().Magnitude(), 10.1, 1e-3);
    const auto v = s.client.Exchange({OrderGetVersion});
    ASSERT_TRUE(v.has_value());
    EXPECT_EQ((*v)[12], 0); // heating no longer allowed

    ASSERT_TRUE(s.client.Exchange({OrderSetIR, 40, 70}));
    EXPECT_EQ(s.client.Exchange({OrderGetIRGain}), (TArrayByte{0, 0, 40, 70}));
}

TEST_F(SimulatorOrders, WeatherBlockEncodesTheWeatherAndTheClock) {
    StationOptions o = RunningStation::Manual();
    o.Scenario = sim::ParseScenario("temp=5@0-10,rh=80@0-10,sky=-25@0-10,rain@0-5,dry@5-10");
    RunningStation s(o);
    s.station.AdvanceTime(60);
    struct Case {
        double At; // model seconds
        bool Rain;
    };
    for (const Case& c : {Case{60, true}, Case{400, false}}) {
        s.station.AdvanceTime(c.At - s.station.ModelSeconds());
        const auto a = s.client.Exchange({OrderGetWeather});
        ASSERT_TRUE(a.has_value());
        EXPECT_NEAR(CountToTemperature(WordLE(*a, 0)), 5.0, 0.01);
        EXPECT_NEAR(WordLE(*a, 2) / 65536.0 * 3 * 5 * 1.07, 12.5, 0.2); // supply
        EXPECT_NEAR(CountToHumidity(WordLE(*a, 4)), 80.0, 0.1);
        EXPECT_NEAR(ClockOfWeather(*a), s.station.Clock(), 1.5 / 86400);
        EXPECT_NEAR(CountToSkyDegrees(WordLE(*a, 14)) - 5.0, -25.0, 0.1);
        EXPECT_EQ((*a)[18], c.Rain ? 0 : 1);
        const auto flags = s.client.Exchange({OrderGetFlags});
        ASSERT_TRUE(flags.has_value());
        EXPECT_EQ((*flags)[13], c.Rain ? 1 : 0);
        EXPECT_EQ((*flags)[14], c.Rain ? 0 : 1); // drying after the rain
        EXPECT_GT((*flags)[3], 0);               // heater on for rain and drying
    }
}

TEST_F(SimulatorOrders, WindComesFromTheGustOrTheAnalogSensor) {
    const auto scenario = sim::ParseScenario("wind=36@0-10,dir=90@0-10");
    {
        StationOptions o = RunningStation::Manual();
        o.Scenario = scenario;
        RunningStation s(o);
        const auto g = s.client.Exchange({OrderGetGustWind});
        ASSERT_TRUE(g.has_value());
        EXPECT_EQ(WordLE(*g, 1), 0);    // status: data present
        EXPECT_EQ((*g)[11], 4);         // sector E
        EXPECT_EQ(WordLE(*g, 12), 100); // 10.0 m/s in tenths
    }
    {
        StationOptions o = RunningStation::Manual();
        o.Scenario = scenario;
        o.GustSensor = false;
        o.AnalogWind = true;
        RunningStation s(o);
        const auto g = s.client.Exchange({OrderGetGustWind});
        ASSERT_TRUE(g.has_value());
        EXPECT_EQ(WordLE(*g, 1), 0x8000);
        const auto a = s.client.Exchange({OrderGetAnalogWind});
        ASSERT_TRUE(a.has_value());
        const double l4 = 3074.61446808511, span = 4 * l4;
        EXPECT_NEAR((WordLE(*a, 0) - l4) / span * 30, 10.0, 0.01);
        EXPECT_NEAR((WordLE(*a, 2) - l4) / span * 360, 90.0, 0.05);
    }
}

TEST_F(SimulatorOrders, PhotodiodeCounterGivesTheSkyBrightness) {
    struct Case {
        double Magnitude;
        uint8_t Gain;
    };
    for (const Case& c : {Case{19, 100}, Case{10, 10}, Case{2, 1}}) {
        SCOPED_TRACE(c.Magnitude);
        StationOptions o = RunningStation::Manual();
        o.Scenario = sim::ParseScenario("mag=" + std::to_string(c.Magnitude) + "@0-100");
        RunningStation s(o);
        s.station.AdvanceTime(30);
        const auto first = s.client.Exchange({OrderGetLight});
        s.station.AdvanceTime(300);
        const auto second = s.client.Exchange({OrderGetLight});
        ASSERT_TRUE(first && second);
        EXPECT_EQ((*second)[5], c.Gain);
        EXPECT_EQ((*first)[4], (*second)[4]);
        // The PC's count rate and light level (dark offset 0.0025).
        const double rate = (LongBE(*second, 0) - LongBE(*first, 0)) / 300.0 * (*second)[4] / (*second)[5];
        EXPECT_NEAR(sim::LumexToMagnitude(std::log10(rate - 0.0025)), c.Magnitude, 0.1);
    }
}

TEST_F(SimulatorOrders, MalformedAndUnknownOrdersAreIgnored) {
    RunningStation s;
    TArrayByte bad = BuildOrderFrame({OrderGetVersion});
    bad.back() ^= 0x55;
    s.client.SendRaw(bad);
    EXPECT_TRUE(s.client.ReadFrame(300).empty());
    EXPECT_FALSE(s.client.Exchange({0x40}, 300).has_value());
    EXPECT_FALSE(s.client.Exchange({OrderReadRecord, 0}, 300).has_value()); // address missing
    // Noise before a good frame does not hide it.
    TArrayByte noisy = {0x00, 0x55};
    const TArrayByte good = BuildOrderFrame({OrderGetIRGain});
    noisy.insert(noisy.end(), good.begin(), good.end());
    s.client.SendRaw(noisy);
    EXPECT_TRUE(RawFrameClient::PayloadOf(s.client.ReadFrame()).has_value());
}
