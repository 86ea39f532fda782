#include "PhysicalFormulas.h"

#include <cmath>

namespace {

const double Log10Pogson = std::log10(PogsonRatio);

} // namespace

double Ms_ToKmh(double ms) {
    return ms * 3.6;
}

double Lumex_ToMagnitude(double lumex) {
    return 12.4 - lumex / Log10Pogson;
}
