// Plain data the controller hands to the main window, beyond the classified reading itself: the
// roof relay group, the reading timers and the download progress. No Qt here, so the controller
// can fill them without knowing the widgets.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "Classification.h"
#include "Records.h"
#include "Supervisor.h"

// Shown until the station or the controller reports a value.
inline constexpr const char* UnknownText = "???";


// The state before the station has said anything about its relay.
TRelayDisplay InitialRelayDisplay();
// The criteria texts of the reported criteria; "???" where a criterion is not valid.
void FillRelayCriteria(const TRoofCloserCriterias& criteria, TRelayDisplay& display);
// The roof panel for a relay state: not reported, closed or open. The hint is the caller's: the
// time the alarm was raised or the relay re-armed; only the unreported state has a fixed hint.
TStatePanel RelayPanel(const TT_Bool& roofSwitchActive);
// Caption of the re-arm button while the automatic re-arm counts down; remaining in minutes,
// none once the waiting time is over.
std::string RearmCaption(std::optional<double> remainingMinutes);
// Caption of the button at start.
std::string OpenRelayCaption();


// The texts a one-second tick shows for a reading every intervalSec seconds, secondsCounted since
// the last one started, the last one dated lastReading (0: none yet).
TReadingLabels TimerLabelsAt(double intervalSec, double secondsCounted, TDateTime lastReading, TDateTime now);

// The status panel shows long texts cut: "...." and the first 70 characters of a text over 80.
std::string ShortStatusText(const std::string& text);

// Texts of the station memory download: in progress (the window's label and status bar panel)
// and finished (status bar panel).
std::string DownloadProgressText(int recordsRead, int recordsToRead);
std::string DownloadDoneText(int recordsRead);
// True when the progress report means the download is over.
bool DownloadFinished(int recordsRead, int recordsToRead);

// Status bar panel 1 at each weather reading: the span of the graphs.
std::string DisplayRangeText(double rangeDays);
// Status bar panel 2 after a reading: the records in memory and, when FTP publishing is on, whether an
// upload runs (ftpRunning) and since how many seconds it runs or waits.
std::string StoredPointsText(size_t records, std::optional<bool> ftpRunning = std::nullopt,
                             double ftpSeconds = 0);

// The window's caption: the program's name and version.
std::string MainWindowCaption();
