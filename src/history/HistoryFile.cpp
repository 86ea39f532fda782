#include "HistoryFile.h"

#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fmt/format.h>
#include <fmt/printf.h>
#include <span>
#include <sys/mman.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <vector>

#include "AtomicFile.h"
#include "FileIo.h"
#include "Log.h"
#include "UserText.h"
#include "Utilities.h"

// Records go to disk exactly as they lie in memory; the files are little-endian.
static_assert(std::endian::native == std::endian::little);

namespace {

namespace fs = std::filesystem;

constexpr size_t kRecordSize = sizeof(TcapteursInfos);
constexpr size_t kHeaderSize = 8; // magic + count

std::string SystemErrorText(int error) {
    return std::system_category().message(error);
}

// Reads until size bytes or the end of the file; 0 or errno. got tells how many bytes arrived.
int ReadFully(int fd, void* buffer, size_t size, off_t offset, size_t& got) {
    got = 0;
    auto* out = static_cast<char*>(buffer);
    while (got < size) {
        const ssize_t n = ::pread(fd, out + got, size - got, offset + static_cast<off_t>(got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    return 0;
}

int MonthKey(int year, int month) {
    return year * 12 + (month - 1);
}
int MonthKeyOf(TDateTime date) {
    const auto parts = DecodeDateTime(date);
    return MonthKey(parts.Year, parts.Month);
}

off_t FileSize(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) ? st.st_size : 0;
}

// ---- Loading ----------------------------------------------------------------------------------

// What became of one file: its records are in data unless Text says otherwise.
struct TFileOutcome {
    std::string Text;     // the user's text of the problem, empty when the whole file was read
    bool Damaged = false; // the complete records it holds were loaded, the rest is missing
};

// A file that cannot be read whole keeps its bytes in name + ".damaged" before any save can rewrite
// the month. Returns whether the copy is there.
bool KeepDamagedCopy(const std::string& name) {
    const std::string aside = name + ".damaged";
    const bool copied = CopyFileBlocks(name, aside) == 0;
    LogToday(copied ? "Damaged file copied -> " + aside : "Damaged file copy FAILED -> " + aside);
    return copied;
}

TFileOutcome WrongMagic(const std::string& name, uint32_t magic, bool zeroHasOwnText) {
    LogToday(fmt::sprintf("Wrong magic number -> %s : %08X", name, magic));
    KeepDamagedCopy(name);
    if (magic == 0 && zeroHasOwnText)
        return {name + Tr("HistoryFile",
                          " n'a pas le bon format, le nombre magique est égal à zero, ce fichier "
                          "devrait être effacé car il a été endommagé !")};
    return {name + Tr("HistoryFile", " n'a pas le bon format (Nombre Magique n'est pas le bon) !")};
}

TFileOutcome ReadError(const std::string& name, int error) {
    LogToday(fmt::sprintf("Read error -> %s : %s", name, SystemErrorText(error)));
    return {fmt::sprintf(Tr("HistoryFile", "Erreur de lecture du fichier %s : %s"), name,
                         SystemErrorText(error))};
}

// A file that holds fewer records than it announces: the user is told how much was recovered and
// where the original bytes are.
TFileOutcome Damaged(const std::string& name, int32_t announced, size_t complete) {
    LogToday(fmt::sprintf("Damaged file -> %s : %d points announced, %d complete points loaded", name,
                          announced, static_cast<int>(complete)));
    const std::string aside = name + ".damaged";
    std::string text =
        fmt::sprintf(Tr("HistoryFile", "%s est endommagé : il annonce %d points mais n'en contient "
                                       "que %d complets, qui ont été chargés."),
                     name, announced, static_cast<int>(complete));
    if (KeepDamagedCopy(name))
        text += " " + fmt::sprintf(Tr("HistoryFile", "Le fichier endommagé a été copié dans %s"), aside);
    else
        text +=
            " " + fmt::sprintf(Tr("HistoryFile", "La copie du fichier endommagé dans %s a échoué !"), aside);
    return {text, true};
}

// Appends the records of one history file to data with one read straight into the grown tail.
TFileOutcome AppendHistoryFile(const std::string& name, TTDataStation& data, bool zeroMagicHasOwnText) {
    TFileDescriptor file(::open(name.c_str(), O_RDONLY | O_CLOEXEC));
    if (!file.IsOpen()) return ReadError(name, errno);
    struct stat st {};
    if (::fstat(file.Get(), &st) != 0) return ReadError(name, errno);
    const size_t fileSize = static_cast<size_t>(st.st_size);

    unsigned char header[kHeaderSize] = {};
    size_t got = 0;
    if (const int error = ReadFully(file.Get(), header, kHeaderSize, 0, got)) return ReadError(name, error);
    if (got < sizeof(uint32_t)) return Damaged(name, 0, 0);
    uint32_t magic = 0;
    std::memcpy(&magic, header, sizeof magic);
    if (magic != DataFileMagic) return WrongMagic(name, magic, zeroMagicHasOwnText);
    if (got < kHeaderSize) return Damaged(name, 0, 0);
    int32_t count = 0;
    std::memcpy(&count, header + sizeof magic, sizeof count);
    if (count < 0) return Damaged(name, count, 0);

    const size_t available = fileSize > kHeaderSize ? (fileSize - kHeaderSize) / kRecordSize : 0;
    const size_t wanted = std::min(static_cast<size_t>(count), available);
    const size_t first = data.size();
    data.resize(first + wanted);
    const int error = ReadFully(file.Get(), data.data() + first, wanted * kRecordSize, kHeaderSize, got);
    const size_t complete = got / kRecordSize;
    data.resize(first + complete);
    if (error) return ReadError(name, error);
    if (complete < static_cast<size_t>(count)) return Damaged(name, count, complete);
    return {};
}

std::string JoinLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) {
        if (!text.empty()) text += "\n";
        text += line;
    }
    return text;
}

// Deletes one legacy file with its log line; a file that is not there needs no deleting.
void DeleteLegacyFile(const std::string& path) {
    if (::unlink(path.c_str()) == 0)
        LogToday(path + " -> deleted !");
    else if (errno != ENOENT)
        LogToday(path + " -> delete FAILED !");
}

struct TMonth {
    int Year;
    int Month;
};

// The months to load, oldest first, ending with the current month.
std::vector<TMonth> MonthsToLoad(int monthsToLoad, TDateTime now) {
    const auto parts = DecodeDateTime(now);
    std::vector<TMonth> months;
    for (int k = monthsToLoad; k >= 1; --k) {
        int year = parts.Year;
        int month = parts.Month - k + 1;
        while (month < 1) {
            month += 12;
            --year;
        }
        months.push_back({year, month});
    }
    return months;
}

// A history of tens of megabytes is faulted in 2 MB at a time instead of 4 KB (a hint only).
void AdviseHugePages(TTDataStation& data) {
    constexpr uintptr_t kHugePage = 2u << 20;
    const auto begin = reinterpret_cast<uintptr_t>(data.data());
    const uintptr_t end = begin + data.capacity() * kRecordSize;
    const uintptr_t first = (begin + kHugePage - 1) & ~(kHugePage - 1);
    const uintptr_t last = end & ~(kHugePage - 1);
    if (last > first) ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
}

// The month files of the last monthsToLoad calendar months up to now, oldest first.
std::vector<std::string> MonthFileNames(const std::string& folder, int monthsToLoad, TDateTime now) {
    std::vector<std::string> names;
    for (const auto& m : MonthsToLoad(monthsToLoad, now))
        names.push_back(folder + MonthFileName(m.Year, m.Month));
    return names;
}

// Appends the month files that exist to data, oldest first; problems collects the user's texts.
// A bad month does not stop the load: a month left unread would be overwritten by the next save.
void LoadMonthFiles(const std::vector<std::string>& names, TTDataStation& data,
                    const THistoryProgress& progress, std::vector<std::string>& problems) {
    // One allocation for every month: growing month by month would copy the history again and again.
    size_t bytes = 0;
    for (const auto& name : names)
        bytes += static_cast<size_t>(FileSize(name));
    data.reserve(data.size() + bytes / kRecordSize);
    AdviseHugePages(data);

    for (const auto& name : names) {
        LogToday(fmt::sprintf("Attempting to open -> %s", name));
        if (progress) progress(Tr("HistoryFile", "Charge le fichier : ") + name);
        if (!FileExists(name)) {
            LogToday(fmt::sprintf("Does not exists -> %s", name));
            continue;
        }
        if (auto outcome = AppendHistoryFile(name, data, true); !outcome.Text.empty())
            problems.push_back(std::move(outcome.Text));
    }
}

// Month files may already hold records newer than the legacy history (an earlier migration whose
// save failed, after which the program ran on and saved): they are kept rather than their months
// being rewritten from the legacy records alone.
void AppendNewerMonthRecords(const std::string& folder, TTDataStation& data, const THistoryProgress& progress,
                             std::vector<std::string>& problems) {
    const TDateTime last = data.back().DateSysteme;
    const TDateTime now = Now();
    TTDataStation fromMonths;
    LoadMonthFiles(MonthFileNames(folder, MonthSpan(last, now), now), fromMonths, progress, problems);
    for (const auto& record : fromMonths)
        if (record.DateSysteme > last) data.push_back(record);
}

// Converts the single-file history of older versions into month files. The legacy file and its
// backup are deleted only once every month holding its records is on disk.
void MigrateLegacyFile(const std::string& legacy, const std::string& folder, TTDataStation& data,
                       const THistoryProgress& progress) {
    data.clear();
    data.reserve(static_cast<size_t>(FileSize(legacy)) / kRecordSize);
    auto outcome = AppendHistoryFile(legacy, data, false);
    if (!outcome.Text.empty() && !outcome.Damaged) throw EOrvanelError(outcome.Text);
    std::vector<std::string> problems;
    if (outcome.Damaged) problems.push_back(std::move(outcome.Text));

    DiscardBackwardPoints(data);
    if (!data.empty()) {
        AppendNewerMonthRecords(folder, data, progress, problems);
        SaveHistory(folder, MonthSpan(data.front().DateSysteme, Now()), data);
    }
    DeleteLegacyFile(legacy);
    DeleteLegacyFile(legacy + ".back");
    if (!problems.empty()) throw EOrvanelError(JoinLines(problems));
}

// ---- Saving -----------------------------------------------------------------------------------

std::string WriteErrorText(const std::string& name, int error) {
    return fmt::sprintf(Tr("HistoryFile", "Erreur d'écriture du fichier %s : %s"), name,
                        SystemErrorText(error));
}

// Replaces the month file in one step, flushed to the disk, the previous one kept as name + ".back":
// a crash or a full disk leaves either the old file or the new one, never half of one.
void WriteMonthFile(const std::string& name, const TcapteursInfos* records, size_t count) {
    LogToday("Saving -> " + name);
    unsigned char header[kHeaderSize];
    const uint32_t magic = DataFileMagic;
    const int32_t n = static_cast<int32_t>(count);
    std::memcpy(header, &magic, sizeof magic);
    std::memcpy(header + sizeof magic, &n, sizeof n);
    const TByteRun content[] = {std::as_bytes(std::span(header)), std::as_bytes(std::span(records, count))};

    TReplaceOptions options;
    options.Mode = 0644;
    options.SyncContent = true;
    options.SyncFolder = true;
    options.BackupPath = name + ".back";
    if (const auto result = ReplaceFileAtomically(name, content, options); !result.Succeeded())
        throw EOrvanelError(WriteErrorText(name, result.Error));
    LogToday(fmt::sprintf("Saved -> %s %d points", name, static_cast<int>(count)));
}

void CreateFolder(const std::string& folder) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec || !FolderExists(folder)) {
        const std::string reason = ec ? ec.message() : SystemErrorText(ENOTDIR);
        throw EOrvanelError(
            fmt::sprintf(Tr("HistoryFile", "Impossible de créer le dossier %s : %s"), folder, reason));
    }
}

// Writes each of `months` calendar months, counting back from (year, month), from the records of data
// that fall in it. data is oldest first, so each month is a contiguous run at the end of what is left.
void SaveMonths(const std::string& folder, int months, const TTDataStation& data, int year, int month) {
    int key = MonthKey(year, month);
    size_t end = data.size(); // one past the last record not yet placed
    // Records dated after the current month are not written; they must not hold back the months before.
    size_t skipped = 0;
    while (end > 0 && MonthKeyOf(data[end - 1].DateSysteme) > key) {
        --end;
        ++skipped;
    }
    if (skipped > 0)
        LogToday(
            fmt::sprintf("Not saved : %d points dated after the current month", static_cast<int>(skipped)));

    for (int visited = 0; visited < months && end > 0; ++visited, --key) {
        size_t start = end;
        while (start > 0 && MonthKeyOf(data[start - 1].DateSysteme) == key)
            --start;
        if (end > start)
            WriteMonthFile(folder + MonthFileName(key / 12, key % 12 + 1), data.data() + start, end - start);
        end = start;
    }
}

} // namespace

void LoadHistory(const std::string& folder, int monthsToLoad, TTDataStation& data,
                 const THistoryProgress& progress) {
    const std::string legacy = PathExe + "Data.bin";
    if (FileExists(legacy)) {
        MigrateLegacyFile(legacy, folder, data, progress);
        return;
    }
    // A save cut short by a crash leaves its temporary file; the month file itself is whole.
    for (const std::string& orphan : RemoveOrphanTemporaryFiles(folder))
        LogToday(orphan + " -> unfinished save removed");
    std::vector<std::string> problems;
    LoadMonthFiles(MonthFileNames(folder, monthsToLoad, Now()), data, progress, problems);
    if (!problems.empty()) throw EOrvanelError(JoinLines(problems));
}

void SaveHistory(const std::string& folder, int months, const TTDataStation& data) {
    AnyThreadLock guard(DataSaveLock);
    if (data.empty()) return;
    CreateFolder(folder);
    const auto now = DecodeDateTime(Now());
    SaveMonths(folder, months, data, now.Year, now.Month);
}

int DiscardBackwardPoints(TTDataStation& data) {
    LogToday(fmt::sprintf("Loaded points : %d", static_cast<int>(data.size())));
    // One pass that keeps every record not older than the last kept one. A dropped record is named by
    // its index at the moment it goes, which is the number of records kept before it.
    size_t kept = data.empty() ? 0 : 1;
    int discarded = 0;
    for (size_t i = 1; i < data.size(); ++i) {
        const TcapteursInfos& previous = data[kept - 1];
        if (data[i].DateSysteme >= previous.DateSysteme) {
            data[kept++] = data[i];
            continue;
        }
        LogToday(fmt::sprintf("Point #%d has a problem -> next=%s < prev=%s , point discarded !",
                              static_cast<int>(kept), DateTimeText(data[i].DateSysteme),
                              DateTimeText(previous.DateSysteme)));
        ++discarded;
    }
    data.resize(kept);
    LogToday(fmt::sprintf("Discarded points : %d", discarded));
    return discarded;
}

int MonthSpan(TDateTime first, TDateTime last) {
    const auto a = DecodeDateTime(first);
    const auto b = DecodeDateTime(last);
    return (b.Year - a.Year) * 12 + b.Month - a.Month + 1;
}

std::string MonthFileName(int year, int month) {
    return fmt::format("{:04d}_{:02d}.bin", year, month);
}

bool InDisplayRange(size_t index) {
    return InDisplayRange(DataStation, index, SetupInfos.RangeDateDisplay);
}

bool InDisplayRange(const TTDataStation& data, size_t index, double rangeDays) {
    if (index >= data.size()) return false;
    return data.back().DateSysteme - data[index].DateSysteme <= rangeDays;
}
