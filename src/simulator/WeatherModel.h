// Plausible outdoor weather for the simulated station: a day and night cycle, passing clouds,
// showers and gusts. A pure function of the model time and the seed, so a run can be replayed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace halvex::sim {

struct TWeather {
    double AmbientC = 10;         // air temperature
    double Humidity = 60;         // % relative humidity
    double SkyMinusAmbient = -25; // infrared sky temperature minus air temperature
    double CloudCover = 0;        // 0 clear to 1 overcast
    bool Rain = false;
    double GustKmh = 0; // strongest gust of the moment
    double WindDirDeg = 0;
    double Magnitude = 20; // sky background, magnitude per square arc-second
    double SunElevationDeg = -30;
    double SupplyVolts = 12.5;
};

// One line of a scripted scenario: NAME[=VALUE]@FROM-TO, minutes of model time.
struct ScenarioItem {
    std::string Name; // rain, dry, wind, dir, sky, rh, temp, mag, silent
    double Value = 0;
    bool HasValue = false;
    double FromMinute = 0;
    double ToMinute = 0;
    bool Covers(double modelSeconds) const {
        return modelSeconds >= FromMinute * 60 && modelSeconds < ToMinute * 60;
    }
};

// Parses "rain@3-5,wind=40@10-12"; throws std::invalid_argument with a readable message.
std::vector<ScenarioItem> ParseScenario(const std::string& text);
// True when a "silent" item covers the moment.
bool ScenarioSilent(const std::vector<ScenarioItem>& scenario, double modelSeconds);

class WeatherModel {
  public:
    // dayLengthSeconds: length of one day and night cycle; 86400 follows the station clock's hour.
    explicit WeatherModel(uint64_t seed = 1, double dayLengthSeconds = 86400);

    void SetScenario(std::vector<ScenarioItem> scenario) { scenario_ = std::move(scenario); }
    const std::vector<ScenarioItem>& Scenario() const { return scenario_; }

    // modelSeconds: time since the simulator started; clockSecondsOfDay: the station clock's time of
    // day at that moment (the sun follows it when the day lasts 24 hours).
    TWeather At(double modelSeconds, double clockSecondsOfDay) const;

    // Cycle periods: every state of sky, wind, humidity and rain comes round within each of them.
    static constexpr double CloudPeriod = 55 * 60;
    static constexpr double WindPeriod = 34 * 60;
    static constexpr double HumidityPeriod = 52 * 60;

  private:
    double Noise(int channel, double t, double period) const;
    double SunElevation(double modelSeconds, double clockSecondsOfDay) const;
    void ApplyScenario(TWeather& w, double modelSeconds) const;

    uint64_t seed_;
    double dayLength_;
    double phaseCloud_, phaseWind_, phaseHumidity_;
    std::vector<ScenarioItem> scenario_;
};

// Sky magnitude for a sun elevation and a cloud cover (clouds dim the day and light up the night
// with the glow of nearby towns).
double SkyMagnitude(double sunElevationDeg, double cloudCover);

} // namespace halvex::sim
