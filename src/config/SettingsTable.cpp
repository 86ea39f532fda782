#include "SettingsTable.h"

#include <fmt/printf.h>
#include <QDir>

#include "Log.h"
#include "Records.h"

std::string DefaultBoltWoodFileName() {
    return QDir(QDir::tempPath()).filePath("recfile.txt").toStdString();
}

void ReadMonthsToLoad(TDatabaseRegistry& registry) {
    registry.ReadValueRegisterDFset(KeyConfig, SetupInfos.NbMonthtoLoad, "NbMonthtoLoad", varWord);
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
    int32_t language = LangEnglish;
    registry.ReadValueRegisterDFset(KeyConfig, language, "CurrentLang", varInteger);
    return language;
}

namespace {

void ReadStationLinkAndDisplay(TDatabaseRegistry& reg) {
    auto& hw = SetupInfos.SetupInfos_HW;
    reg.ReadValueRegisterDFset(KeyConfig, hw.PortCOM, "PortCom", varWord);
    reg.ReadValueRegisterDFset(KeyConfig, hw.PortDevice, "PortDevice", varString);
    reg.ReadValueRegisterDFset(KeyConfig, hw.OverBlueTooth, "BlueTooth", varBoolean);
    reg.ReadValueRegisterDFset(KeyConfig, SetupInfos.RangeDateDisplay, "DateDisplay", varDouble);
    reg.ReadValueRegisterDFset(KeyConfig, SetupInfos.Disp_Gap_Display, "GapPixel", varDouble);
    reg.ReadValueRegisterDFset(KeyConfig, hw.OffsetLevelLight, "Offset_Photodiode", varDouble);
    reg.ReadValueRegisterDFset(KeyConfig, hw.InterVal_Rec_EEPROM.DefaultValue, "InterVal_REC_EEP_sec",
                               varInteger);
    reg.ReadValueRegisterDFset(KeyConfig, SetupInfos.Log.VerboseLevel, "VerboseLevel", varByte);
    reg.ReadValueRegisterDFset(KeyConfig, SetupInfos.MagniDisplay, "DisplayMag", varBoolean);
}

void ReadThresholds(TDatabaseRegistry& reg) {
    reg.ReadValueRegisterDFset(KeyConfig, SetupInfos.SeuilCloudy, "SeuilCloudy", varInteger);
    reg.ReadValueRegisterDFset(KeyConfig, SetupInfos.SeuilVeryCloudy, "SeuilVeryCloudy", varInteger);
    reg.ReadValueRegisterDFset(KeyConfig, SetupInfos.SeuilNight, "SeuilNight", varDouble);
    reg.ReadValueRegisterDFset(KeyConfig, SetupInfos.SeuilDawn, "SeuilDawn", varDouble);
    reg.ReadValueRegisterDFset(KeyConfig, SetupInfos.SeuilDay, "SeuilDay", varDouble);
    reg.ReadValueRegisterDFset(KeyConfig, SetupInfos.SeuilWindy_km, "SeuilWindy", varInteger);
    reg.ReadValueRegisterDFset(KeyConfig, SetupInfos.SeuilVeryWindy_km, "SeuilVeryWindy", varInteger);
}

void ReadFilesAndCorrection(TDatabaseRegistry& reg) {
    reg.ReadValueRegisterDFset(KeyConfig, SetupInfos.TimeMinIntSavDatas, "IntSAVDATAS_Min", varInteger);
    reg.ReadValueRegisterDFset(KeyConfig, SetupInfos.UnderSampleDataFactor, "UnderSampleDataFactor", varWord);
    // The flavour is one byte wide; the 16-bit value is read beside it and its low byte kept.
    uint16_t flavour = SetupInfos.FileCLoudSensorVersion;
    if (reg.ReadValueRegisterDFset(KeyConfig, flavour, "FileCLoudSensorVersion", varWord))
        SetupInfos.FileCLoudSensorVersion = static_cast<TFileVersionDataCS>(flavour & 0xFF);
    reg.ReadValueRegisterDFset(KeyConfig, SetupInfos.BoltWoodFileName, "BoltWoodFileName", varString);
    reg.ReadValueRegisterDFset(KeyConfig, SetupInfos.SetupInfos_HW.RH_Correction, "RH_Correction", varDouble);
}

void ReadWebPublish(TDatabaseRegistry& reg) {
    auto& web = SetupInfos.SetupWebPublish;
    reg.ReadValueRegisterDFset(KeyWebpublish, web.Enabled, "Enabled", varBoolean);
    reg.ReadValueRegisterDFset(KeyWebpublish, web.HostName, "Hostname", varString);
    reg.ReadValueRegisterDFset(KeyWebpublish, web.login, "Login", varString);
    reg.ReadValueRegisterDFset(KeyWebpublish, web.PassWord, "Pass", varString);
    reg.ReadValueRegisterDFset(KeyWebpublish, web.RemotePath, "RemotePath", varString);
    reg.ReadValueRegisterDFset(KeyWebpublish, web.PassiveFTP, "PassiveFTP", varBoolean);
    // Written as 32 bits, so read as 32 bits: an interval above 65535 s survives a restart.
    reg.ReadValueRegisterDFset(KeyWebpublish, web.IntervallSec, "intervallSec", varLongWord);
    reg.ReadValueRegisterDFset(KeyWebpublish, web.CompressionLevelJPEG, "JpegCompress", varByte);
    reg.ReadValueRegisterDFset(KeyWebpublish, web.Lx_AllGraphs, "Lx_AllGraphs", varInteger);
    reg.ReadValueRegisterDFset(KeyWebpublish, web.Ly_AllGraphs, "Ly_AllGraphs", varInteger);
    reg.ReadValueRegisterDFset(KeyWebpublish, web.Lx_GrWspeed, "Lx_GrWspeed", varInteger);
    reg.ReadValueRegisterDFset(KeyWebpublish, web.Ly_GrWspeed, "Ly_GrWspeed", varInteger);
    reg.ReadValueRegisterDFset(KeyWebpublish, web.L_GrWDir, "L_GrWDir", varInteger);
}

void ReadStatsRange(TStartupSettings& result, TDatabaseRegistry& reg) {
    const TDateTime now = Now();
    result.DateDeb = now - 5;
    result.DateFin = now;
    reg.ReadValueRegisterDFset(KeyStats, result.DateDeb, "DateDeb", varDouble);
    reg.ReadValueRegisterDFset(KeyStats, result.DateFin, "DateFin", varDouble);
}

void ReadSoundsAndRearm(TDatabaseRegistry& reg) {
    reg.ReadValueRegisterDFset(KeySounds, SetupInfos.Sound_at_RelayClose, "Sound_at_RelayClose", varString);
    reg.ReadValueRegisterDFset(KeySounds, SetupInfos.Soft_OnRelayClose, "Soft_OnRelayClose", varString);
    reg.ReadValueRegisterDFset(KeySounds, SetupInfos.Sound_on_goodCond, "Sound_on_goodCond", varString);
    reg.ReadValueRegisterDFset(KeySounds, SetupInfos.Sound_on_BadCond, "Sound_on_BadCond", varString);
    auto& roof = SetupInfos.RoofCloserCriterias;
    reg.ReadValueRegisterDFset(KeyCloseCriteria, roof.DoReamAuto, "ReArmAuto", varBoolean);
    reg.ReadValueRegisterDFset(KeyCloseCriteria, roof.AfterMinutes, "AfterMin", varWord);
}

} // namespace

void ReadStartupSettings(TStartupSettings& result, TDatabaseRegistry& registry) {
    ReadStationLinkAndDisplay(registry);
    ReadThresholds(registry);
    ReadFilesAndCorrection(registry);
    SetupInfos.FileDataStored = PathDatas;
    ReadWebPublish(registry);
    ReadStatsRange(result, registry);
    ReadSoundsAndRearm(registry);
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
    registry.ReadValueRegisterDFset(KeyConfig, SetupInfos.InterValLightPoolSec, "DiodeIntegrationTimeSec",
                                    varLongWord);

    hw.LastDateSyst.Valid = false;
    hw.DateSinceBoot.Valid = false;
    hw.DisableHeater.Valid = false;
    hw.InterVal_Rec_EEPROM.Valid = false;
    for (bool* valid : {&roof.DoWatch.Valid, &roof.TempSky.Valid, &roof.RH.Valid, &roof.Wind.Valid,
                        &roof.Light.Valid, &roof.ValueMag.Valid})
        *valid = false;

    hw.InterVal_Rec_EEPROM.DefaultValue = 120;
    registry.ReadValueRegisterDFset(KeyConfig, hw.InterVal_Rec_EEPROM.DefaultValue, "InterVal_REC_EEP_sec",
                                    varWord);
    hw.DisableHeater.DefaultValue = false;
    registry.ReadValueRegisterDFset(KeyConfig, hw.DisableHeater.DefaultValue, "Disableheater", varBoolean);

    roof.DoWatch.DefaultValue = false;
    roof.TempSky.DefaultValue = -20.0;
    roof.RH.DefaultValue = 100;
    roof.Wind.DefaultValue = 50;
    roof.Light.DefaultValue = false;
    roof.ValueMag.DefaultValue = 4.0;
    registry.ReadValueRegisterDFset(KeyCloseCriteria, roof.DoWatch.DefaultValue, "Enabled", varBoolean);
    registry.ReadValueRegisterDFset(KeyCloseCriteria, roof.TempSky.DefaultValue, "TempSky", varDouble);
    registry.ReadValueRegisterDFset(KeyCloseCriteria, roof.RH.DefaultValue, "RH", varByte);
    registry.ReadValueRegisterDFset(KeyCloseCriteria, roof.Wind.DefaultValue, "Wind", varByte);
    registry.ReadValueRegisterDFset(KeyCloseCriteria, roof.Light.DefaultValue, "Light", varBoolean);
    registry.ReadValueRegisterDFset(KeyCloseCriteria, roof.ValueMag.DefaultValue, "Mag", varDouble);
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
