// TDateTime: float64 days since 30 December 1899, the time of day as the fraction, in local time.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

using TDateTime = double;

struct TDateTimeParts {
    int Year = 1899, Month = 12, Day = 30;
    int Hour = 0, Minute = 0, Second = 0, MilliSecond = 0;
};

// Encodes a civil date and time (no time-zone arithmetic: the value is whatever wall clock it is given).
TDateTime EncodeDateTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                         int millisecond = 0);
TDateTime EncodeDateTime(const TDateTimeParts& parts);
// Splits a value into its civil fields, rounding to the nearest millisecond. A value outside years
// 1 to 9999, infinite or not a number gives the fields of 0 (30/12/1899 00:00).
TDateTimeParts DecodeDateTime(TDateTime value);

// The local wall clock now (or the clock installed by SetClockForTests).
TDateTime Now();
// The UTC clock now (the relay waiting time counts on it, immune to daylight-saving changes).
TDateTime NowUTC();

// Replaces the local clock of Now(); an empty function restores the system clock. Tests only.
void SetClockForTests(std::function<TDateTime()> clock);

// Fixed text form of a date and time: dd/mm/yyyy hh:nn:ss.
std::string DateTimeText(TDateTime value);
// dd/mm/yyyy
std::string DateText(TDateTime value);

// The whole seconds since 1970 (UTC) of a local date, its time zone and summer time applied the way
// the system applies them; -1 when the system cannot place it.
long long LocalToUnixSeconds(TDateTime local);

inline int YearOf(TDateTime value) { return DecodeDateTime(value).Year; }
inline int MonthOf(TDateTime value) { return DecodeDateTime(value).Month; }
