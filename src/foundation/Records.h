// Records shared by every subsystem: one station measurement (also the history file record),
// the whole configuration, the typed setting cells and the process-wide globals.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "DateTime.h"

// ---- Typed setting cells --------------------------------------------------------------------
// Value: what the station last reported; Valid: it did report it; DefaultValue: the PC's setting,
// stored in the registry and sent to the station.
template <typename T> struct TT_Cell {
    T Value{};
    T DefaultValue{};
    bool Valid = false;
};
using TT_Int = TT_Cell<int32_t>;
using TT_Long = TT_Cell<uint32_t>;
using TT_Byt = TT_Cell<uint8_t>;
using TT_Double = TT_Cell<double>;
using TT_Bool = TT_Cell<bool>;

struct TRoofCloserCriterias {
    TT_Bool DoWatch;
    TT_Double TempSky;
    TT_Byt RH;
    TT_Byt Wind;
    TT_Bool Light;
    TT_Double ValueMag;
    bool DoReamAuto = false;
    uint16_t AfterMinutes = 0;
};

struct TSetupInfos_Hardware {
    TT_Int InterVal_Rec_EEPROM;
    TT_Int AdresseEEPROM;
    TT_Int NbloopsData;
    TT_Double LastDateSyst;
    TT_Long DateSinceBoot;
    TT_Bool DisableHeater;
    TT_Int Gain_stage1_IR;
    TT_Int Gain_stage2_IR;
    double RH_Correction = 0;
    std::string Version;
    uint16_t PortCOM = 0;
    // Device path naming the port instead of COM n (empty: derived from PortCOM).
    std::string PortDevice;
    bool OverBlueTooth = false;
    double OffsetLevelLight = 0;
    TT_Bool DefrostEnabled;
    TT_Bool RainCleanEnabled;
    TT_Bool RainStatus;
    TT_Bool RoofSwitchActive;
};

struct TSetupWebPublish {
    bool Enabled = false;
    std::string HostName;
    std::string login;
    std::string PassWord;
    std::string RemotePath;
    bool PassiveFTP = false;
    uint32_t IntervallSec = 0;
    int32_t Lx_AllGraphs = 0, Ly_AllGraphs = 0;
    int32_t Lx_GrWspeed = 0, Ly_GrWspeed = 0;
    int32_t L_GrWDir = 0;
    uint8_t CompressionLevelJPEG = 0;
    bool VerifyPeer = true; // ftps: the server's certificate must be trusted
    bool IndexPage = true;  // also upload our own page showing the pictures
};

enum TlogVerbose : uint8_t { LogBasic = 0, LogExpert = 1 };

struct TlogFile {
    TlogVerbose VerboseLevel = LogBasic;
};

// CloudSensorIIStrict_File: the flavour-II line cut after the daylight code and ended by the roof-close
// and alert flags, the 21 fields that Clarity II clients parse.
enum TFileVersionDataCS : uint8_t {
    CloudSensor_NOFile = 0,
    CloudSensorI_File = 1,
    CloudSensorII_File = 2,
    CloudSensorIIStrict_File = 3
};

enum TTypeDataGraph : uint8_t {
    Lighdata,
    IRData,
    MoistureData,
    TempData,
    WinData,
    VoltsData,
    IRData_Minus_Sol,
    HeatData
};

struct TgraphicSetupSky {
    double MinY = 0, MaxY = 0, MinX = 0, MaxX = 0, DY = 0, DX = 0;
};

struct TSetupInfos {
    TRoofCloserCriterias RoofCloserCriterias;
    TSetupInfos_Hardware SetupInfos_HW;
    int32_t SeuilCloudy = 0;
    int32_t SeuilVeryCloudy = 0;
    int32_t SeuilWindy_km = 0;
    int32_t SeuilVeryWindy_km = 0;
    double SeuilNight = 0;
    double SeuilDawn = 0;
    double SeuilDay = 0;
    double SeuilHumidity = 0;
    double SeuilDry = 0;
    std::string FileDataStored;
    double RangeDateDisplay = 0;
    bool MagniDisplay = false;
    double Disp_Gap_Display = 0;
    uint32_t InterValQuickPoolSec = 0;
    uint32_t InterValLightPoolSec = 0;
    TSetupWebPublish SetupWebPublish;
    TlogFile Log;
    bool Unit_Fahrenheit = false;
    bool Unit_Mph = false;
    int32_t TimeMinIntSavDatas = 0;
    uint16_t UnderSampleDataFactor = 0;
    TFileVersionDataCS FileCLoudSensorVersion = CloudSensor_NOFile;
    std::string BoltWoodFileName;
    std::string Sound_at_RelayClose;
    std::string Soft_OnRelayClose;
    std::string Sound_on_goodCond;
    std::string Sound_on_Rainning;
    std::string Sound_on_BadCond;
    uint16_t NbMonthtoLoad = 0;
};

// ---- One measurement ------------------------------------------------------------------------
// Stored byte for byte in the history files: packed, little-endian, 74 bytes. Boolean fields are
// plain bytes (0 or 1) so that any byte read from a file is a valid value.
#pragma pack(push, 1)
struct TcapteursInfos {
    TDateTime DateSysteme;
    float ValueSkyVolts;
    float ValueSkyDeg;
    float ValueCanVolts;
    float ValueCanDeg;
    float ValueTempDeg;
    float ValueTempFceDeg;
    float DeltaTempDeg;
    float Humidity;
    float DewPoint;
    float WindSpeedMax_ms;
    float DirSpeedMax_deg;
    uint8_t ValidWindGUST;
    uint8_t RainStatus;
    uint8_t PowerRainDet;
    uint32_t LightValueAbs;
    uint8_t GainLight;
    uint8_t DividLight;
    uint8_t ValidLight;
    double Lumex;
    float PowerVolts;
};
#pragma pack(pop)

static_assert(sizeof(TcapteursInfos) == 74);
static_assert(offsetof(TcapteursInfos, DateSysteme) == 0);
static_assert(offsetof(TcapteursInfos, ValueSkyVolts) == 8);
static_assert(offsetof(TcapteursInfos, DeltaTempDeg) == 32);
static_assert(offsetof(TcapteursInfos, WindSpeedMax_ms) == 44);
static_assert(offsetof(TcapteursInfos, ValidWindGUST) == 52);
static_assert(offsetof(TcapteursInfos, RainStatus) == 53);
static_assert(offsetof(TcapteursInfos, PowerRainDet) == 54);
static_assert(offsetof(TcapteursInfos, LightValueAbs) == 55);
static_assert(offsetof(TcapteursInfos, GainLight) == 59);
static_assert(offsetof(TcapteursInfos, DividLight) == 60);
static_assert(offsetof(TcapteursInfos, ValidLight) == 61);
static_assert(offsetof(TcapteursInfos, Lumex) == 62);
static_assert(offsetof(TcapteursInfos, PowerVolts) == 70);
static_assert(sizeof(float) == 4 && sizeof(double) == 8);

// A copy of a field of a packed record, for calls that take their arguments by reference (fmt,
// gtest, std::min): a reference or pointer to the field itself may be misaligned, which is
// undefined behaviour and faults on strict-alignment processors. Never bind `T&` or `&` to one.
template <typename T> constexpr T FieldValue(T value) {
    return value;
}

using TTDataStation = std::vector<TcapteursInfos>;
using TADouble = std::vector<double>;

// One photodiode counter sample of the dark-current calibration.
struct TCalibrationPD {
    TDateTime DateMes = 0;
    uint32_t Counter = 0;
    uint8_t GainLight = 0;
    uint8_t DividLight = 0;
};

// Edge detector: reports a change only once a previous state is known.
struct TToggle_bool {
    bool PreviousState = false;
    bool Validprevious = false;
    bool CurrentState = false;

    // True when the state changed since the previous evaluation.
    bool Evaluate() {
        const bool changed = Validprevious && PreviousState != CurrentState;
        PreviousState = CurrentState;
        Validprevious = true;
        return changed;
    }
};

// ---- Globals --------------------------------------------------------------------------------
inline constexpr uint32_t DataFileMagic = 0xF78A1112u;

extern TSetupInfos SetupInfos;
extern TcapteursInfos CurrentCapteursInfos;
extern bool SimulationMode;
extern TDateTime LightPrevDate;
extern uint32_t LightDeltaCounter;
extern uint32_t LightPrevCounter;
extern uint8_t LightPrevGain;
extern uint8_t LightPrevDivider;
extern bool StartupDone;
extern bool DebugMode;
extern std::string PathExe, PathDatas, PathLogs, PathJpeg;
// Written by the communication thread, read by the main thread after the thread has ended.
extern std::string ComLastError;
extern std::atomic<uint16_t> ComThreadCount;

// Assigns the start values of every global (done once at program load; tests call it to reset).
void InitStartValues();
// The start values of SetupInfos that no setting stores. The settings' own built-in defaults come
// from the settings table, which hands the whole start values over (InstallSettingDefaults) before
// anything reads them; SetupInfos takes them at once.
TSetupInfos FixedSetupStartValues();
void SetSetupStartValues(const TSetupInfos& start);
