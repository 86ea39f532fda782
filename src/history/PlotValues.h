// What the plots draw of each record, and the smallest and largest value of each pixel column for
// plots denser than their width. Pure functions of the records; the store offers them on its history.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "Records.h"

// A series a plot draws. The first eight are the main value of each plot, with the numbers and names
// of TTypeDataGraph; the others are the series some plots draw beside their main value.
enum class TPlottedQuantity : uint8_t {
    Lighdata = ::Lighdata,                 // light: magnitude or log level; none when the light is not valid
    IRData = ::IRData,                     // sky temperature
    MoistureData = ::MoistureData,         // humidity
    TempData = ::TempData,                 // ambient temperature (also the heater plot's green series)
    WinData = ::WinData,                   // gust in km/h; none when the gust is not valid
    VoltsData = ::VoltsData,               // sky sensor volts
    IRData_Minus_Sol = ::IRData_Minus_Sol, // sky minus ambient temperature
    HeatData = ::HeatData,                 // heater temperature
    DewPoint,                              // temperature plot, cyan
    ValueCanVolts,                         // volts plot, cyan
    RainHeaterPower,                       // heater plot, cyan: PowerRainDet / 10
    PowerVolts,                            // heater plot, yellow
    ValueCanDeg,                           // heater plot, blue
};

// The main series of a plot. Raises EOrvanelError "Non implementé!" for a type outside the enumeration.
TPlottedQuantity MainQuantityOf(TTypeDataGraph type);

struct TPlotOptions {
    bool MagniDisplay = false; // light as magnitude per square arc-second rather than log level
};

// The value plotted for a record; none when the record has no value for that series (it is then
// skipped: not drawn, not scaled). Raises "Non implementé!" for a quantity outside the enumeration.
std::optional<double> PlottedValue(const TcapteursInfos& record, TPlottedQuantity quantity,
                                   const TPlotOptions& options = {});

// The values of one pixel column. Valid is false when the column holds no finite value.
struct TColumnMinMax {
    double Min = 0;
    double Max = 0;
    bool Valid = false;
};

// Column c of columns over [from, to) covers the dates from ColumnStart(c) included to
// ColumnStart(c + 1) excluded; ColumnStart(columns) is to.
TDateTime ColumnStart(TDateTime from, TDateTime to, int columns, int column);

// One entry per column over [from, to) (none when columns < 1): the smallest and largest plotted value
// of the records dated in each column. Values that are not finite are left out, as they are never
// drawn. records: in date order (the history). Every column is invalid unless from < to, both finite.
std::vector<TColumnMinMax> MinMaxPerColumn(std::span<const TcapteursInfos> records, TPlottedQuantity quantity,
                                           TDateTime from, TDateTime to, int columns,
                                           const TPlotOptions& options = {});
