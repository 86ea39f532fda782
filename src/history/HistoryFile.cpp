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

// ---- Reading ----------------------------------------------------------------------------------

std::string ReadErrorText(const std::string& name, int error) {
    LogToday(fmt::sprintf("Read error -> %s : %s", name, SystemErrorText(error)));
    return fmt::sprintf(Tr("HistoryFile", "Erreur de lecture du fichier %s : %s"), name,
                        SystemErrorText(error));
}

std::string WrongMagicText(const std::string& name, uint32_t magic, bool zeroHasOwnText) {
    LogToday(fmt::sprintf("Wrong magic number -> %s : %08X", name, magic));
    if (magic == 0 && zeroHasOwnText)
        return name + Tr("HistoryFile",
                         " n'a pas le bon format, le nombre magique est égal à zero, ce fichier "
                         "devrait être effacé car il a été endommagé !");
    return name + Tr("HistoryFile", " n'a pas le bon format (Nombre Magique n'est pas le bon) !");
}

bool SameFileBytes(const std::string& a, const std::string& b) {
    TFileDescriptor fa(::open(a.c_str(), O_RDONLY | O_CLOEXEC));
    TFileDescriptor fb(::open(b.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fa.IsOpen() || !fb.IsOpen()) return false;
    std::vector<char> ba(65536), bb(65536);
    for (off_t at = 0;;) {
        size_t ga = 0, gb = 0;
        if (ReadFully(fa.Get(), ba.data(), ba.size(), at, ga) ||
            ReadFully(fb.Get(), bb.data(), bb.size(), at, gb))
            return false;
        if (ga != gb || std::memcmp(ba.data(), bb.data(), ga) != 0) return false;
        if (ga < ba.size()) return true;
        at += static_cast<off_t>(ga);
    }
}

// ---- Writing ----------------------------------------------------------------------------------

std::string WriteErrorText(const std::string& name, int error) {
    return fmt::sprintf(Tr("HistoryFile", "Erreur d'écriture du fichier %s : %s"), name,
                        SystemErrorText(error));
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

// Replaces the file in one step, flushed to the disk: a crash or a full disk leaves either the old
// file or the new one, never half of one.
void ReplaceHistoryFile(const std::string& name, std::span<const TcapteursInfos> first,
                        std::span<const TcapteursInfos> second, const std::string& backup) {
    unsigned char header[kHeaderSize];
    const uint32_t magic = DataFileMagic;
    const int32_t n = static_cast<int32_t>(first.size() + second.size());
    std::memcpy(header, &magic, sizeof magic);
    std::memcpy(header + sizeof magic, &n, sizeof n);
    const TByteRun content[] = {std::as_bytes(std::span(header)), std::as_bytes(first),
                                std::as_bytes(second)};

    TReplaceOptions options;
    options.Mode = 0644;
    options.SyncContent = true;
    options.SyncFolder = true;
    options.BackupPath = backup;
    if (const auto result = ReplaceFileAtomically(name, content, options); !result.Succeeded())
        throw EOrvanelError(WriteErrorText(name, result.Error));
}

} // namespace

THistoryFileContent ReadHistoryFile(const std::string& name, bool zeroMagicHasOwnText) {
    THistoryFileContent content;
    TFileDescriptor file(::open(name.c_str(), O_RDONLY | O_CLOEXEC));
    if (!file.IsOpen()) {
        if (errno != ENOENT && errno != ENOTDIR) {
            content.Exists = true;
            content.Problem = ReadErrorText(name, errno);
        }
        return content;
    }
    content.Exists = true;
    struct stat st {};
    if (::fstat(file.Get(), &st) != 0) {
        content.Problem = ReadErrorText(name, errno);
        return content;
    }
    const size_t fileSize = static_cast<size_t>(st.st_size);

    unsigned char header[kHeaderSize] = {};
    size_t got = 0;
    if (const int error = ReadFully(file.Get(), header, kHeaderSize, 0, got)) {
        content.Problem = ReadErrorText(name, error);
        return content;
    }
    uint32_t magic = 0;
    if (got >= sizeof magic) std::memcpy(&magic, header, sizeof magic);
    if (got >= sizeof magic && magic != DataFileMagic) {
        content.WrongMagic = true;
        content.Problem = WrongMagicText(name, magic, zeroMagicHasOwnText);
        return content;
    }
    if (got >= kHeaderSize)
        std::memcpy(&content.Announced, header + sizeof magic, sizeof content.Announced);
    else
        content.HeaderCut = true;

    // Every complete record the file holds: a header count damaged downwards must not hide records.
    const size_t available = fileSize > kHeaderSize ? (fileSize - kHeaderSize) / kRecordSize : 0;
    content.Records.resize(available);
    const int error =
        ReadFully(file.Get(), content.Records.data(), available * kRecordSize, kHeaderSize, got);
    content.Records.resize(got / kRecordSize);
    if (error) {
        content.Problem = ReadErrorText(name, error);
        return content;
    }
    content.TrailingBytes = fileSize > kHeaderSize ? (fileSize - kHeaderSize) % kRecordSize : 0;
    return content;
}

void WriteHistoryFile(const std::string& name, std::span<const TcapteursInfos> records) {
    LogToday("Saving -> " + name);
    CreateFolder(name.substr(0, name.rfind('/') + 1));
    ReplaceHistoryFile(name, records, {}, name + ".back");
    LogToday(fmt::sprintf("Saved -> %s %d points", name, static_cast<int>(records.size())));
}

void AppendRejectedRecords(const std::string& folder, std::span<const TcapteursInfos> records) {
    if (records.empty()) return;
    CreateFolder(folder);
    const std::string name = folder + RejectedFileName;
    THistoryFileContent held = ReadHistoryFile(name, false);
    if (!held.Problem.empty()) {
        // An unreadable file is kept aside rather than overwritten.
        KeepDamagedCopy(name);
        held.Records.clear();
    }
    ReplaceHistoryFile(name, held.Records, records, {});
    LogToday(fmt::sprintf("Set aside -> %s %d points (%d in the file)", name,
                          static_cast<int>(records.size()),
                          static_cast<int>(held.Records.size() + records.size())));
}

std::string KeepDamagedCopy(const std::string& name) {
    std::string aside = name + ".damaged";
    for (int n = 2; FileExists(aside) && !SameFileBytes(name, aside); ++n)
        aside = name + ".damaged." + std::to_string(n);
    const bool copied = FileExists(aside) || CopyFileBlocks(name, aside) == 0;
    LogToday(copied ? "Damaged file copied -> " + aside : "Damaged file copy FAILED -> " + aside);
    return copied ? aside : std::string();
}

int DiscardBackwardPoints(TTDataStation& data, TTDataStation* discarded) {
    LogToday(fmt::sprintf("Loaded points : %d", static_cast<int>(data.size())));
    // One pass that keeps every record not older than the last kept one. A dropped record is named by
    // its index at the moment it goes, which is the number of records kept before it.
    size_t kept = data.empty() ? 0 : 1;
    int count = 0;
    for (size_t i = 1; i < data.size(); ++i) {
        const TcapteursInfos& previous = data[kept - 1];
        if (data[i].DateSysteme >= previous.DateSysteme) {
            data[kept++] = data[i];
            continue;
        }
        LogToday(fmt::sprintf("Point #%d has a problem -> next=%s < prev=%s , point discarded !",
                              static_cast<int>(kept), DateTimeText(data[i].DateSysteme),
                              DateTimeText(previous.DateSysteme)));
        if (discarded) discarded->push_back(data[i]);
        ++count;
    }
    data.resize(kept);
    LogToday(fmt::sprintf("Discarded points : %d", count));
    return count;
}

int MonthSpan(TDateTime first, TDateTime last) {
    const auto a = DecodeDateTime(first);
    const auto b = DecodeDateTime(last);
    return (b.Year - a.Year) * 12 + b.Month - a.Month + 1;
}

std::string MonthFileName(int year, int month) {
    return fmt::format("{:04d}_{:02d}.bin", year, month);
}

bool InDisplayRange(const TTDataStation& data, size_t index, double rangeDays) {
    if (index >= data.size()) return false;
    return data.back().DateSysteme - data[index].DateSysteme <= rangeDays;
}
