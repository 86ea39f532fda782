#include "AtomicFile.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <fmt/format.h>
#include <regex>
#include <signal.h>
#include <unistd.h>

#include "FileIo.h"

namespace {

// A stale temporary file of an earlier process with the same id is stepped over, a few times at most.
constexpr int kNameAttempts = 16;

// Opens a new temporary file beside path under a name no other file has: unique within the process,
// O_EXCL against everything else. The descriptor, or -1 with errno set; temporary holds the name tried.
int CreateTemporary(const std::string& path, mode_t mode, std::string& temporary) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        temporary = fmt::format("{}.{}-{}.tmp", path, ::getpid(), counter++);
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

// The process that owns a temporary file, from its name; 0 when the name is not one of ours.
pid_t OwnerOfTemporary(const std::string& fileName) {
    static const std::regex pattern(R"(.+\.([0-9]{1,9})-[0-9]+\.tmp)");
    std::smatch match;
    if (!std::regex_match(fileName, match, pattern)) return 0;
    return static_cast<pid_t>(std::stol(match[1].str()));
}

bool ProcessRunning(pid_t pid) {
    return ::kill(pid, 0) == 0 || errno == EPERM;
}

// 0 or errno.
int WriteContent(TFileDescriptor& file, std::span<const TByteRun> content, bool sync) {
    for (const TByteRun& run : content)
        if (const int error = WriteFully(file.Get(), run.data(), run.size())) return error;
    if (sync && ::fsync(file.Get()) != 0) return errno;
    return file.Close();
}

// A hard link shares the bytes without copying them; the rename that follows gives the file a new
// inode and leaves the old one to the backup.
void KeepPrevious(const std::string& path, const std::string& backup) {
    if (::access(path.c_str(), F_OK) != 0) return;
    ::unlink(backup.c_str());
    if (::link(path.c_str(), backup.c_str()) == 0) return;
    CopyFileBlocks(path, backup); // file systems without hard links
}

void SyncFolderOf(const std::string& path) {
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    const char* name = folder.empty() ? "." : folder.c_str();
    TFileDescriptor dir(::open(name, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.IsOpen()) ::fsync(dir.Get());
}

TReplaceResult Failure(TReplaceStep step, int error, const std::string& temporary) {
    return {error, step, temporary};
}

} // namespace

TReplaceResult ReplaceFileAtomically(const std::string& path, std::span<const TByteRun> content,
                                     const TReplaceOptions& options) {
    std::string temporary;
    TFileDescriptor file(CreateTemporary(path, options.Mode, temporary));
    if (!file.IsOpen()) return Failure(TReplaceStep::Create, errno, temporary);
    if (const int error = WriteContent(file, content, options.SyncContent)) {
        ::unlink(temporary.c_str());
        return Failure(TReplaceStep::Write, error, temporary);
    }
    if (!options.BackupPath.empty()) KeepPrevious(path, options.BackupPath);
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        return Failure(TReplaceStep::Replace, error, temporary);
    }
    if (options.SyncFolder) SyncFolderOf(path);
    return {};
}

std::vector<std::string> RemoveOrphanTemporaryFiles(const std::string& folder) {
    std::vector<std::string> removed;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        const pid_t owner = OwnerOfTemporary(entry.path().filename().string());
        if (owner <= 0 || ProcessRunning(owner) || !entry.is_regular_file(ec)) continue;
        if (std::filesystem::remove(entry.path(), ec)) removed.push_back(entry.path().string());
    }
    return removed;
}
