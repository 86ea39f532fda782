// The rows of the data table: the recent records of the history, newest first, as texts. Rows are
// made when they are asked for, so that a table of 200000 rows is ready at once.
#pragma once

#include <array>
#include <cstddef>
#include <string>

#include "Records.h"

class THistoryStore;

inline constexpr int DataTableColumns = 9;
// At most this many rows are shown.
inline constexpr size_t DataTableMaxRows = 200000;

using TDataTableRow = std::array<std::string, DataTableColumns>;

// What changes the texts of the table.
struct TDataTableOptions {
    bool MagniDisplay = false;   // the light column shows the sky brightness, else the light level
    bool SkyMinusGround = true;  // the sky column shows sky minus ambient, else the sky temperature
    bool UnitMph = false;        // the wind column in mph, else km/h
    double RangeDateDisplay = 1; // days before the newest record that are shown
};

// The column titles.
TDataTableRow DataTableTitles(const TDataTableOptions& options);
// The texts of the record with this 1-based index.
TDataTableRow DataTableRowTexts(const TcapteursInfos& record, size_t index, const TDataTableOptions& options);

// Which records the table shows, fixed when it is built: row r (0-based, under the titles) is the
// record Newest − r. Records appended later do not move the rows.
class TDataTableWindow {
  public:
    TDataTableWindow() = default;
    TDataTableWindow(const THistoryStore& store, const TDataTableOptions& options);

    // The recent records of the whole history (the label's count).
    size_t RecentCount() const { return recent_; }
    // Rows shown: the recent records, at most DataTableMaxRows.
    size_t Rows() const { return rows_; }
    // More records were recent than rows can show.
    bool Limited() const { return recent_ > rows_; }
    // 0-based index in the history of row r.
    size_t RecordIndex(size_t row) const { return newest_ - row; }

  private:
    size_t recent_ = 0, rows_ = 0, newest_ = 0;
};

// "Affichage des données des %1.0f dernier(s) jour(s) : %d données"
std::string DataTableCountText(double rangeDays, size_t count);
// "Le nombre de points est supérieur à %d, il ne seront pas tous affichés ici !"
std::string DataTableLimitText();
