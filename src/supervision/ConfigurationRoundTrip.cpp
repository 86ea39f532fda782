#include "ConfigurationRoundTrip.h"

#include <algorithm>

#include <cmath>
#include <fmt/format.h>
#include <fmt/printf.h>

#include "Conversions.h"
#include "Log.h"
#include "QtHooks.h"
#include "SettingsTable.h"
#include "StationLink.h"
#include "UserText.h"

namespace {

constexpr int kPortFreeWaitMs = 10000;

// Round(stage 1 x stage 2) for two gain codes; 0 when a code gives no gain.
uint16_t OverallIrGain(int stage1, int stage2) {
    try {
        const double gain = GainStage1(stage1) * GainStage2(stage2);
        return gain > 0 && gain < 65535.5 ? static_cast<uint16_t>(std::lround(gain)) : 0;
    } catch (const std::exception&) {
        return 0;
    }
}

} // namespace

TConfigurationRoundTrip::TConfigurationRoundTrip(TCycleHost& host, TStationLinkHolder& link,
                                                 std::string commandLinePort, QObject* parent)
    : QObject(parent), host_(host), link_(link), commandLinePort_(std::move(commandLinePort)) {}

void TConfigurationRoundTrip::Failed(const char* where, const std::exception& e) {
    LogToday(std::string(where) + " -> " + e.what());
    host_.ShowMessage(std::string(where) + " -> " + e.what());
}

bool TConfigurationRoundTrip::Start() {
    if (trip_.Active || !host_.Running()) return false;
    try {
        LogToday("Prepare for setup");
        trip_ = {};
        trip_.Active = true;
        trip_.AncCOMPort = SetupInfos.SetupInfos_HW.PortCOM;
        trip_.AncPortDevice = storedPortDevice_;
        ReadConfigDialogSettings();
        const auto& hw = SetupInfos.SetupInfos_HW;
        trip_.ValeurGainPrevious = OverallIrGain(hw.Gain_stage1_IR.DefaultValue, hw.Gain_stage2_IR.DefaultValue);
        LogToday("Prepare to get datas");
        host_.StartList({TCom_GetDate, TCom_GetVersion}, [this](TThread_Communicate&) { OnStationRead(); });
        return true;
    } catch (const std::exception& e) {
        trip_ = {};
        Failed("StartConfiguration", e);
        return false;
    }
}

void TConfigurationRoundTrip::OnStationRead() {
    if (!host_.Running() || !trip_.Active) return;
    try {
        // A station that did not answer leaves its cells unreported: the dialog shows "??" and the
        // PC's values.
        LogToday("Ok setup data retrieved !");
        const auto& hw = SetupInfos.SetupInfos_HW;
        if (hw.Gain_stage1_IR.Valid && hw.Gain_stage2_IR.Valid)
            trip_.ValeurGainPrevious = OverallIrGain(hw.Gain_stage1_IR.Value, hw.Gain_stage2_IR.Value);
        LogToday("Will Display setup interface");
        trip_.Ready = true;
        emit configurationReady();
    } catch (const std::exception& e) {
        trip_ = {};
        Failed("OnGoOptions_threadOver", e);
    }
}

TSetupInfos TConfigurationRoundTrip::Shown() const {
    TSetupInfos shown = SetupInfos;
    auto& hw = shown.SetupInfos_HW;
    auto& roof = shown.RoofCloserCriterias;
    const auto station = [](auto& cell) {
        if (cell.Valid) cell.DefaultValue = cell.Value;
    };
    station(hw.InterVal_Rec_EEPROM);
    station(hw.DisableHeater);
    station(roof.DoWatch);
    station(roof.TempSky);
    station(roof.RH);
    station(roof.Wind);
    station(roof.Light);
    station(roof.ValueMag);
    hw.PortDevice = storedPortDevice_;
    return shown;
}

std::optional<uint8_t> TConfigurationRoundTrip::IrStage2CodeFor(uint16_t gain, std::string& error) const {
    const TT_Int& stage1 = SetupInfos.SetupInfos_HW.Gain_stage1_IR;
    if (!stage1.Valid || stage1.Value <= 0 || stage1.Value > 255) {
        error = Tr("MainForm",
                   "Le gain IR ne peut pas être changé : le Halvex n'a pas donné le gain de son premier étage.");
        return std::nullopt;
    }
    const double first = GainStage1(stage1.Value);
    try {
        return GainStage2_ToCode(gain / first);
    } catch (const std::exception&) {
        error = fmt::sprintf(
            Tr("MainForm", "Le gain IR %d ne peut pas être obtenu avec le premier étage du Halvex (gain %1.1f)."),
            static_cast<int>(gain), first);
        return std::nullopt;
    }
}

void TConfigurationRoundTrip::Cancel() {
    if (trip_.Active) LogToday("Setup cancelled");
    trip_ = {};
}

void TConfigurationRoundTrip::Apply(const TSetupInfos& chosen, uint16_t gain,
                                    const std::vector<const TSettingRow*>& writtenByProgram) {
    if (!trip_.Active || !host_.Running()) return;
    const TConfigRoundTrip trip = trip_;
    trip_ = {};
    bool paused = false;
    try {
        // Everything is checked before anything is stored.
        std::optional<uint8_t> irCode;
        if (gain != trip.ValeurGainPrevious) {
            std::string error;
            irCode = IrStage2CodeFor(gain, error);
            if (!irCode) throw EOrvanelError(error);
        }
        const bool portChanged = StoreChosen(chosen, trip, writtenByProgram);
        paused_ = host_.PauseCycle();
        paused = true;
        if (portChanged) ReopenConfiguredPort();
        host_.SettingsApplied();
        SendSetup(irCode);
    } catch (const std::exception& e) {
        Failed("ApplyConfiguration", e);
        if (paused) host_.ResumeCycle(paused_);
    }
}

// Checks every stored row of the dialog, then stores them all; true when the port changed.
// The rows of writtenByProgram hold values the program produced itself: taken whatever their range.
bool TConfigurationRoundTrip::StoreChosen(const TSetupInfos& chosen, const TConfigRoundTrip& trip,
                                          const std::vector<const TSettingRow*>& writtenByProgram) {
    TSetupInfos source = chosen, checked = SetupInfos;
    TStartupSettings unusedFrom, unusedTo;
    TSettingsPlace from{source, unusedFrom}, to{checked, unusedTo};
    const auto ranged = [&writtenByProgram](const TSettingRow& row) {
        return std::find(writtenByProgram.begin(), writtenByProgram.end(), &row) == writtenByProgram.end();
    };
    for (const TSettingRow& row : SettingsRows())
        if (row.Written.At == TWriteAt::DialogOk && !SetSettingValue(row, to, SettingValue(row, from), ranged(row)))
            throw EOrvanelError(
                fmt::format("{} = {} {}", row.Key, SettingValue(row, from).AsString(), row.Range.Refusal()));

    auto& hw = SetupInfos.SetupInfos_HW;
    const bool portChanged =
        chosen.SetupInfos_HW.PortCOM != trip.AncCOMPort || chosen.SetupInfos_HW.PortDevice != trip.AncPortDevice;
    const bool monthsChanged = chosen.NbMonthtoLoad != SetupInfos.NbMonthtoLoad;
    TSettingsPlace live{SetupInfos, unusedTo};
    for (const TSettingRow& row : SettingsRows())
        if (row.Written.At == TWriteAt::DialogOk) SetSettingValue(row, live, SettingValue(row, to), ranged(row));
    storedPortDevice_ = hw.PortDevice;
    WriteConfigDialogSettings(); // one group: a crash never leaves half a configuration
    if (monthsChanged)
        host_.ShowMessage(Tr("MainForm", "Nombre de mois de données à charger a été changé : il faut redémarrer le "
                                         "logiciel pour la prise en compte de ce paramètre !"));
    // A device given on the command line stays in use until the port itself is changed here.
    if (!portChanged && !commandLinePort_.empty()) hw.PortDevice = commandLinePort_;
    return portChanged;
}

void TConfigurationRoundTrip::SendSetup(std::optional<uint8_t> irCode) {
    if (irCode) SetupInfos.SetupInfos_HW.Gain_stage2_IR.Value = *irCode;
    LogToday("Retrieved infos and restart");
    std::vector<Tcommand> list;
    // Setting the clock empties the station memory: only once every record it held is stored.
    if (host_.StationMemoryStored())
        list.push_back(TCom_SetDate);
    else
        LogToday("Station clock not set : the station memory has not been stored completely");
    list.push_back(TCom_Setup);
    if (irCode) list.push_back(TCom_SetIR);
    list.push_back(TCom_GetVersion);
    host_.StartList(std::move(list), [this](TThread_Communicate& thread) { OnWritten(thread); });
}

void TConfigurationRoundTrip::ReopenConfiguredPort() {
    // Never closed under a list that still uses it.
    if (!ProcessEventsUntil([] { return ComThreadCount == 0; }, kPortFreeWaitMs)) {
        LogToday("Port not reopened : a station thread is still running");
        host_.ShowMessage(
            Tr("MainForm", "Le port série n'a pas pu être changé : une communication avec le Halvex est en cours."));
        return;
    }
    const auto& hw = SetupInfos.SetupInfos_HW;
    link_.CloseIfOpen();
    LogToday("COM" + std::to_string(hw.PortCOM) + " Closed (if valid handle!)");
    try {
        link_.Open(hw);
        LogToday("Opened COM" + TStationLinkHolder::OpenedText(hw));
    } catch (const std::exception& e) {
        // The write list then fails and says so; the link healing keeps trying the new port.
        host_.ShowStatus(e.what(), true);
    }
}

void TConfigurationRoundTrip::OnWritten(TThread_Communicate& thread) {
    if (!host_.Running()) return;
    const std::string error = thread.ErrorText();
    try {
        if (!error.empty()) {
            host_.ShowStatus(error, true);
            host_.ShowMessage(error);
        } else
            host_.ShowStatus(Tr("MainForm", "Ok, paramètres de configuration envoyés au Halvex !"), false);
        host_.RelayAfterSetup(error.empty());
    } catch (const std::exception& e) {
        Failed("OnWriteOptions_threadOver", e);
    }
    host_.ResumeCycle(paused_);
    emit configurationWritten(error.empty());
}
