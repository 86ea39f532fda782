#include "PublishedConditions.h"

#include <cmath>
#include <limits>

void TPublishedConditions::Reset(TDateTime start) {
    values_ = {};
    values_.DateLastMeasurement = start;
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
}

void TPublishedConditions::PublishRoofState(const TT_Bool& roofSwitchActive) {
    if (roofSwitchActive.Valid) values_.RoofCloseRequested = roofSwitchActive.Value;
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
