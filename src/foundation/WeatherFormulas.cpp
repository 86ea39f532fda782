#include "WeatherFormulas.h"

#include <cmath>

double Ms_ToKmh(double ms) {
    return ms * 3.6;
}

double Lumex_ToMagnitude(double lumex) {
    static const double log10Pogson = std::log10(PogsonRatio);
    return 12.4 - lumex / log10Pogson;
}

bool WindChillOf(bool valid, double t, double windMs, double& chill) {
    const double k = Ms_ToKmh(windMs);
    if (!valid || k <= 4.8 || t > 10) return false;
    const double p = std::pow(k, 0.16);
    chill = 13.12 + 0.6215 * t - 11.37 * p + 0.3965 * t * p;
    return true;
}
