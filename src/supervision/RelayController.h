// The roof relay as the PC sees it: the alarm once per closing, the criteria in force, the
// automatic re-arm after a waiting time, and the "Relais" group that shows all of it. Plain C++:
// its owner starts the station lists it asks for and tells it how they ended, and the waiting time
// runs on an injected UTC clock, so that every decision can be followed without a station or a wait.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "ConditionTexts.h"
#include "DateTime.h"
#include "PublishedConditions.h"
#include "Records.h"

// The "Relais" group of the information tab.
struct TRelayDisplay {
    std::string WatchText = "???"; // surveillance on: "OUI" / "NON"
    std::string SkyThresholdText = "???";
    std::string RHThresholdText = "???";
    std::string WindThresholdText = "???";
    std::string LightText = "???";
    std::string MagnitudeText = "???";
    TStatePanel Panel;         // " Fermé" / " Ouvert" / "Pas disponible", colour and hint
    std::string ButtonCaption; // "Ouvrir relais", then the countdown "Ouvrir relai  [%1.1f m]"
    std::string ButtonHint;
    bool ButtonEnabled = false; // also the mark that the alarm was raised for this closing
};

// What one update looks at: the criteria and the relay state as the station reported them, and the
// alarm the user configured.
struct TRelayInputs {
    TRoofCloserCriterias Criteria;
    TT_Bool Roof; // Value true: closed (the roof is closing); Valid: reported
    std::string AlarmSound;
    std::string AlarmProgram;
};

// What the owner does for the controller.
struct TRelayActions {
    std::function<void(const std::string& file)> PlaySound;
    // May raise: the update ends there, and the alarm is raised again at the next reading.
    std::function<void(const std::string& commandLine)> RunProgram;
    // Starts the re-arm list (quiet: no question afterwards); its end comes back as RearmFailed or RearmDone.
    std::function<void(bool quiet)> StartRearm;
    // The display changed.
    std::function<void()> Changed;
};

class TRelayController {
  public:
    TRelayController(
        TPublishedConditions& published, TRelayActions actions,
        std::function<TDateTime()> utcClock = [] { return NowUTC(); });

    // The waiting time is measured on this clock (UTC).
    void SetUtcClock(std::function<TDateTime()> clock) { utcClock_ = std::move(clock); }
    // At start-up: the next reported state counts as the first one.
    void ResetPassCount() { Pass_relay = 0; }

    // The relay state of a reading (or of a set-up): display, alarm, waiting time, automatic re-arm.
    // `current` is the reading the automatic re-arm is judged on.
    void UpdateRelayDisplay(const TRelayInputs& inputs, const TcapteursInfos& current);
    // The button, or the automatic re-arm (quiet).
    void RearmRelay(bool quiet);
    // The re-arm list failed: the relay is unreported until the next reading.
    void RearmFailed();
    // Sending a new set-up to the station failed: whether it watches is not known.
    void WatchUnknown() {
        display_.WatchText = "????";
        Changed();
    }
    // The set-up list that follows a re-arm has ended.
    void RearmDone(const TRelayInputs& inputs, const TcapteursInfos& current);

    // Every criterion the station reported is met again by the reading; all comparisons strict.
    static bool RearmConditionsMet(const TRoofCloserCriterias& criteria, const TcapteursInfos& reading);

    // The language changed: each text of the display, made in the language before, goes through
    // `inLanguageNow` once (composed texts, such as a countdown, wait for the next update).
    void RetranslateDisplay(const std::function<std::string(const std::string&)>& inLanguageNow);

    const TRelayDisplay& Display() const { return display_; }
    int32_t PassRelay() const { return Pass_relay; }

  private:
    void Changed();

    TPublishedConditions& published_;
    TRelayActions actions_;
    std::function<TDateTime()> utcClock_;
    TRelayDisplay display_;
    int32_t Pass_relay = 0;               // readings seen with a reported relay state
    bool PreviousStateRelayState = false; // relay state at the previous such reading
    TDateTime DateStartDeclenched = 0;    // start of the current waiting time (UTC)
};
