// Station value encodings and physical conversions: raw converter counts, packed BCD clock fields,
// the station's 24-bit float, wind, IR gains and light. Pure functions, no state.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "DateTime.h"
#include "WeatherFormulas.h" // PogsonRatio, Ms_ToKmh, Lumex_ToMagnitude, WindChillOf

// Texts of the arithmetic failures, as the rest of the program reports them.
inline constexpr const char* RangeErrorText = "Range check error";
inline constexpr const char* ZeroDivideText = "Floating point division by zero";
inline constexpr const char* InvalidOpText = "Invalid floating point operation";
inline constexpr const char* InvalidDateText = "Invalid argument to date encode";

// Rounding to the nearest integer, ties to even.
double RoundTiesToEven(double x);

uint16_t Bytes_ToWord(uint8_t high, uint8_t low);
uint32_t Bytes_ToLong(uint8_t b3, uint8_t b2, uint8_t b1, uint8_t b0);
uint8_t Bcd_ToByte(uint8_t bcd);
// v from 0 to 99; anything else is a range error.
uint8_t Byte_ToBcd(int v);

double Raw_ToVolts(uint16_t n);
double Raw_ToSupplyVolts(uint16_t n);
double Raw_ToTemperature(uint16_t n);
// Clamped to 0..100.
double Raw_ToHumidity(uint16_t n, double correction);

// 0 when the computation is impossible (negative humidity).
double DewPointOf(double temperature, double humidity);
double SkyVolts_ToDegrees(double volts);
// 0 when the computation is impossible.
double Thermistor_ToDegrees(double volts);

double Tenths_ToValue(uint16_t w);
// s * 22.5 below 16, otherwise -1.
double Sector_ToDegrees(uint8_t sector);

// 4 to 20 mA sensors through the converter: false (output 0) when there is no signal.
bool Analog_ToWindSpeed(uint16_t n, float& speed);
bool Analog_ToWindDir(uint16_t n, float& direction);

// IR amplifier stages; GainStage1(0) fails (division by zero).
double GainStage1(int code);
double GainStage2(int code);
// Range error outside 0..255; a gain of 1 fails (division by zero).
uint8_t GainStage2_ToCode(double gain);

// Counts per second between two samples, corrected by divider / gain; c - c0 as unsigned 32 bits.
double CountRate(uint32_t c, uint32_t c0, uint8_t divider, uint8_t gain, TDateTime t0, TDateTime t);
// log10(r - offset) when r > offset; valid when that exceeds -5.
double LumexLogOf(double offset, double rate, bool& valid);
// Fails on a counter of 0.
double Counter_ToMagnitude(uint32_t counter);
// Range error when the result does not fit 32 bits unsigned.
uint32_t Magnitude_ToCounter(double magnitude);

double Float24_ToFloat(uint8_t high, uint8_t middle, uint8_t low);
// High, middle, low byte; "Float_ToFloat24->Overflow" when the exponent does not fit.
std::array<uint8_t, 3> Float_ToFloat24(double x);

// Station clock fields (already decoded from BCD) to a TDateTime; an impossible date fails.
TDateTime StationDateTime(int year, int month, int day, int hour, int minute, int second);
