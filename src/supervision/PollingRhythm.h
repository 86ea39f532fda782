// The two rhythms of the acquisition cycle: a weather reading every InterValQuickPoolSec seconds and a
// light reading every InterValLightPoolSec seconds, each counted by a one-second timer. This decides
// when a reading is due and keeps the labels that show it; the owner starts the readings. Plain C++.
#pragma once

#include <cstdint>
#include <string>

#include "DateTime.h"

// Interval, time to the next reading and last reading of one rhythm ("???" until set).
struct TReadingLabels {
    std::string Interval = "???";
    std::string Remaining = "???";
    std::string LastReading = "???";
};

// One rhythm.
class TReadingCountdown {
  public:
    // Counts from zero again; the labels show this interval.
    void Restart(uint32_t intervalSec);
    // Counts from zero again, the interval shown unchanged.
    void ResetCount() { seconds_ = 0; }
    // The time to the next reading and the last reading are not known any more ("???").
    void ForgetDates() { labels_.Remaining = labels_.LastReading = "???"; }
    // One second has passed. intervalSec is read at each tick, as the settings may change it;
    // lastReading is the date of the latest reading (0: none yet). True when a reading is due (the
    // count reached or passed the interval), and the count starts again.
    bool Tick(uint32_t intervalSec, TDateTime lastReading);
    // A reading taken at `date`: shown alone until the next tick adds its age.
    void ShowReading(TDateTime date);

    const TReadingLabels& Labels() const { return labels_; }
    uint32_t Seconds() const { return seconds_; }

  private:
    uint32_t seconds_ = 0;
    TReadingLabels labels_;
};

class TPollingRhythm {
  public:
    // The cycle starts (after start-up or resume): both counts from zero, both intervals shown.
    void Restart(uint32_t weatherSec, uint32_t lightSec) {
        weather_.Restart(weatherSec);
        light_.Restart(lightSec);
    }
    // New settings were sent: both counts from zero, both intervals shown anew, and the dates
    // unknown until the next tick.
    void RestartWithNewSettings(uint32_t weatherSec, uint32_t lightSec) {
        Restart(weatherSec, lightSec);
        weather_.ForgetDates();
        light_.ForgetDates();
    }
    // The cycle goes on after a pause (the station link came back): both counts from zero.
    void ResetCounts() {
        weather_.ResetCount();
        light_.ResetCount();
    }
    // TimerMain and TimerLight: true when the reading of that rhythm is due.
    bool TickWeather(uint32_t intervalSec, TDateTime lastReading) {
        return weather_.Tick(intervalSec, lastReading);
    }
    bool TickLight(uint32_t intervalSec, TDateTime lastReading) {
        return light_.Tick(intervalSec, lastReading);
    }
    void WeatherRead(TDateTime date) { weather_.ShowReading(date); }

    const TReadingLabels& WeatherLabels() const { return weather_.Labels(); }
    const TReadingLabels& LightLabels() const { return light_.Labels(); }
    uint32_t TimerSec() const { return weather_.Seconds(); }
    uint32_t TimerSecLight() const { return light_.Seconds(); }

  private:
    TReadingCountdown weather_, light_;
};
