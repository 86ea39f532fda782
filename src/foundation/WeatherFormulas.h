// Physical formulas of the weather values, shared by the station's decoding and the classification of
// its readings. Pure functions, no state.
#pragma once

// Base of the magnitude scale.
inline constexpr double PogsonRatio = 2.512;

double Ms_ToKmh(double ms);
// Sky brightness in magnitude per square arc-second of a light level (decimal log of counts).
double Lumex_ToMagnitude(double lumex);
// True (and chill set) only when valid, wind above 4.8 km/h and temperature at most 10 degrees.
bool WindChillOf(bool valid, double temperature, double windMs, double& chill);
