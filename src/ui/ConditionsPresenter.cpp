#include "ConditionsPresenter.h"

#include <fmt/printf.h>

#include "NumberText.h"
#include "UserText.h"

namespace {

std::string DefrostText(const TConditions& c) {
    if (c.Defrosting) return Tr("ConditionsPresenter", "Dégivrage actif");
    if (c.DryingAfterRain) return Tr("ConditionsPresenter", "Séchage consécutif à la pluie/neige");
    return {};
}

} // namespace

TConditionsView PresentConditions(const TConditions& c) {
    TConditionsView v;
    v.TempText = fmt::sprintf("%2.1f °C", c.AmbientT);
    v.RainTempText = fmt::sprintf("%1.1f °C", c.RainSensorT);
    v.IRCanTempText = fmt::sprintf("%1.1f °C", c.IRSensorT);
    v.SkyTempText = fmt::sprintf("%1.1f °C", c.SkyDeltaT);
    v.Sky = SkyPanel(c.Sky);
    v.HumidityText = fmt::sprintf("%1.1f %%", c.Humidity);
    v.Humidity = AirPanel(c.Air);
    v.DewPointText = fmt::sprintf("%1.1f °C", c.DewPoint);
    v.Rain = RainPanel(c.Raining);
    v.WindChillText = WindChillText(c.WindChillComputed, c.WindChill);
    if (c.WindValid) {
        v.WindSpeedText = fmt::sprintf("%1.1f km/h", c.GustKmh);
        v.WindDirectionText = Degrees_ToSectorName(static_cast<float>(c.WindDirDeg));
    } else {
        v.WindSpeedText = Tr("ConditionsPresenter", "Pas de données");
        v.WindDirectionText = Tr("ConditionsPresenter", "Pas de données");
    }
    v.Wind = WindPanel(c.Wind);
    v.PowerText = fmt::sprintf("%d%%", c.HeaterPercent);
    v.VoltsText = fmt::sprintf("%1.2f V", c.SupplyVolts);
    v.DefrostText = DefrostText(c);
    if (c.LightValid) {
        v.LightText = AdaptiveFloatText(c.Lumex);
        v.MagnitudeText = AdaptiveFloatText(c.Magnitude);
    } else {
        v.LightText = "-";
        v.MagnitudeText = "-";
    }
    v.SkyBackground = SkyBackgroundPanel(c.SkyBackground);
    return v;
}

std::string WindChillText(bool computed, double windChill) {
    return computed ? fmt::sprintf("%1.1f °C", windChill) : Tr("ConditionsPresenter", "Pas disponible");
}
