// Read-only access to the month files of a data folder, for tools that run beside the monitor: the
// records of a date range, and a check of every file. Nothing here writes to the folder.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "DateTime.h"
#include "Records.h"

// What one month file holds and what is wrong with it.
struct TMonthFileReport {
    std::string Path;
    int Year = 0, Month = 0;
    size_t Count = 0; // complete records
    TDateTime First = 0, Last = 0;
    std::vector<std::string> Problems; // empty when the file is sound
    std::vector<std::string> Remarks;  // worth knowing, not faults (values that are not numbers)
    bool Sound() const { return Problems.empty(); }
};

// Checks one month file (YYYY_MM.bin of that year and month): a regular file, its header, a length
// that is a whole number of records, no all-zero records, dates in order and inside its month. Values
// that are not numbers are remarked on, not faults: the monitor keeps such records too.
TMonthFileReport CheckMonthFile(const std::string& path, int year, int month);

// Every month file (YYYY_MM.bin) of folder, in date order. Raises EOrvanelError when the folder
// cannot be read.
std::vector<TMonthFileReport> CheckDataFolder(const std::string& folder);

// The records dated from `from` to `to` (both included), oldest first, from every month file the
// range touches. A missing month holds nothing. Raises EOrvanelError naming the file and what is
// wrong with it when a month file of the range is not sound, or when the folder does not exist.
TTDataStation ReadRecordsInRange(const std::string& folder, TDateTime from, TDateTime to);
