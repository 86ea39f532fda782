// What the parts of the controller (the settings round trip, the link healing, the calibration
// sample) ask of the conductor: station lists, the timers of the acquisition cycle, the texts shown
// to the user. The Supervisor is the one host; a test may be another.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "ThreadCommunicate.h"

// The cycle as it was before a pause.
struct TCyclePause {
    bool Cycle = false;        // the weather and light timers ran
    bool PeriodicSave = false; // the periodic save ran
};

class TCycleHost {
  public:
    virtual ~TCycleHost() = default;

    // Started and not closed: a station list's completion does nothing otherwise.
    virtual bool Running() const = 0;
    // A station list on the shared link; `done` runs on the main thread when it has ended.
    virtual void StartList(std::vector<Tcommand> commands, std::function<void(TThread_Communicate&)> done,
                           bool quiet = false) = 0;
    // Opens the configured port and starts the start-up list (memory download, clock).
    virtual void StartUp() = 0;
    virtual void ShowStatus(const std::string& text, bool isError) = 0;
    virtual void ShowMessage(const std::string& text) = 0;

    // The weather and light timers stop; they start again with fresh counts.
    virtual void StopCycle() = 0;
    virtual void RestartCycle() = 0;
    // The link came back after a loss: what the station recorded meanwhile, nobody reading it, is
    // downloaded and stored, then its clock set, and the cycle starts again, as after a start-up.
    virtual void RecoverStationMemory() = 0;
    // Every timer of the cycle stops (and the periodic save takes its new interval); the resume
    // brings back what ran, unless the station link has been lost meanwhile.
    virtual TCyclePause PauseCycle() = 0;
    virtual void ResumeCycle(const TCyclePause& before) = 0;

    // The settings dialog's values are stored: thresholds, legend, rhythm and graphs follow them.
    virtual void SettingsApplied() = 0;
    // Every record of the station memory is stored: its clock may be set (which empties it).
    virtual bool StationMemoryStored() const = 0;
    // The set-up has been sent (ok) or not: the relay is shown from what the station said.
    virtual void RelayAfterSetup(bool ok) = 0;
};
