// The settings round trip with the station, in three steps: the station is asked for its clock and
// set-up while the measurement goes on; the view shows the dialog; on confirmation the settings are
// stored in one group of writes, the port is reopened when it changed and the set-up is sent, the
// measurement paused meanwhile. Every field is checked before anything is stored, and whatever
// happens the measurement does not stay stopped: a station that cannot be reached is the link
// healing's business.
#pragma once

#include <cstdint>
#include <optional>
#include <QObject>
#include <string>
#include <vector>

#include "CycleHost.h"
#include "Records.h"

struct TSettingRow;

class TStationLinkHolder;

// What the round trip keeps between reading the station and writing to it.
struct TConfigRoundTrip {
    bool Active = false;             // from the menu to the confirmation or the cancel
    bool Ready = false;              // the station's answer (or its silence) is in: the dialog may show
    uint16_t AncCOMPort = 0;         // the port when the round trip began
    std::string AncPortDevice;       // the stored device then
    uint16_t ValeurGainPrevious = 0; // overall IR gain shown in the dialog
};

class TConfigurationRoundTrip : public QObject {
    Q_OBJECT
  public:
    // commandLinePort: a device given for this run only; it stays in use until the port itself is
    // changed in the dialog.
    TConfigurationRoundTrip(TCycleHost& host, TStationLinkHolder& link, std::string commandLinePort,
                            QObject* parent = nullptr);

    // The device of the settings file, whatever the command line says (read at start).
    void SetStoredPortDevice(std::string device) { storedPortDevice_ = std::move(device); }

    // Reads the dialog's settings and asks the station for its clock, version and set-up; the
    // measurement goes on meanwhile. configurationReady follows, whatever the station answered.
    // False when a round trip is already under way.
    bool Start();
    const TConfigRoundTrip& State() const { return trip_; }
    // The settings as the dialog shows them: the station's values where it reported them, the
    // stored port device (not one given on the command line for this run).
    TSetupInfos Shown() const;
    // The stage-2 code that gives this overall IR gain with the station's stage 1; an error text
    // when it cannot (stage 1 not reported, gain out of reach).
    std::optional<uint8_t> IrStage2CodeFor(uint16_t gain, std::string& error) const;
    // The dialog was cancelled: nothing changes.
    void Cancel();
    // Confirmation: `chosen` holds every setting of the dialog, already checked; gain is the overall
    // IR gain typed. configurationWritten follows. The settings of writtenByProgram hold values the
    // program itself produced (a station's report, a measurement): taken whatever their range.
    void Apply(const TSetupInfos& chosen, uint16_t gain,
               const std::vector<const TSettingRow*>& writtenByProgram = {});

  signals:
    // The station's set-up has been read (or could not be): the settings dialog may be shown.
    void configurationReady();
    // The new set-up has been sent (ok) or the write failed.
    void configurationWritten(bool ok);

  private:
    void OnStationRead();
    bool StoreChosen(const TSetupInfos& chosen, const TConfigRoundTrip& trip,
                     const std::vector<const TSettingRow*>& writtenByProgram);
    void SendSetup(std::optional<uint8_t> irCode);
    void ReopenConfiguredPort();
    void OnWritten(TThread_Communicate& thread);
    void Failed(const char* where, const std::exception& e);

    TCycleHost& host_;
    TStationLinkHolder& link_;
    std::string commandLinePort_;
    std::string storedPortDevice_;
    TConfigRoundTrip trip_;
    TCyclePause paused_;
};
