#include "DataTable.h"

#include <fmt/printf.h>

#include "Conditions.h" // WindDisplaySpeed
#include "HistoryStore.h"
#include "UserText.h"
#include "WeatherFormulas.h"

namespace {

const char* const kUnknown = "???";

} // namespace

TDataTableRow DataTableTitles(const TDataTableOptions& o) {
    return {
        Tr("DataTable", "Index"),         Tr("DataTable", "Date"),
        Tr("DataTable", "Temp °C"),       Tr("DataTable", "Tp Ciel °C"),
        Tr("DataTable", "Pluie"),         o.MagniDisplay ? Tr("DataTable", "Magnitude") : Tr("DataTable", "Lumière"),
        Tr("DataTable", "Dir. Vent (°)"), Tr("DataTable", "Vent (") + (o.UnitMph ? "Mph" : "km/h") + ")",
        Tr("DataTable", "Humidité (%)")};
}

TDataTableRow DataTableRowTexts(const TcapteursInfos& r, size_t index, const TDataTableOptions& o) {
    const double temp = r.ValueTempDeg, sky = r.ValueSkyDeg;
    TDataTableRow row;
    row[0] = fmt::format("{}", index);
    row[1] = DateTimeText(r.DateSysteme);
    row[2] = fmt::sprintf("%1.1f", temp);
    row[3] = fmt::sprintf("%1.1f", o.SkyMinusGround ? sky - temp : sky);
    row[4] = r.RainStatus == 1 ? Tr("DataTable", "OUI") : Tr("DataTable", "NON");
    row[5] = r.ValidLight ? fmt::sprintf("%1.2f", o.MagniDisplay ? Lumex_ToMagnitude(r.Lumex) : r.Lumex)
                          : kUnknown;
    if (r.ValidWindGUST) {
        static const TSetupInfos kmh{}, mph = [] {
            TSetupInfos s;
            s.Unit_Mph = true;
            return s;
        }();
        row[6] = fmt::sprintf("%1.1f", static_cast<double>(r.DirSpeedMax_deg));
        row[7] = fmt::sprintf("%1.1f", WindDisplaySpeed(r.WindSpeedMax_ms, o.UnitMph ? mph : kmh));
    } else {
        row[6] = row[7] = kUnknown;
    }
    row[8] = fmt::sprintf("%1.1f", static_cast<double>(r.Humidity));
    return row;
}

TDataTableWindow::TDataTableWindow(const THistoryStore& store, const TDataTableOptions& options) {
    if (store.Empty()) return;
    newest_ = store.Size() - 1;
    // The recent records are the tail of the history.
    recent_ = store.Size() - store.FirstInDisplayRange(options.RangeDateDisplay);
    rows_ = std::min(recent_, DataTableMaxRows);
}

std::string DataTableCountText(double rangeDays, size_t count) {
    return fmt::sprintf(Tr("DataTable", "Affichage des données des %1.0f dernier(s) jour(s) : %d données"),
                        rangeDays, static_cast<int>(count));
}

std::string DataTableLimitText() {
    return fmt::sprintf(
        Tr("DataTable", "Le nombre de points est supérieur à %d, il ne seront pas tous affichés ici !"),
        static_cast<int>(DataTableMaxRows));
}
