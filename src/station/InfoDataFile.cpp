#include "InfoDataFile.h"

#include <cmath>
#include <fmt/printf.h>
#include <fstream>

#include "Conversions.h"
#include "UserText.h"

namespace {

// Precision growing as the value shrinks, so small light levels keep their digits.
std::string AdaptivePrecision(double value) {
    const double v = std::fabs(value);
    if (v > 1000) return fmt::sprintf("%1.0f", value);
    if (v > 100) return fmt::sprintf("%1.1f", value);
    if (v > 10) return fmt::sprintf("%1.2f", value);
    if (v > 1) return fmt::sprintf("%1.3f", value);
    if (v > 0.1) return fmt::sprintf("%1.4f", value);
    if (v > 0.01) return fmt::sprintf("%1.5f", value);
    if (v > 0.001) return fmt::sprintf("%1.6f", value);
    return fmt::format("{}", value);
}

} // namespace

// Weak until this copy goes: the publishing layer defines the same text, and a program links both.
__attribute__((weak)) std::string InfoDataText(const TcapteursInfos& c) {
    const TDateTimeParts d = DecodeDateTime(c.DateSysteme);
    std::string text;
    const auto line = [&](const std::string& s) { text += s + "\r\n"; };
    line("Fileversion          = 1.01");
    line(fmt::sprintf("DateYear             = %d", d.Year));
    line(fmt::sprintf("DateMonth            = %d", d.Month));
    line(fmt::sprintf("DateDay              = %d", d.Day));
    line(fmt::sprintf("DateHour             = %d", d.Hour));
    line(fmt::sprintf("DateMin              = %d", d.Minute));
    line(fmt::sprintf("DateSec              = %d", d.Second));
    line(fmt::sprintf("TempExt (°C)         = %2.2f", c.ValueTempDeg));
    line(fmt::sprintf("Humidity (%%RH)       = %1.1f", c.Humidity));
    line(fmt::sprintf("DewPoint (°C)        = %1.2f", c.DewPoint));
    line(fmt::sprintf("TempRainSensor (°C)  = %1.2f", c.ValueTempFceDeg));
    line(fmt::sprintf("TempSkyIR   (°C)     = %1.2f", c.ValueSkyDeg));
    line(fmt::sprintf("TempDetectorIR (°C)  = %1.2f", c.ValueCanDeg));
    line(std::string("RainFall             = ") + (c.RainStatus != 0 ? "Yes" : "No"));
    if (c.ValidWindGUST) {
        line(fmt::sprintf("WindSpeedGust (km/h) = %1.1f", c.WindSpeedMax_ms * 3.6));
        line(fmt::sprintf("WinDirection (°)     = %1.0f", c.DirSpeedMax_deg));
    } else {
        line("WindSpeedGust (km/h) = NoData");
        line("WinDirection (°)     = NoData");
    }
    line(fmt::sprintf("PowerDry (%%)         = %d", c.PowerRainDet));
    line(fmt::sprintf("PowerIn (V)          = %1.2f", c.PowerVolts));
    if (c.ValidLight) {
        line("LighLevel (Log a.u)  = " + AdaptivePrecision(c.Lumex));
        line("LighLevel (Mag/sec²) = " + AdaptivePrecision(Lumex_ToMagnitude(c.Lumex)));
    } else {
        line("LighLevel (Log a.u)  = NoData");
        line("LighLevel (Mag/sec²) = NoData ");
    }
    return text;
}

void WriteInfoDataFile(const std::string& path, const TcapteursInfos& record) {
    const std::string text = InfoDataText(record);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) throw EOrvanelError(Tr("InfoDataFile", "Impossible d'écrire le fichier ") + path);
}
