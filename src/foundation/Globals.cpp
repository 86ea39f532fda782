#include "Records.h"

TSetupInfos SetupInfos;
TcapteursInfos CurrentCapteursInfos;
bool SimulationMode = false;
TDateTime LightPrevDate = 0;
uint32_t LightDeltaCounter = 0;
uint32_t LightPrevCounter = 0;
uint8_t LightPrevGain = 255;
uint8_t LightPrevDivider = 255;
bool StartupDone = false;
bool DebugMode = false;
std::string PathExe, PathDatas, PathLogs, PathJpeg;
std::string ComLastError;
std::atomic<uint16_t> ComThreadCount{0};

void InitStartValues() {
    SetupInfos = TSetupInfos{};
    CurrentCapteursInfos = TcapteursInfos{};
    SimulationMode = false;
    StartupDone = false;
    DebugMode = false;
    ComLastError.clear();
    ComThreadCount = 0;

    // The stored settings among these hold the settings table's built-in defaults (its rows of
    // TDefaultAt::Load); station and condition code, and their tests, run without the settings
    // store, so the values are set here too. The settings tests keep the two equal.
    auto& hw = SetupInfos.SetupInfos_HW;
    hw.PortCOM = 1;
    hw.OverBlueTooth = false;
    hw.InterVal_Rec_EEPROM.DefaultValue = 60;
    hw.AdresseEEPROM.DefaultValue = 0;
    hw.Gain_stage1_IR.DefaultValue = 32;
    hw.Gain_stage2_IR.DefaultValue = 47;
    hw.RH_Correction = 1.0;
    hw.Version = "??";

    SetupInfos.Log.VerboseLevel = LogBasic;
    SetupInfos.InterValQuickPoolSec = 20;
    SetupInfos.InterValLightPoolSec = 60;

    auto& roof = SetupInfos.RoofCloserCriterias;
    roof.DoWatch.DefaultValue = false;
    roof.TempSky.DefaultValue = -10.0;
    roof.RH.DefaultValue = 90;
    roof.Wind.DefaultValue = 5;
    roof.Light.DefaultValue = false;
    roof.ValueMag.DefaultValue = 4.0;
    roof.DoReamAuto = false;
    roof.AfterMinutes = 120;

    SetupInfos.SeuilCloudy = -20;
    SetupInfos.SeuilVeryCloudy = -7;
    SetupInfos.SeuilWindy_km = 5;
    SetupInfos.SeuilVeryWindy_km = 15;
    SetupInfos.Sound_at_RelayClose = "BadCond_relayClose.wav";
    SetupInfos.Soft_OnRelayClose.clear();
    SetupInfos.Sound_on_goodCond = "GoodConditions.wav";
    SetupInfos.Sound_on_BadCond = "BadConditions.wav";
    SetupInfos.Sound_on_Rainning = "Rain_pending.wav";
    SetupInfos.SeuilNight = 18.0;
    SetupInfos.SeuilDawn = 14.0;
    SetupInfos.SeuilDay = 6.8;
    SetupInfos.SeuilHumidity = 70.0;
    SetupInfos.SeuilDry = 50.0;
    SetupInfos.RangeDateDisplay = 1.0;
    SetupInfos.Disp_Gap_Display = 0.05;
    SetupInfos.MagniDisplay = false;
    SetupInfos.Unit_Fahrenheit = false;
    SetupInfos.Unit_Mph = false;
    SetupInfos.NbMonthtoLoad = 1;

    LightPrevGain = 255;
    LightPrevDivider = 255;
    LightPrevDate = 0;
    LightDeltaCounter = 0;
    LightPrevCounter = 0;
    CurrentCapteursInfos.DateSysteme = 0;
}

namespace {
// The start values hold from program load, before main() runs.
const bool startValuesAssigned = (InitStartValues(), true);
} // namespace
