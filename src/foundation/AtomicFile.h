// Replacing a file in one step: the new content is written to a temporary file beside it, which is
// then renamed over it, so a reader, a crash or a full disk finds the old content or the new one,
// never part of one.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <sys/types.h>
#include <vector>

// One run of the new content. The runs are written one after the other, never joined in memory.
using TByteRun = std::span<const std::byte>;

struct TReplaceOptions {
    mode_t Mode = 0666;       // permissions of the new file, less the umask
    bool SyncContent = false; // flush the content to the disk before it takes the file's place
    bool SyncFolder = false;  // flush the folder after the rename, so that the rename itself lasts
    // When set, the file being replaced stays under this name: a hard link to its bytes, or a copy
    // where links are impossible. A backup that cannot be made does not stop the replacement.
    std::string BackupPath;
};

// Where a replacement failed.
enum class TReplaceStep {
    Create,  // the temporary file could not be created
    Write,   // the content could not be written, flushed or closed
    Replace, // the rename over the file failed
};

// The outcome: Error is 0 when the file was replaced. On failure the file is untouched and the
// temporary file is gone.
struct TReplaceResult {
    int Error = 0; // errno of the failure
    TReplaceStep Step = TReplaceStep::Create;
    std::string TemporaryPath; // the temporary file's name, for messages
    bool Succeeded() const { return Error == 0; }
};

// Never raises for a file system failure; the caller turns the result into its own message.
TReplaceResult ReplaceFileAtomically(const std::string& path, std::span<const TByteRun> content,
                                     const TReplaceOptions& options = {});

// Removes the temporary files that replacements left in folder when their process ended before the
// rename (a crash or a power cut during a save); those of processes still running are left alone.
// Returns the paths removed. Never raises.
std::vector<std::string> RemoveOrphanTemporaryFiles(const std::string& folder);
