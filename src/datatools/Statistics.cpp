#include "Statistics.h"

#include <algorithm>
#include <cmath>
#include <fmt/format.h>
#include <fmt/printf.h>
#include <vector>

#include "ConditionTexts.h" // DaysOrHoursText
#include "UserText.h"
#include "Utilities.h"       // MedianOfFloats
#include "WeatherFormulas.h" // Lumex_ToMagnitude

namespace {


// Trapezoid rule, computed as the lower value plus half the difference.
double MeanOf(double a, double b) {
    const double lo = std::min(a, b), hi = std::max(a, b);
    return lo + (hi - lo) / 2;
}

// The run of consecutive clear intervals, judged at each clear record: a run that reached two hours
// counts one block when the next clear record is not its continuation, or once more time cannot be
// added to it. A cloudy record leaves the accumulator as it is.
struct TClearRun {
    double Accumulated = 0;
    int32_t Blocks = 0;

    void OnClear(bool prevClear, double dt) {
        if (prevClear && Accumulated < ClearBlockDays) {
            Accumulated += dt;
            return;
        }
        if (Accumulated >= ClearBlockDays) ++Blocks;
        Accumulated = 0;
    }
};

// The sums of one side (night or day) of the second pass.
struct TSideSums {
    double TempIntegral = 0, Duration = 0, ClearTime = 0;
    TClearRun Run;
};

} // namespace

StatsResult ComputeStatistics(std::span<const TcapteursInfos> records, TDateTime dateDeb, TDateTime dateFin,
                              double seuilCloudy, double seuilDawn) {
    StatsResult s;
    s.DateDeb = dateDeb;
    s.DateFin = dateFin;
    s.Period = dateFin - dateDeb;
    auto inRange = [&](const TcapteursInfos& r) {
        return dateDeb <= r.DateSysteme && r.DateSysteme <= dateFin;
    };
    auto clear = [&](const TcapteursInfos& r) { return r.DeltaTempDeg < seuilCloudy; };

    // Pass 1: every in-range record.
    double tempIntegral = 0, clearTime = 0, humiditySum = 0, gustSum = 0;
    int64_t humidityCount = 0;
    std::vector<double> gusts;
    TClearRun run;
    const TcapteursInfos* prev = nullptr;
    for (const TcapteursInfos& cur : records) {
        if (!inRange(cur)) continue;
        if (prev) {
            ++s.IntervalCount;
            const double dt = cur.DateSysteme - prev->DateSysteme;
            tempIntegral += MeanOf(prev->ValueTempDeg, cur.ValueTempDeg) * dt;
            if (cur.RainStatus == 1) s.RainDuration += dt;
            if (clear(cur)) {
                clearTime += dt;
                run.OnClear(clear(*prev), dt);
            }
        }
        prev = &cur;
        const double humidity = cur.Humidity;
        ++humidityCount;
        if (humidity <= s.HumidityMin) s.HumidityMin = humidity;
        if (humidity >= s.HumidityMax) s.HumidityMax = humidity;
        humiditySum += humidity;
        if (cur.ValidWindGUST) {
            const double gust = cur.WindSpeedMax_ms;
            gustSum += gust;
            if (gust > s.GustMax) s.GustMax = gust;
            gusts.push_back(gust);
        }
    }
    if (humidityCount > 0)
        s.HumidityMean = humiditySum / static_cast<double>(humidityCount);
    else
        s.HumidityMin = s.HumidityMax = s.HumidityMean = 0;
    if (!gusts.empty()) {
        s.GustMean = gustSum / static_cast<double>(gusts.size());
        s.GustMedian = MedianOfFloats(gusts, static_cast<int>(gusts.size()));
    }
    if (s.PeriodValid()) {
        s.MeanTemp = tempIntegral / s.Period;
        s.ClearPercent = clearTime / s.Period * 100;
    }
    s.ClearBlocks = run.Blocks;

    // Pass 2: the in-range records with a light level, split into day and night intervals. An
    // interval from day to night or back counts for neither; the runs go on across it.
    TSideSums day, night;
    prev = nullptr;
    bool prevDay = false;
    for (const TcapteursInfos& cur : records) {
        if (!cur.ValidLight || !inRange(cur)) continue;
        const bool curDay = Lumex_ToMagnitude(cur.Lumex) <= seuilDawn;
        if (prev && prevDay == curDay) {
            TSideSums& side = curDay ? day : night;
            const double dt = cur.DateSysteme - prev->DateSysteme;
            side.TempIntegral += MeanOf(prev->ValueTempDeg, cur.ValueTempDeg) * dt;
            side.Duration += dt;
            if (clear(cur)) {
                side.ClearTime += dt;
                side.Run.OnClear(clear(*prev), dt);
            }
        }
        prev = &cur;
        prevDay = curDay;
    }
    s.DayDuration = day.Duration;
    s.NightDuration = night.Duration;
    s.DayClearBlocks = {day.Run.Blocks, day.Run.Blocks > 0};
    s.NightClearBlocks = {night.Run.Blocks, night.Run.Blocks > 0};
    if (day.Duration > 0) {
        s.DayMeanTemp = {day.TempIntegral / day.Duration, true};
        s.DayClearPercent = {day.ClearTime / day.Duration * 100, true};
    }
    if (night.Duration > 0) {
        s.NightMeanTemp = {night.TempIntegral / night.Duration, true};
        s.NightClearPercent = {night.ClearTime / night.Duration * 100, true};
    }
    return s;
}

std::string StatsDaysText(double days) {
    return fmt::sprintf(Tr("Statistics", "%1.2f Jrs"), days);
}

TStatsGrid StatsGridTexts(const StatsResult& s) {
    const std::string nd = Tr("Statistics", "N/D");
    const std::string none = "-";
    auto temp = [&](double v) { return fmt::sprintf("%2.1f °C", v); };
    auto percent = [&](double v) { return fmt::sprintf("%2.1f %%", v); };
    auto blocks = [&](int32_t n) { return fmt::sprintf(Tr("Statistics", "%d blocs"), n); };
    auto blockShare = [&](int32_t n, double duration) {
        return fmt::sprintf("%1.1f %%", n * 2.0 / 24.0 / duration * 100);
    };
    auto flaggedTemp = [&](const TFlaggedValue<double>& v) { return v.Valid ? temp(v.Value) : nd; };
    auto flaggedPercent = [&](const TFlaggedValue<double>& v) { return v.Valid ? percent(v.Value) : nd; };
    auto flaggedBlocks = [&](const TFlaggedValue<int32_t>& v) { return v.Valid ? blocks(v.Value) : nd; };
    auto flaggedShare = [&](const TFlaggedValue<int32_t>& v, double duration) {
        return v.Valid && duration > 0 ? blockShare(v.Value, duration) : nd;
    };
    auto humidity = [&](double v) { return fmt::sprintf("%1.1f %%", v); };
    auto wind = [&](double ms) { return fmt::sprintf("%1.1f km/h", ms * 3.6); };
    const bool period = s.PeriodValid();

    TStatsGrid g;
    g[0] = {"", Tr("Statistics", "Jour/Nuit"), Tr("Statistics", "Nuit"), Tr("Statistics", "Jour")};
    g[1] = {Tr("Statistics", " Température (Moyenne)"), period ? temp(s.MeanTemp) : nd,
            flaggedTemp(s.NightMeanTemp), flaggedTemp(s.DayMeanTemp)};
    g[2] = {Tr("Statistics", " % ciel sans nuages"), period ? percent(s.ClearPercent) : nd,
            flaggedPercent(s.NightClearPercent), flaggedPercent(s.DayClearPercent)};
    g[3] = {Tr("Statistics", " Blocs continus de ciel sans nuages >2h"), blocks(s.ClearBlocks),
            flaggedBlocks(s.NightClearBlocks), flaggedBlocks(s.DayClearBlocks)};
    g[4] = {Tr("Statistics", " % continus de ciel sans nuages >2h"),
            period ? blockShare(s.ClearBlocks, s.Period) : nd,
            flaggedShare(s.NightClearBlocks, s.NightDuration), flaggedShare(s.DayClearBlocks, s.DayDuration)};
    g[5] = {Tr("Statistics", " Nb d'heures pluie/neige"), DaysOrHoursText(s.RainDuration), none, none};
    g[6] = {Tr("Statistics", "Humidité Moyenne (%)"), humidity(s.HumidityMean), none, none};
    g[7] = {Tr("Statistics", "Humidité Max (%)"), humidity(s.HumidityMax), none, none};
    g[8] = {Tr("Statistics", "Humidité Min (%)"), humidity(s.HumidityMin), none, none};
    g[9] = {Tr("Statistics", "Vent (Moyenne)"), wind(s.GustMean), none, none};
    g[10] = {Tr("Statistics", "Vent (Maximum)"), wind(s.GustMax), none, none};
    g[11] = {Tr("Statistics", "Vent (Median)"), wind(s.GustMedian), none, none};
    return g;
}

namespace {

std::string JsonNumber(double value, bool valid = true) {
    return valid && std::isfinite(value) ? fmt::format("{}", value) : "null";
}

std::string JsonDate(TDateTime value) {
    if (!std::isfinite(value)) return "null";
    const auto p = DecodeDateTime(value);
    return fmt::format("\"{:04d}-{:02d}-{:02d} {:02d}:{:02d}:{:02d}\"", p.Year, p.Month, p.Day, p.Hour,
                       p.Minute, p.Second);
}

} // namespace

std::string StatsJson(const StatsResult& s) {
    const bool period = s.PeriodValid();
    const std::pair<const char*, std::string> fields[] = {
        {"IntervalCount", fmt::format("{}", s.IntervalCount)},
        {"DayDuration", JsonNumber(s.DayDuration)},
        {"NightDuration", JsonNumber(s.NightDuration)},
        {"NightClearPercent", JsonNumber(s.NightClearPercent.Value, s.NightClearPercent.Valid)},
        {"DayClearPercent", JsonNumber(s.DayClearPercent.Value, s.DayClearPercent.Valid)},
        {"ClearPercent", JsonNumber(s.ClearPercent, period)},
        {"ClearBlocks", fmt::format("{}", s.ClearBlocks)},
        {"NightClearBlocks", s.NightClearBlocks.Valid ? fmt::format("{}", s.NightClearBlocks.Value) : "null"},
        {"DayClearBlocks", s.DayClearBlocks.Valid ? fmt::format("{}", s.DayClearBlocks.Value) : "null"},
        {"RainDuration", JsonNumber(s.RainDuration)},
        {"NightMeanTemp", JsonNumber(s.NightMeanTemp.Value, s.NightMeanTemp.Valid)},
        {"DayMeanTemp", JsonNumber(s.DayMeanTemp.Value, s.DayMeanTemp.Valid)},
        {"MeanTemp", JsonNumber(s.MeanTemp, period)},
        {"HumidityMin", JsonNumber(s.HumidityMin)},
        {"HumidityMax", JsonNumber(s.HumidityMax)},
        {"HumidityMean", JsonNumber(s.HumidityMean)},
        {"GustMean", JsonNumber(s.GustMean)},
        {"GustMax", JsonNumber(s.GustMax)},
        {"GustMedian", JsonNumber(s.GustMedian)},
        {"From", JsonDate(s.DateDeb)},
        {"To", JsonDate(s.DateFin)},
        {"Period", JsonNumber(s.Period)},
    };
    std::string json = "{";
    for (const auto& [name, value] : fields)
        json += fmt::format("{}\"{}\": {}", json.size() > 1 ? ", " : "", name, value);
    return json + "}";
}
