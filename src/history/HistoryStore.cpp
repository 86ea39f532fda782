#include "HistoryStore.h"

#include <algorithm>
#include <cmath>
#include <fmt/format.h>
#include <fmt/printf.h>
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

size_t FileSize(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) ? static_cast<size_t>(st.st_size) : 0;
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
    const auto parts = DecodeDateTime(date);
    return MonthKey(parts.Year, parts.Month);
}

bool IsSoundRecordDate(TDateTime date, TDateTime now) {
    static const TDateTime firstDay = EncodeDateTime(2000, 1, 1);
    return std::isfinite(date) && date >= firstDay && date < std::floor(now) + 2;
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
        i = std::max(i + 1, LowerBound(MonthStart(key + 1)));
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
            bytes += FileSize(MonthPath(key));
        records_.reserve(records_.size() + bytes / sizeof(TcapteursInfos));
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
    THistoryFileContent content = ReadHistoryFile(name, true);
    if (!content.Exists) {
        LogToday(fmt::sprintf("Does not exists -> %s", name));
        return;
    }
    if (content.WrongMagic) {
        // Nothing in it can be trusted; its bytes stay in the copy, and the month starts anew.
        problems_.push_back(content.Problem + " " + DamagedCopyText(KeepDamagedCopy(name), name));
        return;
    }
    if (!content.Problem.empty()) {
        // Unreadable (not damaged): the month must never be rewritten from what could not be read.
        read_.erase(key);
        unreadable_.insert(key);
        problems_.push_back(content.Problem);
        return;
    }

    const TDateTime now = Now();
    TTDataStation sound, aside;
    sound.reserve(content.Records.size());
    TDateTime last = -INFINITY;
    for (const auto& r : content.Records) {
        const TDateTime d = r.DateSysteme;
        if (!IsSoundRecordDate(d, now) || MonthKeyOf(d) != key || d < last) {
            aside.push_back(r);
            continue;
        }
        last = d;
        sound.push_back(r);
    }
    if (content.CountMismatch() || !aside.empty()) {
        LogToday(fmt::sprintf("Damaged file -> %s : %d points announced, %d points loaded, %d set aside",
                              name, content.Announced, static_cast<int>(sound.size()),
                              static_cast<int>(aside.size())));
        std::string text = fmt::sprintf(
            Tr("HistoryFile",
               "%s est endommagé : il annonce %d points et en contient %d complets ; %d points ont été "
               "chargés, %d mis de côté dans %s."),
            name, content.Announced, static_cast<int>(content.Records.size()), static_cast<int>(sound.size()),
            static_cast<int>(aside.size()), folder_ + RejectedFileName);
        problems_.push_back(text + " " + DamagedCopyText(KeepDamagedCopy(name), name));
        SetAside(aside, "damaged month file");
        changed_.insert(key); // the next save writes the month whole and sound
    }
    MergeIntoMonth(key, std::move(sound));
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
    if (content.CountMismatch()) {
        problems_.push_back(
            fmt::sprintf(Tr("HistoryFile", "%s est endommagé : il annonce %d points mais n'en "
                                           "contient que %d complets, qui ont été chargés."),
                         legacy, content.Announced, static_cast<int>(content.Records.size())) +
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
    if (!IsSoundRecordDate(d, Now())) {
        reason = "date outside 2000 .. tomorrow";
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
        reason = "older than the newest record held";
        aside.push_back(record);
        return TAppendResult::SetAside;
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
            try {
                WriteHistoryFile(MonthPath(key), std::span(records_.data() + lo, hi - lo));
                it = changed_.erase(it);
            } catch (const std::exception& e) {
                errors.push_back(e.what());
                ++it;
            }
        }
    });
    if (!errors.empty()) throw EOrvanelError(JoinLines(errors));
}
