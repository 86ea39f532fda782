#include "StationEncoding.h"

#include <algorithm>
#include <cmath>

namespace halvex::sim {

namespace {

const double kLog10Pogson = std::log10(2.512);
constexpr double kAnalog4mA = 3074.61446808511;
constexpr double kAnalogSpan = 4 * kAnalog4mA;

uint16_t ClampCount(double count) {
    return static_cast<uint16_t>(std::clamp(std::lround(count), 0L, 65535L));
}

} // namespace

uint8_t ToBcd(int value) {
    value = std::clamp(value, 0, 99);
    return static_cast<uint8_t>((value % 10) | ((value / 10) << 4));
}

uint16_t VoltsToCount(double volts) {
    return ClampCount(volts * 16384.0 / 5.0);
}

uint16_t TemperatureToCount(double celsius) {
    return ClampCount((celsius * 0.0225 + 1.375) / 5.0 * 65536.0);
}

uint16_t SupplyVoltsToCount(double volts) {
    return ClampCount(volts / (3.0 * 5.0 * 1.07) * 65536.0);
}

uint16_t HumidityToCount(double percent) {
    return VoltsToCount((percent * 0.032 + 0.8) * 1.25);
}

double SkyDegreesToVolts(double celsius) {
    return (celsius + 68.0196531791908) / 23.1907514450867;
}

double ThermistorDegreesToVolts(double celsius) {
    const double r = 30000.0 * std::exp(3964.0 / (celsius + 273.15) - 13.2953211470736);
    return 1.9 * (70770.0 / (r + 30000.0) + 0.947);
}

uint16_t AnalogWindSpeedCount(double metresPerSecond) {
    return ClampCount(kAnalog4mA + std::clamp(metresPerSecond, 0.0, 30.0) / 30.0 * kAnalogSpan);
}

uint16_t AnalogWindDirCount(double degrees) {
    return ClampCount(kAnalog4mA + std::fmod(std::fmod(degrees, 360.0) + 360.0, 360.0) / 360.0 * kAnalogSpan);
}

std::array<uint8_t, 3> FloatToFloat24(double value) {
    if (value == 0.0) return {0, 0, 0};
    const double a = std::fabs(value);
    int e = static_cast<int>(std::floor(std::log2(a)));
    long fraction = std::lround((a / std::ldexp(1.0, e) - 1.0) * 32768.0);
    if (fraction >= 32768) { // rounding carried into the exponent
        fraction = 0;
        ++e;
    }
    e = std::clamp(e + 127, 0, 255);
    uint32_t w = (static_cast<uint32_t>(e) << 15) | static_cast<uint32_t>(fraction & 0x7FFF);
    if (value < 0) w |= 0x800000;
    return {static_cast<uint8_t>(w >> 16), static_cast<uint8_t>((w >> 8) & 0xFF),
            static_cast<uint8_t>(w & 0xFF)};
}

double Float24ToFloat(uint8_t high, uint8_t middle, uint8_t low) {
    const uint32_t w = (uint32_t{high} << 16) | (uint32_t{middle} << 8) | low;
    if (w == 0) return 0.0;
    const double v =
        (1.0 + (w & 0x7FFF) / 32768.0) * std::ldexp(1.0, static_cast<int>((w >> 15) & 0xFF) - 127);
    return (w & 0x800000) ? -v : v;
}

double MagnitudeToLumex(double magnitude) {
    return (12.4 - magnitude) * kLog10Pogson;
}

double LumexToMagnitude(double lumex) {
    return 12.4 - lumex / kLog10Pogson;
}

uint32_t MagnitudeToCounter(double magnitude) {
    const double c = std::round(8000.0 * std::pow(10.0, kLog10Pogson * (7.6 - magnitude)));
    return static_cast<uint32_t>(std::clamp(c, 1.0, 4294967295.0));
}

double CounterToMagnitude(uint32_t counter) {
    if (counter == 0) return 99.0; // no threshold: never bright enough
    return 7.6 - std::log10(counter / 8000.0) / kLog10Pogson;
}

} // namespace halvex::sim
