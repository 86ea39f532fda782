// The history in memory, oldest first, and the month files it is read from and saved to. One owner
// (the controller, on its thread) writes it; everything else reads Records().
//
// Rules that keep every measured record:
// - a month file is rewritten only from a complete copy of that month: before a record of a month
//   that was not read enters the history, that month's file is read and merged;
// - the history stays in date order: a record with the date of one already held is a copy and is
//   dropped; a record older than the newest one held, or whose date is not a sound date (from 2000
//   to now + 1 day), goes to "rejected.bin" instead; records dated after now (a station clock set
//   ahead) never refuse a reading: it takes its place before them;
// - a month file whose records are out of order keeps its longest series in date order: one record
//   dated ahead is set aside alone, never the sound records after it;
// - a save never writes a month with fewer records than it held, unless the user deleted them;
// - a save writes every month whose records changed, each record into the file of its own month.
//
// Views of the history (plots, table, statistics) register a THistoryListener to follow its changes.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "HistoryFile.h"
#include "PlotValues.h"
#include "Records.h"

enum class TAppendResult { Added, Copy, SetAside };

// What became of records handed to the history.
struct TAppendTally {
    int Added = 0;
    int Copies = 0;   // already held, dropped
    int SetAside = 0; // written to rejected.bin
    TAppendTally& operator+=(const TAppendTally& o) {
        Added += o.Added;
        Copies += o.Copies;
        SetAside += o.SetAside;
        return *this;
    }
};

// Told of each change of the history once it is complete, on the owner's thread. A listener reads
// the store in these calls but does not change it.
class THistoryListener {
  public:
    virtual ~THistoryListener() = default;
    // Records first .. first + count - 1 were added after those held.
    virtual void RecordsAppended(size_t first, size_t count) = 0;
    // The records that were at first .. first + count - 1 are gone; the later ones moved down by count.
    virtual void RecordsRemoved(size_t first, size_t count) = 0;
    // Records were placed among those held (a load, a month file read and merged): any index may now
    // name another record.
    virtual void RecordsChanged() = 0;
};

class THistoryStore {
  public:
    // folder: the data folder, ending with "/".
    explicit THistoryStore(std::string folder);

    const std::string& Folder() const { return folder_; }

    // Reads the last monthsToLoad calendar months up to now, oldest first (at least the current
    // one), or migrates the legacy single file legacyFile when it exists (deleted once every month
    // holding its records is written). A damaged month does not stop the load: its sound records
    // are loaded, a byte copy is kept as ".damaged", what cannot be placed goes to rejected.bin.
    // Raises EOrvanelError at the end with one line per problem.
    void Load(int monthsToLoad, const std::string& legacyFile = {}, const THistoryProgress& progress = {});

    // Adds a record at the end of the history (see the rules above).
    TAppendResult Append(const TcapteursInfos& record);
    TAppendTally Append(std::span<const TcapteursInfos> records);

    // Writes every month whose records changed since it was read or last written. A month that
    // cannot be written stays to be written at the next save; the others are written all the same.
    // Raises EOrvanelError naming each file that could not be written.
    void SaveChanged();
    bool HasUnsavedChanges() const { return !changed_.empty(); }
    // Every month held is written at the next save.
    void MarkAllChanged();

    // The user's texts of problems met since the last call (a damaged month read on demand, a
    // rejected.bin that could not be written); the caller shows them.
    std::vector<std::string> TakeProblems();

    const TTDataStation& Records() const { return records_; }
    size_t Size() const { return records_.size(); }
    bool Empty() const { return records_.empty(); }
    // Index of the first record dated at or after date (Size() when none).
    size_t LowerBound(TDateTime date) const;
    // Forgets every record (unsaved changes included).
    void Clear();
    // Removes the records dated from `from` to `to`, both included; their months are written at the
    // next save. Returns how many were removed.
    size_t RemoveRange(TDateTime from, TDateTime to);
    // Removes count records from index first on (0-based, clipped to the history); their months are
    // written at the next save. Returns how many were removed.
    size_t RemoveAt(size_t first, size_t count);
    // Calls change on every record; the month of each record it reports changed (true) is written at
    // the next save. Dates stay as they were: the order of the history rests on them. Returns how
    // many records changed.
    size_t ChangeRecords(const std::function<bool(TcapteursInfos&)>& change);

    // The listener is called after each change until it is removed; the store does not own it.
    // Following the history does not change it: views that only read it may register.
    void AddListener(THistoryListener* listener) const;
    void RemoveListener(THistoryListener* listener) const;

    // Record index is displayable: dated at most rangeDays before the newest record.
    bool InDisplayRange(size_t index, double rangeDays) const;
    // The displayable records are the tail of the history: the index of the first (Size() when none).
    size_t FirstInDisplayRange(double rangeDays) const;

    // The plotted values of the records dated in [from, to), per pixel column (see PlotValues.h).
    std::vector<TColumnMinMax> MinMaxPerColumn(TPlottedQuantity quantity, TDateTime from, TDateTime to,
                                               int columns, const TPlotOptions& options = {}) const;

  private:
    void EnsureMonthRead(int monthKey);
    void MergeMonthFile(int monthKey);
    void MergeIntoMonth(int monthKey, TTDataStation records);
    TAppendResult Place(const TcapteursInfos& record, TTDataStation& setAside, const char*& reason);
    void SetAside(const TTDataStation& records, const char* reason);
    void WritePendingAside(std::vector<std::string>& errors);
    void MigrateLegacyFile(const std::string& legacy, const THistoryProgress& progress);
    std::string MonthPath(int monthKey) const;
    template <typename Body> void Changing(bool isLoad, Body&& body);
    void ReportChange(size_t sizeBefore, bool isLoad);
    template <typename Call> void Notify(Call&& call);

    std::string folder_;
    TTDataStation records_;
    std::set<int> read_;         // months whose file has been read (or found missing)
    std::set<int> changed_;      // months to write at the next save
    std::set<int> unreadable_;   // months whose file could not be read during this append
    // Records each month held when its file was read or last written, less those the user deleted
    // since: a save never writes a month with fewer.
    std::map<int, size_t> held_;
    TTDataStation pendingAside_; // set aside, not yet written to rejected.bin
    std::vector<std::string> problems_;
    THistoryProgress progress_;
    mutable std::vector<THistoryListener*> listeners_; // null: removed while they were being called
    int notifying_ = 0;
    bool changing_ = false;   // an operation that reports its change at its end is running
    bool reshuffled_ = false; // it placed records before the newest one held
};

// Month keys: year × 12 + month − 1.
int MonthKeyOf(TDateTime date);
// A date a record may carry: from 1 January 2000 to now + 1 day (so never NaN or infinite).
bool IsSoundRecordDate(TDateTime date, TDateTime now);
TDateTime FirstSoundDate();
