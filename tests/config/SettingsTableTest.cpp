#include <cmath>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <QDir>
#include <sys/stat.h>
#include <unistd.h>

#include "Log.h"
#include "Records.h"
#include "RegistryTestSupport.h"
#include "SettingsTable.h"

namespace {

const TDateTime FixedNow = EncodeDateTime(2024, 3, 15, 22, 30, 0);

class SettingsTableTest : public RegistryTest {
  protected:
    void SetUp() override {
        RegistryTest::SetUp();
        SetClockForTests([] { return FixedNow; });
    }
};

TEST_F(SettingsTableTest, AFreshProfileStartsWithTheBuiltInDefaults) {
    const TStartupSettings started = LoadStartupSettings();
    const auto& s = SetupInfos;
    const auto& hw = s.SetupInfos_HW;
    EXPECT_EQ(hw.PortCOM, 1);
    EXPECT_EQ(hw.PortDevice, "");
    EXPECT_FALSE(hw.OverBlueTooth);
    EXPECT_EQ(s.NbMonthtoLoad, 1);
    EXPECT_EQ(s.RangeDateDisplay, 1.0);
    EXPECT_EQ(s.Disp_Gap_Display, 0.05);
    EXPECT_EQ(hw.OffsetLevelLight, 0.0025);
    EXPECT_EQ(hw.InterVal_Rec_EEPROM.DefaultValue, 60);
    EXPECT_EQ(s.Log.VerboseLevel, LogBasic);
    EXPECT_EQ(s.SeuilCloudy, -20);
    EXPECT_EQ(s.SeuilVeryWindy_km, 15);
    EXPECT_EQ(s.SeuilDay, 6.8);
    EXPECT_EQ(s.TimeMinIntSavDatas, 30);
    EXPECT_EQ(s.UnderSampleDataFactor, 3);
    EXPECT_EQ(s.FileCLoudSensorVersion, CloudSensorI_File);
    EXPECT_EQ(s.BoltWoodFileName, Root() + "run/recfile.txt");
    EXPECT_EQ(hw.RH_Correction, 1.0);
    EXPECT_EQ(s.FileDataStored, PathDatas);
    EXPECT_FALSE(s.SetupWebPublish.Enabled);
    EXPECT_EQ(s.SetupWebPublish.HostName, "ftp.example.org");
    EXPECT_TRUE(s.SetupWebPublish.PassiveFTP);
    EXPECT_EQ(s.SetupWebPublish.IntervallSec, 60u);
    EXPECT_EQ(s.SetupWebPublish.CompressionLevelJPEG, 100);
    EXPECT_EQ(s.SetupWebPublish.L_GrWDir, 465);
    EXPECT_EQ(s.Sound_at_RelayClose, "BadCond_relayClose.wav");
    EXPECT_EQ(s.Sound_on_Rainning, "Rain_pending.wav");
    EXPECT_FALSE(s.RoofCloserCriterias.DoReamAuto);
    EXPECT_EQ(s.RoofCloserCriterias.AfterMinutes, 120);
    EXPECT_EQ(s.InterValLightPoolSec, 60u);
    EXPECT_EQ(started.CurrentLang, LangEnglish);
    EXPECT_EQ(started.DateDeb, FixedNow - 5);
    EXPECT_EQ(started.DateFin, FixedNow);
}

// The network server's settings: defaults, identifiers made once and kept, a bad port refused.
// The one-line file goes to the user's own runtime folder, never to a folder others can write to
// (where another user could have made the file first), else to the data folder.
TEST_F(SettingsTableTest, TheConditionFileDefaultsToAFolderOfTheUsersOwn) {
    const std::string run = Root() + "run";
    const std::string open = Root() + "open";
    const std::string others = Root() + "others";
    std::filesystem::create_directories(open);
    std::filesystem::create_directories(others);
    ::chmod(open.c_str(), 01777);
    ::chmod(others.c_str(), 0700);
    ASSERT_EQ(::chown(others.c_str(), 4242, 4242), 0);
    const struct {
        const char* name;
        std::optional<std::string> runtime; // XDG_RUNTIME_DIR; nothing: not set
        std::string expected;
    } cases[] = {
        {"own runtime folder", run, run + "/recfile.txt"},
        {"own runtime folder with a slash", run + "/", run + "/recfile.txt"},
        {"not set", std::nullopt, PathDatas + "recfile.txt"},
        {"shared /tmp", "/tmp", PathDatas + "recfile.txt"},
        {"open to others", open, PathDatas + "recfile.txt"},
        {"another user's", others, PathDatas + "recfile.txt"},
        {"missing", Root() + "gone", PathDatas + "recfile.txt"},
        {"relative", "run", PathDatas + "recfile.txt"},
    };
    for (const auto& c : cases) {
        if (c.runtime)
            ::setenv("XDG_RUNTIME_DIR", c.runtime->c_str(), 1);
        else
            ::unsetenv("XDG_RUNTIME_DIR");
        EXPECT_EQ(DefaultBoltWoodFileName(), c.expected) << c.name;
    }
}

TEST_F(SettingsTableTest, AlpacaSettingsKeepTheirDeviceIdentifiers) {
    const TAlpacaSettings first = ReadAlpacaSettings();
    EXPECT_TRUE(first.Enabled);
    EXPECT_EQ(first.Address, "127.0.0.1");
    EXPECT_EQ(first.Port, 11111);
    EXPECT_EQ(first.DiscoveryPort, 32227);
    EXPECT_EQ(first.SafeDelayMin, 10.0);
    EXPECT_FALSE(first.UnsafeInDaylight);
    EXPECT_EQ(first.UniqueIDObservingConditions.size(), 36u);
    EXPECT_NE(first.UniqueIDObservingConditions, first.UniqueIDSafetyMonitor);

    DatabaseRegistry().WriteCFGtoRegister(KeyAlpaca, TVariant(int32_t{70000}), "Port");
    DatabaseRegistry().WriteCFGtoRegister(KeyAlpaca, TVariant(0.25), "SafeDelayMin");
    const TAlpacaSettings second = ReadAlpacaSettings();
    EXPECT_EQ(second.UniqueIDObservingConditions, first.UniqueIDObservingConditions);
    EXPECT_EQ(second.UniqueIDSafetyMonitor, first.UniqueIDSafetyMonitor);
    EXPECT_EQ(second.Port, 11111);
    EXPECT_NE(ReadWholeFile(PathLogs + LogFileNameToday())
                  .find("Setting \"Port\" = 70000 is out of range [1..65535] -> default 11111 used"),
              std::string::npos);
    EXPECT_EQ(second.SafeDelayMin, 0.25);
}

TEST_F(SettingsTableTest, TheMonthsToLoadAreLogged) {
    Plant("Config/NbMonthtoLoad", QString("4"));
    LoadStartupSettings();
    EXPECT_EQ(SetupInfos.NbMonthtoLoad, 4);
    const std::string log = ReadWholeFile(PathLogs + LogFileNameToday());
    EXPECT_NE(log.find(" : Amount of months to load : 4\r\n"), std::string::npos) << log;
}

// The lines of today's log that report a refused setting.
std::vector<std::string> RefusalLines() {
    std::vector<std::string> found;
    for (const std::string& line : SplitLines(ReadWholeFile(PathLogs + LogFileNameToday())))
        if (const auto at = line.find(" : Setting \""); at != std::string::npos)
            found.push_back(line.substr(at + 3));
    return found;
}

// A value stored by hand, what the field holds after the start-up and the dialog's reads, and the
// log line (none when the value is kept).
struct StoredValueCase {
    const char* name;
    const char* key; // "Group/Name" in the INI file
    const char* stored;
    std::function<double(const TStartupSettings&)> field;
    double expected;
    const char* logLine;
};

class StoredValueTest : public SettingsTableTest, public ::testing::WithParamInterface<StoredValueCase> {};

TEST_P(StoredValueTest, IsKeptInsideItsRangeAndReplacedByItsDefaultOutside) {
    const auto& c = GetParam();
    Plant(c.key, QString(c.stored));
    const TStartupSettings started = LoadStartupSettings();
    ReadConfigDialogSettings();
    EXPECT_EQ(c.field(started), c.expected);
    const std::vector<std::string> expectedLines =
        *c.logLine ? std::vector<std::string>{c.logLine} : std::vector<std::string>{};
    EXPECT_EQ(RefusalLines(), expectedLines);
}

double Months(const TStartupSettings&) {
    return SetupInfos.NbMonthtoLoad;
}
double SaveMinutes(const TStartupSettings&) {
    return SetupInfos.TimeMinIntSavDatas;
}
double RhCorrection(const TStartupSettings&) {
    return SetupInfos.SetupInfos_HW.RH_Correction;
}

INSTANTIATE_TEST_SUITE_P(
    Settings, StoredValueTest,
    ::testing::Values(
        StoredValueCase{"MonthsZero", "Config/NbMonthtoLoad", "0", Months, 1,
                        "Setting \"NbMonthtoLoad\" = 0 is out of range [1..100] -> default 1 used"},
        StoredValueCase{"MonthsNegative", "Config/NbMonthtoLoad", "-1", Months, 1,
                        "Setting \"NbMonthtoLoad\" = -1 is out of range [1..100] -> default 1 used"},
        // Not cut to 16 bits first (65538 would pass for 2).
        StoredValueCase{"MonthsBeyond16Bits", "Config/NbMonthtoLoad", "65538", Months, 1,
                        "Setting \"NbMonthtoLoad\" = 65538 is out of range [1..100] -> default 1 used"},
        StoredValueCase{"MonthsHighestEdge", "Config/NbMonthtoLoad", "100", Months, 100, ""},
        // Typed by hand, no number at all: said too.
        StoredValueCase{"MonthsInWords", "Config/NbMonthtoLoad", "twelve", Months, 1,
                        "Setting \"NbMonthtoLoad\" = \"twelve\" is not a number -> 1 used"},
        StoredValueCase{"MonthsEmpty", "Config/NbMonthtoLoad", "", Months, 1,
                        "Setting \"NbMonthtoLoad\" = \"\" is not a number -> 1 used"},
        StoredValueCase{"RhInWords", "Config/RH_Correction", "one", RhCorrection, 1.0,
                        "Setting \"RH_Correction\" = \"one\" is not a number -> 1 used"},
        StoredValueCase{"FlagInLowerCase", "Webpublish/Enabled", "yes",
                        [](const TStartupSettings&) { return double(SetupInfos.SetupWebPublish.Enabled); }, 0,
                        "Setting \"Enabled\" = yes is neither Yes nor No -> No used"},
        StoredValueCase{"FlagAsWritten", "Webpublish/Enabled", "Yes",
                        [](const TStartupSettings&) { return double(SetupInfos.SetupWebPublish.Enabled); }, 1, ""},
        StoredValueCase{"SaveMinutesOverflowingTheTimer", "Config/IntSAVDATAS_Min", "35792", SaveMinutes, 30,
                        "Setting \"IntSAVDATAS_Min\" = 35792 is out of range [1..1440] -> default 30 used"},
        StoredValueCase{"SaveMinutesAboveTheEdge", "Config/IntSAVDATAS_Min", "1441", SaveMinutes, 30,
                        "Setting \"IntSAVDATAS_Min\" = 1441 is out of range [1..1440] -> default 30 used"},
        StoredValueCase{"SaveMinutesLowestEdge", "Config/IntSAVDATAS_Min", "1", SaveMinutes, 1, ""},
        StoredValueCase{"SaveMinutesHighestEdge", "Config/IntSAVDATAS_Min", "1440", SaveMinutes, 1440, ""},
        StoredValueCase{"RhNan", "Config/RH_Correction", "nan", RhCorrection, 1.0,
                        "Setting \"RH_Correction\" = nan is out of range [0.8..1.2] -> default 1 used"},
        StoredValueCase{"RhInf", "Config/RH_Correction", "inf", RhCorrection, 1.0,
                        "Setting \"RH_Correction\" = inf is out of range [0.8..1.2] -> default 1 used"},
        StoredValueCase{"RhMinusInf", "Config/RH_Correction", "-INF", RhCorrection, 1.0,
                        "Setting \"RH_Correction\" = -inf is out of range [0.8..1.2] -> default 1 used"},
        StoredValueCase{"RhFive", "Config/RH_Correction", "5.0", RhCorrection, 1.0,
                        "Setting \"RH_Correction\" = 5 is out of range [0.8..1.2] -> default 1 used"},
        StoredValueCase{"RhLowestEdge", "Config/RH_Correction", "0.8", RhCorrection, 0.8, ""},
        StoredValueCase{"RhHighestEdge", "Config/RH_Correction", "1.2", RhCorrection, 1.2, ""},
        // A measured dark current comes back even outside what may be typed in the dialog.
        StoredValueCase{"DarkCurrentMeasuredHigh", "Config/Offset_Photodiode", "0.0095",
                        [](const TStartupSettings&) { return SetupInfos.SetupInfos_HW.OffsetLevelLight; },
                        0.0095, ""},
        StoredValueCase{"DarkCurrentMeasuredLow", "Config/Offset_Photodiode", "0.0004",
                        [](const TStartupSettings&) { return SetupInfos.SetupInfos_HW.OffsetLevelLight; },
                        0.0004, ""},
        StoredValueCase{"DarkCurrentBeyondAnyMeasurement", "Config/Offset_Photodiode", "0.02",
                        [](const TStartupSettings&) { return SetupInfos.SetupInfos_HW.OffsetLevelLight; },
                        0.0025,
                        "Setting \"Offset_Photodiode\" = 0.02 is out of range [0..0.01] -> default 0.0025 used"},
        StoredValueCase{"GapLowestEdge", "Config/GapPixel", "0.0001",
                        [](const TStartupSettings&) { return SetupInfos.Disp_Gap_Display; }, 0.0001, ""},
        StoredValueCase{"CloudyBelowTheEdge", "Config/SeuilCloudy", "-51",
                        [](const TStartupSettings&) { return double(SetupInfos.SeuilCloudy); }, -20,
                        "Setting \"SeuilCloudy\" = -51 is out of range [-50..50] -> default -20 used"},
        StoredValueCase{"CloudyLowestEdge", "Config/SeuilCloudy", "-50",
                        [](const TStartupSettings&) { return double(SetupInfos.SeuilCloudy); }, -50, ""},
        StoredValueCase{"DisplayRangeNotInTheList", "Config/DateDisplay", "3",
                        [](const TStartupSettings&) { return SetupInfos.RangeDateDisplay; }, 1,
                        "Setting \"DateDisplay\" = 3 is not one of {1, 2, 10, 30, 60, 182, 365, 36500} -> "
                        "default 1 used"},
        StoredValueCase{"DisplayRangeAll", "Config/DateDisplay", "36500",
                        [](const TStartupSettings&) { return SetupInfos.RangeDateDisplay; }, 36500, ""},
        // Its low byte (2) would be a valid flavour.
        StoredValueCase{
            "FlavourBeyondOneByte", "Config/FileCLoudSensorVersion", "258",
            [](const TStartupSettings&) { return double(SetupInfos.FileCLoudSensorVersion); }, 1,
            "Setting \"FileCLoudSensorVersion\" = 258 is not one of {0, 1, 2, 3} -> default 1 used"},
        StoredValueCase{"NoFlavour", "Config/FileCLoudSensorVersion", "0",
                        [](const TStartupSettings&) { return double(SetupInfos.FileCLoudSensorVersion); }, 0,
                        ""},
        StoredValueCase{
            "JpegQualityZero", "Webpublish/JpegCompress", "0",
            [](const TStartupSettings&) { return double(SetupInfos.SetupWebPublish.CompressionLevelJPEG); },
            100, "Setting \"JpegCompress\" = 0 is out of range [1..100] -> default 100 used"},
        // Without a range: any finite number is kept, a number that is not finite is not.
        StoredValueCase{
            "UploadIntervalWithoutLimit", "Webpublish/intervallSec", "4000000000",
            [](const TStartupSettings&) { return double(SetupInfos.SetupWebPublish.IntervallSec); }, 4e9, ""},
        StoredValueCase{"StatisticsStartNan", "Stats/DateDeb", "nan",
                        [](const TStartupSettings& s) { return s.DateDeb; }, FixedNow - 5,
                        "Setting \"DateDeb\" = nan is not a finite number -> default 45361.9375 used"},
        // The dialog's reads fall back to the defaults the dialog shows.
        StoredValueCase{
            "SkyCriterionOutside", "CloseCriteria/TempSky", "50.5",
            [](const TStartupSettings&) { return SetupInfos.RoofCloserCriterias.TempSky.DefaultValue; }, -20,
            "Setting \"TempSky\" = 50.5 is out of range [-50..50] -> default -20 used"},
        StoredValueCase{
            "LightIntervalBelowTheEdge", "Config/DiodeIntegrationTimeSec", "29",
            [](const TStartupSettings&) { return double(SetupInfos.InterValLightPoolSec); }, 60,
            "Setting \"DiodeIntegrationTimeSec\" = 29 is out of range [30..300] -> default 60 used"},
        StoredValueCase{
            "HumidityCriterionHighestEdge", "CloseCriteria/RH", "100",
            [](const TStartupSettings&) { return double(SetupInfos.RoofCloserCriterias.RH.DefaultValue); },
            100, ""}),
    [](const auto& info) { return std::string(info.param.name); });

// The start-up reads the memory interval with its own default, the dialog with another one; a
// refused value is reported by each.
TEST_F(SettingsTableTest, TheMemoryIntervalIsCheckedAtStartAndWhenTheDialogOpens) {
    Plant("Config/InterVal_REC_EEP_sec", QString("7"));
    LoadStartupSettings();
    EXPECT_EQ(SetupInfos.SetupInfos_HW.InterVal_Rec_EEPROM.DefaultValue, 60);
    ReadConfigDialogSettings();
    EXPECT_EQ(SetupInfos.SetupInfos_HW.InterVal_Rec_EEPROM.DefaultValue, 120);
    const std::string list = "{10, 30, 60, 120, 180, 300, 600, 900, 1200, 1800, 2700, 3600}";
    EXPECT_EQ(RefusalLines(),
              (std::vector<std::string>{
                  "Setting \"InterVal_REC_EEP_sec\" = 7 is not one of " + list + " -> default 60 used",
                  "Setting \"InterVal_REC_EEP_sec\" = 7 is not one of " + list + " -> default 120 used",
              }));
}

// Zero months would load no history, and the next save would overwrite the month on disk.
TEST_F(SettingsTableTest, ZeroMonthsToLoadLoadsOneAndSaysSo) {
    Plant("Config/NbMonthtoLoad", QString("0"));
    LoadStartupSettings();
    const std::vector<std::string> lines = SplitLines(ReadWholeFile(PathLogs + LogFileNameToday()));
    ASSERT_GE(lines.size(), 2u);
    EXPECT_NE(lines[0].find(" : Setting \"NbMonthtoLoad\" = 0 is out of range"), std::string::npos)
        << lines[0];
    EXPECT_NE(lines[1].find(" : Amount of months to load : 1"), std::string::npos) << lines[1];
}

// Each row's default is what a fresh start holds before the read, fits the row's range, and the
// row's codes can be read into its field.
TEST_F(SettingsTableTest, EveryRowFitsItsFieldAndItsDefaultFitsItsRange) {
    AssignStartupDefaults();
    TStartupSettings startup;
    TSettingsPlace place{SetupInfos, startup};
    for (const TSettingRow& row : SettingsRows()) {
        SCOPED_TRACE(std::string(row.Group) + " " + row.Key);
        const TRegTarget field = row.Field(place);
        ASSERT_TRUE(field.Accepts(row.Code));
        if (row.Opened.Code) {
            EXPECT_TRUE(field.Accepts(row.Opened.Code));
        }
        for (const TSettingDefault* fallback : {&row.Default, &row.Opened.Default}) {
            if (!fallback->IsSet()) continue;
            if (IsIntegerKind(row.Code) || row.Code == varDouble) {
                EXPECT_TRUE(row.Range.Contains(fallback->Get().AsDouble()));
            }
        }
        if (row.DefaultAt != TDefaultAt::StartRead) {
            EXPECT_TRUE(field.Current(row.Code).SameValue(row.Default.Get())) << row.Default.Get().AsString();
        }
    }
}

TEST_F(SettingsTableTest, VerboseLevelOneSelectsExpertLogging) {
    Plant("Config/VerboseLevel", QString("1"));
    LoadStartupSettings();
    EXPECT_EQ(SetupInfos.Log.VerboseLevel, LogExpert);
}

TEST_F(SettingsTableTest, WhatTheDialogsStoreComesBackAtTheNextStart) {
    LoadStartupSettings();
    auto& s = SetupInfos;
    auto& hw = s.SetupInfos_HW;
    hw.PortCOM = 4;
    hw.PortDevice = "/dev/serial/by-id/usb-Halvex-if00";
    hw.OverBlueTooth = true;
    hw.OffsetLevelLight = 0.00375;
    hw.InterVal_Rec_EEPROM.DefaultValue = 300;
    s.RangeDateDisplay = 10;
    s.Disp_Gap_Display = 0.125;
    s.TimeMinIntSavDatas = 15;
    s.UnderSampleDataFactor = 6;
    s.NbMonthtoLoad = 3;
    s.Log.VerboseLevel = LogExpert;
    s.MagniDisplay = true;
    s.RoofCloserCriterias.DoReamAuto = true;
    s.RoofCloserCriterias.AfterMinutes = 45;
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
    WriteConfigDialogSettings();
    WriteWebPublishSettings();
    WriteStatsRange(FixedNow - 30, FixedNow - 1);
    WriteCurrentLang(LangFrench);
    const TSetupInfos written = SetupInfos;

    InitStartValues();
    const TStartupSettings started = LoadStartupSettings();
    const auto& r = SetupInfos;
    EXPECT_EQ(r.SetupInfos_HW.PortCOM, 4);
    EXPECT_EQ(r.SetupInfos_HW.PortDevice, written.SetupInfos_HW.PortDevice);
    EXPECT_TRUE(r.SetupInfos_HW.OverBlueTooth);
    EXPECT_EQ(r.SetupInfos_HW.OffsetLevelLight, 0.00375);
    EXPECT_EQ(r.SetupInfos_HW.InterVal_Rec_EEPROM.DefaultValue, 300);
    EXPECT_EQ(r.RangeDateDisplay, 10);
    EXPECT_EQ(r.Disp_Gap_Display, 0.125);
    EXPECT_EQ(r.TimeMinIntSavDatas, 15);
    EXPECT_EQ(r.UnderSampleDataFactor, 6);
    EXPECT_EQ(r.NbMonthtoLoad, 3);
    EXPECT_EQ(r.Log.VerboseLevel, LogExpert);
    EXPECT_TRUE(r.MagniDisplay);
    EXPECT_TRUE(r.RoofCloserCriterias.DoReamAuto);
    EXPECT_EQ(r.RoofCloserCriterias.AfterMinutes, 45);
    EXPECT_EQ(r.SeuilCloudy, -25);
    EXPECT_EQ(r.SeuilVeryCloudy, -3);
    EXPECT_EQ(r.SeuilWindy_km, 8);
    EXPECT_EQ(r.SeuilVeryWindy_km, 30);
    EXPECT_EQ(r.SeuilNight, 19.5);
    EXPECT_EQ(r.SeuilDawn, 15.25);
    EXPECT_EQ(r.SeuilDay, 7.1);
    EXPECT_EQ(r.FileCLoudSensorVersion, CloudSensorII_File);
    EXPECT_EQ(r.BoltWoodFileName, written.BoltWoodFileName);
    EXPECT_EQ(r.SetupInfos_HW.RH_Correction, 0.95);
    EXPECT_EQ(r.Sound_at_RelayClose, written.Sound_at_RelayClose);
    EXPECT_EQ(r.Soft_OnRelayClose, written.Soft_OnRelayClose);
    EXPECT_EQ(r.Sound_on_goodCond, "");
    EXPECT_EQ(r.Sound_on_BadCond, "bad.wav");
    EXPECT_TRUE(r.SetupWebPublish.Enabled);
    EXPECT_EQ(r.SetupWebPublish.HostName, "ftp.observatory.test");
    EXPECT_EQ(r.SetupWebPublish.login, "obs");
    EXPECT_EQ(r.SetupWebPublish.PassWord, "s3cret");
    EXPECT_EQ(r.SetupWebPublish.RemotePath, "/www/sky");
    EXPECT_FALSE(r.SetupWebPublish.PassiveFTP);
    EXPECT_EQ(r.SetupWebPublish.IntervallSec, 70000u);
    EXPECT_EQ(r.SetupWebPublish.CompressionLevelJPEG, 75);
    EXPECT_EQ(r.SetupWebPublish.Lx_AllGraphs, 1000);
    EXPECT_EQ(r.SetupWebPublish.Ly_AllGraphs, 600);
    EXPECT_EQ(r.SetupWebPublish.Lx_GrWspeed, 700);
    EXPECT_EQ(r.SetupWebPublish.Ly_GrWspeed, 400);
    EXPECT_EQ(r.SetupWebPublish.L_GrWDir, 500);
    EXPECT_EQ(started.CurrentLang, LangFrench);
    EXPECT_EQ(started.DateDeb, FixedNow - 30);
    EXPECT_EQ(started.DateFin, FixedNow - 1);
    EXPECT_EQ(Stored("Config/FileData").toString().toStdString(), "\"" + PathDatas + "\"");
}

TEST_F(SettingsTableTest, TheLightIntervalIsReadOnlyWhenTheDialogOpens) {
    SetupInfos.InterValLightPoolSec = 120;
    WriteConfigDialogSettings();
    InitStartValues();
    LoadStartupSettings();
    EXPECT_EQ(SetupInfos.InterValLightPoolSec, 60u);
    ReadConfigDialogSettings();
    EXPECT_EQ(SetupInfos.InterValLightPoolSec, 120u);
}

TEST_F(SettingsTableTest, OpeningTheDialogResetsTheStationCellsToTheDialogDefaults) {
    auto& hw = SetupInfos.SetupInfos_HW;
    auto& roof = SetupInfos.RoofCloserCriterias;
    for (bool* valid : {&hw.LastDateSyst.Valid, &hw.DateSinceBoot.Valid, &hw.DisableHeater.Valid,
                        &hw.InterVal_Rec_EEPROM.Valid, &roof.DoWatch.Valid, &roof.TempSky.Valid,
                        &roof.RH.Valid, &roof.Wind.Valid, &roof.Light.Valid, &roof.ValueMag.Valid})
        *valid = true;
    hw.DisableHeater.DefaultValue = true;
    roof.DoWatch.DefaultValue = true;
    roof.Light.DefaultValue = true;
    roof.ValueMag.DefaultValue = 9;

    ReadConfigDialogSettings();
    EXPECT_EQ(roof.TempSky.DefaultValue, -20.0);
    EXPECT_EQ(roof.RH.DefaultValue, 100);
    EXPECT_EQ(roof.Wind.DefaultValue, 50);
    EXPECT_FALSE(roof.DoWatch.DefaultValue);
    EXPECT_FALSE(roof.Light.DefaultValue);
    EXPECT_EQ(roof.ValueMag.DefaultValue, 4.0);
    EXPECT_EQ(hw.InterVal_Rec_EEPROM.DefaultValue, 120);
    EXPECT_FALSE(hw.DisableHeater.DefaultValue);
    for (bool valid : {hw.LastDateSyst.Valid, hw.DateSinceBoot.Valid, hw.DisableHeater.Valid,
                       hw.InterVal_Rec_EEPROM.Valid, roof.DoWatch.Valid, roof.TempSky.Valid, roof.RH.Valid,
                       roof.Wind.Valid, roof.Light.Valid, roof.ValueMag.Valid})
        EXPECT_FALSE(valid);
}

TEST_F(SettingsTableTest, TheDialogReadsTheStoredCriteriaOverItsDefaults) {
    auto& hw = SetupInfos.SetupInfos_HW;
    auto& roof = SetupInfos.RoofCloserCriterias;
    roof.DoWatch.DefaultValue = true;
    roof.TempSky.DefaultValue = -12.5;
    roof.RH.DefaultValue = 85;
    roof.Wind.DefaultValue = 40;
    roof.Light.DefaultValue = true;
    roof.ValueMag.DefaultValue = 8.5;
    hw.DisableHeater.DefaultValue = true;
    hw.InterVal_Rec_EEPROM.DefaultValue = 1800;
    WriteConfigDialogSettings();
    InitStartValues();

    LoadStartupSettings(); // the criteria stay at their built-in values until the dialog opens
    EXPECT_EQ(roof.TempSky.DefaultValue, -10.0);
    EXPECT_EQ(hw.InterVal_Rec_EEPROM.DefaultValue, 1800);
    ReadConfigDialogSettings();
    EXPECT_TRUE(roof.DoWatch.DefaultValue);
    EXPECT_EQ(roof.TempSky.DefaultValue, -12.5);
    EXPECT_EQ(roof.RH.DefaultValue, 85);
    EXPECT_EQ(roof.Wind.DefaultValue, 40);
    EXPECT_TRUE(roof.Light.DefaultValue);
    EXPECT_EQ(roof.ValueMag.DefaultValue, 8.5);
    EXPECT_TRUE(hw.DisableHeater.DefaultValue);
    EXPECT_EQ(hw.InterVal_Rec_EEPROM.DefaultValue, 1800);
}

} // namespace
