#include "Conversions.h"
#include "Classification.h"

#include <chrono>
#include <cmath>
#include <ctime>
#include <fmt/format.h>
#include <fmt/printf.h>
#include <limits>

#include "MedianObject.h"
#include "UserText.h"

namespace {

TStatePanel Panel(std::string text, TRgb colour, uint8_t code, std::string hint = {}) {
    return TStatePanel{std::move(text), colour, std::move(hint), code};
}

TStatePanel NeutralPanel(uint8_t code = 0) {
    return TStatePanel{Tr("Classification", "Pas disponible"), std::nullopt, {}, code};
}

// The system clock in local time, without the test clock: the start value is taken while the
// program loads, before anything could have installed another clock.
TDateTime SystemNowAtLoad() {
    const auto now = std::chrono::system_clock::now();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
    const std::time_t secs = static_cast<std::time_t>(ms / 1000);
    std::tm tm{};
    localtime_r(&secs, &tm);
    return EncodeDateTime(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
                          static_cast<int>(ms % 1000));
}

TAutomationValues StartValues(TDateTime now) {
    TAutomationValues values;
    values.DateLastMeasurement = now;
    return values;
}

// Float-to-text in the general format: up to 15 significant digits, "1E-5" style exponents.
std::string GeneralFloatText(double value) {
    std::string text = fmt::format("{:.15G}", value);
    const auto e = text.find('E');
    if (e == std::string::npos) return text;
    std::string mantissa = text.substr(0, e);
    const char sign = text[e + 1];
    std::string digits = text.substr(e + 2);
    digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size() - 1));
    return mantissa + "E" + (sign == '-' ? "-" : "") + digits;
}

} // namespace

TAutomationValues AutomationValues = StartValues(SystemNowAtLoad());

// ---- Single classifications -----------------------------------------------------------------

TStatePanel ClassifySky(double m, const TSetupInfos& setup) {
    if (m > setup.SeuilVeryCloudy)
        return Panel(Tr("Classification", "TRES COUVERT"), ColorRed, CloudVeryCloudy);
    if (m > setup.SeuilCloudy) return Panel(Tr("Classification", "COUVERT"), ColorOrange, CloudCloudy);
    return Panel(Tr("Classification", "DEGAGE"), ColorGreen, CloudClear);
}

TStatePanel SkyNotAvailable() {
    return NeutralPanel(CloudUnknown);
}

TStatePanel ClassifyHumidity(double humidity, const TSetupInfos& setup) {
    if (humidity > setup.SeuilHumidity) return Panel(Tr("Classification", "TRES HUMIDE"), ColorRed, RainWet);
    if (humidity > setup.SeuilDry) return Panel(Tr("Classification", "HUMIDE"), ColorOrange, RainWet);
    return Panel(Tr("Classification", "SEC"), ColorGreen, RainDry);
}

TStatePanel ClassifyRain(bool raining) {
    return raining ? Panel(Tr("Classification", "OUI"), ColorRed, 1)
                   : Panel(Tr("Classification", "NON"), ColorGreen, 0);
}

TStatePanel ClassifyWind(double v, const TSetupInfos& setup) {
    if (v > setup.SeuilVeryWindy_km)
        return Panel(Tr("Classification", "TRES VENTEUX"), ColorRed, WindVeryWindy);
    if (v > setup.SeuilWindy_km) return Panel(Tr("Classification", "VENTEUX"), ColorOrange, WindWindy);
    return Panel(Tr("Classification", "CALME"), ColorGreen, WindCalm);
}

TStatePanel WindNotAvailable() {
    return NeutralPanel(WindUnknown);
}

TStatePanel ClassifySkyBackground(double m, const TSetupInfos& setup) {
    if (m > setup.SeuilNight)
        return Panel(Tr("Classification", "NUIT NOIRE"), ColorGreen, DayDark,
                     Tr("Classification", "Nuit noire sans Lune"));
    if (m > setup.SeuilDawn)
        return Panel(Tr("Classification", "NUIT \"GRISE\""), ColorYellowGreen, DayDark,
                     Tr("Classification",
                        "Crépuscule terminant, présence de Lune ou de forte pollution lumineuse..."));
    if (m > setup.SeuilDay)
        return Panel(Tr("Classification", "CREPUSCULE"), ColorOrange, DayLight,
                     Tr("Classification", "Crépuscule avancé"));
    return Panel(Tr("Classification", "JOUR"), ColorRed, DayVeryLight,
                 Tr("Classification", "Jour (Soleil levé)"));
}

TStatePanel SkyBackgroundNotAvailable() {
    return NeutralPanel(DayUnknown);
}

double SkyMagnitude(double lumex) { return Lumex_ToMagnitude(lumex); }

double GustKmh(const TcapteursInfos& reading) {
    return std::round(MsToKmh(reading.WindSpeedMax_ms) * 1e4) / 1e4;
}

// ---- The information tab --------------------------------------------------------------------

namespace {

void FillTemperatures(const TcapteursInfos& r, TConditionsDisplay& d) {
    d.TempText = fmt::sprintf("%2.1f °C", FieldValue(r.ValueTempDeg));
    d.RainTempText = fmt::sprintf("%1.1f °C", FieldValue(r.ValueTempFceDeg));
    d.IRCanTempText = fmt::sprintf("%1.1f °C", FieldValue(r.ValueCanDeg));
    d.SkyTempText = fmt::sprintf("%1.1f °C", FieldValue(r.DeltaTempDeg));
}

void FillSky(const TcapteursInfos& r, const TSetupInfos& setup, TMedianObject& medianSky,
             TConditionsDisplay& d) {
    double median = 0;
    d.SkyAvailable = medianSky.Return(r.DeltaTempDeg, median);
    d.Sky = d.SkyAvailable ? ClassifySky(median, setup) : SkyNotAvailable();
}

void FillWind(const TcapteursInfos& r, const TSetupInfos& setup, TConditionsDisplay& d) {
    d.WindValid = r.ValidWindGUST != 0;
    double chill = 0;
    const bool chillComputed = WindChillOf(d.WindValid, r.ValueTempDeg, r.WindSpeedMax_ms, chill);
    d.WindChillText = WindChillText(chillComputed, chill);
    if (!d.WindValid) {
        d.WindSpeedText = Tr("Classification", "Pas de données");
        d.WindDirectionText = Tr("Classification", "Pas de données");
        d.Wind = WindNotAvailable();
        return;
    }
    d.WindKmh = GustKmh(r);
    d.WindDirDeg = r.DirSpeedMax_deg;
    d.WindSpeedText = fmt::sprintf("%1.1f km/h", d.WindKmh);
    d.WindDirectionText = Degrees_ToSectorName(r.DirSpeedMax_deg);
    d.Wind = ClassifyWind(d.WindKmh, setup);
}

std::string DefrostText(const TSetupInfos_Hardware& hw) {
    if (hw.DefrostEnabled.Valid && hw.DefrostEnabled.Value) return Tr("Classification", "Dégivrage actif");
    if (hw.RainCleanEnabled.Valid && hw.RainCleanEnabled.Value)
        return Tr("Classification", "Séchage consécutif à la pluie/neige");
    return {};
}

void FillLight(const TcapteursInfos& r, const TSetupInfos& setup, TConditionsDisplay& d) {
    d.LightValid = r.ValidLight != 0;
    if (!d.LightValid) {
        d.LightText = "-";
        d.MagnitudeText = "-";
        d.Magnitude = 0;
        d.SkyBackground = SkyBackgroundNotAvailable();
        return;
    }
    d.LightText = AdaptiveFloatText(r.Lumex);
    d.Magnitude = SkyMagnitude(r.Lumex);
    d.MagnitudeText = AdaptiveFloatText(d.Magnitude);
    d.SkyBackground = ClassifySkyBackground(d.Magnitude, setup);
}

} // namespace

TConditionsDisplay ClassifyConditions(const TcapteursInfos& r, const TSetupInfos& setup,
                                      TMedianObject& medianSky) {
    TConditionsDisplay d;
    FillTemperatures(r, d);
    FillSky(r, setup, medianSky, d);
    d.HumidityText = fmt::sprintf("%1.1f %%", FieldValue(r.Humidity));
    d.Humidity = ClassifyHumidity(r.Humidity, setup);
    d.DewPointText = fmt::sprintf("%1.1f °C", FieldValue(r.DewPoint));
    d.Rain = ClassifyRain(r.RainStatus != 0);
    FillWind(r, setup, d);
    d.PowerText = fmt::sprintf("%d%%", r.PowerRainDet);
    d.VoltsText = fmt::sprintf("%1.2f V", FieldValue(r.PowerVolts));
    d.DefrostText = DefrostText(setup.SetupInfos_HW);
    FillLight(r, setup, d);
    return d;
}

std::string WindChillText(bool computed, double windChill) {
    return computed ? fmt::sprintf("%1.1f °C", windChill) : Tr("Classification", "Pas disponible");
}

// ---- Good conditions and sounds -------------------------------------------------------------

bool IsGoodConditions(const TcapteursInfos& r, const TSetupInfos& setup) {
    const bool noRain = r.RainStatus == 0;
    const bool clear = r.DeltaTempDeg < setup.SeuilCloudy;
    const bool calm = r.ValidWindGUST == 0 || GustKmh(r) < setup.SeuilVeryWindy_km;
    const bool dark = r.ValidLight != 0 && SkyMagnitude(r.Lumex) > setup.SeuilDawn;
    return noRain && clear && calm && dark;
}

bool RainStarted(const TcapteursInfos& reading, const TTDataStation& history) {
    return history.size() >= 2 && reading.RainStatus != 0 && history.back().RainStatus == 0;
}

std::string GoodConditionsSound(const TcapteursInfos& reading, const TConditionsDisplay& display,
                                const TSetupInfos& setup, TToggle_bool& goodCond) {
    if (!display.SkyAvailable || !display.LightValid) goodCond.Validprevious = false;
    goodCond.CurrentState = IsGoodConditions(reading, setup);
    if (!goodCond.Evaluate()) return {};
    return goodCond.CurrentState ? setup.Sound_on_goodCond : setup.Sound_on_BadCond;
}

std::vector<std::string> ConditionSounds(const TcapteursInfos& reading, const TConditionsDisplay& display,
                                         const TSetupInfos& setup, TToggle_bool& goodCond,
                                         const TTDataStation& history) {
    std::vector<std::string> sounds;
    if (auto sound = GoodConditionsSound(reading, display, setup, goodCond); !sound.empty())
        sounds.push_back(std::move(sound));
    if (RainStarted(reading, history)) sounds.push_back(setup.Sound_on_Rainning);
    return sounds;
}

std::string GoodConditionsLegend(const TSetupInfos& setup) {
    const std::string pattern =
        Tr("Classification", "En vert clair, SI le vent est inférieur à %d") + " km/h" +
        Tr("Classification",
           " + ciel trés dégagé (Tciel<%d°C) + pas de pluie, et ciel noir (Magn/sec²>%1.0f)");
    return fmt::sprintf(pattern, setup.SeuilVeryWindy_km, setup.SeuilCloudy, setup.SeuilDawn);
}

// ---- Automation values ----------------------------------------------------------------------

void ResetAutomationValues() {
    AutomationValues = StartValues(Now());
}

void PublishMeasurement(const TcapteursInfos& r, const TConditionsDisplay& d, TAutomationValues& values) {
    values.DateLastMeasurement = r.DateSysteme;
    values.AmbientT = r.ValueTempDeg;
    values.SensorT = r.ValueCanDeg;
    values.RelSkyT = r.DeltaTempDeg;
    values.CloudCondition = d.Sky.Code;
    values.HumidityPercent = r.Humidity;
    values.RainCondition = d.Humidity.Code;
    values.DewPointT = r.DewPoint;
    values.RainF = r.RainStatus != 0;
    // Wind and direction keep the last valid gust; only the condition says the gust is missing.
    if (d.WindValid) {
        values.Wind = d.WindKmh;
        values.WindDir = d.WindDirDeg;
    }
    values.WindCondition = d.Wind.Code;
    values.HeaterPercent = r.PowerRainDet;
    values.MagnitudeSec = d.LightValid ? d.Magnitude : 0;
    values.DayCondition = d.SkyBackground.Code;
}

void PublishRoofState(const TT_Bool& roofSwitchActive, TAutomationValues& values) {
    if (roofSwitchActive.Valid) values.RoofCloseRequested = roofSwitchActive.Value;
}

void PublishThresholds(const TSetupInfos& setup, TAutomationValues& values) {
    values.CloudyThreshT = setup.SeuilCloudy;
    values.VCloudyThreshT = setup.SeuilVeryCloudy;
    values.WindyThreshSpeed = setup.SeuilWindy_km;
    values.VWindyThreshSpeed = setup.SeuilVeryWindy_km;
}

int32_t SecondsSinceGoodData(const TAutomationValues& values, TDateTime now) {
    const double seconds = std::nearbyint((now - values.DateLastMeasurement) * 86400.0);
    if (!(seconds > std::numeric_limits<int32_t>::min())) return std::numeric_limits<int32_t>::min();
    if (seconds > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(seconds);
}

TConditionsOutcome ProcessConditions(const TcapteursInfos& reading, const TSetupInfos& setup,
                                     TMedianObject& medianSky, TToggle_bool& goodCond,
                                     const TTDataStation& history, TAutomationValues& values) {
    TConditionsOutcome outcome;
    outcome.Display = ClassifyConditions(reading, setup, medianSky);
    PublishMeasurement(reading, outcome.Display, values);
    outcome.SoundsToPlay = ConditionSounds(reading, outcome.Display, setup, goodCond, history);
    return outcome;
}

// ---- Text operations ------------------------------------------------------------------------

std::string DurationText(double s) {
    if (s < 60) return fmt::sprintf("%1.0f sec", s);
    if (s < 3600) return fmt::sprintf("%1.1f min", s / 60);
    return fmt::sprintf("%1.1f hrs", s / 3600);
}

std::string ElapsedText(double seconds) {
    struct Unit {
        double Seconds;
        std::string Pattern;
    };
    const Unit units[] = {
        {31557600, Tr("Classification", "%d an(s) ")}, {2629800, Tr("Classification", "%d mois ")},
        {86400, Tr("Classification", "%d jour(s) ")},  {3600, Tr("Classification", "%d Heure(s) ")},
        {60, Tr("Classification", "%d Min(s) ")},
    };
    std::string text;
    double rest = seconds;
    for (const auto& unit : units) {
        if (!(rest > unit.Seconds)) continue;
        const double count = std::trunc(rest / unit.Seconds);
        rest -= count * unit.Seconds;
        text += fmt::sprintf(unit.Pattern, static_cast<long long>(count));
    }
    if (rest > 0)
        text += fmt::sprintf(Tr("Classification", "%d sec"), static_cast<long long>(std::trunc(rest)));
    return text;
}

std::string DaysOrHoursText(double days) {
    if (days > 1) return fmt::sprintf(Tr("Classification", "%1.1f J"), days);
    return fmt::sprintf(Tr("Classification", "%1.1f h"), days * 24);
}

std::string AdaptiveFloatText(double v) {
    const double a = std::fabs(v);
    if (a > 1000) return fmt::sprintf("%1.0f", v);
    if (a > 100) return fmt::sprintf("%1.1f", v);
    if (a > 10) return fmt::sprintf("%1.2f", v);
    if (a > 1) return fmt::sprintf("%1.3f", v);
    if (a > 0.1) return fmt::sprintf("%1.4f", v);
    if (a > 0.01) return fmt::sprintf("%1.5f", v);
    if (a > 0.001) return fmt::sprintf("%1.6f", v);
    return GeneralFloatText(v);
}

std::string BoolText(bool value) {
    return value ? "True" : "False";
}

std::string WindUnitText(const TSetupInfos& setup) {
    return setup.Unit_Mph ? "Mph" : "km/h";
}

double WindDisplaySpeed(double ms, const TSetupInfos& setup) {
    const double kmh = MsToKmh(ms);
    return setup.Unit_Mph ? kmh * 0.621371192 : kmh;
}

double MsToKmh(double ms) {
    return ms * 3.6;
}

double DaysToSeconds(double days) {
    return days * 86400;
}
