#include "Conversions.h"

#include <cfenv>
#include <cmath>
#include <limits>

#include "UserText.h"

namespace {

[[noreturn]] void RangeError() {
    throw EOrvanelError(RangeErrorText);
}
[[noreturn]] void ZeroDivide() {
    throw EOrvanelError(ZeroDivideText);
}

const double Log10Pogson = std::log10(PogsonRatio);

// The 4 mA count, the 16 mA span and the no-signal threshold of the analog sensors.
constexpr double AnalogL4 = 3074.61446808511;
constexpr double AnalogSpan = 4 * AnalogL4;
constexpr double AnalogNoSignal = 0.9 * AnalogL4;

bool AnalogScaled(uint16_t n, double fullScale, float& out) {
    out = 0;
    if (n <= AnalogNoSignal) return false;
    double v = (n - AnalogL4) / AnalogSpan * fullScale;
    if (v < 0) v = 0;
    out = static_cast<float>(v);
    return true;
}

bool IsLeapYear(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysInMonth(int y, int m) {
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return (m == 2 && IsLeapYear(y)) ? 29 : days[m - 1];
}

} // namespace

double RoundTiesToEven(double x) {
    // nearbyint follows the current rounding mode, which the program never changes from to-nearest.
    return std::nearbyint(x);
}

uint16_t Bytes_ToWord(uint8_t high, uint8_t low) {
    return static_cast<uint16_t>(high * 256 + low);
}

uint32_t Bytes_ToLong(uint8_t b3, uint8_t b2, uint8_t b1, uint8_t b0) {
    return (uint32_t{b3} << 24) | (uint32_t{b2} << 16) | (uint32_t{b1} << 8) | b0;
}

uint8_t Bcd_ToByte(uint8_t bcd) {
    return static_cast<uint8_t>((bcd & 0x0F) + (bcd >> 4) * 10);
}

uint8_t Byte_ToBcd(int v) {
    if (v < 0 || v > 99) RangeError();
    return static_cast<uint8_t>((v % 10) | ((v / 10) << 4));
}

double Raw_ToVolts(uint16_t n) {
    return n / 1024.0 / 16.0 * 5.0;
}

double Raw_ToSupplyVolts(uint16_t n) {
    return n / 4096.0 / 16.0 * 3.0 * 5.0 * 1.07;
}

double Raw_ToTemperature(uint16_t n) {
    return (n / 4096.0 / 16.0 * 5.0 - 1.375) / 0.0225;
}

double Raw_ToHumidity(uint16_t n, double correction) {
    const double rh = ((Raw_ToVolts(n) / 1.25 - 0.8) / 0.032) * correction;
    if (!(rh <= 100)) return rh > 100 ? 100 : 0; // NaN (a NaN correction) reads as 0 as well
    return rh < 0 ? 0 : rh;
}

double DewPointOf(double t, double rh) {
    if (rh < 0) return 0;
    const double d = std::pow(rh / 100.0, 1.0 / 8.0) * (112 + 0.9 * t) + 0.1 * t - 112;
    return std::isfinite(d) ? d : 0;
}

double SkyVolts_ToDegrees(double v) {
    return 23.1907514450867 * v - 68.0196531791908;
}

double Thermistor_ToDegrees(double v) {
    const double denominator = v / 1.9 - 0.947;
    if (denominator == 0) return 0;
    const double r = 70770 / denominator - 30000;
    if (!(r > 0)) return 0;
    const double logTerm = std::log(r / 30000) + 13.2953211470736;
    if (logTerm == 0) return 0;
    const double t = 3964 / logTerm - 273.15;
    return std::isfinite(t) ? t : 0;
}

double Tenths_ToValue(uint16_t w) {
    return w * 0.1;
}

double Sector_ToDegrees(uint8_t sector) {
    return sector < 16 ? sector * 22.5 : -1.0;
}

bool Analog_ToWindSpeed(uint16_t n, float& speed) {
    return AnalogScaled(n, 30.0, speed);
}

bool Analog_ToWindDir(uint16_t n, float& direction) {
    const bool valid = AnalogScaled(n, 360.0, direction);
    if (direction >= 360) direction = 0;
    return valid;
}

double GainStage1(int code) {
    if (code == 0) ZeroDivide();
    return 1 + 200 / (code / 255.0 * 50);
}

double GainStage2(int code) {
    return 1 + 200 / (code / 255.0 * 50 + 4.7);
}

uint8_t GainStage2_ToCode(double gain) {
    if (gain == 1) ZeroDivide();
    const double code = RoundTiesToEven((200 / (gain - 1) - 4.7) * 5.1);
    if (!(code >= 0 && code <= 255)) RangeError();
    return static_cast<uint8_t>(code);
}

double CountRate(uint32_t c, uint32_t c0, uint8_t divider, uint8_t gain, TDateTime t0, TDateTime t) {
    const uint32_t delta = c - c0;
    return delta / ((t - t0) * 24 * 3600) * (static_cast<double>(divider) / gain);
}

double LumexLogOf(double offset, double rate, bool& valid) {
    if (rate > offset) {
        const double level = std::log10(rate - offset);
        valid = level > -5;
        return level;
    }
    valid = false;
    return 0;
}

double Counter_ToMagnitude(uint32_t counter) {
    if (counter == 0) throw EOrvanelError(InvalidOpText);
    return 7.6 - std::log10(counter / 8000.0) / Log10Pogson;
}

uint32_t Magnitude_ToCounter(double magnitude) {
    const double c = RoundTiesToEven(8000 * std::pow(10.0, Log10Pogson * (7.6 - magnitude)));
    if (!(c >= 0 && c <= std::numeric_limits<uint32_t>::max())) RangeError();
    return static_cast<uint32_t>(c);
}

double Float24_ToFloat(uint8_t h, uint8_t m, uint8_t l) {
    if (h == 0 && m == 0 && l == 0) return 0.0;
    const uint32_t w = (uint32_t{h} << 16) | (uint32_t{m} << 8) | l;
    const int e = static_cast<int>((w >> 15) & 0xFF);
    const uint32_t f = w & 0x7FFF;
    const double value = std::ldexp(1 + f / 32768.0, e - 127);
    return (w & 0x800000) ? -value : value;
}

std::array<uint8_t, 3> Float_ToFloat24(double x) {
    if (x == 0) return {0, 0, 0};
    if (!std::isfinite(x)) throw EOrvanelError("Float_ToFloat24->Overflow");
    const double a = std::fabs(x);
    int e = static_cast<int>(std::floor(std::log2(a)));
    // log2 may land one off right at a power of two.
    if (std::ldexp(1.0, e) > a) --e;
    if (std::ldexp(1.0, e + 1) <= a) ++e;
    uint32_t f = static_cast<uint32_t>(RoundTiesToEven((a / std::ldexp(1.0, e) - 1) * 32768));
    if (f >= 32768) { // rounded up to the next power of two: carry into the exponent
        f = 0;
        ++e;
    }
    if (e + 127 > 255 || e + 127 < 0) throw EOrvanelError("Float_ToFloat24->Overflow");
    uint32_t w = (static_cast<uint32_t>(e + 127) << 15) | (f & 0x7FFF);
    if (x < 0) w |= 0x800000;
    return {static_cast<uint8_t>(w >> 16), static_cast<uint8_t>((w >> 8) & 0xFF),
            static_cast<uint8_t>(w & 0xFF)};
}

TDateTime StationDateTime(int year, int month, int day, int hour, int minute, int second) {
    if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) || hour > 23 || minute > 59 ||
        second > 59 || hour < 0 || minute < 0 || second < 0)
        throw EOrvanelError(InvalidDateText);
    return EncodeDateTime(year, month, day, hour, minute, second, 0);
}
