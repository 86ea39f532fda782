// The station's side of the value encodings: physical values turned into the converter counts,
// packed BCD and 24-bit floats that the PC decodes. Pure functions.
#pragma once

#include <array>
#include <cstdint>

namespace halvex::sim {

uint8_t ToBcd(int value); // 0 to 99

// Converter counts (16-bit, clamped to the converter's range).
uint16_t VoltsToCount(double volts);
uint16_t TemperatureToCount(double celsius);
uint16_t SupplyVoltsToCount(double volts);
uint16_t HumidityToCount(double percent); // the station's own reading, no correction factor
// Infrared detector output for a sky temperature, and detector thermistor voltage for a body temperature.
double SkyDegreesToVolts(double celsius);
double ThermistorDegreesToVolts(double celsius);
// 4-20 mA sensors read through the converter (speed full scale 30 m/s, direction 360°).
uint16_t AnalogWindSpeedCount(double metresPerSecond);
uint16_t AnalogWindDirCount(double degrees);

// 24-bit float: high, middle, low byte.
std::array<uint8_t, 3> FloatToFloat24(double value);
double Float24ToFloat(uint8_t high, uint8_t middle, uint8_t low);

// Sky brightness: magnitude per square arc-second, the light level (log10 of the count rate) and the
// 32-bit counter form of a magnitude threshold.
double MagnitudeToLumex(double magnitude);
double LumexToMagnitude(double lumex);
uint32_t MagnitudeToCounter(double magnitude);
double CounterToMagnitude(uint32_t counter);

} // namespace halvex::sim
