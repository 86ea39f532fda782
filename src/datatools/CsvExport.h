// The CSV export of the history: one line per record with a light level, newest first, every field
// followed by ";", CR LF line ends, "." decimals, UTF-8.
#pragma once

#include <cstddef>
#include <span>
#include <string>

#include "Records.h"

// The name the export writes: the chosen name, with ".csv" appended unless it already ends in
// ".csv" in any case.
std::string CsvFileName(const std::string& chosen);

// The header line (with its CR LF); the wind title carries the wind unit of setup.
std::string CsvHeader(const TSetupInfos& setup);
// One record's line (with its CR LF), whatever its light level.
std::string CsvLine(const TcapteursInfos& record, const TSetupInfos& setup);

// How an export ended.
struct TCsvExportResult {
    size_t Lines = 0; // record lines written (the header not counted)
    int Error = 0;    // errno of the failure, 0 when the file is complete
    std::string Text; // the user's text of the failure, empty on success
    bool Succeeded() const { return Error == 0; }
};

// Writes the header, then the records of `records` from the newest back to the oldest, skipping
// those without a valid light level, to the open descriptor fd. A failed write stops it: what was
// written stays, and the result says so (target names the file or stream in the text).
TCsvExportResult WriteCsvExport(int fd, std::span<const TcapteursInfos> records, const TSetupInfos& setup,
                                const std::string& target);
// The same into the file path, created or truncated.
TCsvExportResult ExportCsvFile(const std::string& path, std::span<const TcapteursInfos> records,
                               const TSetupInfos& setup);
