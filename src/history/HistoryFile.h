// The history on disk: one binary file per calendar month in the data folder
// (YYYY_MM.bin: magic, count, count packed TcapteursInfos records), with ".back" copies.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "FileIo.h" // CopyFileBlocks, for copies of the month files
#include "Records.h"

// Reports each step of a load ("Charge le fichier : " + path of the month file) to whoever shows progress.
using THistoryProgress = std::function<void(const std::string& text)>;

// Loads the last monthsToLoad calendar months (oldest first) into data, or migrates the legacy
// PathExe + "Data.bin" when it exists (deleted once its months are written). A damaged month does not
// stop the load: the other months and the complete records of a short file are loaded, a copy of the
// file is kept as name + ".damaged", and EOrvanelError is raised at the end with one line per problem.
void LoadHistory(const std::string& folder, int monthsToLoad, TTDataStation& data,
                 const THistoryProgress& progress = {});
// Rewrites the files of the last `months` calendar months (counting back from the current month of
// the PC clock) from data. Holds DataSaveLock throughout. Raises EOrvanelError when a file cannot be
// written; the previous file then stays whole.
void SaveHistory(const std::string& folder, int months, const TTDataStation& data);
// Removes records dated before their predecessor; returns how many were removed.
int DiscardBackwardPoints(TTDataStation& data);
// Calendar months from the month of first to the month of last, both included.
int MonthSpan(TDateTime first, TDateTime last);
// "2013_03.bin"
std::string MonthFileName(int year, int month);
// True when record index lies within RangeDateDisplay days of the last record of DataStation.
bool InDisplayRange(size_t index);
bool InDisplayRange(const TTDataStation& data, size_t index, double rangeDays);
