#include "HistoryStore.h"

#include <algorithm>
#include <cmath>
#include <fmt/format.h>
#include <fmt/printf.h>
#include <limits>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#include "AtomicFile.h"
#include "Log.h"
#include "UserText.h"
#include "Utilities.h"

namespace {

int MonthKey(int year, int month) {
    return year * 12 + (month - 1);
}

TDateTime MonthStart(int key) {
    return EncodeDateTime(key / 12, key % 12 + 1, 1);
}

std::string JoinLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) {
        if (!text.empty()) text += "\n";
        text += line;
    }
    return text;
}

// The bytes a month file may bring, to reserve the history once: what the file has on disk (a sparse
// file brings nothing for its holes), and never more than any month can hold.
size_t ExpectedBytes(const std::string& path) {
    constexpr size_t kMost = size_t{256} << 20;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return 0;
    return std::min({static_cast<size_t>(st.st_size), static_cast<size_t>(st.st_blocks) * 512, kMost});
}

// Large pages for the history's memory: a million records fill 74 MB, whose first touch otherwise
// costs one fault per 4 KB page.
void AdviseLargePages(const void* data, size_t bytes) {
    constexpr uintptr_t kLarge = uintptr_t{2} << 20;
    const auto begin = (reinterpret_cast<uintptr_t>(data) + kLarge - 1) & ~(kLarge - 1);
    const auto end = (reinterpret_cast<uintptr_t>(data) + bytes) & ~(kLarge - 1);
    if (end > begin) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

// Keeps, of records[base..], the longest series in date order (not necessarily contiguous): the good
// majority of a month whose order is broken. One record dated ahead is set aside alone, not the
// sound records after it. The others go to aside.
void KeepLongestOrderedSeries(TTDataStation& records, size_t base, TTDataStation& aside) {
    constexpr size_t kNone = std::numeric_limits<size_t>::max();
    const size_t n = records.size() - base;
    const TcapteursInfos* r = records.data() + base;
    std::vector<size_t> ends;         // ends[k]: the record ending the best series of k + 1 records
    std::vector<size_t> before(n, kNone); // the record before each one in its series
    for (size_t i = 0; i < n; ++i) {
        const TDateTime d = r[i].DateSysteme;
        // Equal dates extend a series.
        const auto it = std::upper_bound(ends.begin(), ends.end(), d,
                                         [r](TDateTime date, size_t j) { return date < r[j].DateSysteme; });
        if (it != ends.begin()) before[i] = *(it - 1);
        if (it == ends.end())
            ends.push_back(i);
        else
            *it = i;
    }
    std::vector<bool> keep(n, false);
    for (size_t i = ends.empty() ? kNone : ends.back(); i != kNone; i = before[i])
        keep[i] = true;
    size_t out = base;
    for (size_t i = 0; i < n; ++i) {
        if (keep[i])
            records[out++] = records[base + i];
        else
            aside.push_back(records[base + i]);
    }
    records.resize(out);
}

// Deletes one legacy file with its log line; a file that is not there needs no deleting.
void DeleteLegacyFile(const std::string& path) {
    if (::unlink(path.c_str()) == 0)
        LogToday(path + " -> deleted !");
    else if (errno != ENOENT)
        LogToday(path + " -> delete FAILED !");
}

std::string DamagedCopyText(const std::string& copy, const std::string& name) {
    if (copy.empty())
        return fmt::sprintf(Tr("HistoryFile", "La copie du fichier endommagé dans %s a échoué !"),
                            name + ".damaged");
    return fmt::sprintf(Tr("HistoryFile", "Le fichier endommagé a été copié dans %s"), copy);
}

} // namespace

int MonthKeyOf(TDateTime date) {
    // The day the instant lies in, not rounded to the millisecond: the month's records are those from
    // its first midnight to the next month's, as the saves cut them.
    const auto parts = DecodeDateTime(std::floor(date));
    return MonthKey(parts.Year, parts.Month);
}

bool IsSoundRecordDate(TDateTime date, TDateTime now) {
    return date >= FirstSoundDate() && date <= now + 1; // false for NaN
}

TDateTime FirstSoundDate() {
    static const TDateTime firstDay = EncodeDateTime(2000, 1, 1);
    return firstDay;
}

THistoryStore::THistoryStore(std::string folder) : folder_(std::move(folder)) {}

std::string THistoryStore::MonthPath(int monthKey) const {
    return folder_ + MonthFileName(monthKey / 12, monthKey % 12 + 1);
}

size_t THistoryStore::LowerBound(TDateTime date) const {
    const auto it = std::partition_point(records_.begin(), records_.end(),
                                         [date](const TcapteursInfos& r) { return r.DateSysteme < date; });
    return static_cast<size_t>(it - records_.begin());
}

void THistoryStore::Clear() {
    const size_t removed = records_.size();
    records_.clear();
    records_.shrink_to_fit();
    read_.clear();
    changed_.clear();
    held_.clear();
    if (removed) Notify([&](THistoryListener& l) { l.RecordsRemoved(0, removed); });
}

size_t THistoryStore::RemoveRange(TDateTime from, TDateTime to) {
    if (!(from <= to)) return 0;
    const size_t lo = LowerBound(from);
    const auto upper = std::partition_point(records_.begin() + static_cast<ptrdiff_t>(lo), records_.end(),
                                            [to](const TcapteursInfos& r) { return r.DateSysteme <= to; });
    return RemoveAt(lo, static_cast<size_t>(upper - records_.begin()) - lo);
}

size_t THistoryStore::RemoveAt(size_t first, size_t count) {
    if (first >= records_.size()) return 0;
    const size_t hi = first + std::min(count, records_.size() - first);
    if (hi == first) return 0;
    // Month by month: each month that loses records is rewritten whole at the next save.
    for (size_t i = first; i < hi;) {
        const int key = MonthKeyOf(records_[i].DateSysteme);
        changed_.insert(key);
        const size_t next = std::min(hi, std::max(i + 1, LowerBound(MonthStart(key + 1))));
        // The user's own deletion: the month may now be written with fewer records than it held.
        if (auto h = held_.find(key); h != held_.end()) h->second -= std::min(h->second, next - i);
        i = next;
    }
    records_.erase(records_.begin() + static_cast<ptrdiff_t>(first),
                   records_.begin() + static_cast<ptrdiff_t>(hi));
    Notify([&](THistoryListener& l) { l.RecordsRemoved(first, hi - first); });
    return hi - first;
}

size_t THistoryStore::ChangeRecords(const std::function<bool(TcapteursInfos&)>& change) {
    size_t changed = 0;
    for (auto& record : records_) {
        const TDateTime date = record.DateSysteme;
        if (!change(record)) continue;
        record.DateSysteme = date;
        changed_.insert(MonthKeyOf(date));
        ++changed;
    }
    if (changed) Notify([](THistoryListener& l) { l.RecordsChanged(); });
    return changed;
}

bool THistoryStore::InDisplayRange(size_t index, double rangeDays) const {
    return ::InDisplayRange(records_, index, rangeDays);
}

size_t THistoryStore::FirstInDisplayRange(double rangeDays) const {
    if (records_.empty()) return 0;
    const TDateTime newest = records_.back().DateSysteme;
    // The very test of InDisplayRange, so that both always agree.
    const auto it = std::partition_point(records_.begin(), records_.end(), [&](const TcapteursInfos& r) {
        return !(newest - r.DateSysteme <= rangeDays);
    });
    return static_cast<size_t>(it - records_.begin());
}

std::vector<TColumnMinMax> THistoryStore::MinMaxPerColumn(TPlottedQuantity quantity, TDateTime from,
                                                          TDateTime to, int columns,
                                                          const TPlotOptions& options) const {
    return ::MinMaxPerColumn(records_, quantity, from, to, columns, options);
}

// ---- Listeners --------------------------------------------------------------------------------

void THistoryStore::AddListener(THistoryListener* listener) const {
    if (listener && std::find(listeners_.begin(), listeners_.end(), listener) == listeners_.end())
        listeners_.push_back(listener);
}

void THistoryStore::RemoveListener(THistoryListener* listener) const {
    const auto it = std::find(listeners_.begin(), listeners_.end(), listener);
    if (it == listeners_.end()) return;
    if (notifying_)
        *it = nullptr; // the loop calling them still runs over the list
    else
        listeners_.erase(it);
}

template <typename Call> void THistoryStore::Notify(Call&& call) {
    ++notifying_;
    struct TDone {
        THistoryStore& store;
        ~TDone() {
            if (--store.notifying_ == 0) std::erase(store.listeners_, nullptr);
        }
    } done{*this};
    // Listeners added meanwhile hear from the next change on.
    for (size_t i = 0, n = listeners_.size(); i < n; ++i)
        if (THistoryListener* listener = listeners_[i]) call(*listener);
}

// Runs an operation that changes the records and reports what it did once it is over, also when it
// fails half-way. Operations called from inside another leave the report to the outer one.
template <typename Body> void THistoryStore::Changing(bool isLoad, Body&& body) {
    if (changing_) {
        body();
        return;
    }
    changing_ = true;
    reshuffled_ = false;
    const size_t before = records_.size();
    try {
        body();
    } catch (...) {
        changing_ = false;
        ReportChange(before, isLoad);
        throw;
    }
    changing_ = false;
    ReportChange(before, isLoad);
}

void THistoryStore::ReportChange(size_t sizeBefore, bool isLoad) {
    const size_t size = records_.size();
    if (reshuffled_ || (isLoad && size != sizeBefore))
        Notify([](THistoryListener& l) { l.RecordsChanged(); });
    else if (size > sizeBefore)
        Notify([&](THistoryListener& l) { l.RecordsAppended(sizeBefore, size - sizeBefore); });
}

std::vector<std::string> THistoryStore::TakeProblems() {
    return std::exchange(problems_, {});
}

void THistoryStore::MarkAllChanged() {
    for (const auto& r : records_)
        changed_.insert(MonthKeyOf(r.DateSysteme));
}

// ---- Loading ----------------------------------------------------------------------------------

void THistoryStore::Load(int monthsToLoad, const std::string& legacyFile, const THistoryProgress& progress) {
    progress_ = progress;
    struct TForgetProgress {
        THistoryProgress& p;
        ~TForgetProgress() { p = {}; }
    } forget{progress_};

    Changing(true, [&] {
        if (!legacyFile.empty() && FileExists(legacyFile)) {
            MigrateLegacyFile(legacyFile, progress);
            return;
        }
        // A save cut short by a crash leaves its temporary file; the month file itself is whole.
        for (const std::string& orphan : RemoveOrphanTemporaryFiles(folder_))
            LogToday(orphan + " -> unfinished save removed");
        const int current = MonthKeyOf(Now());
        const int first = current - std::max(1, monthsToLoad) + 1;
        // One allocation for every month: growing month by month would copy the history again and again.
        size_t bytes = 0;
        for (int key = first; key <= current; ++key)
            bytes += ExpectedBytes(MonthPath(key));
        records_.reserve(records_.size() + bytes / sizeof(TcapteursInfos));
        AdviseLargePages(records_.data(), records_.capacity() * sizeof(TcapteursInfos));
        for (int key = first; key <= current; ++key)
            EnsureMonthRead(key);
        unreadable_.clear();
    });
    if (auto problems = TakeProblems(); !problems.empty()) throw EOrvanelError(JoinLines(problems));
}

// A month whose file exists but cannot be read stays unread: nothing of it may then be written.
// It is tried again at the next append, not at each of its records.
void THistoryStore::EnsureMonthRead(int monthKey) {
    if (read_.count(monthKey) || unreadable_.count(monthKey)) return;
    read_.insert(monthKey);
    MergeMonthFile(monthKey);
}

void THistoryStore::MergeMonthFile(int key) {
    const std::string name = MonthPath(key);
    LogToday(fmt::sprintf("Attempting to open -> %s", name));
    if (progress_) progress_(Tr("HistoryFile", "Charge le fichier : ") + name);

    // A record of this month has a sound date inside the month; checking it is two comparisons.
    const TDateTime from = std::max(MonthStart(key), FirstSoundDate());
    const TDateTime end = MonthStart(key + 1);
    const TDateTime latest = Now() + 1;
    // The load reads the months oldest first: each goes after every record held, straight into the
    // history. Only a month that meets records already held is read apart and merged.
    const bool direct = records_.empty() || records_.back().DateSysteme < MonthStart(key);
    TTDataStation apart;
    TTDataStation& into = direct ? records_ : apart;
    const size_t base = into.size();
    TTDataStation aside;
    bool ordered = true;
    TDateTime previous = -INFINITY;
    THistoryFileContent content;
    ReadHistoryFileBlocks(name, true, content, [&](std::span<const TcapteursInfos> block) {
        size_t run = 0;
        for (size_t i = 0; i < block.size(); ++i) {
            const TDateTime d = block[i].DateSysteme;
            if (d >= from && d < end && d <= latest) { // false for NaN
                ordered = ordered && d >= previous;
                previous = d;
                continue;
            }
            into.insert(into.end(), block.begin() + static_cast<ptrdiff_t>(run), block.begin() + static_cast<ptrdiff_t>(i));
            aside.push_back(block[i]);
            run = i + 1;
        }
        into.insert(into.end(), block.begin() + static_cast<ptrdiff_t>(run), block.end());
    });
    if (!content.Exists) {
        LogToday(fmt::sprintf("Does not exists -> %s", name));
        return;
    }
    if (!content.Problem.empty()) {
        // Unreadable (not damaged), or not a file: the month must never be rewritten from what could
        // not be read.
        into.resize(base);
        read_.erase(key);
        unreadable_.insert(key);
        problems_.push_back(content.Problem);
        return;
    }
    if (!ordered) KeepLongestOrderedSeries(into, base, aside);
    const size_t loaded = into.size() - base;

    if (content.Damaged() || !aside.empty()) {
        LogToday(fmt::sprintf("Damaged file -> %s : %d points announced, %d points loaded, %d set aside%s", name,
                              content.Announced, static_cast<int>(loaded), static_cast<int>(aside.size()),
                              content.ZeroRecords ? fmt::format(", {} all-zero", content.ZeroRecords) : ""));
        std::string text;
        if (content.WrongMagic && loaded == 0) {
            // Nothing in it is a record of this month: not a history file. Its bytes stay in the copy
            // only; what it holds is not records to set aside.
            text = content.MagicText;
            aside.clear();
        } else {
            if (content.WrongMagic) text = content.MagicText + " ";
            text += fmt::sprintf(Tr("HistoryFile", "%s est endommagé : il annonce %d points et en contient %d "
                                                   "complets ; %d points ont été chargés, %d mis de côté dans %s."),
                                 name, content.Announced, static_cast<int>(content.Complete),
                                 static_cast<int>(loaded), static_cast<int>(aside.size()), folder_ + RejectedFileName);
            changed_.insert(key); // the next save writes the month whole and sound
        }
        if (content.ZeroRecords)
            text += " " + fmt::sprintf(Tr("HistoryFile", "%d points entièrement nuls n'ont été ni chargés ni "
                                                         "mis de côté."),
                                       static_cast<int>(std::min<size_t>(content.ZeroRecords, INT32_MAX)));
        problems_.push_back(text + " " + DamagedCopyText(KeepDamagedCopy(name), name));
        SetAside(aside, "damaged month file");
    }
    if (!direct) MergeIntoMonth(key, std::move(apart));
    held_[key] = LowerBound(end) - LowerBound(MonthStart(key));
}

void THistoryStore::MergeIntoMonth(int key, TTDataStation incoming) {
    if (incoming.empty()) return;
    if (records_.empty()) {
        records_ = std::move(incoming);
        return;
    }
    const size_t lo = LowerBound(MonthStart(key));
    const size_t hi = LowerBound(MonthStart(key + 1));
    if (lo == hi) {
        if (lo != records_.size()) reshuffled_ = true;
        records_.insert(records_.begin() + static_cast<ptrdiff_t>(lo), incoming.begin(), incoming.end());
        return;
    }
    // The month already holds records (the legacy history): both, by date, one of each date.
    TTDataStation merged;
    merged.reserve(hi - lo + incoming.size());
    size_t i = lo, j = 0;
    while (i < hi || j < incoming.size()) {
        if (j == incoming.size() || (i < hi && records_[i].DateSysteme <= incoming[j].DateSysteme)) {
            if (j < incoming.size() && records_[i].DateSysteme == incoming[j].DateSysteme) ++j;
            merged.push_back(records_[i++]);
        } else {
            merged.push_back(incoming[j++]);
        }
    }
    reshuffled_ = true;
    records_.erase(records_.begin() + static_cast<ptrdiff_t>(lo),
                   records_.begin() + static_cast<ptrdiff_t>(hi));
    records_.insert(records_.begin() + static_cast<ptrdiff_t>(lo), merged.begin(), merged.end());
    changed_.insert(key);
}

// Converts the single-file history of older versions into month files, merged with the month files
// already there. The legacy file and its backup are deleted only once every month is on disk.
void THistoryStore::MigrateLegacyFile(const std::string& legacy, const THistoryProgress&) {
    THistoryFileContent content = ReadHistoryFile(legacy, false);
    if (!content.Problem.empty()) throw EOrvanelError(content.Problem);
    // The legacy file is deleted once migrated: one that is not surely a history file stays as it is.
    if (content.WrongMagic) throw EOrvanelError(content.MagicText);
    if (content.CountMismatch()) {
        problems_.push_back(
            fmt::sprintf(Tr("HistoryFile", "%s est endommagé : il annonce %d points mais n'en "
                                           "contient que %d complets, qui ont été chargés."),
                         legacy, content.Announced, static_cast<int>(content.Complete)) +
            " " + DamagedCopyText(KeepDamagedCopy(legacy), legacy));
    }
    TTDataStation data = std::move(content.Records);
    TTDataStation aside;
    const TDateTime now = Now();
    std::erase_if(data, [&](const TcapteursInfos& r) {
        if (IsSoundRecordDate(r.DateSysteme, now)) return false;
        aside.push_back(r);
        return true;
    });
    DiscardBackwardPoints(data, &aside);
    SetAside(aside, "legacy history");

    records_ = std::move(data);
    reshuffled_ = true;
    for (const auto& r : records_)
        changed_.insert(MonthKeyOf(r.DateSysteme));
    const int first = records_.empty() ? MonthKeyOf(now) : MonthKeyOf(records_.front().DateSysteme);
    for (int key = first; key <= MonthKeyOf(now); ++key)
        EnsureMonthRead(key);
    SaveChanged(); // raises: the legacy file stays for the next start
    DeleteLegacyFile(legacy);
    DeleteLegacyFile(legacy + ".back");
}

// ---- Appending --------------------------------------------------------------------------------

TAppendResult THistoryStore::Place(const TcapteursInfos& record, TTDataStation& aside, const char*& reason) {
    const TDateTime d = record.DateSysteme;
    const TDateTime now = Now();
    if (!IsSoundRecordDate(d, now)) {
        reason = "date outside 2000 .. now + 1 day";
        aside.push_back(record);
        return TAppendResult::SetAside;
    }
    const int key = MonthKeyOf(d);
    EnsureMonthRead(key);
    if (!read_.count(key)) {
        reason = "its month file cannot be read";
        aside.push_back(record);
        return TAppendResult::SetAside;
    }
    const size_t at = LowerBound(d);
    if (at < records_.size()) {
        if (records_[at].DateSysteme == d) return TAppendResult::Copy;
        if (!(records_[at].DateSysteme > now)) {
            reason = "older than the newest record held";
            aside.push_back(record);
            return TAppendResult::SetAside;
        }
        // Only records dated after now (a station clock set ahead) lie beyond it: they must not
        // refuse the readings of today, which take their place before them.
        records_.insert(records_.begin() + static_cast<ptrdiff_t>(at), record);
        reshuffled_ = true;
        changed_.insert(key);
        return TAppendResult::Added;
    }
    records_.push_back(record);
    changed_.insert(key);
    return TAppendResult::Added;
}

TAppendResult THistoryStore::Append(const TcapteursInfos& record) {
    unreadable_.clear();
    TTDataStation aside;
    const char* reason = "";
    TAppendResult result = TAppendResult::SetAside;
    Changing(false, [&] { result = Place(record, aside, reason); });
    SetAside(aside, reason);
    return result;
}

TAppendTally THistoryStore::Append(std::span<const TcapteursInfos> records) {
    unreadable_.clear();
    TAppendTally tally;
    TTDataStation aside;
    const char* reason = "";
    Changing(false, [&] {
        for (const auto& r : records) {
            const char* why = "";
            switch (Place(r, aside, why)) {
            case TAppendResult::Added:
                ++tally.Added;
                break;
            case TAppendResult::Copy:
                ++tally.Copies;
                break;
            case TAppendResult::SetAside:
                if (tally.SetAside++ == 0) reason = why;
                break;
            }
        }
    });
    SetAside(aside, reason);
    return tally;
}

void THistoryStore::SetAside(const TTDataStation& records, const char* reason) {
    if (records.empty()) return;
    LogToday(fmt::sprintf("%d points set aside (%s), the first dated %s", static_cast<int>(records.size()),
                          reason, DateTimeText(records.front().DateSysteme)));
    pendingAside_.insert(pendingAside_.end(), records.begin(), records.end());
    WritePendingAside(problems_);
}

void THistoryStore::WritePendingAside(std::vector<std::string>& errors) {
    if (pendingAside_.empty()) return;
    try {
        AppendRejectedRecords(folder_, pendingAside_);
        pendingAside_.clear();
    } catch (const std::exception& e) {
        // Kept in memory and written with the next save.
        errors.push_back(e.what());
    }
}

// ---- Saving -----------------------------------------------------------------------------------

void THistoryStore::SaveChanged() {
    std::vector<std::string> errors;
    WritePendingAside(errors);
    // A month that could not be read before is read now, and merged.
    Changing(false, [&] {
        for (auto it = changed_.begin(); it != changed_.end();) {
            const int key = *it;
            EnsureMonthRead(key);
            if (!read_.count(key)) {
                // Its file could not be read: writing it from memory alone would lose what it holds.
                unreadable_.erase(key);
                errors.push_back(
                    fmt::sprintf(Tr("HistoryFile", "Le fichier %s n'a pas pu être lu, il n'est pas réécrit."),
                                 MonthPath(key)));
                ++it;
                continue;
            }
            const size_t lo = LowerBound(MonthStart(key));
            const size_t hi = LowerBound(MonthStart(key + 1));
            if (const auto h = held_.find(key); h != held_.end() && hi - lo < h->second) {
                // Records would vanish that nobody deleted: the file keeps them.
                LogToday(fmt::sprintf("Save refused -> %s : %d points held, %d left", MonthPath(key),
                                      static_cast<int>(h->second), static_cast<int>(hi - lo)));
                errors.push_back(fmt::sprintf(
                    Tr("HistoryFile", "Le fichier %s contenait %d points, il n'en resterait que %d : il n'est pas "
                                      "réécrit."),
                    MonthPath(key), static_cast<int>(h->second), static_cast<int>(hi - lo)));
                ++it;
                continue;
            }
            try {
                WriteHistoryFile(MonthPath(key), std::span(records_.data() + lo, hi - lo));
                held_[key] = hi - lo;
                it = changed_.erase(it);
            } catch (const std::exception& e) {
                errors.push_back(e.what());
                ++it;
            }
        }
    });
    if (!errors.empty()) throw EOrvanelError(JoinLines(errors));
}
