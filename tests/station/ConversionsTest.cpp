#include <cmath>
#include <functional>
#include <gtest/gtest.h>

#include "Calibration.h"
#include "Conversions.h"
#include "UserText.h"

namespace {

struct TExample {
    const char* what;
    std::function<double()> compute;
    double expected;
    double tolerance;
};

double Value24(double x) {
    const auto b = Float_ToFloat24(x);
    return b[0] * 65536.0 + b[1] * 256.0 + b[2];
}

double WindSpeed(uint16_t n) {
    float speed = -1;
    const bool valid = Analog_ToWindSpeed(n, speed);
    return valid ? speed : -100 + speed; // invalid results land below -99 with their output
}

double ChillOrNan(bool valid, double t, double v) {
    double chill = 0;
    return WindChillOf(valid, t, v, chill) ? chill : NAN;
}

} // namespace

// The worked examples of the station encodings, one row each.
TEST(Conversions, Examples) {
    const std::vector<TExample> examples = {
        {"Bytes_ToWord(0x12,0x34)", [] { return Bytes_ToWord(0x12, 0x34); }, 0x1234, 0},
        {"Bytes_ToLong(0,1,0,0)", [] { return Bytes_ToLong(0x00, 0x01, 0x00, 0x00); }, 65536, 0},
        {"Bcd_ToByte(0x59)", [] { return Bcd_ToByte(0x59); }, 59, 0},
        {"Byte_ToBcd(13)", [] { return Byte_ToBcd(13); }, 0x13, 0},
        {"Raw_ToVolts(16384)", [] { return Raw_ToVolts(16384); }, 5.0, 1e-12},
        {"Raw_ToTemperature(32768)", [] { return Raw_ToTemperature(32768); }, 50.0, 1e-9},
        {"Raw_ToHumidity(max, 3)", [] { return Raw_ToHumidity(65535, 3.0); }, 100, 0},
        {"Raw_ToHumidity(0, 1)", [] { return Raw_ToHumidity(0, 1.0); }, 0, 0},
        {"Raw_ToHumidity(mid, -1)", [] { return Raw_ToHumidity(20000, -1.0); }, 0, 0},
        {"DewPointOf(12.5, 100)", [] { return DewPointOf(12.5, 100); }, 12.5, 1e-9},
        {"DewPointOf(-3, 100)", [] { return DewPointOf(-3, 100); }, -3, 1e-9},
        {"DewPointOf negative humidity", [] { return DewPointOf(10, -5); }, 0, 0},
        {"Thermistor_ToDegrees impossible", [] { return Thermistor_ToDegrees(1.9 * 0.947); }, 0, 0},
        {"Thermistor_ToDegrees(25 C point)",
         [] { return Thermistor_ToDegrees((70770.0 / 60000 + 0.947) * 1.9); }, 25.0, 1e-6},
        {"Sector_ToDegrees(15)", [] { return Sector_ToDegrees(15); }, 337.5, 0},
        {"Sector_ToDegrees(16)", [] { return Sector_ToDegrees(16); }, -1, 0},
        {"Tenths_ToValue(272)", [] { return Tenths_ToValue(272); }, 27.2, 1e-12},
        {"Ms_ToKmh(10)", [] { return Ms_ToKmh(10); }, 36, 1e-12},
        {"Analog_ToWindSpeed(2767) invalid", [] { return WindSpeed(2767); }, -100, 0},
        {"Analog_ToWindSpeed(L4+S)", [] { return WindSpeed(15373); }, 30.0, 0.01},
        {"Analog_ToWindSpeed(L4-100) valid, 0", [] { return WindSpeed(3000); }, 0, 0},
        {"GainStage2_ToCode(GainStage2(47))", [] { return GainStage2_ToCode(GainStage2(47)); }, 47, 0},
        {"Float24_ToFloat(C1 A0 00)", [] { return Float24_ToFloat(0xC1, 0xA0, 0x00); }, -20.0, 0},
        {"Float24_ToFloat(3F 80 00)", [] { return Float24_ToFloat(0x3F, 0x80, 0x00); }, 1.0, 0},
        {"Float24_ToFloat(00 00 00)", [] { return Float24_ToFloat(0, 0, 0); }, 0.0, 0},
        {"Float_ToFloat24(-20)", [] { return Value24(-20.0); }, 0xC1A000, 0},
        {"Float_ToFloat24(0)", [] { return Value24(0.0); }, 0, 0},
        {"Float_ToFloat24(0.5)", [] { return Value24(0.5); }, 0x3F0000, 0},
        {"Float_ToFloat24 carries into the exponent", [] { return Value24(1.99999); }, 0x400000, 0},
        {"Magnitude_ToCounter(7.6)", [] { return Magnitude_ToCounter(7.6); }, 8000, 0},
        {"Magnitude_ToCounter(10.1)", [] { return Magnitude_ToCounter(10.1); }, 800, 0},
        {"Counter_ToMagnitude(8000)", [] { return Counter_ToMagnitude(8000); }, 7.6, 1e-12},
        {"Lumex_ToMagnitude(0)", [] { return Lumex_ToMagnitude(0); }, 12.4, 0},
        {"CountRate 600 counts / 60 s, gain 100",
         [] { return CountRate(1600, 1000, 1, 100, 0, 60.0 / 86400); }, 0.1, 1e-12},
        {"CountRate across the counter wrap",
         [] { return CountRate(100, 0xFFFFFFFF - 499, 1, 1, 0, 60.0 / 86400); }, 10.0, 1e-9},
        {"LumexLogOf(0.0025, 0.1)",
         [] {
             bool v;
             return LumexLogOf(0.0025, 0.1, v);
         },
         std::log10(0.0975), 1e-12},
        {"LumexLogOf below the offset",
         [] {
             bool v = true;
             return LumexLogOf(0.0025, 0.002, v) + (v ? 1 : 0);
         },
         0, 0},
        {"WindChillOf(10 C, 5 km/h)", [] { return ChillOrNan(true, 10, 5 / 3.6); },
         13.12 + 6.215 - 11.37 * std::pow(5, 0.16) + 3.965 * std::pow(5, 0.16), 1e-9},
    };
    for (const auto& e : examples)
        EXPECT_NEAR(e.compute(), e.expected, e.tolerance) << e.what;

    bool valid = true;
    LumexLogOf(0, 1e-6, valid);
    EXPECT_FALSE(valid) << "a level of -5 or less is not valid";
    double chill = 0;
    EXPECT_FALSE(WindChillOf(true, 10.5, 10, chill)) << "above 10 C nothing is computed";
    EXPECT_FALSE(WindChillOf(true, 0, 4.8 / 3.6, chill)) << "4.8 km/h or less is not computed";
    EXPECT_FALSE(WindChillOf(false, 0, 10, chill));
}

TEST(Conversions, RoundTrips) {
    for (uint32_t c : {1u, 2u, 800u, 8000u, 12345u, 80000u, 1000000u, 16777215u})
        EXPECT_EQ(Magnitude_ToCounter(Counter_ToMagnitude(c)), c) << c;
    for (double x : {-20.0, 1.0, -10.0, 0.015625, 123.25, -0.75, 1e5})
        EXPECT_DOUBLE_EQ(Float24_ToFloat(Float_ToFloat24(x)[0], Float_ToFloat24(x)[1], Float_ToFloat24(x)[2]),
                         x);
    for (int v = 0; v <= 99; ++v)
        EXPECT_EQ(Bcd_ToByte(Byte_ToBcd(v)), v);
}

TEST(Conversions, FailuresRaiseTheirTexts) {
    const auto message = [](const std::function<void()>& f) {
        try {
            f();
        } catch (const EOrvanelError& e) {
            return std::string(e.what());
        }
        return std::string("no failure");
    };
    EXPECT_EQ(message([] { Float_ToFloat24(1e300); }), "Float_ToFloat24->Overflow");
    EXPECT_EQ(message([] { Float_ToFloat24(1e-300); }), "Float_ToFloat24->Overflow");
    EXPECT_EQ(message([] { GainStage2_ToCode(1.0); }), ZeroDivideText);
    EXPECT_EQ(message([] { GainStage2_ToCode(1.5); }), RangeErrorText) << "code far above 255";
    EXPECT_EQ(message([] { GainStage2_ToCode(1000.0); }), RangeErrorText) << "negative code";
    EXPECT_EQ(message([] { GainStage1(0); }), ZeroDivideText);
    EXPECT_EQ(message([] { Counter_ToMagnitude(0); }), InvalidOpText);
    EXPECT_EQ(message([] { Magnitude_ToCounter(-20); }), RangeErrorText);
    EXPECT_EQ(message([] { Byte_ToBcd(100); }), RangeErrorText);
    EXPECT_EQ(message([] { StationDateTime(2013, 2, 29, 0, 0, 0); }), InvalidDateText);
    EXPECT_EQ(message([] { StationDateTime(2165, 77, 1, 0, 0, 0); }), InvalidDateText);
}

TEST(DarkRate, VerdictsOfTwoSamples) {
    const TDateTime t0 = 45000.0, t1 = t0 + 120.0 / 86400;
    struct TCase {
        uint32_t c0, c1;
        uint8_t gain1;
        TDarkRateVerdict verdict;
        double value;
        const char* message;
    };
    const std::vector<TCase> cases = {
        {1000, 1030, 100, TDarkRateVerdict::Accepted, 0.0025, ""},
        {1000, 13000, 100, TDarkRateVerdict::TooLarge, 1.0,
         "La valeur finale (1.00000) est trop importante ! Il doit y avoir des fuites de lumière..."},
        {1000, 1030, 10, TDarkRateVerdict::NotValid, 0,
         "La mesure n'est pas valide, de la lumière a du arriver sur la photodiode..."},
    };
    for (const auto& c : cases) {
        const auto r = ComputeDarkRate({t0, c.c0, 100, 1}, {t1, c.c1, c.gain1, 1});
        EXPECT_EQ(r.Verdict, c.verdict) << c.c1;
        EXPECT_NEAR(r.ValueFinale, c.value, 1e-6) << c.c1;
        EXPECT_EQ(r.Message, c.message);
    }
    // A counter that went backwards: a huge unsigned difference, refused as light leak.
    EXPECT_EQ(ComputeDarkRate({t0, 1000, 100, 1}, {t1, 999, 100, 1}).Verdict, TDarkRateVerdict::TooLarge);
}
