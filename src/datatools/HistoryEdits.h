// Changes the user makes to the history from the data table: deleting a range of records by their
// 1-based index, and cleaning implausible gust speeds. Both save every month they changed at once,
// so that no change to an older month is lost or comes back at the next start.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "DateTime.h"

class THistoryStore;

// What deleting records start to end (1-based, both included) would do.
struct TIndexRangeCheck {
    std::string Refusal; // the user's text when the range cannot be deleted, else empty
    size_t Count = 0;
    TDateTime FirstDate = 0, LastDate = 0;
    bool Allowed() const { return Refusal.empty(); }
};
TIndexRangeCheck CheckIndexRange(const THistoryStore& store, int64_t start, int64_t end);

// The question asked before deleting: the count and the first and last dates.
std::string DeleteQuestion(const TIndexRangeCheck& check);

// Deletes records start to end (1-based, both included) and saves the months they were in. Raises
// EOrvanelError with the refusal when the range is not allowed (nothing deleted), or with the save's
// text when a month could not be written (the records are gone from memory; the month stays to be
// written at the next save). Returns how many were deleted.
size_t DeleteIndexRange(THistoryStore& store, int64_t start, int64_t end);

// Gust speeds above this (m/s) are not plausible.
inline constexpr double MaxPlausibleGust = 100;
// Sets every gust speed that is negative, not a number or above 100 m/s to 0 (its validity flag
// unchanged), then saves the changed months. Returns how many records changed; raises EOrvanelError
// when a month could not be written.
size_t CleanWindValues(THistoryStore& store);
