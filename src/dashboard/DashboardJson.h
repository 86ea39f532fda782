// What the web dashboard answers, as texts: the current reading with its states, relay and verdict;
// the history of one quantity as the minimum and maximum of each time column; the Server-Sent Events
// that carry both to the browsers; and the page's texts in the program's language. Plain C++: the
// HTTP side only sends these texts.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Conditions.h"
#include "DateTime.h"
#include "HistoryStore.h"
#include "Records.h"
#include "RelayController.h"
#include "SafetyVerdict.h"

// ---- Dates ----------------------------------------------------------------------------------
// A local date (TDateTime) as ISO 8601 UTC with milliseconds: "2026-12-09T11:00:00.000Z".
std::string IsoUtcText(TDateTime local);
// Seconds since 1970 (UTC) of a local date.
double UnixSeconds(TDateTime local);
// "2026-12-09T11:00:00Z", with optional fraction and a zone "Z" or "+01:00"/"-0500", into a local
// date. A date without zone, out of range or malformed: none.
std::optional<TDateTime> ParseIsoDate(std::string_view text);

// ---- Current reading ------------------------------------------------------------------------
// Everything /api/current shows, as the controller handed it over on the main thread.
struct TDashboardState {
    bool HasReading = false;
    TcapteursInfos Reading{};
    TConditions Conditions;
    TRelayDisplay Relay;
    bool RelayClosed = false; // the station's roof relay is closed
    bool LinkLost = false;
};

// The JSON of /api/current at `now` (the age of the reading counts from the reading's date).
std::string CurrentJson(const TDashboardState& state, const TSafetyMonitor& verdict, TDateTime now);
// The answer before the first reading (served with status 503).
std::string NoReadingJson();
// The verdict alone: the body of the "verdict" event.
std::string VerdictJson(const TSafetyMonitor& verdict);

// ---- History --------------------------------------------------------------------------------
inline constexpr int HistoryColumnsDefault = 1000;
inline constexpr int HistoryColumnsMax = 4000;

// One quantity a history plot may ask for.
struct THistoryQuantity {
    const char* Name; // in the query: "sky", "sky_minus_ambient"...
    const char* Unit;
    TPlottedQuantity Quantity;
    bool Magnitude = false; // light as magnitude per square arc-second
    bool Good = false;      // the good-conditions strip: 1 for a good reading, 0 otherwise
};
const std::vector<THistoryQuantity>& HistoryQuantities();

// A parsed /api/history query, or why it is refused.
struct THistoryQuery {
    const THistoryQuantity* Quantity = nullptr;
    std::optional<TDateTime> From, To; // none: the first record, and now
    int Columns = HistoryColumnsDefault;
    std::string Error;  // a stable code ("unknown_quantity", "bad_from", ...); empty when sound
    std::string Reason; // in the user's words
};
// The parameters, as the query decoded them (name, value); an unknown parameter is refused too.
THistoryQuery ParseHistoryQuery(const std::vector<std::pair<std::string, std::string>>& parameters);

// What a sound query gives: the range it covers (absent ends filled in), the records in it, and the
// smallest and largest value of each column.
struct THistoryAnswer {
    TDateTime From = 0, To = 0;
    size_t Count = 0;
    std::vector<TColumnMinMax> Columns;
};
// Where a range without `to` ends: now, or just past the newest record for a station clock ahead.
TDateTime HistoryDefaultEnd(const THistoryStore& history, TDateTime now);
// The refusal of a range whose `from` does not come before the `to` it was given or takes by default,
// as ParseHistoryQuery words it; unchanged when sound.
void RefuseEmptyRange(THistoryQuery& query, const THistoryStore& history, TDateTime now);
// setup: the thresholds of the good-conditions strip.
THistoryAnswer HistoryColumns(const THistoryQuery& query, const THistoryStore& history, TDateTime now,
                              const TSetupInfos& setup = SetupInfos);
// Its JSON: column starts `t` in seconds since 1970, `min` and `max` (null for an empty column).
std::string HistoryJson(const THistoryQuery& query, const THistoryStore& history, TDateTime now,
                        const TSetupInfos& setup = SetupInfos);
// The JSON of a refusal: {"error": code, "reason": text} (served with status 400).
std::string ErrorJson(std::string_view code, std::string_view reason);

// ---- Events ---------------------------------------------------------------------------------
// One Server-Sent Event: "event: <name>\ndata: <line>\n...\n\n" (each line of data on its own line).
std::string SseEvent(std::string_view name, std::string_view data);
// A comment line that keeps idle connections (and the proxies on their way) open.
std::string SseComment();

// ---- Page -----------------------------------------------------------------------------------
// The texts of the page in the language of the moment, as a JSON object, and the language code.
std::string PageTextsJson();
std::string PageLanguage();
// The page with its texts put in place of the markers "<!--TEXTS-->" and "@LANG@".
std::string FillPage(std::string_view page);
