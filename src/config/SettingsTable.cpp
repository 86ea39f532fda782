#include "SettingsTable.h"

#include <algorithm>
#include <cmath>
#include <fmt/format.h>
#include <fmt/printf.h>
#include <QDir>

#include "Log.h"
#include "Records.h"

std::string DefaultBoltWoodFileName() {
    return QDir(QDir::tempPath()).filePath("recfile.txt").toStdString();
}

// ---- The settings table ---------------------------------------------------------------------

bool TSettingRange::Contains(double value) const {
    switch (Type) {
    case Kind::Any:
        return true;
    case Kind::Interval:
        return value >= Min && value <= Max; // false for nan
    case Kind::List:
        return std::find(Allowed.begin(), Allowed.end(), value) != Allowed.end();
    }
    return false;
}

std::string TSettingRange::Refusal() const {
    if (Type == Kind::Interval) return "is out of range [" + FloatToText(Min) + ".." + FloatToText(Max) + "]";
    if (Type == Kind::List) {
        std::string list;
        for (const double value : Allowed)
            list += (list.empty() ? "" : ", ") + FloatToText(value);
        return "is not one of {" + list + "}";
    }
    return "is not a finite number";
}

TSettingRange Between(double min, double max) {
    return {TSettingRange::Kind::Interval, min, max, {}};
}

TSettingRange OneOf(std::initializer_list<double> values) {
    return {TSettingRange::Kind::List, 0, 0, values};
}

namespace {

TVariant StatsStartDefault() {
    return TVariant(Now() - 5);
}
TVariant StatsEndDefault() {
    return TVariant(Now());
}
TVariant BoltWoodFileNameDefault() {
    return TVariant(DefaultBoltWoodFileName());
}

// A value as the log shows it: "35792", "0.5", "nan", "-inf".
std::string NumberText(double value) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
    return FloatToText(value);
}

void LogRefused(const TSettingRow& row, const std::string& value, const TVariant& fallback) {
    LogToday(fmt::format("Setting \"{}\" = {} {} -> default {} used", row.Key, value, row.Range.Refusal(),
                         fallback.AsString()));
}

} // namespace

// The field of a row, as an expression on the place (p.Setup, p.Startup).
#define FIELD(expr) [](TSettingsPlace& p) -> TRegTarget { return p.expr; }

const std::vector<TSettingRow>& SettingsRows() {
    using enum TReadAt;
    static const std::vector<TSettingRow> rows = {
        {"NbMonthtoLoad", KeyConfig, varWord, FIELD(Setup.NbMonthtoLoad), 1, Between(1, 100), StartFirst},
        // Any value: one the program has no texts for leaves the system's language in use.
        {"CurrentLang", KeyConfig, varInteger, FIELD(Startup.CurrentLang), LangEnglish, AnyValue,
         StartLanguage},

        {"PortCom", KeyConfig, varWord, FIELD(Setup.SetupInfos_HW.PortCOM), 1, Between(1, 255), Start},
        {"PortDevice", KeyConfig, varString, FIELD(Setup.SetupInfos_HW.PortDevice), "", AnyValue, Start},
        {"BlueTooth", KeyConfig, varBoolean, FIELD(Setup.SetupInfos_HW.OverBlueTooth), false, AnyValue,
         Start},
        {"DateDisplay", KeyConfig, varDouble, FIELD(Setup.RangeDateDisplay), 1.0,
         OneOf({1, 2, 10, 30, 60, 182, 365, 36500}), Start},
        {"GapPixel", KeyConfig, varDouble, FIELD(Setup.Disp_Gap_Display), 0.05, Between(0.0001, 1), Start},
        {"Offset_Photodiode", KeyConfig, varDouble, FIELD(Setup.SetupInfos_HW.OffsetLevelLight), 0.0025,
         Between(0.001, 0.008), Start},
        {"InterVal_REC_EEP_sec", KeyConfig, varInteger,
         FIELD(Setup.SetupInfos_HW.InterVal_Rec_EEPROM.DefaultValue), 60,
         OneOf({10, 30, 60, 120, 180, 300, 600, 900, 1200, 1800, 2700, 3600}), Start},
        {"VerboseLevel", KeyConfig, varByte, FIELD(Setup.Log.VerboseLevel), 0, OneOf({0, 1}), Start},
        {"DisplayMag", KeyConfig, varBoolean, FIELD(Setup.MagniDisplay), false, AnyValue, Start},

        {"SeuilCloudy", KeyConfig, varInteger, FIELD(Setup.SeuilCloudy), -20, Between(-50, 50), Start},
        {"SeuilVeryCloudy", KeyConfig, varInteger, FIELD(Setup.SeuilVeryCloudy), -7, Between(-50, 50), Start},
        {"SeuilNight", KeyConfig, varDouble, FIELD(Setup.SeuilNight), 18.0, Between(-50, 50), Start},
        {"SeuilDawn", KeyConfig, varDouble, FIELD(Setup.SeuilDawn), 14.0, Between(-50, 50), Start},
        {"SeuilDay", KeyConfig, varDouble, FIELD(Setup.SeuilDay), 6.8, Between(-50, 50), Start},
        {"SeuilWindy", KeyConfig, varInteger, FIELD(Setup.SeuilWindy_km), 5, Between(0, 100), Start},
        {"SeuilVeryWindy", KeyConfig, varInteger, FIELD(Setup.SeuilVeryWindy_km), 15, Between(0, 100), Start},

        {"IntSAVDATAS_Min", KeyConfig, varInteger, FIELD(Setup.TimeMinIntSavDatas), 30, Between(1, 1440),
         Start},
        {"UnderSampleDataFactor", KeyConfig, varWord, FIELD(Setup.UnderSampleDataFactor), 3,
         OneOf({1, 2, 3, 6, 15, 30}), Start},
        // One byte wide, as it is written; the range sees the whole stored number.
        {"FileCLoudSensorVersion", KeyConfig, varByte, FIELD(Setup.FileCLoudSensorVersion), 1,
         OneOf({0, 1, 2}), Start},
        {"BoltWoodFileName", KeyConfig, varString, FIELD(Setup.BoltWoodFileName), &BoltWoodFileNameDefault,
         AnyValue, Start},
        {"RH_Correction", KeyConfig, varDouble, FIELD(Setup.SetupInfos_HW.RH_Correction), 1.0,
         Between(0.8, 1.2), Start},

        {"Enabled", KeyWebpublish, varBoolean, FIELD(Setup.SetupWebPublish.Enabled), false, AnyValue, Start},
        {"Hostname", KeyWebpublish, varString, FIELD(Setup.SetupWebPublish.HostName), "ftp.example.org",
         AnyValue, Start},
        {"Login", KeyWebpublish, varString, FIELD(Setup.SetupWebPublish.login), "zuvo", AnyValue, Start},
        {"Pass", KeyWebpublish, varString, FIELD(Setup.SetupWebPublish.PassWord), "zuvo", AnyValue, Start},
        {"RemotePath", KeyWebpublish, varString, FIELD(Setup.SetupWebPublish.RemotePath), "/", AnyValue,
         Start},
        {"PassiveFTP", KeyWebpublish, varBoolean, FIELD(Setup.SetupWebPublish.PassiveFTP), true, AnyValue,
         Start},
        // Written as 32 bits, so read as 32 bits: an interval above 65535 s survives a restart.
        {"intervallSec", KeyWebpublish, varLongWord, FIELD(Setup.SetupWebPublish.IntervallSec), 60u, AnyValue,
         Start},
        {"JpegCompress", KeyWebpublish, varByte, FIELD(Setup.SetupWebPublish.CompressionLevelJPEG), 100,
         Between(1, 100), Start},
        {"Lx_AllGraphs", KeyWebpublish, varInteger, FIELD(Setup.SetupWebPublish.Lx_AllGraphs), 815,
         Between(100, 10000), Start},
        {"Ly_AllGraphs", KeyWebpublish, varInteger, FIELD(Setup.SetupWebPublish.Ly_AllGraphs), 525,
         Between(100, 10000), Start},
        {"Lx_GrWspeed", KeyWebpublish, varInteger, FIELD(Setup.SetupWebPublish.Lx_GrWspeed), 575,
         Between(100, 10000), Start},
        {"Ly_GrWspeed", KeyWebpublish, varInteger, FIELD(Setup.SetupWebPublish.Ly_GrWspeed), 450,
         Between(100, 10000), Start},
        {"L_GrWDir", KeyWebpublish, varInteger, FIELD(Setup.SetupWebPublish.L_GrWDir), 465,
         Between(100, 10000), Start},

        {"DateDeb", KeyStats, varDouble, FIELD(Startup.DateDeb), &StatsStartDefault, AnyValue, Start, true},
        {"DateFin", KeyStats, varDouble, FIELD(Startup.DateFin), &StatsEndDefault, AnyValue, Start, true},

        {"Sound_at_RelayClose", KeySounds, varString, FIELD(Setup.Sound_at_RelayClose),
         "BadCond_relayClose.wav", AnyValue, Start},
        {"Soft_OnRelayClose", KeySounds, varString, FIELD(Setup.Soft_OnRelayClose), "", AnyValue, Start},
        {"Sound_on_goodCond", KeySounds, varString, FIELD(Setup.Sound_on_goodCond), "GoodConditions.wav",
         AnyValue, Start},
        {"Sound_on_BadCond", KeySounds, varString, FIELD(Setup.Sound_on_BadCond), "BadConditions.wav",
         AnyValue, Start},
        {"ReArmAuto", KeyCloseCriteria, varBoolean, FIELD(Setup.RoofCloserCriterias.DoReamAuto), false,
         AnyValue, Start},
        {"AfterMin", KeyCloseCriteria, varWord, FIELD(Setup.RoofCloserCriterias.AfterMinutes), 120,
         Between(2, 1000), Start},

        // The dialog reads the light interval over the current one; the station cells start from
        // the dialog's own defaults.
        {"DiodeIntegrationTimeSec", KeyConfig, varLongWord, FIELD(Setup.InterValLightPoolSec), 60u,
         Between(30, 300), DialogOpen},
        {"InterVal_REC_EEP_sec", KeyConfig, varWord,
         FIELD(Setup.SetupInfos_HW.InterVal_Rec_EEPROM.DefaultValue), 120,
         OneOf({10, 30, 60, 120, 180, 300, 600, 900, 1200, 1800, 2700, 3600}), DialogOpen, true},
        {"Disableheater", KeyConfig, varBoolean, FIELD(Setup.SetupInfos_HW.DisableHeater.DefaultValue), false,
         AnyValue, DialogOpen, true},
        {"Enabled", KeyCloseCriteria, varBoolean, FIELD(Setup.RoofCloserCriterias.DoWatch.DefaultValue),
         false, AnyValue, DialogOpen, true},
        {"TempSky", KeyCloseCriteria, varDouble, FIELD(Setup.RoofCloserCriterias.TempSky.DefaultValue), -20.0,
         Between(-50, 50), DialogOpen, true},
        {"RH", KeyCloseCriteria, varByte, FIELD(Setup.RoofCloserCriterias.RH.DefaultValue), 100,
         Between(0, 100), DialogOpen, true},
        {"Wind", KeyCloseCriteria, varByte, FIELD(Setup.RoofCloserCriterias.Wind.DefaultValue), 50,
         Between(0, 100), DialogOpen, true},
        {"Light", KeyCloseCriteria, varBoolean, FIELD(Setup.RoofCloserCriterias.Light.DefaultValue), false,
         AnyValue, DialogOpen, true},
        {"Mag", KeyCloseCriteria, varDouble, FIELD(Setup.RoofCloserCriterias.ValueMag.DefaultValue), 4.0,
         Between(4, 13), DialogOpen, true},
    };
    return rows;
}

#undef FIELD

bool ReadSetting(const TSettingRow& row, TSettingsPlace& place, TDatabaseRegistry& registry) {
    const TRegTarget field = row.Field(place);
    if (row.DefaultFirst && field.Accepts(row.Code)) field.Store(row.Default.Get(), row.Code);
    const bool ranged = row.Range.Type != TSettingRange::Kind::Any;

    if (IsIntegerKind(row.Code) && ranged && field.Accepts(row.Code)) {
        // Read the whole stored number: 65537 must not pass for 1 once cut to 16 bits.
        int64_t value = field.Current(row.Code).AsInteger();
        if (!registry.ReadValueRegisterDFset(row.Group, value, row.Key, varInt64)) return false;
        if (row.Range.Contains(static_cast<double>(value))) {
            field.Store(TVariant(value), row.Code);
            return true;
        }
        const TVariant fallback = row.Default.Get();
        field.Store(fallback, row.Code);
        LogRefused(row, std::to_string(value), fallback);
        return false;
    }

    if (row.Code == varDouble && field.Accepts(row.Code)) {
        double value = field.Current(row.Code).AsDouble();
        if (!registry.ReadValueRegisterDFset(row.Group, value, row.Key, varDouble)) return false;
        // A value that is not finite is never used: nothing downstream can work with it.
        if (std::isfinite(value) && row.Range.Contains(value)) {
            field.Store(TVariant(value), row.Code);
            return true;
        }
        const TVariant fallback = row.Default.Get();
        field.Store(fallback, row.Code);
        LogRefused(row, NumberText(value), fallback);
        return false;
    }

    return registry.ReadValueRegisterDFset(row.Group, field, row.Key, row.Code);
}

namespace {

void ReadRows(TReadAt when, TStartupSettings& startup, TDatabaseRegistry& registry) {
    TSettingsPlace place{SetupInfos, startup};
    for (const TSettingRow& row : SettingsRows())
        if (row.When == when) ReadSetting(row, place, registry);
}

} // namespace

void ReadMonthsToLoad(TDatabaseRegistry& registry) {
    TStartupSettings unused;
    ReadRows(TReadAt::StartFirst, unused, registry);
    LogToday(fmt::sprintf("Amount of months to load : %d", SetupInfos.NbMonthtoLoad));
}

void AssignStartupDefaults() {
    auto& web = SetupInfos.SetupWebPublish;
    web.Enabled = false;
    web.HostName = "ftp.example.org";
    web.login = "zuvo";
    web.PassWord = "zuvo";
    web.RemotePath = "/";
    web.PassiveFTP = true;
    web.IntervallSec = 60;
    web.CompressionLevelJPEG = 100;
    web.Lx_AllGraphs = 815;
    web.Ly_AllGraphs = 525;
    web.Lx_GrWspeed = 575;
    web.Ly_GrWspeed = 450;
    web.L_GrWDir = 465;

    SetupInfos.TimeMinIntSavDatas = 30;
    SetupInfos.UnderSampleDataFactor = 3;
    SetupInfos.FileCLoudSensorVersion = CloudSensorI_File;
    SetupInfos.BoltWoodFileName = DefaultBoltWoodFileName();
    SetupInfos.SetupInfos_HW.OffsetLevelLight = 0.0025;
    SetupInfos.SetupInfos_HW.PortDevice.clear();

    SetupInfos.Sound_at_RelayClose = "BadCond_relayClose.wav";
    SetupInfos.Soft_OnRelayClose.clear();
    SetupInfos.Sound_on_goodCond = "GoodConditions.wav";
    SetupInfos.Sound_on_BadCond = "BadConditions.wav";
    SetupInfos.Sound_on_Rainning = "Rain_pending.wav";

    SetupInfos.RoofCloserCriterias.DoReamAuto = false;
    SetupInfos.RoofCloserCriterias.AfterMinutes = 120;
}

int32_t ReadCurrentLang(TDatabaseRegistry& registry) {
    // Values other than the two languages are left to the caller, which then keeps the system's.
    TStartupSettings read;
    read.CurrentLang = LangEnglish;
    ReadRows(TReadAt::StartLanguage, read, registry);
    return read.CurrentLang;
}

void ReadStartupSettings(TStartupSettings& result, TDatabaseRegistry& registry) {
    ReadRows(TReadAt::Start, result, registry);
    SetupInfos.FileDataStored = PathDatas;
}

TStartupSettings LoadStartupSettings(TDatabaseRegistry& registry) {
    TStartupSettings result;
    ReadMonthsToLoad(registry);
    AssignStartupDefaults();
    result.CurrentLang = ReadCurrentLang(registry);
    ReadStartupSettings(result, registry);
    return result;
}

void ReadConfigDialogSettings(TDatabaseRegistry& registry) {
    auto& hw = SetupInfos.SetupInfos_HW;
    auto& roof = SetupInfos.RoofCloserCriterias;
    hw.LastDateSyst.Valid = false;
    hw.DateSinceBoot.Valid = false;
    hw.DisableHeater.Valid = false;
    hw.InterVal_Rec_EEPROM.Valid = false;
    for (bool* valid : {&roof.DoWatch.Valid, &roof.TempSky.Valid, &roof.RH.Valid, &roof.Wind.Valid,
                        &roof.Light.Valid, &roof.ValueMag.Valid})
        *valid = false;
    TStartupSettings unused;
    ReadRows(TReadAt::DialogOpen, unused, registry);
}

void WriteConfigDialogSettings(TDatabaseRegistry& registry) {
    TRegistryWriteGroup group(registry);
    auto& reg = registry;
    const auto& s = SetupInfos;
    const auto& hw = s.SetupInfos_HW;
    const auto& roof = s.RoofCloserCriterias;
    reg.WriteCFGtoRegister(KeyConfig, hw.PortCOM, "PortCom");
    reg.WriteCFGtoRegister(KeyConfig, hw.PortDevice, "PortDevice");
    reg.WriteCFGtoRegister(KeyConfig, hw.OverBlueTooth, "BlueTooth");
    reg.WriteCFGtoRegister(KeyConfig, hw.OffsetLevelLight, "Offset_Photodiode");
    reg.WriteCFGtoRegister(KeyConfig, hw.InterVal_Rec_EEPROM.DefaultValue, "InterVal_REC_EEP_sec");
    reg.WriteCFGtoRegister(KeyConfig, s.RangeDateDisplay, "DateDisplay");
    reg.WriteCFGtoRegister(KeyConfig, s.Disp_Gap_Display, "GapPixel");
    reg.WriteCFGtoRegister(KeyConfig, s.FileDataStored, "FileData");
    reg.WriteCFGtoRegister(KeyConfig, s.TimeMinIntSavDatas, "IntSAVDATAS_Min");
    reg.WriteCFGtoRegister(KeyConfig, s.UnderSampleDataFactor, "UnderSampleDataFactor");
    reg.WriteCFGtoRegister(KeyConfig, s.NbMonthtoLoad, "NbMonthtoLoad");
    reg.WriteCFGtoRegister(KeyConfig, static_cast<uint8_t>(s.Log.VerboseLevel), "VerboseLevel");

    reg.WriteCFGtoRegister(KeyConfig, s.InterValLightPoolSec, "DiodeIntegrationTimeSec");
    reg.WriteCFGtoRegister(KeyConfig, s.MagniDisplay, "DisplayMag");
    reg.WriteCFGtoRegister(KeyConfig, hw.DisableHeater.DefaultValue, "Disableheater");
    reg.WriteCFGtoRegister(KeyCloseCriteria, roof.DoWatch.DefaultValue, "Enabled");
    reg.WriteCFGtoRegister(KeyCloseCriteria, roof.TempSky.DefaultValue, "TempSky");
    reg.WriteCFGtoRegister(KeyCloseCriteria, roof.RH.DefaultValue, "RH");
    reg.WriteCFGtoRegister(KeyCloseCriteria, roof.Wind.DefaultValue, "Wind");
    reg.WriteCFGtoRegister(KeyCloseCriteria, roof.Light.DefaultValue, "Light");
    reg.WriteCFGtoRegister(KeyCloseCriteria, roof.ValueMag.DefaultValue, "Mag");
    reg.WriteCFGtoRegister(KeyCloseCriteria, roof.DoReamAuto, "ReArmAuto");
    reg.WriteCFGtoRegister(KeyCloseCriteria, roof.AfterMinutes, "AfterMin");

    reg.WriteCFGtoRegister(KeyConfig, s.SeuilVeryCloudy, "SeuilVeryCloudy");
    reg.WriteCFGtoRegister(KeyConfig, s.SeuilCloudy, "SeuilCloudy");
    reg.WriteCFGtoRegister(KeyConfig, s.SeuilVeryWindy_km, "SeuilVeryWindy");
    reg.WriteCFGtoRegister(KeyConfig, s.SeuilWindy_km, "SeuilWindy");
    reg.WriteCFGtoRegister(KeyConfig, s.SeuilDawn, "SeuilDawn");
    reg.WriteCFGtoRegister(KeyConfig, s.SeuilNight, "SeuilNight");
    reg.WriteCFGtoRegister(KeyConfig, s.SeuilDay, "SeuilDay");
    reg.WriteCFGtoRegister(KeyConfig, static_cast<uint8_t>(s.FileCLoudSensorVersion),
                           "FileCLoudSensorVersion");
    reg.WriteCFGtoRegister(KeyConfig, s.BoltWoodFileName, "BoltWoodFileName");
    reg.WriteCFGtoRegister(KeyConfig, hw.RH_Correction, "RH_Correction");
    reg.WriteCFGtoRegister(KeySounds, s.Sound_at_RelayClose, "Sound_at_RelayClose");
    reg.WriteCFGtoRegister(KeySounds, s.Soft_OnRelayClose, "Soft_OnRelayClose");
    reg.WriteCFGtoRegister(KeySounds, s.Sound_on_goodCond, "Sound_on_goodCond");
    reg.WriteCFGtoRegister(KeySounds, s.Sound_on_BadCond, "Sound_on_BadCond");
}

void WriteWebPublishSettings(TDatabaseRegistry& registry) {
    TRegistryWriteGroup group(registry);
    const auto& web = SetupInfos.SetupWebPublish;
    registry.WriteCFGtoRegister(KeyWebpublish, web.Enabled, "Enabled");
    registry.WriteCFGtoRegister(KeyWebpublish, web.HostName, "Hostname");
    registry.WriteCFGtoRegister(KeyWebpublish, web.login, "Login");
    registry.WriteCFGtoRegister(KeyWebpublish, web.PassWord, "Pass");
    registry.WriteCFGtoRegister(KeyWebpublish, web.RemotePath, "RemotePath");
    registry.WriteCFGtoRegister(KeyWebpublish, web.PassiveFTP, "PassiveFTP");
    registry.WriteCFGtoRegister(KeyWebpublish, web.IntervallSec, "intervallSec");
    registry.WriteCFGtoRegister(KeyWebpublish, web.CompressionLevelJPEG, "JpegCompress");
    registry.WriteCFGtoRegister(KeyWebpublish, web.Lx_AllGraphs, "Lx_AllGraphs");
    registry.WriteCFGtoRegister(KeyWebpublish, web.Ly_AllGraphs, "Ly_AllGraphs");
    registry.WriteCFGtoRegister(KeyWebpublish, web.Lx_GrWspeed, "Lx_GrWspeed");
    registry.WriteCFGtoRegister(KeyWebpublish, web.Ly_GrWspeed, "Ly_GrWspeed");
    registry.WriteCFGtoRegister(KeyWebpublish, web.L_GrWDir, "L_GrWDir");
}

void WriteCurrentLang(int32_t language, TDatabaseRegistry& registry) {
    registry.WriteCFGtoRegister(KeyConfig, language, "CurrentLang");
}

void WriteStatsRange(TDateTime dateDeb, TDateTime dateFin, TDatabaseRegistry& registry) {
    TRegistryWriteGroup group(registry);
    registry.WriteCFGtoRegister(KeyStats, dateDeb, "DateDeb");
    registry.WriteCFGtoRegister(KeyStats, dateFin, "DateFin");
}
