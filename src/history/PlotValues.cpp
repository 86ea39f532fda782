#include "PlotValues.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "WeatherFormulas.h"
#include "UserText.h"

namespace {

[[noreturn]] void NotImplemented() {
    throw EOrvanelError(Tr("TGraphicSpecial", "Non implementé!"));
}

// Calls use with the function that gives a record's value of quantity. The choice is made once, so
// that a pass over many records runs one small loop with the value inlined.
template <typename Use> void WithValueOf(TPlottedQuantity quantity, const TPlotOptions& options, Use&& use) {
    using Q = TPlottedQuantity;
    using V = std::optional<double>;
    using R = const TcapteursInfos&;
    switch (quantity) {
    case Q::Lighdata:
        if (options.MagniDisplay)
            return use([](R r) { return r.ValidLight ? V(Lumex_ToMagnitude(r.Lumex)) : std::nullopt; });
        return use([](R r) { return r.ValidLight ? V(FieldValue(r.Lumex)) : std::nullopt; });
    case Q::IRData:
        return use([](R r) { return V(FieldValue(r.ValueSkyDeg)); });
    case Q::MoistureData:
        return use([](R r) { return V(FieldValue(r.Humidity)); });
    case Q::TempData:
        return use([](R r) { return V(FieldValue(r.ValueTempDeg)); });
    case Q::WinData:
        return use([](R r) { return r.ValidWindGUST ? V(Ms_ToKmh(r.WindSpeedMax_ms)) : std::nullopt; });
    case Q::VoltsData:
        return use([](R r) { return V(FieldValue(r.ValueSkyVolts)); });
    case Q::IRData_Minus_Sol:
        return use([](R r) { return V(FieldValue(r.DeltaTempDeg)); });
    case Q::HeatData:
        return use([](R r) { return V(FieldValue(r.ValueTempFceDeg)); });
    case Q::DewPoint:
        return use([](R r) { return V(FieldValue(r.DewPoint)); });
    case Q::ValueCanVolts:
        return use([](R r) { return V(FieldValue(r.ValueCanVolts)); });
    case Q::RainHeaterPower:
        return use([](R r) { return V(FieldValue(r.PowerRainDet) / 10.0); });
    case Q::PowerVolts:
        return use([](R r) { return V(FieldValue(r.PowerVolts)); });
    case Q::ValueCanDeg:
        return use([](R r) { return V(FieldValue(r.ValueCanDeg)); });
    }
    NotImplemented();
}

} // namespace

TPlottedQuantity MainQuantityOf(TTypeDataGraph type) {
    switch (type) {
    case Lighdata:
    case IRData:
    case MoistureData:
    case TempData:
    case WinData:
    case VoltsData:
    case IRData_Minus_Sol:
    case HeatData:
        return static_cast<TPlottedQuantity>(type);
    }
    NotImplemented();
}

std::optional<double> PlottedValue(const TcapteursInfos& record, TPlottedQuantity quantity,
                                   const TPlotOptions& options) {
    std::optional<double> value;
    WithValueOf(quantity, options, [&](auto valueOf) { value = valueOf(record); });
    return value;
}

TDateTime ColumnStart(TDateTime from, TDateTime to, int columns, int column) {
    if (column >= columns) return to;
    return from + (to - from) * column / columns;
}

std::vector<TColumnMinMax> MinMaxPerColumn(std::span<const TcapteursInfos> records, TPlottedQuantity quantity,
                                           TDateTime from, TDateTime to, int columns,
                                           const TPlotOptions& options) {
    std::vector<TColumnMinMax> result(static_cast<size_t>(std::max(columns, 0)));
    if (columns < 1 || !std::isfinite(from) || !std::isfinite(to) || !(from < to)) return result;
    const auto dateBefore = [](const TcapteursInfos& r, TDateTime date) { return r.DateSysteme < date; };
    const auto* i = std::lower_bound(records.data(), records.data() + records.size(), from, dateBefore);
    const auto* end = std::lower_bound(i, records.data() + records.size(), to, dateBefore);

    // One pass: the records of each column follow those of the column before.
    WithValueOf(quantity, options, [&](auto valueOf) {
        for (int c = 0; c < columns && i != end; ++c) {
            const TDateTime columnEnd = ColumnStart(from, to, columns, c + 1);
            double low = std::numeric_limits<double>::infinity();
            double high = -low;
            for (; i != end && i->DateSysteme < columnEnd; ++i) {
                const std::optional<double> v = valueOf(*i);
                if (!v || !std::isfinite(*v)) continue;
                low = std::min(low, *v);
                high = std::max(high, *v);
            }
            if (low <= high) result[static_cast<size_t>(c)] = {low, high, true};
        }
    });
    return result;
}
