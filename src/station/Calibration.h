// The photodiode's dark count rate from two counter samples taken in darkness.
#pragma once

#include <cstdint>
#include <string>

#include "Records.h"

enum class TDarkRateVerdict {
    Accepted, // a plausible dark rate
    NotValid, // gain or divider changed, or not the most sensitive setting: light reached the diode
    TooLarge  // a rate of 0.01 or more: light leaks
};

struct TDarkRateResult {
    TDarkRateVerdict Verdict = TDarkRateVerdict::NotValid;
    uint32_t Difference = 0; // second counter - first counter, unsigned 32 bits
    double ValueFinale = 0;  // counts per second, corrected by divider / gain
    std::string Message;     // the user's text when not accepted
};

TDarkRateResult ComputeDarkRate(const TCalibrationPD& first, const TCalibrationPD& second);
