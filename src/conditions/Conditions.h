// Classification of one weather reading into the observer's states (sky, air, rain, wind, sky
// background), with the numbers behind them and whether each is available, and the good-conditions
// rule with its sounds. Meaning only: the texts and colours are made where they are shown, from
// these states, so that they follow the language of the moment.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "DateTime.h"
#include "Records.h"

// ---- Condition codes (published in the condition files and to automation clients) ------------
enum : uint8_t { CloudUnknown = 0, CloudClear = 1, CloudCloudy = 2, CloudVeryCloudy = 3 };
enum : uint8_t { WindUnknown = 0, WindCalm = 1, WindWindy = 2, WindVeryWindy = 3 };
enum : uint8_t { RainUnknown = 0, RainDry = 1, RainWet = 2 };
enum : uint8_t { DayUnknown = 0, DayDark = 1, DayLight = 2, DayVeryLight = 3 };

// Number of sky readings the median needs before the sky can be classified.
inline constexpr int MedianSkySamples = 5;

// ---- States an observer is shown ---------------------------------------------------------------
// Sky and wind states have the values of their condition codes.
enum class TSkyState : uint8_t { Unknown = 0, Clear = 1, Cloudy = 2, VeryCloudy = 3 };
enum class TWindState : uint8_t { Unknown = 0, Calm = 1, Windy = 2, VeryWindy = 3 };
// Humid and very humid share one rain code; the air is always classified.
enum class TAirState : uint8_t { Dry, Humid, VeryHumid };
// Dark and grey nights share one day code.
enum class TSkyBackgroundState : uint8_t { Unknown, DarkNight, GreyNight, Twilight, Day };

uint8_t CloudCode(TSkyState state);
uint8_t WindCode(TWindState state);
uint8_t RainCode(TAirState state);
uint8_t DayCode(TSkyBackgroundState state);

// ---- Single classifications (thresholds from the settings) -----------------------------------
// Sky from the median of sky-minus-ambient temperatures.
TSkyState ClassifySky(double medianDeltaTemp, const TSetupInfos& setup);
// Air from the relative humidity (%).
TAirState ClassifyHumidity(double humidity, const TSetupInfos& setup);
// Wind from the gust speed in km/h.
TWindState ClassifyWind(double gustKmh, const TSetupInfos& setup);
// Sky background from the sky brightness in magnitude per square arc-second.
TSkyBackgroundState ClassifySkyBackground(double magnitude, const TSetupInfos& setup);

// Sky brightness in magnitude per square arc-second of a light level (decimal log of counts).
double SkyMagnitude(double lumex);
// Gust speed of a reading in km/h. The m/s value is stored in single precision, so the product is
// rounded to 1e-4 km/h: a gust stored for 15 km/h then compares as 15, not 14.9999995.
double GustKmh(const TcapteursInfos& reading);

// ---- One classified reading --------------------------------------------------------------------
struct TConditions {
    // The reading's own values.
    TDateTime Date = 0;
    double AmbientT = 0;    // °C
    double RainSensorT = 0; // °C
    double IRSensorT = 0;   // °C, the IR detector body
    double SkyDeltaT = 0;   // °C, sky minus ambient (instant value)
    double Humidity = 0;    // %
    double DewPoint = 0;    // °C
    uint8_t HeaterPercent = 0;
    double SupplyVolts = 0;
    bool Raining = false;

    // Sky: classified from the median once the median is ready.
    bool SkyAvailable = false;
    double MedianSkyDeltaT = 0; // meaningful when SkyAvailable
    TSkyState Sky = TSkyState::Unknown;

    TAirState Air = TAirState::Dry;

    // Wind: from the gust, when the station reported a valid one.
    bool WindValid = false;
    double GustKmh = 0;    // meaningful when WindValid
    double WindDirDeg = 0; // meaningful when WindValid
    TWindState Wind = TWindState::Unknown;
    bool WindChillComputed = false; // valid gust above 4.8 km/h and at most 10 °C
    double WindChill = 0;           // °C, meaningful when WindChillComputed

    // Light: from the light level, when the station reported a valid one.
    bool LightValid = false;
    double Lumex = 0;
    double Magnitude = 0; // 0 when the light is not valid
    TSkyBackgroundState SkyBackground = TSkyBackgroundState::Unknown;

    // The station's sensor heating, as last reported.
    bool Defrosting = false;
    bool DryingAfterRain = false;

    uint8_t CloudCode() const { return ::CloudCode(Sky); }
    uint8_t WindCode() const { return ::WindCode(Wind); }
    uint8_t RainCode() const { return ::RainCode(Air); }
    uint8_t DayCode() const { return ::DayCode(SkyBackground); }
};

// Classifies one reading. medianSkyDeltaT is the sky median with this reading in it, none while the
// median is not ready.
TConditions ClassifyConditions(const TcapteursInfos& reading, const TSetupInfos& setup,
                               std::optional<double> medianSkyDeltaT);

// ---- Good conditions and sounds -------------------------------------------------------------
// No rain, clear sky (instant value), calm enough, dark sky. A reading without light is never good.
bool IsGoodConditions(const TcapteursInfos& reading, const TSetupInfos& setup);
// Rain has just started: the history holds at least two records, this reading reports rain and the
// latest stored record did not.
bool RainStarted(const TcapteursInfos& reading, const TTDataStation& history);
// Feeds the good-conditions edge detector and returns the sound file to play on a transition
// (Sound_on_goodCond or Sound_on_BadCond), empty when none. A reading whose sky median or light
// level is unavailable restarts the comparison, so it never plays a sound.
std::string GoodConditionsSound(const TcapteursInfos& reading, const TConditions& conditions,
                                const TSetupInfos& setup, TToggle_bool& goodCond);
// The sounds a reading asks for, in playing order: the good-conditions transition, then rain start.
std::vector<std::string> ConditionSounds(const TcapteursInfos& reading, const TConditions& conditions,
                                         const TSetupInfos& setup, TToggle_bool& goodCond,
                                         const TTDataStation& history);

// ---- Unit conversions -------------------------------------------------------------------------
double WindDisplaySpeed(double metresPerSecond, const TSetupInfos& setup);
double MsToKmh(double metresPerSecond);
double DaysToSeconds(double days);
