#include "DateTime.h"

#include <chrono>
#include <cmath>
#include <ctime>
#include <fmt/format.h>
#include <mutex>

namespace {

// Days from 1970-01-01 to a civil date (proleptic Gregorian), after H. Hinnant's algorithm.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int& year, int& month, int& day) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t y = static_cast<int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(y + (month <= 2));
}

// 1899-12-30 lies 25569 days before 1970-01-01.
constexpr int64_t kUnixEpochOffsetDays = 25569;
constexpr int64_t kMsPerDay = 86400000;
// 0001-01-01 and 10000-01-01.
constexpr double kFirstDecodable = -693593;
constexpr double kPastLastDecodable = 2958466;

std::mutex clockMutex;
std::function<TDateTime()> testClock;

TDateTime FromTimePoint(std::chrono::system_clock::time_point tp, bool local) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(tp.time_since_epoch()).count();
    const std::time_t secs = static_cast<std::time_t>(ms / 1000);
    std::tm tm{};
    if (local)
        localtime_r(&secs, &tm);
    else
        gmtime_r(&secs, &tm);
    return EncodeDateTime(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
                          static_cast<int>(ms % 1000));
}

} // namespace

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int millisecond) {
    const int64_t days =
        DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) + kUnixEpochOffsetDays;
    const double fraction =
        (((hour * 60.0 + minute) * 60.0 + second) * 1000.0 + millisecond) / static_cast<double>(kMsPerDay);
    // Before 1899-12-30 the fraction counts away from zero, as TDateTime does.
    return days >= 0 ? static_cast<double>(days) + fraction : static_cast<double>(days) - fraction;
}

TDateTime EncodeDateTime(const TDateTimeParts& p) {
    return EncodeDateTime(p.Year, p.Month, p.Day, p.Hour, p.Minute, p.Second, p.MilliSecond);
}

TDateTimeParts DecodeDateTime(TDateTime value) {
    TDateTimeParts p;
    // Beyond years 1 to 9999 the day count would not fit the integer arithmetic below (1e308 is a
    // number, and a damaged record may carry it).
    if (!(value >= kFirstDecodable && value < kPastLastDecodable)) return p;
    const double whole = std::trunc(value);
    const double fraction = std::fabs(value - whole);
    int64_t days = static_cast<int64_t>(whole);
    int64_t ms = std::llround(fraction * static_cast<double>(kMsPerDay));
    if (ms >= kMsPerDay) {
        ms -= kMsPerDay;
        days += value >= 0 ? 1 : -1;
    }
    CivilFromDays(days - kUnixEpochOffsetDays, p.Year, p.Month, p.Day);
    p.Hour = static_cast<int>(ms / 3600000);
    p.Minute = static_cast<int>(ms / 60000 % 60);
    p.Second = static_cast<int>(ms / 1000 % 60);
    p.MilliSecond = static_cast<int>(ms % 1000);
    return p;
}

TDateTime Now() {
    {
        std::lock_guard lock(clockMutex);
        if (testClock) return testClock();
    }
    return FromTimePoint(std::chrono::system_clock::now(), true);
}

TDateTime NowUTC() {
    return FromTimePoint(std::chrono::system_clock::now(), false);
}

void SetClockForTests(std::function<TDateTime()> clock) {
    std::lock_guard lock(clockMutex);
    testClock = std::move(clock);
}

std::string DateTimeText(TDateTime value) {
    // A damaged record's date may be no date at all; it is shown as the number it is.
    if (!std::isfinite(value) || value < -693593 || value > 2958466) return fmt::format("{}", value);
    const auto p = DecodeDateTime(value);
    return fmt::format("{:02d}/{:02d}/{:04d} {:02d}:{:02d}:{:02d}", p.Day, p.Month, p.Year, p.Hour, p.Minute,
                       p.Second);
}

std::string DateText(TDateTime value) {
    const auto p = DecodeDateTime(value);
    return fmt::format("{:02d}/{:02d}/{:04d}", p.Day, p.Month, p.Year);
}

long long LocalToUnixSeconds(TDateTime local) {
    const TDateTimeParts p = DecodeDateTime(local);
    std::tm tm{};
    tm.tm_year = p.Year - 1900;
    tm.tm_mon = p.Month - 1;
    tm.tm_mday = p.Day;
    tm.tm_hour = p.Hour;
    tm.tm_min = p.Minute;
    tm.tm_sec = p.Second;
    tm.tm_isdst = -1;
    return static_cast<long long>(std::mktime(&tm));
}
