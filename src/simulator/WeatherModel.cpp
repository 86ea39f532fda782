#include "WeatherModel.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>

namespace halvex::sim {

namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;

uint64_t SplitMix(uint64_t x) {
    x += 0x9E3779B97F4A7C15ULL;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    return x ^ (x >> 31);
}

double Unit(uint64_t seed, int channel, int64_t index) {
    const uint64_t h = SplitMix(
        seed ^ SplitMix(static_cast<uint64_t>(channel) * 0x1000193ULL + static_cast<uint64_t>(index)));
    return static_cast<double>(h >> 11) / 9007199254740992.0;
}

double Smooth(double f) {
    return f * f * (3 - 2 * f);
}

double Interpolate(double from, double to, double f) {
    return from + (to - from) * f;
}

double ParseNumber(const std::string& text, const std::string& item) {
    try {
        std::size_t used = 0;
        const double v = std::stod(text, &used);
        if (used == text.size()) return v;
    } catch (const std::exception&) {
    }
    throw std::invalid_argument("scenario: bad number '" + text + "' in '" + item + "'");
}

} // namespace

std::vector<ScenarioItem> ParseScenario(const std::string& text) {
    static const std::vector<std::string> kNames = {"rain", "dry",  "wind", "dir",   "sky",
                                                    "rh",   "temp", "mag",  "silent"};
    std::vector<ScenarioItem> items;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t comma = text.find(',', start);
        if (comma == std::string::npos) comma = text.size();
        const std::string item = text.substr(start, comma - start);
        start = comma + 1;
        if (item.empty()) continue;
        const std::size_t at = item.find('@');
        const std::size_t dash = item.find('-', at == std::string::npos ? 0 : at + 1);
        if (at == std::string::npos || dash == std::string::npos)
            throw std::invalid_argument("scenario: '" + item + "' is not NAME[=VALUE]@FROM-TO");
        ScenarioItem s;
        const std::string head = item.substr(0, at);
        const std::size_t eq = head.find('=');
        s.Name = head.substr(0, eq);
        if (std::find(kNames.begin(), kNames.end(), s.Name) == kNames.end())
            throw std::invalid_argument("scenario: unknown name '" + s.Name + "'");
        if (eq != std::string::npos) {
            s.Value = ParseNumber(head.substr(eq + 1), item);
            s.HasValue = true;
        }
        s.FromMinute = ParseNumber(item.substr(at + 1, dash - at - 1), item);
        s.ToMinute = ParseNumber(item.substr(dash + 1), item);
        if (s.ToMinute <= s.FromMinute)
            throw std::invalid_argument("scenario: '" + item + "' ends before it starts");
        const bool needsValue = s.Name != "rain" && s.Name != "dry" && s.Name != "silent";
        if (needsValue && !s.HasValue) throw std::invalid_argument("scenario: '" + item + "' needs =VALUE");
        items.push_back(s);
    }
    return items;
}

bool ScenarioSilent(const std::vector<ScenarioItem>& scenario, double modelSeconds) {
    return std::any_of(scenario.begin(), scenario.end(),
                       [&](const ScenarioItem& s) { return s.Name == "silent" && s.Covers(modelSeconds); });
}

WeatherModel::WeatherModel(uint64_t seed, double dayLengthSeconds)
    : seed_(seed), dayLength_(dayLengthSeconds > 0 ? dayLengthSeconds : 86400),
      phaseCloud_(Unit(seed, 100, 0) * kTwoPi), phaseWind_(Unit(seed, 101, 0) * kTwoPi),
      phaseHumidity_(Unit(seed, 102, 0) * kTwoPi) {}

// Smooth value noise in [0, 1): random values every `period` seconds, eased in between.
double WeatherModel::Noise(int channel, double t, double period) const {
    const double x = t / period;
    const double i = std::floor(x);
    const auto index = static_cast<int64_t>(i);
    return Interpolate(Unit(seed_, channel, index), Unit(seed_, channel, index + 1), Smooth(x - i));
}

double WeatherModel::SunElevation(double modelSeconds, double clockSecondsOfDay) const {
    double secondOfDay = clockSecondsOfDay;
    if (dayLength_ != 86400) // a shortened day runs on model time, starting at the clock's hour
        secondOfDay = std::fmod(clockSecondsOfDay - modelSeconds + modelSeconds * 86400 / dayLength_, 86400);
    const double hour = secondOfDay / 3600;
    return 55 * std::sin(kTwoPi * (hour - 6) / 24);
}

double SkyMagnitude(double sunElevationDeg, double cloudCover) {
    const double el = sunElevationDeg;
    double m;
    if (el >= 0)
        m = 6.6 - std::min(el, 55.0) / 55 * 6;
    else if (el > -6)
        m = 6.6 + (-el / 6) * 5.4;
    else if (el > -12)
        m = 12 + (-el - 6) / 6 * 4;
    else if (el > -18)
        m = 16 + (-el - 12) / 6 * 3.5;
    else
        m = 19.5;
    if (m > 12)
        m -= 1.2 * cloudCover; // town glow on the clouds
    else
        m += 0.8 * cloudCover;
    return m;
}

TWeather WeatherModel::At(double t, double clockSecondsOfDay) const {
    TWeather w;
    // Clouds: a cycle from clear to overcast (some period in each CloudPeriod), roughened by noise.
    const double cloudWave = std::sin(kTwoPi * t / CloudPeriod + phaseCloud_);
    w.CloudCover = std::clamp(0.5 + 0.55 * cloudWave + 0.25 * (Noise(1, t, 300) - 0.5), 0.0, 1.0);
    w.SkyMinusAmbient = -32 + 30 * w.CloudCover + 1.5 * (Noise(2, t, 60) - 0.5);
    // Showers near the thickest clouds; always a little rain at the very peak.
    w.Rain = cloudWave > 0.97 || (cloudWave > 0.9 && Noise(3, t, 240) > 0.4);

    w.SunElevationDeg = SunElevation(t, clockSecondsOfDay);
    w.Magnitude = SkyMagnitude(w.SunElevationDeg, w.CloudCover) + 0.2 * (Noise(4, t, 120) - 0.5);

    const double sunWarmth = std::sin(w.SunElevationDeg * std::numbers::pi / 180);
    w.AmbientC =
        11 + 6 * sunWarmth * (1 - 0.5 * w.CloudCover) + 2 * (Noise(5, t, 1800) - 0.5) - (w.Rain ? 2 : 0);

    const double humidWave = std::sin(kTwoPi * t / HumidityPeriod + phaseHumidity_);
    w.Humidity = std::clamp(60 + 27 * humidWave + 6 * (w.CloudCover - 0.5) + 4 * (Noise(6, t, 200) - 0.5) +
                                (w.Rain ? 12 : 0),
                            15.0, 99.0);

    // Wind: a mean wind rising and falling, gusts on top of it.
    const double windWave = std::sin(kTwoPi * t / WindPeriod + phaseWind_);
    const double meanKmh = std::max(0.0, 10 + 9.5 * windWave + 3 * (Noise(7, t, 180) - 0.5));
    const double gustFactor = 1 + 0.5 * Noise(8, t, 20) * Noise(9, t, 90);
    w.GustKmh = meanKmh * gustFactor;
    w.WindDirDeg =
        std::fmod(225 + 180 * (Noise(10, t, 3600) - 0.5) + 30 * (Noise(11, t, 15) - 0.5) + 360, 360);

    w.SupplyVolts = 12.5 + 0.2 * (Noise(12, t, 600) - 0.5);
    ApplyScenario(w, t);
    return w;
}

void WeatherModel::ApplyScenario(TWeather& w, double t) const {
    bool humiditySet = false, rainForced = false;
    for (const ScenarioItem& s : scenario_) {
        if (!s.Covers(t)) continue;
        if (s.Name == "rain") {
            w.Rain = !s.HasValue || s.Value != 0;
            rainForced = w.Rain;
        } else if (s.Name == "dry")
            w.Rain = false;
        else if (s.Name == "wind")
            w.GustKmh = std::max(0.0, s.Value);
        else if (s.Name == "dir")
            w.WindDirDeg = std::fmod(std::fmod(s.Value, 360) + 360, 360);
        else if (s.Name == "sky")
            w.SkyMinusAmbient = s.Value;
        else if (s.Name == "rh") {
            w.Humidity = std::clamp(s.Value, 0.0, 100.0);
            humiditySet = true;
        } else if (s.Name == "temp")
            w.AmbientC = s.Value;
        else if (s.Name == "mag")
            w.Magnitude = s.Value;
    }
    if (rainForced && w.Rain && !humiditySet) w.Humidity = std::max(w.Humidity, 90.0); // wet air under rain
}

} // namespace halvex::sim
