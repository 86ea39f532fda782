// The values served to automation clients and written to the one-line condition file, and the one
// safe/unsafe verdict on them: one object, owned by the controller and updated on the main thread
// only (after each classified reading, after each relay-state display, for the thresholds, on each
// change of the station link), read there by every service, so that each shows the same verdict
// with the same `since`.
#pragma once

#include <cstdint>

#include "Conditions.h"
#include "DateTime.h"
#include "Records.h"
#include "SafetyVerdict.h"

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
    // The station link was lost (true) or answers again (false).
    void PublishLinkState(bool lost);

    // ---- The verdict ----
    // Its rules, from the settings (before the first evaluation).
    void SetSafetyRules(const TSafetyRules& rules) { verdict_ = TSafetyMonitor(rules); }
    // The verdict at `now` on what was published: looking moves it along the clock, so that a
    // reading going stale is seen without a new one. Each change is logged once, whoever looked.
    const TSafetyMonitor& Verdict(TDateTime now) const;
    // As last evaluated.
    const TSafetyMonitor& LastVerdict() const { return verdict_; }
    // What the verdict looks at (the station link, the roof relay, the latest reading).
    const TSafetyInputs& SafetyInputs() const { return safety_; }

  private:
    TAutomationValues values_;
    TSafetyInputs safety_;
    mutable TSafetyMonitor verdict_;
    mutable bool announced_ = false;
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
