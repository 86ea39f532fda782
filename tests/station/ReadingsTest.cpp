#include <cmath>
#include <fmt/printf.h>
#include <gtest/gtest.h>
#include <map>

#include "Conversions.h"
#include "ConditionFiles.h"
#include "ScriptedPeer.h"
#include "SimulatedStation.h"
#include "UserText.h"

using halvex::TArrayByte;
using halvex::sim::StationOptions;

namespace {

class Readings : public SimulatedStationTest {};

// A station whose answers are written byte by byte by the test.
class ScriptedReadings : public StationSandbox {
  protected:
    void SetUp() override {
        StationSandbox::SetUp();
        peer_ = std::make_unique<ScriptedPeer>([this](const TArrayByte& order) {
            std::lock_guard guard(mutex_);
            const auto it = answers_.find(order.at(0));
            return it == answers_.end() ? TArrayByte{} : Answer(it->second);
        });
        com_.OpenDevice(peer_->DevicePath(), false);
    }
    void TearDown() override {
        com_.CloseCom();
        peer_.reset();
        StationSandbox::TearDown();
    }
    void Set(uint8_t code, TArrayByte payload) {
        std::lock_guard guard(mutex_);
        answers_[code] = std::move(payload);
    }
    // A plausible weather block: 2013-03-27 04:05:09, dry.
    static TArrayByte WeatherBlock(uint8_t rainFlag = 1) {
        return {0x00, 0x6C, 0x00, 0x80, 0x00, 0x60, 0x09, 0x05, 0x04,    0x27,
                0x03, 0x13, 0x00, 0x70, 0x00, 0x30, 0x00, 0x50, rainFlag};
    }
    static TArrayByte Gust(uint16_t status, uint8_t sector, uint16_t tenths) {
        TArrayByte g(14, 0);
        g[1] = status & 0xFF;
        g[2] = status >> 8;
        g[11] = sector;
        g[12] = tenths & 0xFF;
        g[13] = tenths >> 8;
        return g;
    }
    static TArrayByte Light(uint32_t counter, uint8_t divider, uint8_t gain) {
        return {uint8_t(counter >> 24),
                uint8_t(counter >> 16),
                uint8_t(counter >> 8),
                uint8_t(counter),
                divider,
                gain};
    }
    std::string Run(std::vector<Tcommand> commands) { return RunList(commands, com_); }

    std::mutex mutex_;
    std::map<uint8_t, TArrayByte> answers_;
    std::unique_ptr<ScriptedPeer> peer_;
    TComObjRs232 com_;
};

} // namespace

TEST_F(Readings, WeatherReadingDecodesTheStationAndWritesInfoData) {
    SetupInfos.Log.VerboseLevel = LogExpert;
    StationOptions options;
    options.Scenario = halvex::sim::ParseScenario("rain@0-5");
    StartStation(options);
    EXPECT_EQ(RunList({TCom_getSensorInfos}, com_, &listener_), "");
    const auto w = station_->Weather();
    const TcapteursInfos& c = CurrentCapteursInfos;
    EXPECT_EQ(FieldValue(c.DateSysteme), StartClock);
    EXPECT_NEAR(c.ValueTempDeg, w.AmbientC, 0.01);
    EXPECT_NEAR(c.ValueSkyDeg - c.ValueTempDeg, w.SkyMinusAmbient, 0.1);
    EXPECT_NEAR(c.DeltaTempDeg, c.ValueSkyDeg - c.ValueTempDeg, 1e-5);
    EXPECT_NEAR(c.Humidity, w.Humidity, 0.1);
    EXPECT_NEAR(c.DewPoint, DewPointOf(c.ValueTempDeg, c.Humidity), 1e-4);
    EXPECT_NEAR(c.ValueCanDeg, w.AmbientC + 0.5, 0.1);
    EXPECT_EQ(c.RainStatus, 1);
    EXPECT_TRUE(c.ValidWindGUST);
    EXPECT_NEAR(c.WindSpeedMax_ms, w.GustKmh / 3.6, 0.051);
    const auto& hw = SetupInfos.SetupInfos_HW;
    EXPECT_TRUE(hw.RainStatus.Valid);
    EXPECT_TRUE(hw.RainStatus.Value);
    EXPECT_TRUE(hw.RoofSwitchActive.Valid);
    EXPECT_EQ(hw.RoofSwitchActive.Value, station_->RelayClosed());

    EXPECT_EQ(ReadWholeFile(PathDatas + "infodata.txt"), InfoDataText(c));
    const auto log = LogTexts();
    EXPECT_EQ(log.front(), "Start getting [Weather Data]");
    EXPECT_EQ(log[1], fmt::sprintf("TempExt (°C)          = %2.2f", FieldValue(c.ValueTempDeg)));
    EXPECT_EQ(log[4].rfind("PowerDry (%)          = ", 0), 0u);
    EXPECT_EQ(log.back(), "End getting [Weather Data]");
}

TEST_F(Readings, NoGustSensorFallsBackToTheAnalogSensor) {
    struct TCase {
        bool analog;
        bool valid;
    };
    for (const TCase c : {TCase{false, false}, TCase{true, true}}) {
        StationOptions options;
        options.GustSensor = false;
        options.AnalogWind = c.analog;
        options.Scenario = halvex::sim::ParseScenario("wind=40@0-5");
        StartStation(options);
        EXPECT_EQ(RunList({TCom_getSensorInfos}, com_), "");
        EXPECT_EQ(OrderCodes(), (std::vector<uint8_t>{0x1B, 0x23, 0x33, 0x27}));
        EXPECT_EQ(bool(CurrentCapteursInfos.ValidWindGUST), c.valid);
        if (c.valid) {
            EXPECT_NEAR(CurrentCapteursInfos.WindSpeedMax_ms, station_->Weather().GustKmh / 3.6, 0.05);
        } else {
            EXPECT_EQ(FieldValue(CurrentCapteursInfos.WindSpeedMax_ms), -1.0f);
            EXPECT_EQ(FieldValue(CurrentCapteursInfos.DirSpeedMax_deg), -1.0f);
        }
    }
}

TEST_F(Readings, LightReadingsOverTheSimulatedSky) {
    StartStation();
    EXPECT_EQ(RunList({TCom_GetLightLevel}, com_), "");
    EXPECT_FALSE(CurrentCapteursInfos.ValidLight) << "the first reading has no previous one";
    station_->AdvanceTime(60);
    SetClockForTests([] { return StartClock + 60.0 / 86400; });
    EXPECT_EQ(RunList({TCom_GetLightLevel}, com_), "");
    EXPECT_EQ(FieldValue(CurrentCapteursInfos.LightValueAbs), station_->LightCounter());
    EXPECT_EQ(LightPrevCounter, station_->LightCounter());
    EXPECT_EQ(LightPrevDate, StartClock + 60.0 / 86400);
    EXPECT_TRUE(LogHasLine("Start getting [light Data]"));
    EXPECT_TRUE(LogHasLine("End getting [Light Data]"));
}

TEST_F(ScriptedReadings, TwoLightReadingsGiveTheCountRate) {
    SetupInfos.Log.VerboseLevel = LogExpert;
    SetupInfos.SetupInfos_HW.OffsetLevelLight = 0.0025;
    const TDateTime t0 = 46365.5;
    SetClockForTests([t0] { return t0; });
    Set(0x22, Light(1000, 1, 100));
    EXPECT_EQ(Run({TCom_GetLightLevel}), "");
    EXPECT_FALSE(CurrentCapteursInfos.ValidLight);
    EXPECT_EQ(LightDeltaCounter, 0u);

    SetClockForTests([t0] { return t0 + 60.0 / 86400; });
    Set(0x22, Light(1600, 1, 100));
    EXPECT_EQ(Run({TCom_GetLightLevel}), "");
    EXPECT_TRUE(CurrentCapteursInfos.ValidLight);
    EXPECT_NEAR(CurrentCapteursInfos.Lumex, std::log10(0.0975), 1e-6);
    EXPECT_EQ(LightDeltaCounter, 600u);
    EXPECT_EQ(FieldValue(CurrentCapteursInfos.LightValueAbs), 1600u);
    const auto photodiode = LogTexts("Photodiode.log");
    EXPECT_NE(FindLogLine(photodiode, "Ticks Delta (raw)= 600"), -1);
    EXPECT_NE(FindLogLine(photodiode, "Delta T (sec)    = 60.0"), -1);
    EXPECT_NE(FindLogLine(photodiode, "Ticks/sec (raw)  = 10.000"), -1);
    EXPECT_NE(FindLogLine(photodiode, fmt::sprintf("LumexLog         = %1.3f", std::log10(0.0975))), -1);
    EXPECT_NE(FindLogLine(photodiode, "Gain changed     = True"), -1);
    EXPECT_NE(FindLogLine(photodiode, "Gain changed     = False"), -1);

    // A gain change, then a counter gone backwards: both invalid, both new references.
    SetClockForTests([t0] { return t0 + 120.0 / 86400; });
    Set(0x22, Light(2200, 1, 10));
    EXPECT_EQ(Run({TCom_GetLightLevel}), "");
    EXPECT_FALSE(CurrentCapteursInfos.ValidLight);
    EXPECT_EQ(LightDeltaCounter, 0u);
    EXPECT_EQ(LightPrevGain, 10);
    Set(0x22, Light(100, 1, 10));
    SetClockForTests([t0] { return t0 + 180.0 / 86400; });
    EXPECT_EQ(Run({TCom_GetLightLevel}), "");
    EXPECT_FALSE(CurrentCapteursInfos.ValidLight);
    EXPECT_EQ(LightPrevCounter, 100u);
    // No time between two readings: no rate, rather than an infinite light level.
    Set(0x22, Light(400, 1, 10));
    EXPECT_EQ(Run({TCom_GetLightLevel}), "");
    EXPECT_FALSE(CurrentCapteursInfos.ValidLight);
    EXPECT_EQ(FieldValue(CurrentCapteursInfos.Lumex), 0.0);
}

TEST_F(ScriptedReadings, FailedLightReadingKeepsTheReference) {
    Set(0x22, Light(1000, 1, 100));
    EXPECT_EQ(Run({TCom_GetLightLevel}), "");
    Set(0x22, {0x00, 0x00, 0x07, 0xD0, 0x01}); // one byte short
    EXPECT_EQ(Run({TCom_GetLightLevel}), RangeErrorText);
    EXPECT_EQ(LightPrevCounter, 1000u);
    EXPECT_EQ(CountLogLines("End getting [Light Data]"), 1);
    EXPECT_EQ(CountLogLines("Getting [Light Data] -> failed"), 1);
}

TEST_F(ScriptedReadings, WeatherBlockEdgeCases) {
    Set(0x1B, WeatherBlock());
    Set(0x27, TArrayByte(17, 0));
    // Sector 16 is no direction, though the gust itself is valid.
    Set(0x23, Gust(0x0000, 16, 123));
    EXPECT_EQ(Run({TCom_getSensorInfos}), "");
    EXPECT_TRUE(CurrentCapteursInfos.ValidWindGUST);
    EXPECT_EQ(FieldValue(CurrentCapteursInfos.DirSpeedMax_deg), -1.0f);
    EXPECT_FLOAT_EQ(CurrentCapteursInfos.WindSpeedMax_ms, 12.3f);
    EXPECT_EQ(FieldValue(CurrentCapteursInfos.DateSysteme), EncodeDateTime(2013, 3, 27, 4, 5, 9));
    EXPECT_EQ(CurrentCapteursInfos.RainStatus, 0);

    // Gust sensor without data and an analog count of 2000 (no current): no wind at all.
    Set(0x23, Gust(0x8000, 3, 50));
    Set(0x33, {0xD0, 0x07, 0xD0, 0x07});
    EXPECT_EQ(Run({TCom_getSensorInfos}), "");
    EXPECT_FALSE(CurrentCapteursInfos.ValidWindGUST);
    EXPECT_EQ(FieldValue(CurrentCapteursInfos.WindSpeedMax_ms), -1.0f);

    // A rain flag above 1 is a range error; the reading's last line says it failed.
    Set(0x1B, WeatherBlock(2));
    EXPECT_EQ(Run({TCom_getSensorInfos}), RangeErrorText);
    EXPECT_EQ(CountLogLines("End getting [Weather Data]"), 2);
    EXPECT_EQ(CountLogLines("Getting [Weather Data] -> failed"), 1);
    // Flags other than 1 read as false.
    Set(0x1B, WeatherBlock(0));
    TArrayByte flags(17, 0);
    flags[3] = 55;
    flags[13] = 1;
    flags[14] = 2;
    flags[15] = 1;
    flags[16] = 1;
    Set(0x27, flags);
    EXPECT_EQ(Run({TCom_getSensorInfos}), "");
    const auto& hw = SetupInfos.SetupInfos_HW;
    EXPECT_EQ(CurrentCapteursInfos.PowerRainDet, 55);
    EXPECT_EQ(CurrentCapteursInfos.RainStatus, 1);
    EXPECT_TRUE(hw.RainStatus.Value);
    EXPECT_FALSE(hw.RainCleanEnabled.Value);
    EXPECT_TRUE(hw.RainCleanEnabled.Valid);
    EXPECT_TRUE(hw.DefrostEnabled.Value);
    EXPECT_TRUE(hw.RoofSwitchActive.Value);
}
