// The settings table as a whole: what a fresh start holds, what each confirmation hands to the
// store and in which order, and what a later dialog can do with a row.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fmt/format.h>
#include <gtest/gtest.h>
#include <map>
#include <QDir>

#include "Records.h"
#include "RegistryTestSupport.h"
#include "SettingsTable.h"

namespace {

const TDateTime FixedNow = EncodeDateTime(2024, 3, 15, 22, 30, 0);

std::string Text(double v) {
    return FloatToText(v);
}
template <typename T> std::string Cell(const TT_Cell<T>& c) {
    if constexpr (std::is_same_v<T, double>)
        return Text(c.Value) + "/" + Text(c.DefaultValue) + "/" + std::to_string(c.Valid);
    else
        return std::to_string(c.Value) + "/" + std::to_string(c.DefaultValue) + "/" + std::to_string(c.Valid);
}

// Every field of the settings record as "name=value" (cells as value/default/valid).
std::vector<std::string> EveryField(const TSetupInfos& s) {
    const auto& r = s.RoofCloserCriterias;
    const auto& hw = s.SetupInfos_HW;
    const auto& w = s.SetupWebPublish;
    return {
        "DoWatch=" + Cell(r.DoWatch),
        "TempSky=" + Cell(r.TempSky),
        "RH=" + Cell(r.RH),
        "Wind=" + Cell(r.Wind),
        "Light=" + Cell(r.Light),
        "ValueMag=" + Cell(r.ValueMag),
        fmt::format("DoReamAuto={}", r.DoReamAuto),
        fmt::format("AfterMinutes={}", r.AfterMinutes),
        "InterVal_Rec_EEPROM=" + Cell(hw.InterVal_Rec_EEPROM),
        "AdresseEEPROM=" + Cell(hw.AdresseEEPROM),
        "NbloopsData=" + Cell(hw.NbloopsData),
        "LastDateSyst=" + Cell(hw.LastDateSyst),
        "DateSinceBoot=" + Cell(hw.DateSinceBoot),
        "DisableHeater=" + Cell(hw.DisableHeater),
        "Gain_stage1_IR=" + Cell(hw.Gain_stage1_IR),
        "Gain_stage2_IR=" + Cell(hw.Gain_stage2_IR),
        "RH_Correction=" + Text(hw.RH_Correction),
        "Version=" + hw.Version,
        fmt::format("PortCOM={}", hw.PortCOM),
        "PortDevice=" + hw.PortDevice,
        fmt::format("OverBlueTooth={}", hw.OverBlueTooth),
        "OffsetLevelLight=" + Text(hw.OffsetLevelLight),
        "DefrostEnabled=" + Cell(hw.DefrostEnabled),
        "RainCleanEnabled=" + Cell(hw.RainCleanEnabled),
        "RainStatus=" + Cell(hw.RainStatus),
        "RoofSwitchActive=" + Cell(hw.RoofSwitchActive),
        fmt::format("SeuilCloudy={}", s.SeuilCloudy),
        fmt::format("SeuilVeryCloudy={}", s.SeuilVeryCloudy),
        fmt::format("SeuilWindy_km={}", s.SeuilWindy_km),
        fmt::format("SeuilVeryWindy_km={}", s.SeuilVeryWindy_km),
        "SeuilNight=" + Text(s.SeuilNight),
        "SeuilDawn=" + Text(s.SeuilDawn),
        "SeuilDay=" + Text(s.SeuilDay),
        "SeuilHumidity=" + Text(s.SeuilHumidity),
        "SeuilDry=" + Text(s.SeuilDry),
        "FileDataStored=" + s.FileDataStored,
        "RangeDateDisplay=" + Text(s.RangeDateDisplay),
        fmt::format("MagniDisplay={}", s.MagniDisplay),
        "Disp_Gap_Display=" + Text(s.Disp_Gap_Display),
        fmt::format("InterValQuickPoolSec={}", s.InterValQuickPoolSec),
        fmt::format("InterValLightPoolSec={}", s.InterValLightPoolSec),
        fmt::format("Web.Enabled={}", w.Enabled),
        "Web.HostName=" + w.HostName,
        "Web.login=" + w.login,
        "Web.PassWord=" + w.PassWord,
        "Web.RemotePath=" + w.RemotePath,
        fmt::format("Web.PassiveFTP={}", w.PassiveFTP),
        fmt::format("Web.IntervallSec={}", w.IntervallSec),
        fmt::format("Web.Lx_AllGraphs={}", w.Lx_AllGraphs),
        fmt::format("Web.Ly_AllGraphs={}", w.Ly_AllGraphs),
        fmt::format("Web.Lx_GrWspeed={}", w.Lx_GrWspeed),
        fmt::format("Web.Ly_GrWspeed={}", w.Ly_GrWspeed),
        fmt::format("Web.L_GrWDir={}", w.L_GrWDir),
        fmt::format("Web.CompressionLevelJPEG={}", w.CompressionLevelJPEG),
        fmt::format("Log.VerboseLevel={}", int(s.Log.VerboseLevel)),
        fmt::format("Unit_Fahrenheit={}", s.Unit_Fahrenheit),
        fmt::format("Unit_Mph={}", s.Unit_Mph),
        fmt::format("TimeMinIntSavDatas={}", s.TimeMinIntSavDatas),
        fmt::format("UnderSampleDataFactor={}", s.UnderSampleDataFactor),
        fmt::format("FileCLoudSensorVersion={}", int(s.FileCLoudSensorVersion)),
        "BoltWoodFileName=" + s.BoltWoodFileName,
        "Sound_at_RelayClose=" + s.Sound_at_RelayClose,
        "Soft_OnRelayClose=" + s.Soft_OnRelayClose,
        "Sound_on_goodCond=" + s.Sound_on_goodCond,
        "Sound_on_Rainning=" + s.Sound_on_Rainning,
        "Sound_on_BadCond=" + s.Sound_on_BadCond,
        fmt::format("NbMonthtoLoad={}", s.NbMonthtoLoad),
    };
}

class SettingsRowsTest : public RegistryTest {
  protected:
    void SetUp() override {
        RegistryTest::SetUp();
        SetClockForTests([] { return FixedNow; });
    }
};

// The settings record as the program has always held it at load and after a start on a fresh
// profile with the settings dialog opened; every field, so that no default goes missing or changes.
const std::vector<std::string> AtLoad = {
    "DoWatch=0/0/0",
    "TempSky=0/-10/0",
    "RH=0/90/0",
    "Wind=0/5/0",
    "Light=0/0/0",
    "ValueMag=0/4/0",
    "DoReamAuto=false",
    "AfterMinutes=120",
    "InterVal_Rec_EEPROM=0/60/0",
    "AdresseEEPROM=0/0/0",
    "NbloopsData=0/0/0",
    "LastDateSyst=0/0/0",
    "DateSinceBoot=0/0/0",
    "DisableHeater=0/0/0",
    "Gain_stage1_IR=0/32/0",
    "Gain_stage2_IR=0/47/0",
    "RH_Correction=1",
    "Version=??",
    "PortCOM=1",
    "PortDevice=",
    "OverBlueTooth=false",
    "OffsetLevelLight=0",
    "DefrostEnabled=0/0/0",
    "RainCleanEnabled=0/0/0",
    "RainStatus=0/0/0",
    "RoofSwitchActive=0/0/0",
    "SeuilCloudy=-20",
    "SeuilVeryCloudy=-7",
    "SeuilWindy_km=5",
    "SeuilVeryWindy_km=15",
    "SeuilNight=18",
    "SeuilDawn=14",
    "SeuilDay=6.8",
    "SeuilHumidity=70",
    "SeuilDry=50",
    "FileDataStored=",
    "RangeDateDisplay=1",
    "MagniDisplay=false",
    "Disp_Gap_Display=0.05",
    "InterValQuickPoolSec=20",
    "InterValLightPoolSec=60",
    "Web.Enabled=false",
    "Web.HostName=",
    "Web.login=",
    "Web.PassWord=",
    "Web.RemotePath=",
    "Web.PassiveFTP=false",
    "Web.IntervallSec=0",
    "Web.Lx_AllGraphs=0",
    "Web.Ly_AllGraphs=0",
    "Web.Lx_GrWspeed=0",
    "Web.Ly_GrWspeed=0",
    "Web.L_GrWDir=0",
    "Web.CompressionLevelJPEG=0",
    "Log.VerboseLevel=0",
    "Unit_Fahrenheit=false",
    "Unit_Mph=false",
    "TimeMinIntSavDatas=0",
    "UnderSampleDataFactor=0",
    "FileCLoudSensorVersion=0",
    "BoltWoodFileName=",
    "Sound_at_RelayClose=BadCond_relayClose.wav",
    "Soft_OnRelayClose=",
    "Sound_on_goodCond=GoodConditions.wav",
    "Sound_on_Rainning=Rain_pending.wav",
    "Sound_on_BadCond=BadConditions.wav",
    "NbMonthtoLoad=1",
};

// What differs from AtLoad once a start on a fresh profile has run and the dialog has opened.
std::vector<std::string> AfterAFreshStart() {
    std::map<std::string, std::string> changed = {
        {"TempSky", "0/-20/0"},
        {"RH", "0/100/0"},
        {"Wind", "0/50/0"},
        {"InterVal_Rec_EEPROM", "0/120/0"},
        {"OffsetLevelLight", "0.0025"},
        {"FileDataStored", PathDatas},
        {"Web.HostName", "ftp.example.org"},
        {"Web.login", "zuvo"},
        {"Web.PassWord", "zuvo"},
        {"Web.RemotePath", "/"},
        {"Web.PassiveFTP", "true"},
        {"Web.IntervallSec", "60"},
        {"Web.Lx_AllGraphs", "815"},
        {"Web.Ly_AllGraphs", "525"},
        {"Web.Lx_GrWspeed", "575"},
        {"Web.Ly_GrWspeed", "450"},
        {"Web.L_GrWDir", "465"},
        {"Web.CompressionLevelJPEG", "100"},
        {"TimeMinIntSavDatas", "30"},
        {"UnderSampleDataFactor", "3"},
        {"FileCLoudSensorVersion", "1"},
        {"BoltWoodFileName", std::string(std::getenv("XDG_RUNTIME_DIR")) + "/recfile.txt"},
    };
    std::vector<std::string> fields;
    for (const std::string& line : AtLoad) {
        const std::string name = line.substr(0, line.find('='));
        const auto found = changed.find(name);
        fields.push_back(found == changed.end() ? line : name + "=" + found->second);
    }
    return fields;
}

TEST_F(SettingsRowsTest, AFreshStartHoldsTheValuesItAlwaysHeld) {
    InitStartValues();
    EXPECT_EQ(EveryField(SetupInfos), AtLoad);
    const TStartupSettings started = LoadStartupSettings();
    ReadConfigDialogSettings();
    EXPECT_EQ(EveryField(SetupInfos), AfterAFreshStart());
    EXPECT_EQ(started.CurrentLang, LangEnglish);
    EXPECT_EQ(started.DateDeb, FixedNow - 5);
    EXPECT_EQ(started.DateFin, FixedNow);
}

// What the store was handed, in order: "Group/Name = stored text (kind)".
class WriteJournal {
  public:
    explicit WriteJournal(TDatabaseRegistry& reg) : reg_(reg) {
        reg_.OnWrite = [this](const std::string& path, const std::string& id, const TVariant& v) {
            writes_.push_back({path, id, v.Kind()});
        };
    }
    ~WriteJournal() { reg_.OnWrite = nullptr; }
    // The writes since the last call.
    template <typename Stored> std::vector<std::string> Take(Stored stored) {
        std::vector<std::string> lines;
        for (const auto& w : writes_) {
            QString group = QString::fromStdString(w.path).split('\\', Qt::SkipEmptyParts).join('/');
            const QString key = group + "/" + QString::fromStdString(w.id);
            const QVariant raw = stored(key);
            const std::string text = raw.typeId() == QMetaType::QByteArray
                                         ? "bytes:" + raw.toByteArray().toHex().toStdString()
                                         : raw.toString().toStdString();
            lines.push_back(key.toStdString() + " = " + text + " (" + std::to_string(w.kind) + ")");
        }
        writes_.clear();
        return lines;
    }

  private:
    struct Write {
        std::string path, id;
        int kind;
    };
    TDatabaseRegistry& reg_;
    std::vector<Write> writes_;
};

// A value unlike its default in every field the two dialogs store, no two alike where they
// could be swapped.
void SetEveryDialogFieldAwayFromItsDefault() {
    auto& s = SetupInfos;
    auto& hw = s.SetupInfos_HW;
    auto& roof = s.RoofCloserCriterias;
    hw.PortCOM = 4;
    hw.PortDevice = "/dev/serial/by-id/usb-Halvex-if00";
    hw.OverBlueTooth = true;
    hw.OffsetLevelLight = 0.00375;
    hw.InterVal_Rec_EEPROM.DefaultValue = 300;
    s.RangeDateDisplay = 10;
    s.Disp_Gap_Display = 0.125;
    s.FileDataStored = "/srv/obs/datas/";
    s.TimeMinIntSavDatas = 15;
    s.UnderSampleDataFactor = 6;
    s.NbMonthtoLoad = 3;
    s.Log.VerboseLevel = LogExpert;
    s.InterValLightPoolSec = 240;
    s.MagniDisplay = true;
    hw.DisableHeater.DefaultValue = true;
    roof.DoWatch.DefaultValue = true;
    roof.TempSky.DefaultValue = -12.5;
    roof.RH.DefaultValue = 85;
    roof.Wind.DefaultValue = 40;
    roof.Light.DefaultValue = true;
    roof.ValueMag.DefaultValue = 8.5;
    roof.DoReamAuto = true;
    roof.AfterMinutes = 45;
    s.SeuilCloudy = -25;
    s.SeuilVeryCloudy = -3;
    s.SeuilWindy_km = 8;
    s.SeuilVeryWindy_km = 30;
    s.SeuilNight = 19.5;
    s.SeuilDawn = 15.25;
    s.SeuilDay = 7.1;
    s.FileCLoudSensorVersion = CloudSensorII_File;
    s.BoltWoodFileName = "/srv/obs/clarity \"line\".txt";
    hw.RH_Correction = 0.95;
    s.Sound_at_RelayClose = "/usr/share/sounds/relay.wav";
    s.Soft_OnRelayClose = "/usr/local/bin/park-telescope --now";
    s.Sound_on_goodCond = "";
    s.Sound_on_BadCond = "bad.wav";
    auto& web = s.SetupWebPublish;
    web.Enabled = true;
    web.HostName = "ftp.observatory.test";
    web.login = "obs";
    web.PassWord = "s3cret";
    web.RemotePath = "/www/sky";
    web.PassiveFTP = false;
    web.IntervallSec = 70000; // beyond 16 bits
    web.CompressionLevelJPEG = 75;
    web.Lx_AllGraphs = 1000;
    web.Ly_AllGraphs = 600;
    web.Lx_GrWspeed = 700;
    web.Ly_GrWspeed = 400;
    web.L_GrWDir = 500;
}

// Each confirmation hands the store its values in the order the program has always written them,
// with their kinds, and the store keeps the same texts.
TEST_F(SettingsRowsTest, EachConfirmationWritesItsValuesInItsOrder) {
    SetEveryDialogFieldAwayFromItsDefault();
    WriteJournal journal(reg);
    const auto stored = [this](const QString& key) { return Stored(key); };

    WriteConfigDialogSettings();
    EXPECT_EQ(journal.Take(stored),
              (std::vector<std::string>{
                  R"(Config/PortCom = 4 (18))",
                  R"(Config/PortDevice = "/dev/serial/by-id/usb-Halvex-if00" (256))",
                  R"(Config/BlueTooth = Yes (11))",
                  R"(Config/Offset_Photodiode = 0.00375 (5))",
                  R"(Config/InterVal_REC_EEP_sec = 300 (3))",
                  R"(Config/DateDisplay = 10 (5))",
                  R"(Config/GapPixel = 0.125 (5))",
                  R"(Config/FileData = "/srv/obs/datas/" (256))",
                  R"(Config/IntSAVDATAS_Min = 15 (3))",
                  R"(Config/UnderSampleDataFactor = 6 (18))",
                  R"(Config/NbMonthtoLoad = 3 (18))",
                  R"(Config/VerboseLevel = 1 (17))",
                  R"(Config/DiodeIntegrationTimeSec = 240 (19))",
                  R"(Config/DisplayMag = Yes (11))",
                  R"(Config/Disableheater = Yes (11))",
                  R"(CloseCriteria/Enabled = Yes (11))",
                  R"(CloseCriteria/TempSky = -12.5 (5))",
                  R"(CloseCriteria/RH = 85 (17))",
                  R"(CloseCriteria/Wind = 40 (17))",
                  R"(CloseCriteria/Light = Yes (11))",
                  R"(CloseCriteria/Mag = 8.5 (5))",
                  R"(CloseCriteria/ReArmAuto = Yes (11))",
                  R"(CloseCriteria/AfterMin = 45 (18))",
                  R"(Config/SeuilVeryCloudy = -3 (3))",
                  R"(Config/SeuilCloudy = -25 (3))",
                  R"(Config/SeuilVeryWindy = 30 (3))",
                  R"(Config/SeuilWindy = 8 (3))",
                  R"(Config/SeuilDawn = 15.25 (5))",
                  R"(Config/SeuilNight = 19.5 (5))",
                  R"(Config/SeuilDay = 7.1 (5))",
                  R"(Config/FileCLoudSensorVersion = 2 (17))",
                  R"(Config/BoltWoodFileName = "/srv/obs/clarity "line".txt" (256))",
                  R"(Config/RH_Correction = 0.95 (5))",
                  R"(Config/Sounds/Sound_at_RelayClose = "/usr/share/sounds/relay.wav" (256))",
                  R"(Config/Sounds/Soft_OnRelayClose = "/usr/local/bin/park-telescope --now" (256))",
                  R"(Config/Sounds/Sound_on_goodCond = "" (256))",
                  R"(Config/Sounds/Sound_on_BadCond = "bad.wav" (256))",
              }));

    WriteWebPublishSettings();
    EXPECT_EQ(journal.Take(stored), (std::vector<std::string>{
                                        R"(Webpublish/Enabled = Yes (11))",
                                        R"(Webpublish/Hostname = "ftp.observatory.test" (256))",
                                        R"(Webpublish/Login = "obs" (256))",
                                        R"(Webpublish/Pass = "s3cret" (256))",
                                        R"(Webpublish/RemotePath = "/www/sky" (256))",
                                        R"(Webpublish/PassiveFTP = No (11))",
                                        R"(Webpublish/intervallSec = 70000 (19))",
                                        R"(Webpublish/JpegCompress = 75 (17))",
                                        R"(Webpublish/Lx_AllGraphs = 1000 (3))",
                                        R"(Webpublish/Ly_AllGraphs = 600 (3))",
                                        R"(Webpublish/Lx_GrWspeed = 700 (3))",
                                        R"(Webpublish/Ly_GrWspeed = 400 (3))",
                                        R"(Webpublish/L_GrWDir = 500 (3))",
                                        R"(Webpublish/VerifyPeer = Yes (11))",
                                        R"(Webpublish/IndexPage = Yes (11))",
                                    }));

    WriteCurrentLang(LangFrench);
    EXPECT_EQ(journal.Take(stored), (std::vector<std::string>{R"(Config/CurrentLang = 1036 (3))"}));

    WriteStatsRange(FixedNow - 30, FixedNow - 1);
    EXPECT_EQ(journal.Take(stored), (std::vector<std::string>{
                                        R"(Stats/DateDeb = 45336.9375 (5))",
                                        R"(Stats/DateFin = 45365.9375 (5))",
                                    }));
}

std::string Name(const TSettingRow& row) {
    return std::string(row.Group) + " " + row.Key;
}

// Held at load, after a start on a fresh profile, and once the dialog has opened: each row's field
// holds the default its row says at that moment.
TEST_F(SettingsRowsTest, EveryRowsDefaultIsWhatAFreshStartHolds) {
    InitStartValues();
    TStartupSettings startup;
    TSettingsPlace place{SetupInfos, startup};
    for (const TSettingRow& row : SettingsRows())
        if (HeldFromLoad(row.DefaultAt)) {
            EXPECT_TRUE(SettingValue(row, place).SameValue(row.Default.Get())) << Name(row) << " at load";
        }

    startup = LoadStartupSettings();
    for (const TSettingRow& row : SettingsRows())
        EXPECT_TRUE(SettingValue(row, place).SameValue(row.Default.Get())) << Name(row) << " after the start";

    ReadConfigDialogSettings();
    for (const TSettingRow& row : SettingsRows()) {
        const TSettingDefault& shown = row.Opened.Default.IsSet() ? row.Opened.Default : row.Default;
        EXPECT_TRUE(SettingValue(row, place).SameValue(shown.Get())) << Name(row) << " in the dialog";
    }
}

// Each event's steps run 1, 2, 3 ... and every setting has one place.
TEST_F(SettingsRowsTest, EachEventHasOneRowPerStepAndEachSettingOneRow) {
    std::map<std::string, int> settings;
    std::map<TWriteAt, std::vector<int>> writes;
    std::vector<int> opened;
    for (const TSettingRow& row : SettingsRows()) {
        ++settings[Name(row)];
        // The network server's settings are edited in the settings file, no dialog stores them.
        if (std::string(row.Group) != KeyAlpaca) {
            EXPECT_NE(row.Written.At, TWriteAt::NotWritten) << Name(row);
        }
        writes[row.Written.At].push_back(row.Written.Step);
        if (row.Opened.Step) opened.push_back(row.Opened.Step);
    }
    for (const auto& [name, count] : settings)
        EXPECT_EQ(count, 1) << name;
    const auto expectOneToN = [](std::vector<int> steps, const char* event) {
        std::sort(steps.begin(), steps.end());
        for (size_t i = 0; i < steps.size(); ++i)
            EXPECT_EQ(steps[i], int(i) + 1) << event;
    };
    expectOneToN(writes[TWriteAt::DialogOk], "dialog OK");
    expectOneToN(writes[TWriteAt::WebDialogOk], "web dialog OK");
    expectOneToN(writes[TWriteAt::LanguageMenu], "language menu");
    expectOneToN(writes[TWriteAt::Statistics], "statistics");
    expectOneToN(writes[TWriteAt::MqttTabOk], "MQTT tab OK");
    expectOneToN(writes[TWriteAt::NightVisionMenu], "night-vision menu");
    expectOneToN(opened, "dialog open");
}

// What a dialog bound to the rows would do: set every field it stores to a value other than its
// default, confirm, restart, open the dialog again, and find the same values.
TEST_F(SettingsRowsTest, WhatTheDialogsSetThroughTheRowsComesBack) {
    const std::map<std::string, TVariant> chosen = {
        {"\\Config PortCom", 4},
        {"\\Config PortDevice", "/dev/ttyUSB1"},
        {"\\Config BlueTooth", true},
        {"\\Config DateDisplay", 182},
        {"\\Config GapPixel", 0.375},
        {"\\Config Offset_Photodiode", 0.0041},
        {"\\Config InterVal_REC_EEP_sec", 2700},
        {"\\Config VerboseLevel", 1},
        {"\\Config DisplayMag", true},
        {"\\Config SeuilCloudy", -31},
        {"\\Config SeuilVeryCloudy", -2},
        {"\\Config SeuilNight", 19.25},
        {"\\Config SeuilDawn", 13.5},
        {"\\Config SeuilDay", 5.75},
        {"\\Config SeuilWindy", 12},
        {"\\Config SeuilVeryWindy", 44},
        {"\\Config IntSAVDATAS_Min", 1440},
        {"\\Config UnderSampleDataFactor", 30},
        {"\\Config FileCLoudSensorVersion", 0},
        {"\\Config BoltWoodFileName", "/var/lib/obs/boltwood line.txt"},
        {"\\Config RH_Correction", 1.15},
        {"\\Config NbMonthtoLoad", 100},
        {"\\Config DiodeIntegrationTimeSec", 300},
        {"\\Config Disableheater", true},
        {"\\Config FileData", "/srv/datas/"},
        {"\\Config\\Sounds Sound_at_RelayClose", "close.wav"},
        {"\\Config\\Sounds Soft_OnRelayClose", "/usr/bin/park"},
        {"\\Config\\Sounds Sound_on_goodCond", "good.wav"},
        {"\\Config\\Sounds Sound_on_BadCond", ""},
        {"\\CloseCriteria Enabled", true},
        {"\\CloseCriteria TempSky", -33.5},
        {"\\CloseCriteria RH", 0},
        {"\\CloseCriteria Wind", 100},
        {"\\CloseCriteria Light", true},
        {"\\CloseCriteria Mag", 13.0},
        {"\\CloseCriteria ReArmAuto", true},
        {"\\CloseCriteria AfterMin", 1000},
        {"\\Webpublish Enabled", true},
        {"\\Webpublish Hostname", "ftp.sky.test"},
        {"\\Webpublish Login", "night"},
        {"\\Webpublish Pass", "p\"w"},
        {"\\Webpublish RemotePath", "/pub/"},
        {"\\Webpublish PassiveFTP", false},
        {"\\Webpublish intervallSec", 4000000000u},
        {"\\Webpublish JpegCompress", 1},
        {"\\Webpublish Lx_AllGraphs", 10000},
        {"\\Webpublish Ly_AllGraphs", 100},
        {"\\Webpublish Lx_GrWspeed", 640},
        {"\\Webpublish Ly_GrWspeed", 480},
        {"\\Webpublish L_GrWDir", 9999},
        {"\\Webpublish VerifyPeer", false},
        {"\\Webpublish IndexPage", false},
    };
    TStartupSettings startup;
    TSettingsPlace place{SetupInfos, startup};
    std::vector<const TSettingRow*> dialogRows;
    for (const TSettingRow& row : SettingsRows()) {
        if (row.Written.At != TWriteAt::DialogOk && row.Written.At != TWriteAt::WebDialogOk) continue;
        dialogRows.push_back(&row);
        const auto value = chosen.find(Name(row));
        ASSERT_NE(value, chosen.end()) << Name(row) << " has no value in this test";
        EXPECT_FALSE(value->second.SameValue(row.Default.Get())) << Name(row);
        EXPECT_TRUE(SetSettingValue(row, place, value->second)) << Name(row);
    }
    EXPECT_EQ(dialogRows.size(), chosen.size());
    WriteConfigDialogSettings();
    WriteWebPublishSettings();

    InitStartValues();
    startup = LoadStartupSettings();
    ReadConfigDialogSettings();
    for (const TSettingRow* row : dialogRows) {
        if (row->Start == TStartRead::NotRead && !row->Opened.Step) continue; // stored, never read back
        EXPECT_TRUE(SettingValue(*row, place).SameValue(chosen.at(Name(*row))))
            << Name(*row) << " came back as " << SettingValue(*row, place).AsString();
    }
}

// A dialog's value the field cannot hold as it is, or that the row's range refuses, leaves the
// field as it was.
TEST_F(SettingsRowsTest, ADialogValueThatDoesNotFitLeavesTheField) {
    struct Case {
        const char* group;
        const char* key;
        TVariant value;
        bool taken;
    };
    const std::vector<Case> cases = {
        {KeyConfig, "NbMonthtoLoad", 100, true},
        {KeyConfig, "NbMonthtoLoad", 101, false},
        {KeyConfig, "NbMonthtoLoad", 65537, false}, // would pass for 1 in 16 bits
        {KeyConfig, "NbMonthtoLoad", 2.5, false},
        {KeyConfig, "NbMonthtoLoad", "3", true},
        {KeyConfig, "NbMonthtoLoad", "three", false},
        {KeyConfig, "RH_Correction", 0.8, true},
        {KeyConfig, "RH_Correction", std::nan(""), false},
        {KeyConfig, "DateDisplay", 3, false},
        {KeyConfig, "DateDisplay", 36500, true},
        {KeyCloseCriteria, "TempSky", -50.5, false},
        {KeyWebpublish, "intervallSec", -1, false},
        {KeyWebpublish, "JpegCompress", 256, false},
        {KeyWebpublish, "Hostname", "", true},
    };
    TStartupSettings startup;
    TSettingsPlace place{SetupInfos, startup};
    for (const Case& c : cases) {
        const TSettingRow* row = FindSetting(c.group, c.key);
        ASSERT_NE(row, nullptr) << c.key;
        const TVariant before = SettingValue(*row, place);
        EXPECT_EQ(SetSettingValue(*row, place, c.value), c.taken) << c.key << " " << c.value.AsString();
        if (!c.taken) {
            EXPECT_TRUE(SettingValue(*row, place).SameValue(before)) << c.key << " " << c.value.AsString();
        }
    }
}

// The MQTT rows: the defaults on a fresh profile (the client named after the computer), and a stored
// value no broker setting can take falls back to its default.
TEST_F(SettingsRowsTest, MqttSettingsHaveTheirDefaultsAndRefuseImpossibleValues) {
    const TMqttSettings fresh = ReadMqttSettings();
    EXPECT_FALSE(fresh.Enabled);
    EXPECT_EQ(fresh.Host, "127.0.0.1");
    EXPECT_EQ(fresh.Port, 1883);
    EXPECT_EQ(fresh.TopicPrefix, "orvanel");
    EXPECT_EQ(fresh.DiscoveryPrefix, "homeassistant");
    EXPECT_TRUE(fresh.Discovery);
    EXPECT_TRUE(fresh.VerifyPeer);
    EXPECT_EQ(fresh.QoS, 1);
    EXPECT_EQ(fresh.KeepAliveSec, 60);
    EXPECT_EQ(fresh.ClientId, DefaultMqttClientId());
    EXPECT_EQ(fresh.ClientId.rfind("orvanel-", 0), 0u) << fresh.ClientId;

    reg.WriteCFGtoRegister(KeyMqtt, TVariant(int32_t{3}), "QoS");
    reg.WriteCFGtoRegister(KeyMqtt, TVariant(int32_t{0}), "Port");
    reg.WriteCFGtoRegister(KeyMqtt, TVariant(int32_t{2}), "KeepAliveSec");
    reg.WriteCFGtoRegister(KeyMqtt, TVariant(std::string("dome-7")), "ClientId");
    const TMqttSettings read = ReadMqttSettings();
    EXPECT_EQ(read.QoS, 1);
    EXPECT_EQ(read.Port, 1883);
    EXPECT_EQ(read.KeepAliveSec, 60);
    EXPECT_EQ(read.ClientId, "dome-7");
}

} // namespace
