// Physical formulas shared by the station's conversions and the history's plotted values.
// Pure functions, no state.
#pragma once

// Base of the magnitude scale.
inline constexpr double PogsonRatio = 2.512;

double Ms_ToKmh(double ms);
// Light level (decimal log of the dark-corrected count rate) to magnitude per square arc-second.
double Lumex_ToMagnitude(double lumex);
