// A month file as a crash, a full disk or another program may leave it: the history loader never
// keeps a record outside the file's month, keeps the history in date order, and keeps every record
// of a file that the check of orvanel-data finds sound; the check itself never fails on it.
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include "DateTime.h"
#include "FuzzCheck.h"
#include "HistoryStore.h"
#include "MonthFiles.h"
#include "SettingsTable.h"
#include "UserText.h"

namespace fs = std::filesystem;

namespace {
constexpr int kYear = 2024, kMonth = 6;
std::string folder;
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    InstallSettingDefaults();
    InitStartValues();
    PathLogs.clear();
    folder = (fs::temp_directory_path() / ("orvanel-fuzz-month-" + std::to_string(::getpid()))).string() + "/";
    // The clock stands late in the file's month: records up to a day after it are sound dates.
    SetClockForTests([] { return EncodeDateTime(kYear, kMonth, 28, 12, 0, 0); });
    std::atexit([] {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fs::remove_all(folder);
    fs::create_directories(folder);
    const std::string path = folder + MonthFileName(kYear, kMonth);
    {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }

    const TMonthFileReport report = CheckMonthFile(path, kYear, kMonth);
    if (report.Sound() && report.Count > 0) {
        FUZZ_CHECK(MonthKeyOf(report.First) == MonthKeyOf(EncodeDateTime(kYear, kMonth, 1)) &&
                       MonthKeyOf(report.Last) == MonthKeyOf(report.First),
                   "a sound file with records from %g to %g", report.First, report.Last);
    }

    THistoryStore store(folder);
    try {
        store.Load(1);
    } catch (const EOrvanelError&) {
        // told to the user; what could be read is still checked below
    }
    const int month = MonthKeyOf(EncodeDateTime(kYear, kMonth, 1));
    const TTDataStation& records = store.Records();
    for (size_t i = 0; i < records.size(); ++i) {
        const TDateTime date = records[i].DateSysteme;
        FUZZ_CHECK(std::isfinite(date) && MonthKeyOf(date) == month, "record %zu of %zu dated %.17g kept in %d_%02d", i,
                   records.size(), date, kYear, kMonth);
        if (i > 0)
            FUZZ_CHECK(records[i - 1].DateSysteme < date, "record %zu (%.17g) not after the one before (%.17g)", i,
                       date, FieldValue(records[i - 1].DateSysteme));
    }
    if (report.Sound()) {
        const TDateTime latest = Now() + 1;
        if (report.Count == 0 || report.Last <= latest)
            FUZZ_CHECK(records.size() == report.Count, "a sound file of %zu records loaded as %zu", report.Count,
                       records.size());
    }
    return 0;
}
