// The values served to automation clients and written to the one-line condition file: one object,
// owned by the controller and updated on the main thread only (after each classified reading, after
// each relay-state display, for the thresholds), read there by the automation server and the file
// writer.
#pragma once

#include <cstdint>

#include "Conditions.h"
#include "DateTime.h"
#include "Records.h"

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
    TDateTime DateLastMeasurement = 0; // start time until the first measurement
};

class TPublishedConditions {
  public:
    // Start values: everything 0 or false, the time stamp `start`.
    explicit TPublishedConditions(TDateTime start) { Reset(start); }

    const TAutomationValues& Values() const { return values_; }

    void Reset(TDateTime start);
    // After a classified measurement.
    void PublishMeasurement(const TConditions& conditions);
    // After a relay-state display: only when the station reported the relay state.
    void PublishRoofState(const TT_Bool& roofSwitchActive);
    // At start-up and after the settings dialog was confirmed.
    void PublishThresholds(const TSetupInfos& setup);

  private:
    TAutomationValues values_;
};

// Seconds from the latest measurement to now, rounded, clamped to the 32-bit range.
int32_t SecondsSinceGoodData(const TAutomationValues& values, TDateTime now);

// ---- Everything one reading needs, in one call ----------------------------------------------
struct TConditionsOutcome {
    TConditions Conditions;
    std::vector<std::string> SoundsToPlay; // in order; each a sound setting (file name)
};
// Classifies the reading, publishes it and decides the sounds. The relay display (which the panels
// precede) is the caller's own step.
TConditionsOutcome ProcessConditions(const TcapteursInfos& reading, const TSetupInfos& setup,
                                     std::optional<double> medianSkyDeltaT, TToggle_bool& goodCond,
                                     const TTDataStation& history, TPublishedConditions& published);
