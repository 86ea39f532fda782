// Observing statistics over a date range of the history: time-weighted temperatures, share of clear
// sky, continuous clear blocks of two hours, rain time, humidity and wind, for the whole range and
// separately for night and day; and the texts of the result grid.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "DateTime.h"
#include "Records.h"

// A value that exists only under a condition (its flag).
template <typename T> struct TFlaggedValue {
    T Value{};
    bool Valid = false;
};

// Durations in days, temperatures in °C, percentages, gusts in m/s.
struct StatsResult {
    int32_t IntervalCount = 0;
    double DayDuration = 0;
    double NightDuration = 0;
    TFlaggedValue<double> NightClearPercent;
    TFlaggedValue<double> DayClearPercent;
    double ClearPercent = 0;
    int32_t ClearBlocks = 0;
    TFlaggedValue<int32_t> NightClearBlocks; // flag: at least one was counted
    TFlaggedValue<int32_t> DayClearBlocks;
    double RainDuration = 0;
    TFlaggedValue<double> NightMeanTemp;
    TFlaggedValue<double> DayMeanTemp;
    double MeanTemp = 0;
    double HumidityMin = 100;
    double HumidityMax = 0;
    double HumidityMean = 0;
    double GustMean = 0;
    double GustMax = 0;
    double GustMedian = 0;

    // The range asked for; Period = DateFin − DateDeb. The values divided by the period
    // (MeanTemp, ClearPercent, the whole-range block share) mean nothing when it is not positive.
    TDateTime DateDeb = 0;
    TDateTime DateFin = 0;
    double Period = 0;
    bool PeriodValid() const { return Period > 0; }
};

// The length of a continuous clear block, in days.
inline constexpr double ClearBlockDays = 2.0 / 24.0;

// The statistics of the records dated from dateDeb to dateFin, both included. The records are taken
// in the order given (the history's: oldest first). seuilCloudy: a record is clear when its
// sky-minus-ambient difference is below it; seuilDawn: a record is day when its sky brightness
// (mag/sec²) is at most it.
StatsResult ComputeStatistics(std::span<const TcapteursInfos> records, TDateTime dateDeb, TDateTime dateFin,
                              double seuilCloudy, double seuilDawn);

// The grid shows a result only when it has more than this many intervals; otherwise the grid and
// the duration fields keep what they showed.
inline constexpr int32_t StatsMinimumIntervals = 5;
inline bool StatsFillGrid(const StatsResult& result) {
    return result.IntervalCount > StatsMinimumIntervals;
}

// The result grid: 12 rows (row 0 the column titles) of 4 columns (column 0 the row titles,
// 1 the whole range, 2 the night, 3 the day); "N/D" where a value is not valid, "-" where a column
// does not apply. Texts in the language of the moment.
inline constexpr int StatsGridRows = 12;
inline constexpr int StatsGridColumns = 4;
using TStatsGrid = std::array<std::array<std::string, StatsGridColumns>, StatsGridRows>;
TStatsGrid StatsGridTexts(const StatsResult& result);

// "%1.2f Jrs": the period and the night and day durations.
std::string StatsDaysText(double days);

// One JSON object: the fields of StatsResult by name, then "From", "To" (date-time texts) and
// "Period" (days). Numbers at full precision; null where a value is not valid (a night or day value
// without its flag, a value divided by a period that is not positive, a value that is not a number).
std::string StatsJson(const StatsResult& result);
