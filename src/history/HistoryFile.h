// The history on disk: one binary file per calendar month in the data folder
// (YYYY_MM.bin: magic, count, count packed TcapteursInfos records), with ".back" copies, and
// "rejected.bin" (same layout) for the records that could not take their place in the history.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "FileIo.h" // CopyFileBlocks, for copies of the month files
#include "Records.h"

// Reports each step of a load ("Charge le fichier : " + path of the month file) to whoever shows progress.
using THistoryProgress = std::function<void(const std::string& text)>;

// Records that were measured but cannot enter the history (impossible date, older than the newest
// record held) are kept here rather than thrown away.
inline constexpr const char* RejectedFileName = "rejected.bin";

// What one history file holds. Every complete record is read, whatever the header announces; the
// records are read in blocks, so memory follows the records kept, never the size of the file.
struct THistoryFileContent {
    bool Exists = false;
    TTDataStation Records;    // the complete records, all-zero ones left out
    int32_t Announced = 0;    // the header's count
    size_t Complete = 0;      // complete records in the file, all-zero ones included
    size_t ZeroRecords = 0;   // complete records whose every byte is zero: counted, not kept
    size_t TrailingBytes = 0; // bytes after the last complete record
    bool HeaderCut = false;   // the file ends inside its header
    bool WrongMagic = false;  // the magic number is not the history's; the records are read all the same
    uint32_t Magic = 0;
    std::string MagicText;    // the user's text for a wrong magic number
    std::string Problem;      // the user's text when nothing could be read (not a regular file, read error)
    bool CountMismatch() const {
        return HeaderCut || Announced < 0 || static_cast<size_t>(Announced) != Complete || TrailingBytes != 0;
    }
    bool Damaged() const { return WrongMagic || ZeroRecords != 0 || CountMismatch(); }
};

// Reads one history file block by block, handing each run of complete records that are not all
// zero to take (spans into a buffer reused for the next block); content gets everything but the
// records. Only a regular file (or a link to one) is read: anything else is refused in
// content.Problem, without opening it for reading and so without waiting on it. A missing file is
// not a problem (Exists false). zeroMagicHasOwnText: a month file whose magic is zero gets the text
// that says it should be erased.
void ReadHistoryFileBlocks(const std::string& name, bool zeroMagicHasOwnText, THistoryFileContent& content,
                           const std::function<void(std::span<const TcapteursInfos>)>& take);
// The same, gathering the records into content.Records.
THistoryFileContent ReadHistoryFile(const std::string& name, bool zeroMagicHasOwnText);

// Replaces the file whole (flushed, the previous content kept as name + ".back"). Raises
// EOrvanelError naming the file when it cannot be written; the previous file then stays whole.
void WriteHistoryFile(const std::string& name, std::span<const TcapteursInfos> records);

// Adds records to folder + "rejected.bin" (created when missing). Raises EOrvanelError when the
// file cannot be written.
void AppendRejectedRecords(const std::string& folder, std::span<const TcapteursInfos> records);

// Copies a file that cannot be read whole to name + ".damaged" (or ".damaged.2", ... when an
// earlier, different copy is there) before anything rewrites it. Runs of zeros become holes, so a
// sparse or zero-filled file costs no disk space again. Returns the copy's path, empty when the
// copy failed.
std::string KeepDamagedCopy(const std::string& name);

// Removes records dated before their predecessor (moved to *discarded when given); returns how many
// were removed.
int DiscardBackwardPoints(TTDataStation& data, TTDataStation* discarded = nullptr);
// Calendar months from the month of first to the month of last, both included.
int MonthSpan(TDateTime first, TDateTime last);
// "2013_03.bin"
std::string MonthFileName(int year, int month);
// True when record index lies within rangeDays of the last record of data.
bool InDisplayRange(const TTDataStation& data, size_t index, double rangeDays);
