#include "Calibration.h"

#include <fmt/printf.h>

#include "UserText.h"

TDarkRateResult ComputeDarkRate(const TCalibrationPD& first, const TCalibrationPD& second) {
    TDarkRateResult result;
    const double seconds = (second.DateMes - first.DateMes) * 24 * 3600;
    // Only the station's most sensitive setting (gain 100, divider 1) measures darkness; samples
    // without elapsed time give no rate at all.
    if (first.GainLight != second.GainLight || first.DividLight != second.DividLight ||
        second.GainLight != 100 || second.DividLight != 1 || !(seconds > 0)) {
        result.Message =
            Tr("DarkCompute", "La mesure n'est pas valide, de la lumière a du arriver sur la photodiode...");
        return result;
    }
    result.Difference = second.Counter - first.Counter;
    result.ValueFinale = result.Difference / seconds / 100;
    if (result.ValueFinale < 0.01) {
        result.Verdict = TDarkRateVerdict::Accepted;
        return result;
    }
    result.Verdict = TDarkRateVerdict::TooLarge;
    result.Message = fmt::sprintf(
        Tr("DarkCompute",
           "La valeur finale (%1.5f) est trop importante ! Il doit y avoir des fuites de lumière..."),
        result.ValueFinale);
    return result;
}
