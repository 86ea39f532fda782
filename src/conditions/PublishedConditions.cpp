#include "PublishedConditions.h"

#include <cmath>
#include <limits>

#include "Log.h"

void TPublishedConditions::Reset(TDateTime start) {
    values_ = {};
    values_.DateLastMeasurement = start;
    safety_ = {};
    verdict_ = TSafetyMonitor(verdict_.Rules());
    announced_ = false;
}

void TPublishedConditions::PublishMeasurement(const TConditions& c) {
    auto& v = values_;
    v.DateLastMeasurement = c.Date;
    v.AmbientT = c.AmbientT;
    v.SensorT = c.IRSensorT;
    v.RelSkyT = c.SkyDeltaT;
    v.CloudCondition = c.CloudCode();
    v.HumidityPercent = c.Humidity;
    v.RainCondition = c.RainCode();
    v.DewPointT = c.DewPoint;
    v.RainF = c.Raining;
    // Wind and direction keep the last valid gust; only the condition says the gust is missing.
    if (c.WindValid) {
        v.Wind = c.GustKmh;
        v.WindDir = c.WindDirDeg;
    }
    v.WindCondition = c.WindCode();
    v.HeaterPercent = c.HeaterPercent;
    v.MagnitudeSec = c.LightValid ? c.Magnitude : 0;
    v.DayCondition = c.DayCode();
    safety_.HasReading = true;
    safety_.LastReading = c.Date;
    safety_.Raining = c.Raining;
    safety_.VeryWindy = c.Wind == TWindState::VeryWindy;
    safety_.CloudCode = c.CloudCode();
    safety_.DayCode = c.DayCode();
}

void TPublishedConditions::PublishRoofState(const TT_Bool& roofSwitchActive) {
    if (roofSwitchActive.Valid) values_.RoofCloseRequested = roofSwitchActive.Value;
    safety_.RoofClosed = values_.RoofCloseRequested;
}

void TPublishedConditions::PublishLinkState(bool lost) {
    safety_.LinkLost = lost;
}

const TSafetyMonitor& TPublishedConditions::Verdict(TDateTime now) const {
    const bool before = verdict_.IsSafe();
    const bool safe = verdict_.Update(safety_, now);
    if (announced_ && safe == before) return verdict_;
    announced_ = true;
    std::string reasons;
    for (const TUnsafeReason r : verdict_.Reasons())
        reasons += (reasons.empty() ? "" : ", ") + std::string(UnsafeReasonLogName(r));
    LogToday(safe ? std::string("Safety verdict: safe") : "Safety verdict: unsafe (" + reasons + ")");
    return verdict_;
}

void TPublishedConditions::PublishThresholds(const TSetupInfos& setup) {
    values_.CloudyThreshT = setup.SeuilCloudy;
    values_.VCloudyThreshT = setup.SeuilVeryCloudy;
    values_.WindyThreshSpeed = setup.SeuilWindy_km;
    values_.VWindyThreshSpeed = setup.SeuilVeryWindy_km;
}

int32_t SecondsSinceGoodData(const TAutomationValues& values, TDateTime now) {
    const double seconds = std::nearbyint((now - values.DateLastMeasurement) * 86400.0);
    if (!(seconds > std::numeric_limits<int32_t>::min())) return std::numeric_limits<int32_t>::min();
    if (seconds > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(seconds);
}

TConditionsOutcome ProcessConditions(const TcapteursInfos& reading, const TSetupInfos& setup,
                                     std::optional<double> medianSkyDeltaT, TToggle_bool& goodCond,
                                     const TTDataStation& history, TPublishedConditions& published) {
    TConditionsOutcome outcome;
    outcome.Conditions = ClassifyConditions(reading, setup, medianSkyDeltaT);
    published.PublishMeasurement(outcome.Conditions);
    outcome.SoundsToPlay = ConditionSounds(reading, outcome.Conditions, setup, goodCond, history);
    return outcome;
}
