// The halvex-sim command line.
#include <gtest/gtest.h>

#include "SimOptions.h"
#include "StationEncoding.h"

using namespace halvex::sim;

TEST(SimulatorOptions, OptionsReachTheStation) {
    const SimCommandLine c = ParseSimCommandLine({"--link",
                                                  "/tmp/halvex",
                                                  "--firmware=1.11",
                                                  "--seed",
                                                  "42",
                                                  "--speed",
                                                  "60",
                                                  "--day-length",
                                                  "60",
                                                  "--clock",
                                                  "2026-03-04 05:06:07",
                                                  "--interval",
                                                  "10",
                                                  "--records",
                                                  "170",
                                                  "--wraps",
                                                  "1",
                                                  "--erase",
                                                  "3,7",
                                                  "--analog-wind",
                                                  "--criteria",
                                                  "watch=0,sky=-20,rh=85,wind=30,light=1,mag=10.1",
                                                  "--lose",
                                                  "0.1",
                                                  "--corrupt",
                                                  "0.2",
                                                  "--bad-checksum",
                                                  "0.3",
                                                  "--wrong-start",
                                                  "0.4",
                                                  "--long-length",
                                                  "0.5",
                                                  "--short-answer",
                                                  "0.6",
                                                  "--delay",
                                                  "250",
                                                  "--split",
                                                  "3",
                                                  "--split-gap",
                                                  "5",
                                                  "--line-timing",
                                                  "--scenario",
                                                  "rain@3-5",
                                                  "--silent"});
    const StationOptions& o = c.Station;
    EXPECT_EQ(c.LinkPath, "/tmp/halvex");
    EXPECT_EQ(o.Firmware, "1.11");
    EXPECT_EQ(o.Seed, 42u);
    EXPECT_EQ(o.Speed, 60);
    EXPECT_EQ(o.DayLengthSeconds, 3600);
    EXPECT_DOUBLE_EQ(o.StartClock, EncodeDateTime(2026, 3, 4, 5, 6, 7));
    EXPECT_EQ(o.IntervalSec, 10);
    EXPECT_EQ(o.PrefillRecords, 170u);
    EXPECT_EQ(o.PrefillWraps, 1u);
    EXPECT_EQ(o.ErasedRecords, (std::vector<uint32_t>{3, 7}));
    EXPECT_FALSE(o.GustSensor);
    EXPECT_TRUE(o.AnalogWind);
    EXPECT_FALSE(o.Criteria.DoWatch);
    EXPECT_DOUBLE_EQ(o.Criteria.TempSky(), -20);
    EXPECT_EQ(o.Criteria.RhByte, 85);
    EXPECT_EQ(o.Criteria.WindKmh, 30);
    EXPECT_TRUE(o.Criteria.Light);
    EXPECT_EQ(o.Criteria.MagCounter, 800u);
    const LineFaults& f = o.Faults;
    EXPECT_DOUBLE_EQ(f.LostByteRate, 0.1);
    EXPECT_DOUBLE_EQ(f.CorruptByteRate, 0.2);
    EXPECT_DOUBLE_EQ(f.BadChecksumRate, 0.3);
    EXPECT_DOUBLE_EQ(f.WrongStartRate, 0.4);
    EXPECT_DOUBLE_EQ(f.LongLengthRate, 0.5);
    EXPECT_DOUBLE_EQ(f.ShortAnswerRate, 0.6);
    EXPECT_EQ(f.DelayMs, 250);
    EXPECT_EQ(f.SplitPieces, 3);
    EXPECT_EQ(f.SplitGapMs, 5);
    EXPECT_TRUE(f.LineTiming);
    EXPECT_TRUE(f.Silent);
    ASSERT_EQ(o.Scenario.size(), 1u);
    EXPECT_FALSE(c.Help);
    EXPECT_TRUE(ParseSimCommandLine({"--help"}).Help);
}

TEST(SimulatorOptions, BadOptionsAreRefusedWithTheirName) {
    const std::vector<std::vector<std::string>> cases = {
        {"--frobnicate"},
        {"--seed"},
        {"--lose", "1.5"},
        {"--speed", "fast"},
        {"--silent=1"},
        {"--records", "7710"},
        {"--clock", "1999-01-01"},
        {"--criteria", "hail=1"},
        {"--firmware", "2"},
        {"--scenario", "rain"},
    };
    for (const auto& args : cases) {
        SCOPED_TRACE(args[0]);
        try {
            ParseSimCommandLine(args);
            ADD_FAILURE() << "accepted";
        } catch (const std::invalid_argument& e) {
            const std::string option = args[0].substr(0, args[0].find('='));
            if (option != "--scenario") {
                EXPECT_NE(std::string(e.what()).find(option), std::string::npos) << e.what();
            }
        }
    }
}
