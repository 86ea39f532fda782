// Classification of one weather reading into the observer's states (sky, air, rain, wind, sky
// background), the good-conditions rule with its sounds, the values served to automation clients,
// and the small text operations of the information tab. Plain C++: the controller calls these
// functions and shows what they return.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "DateTime.h"
#include "Records.h"

class TMedianObject;

// ---- Colours of the state panels ------------------------------------------------------------
struct TRgb {
    uint8_t R = 0, G = 0, B = 0;
    friend bool operator==(const TRgb&, const TRgb&) = default;
};
inline constexpr TRgb ColorGreen{0, 255, 0};
inline constexpr TRgb ColorRed{255, 0, 0};
inline constexpr TRgb ColorOrange{255, 186, 1};
inline constexpr TRgb ColorYellowGreen{216, 250, 1};

// One coloured state panel. No colour means the normal face colour of windows (state unknown).
struct TStatePanel {
    std::string Text;
    std::optional<TRgb> Colour;
    std::string Hint;
    uint8_t Code = 0; // condition code 0 to 3; 0 = not available
    friend bool operator==(const TStatePanel&, const TStatePanel&) = default;
};

// ---- Condition codes (published in the condition files and to automation clients) ------------
enum : uint8_t { CloudUnknown = 0, CloudClear = 1, CloudCloudy = 2, CloudVeryCloudy = 3 };
enum : uint8_t { WindUnknown = 0, WindCalm = 1, WindWindy = 2, WindVeryWindy = 3 };
enum : uint8_t { RainUnknown = 0, RainDry = 1, RainWet = 2 };
enum : uint8_t { DayUnknown = 0, DayDark = 1, DayLight = 2, DayVeryLight = 3 };

// Number of sky readings the median needs before the sky can be classified.
inline constexpr int MedianSkySamples = 5;

// ---- Single classifications (thresholds from the settings) -----------------------------------
// Sky from the median of sky-minus-ambient temperatures.
TStatePanel ClassifySky(double medianDeltaTemp, const TSetupInfos& setup);
TStatePanel SkyNotAvailable();
// Air from the relative humidity (%); its code is the rain condition of the condition files.
TStatePanel ClassifyHumidity(double humidity, const TSetupInfos& setup);
// Rain detector: code 1 when it rains, 0 otherwise.
TStatePanel ClassifyRain(bool raining);
// Wind from the gust speed in km/h.
TStatePanel ClassifyWind(double gustKmh, const TSetupInfos& setup);
TStatePanel WindNotAvailable();
// Sky background from the sky brightness in magnitude per square arc-second (hint included).
TStatePanel ClassifySkyBackground(double magnitude, const TSetupInfos& setup);
TStatePanel SkyBackgroundNotAvailable();

// Sky brightness in magnitude per square arc-second of a light level (decimal log of counts).
double SkyMagnitude(double lumex);
// Gust speed of a reading in km/h. The m/s value is stored in single precision, so the product is
// rounded to 1e-4 km/h: a gust stored for 15 km/h then compares as 15, not 14.9999995.
double GustKmh(const TcapteursInfos& reading);

// ---- The whole information tab for one reading ----------------------------------------------
struct TConditionsDisplay {
    // Value texts of the information tab.
    std::string TempText;      // ambient
    std::string RainTempText;  // rain sensor
    std::string IRCanTempText; // IR detector body
    std::string SkyTempText;   // sky minus ambient
    std::string HumidityText;
    std::string DewPointText;
    std::string WindSpeedText;
    // The compass point of the gust ("N-NE"), "Pas de données" without a valid gust.
    std::string WindDirectionText;
    // The felt temperature ("-7.2 °C"), "Pas disponible" when it is not computed.
    std::string WindChillText;
    std::string PowerText;
    std::string VoltsText;
    std::string DefrostText;
    std::string LightText;
    std::string MagnitudeText;

    // State panels; each carries its condition code.
    TStatePanel Sky, Humidity, Rain, Wind, SkyBackground;

    bool SkyAvailable = false; // the median is ready
    bool WindValid = false;
    double WindKmh = 0;    // meaningful when WindValid
    double WindDirDeg = 0; // meaningful when WindValid
    bool LightValid = false;
    double Magnitude = 0; // 0 when the light is not valid
};

// Classifies one reading. Pushes its sky value into medianSky (the only state it touches).
TConditionsDisplay ClassifyConditions(const TcapteursInfos& reading, const TSetupInfos& setup,
                                      TMedianObject& medianSky);
// Felt temperature text: the value when the wind-chill formula applies, else "Pas disponible".
std::string WindChillText(bool computed, double windChill);

// ---- Good conditions and sounds -------------------------------------------------------------
// No rain, clear sky (instant value), calm enough, dark sky. A reading without light is never good.
bool IsGoodConditions(const TcapteursInfos& reading, const TSetupInfos& setup);
// Rain has just started: the history holds at least two records, this reading reports rain and the
// latest stored record did not.
bool RainStarted(const TcapteursInfos& reading, const TTDataStation& history);
// Feeds the good-conditions edge detector and returns the sound file to play on a transition
// (Sound_on_goodCond or Sound_on_BadCond), empty when none. A reading whose sky median or light
// level is unavailable restarts the comparison, so it never plays a sound.
std::string GoodConditionsSound(const TcapteursInfos& reading, const TConditionsDisplay& display,
                                const TSetupInfos& setup, TToggle_bool& goodCond);
// The sounds a reading asks for, in playing order: the good-conditions transition, then rain start.
std::vector<std::string> ConditionSounds(const TcapteursInfos& reading, const TConditionsDisplay& display,
                                         const TSetupInfos& setup, TToggle_bool& goodCond,
                                         const TTDataStation& history);
// Hint of the sky graph explaining the good-conditions marking.
std::string GoodConditionsLegend(const TSetupInfos& setup);

// ---- Values served to automation clients ----------------------------------------------------
// Updated on the main thread only; read there by the automation server.
struct TAutomationValues {
    uint8_t CloudCondition = 0;
    uint8_t WindCondition = 0;
    uint8_t RainCondition = 0;
    uint8_t DayCondition = 0;
    double RelSkyT = 0;
    double AmbientT = 0;
    double SensorT = 0;
    double Wind = 0;    // km/h of the last valid gust
    double WindDir = 0; // degrees of the last valid gust
    double HumidityPercent = 0;
    double DewPointT = 0;
    double HeaterPercent = 0;
    double MagnitudeSec = 0;
    double CloudyThreshT = 0;
    double VCloudyThreshT = 0;
    double WindyThreshSpeed = 0;
    double VWindyThreshSpeed = 0;
    bool RainF = false; // also served as WetF
    bool RoofCloseRequested = false;
    TDateTime DateLastMeasurement = 0; // program load time until the first measurement
};
extern TAutomationValues AutomationValues;

// Start values: everything 0 or false, the time stamp now.
void ResetAutomationValues();
// After a classified measurement.
void PublishMeasurement(const TcapteursInfos& reading, const TConditionsDisplay& display,
                        TAutomationValues& values = AutomationValues);
// After a relay-state display: only when the station reported the relay state.
void PublishRoofState(const TT_Bool& roofSwitchActive, TAutomationValues& values = AutomationValues);
// At start-up and after the settings dialog was confirmed.
void PublishThresholds(const TSetupInfos& setup, TAutomationValues& values = AutomationValues);
// Seconds from the latest measurement to now, rounded, clamped to the 32-bit range.
int32_t SecondsSinceGoodData(const TAutomationValues& values = AutomationValues, TDateTime now = Now());

// ---- Everything one reading needs, in one call ----------------------------------------------
struct TConditionsOutcome {
    TConditionsDisplay Display;
    std::vector<std::string> SoundsToPlay; // in order; each a sound setting (file name)
};
// Classifies the reading, publishes it to the automation values and decides the sounds. The relay
// display (which the panels precede) is the caller's own step.
TConditionsOutcome ProcessConditions(const TcapteursInfos& reading, const TSetupInfos& setup,
                                     TMedianObject& medianSky, TToggle_bool& goodCond,
                                     const TTDataStation& history,
                                     TAutomationValues& values = AutomationValues);

// ---- Text operations ------------------------------------------------------------------------
// "12 sec", "1.5 min", "2.0 hrs".
std::string DurationText(double seconds);
// "1 an(s) 2 mois 3 jour(s) 4 Heure(s) 5 Min(s) 6 sec", units present only when counted.
std::string ElapsedText(double seconds);
// "1.5 J" above one day, else hours "12.0 h".
std::string DaysOrHoursText(double days);
// A value with more decimals the smaller it is.
std::string AdaptiveFloatText(double value);
std::string BoolText(bool value);
std::string WindUnitText(const TSetupInfos& setup);
double WindDisplaySpeed(double metresPerSecond, const TSetupInfos& setup);
double MsToKmh(double metresPerSecond);
double DaysToSeconds(double days);
