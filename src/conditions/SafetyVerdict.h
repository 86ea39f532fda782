// The safe/unsafe verdict offered to observatory programs (the Alpaca safety monitor, INDI's safety
// proxy): unsafe at once when anything is wrong, safe again only after every condition has held
// continuously for the safe delay, so that gusty or patchy weather does not open and close a roof
// every minute. Plain C++; the clock is the caller's.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Conditions.h"
#include "DateTime.h"
#include "Records.h"

// A weather reading older than this is no longer trusted.
inline constexpr double StaleReadingSeconds = 120;

enum class TUnsafeReason : uint8_t {
    NoReading, // no weather reading since the start
    StaleReading,
    LinkLost,   // the station does not answer
    RoofClosed, // the station's roof relay is closed
    Rain,
    VeryWindy,
    SkyNotClear, // cloudy, very cloudy, or not classified yet
    Daylight,    // only when the settings ask for it
    Waiting,     // everything holds, but not for the safe delay yet
};

// What the verdict looks at, from the latest reading and the station link.
struct TSafetyInputs {
    bool HasReading = false;
    TDateTime LastReading = 0; // date of the latest weather reading
    bool LinkLost = false;
    bool RoofClosed = false;
    bool Raining = false;
    bool VeryWindy = false;
    uint8_t CloudCode = 0; // condition codes of the latest reading
    uint8_t DayCode = 0;
};

struct TSafetyRules {
    double SafeDelayMin = 10;
    bool UnsafeInDaylight = false;
};

class TSafetyMonitor {
  public:
    explicit TSafetyMonitor(TSafetyRules rules = {}) : rules_(rules) {}

    // The verdict at `now`. Call it after every reading, on every change of the link and before
    // every answer: a condition is seen only when it is evaluated.
    bool Update(const TSafetyInputs& inputs, TDateTime now);

    bool IsSafe() const { return safe_; }
    // Why the verdict is unsafe (empty when safe), in the order of TUnsafeReason.
    const std::vector<TUnsafeReason>& Reasons() const { return reasons_; }
    // With TUnsafeReason::Waiting: seconds still to wait.
    double SecondsToWait() const { return secondsToWait_; }
    // When the verdict took its present value (the first evaluation counts as a change); 0 before.
    TDateTime Since() const { return since_; }
    const TSafetyRules& Rules() const { return rules_; }

  private:
    void Evaluate(const TSafetyInputs& inputs, TDateTime now);

    TSafetyRules rules_;
    bool safe_ = false;
    bool holding_ = false; // every condition has held since holdingSince_
    TDateTime holdingSince_ = 0;
    double secondsToWait_ = 0;
    bool evaluated_ = false;
    TDateTime since_ = 0;
    std::vector<TUnsafeReason> reasons_{TUnsafeReason::NoReading};
};

// The verdict as one view follows it: the inputs gathered from the readings, the station link and the
// roof relay, the monitor, and since when the verdict holds. The window, the web dashboard and the
// Alpaca safety monitor each follow the same events with the same clock, so they agree.
class TSafetyFollower {
  public:
    explicit TSafetyFollower(TSafetyRules rules = {}) : monitor_(rules) {}

    void OnReading(const TcapteursInfos& reading, const TConditions& conditions);
    void OnLinkState(bool lost) { inputs_.LinkLost = lost; }
    void OnRoofClosed(bool closed) { inputs_.RoofClosed = closed; }

    // Evaluates the verdict at `now`; true when it changed from safe to unsafe or back (and at the
    // first evaluation).
    bool Update(TDateTime now);

    const TSafetyMonitor& Monitor() const { return monitor_; }
    const TSafetyInputs& Inputs() const { return inputs_; }
    bool IsSafe() const { return monitor_.IsSafe(); }
    // When the verdict of the moment began (the first evaluation for the first verdict); 0 before.
    TDateTime Since() const { return since_; }
    // Seconds from the latest weather reading to `now`, none before the first reading.
    std::optional<double> ReadingAgeSeconds(TDateTime now) const;

  private:
    TSafetyMonitor monitor_;
    TSafetyInputs inputs_;
    bool evaluated_ = false;
    TDateTime since_ = 0;
};

// "rain", "roof_closed", "safe_delay_running"...: names for scripts and pages, never translated.
const char* UnsafeReasonKey(TUnsafeReason reason);

// The reasons in plain words, in the language of the moment: "pluie, vent très fort".
std::string UnsafeReasonText(TUnsafeReason reason, const TSafetyMonitor& monitor);
std::string UnsafeReasonsText(const TSafetyMonitor& monitor);
// The reason as the log names it ("stale reading"), in English whatever the language.
const char* UnsafeReasonLogName(TUnsafeReason reason);
