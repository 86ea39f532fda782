// orvanel-data: the statistics, the CSV export and a check of the month files, from the command
// line, for scripts and cron jobs. It only reads the history, so it may run beside the monitor.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fmt/format.h>
#include <optional>
#include <QCoreApplication>
#include <regex>
#include <string>
#include <vector>

#include "CsvExport.h"
#include "MonthFiles.h"
#include "Records.h"
#include "SettingsTable.h"
#include "StartupFolders.h"
#include "Statistics.h"
#include "UserText.h"
#include "Utilities.h"

namespace {

const char* const kUsage = R"(Usage: orvanel-data [--data-dir DIR] COMMAND [OPTIONS]

Reads the history of the Orvanel cloud monitor without its window. It never writes to the
history, so it is safe to run while the monitor runs.

Commands:
  stats --from DATE --to DATE [--json]
        Observing statistics of the records dated from --from to --to: mean temperature,
        share of clear sky, continuous clear blocks of two hours, rain time, humidity and
        wind, for the whole range and for night and day, as the "Statistiques" tab shows
        them. With --json: one JSON object whose keys are IntervalCount, DayDuration,
        NightDuration, NightClearPercent, DayClearPercent, ClearPercent, ClearBlocks,
        NightClearBlocks, DayClearBlocks, RainDuration, NightMeanTemp, DayMeanTemp,
        MeanTemp, HumidityMin, HumidityMax, HumidityMean, GustMean, GustMax, GustMedian
        (durations in days, temperatures in degrees C, gusts in m/s), then From, To and
        Period (days); null where a value is not valid (a night or day value when the range
        has no night or no day, block counts when none was counted, values divided by a
        period of zero).
  export --from DATE --to DATE [-o FILE]
        The records of the range in the layout of the window's CSV export (newest first,
        ";" after every field, CR LF line ends, records without a light level left out),
        to standard output or to FILE.
  check
        Every month file (YYYY_MM.bin) of the data folder: its record count, first and last
        date, and what is wrong with it (not a regular file, bad header, a length that is not
        a whole number of records, records whose every byte is zero, dates out of order or
        outside the file's month). Records with values that are not numbers are noted; they
        are not a fault (see below). Exit status 0 when all are sound, 1 otherwise.

DATE is YYYY-MM-DD or "YYYY-MM-DD HH:MM[:SS]", local time. A --to without a time means the
end of that day; a --from without a time, its start.

Options:
  --data-dir DIR   the data folder (default: ~/Documents/Halvex/Datas/, as the monitor's)
  --help           show this help
  --version        show the version

Every month file the range touches is read, however many months the monitor loads. A
record whose measurement values are not numbers (NaN) is used as it is, as the monitor uses
it: the statistics it enters show no value ("null" with --json), the export writes "nan".
Only regular files are read: a FIFO, a device or a folder in place of a month file is
refused by name. The
thresholds (SeuilCloudy, SeuilDawn) and the wind unit come from the monitor's settings,
~/.config/Orvanel/registry.ini. Errors (a bad date, a missing folder, a damaged month file)
are written to standard error; the exit status is then 1 (2 for a wrong command line).
)";

struct TUsageError {
    std::string Text;
};

// "YYYY-MM-DD" or "YYYY-MM-DD HH:MM[:SS]" (also with a "T"); endOfDay: a date alone is the last
// millisecond of that day.
TDateTime ParseDate(const std::string& option, const std::string& text, bool endOfDay) {
    static const std::regex pattern(R"((\d{4})-(\d{2})-(\d{2})(?:[ T](\d{2}):(\d{2})(?::(\d{2}))?)?)");
    std::smatch m;
    const std::string problem =
        fmt::format("{}: \"{}\" is not a date (YYYY-MM-DD or \"YYYY-MM-DD HH:MM[:SS]\")", option, text);
    if (!std::regex_match(text, m, pattern)) throw TUsageError{problem};
    const int year = std::stoi(m[1]), month = std::stoi(m[2]), day = std::stoi(m[3]);
    const bool timeGiven = m[4].matched;
    const int hour = timeGiven ? std::stoi(m[4]) : 0, minute = timeGiven ? std::stoi(m[5]) : 0;
    const int second = m[6].matched ? std::stoi(m[6]) : 0;
    if (year < 1900 || month < 1 || month > 12 || day < 1 || hour > 23 || minute > 59 || second > 59)
        throw TUsageError{problem};
    const TDateTime value = EncodeDateTime(year, month, day, hour, minute, second);
    if (DecodeDateTime(value).Day != day) throw TUsageError{problem}; // 31 April, 29 February 2013
    return timeGiven || !endOfDay ? value : value + 1 - 1.0 / 86400000;
}

struct TCommandLine {
    std::string Command;
    std::string DataDir;
    std::optional<TDateTime> From, To;
    bool Json = false;
    std::string Output;
    bool Help = false;
    bool Version = false;
};

TCommandLine Parse(int argc, char** argv) {
    TCommandLine line;
    auto value = [&](int& i, const std::string& option) {
        if (i + 1 >= argc) throw TUsageError{option + " needs a value"};
        return std::string(argv[++i]);
    };
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h")
            line.Help = true;
        else if (arg == "--version")
            line.Version = true;
        else if (arg == "--data-dir")
            line.DataDir = value(i, arg);
        else if (arg == "--from")
            line.From = ParseDate(arg, value(i, arg), false);
        else if (arg == "--to")
            line.To = ParseDate(arg, value(i, arg), true);
        else if (arg == "--json")
            line.Json = true;
        else if (arg == "-o" || arg == "--output")
            line.Output = value(i, arg);
        else if (!arg.empty() && arg[0] == '-')
            throw TUsageError{"unknown option " + arg};
        else if (line.Command.empty())
            line.Command = arg;
        else
            throw TUsageError{"unexpected argument " + arg};
    }
    if (line.Help || line.Version) return line;
    if (line.Command.empty()) throw TUsageError{"a command is needed: stats, export or check"};
    if (line.Command != "stats" && line.Command != "export" && line.Command != "check")
        throw TUsageError{"unknown command " + line.Command};
    if (line.Command == "check") {
        if (line.From || line.To) throw TUsageError{"check takes no --from or --to"};
    } else {
        if (!line.From || !line.To) throw TUsageError{line.Command + " needs --from and --to"};
        if (*line.To < *line.From) throw TUsageError{"--to is before --from"};
    }
    if (line.Json && line.Command != "stats") throw TUsageError{"--json goes with stats"};
    if (!line.Output.empty() && line.Command != "export") throw TUsageError{"-o goes with export"};
    return line;
}

void PrintStats(const StatsResult& s) {
    std::printf("From %s to %s: %s, %d intervals\n", DateTimeText(s.DateDeb).c_str(),
                DateTimeText(s.DateFin).c_str(), StatsDaysText(s.Period).c_str(), s.IntervalCount);
    if (!StatsFillGrid(s)) {
        std::printf("Too few records in this range: at least %d intervals are needed.\n",
                    StatsMinimumIntervals + 1);
        return;
    }
    std::printf("Night %s, day %s\n\n", StatsDaysText(s.NightDuration).c_str(),
                StatsDaysText(s.DayDuration).c_str());
    const TStatsGrid grid = StatsGridTexts(s);
    // Widths in characters, not bytes: the texts carry accents and "°".
    auto width = [](const std::string& text) {
        size_t n = 0;
        for (const unsigned char c : text)
            n += (c & 0xC0) != 0x80;
        return n;
    };
    size_t widths[StatsGridColumns] = {};
    for (const auto& row : grid)
        for (int c = 0; c < StatsGridColumns; ++c)
            widths[c] = std::max(widths[c], width(row[c]));
    for (const auto& row : grid) {
        std::string line;
        for (int c = 0; c < StatsGridColumns; ++c) {
            const std::string pad(widths[c] - width(row[c]), ' ');
            line += c == 0 ? row[c] + pad : "   " + pad + row[c];
        }
        std::printf("%s\n", line.c_str());
    }
}

int Run(const TCommandLine& line) {
    std::string folder = line.DataDir.empty() ? DocumentsRoot() + "Halvex/Datas/" : line.DataDir;
    IncludeBackslash(folder);
    if (line.Command == "check") {
        const std::vector<TMonthFileReport> reports = CheckDataFolder(folder);
        bool sound = true;
        for (const auto& r : reports) {
            std::string name = r.Path.substr(r.Path.find_last_of('/') + 1);
            std::string dates = r.Count ? DateTimeText(r.First) + " .. " + DateTimeText(r.Last) : "no record";
            std::printf("%s  %zu records  %s  %s\n", name.c_str(), r.Count, dates.c_str(),
                        r.Sound() ? "sound" : "DAMAGED");
            for (const auto& p : r.Problems)
                std::printf("    %s\n", p.c_str());
            for (const auto& p : r.Remarks)
                std::printf("    note: %s\n", p.c_str());
            sound = sound && r.Sound();
        }
        if (reports.empty()) std::printf("%s: no month file\n", folder.c_str());
        return sound ? 0 : 1;
    }

    LoadStartupSettings();
    // This tool only reads: a damaged settings file is left as it is, and said on standard error.
    for (const std::string& problem : DatabaseRegistry().TakeProblems())
        std::fprintf(stderr, "%s\n", problem.c_str());
    const TTDataStation records = ReadRecordsInRange(folder, *line.From, *line.To);
    if (line.Command == "stats") {
        const StatsResult s =
            ComputeStatistics(records, *line.From, *line.To, SetupInfos.SeuilCloudy, SetupInfos.SeuilDawn);
        if (line.Json)
            std::printf("%s\n", StatsJson(s).c_str());
        else
            PrintStats(s);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    const TCsvExportResult result = line.Output.empty()
                                        ? WriteCsvExport(1, records, SetupInfos, "standard output")
                                        : ExportCsvFile(line.Output, records, SetupInfos);
    if (!result.Succeeded()) throw EOrvanelError(result.Text);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    InstallSettingDefaults();
    TCommandLine line;
    try {
        line = Parse(argc, argv);
    } catch (const TUsageError& e) {
        std::fprintf(stderr, "orvanel-data: %s\nTry orvanel-data --help.\n", e.Text.c_str());
        return 2;
    }
    if (line.Help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (line.Version) {
        std::puts("orvanel-data " ORVANEL_VERSION);
        return 0;
    }
    // Settings and the documents folder are found as the monitor finds them.
    QCoreApplication app(argc, argv);
    // Messages of the settings reads go to standard error, never to a window or the log.
    SetUserMessageHandler(
        [](const std::string& text) { std::fprintf(stderr, "orvanel-data: %s\n", text.c_str()); });
    try {
        return Run(line);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "orvanel-data: %s\n", e.what());
        return 1;
    }
}
