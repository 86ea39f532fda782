#include "PollingRhythm.h"

#include "ConditionTexts.h"

void TReadingCountdown::Restart(uint32_t intervalSec) {
    seconds_ = 0;
    labels_.Interval = DurationText(intervalSec);
}

bool TReadingCountdown::Tick(uint32_t intervalSec, TDateTime lastReading) {
    ++seconds_;
    labels_.Remaining = DurationText(static_cast<double>(intervalSec) - static_cast<double>(seconds_));
    if (lastReading != 0)
        labels_.LastReading =
            DateTimeText(lastReading) + " -> " + DurationText((Now() - lastReading) * 86400.0);
    if (seconds_ < intervalSec) return false;
    seconds_ = 0;
    return true;
}

void TReadingCountdown::ShowReading(TDateTime date) {
    labels_.LastReading = DateTimeText(date);
}
