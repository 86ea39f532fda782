#include "HistoryFile.h"

#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <memory>
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

// A FIFO would block the reader for ever, a device could stream without end, a folder cannot hold
// records: only regular files are history files.
std::string NotRegularText(const std::string& name, mode_t mode) {
    const char* kind = S_ISFIFO(mode)                    ? TrNoop("HistoryFile", "tube nommé")
                       : S_ISDIR(mode)                   ? TrNoop("HistoryFile", "dossier")
                       : S_ISCHR(mode) || S_ISBLK(mode) ? TrNoop("HistoryFile", "périphérique")
                       : S_ISSOCK(mode)                  ? TrNoop("HistoryFile", "socket")
                                                         : TrNoop("HistoryFile", "fichier spécial");
    LogToday(fmt::sprintf("Not a regular file -> %s (mode %o), not read", name, static_cast<unsigned>(mode)));
    return fmt::sprintf(Tr("HistoryFile", "%s n'est pas un fichier ordinaire (%s) : il n'est pas lu."), name,
                        Tr("HistoryFile", kind));
}

// Opens a file for reading only when it is a regular file (a link to one included); never waits on a
// FIFO. -1 with errno, or with *notRegular set to the file's mode.
int OpenRegularForReading(const std::string& name, mode_t* notRegular) {
    struct stat st {};
    if (::stat(name.c_str(), &st) != 0) return -1;
    if (!S_ISREG(st.st_mode)) {
        *notRegular = st.st_mode;
        return -1;
    }
    const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return -1;
    // The name may have been given to something else between the two looks.
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        *notRegular = st.st_mode;
        ::close(fd);
        return -1;
    }
    return fd;
}

bool AllZero(const unsigned char* bytes, size_t size) {
    for (size_t i = 0; i < size; ++i)
        if (bytes[i]) return false;
    return true;
}

// Records per block: about 300 KB, which stays in the cache while it is checked and handed over.
constexpr size_t kBlockRecords = 4096;

// Copies source to destination leaving holes where source has holes or zero blocks, so that a copy of
// a sparse or zero-filled file takes no more disk than its data. 0 or errno.
int CopyKeepingHoles(const std::string& source, const std::string& destination) {
    mode_t notRegular = 0;
    TFileDescriptor in(OpenRegularForReading(source, &notRegular));
    if (!in.IsOpen()) return notRegular ? EINVAL : errno;
    struct stat st {};
    if (::fstat(in.Get(), &st) != 0) return errno;
    TFileDescriptor out(::open(destination.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (!out.IsOpen()) return errno;
    const off_t size = st.st_size;
    constexpr size_t kCopyBlock = 65536;
    std::unique_ptr<unsigned char[]> block(new unsigned char[kCopyBlock]);
    for (off_t at = 0; at < size;) {
        off_t data = ::lseek(in.Get(), at, SEEK_DATA);
        if (data < 0) {
            if (errno != ENXIO && errno != EINVAL) return errno;
            data = errno == ENXIO ? size : at; // ENXIO: only a hole is left; EINVAL: no hole support
        }
        if (data >= size) break;
        off_t hole = ::lseek(in.Get(), data, SEEK_HOLE);
        if (hole < 0 || hole > size) hole = size;
        for (at = data; at < hole;) {
            size_t got = 0;
            const size_t want = static_cast<size_t>(std::min<off_t>(kCopyBlock, hole - at));
            if (const int error = ReadFully(in.Get(), block.get(), want, at, got)) return error;
            if (got == 0) break;
            if (!AllZero(block.get(), got)) {
                for (size_t done = 0; done < got;) {
                    const ssize_t n = ::pwrite(out.Get(), block.get() + done, got - done, at + static_cast<off_t>(done));
                    if (n < 0 && errno == EINTR) continue;
                    if (n < 0) return errno;
                    done += static_cast<size_t>(n);
                }
            }
            at += static_cast<off_t>(got);
        }
        at = std::max(at, hole);
    }
    if (::ftruncate(out.Get(), size) != 0) return errno;
    return out.Close();
}

bool SameFileBytes(const std::string& a, const std::string& b) {
    mode_t notRegular = 0;
    TFileDescriptor fa(OpenRegularForReading(a, &notRegular));
    TFileDescriptor fb(OpenRegularForReading(b, &notRegular));
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

void ReadHistoryFileBlocks(const std::string& name, bool zeroMagicHasOwnText, THistoryFileContent& content,
                           const std::function<void(std::span<const TcapteursInfos>)>& take) {
    content = THistoryFileContent{};
    mode_t notRegular = 0;
    TFileDescriptor file(OpenRegularForReading(name, &notRegular));
    if (!file.IsOpen()) {
        if (notRegular) {
            content.Exists = true;
            content.Problem = NotRegularText(name, notRegular);
        } else if (errno != ENOENT && errno != ENOTDIR) {
            content.Exists = true;
            content.Problem = ReadErrorText(name, errno);
        }
        return;
    }
    content.Exists = true;
    struct stat st {};
    if (::fstat(file.Get(), &st) != 0) {
        content.Problem = ReadErrorText(name, errno);
        return;
    }
    const size_t fileSize = static_cast<size_t>(st.st_size);

    unsigned char header[kHeaderSize] = {};
    size_t got = 0;
    if (const int error = ReadFully(file.Get(), header, kHeaderSize, 0, got)) {
        content.Problem = ReadErrorText(name, error);
        return;
    }
    if (got >= sizeof content.Magic) {
        std::memcpy(&content.Magic, header, sizeof content.Magic);
        if (content.Magic != DataFileMagic) {
            // A damaged magic number does not make the records behind it worthless: they are read,
            // and whoever reads them judges each one.
            content.WrongMagic = true;
            content.MagicText = WrongMagicText(name, content.Magic, zeroMagicHasOwnText);
        }
    }
    if (got >= kHeaderSize)
        std::memcpy(&content.Announced, header + sizeof content.Magic, sizeof content.Announced);
    else
        content.HeaderCut = true;

    // Every complete record the file holds: a header count damaged downwards must not hide records.
    if (fileSize > kHeaderSize) {
        content.Complete = (fileSize - kHeaderSize) / kRecordSize;
        content.TrailingBytes = (fileSize - kHeaderSize) % kRecordSize;
    }
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[kBlockRecords * kRecordSize]);
    const auto* records = reinterpret_cast<const TcapteursInfos*>(buffer.get());
    bool lastBlockZero = false;
    for (size_t done = 0; done < content.Complete;) {
        const off_t at = static_cast<off_t>(kHeaderSize + done * kRecordSize);
        if (lastBlockZero) {
            // Zeros again: a hole of a sparse file is skipped without reading it.
            off_t data = ::lseek(file.Get(), at, SEEK_DATA);
            if (data < 0 && errno == ENXIO) data = static_cast<off_t>(fileSize);
            if (data > at) {
                const size_t skip = std::min(content.Complete, (static_cast<size_t>(data) - kHeaderSize) / kRecordSize) - done;
                if (skip > 0) {
                    content.ZeroRecords += skip;
                    done += skip;
                    continue;
                }
            }
        }
        const size_t want = std::min(kBlockRecords, content.Complete - done);
        if (const int error = ReadFully(file.Get(), buffer.get(), want * kRecordSize, at, got)) {
            content.Problem = ReadErrorText(name, error);
            return;
        }
        const size_t n = got / kRecordSize;
        size_t run = 0, zeros = 0;
        for (size_t i = 0; i < n; ++i) {
            const unsigned char* bytes = buffer.get() + i * kRecordSize;
            uint64_t date = 0;
            std::memcpy(&date, bytes, sizeof date);
            if (date != 0 || !AllZero(bytes, kRecordSize)) continue;
            if (i > run) take(std::span(records + run, i - run));
            ++zeros;
            run = i + 1;
        }
        if (n > run) take(std::span(records + run, n - run));
        content.ZeroRecords += zeros;
        lastBlockZero = n > 0 && zeros == n;
        done += n;
        if (n < want) { // the file shrank while it was read
            content.Complete = done;
            content.TrailingBytes = got % kRecordSize;
            break;
        }
    }
}

THistoryFileContent ReadHistoryFile(const std::string& name, bool zeroMagicHasOwnText) {
    THistoryFileContent content;
    TTDataStation records;
    ReadHistoryFileBlocks(name, zeroMagicHasOwnText, content, [&](std::span<const TcapteursInfos> block) {
        records.insert(records.end(), block.begin(), block.end());
    });
    content.Records = std::move(records);
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
    // Something that is not a file, or cannot be read, is left as it is; the records wait in memory.
    if (!held.Problem.empty()) throw EOrvanelError(held.Problem);
    // A damaged file keeps its bytes aside; its records stay in the file, written anew.
    if (held.Damaged()) KeepDamagedCopy(name);
    ReplaceHistoryFile(name, held.Records, records, {});
    LogToday(fmt::sprintf("Set aside -> %s %d points (%d in the file)", name,
                          static_cast<int>(records.size()),
                          static_cast<int>(held.Records.size() + records.size())));
}

std::string KeepDamagedCopy(const std::string& name) {
    std::string aside = name + ".damaged";
    for (int n = 2; FileExists(aside) && !SameFileBytes(name, aside); ++n)
        aside = name + ".damaged." + std::to_string(n);
    const bool copied = FileExists(aside) || CopyKeepingHoles(name, aside) == 0;
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
