#include "Conditions.h"

#include <cmath>

#include "WeatherFormulas.h"

uint8_t CloudCode(TSkyState state) {
    return static_cast<uint8_t>(state);
}

uint8_t WindCode(TWindState state) {
    return static_cast<uint8_t>(state);
}

uint8_t RainCode(TAirState state) {
    return state == TAirState::Dry ? RainDry : RainWet;
}

uint8_t DayCode(TSkyBackgroundState state) {
    switch (state) {
    case TSkyBackgroundState::DarkNight:
    case TSkyBackgroundState::GreyNight:
        return DayDark;
    case TSkyBackgroundState::Twilight:
        return DayLight;
    case TSkyBackgroundState::Day:
        return DayVeryLight;
    case TSkyBackgroundState::Unknown:
        break;
    }
    return DayUnknown;
}

// ---- Single classifications -----------------------------------------------------------------

TSkyState ClassifySky(double m, const TSetupInfos& setup) {
    if (m > setup.SeuilVeryCloudy) return TSkyState::VeryCloudy;
    if (m > setup.SeuilCloudy) return TSkyState::Cloudy;
    return TSkyState::Clear;
}

TAirState ClassifyHumidity(double humidity, const TSetupInfos& setup) {
    if (humidity > setup.SeuilHumidity) return TAirState::VeryHumid;
    if (humidity > setup.SeuilDry) return TAirState::Humid;
    return TAirState::Dry;
}

TWindState ClassifyWind(double v, const TSetupInfos& setup) {
    if (v > setup.SeuilVeryWindy_km) return TWindState::VeryWindy;
    if (v > setup.SeuilWindy_km) return TWindState::Windy;
    return TWindState::Calm;
}

TSkyBackgroundState ClassifySkyBackground(double m, const TSetupInfos& setup) {
    if (m > setup.SeuilNight) return TSkyBackgroundState::DarkNight;
    if (m > setup.SeuilDawn) return TSkyBackgroundState::GreyNight;
    if (m > setup.SeuilDay) return TSkyBackgroundState::Twilight;
    return TSkyBackgroundState::Day;
}

double SkyMagnitude(double lumex) {
    return Lumex_ToMagnitude(lumex);
}

double GustKmh(const TcapteursInfos& reading) {
    return std::round(MsToKmh(reading.WindSpeedMax_ms) * 1e4) / 1e4;
}

// ---- One classified reading -------------------------------------------------------------------

TConditions ClassifyConditions(const TcapteursInfos& r, const TSetupInfos& setup,
                               std::optional<double> medianSkyDeltaT) {
    TConditions c;
    c.Date = r.DateSysteme;
    c.AmbientT = r.ValueTempDeg;
    c.RainSensorT = r.ValueTempFceDeg;
    c.IRSensorT = r.ValueCanDeg;
    c.SkyDeltaT = r.DeltaTempDeg;
    c.Humidity = r.Humidity;
    c.DewPoint = r.DewPoint;
    c.HeaterPercent = r.PowerRainDet;
    c.SupplyVolts = r.PowerVolts;
    c.Raining = r.RainStatus != 0;

    c.SkyAvailable = medianSkyDeltaT.has_value();
    if (c.SkyAvailable) {
        c.MedianSkyDeltaT = *medianSkyDeltaT;
        c.Sky = ClassifySky(c.MedianSkyDeltaT, setup);
    }

    c.Air = ClassifyHumidity(r.Humidity, setup);

    c.WindValid = r.ValidWindGUST != 0;
    c.WindChillComputed = WindChillOf(c.WindValid, r.ValueTempDeg, r.WindSpeedMax_ms, c.WindChill);
    if (c.WindValid) {
        c.GustKmh = GustKmh(r);
        c.WindDirDeg = r.DirSpeedMax_deg;
        c.Wind = ClassifyWind(c.GustKmh, setup);
    }

    c.LightValid = r.ValidLight != 0;
    if (c.LightValid) {
        c.Lumex = r.Lumex;
        c.Magnitude = SkyMagnitude(r.Lumex);
        c.SkyBackground = ClassifySkyBackground(c.Magnitude, setup);
    }

    const auto& hw = setup.SetupInfos_HW;
    c.Defrosting = hw.DefrostEnabled.Valid && hw.DefrostEnabled.Value;
    c.DryingAfterRain = hw.RainCleanEnabled.Valid && hw.RainCleanEnabled.Value;
    return c;
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

std::string GoodConditionsSound(const TcapteursInfos& reading, const TConditions& conditions,
                                const TSetupInfos& setup, TToggle_bool& goodCond) {
    if (!conditions.SkyAvailable || !conditions.LightValid) goodCond.Validprevious = false;
    goodCond.CurrentState = IsGoodConditions(reading, setup);
    if (!goodCond.Evaluate()) return {};
    return goodCond.CurrentState ? setup.Sound_on_goodCond : setup.Sound_on_BadCond;
}

std::vector<std::string> ConditionSounds(const TcapteursInfos& reading, const TConditions& conditions,
                                         const TSetupInfos& setup, TToggle_bool& goodCond,
                                         const TTDataStation& history) {
    std::vector<std::string> sounds;
    if (auto sound = GoodConditionsSound(reading, conditions, setup, goodCond); !sound.empty())
        sounds.push_back(std::move(sound));
    if (RainStarted(reading, history)) sounds.push_back(setup.Sound_on_Rainning);
    return sounds;
}

// ---- Unit conversions -------------------------------------------------------------------------

double WindDisplaySpeed(double ms, const TSetupInfos& setup) {
    const double kmh = MsToKmh(ms);
    return setup.Unit_Mph ? kmh * 0.621371192 : kmh;
}

double MsToKmh(double ms) {
    return Ms_ToKmh(ms);
}

double DaysToSeconds(double days) {
    return days * 86400;
}
