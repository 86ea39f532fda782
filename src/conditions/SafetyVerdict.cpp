#include "SafetyVerdict.h"

#include <cmath>
#include <fmt/printf.h>

#include "Conditions.h"
#include "UserText.h"

namespace {

std::vector<TUnsafeReason> UnsafeNow(const TSafetyInputs& in, const TSafetyRules& rules, TDateTime now) {
    std::vector<TUnsafeReason> reasons;
    if (!in.HasReading)
        reasons.push_back(TUnsafeReason::NoReading);
    else if ((now - in.LastReading) * 86400.0 > StaleReadingSeconds)
        reasons.push_back(TUnsafeReason::StaleReading);
    if (in.LinkLost) reasons.push_back(TUnsafeReason::LinkLost);
    if (in.RoofClosed) reasons.push_back(TUnsafeReason::RoofClosed);
    if (!in.HasReading) return reasons; // nothing else is known
    if (in.Raining) reasons.push_back(TUnsafeReason::Rain);
    if (in.VeryWindy) reasons.push_back(TUnsafeReason::VeryWindy);
    if (in.CloudCode != CloudClear) reasons.push_back(TUnsafeReason::SkyNotClear);
    if (rules.UnsafeInDaylight && in.DayCode == DayVeryLight) reasons.push_back(TUnsafeReason::Daylight);
    return reasons;
}

} // namespace

bool TSafetyMonitor::Update(const TSafetyInputs& inputs, TDateTime now) {
    const bool before = safe_;
    Evaluate(inputs, now);
    if (!evaluated_ || safe_ != before) since_ = now;
    evaluated_ = true;
    return safe_;
}

void TSafetyMonitor::Evaluate(const TSafetyInputs& inputs, TDateTime now) {
    reasons_ = UnsafeNow(inputs, rules_, now);
    secondsToWait_ = 0;
    if (!reasons_.empty()) {
        holding_ = false;
        safe_ = false;
        return;
    }
    // A clock set back restarts the wait rather than shortening it.
    if (!holding_ || now < holdingSince_) {
        holding_ = true;
        holdingSince_ = now;
    }
    const double waited = (now - holdingSince_) * 86400.0;
    const double delay = rules_.SafeDelayMin * 60.0;
    safe_ = waited + 0.001 >= delay; // dates are fractions of days: 600 s may come out as 599.99999
    if (!safe_) {
        secondsToWait_ = delay - waited;
        reasons_.push_back(TUnsafeReason::Waiting);
    }
}

void TSafetyFollower::OnReading(const TcapteursInfos& reading, const TConditions& conditions) {
    inputs_.HasReading = true;
    inputs_.LastReading = reading.DateSysteme;
    inputs_.Raining = reading.RainStatus != 0;
    inputs_.VeryWindy = conditions.Wind == TWindState::VeryWindy;
    inputs_.CloudCode = conditions.CloudCode();
    inputs_.DayCode = conditions.DayCode();
}

bool TSafetyFollower::Update(TDateTime now) {
    const bool wasSafe = monitor_.IsSafe();
    const bool safe = monitor_.Update(inputs_, now);
    if (evaluated_ && safe == wasSafe) return false;
    evaluated_ = true;
    since_ = now;
    return true;
}

std::optional<double> TSafetyFollower::ReadingAgeSeconds(TDateTime now) const {
    if (!inputs_.HasReading) return std::nullopt;
    return (now - inputs_.LastReading) * 86400.0;
}

const char* UnsafeReasonKey(TUnsafeReason reason) {
    switch (reason) {
    case TUnsafeReason::NoReading:
        return "no_reading";
    case TUnsafeReason::StaleReading:
        return "stale_reading";
    case TUnsafeReason::LinkLost:
        return "link_lost";
    case TUnsafeReason::RoofClosed:
        return "roof_closed";
    case TUnsafeReason::Rain:
        return "rain";
    case TUnsafeReason::VeryWindy:
        return "very_windy";
    case TUnsafeReason::SkyNotClear:
        return "sky_not_clear";
    case TUnsafeReason::Daylight:
        return "daylight";
    case TUnsafeReason::Waiting:
        return "safe_delay_running";
    }
    return "unknown";
}

std::string UnsafeReasonText(TUnsafeReason reason, const TSafetyMonitor& monitor) {
    switch (reason) {
    case TUnsafeReason::NoReading:
        return Tr("Safety", "aucune mesure météo reçue");
    case TUnsafeReason::StaleReading:
        return Tr("Safety", "dernière mesure météo trop ancienne (plus de 2 minutes)");
    case TUnsafeReason::LinkLost:
        return Tr("Safety", "liaison perdue avec la station");
    case TUnsafeReason::RoofClosed:
        return Tr("Safety", "relais de fermeture du toit activé");
    case TUnsafeReason::Rain:
        return Tr("Safety", "pluie");
    case TUnsafeReason::VeryWindy:
        return Tr("Safety", "vent très fort");
    case TUnsafeReason::SkyNotClear:
        return Tr("Safety", "ciel non dégagé");
    case TUnsafeReason::Daylight:
        return Tr("Safety", "jour");
    case TUnsafeReason::Waiting:
        return fmt::sprintf(Tr("Safety", "conditions sûres depuis moins de %s min (encore %d s)"),
                            fmt::sprintf("%g", monitor.Rules().SafeDelayMin),
                            static_cast<int>(std::ceil(monitor.SecondsToWait())));
    }
    return {};
}

std::string UnsafeReasonsText(const TSafetyMonitor& monitor) {
    std::string text;
    for (const TUnsafeReason reason : monitor.Reasons())
        text += (text.empty() ? "" : ", ") + UnsafeReasonText(reason, monitor);
    return text;
}

const char* UnsafeReasonLogName(TUnsafeReason reason) {
    switch (reason) {
    case TUnsafeReason::NoReading:
        return "no reading";
    case TUnsafeReason::StaleReading:
        return "stale reading";
    case TUnsafeReason::LinkLost:
        return "station link lost";
    case TUnsafeReason::RoofClosed:
        return "roof relay closed";
    case TUnsafeReason::Rain:
        return "rain";
    case TUnsafeReason::VeryWindy:
        return "very windy";
    case TUnsafeReason::SkyNotClear:
        return "sky not clear";
    case TUnsafeReason::Daylight:
        return "daylight";
    case TUnsafeReason::Waiting:
        return "safe delay running";
    }
    return "?";
}
