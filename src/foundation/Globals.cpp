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

namespace {

// What no setting stores: the station cells until the station reports them, the reading intervals
// of the cycle, the air thresholds, the units.
TSetupInfos FixedStartValues() {
    TSetupInfos s{};
    auto& hw = s.SetupInfos_HW;
    hw.AdresseEEPROM.DefaultValue = 0;
    hw.Gain_stage1_IR.DefaultValue = 32;
    hw.Gain_stage2_IR.DefaultValue = 47;
    hw.Version = "??";
    s.InterValQuickPoolSec = 20;
    s.SeuilHumidity = 70.0;
    s.SeuilDry = 50.0;
    s.Unit_Fahrenheit = false;
    s.Unit_Mph = false;
    s.Sound_on_Rainning = "Rain_pending.wav";
    return s;
}

// The start values of SetupInfos: the fixed ones, with the settings' defaults once they were
// handed over.
TSetupInfos& StartSetup() {
    static TSetupInfos start = FixedStartValues();
    return start;
}

// Set once the globals exist (their start values are assigned at load).
constinit bool globalsLoaded = false;

} // namespace

TSetupInfos FixedSetupStartValues() {
    return FixedStartValues();
}

void SetSetupStartValues(const TSetupInfos& start) {
    StartSetup() = start;
    if (globalsLoaded) SetupInfos = start;
}

void InitStartValues() {
    SetupInfos = StartSetup();
    CurrentCapteursInfos = TcapteursInfos{};
    SimulationMode = false;
    StartupDone = false;
    DebugMode = false;
    ComLastError.clear();
    ComThreadCount = 0;

    LightPrevGain = 255;
    LightPrevDivider = 255;
    LightPrevDate = 0;
    LightDeltaCounter = 0;
    LightPrevCounter = 0;
    CurrentCapteursInfos.DateSysteme = 0;
}

namespace {
// The start values hold from program load, before main() runs.
const bool startValuesAssigned = (InitStartValues(), globalsLoaded = true);
} // namespace
