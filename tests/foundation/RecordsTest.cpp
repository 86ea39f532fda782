#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <limits>
#include <tuple>

#include "Records.h"
#include "TestSupport.h"

namespace {

class Records : public SandboxTest {};

TEST_F(Records, MeasurementSurvivesAFileRoundTripByteForByte) {
    TcapteursInfos m{};
    m.DateSysteme = EncodeDateTime(2013, 3, 27, 4, 5, 9, 370);
    m.ValueSkyDeg = -21.5f;
    m.LightValueAbs = 0xA1B2C3D4u; // unaligned at offset 55
    m.Lumex = -1.0109953; // unaligned at offset 62
    m.PowerVolts = 12.25f;
    m.ValidLight = 1;

    const auto* bytes = reinterpret_cast<const unsigned char*>(&m);
    // Little-endian layout of the two unaligned fields, as the history files hold them.
    EXPECT_EQ(bytes[55], 0xD4);
    EXPECT_EQ(bytes[58], 0xA1);
    double lumex = 0;
    std::memcpy(&lumex, bytes + 62, 8);
    EXPECT_EQ(lumex, FieldValue(m.Lumex));

    const std::string path = Root() + "record.bin";
    {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(&m), sizeof m);
    }
    const std::string stored = ReadWholeFile(path);
    ASSERT_EQ(stored.size(), 74u);
    EXPECT_EQ(std::memcmp(stored.data(), &m, 74), 0);
    TcapteursInfos back{};
    std::memcpy(&back, stored.data(), 74);
    EXPECT_EQ(FieldValue(back.LightValueAbs), FieldValue(m.LightValueAbs));
    EXPECT_EQ(FieldValue(back.Lumex), FieldValue(m.Lumex));
}

TEST_F(Records, StartValues) {
    EXPECT_EQ(SetupInfos.SetupInfos_HW.PortCOM, 1);
    EXPECT_EQ(SetupInfos.SetupInfos_HW.Version, "??");
    EXPECT_EQ(SetupInfos.SetupInfos_HW.Gain_stage2_IR.DefaultValue, 47);
    EXPECT_FALSE(SetupInfos.SetupInfos_HW.RoofSwitchActive.Valid);
    EXPECT_EQ(SetupInfos.RoofCloserCriterias.TempSky.DefaultValue, -10.0);
    EXPECT_EQ(SetupInfos.RoofCloserCriterias.AfterMinutes, 120);
    EXPECT_EQ(SetupInfos.SeuilDay, 6.8);
    EXPECT_EQ(SetupInfos.Sound_on_Rainning, "Rain_pending.wav");
    EXPECT_EQ(SetupInfos.NbMonthtoLoad, 1);
    EXPECT_EQ(LightPrevGain, 255);
    EXPECT_EQ(LightPrevDivider, 255);
}

TEST(ToggleBool, ReportsAChangeOnlyAfterAKnownPreviousState) {
    TToggle_bool t;
    t.CurrentState = true;
    EXPECT_FALSE(t.Evaluate()); // first evaluation: nothing to compare with
    EXPECT_FALSE(t.Evaluate());
    t.CurrentState = false;
    EXPECT_TRUE(t.Evaluate());
    EXPECT_FALSE(t.Evaluate());
}

TEST(DateTime, EncodeDecodeAndText) {
    EXPECT_EQ(EncodeDateTime(1899, 12, 30), 0.0);
    EXPECT_EQ(EncodeDateTime(1900, 1, 1), 2.0);
    EXPECT_DOUBLE_EQ(EncodeDateTime(2013, 3, 27, 12), 41360.5);
    const auto p = DecodeDateTime(EncodeDateTime(2024, 2, 29, 23, 59, 59, 5));
    EXPECT_EQ(p.Year, 2024);
    EXPECT_EQ(p.Month, 2);
    EXPECT_EQ(p.Day, 29);
    EXPECT_EQ(p.Second, 59);
    EXPECT_EQ(p.MilliSecond, 5);
    EXPECT_EQ(DateTimeText(EncodeDateTime(2013, 3, 7, 4, 5, 9)), "07/03/2013 04:05:09");
}

// A damaged record may carry any double as its date: beyond years 1 to 9999 the day count does not fit
// an integer, and the value decodes as 0 does instead of overflowing.
TEST(DateTime, DecodeOutsideTheCalendarGivesTheFieldsOfZero) {
    const double values[] = {1e308, -1e308, 2958466, -693594, 1e19, -1e19,
                             std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()};
    for (const double value : values) {
        SCOPED_TRACE(value);
        const auto p = DecodeDateTime(value);
        EXPECT_EQ(std::tie(p.Year, p.Month, p.Day, p.Hour, p.Minute, p.Second, p.MilliSecond),
                  std::make_tuple(1899, 12, 30, 0, 0, 0, 0));
    }
    // The last and first instants of the calendar still decode.
    EXPECT_EQ(DecodeDateTime(EncodeDateTime(9999, 12, 31, 23, 59, 59)).Year, 9999);
    EXPECT_EQ(DecodeDateTime(EncodeDateTime(1, 1, 1)).Year, 1);
}

} // namespace
