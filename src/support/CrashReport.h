// Fatal signals (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT) leave a crash report in the log folder and
// on standard error, written with async-signal-safe calls only; the next start completes the report
// with function names and lines and tells once that the program stopped abnormally.
#pragma once

#include <optional>
#include <string>

// Installs the handlers (once; the folder ends with '/'). The process still ends with the signal's
// usual status after the report.
void InstallCrashHandler(const std::string& logFolder);

struct TCrashNotice {
    std::string ReportPath; // the completed report
    std::string Signal;     // "SIGSEGV" ...
    double When = 0;        // TDateTime of the crash (local time)
};

// The newest report a previous run left and no start has told about yet, completed (frames of this
// executable named when it is the same program) and renamed, so that it is told only once. Every
// other untold report is completed the same way. Empty when there is none.
std::optional<TCrashNotice> TakeCrashReport(const std::string& logFolder);
