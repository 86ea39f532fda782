#include "SettingsTable.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fmt/format.h>
#include <fmt/printf.h>
#include <QUuid>
#include <sys/stat.h>
#include <unistd.h>

#include "Log.h"
#include "Records.h"

std::string DefaultBoltWoodFileName() {
    // The user's own runtime folder (per user, closed to others), never the shared /tmp, where
    // another user could have put the file first.
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    struct stat st {};
    if (runtime && runtime[0] == '/' && ::stat(runtime, &st) == 0 && S_ISDIR(st.st_mode) &&
        st.st_uid == ::geteuid() && (st.st_mode & 077) == 0) {
        std::string folder = runtime;
        if (folder.back() != '/') folder += '/';
        return folder + "recfile.txt";
    }
    return PathDatas + "recfile.txt";
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
TVariant DataFolderDefault() {
    return TVariant(PathDatas);
}

// A value as the log shows it: "35792", "0.5", "nan", "-inf".
std::string NumberText(double value) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
    return FloatToText(value);
}

void LogRefused(const TSettingRow& row, const std::string& value, const TVariant& fallback) {
    LogToday(fmt::format("Setting \"{}\" = {} {} -> default {} used", row.Key, value, KeptRange(row).Refusal(),
                         fallback.AsString()));
}

// A value typed by hand that is no value of its kind ("Port=abc", "Port=", "Enabled=yes") is not
// taken: said in the log, as a value out of its range is.
void LogUnreadable(const TSettingRow& row, int code, const TRegTarget& field, TDatabaseRegistry& registry) {
    const std::optional<std::string> stored = registry.StoredText(row.Group, row.Key);
    if (!stored) return; // absent: the default, as always
    if (code == varBoolean) {
        std::string text = *stored;
        if (text.size() >= 2 && text.front() == '"' && text.back() == '"') text = text.substr(1, text.size() - 2);
        if (text == "Yes" || text == "No") return;
        LogToday(fmt::format("Setting \"{}\" = {} is neither Yes nor No -> No used", row.Key, *stored));
        return;
    }
    LogToday(fmt::format("Setting \"{}\" = \"{}\" is not a number -> {} used", row.Key, *stored,
                         field.Current(code).AsString()));
}

TSettingWrite OnDialogOk(int step) {
    return {TWriteAt::DialogOk, step};
}
TSettingWrite OnWebDialogOk(int step) {
    return {TWriteAt::WebDialogOk, step};
}
TSettingWrite OnMqttTabOk(int step) {
    return {TWriteAt::MqttTabOk, step};
}
TSettingWrite OnLanguageMenu() {
    return {TWriteAt::LanguageMenu, 1};
}
TSettingWrite OnNightVisionMenu() {
    return {TWriteAt::NightVisionMenu, 1};
}
TSettingWrite OnStatistics(int step) {
    return {TWriteAt::Statistics, step};
}
// Read when the settings dialog opens, at that step; with a default put into the field first,
// and a code of its own.
TDialogRead WhenOpened(int step, TSettingDefault first = {}, int code = 0) {
    return {step, code, first};
}

} // namespace

// The field of a row, as an expression on the place (p.Setup, p.Startup).
#define FIELD(expr) [](TSettingsPlace& p) -> TRegTarget { return p.expr; }

const std::vector<TSettingRow>& SettingsRows() {
    using enum TStartRead;
    using TDefaultAt::LoadAndStartUp;
    using TDefaultAt::StartRead;
    using TDefaultAt::StartUp;
    const auto Load = TDefaultAt::Load;
    // The station's memory intervals, in seconds.
    const auto memoryIntervals = OneOf({10, 30, 60, 120, 180, 300, 600, 900, 1200, 1800, 2700, 3600});
    static const std::vector<TSettingRow> rows = {
        {KeyConfig, "NbMonthtoLoad", varWord, FIELD(Setup.NbMonthtoLoad), 1, Between(1, 100), First,
         OnDialogOk(11)},
        // Any value: one the program has no texts for leaves the system's language in use.
        {KeyConfig, "CurrentLang", varInteger, FIELD(Startup.CurrentLang), LangEnglish, AnyValue, Language,
         OnLanguageMenu(), StartRead},

        {KeyConfig, "PortCom", varWord, FIELD(Setup.SetupInfos_HW.PortCOM), 1, Between(1, 255), Later,
         OnDialogOk(1)},
        {KeyConfig, "PortDevice", varString, FIELD(Setup.SetupInfos_HW.PortDevice), "", AnyValue, Later,
         OnDialogOk(2), StartUp},
        {KeyConfig, "BlueTooth", varBoolean, FIELD(Setup.SetupInfos_HW.OverBlueTooth), false, AnyValue, Later,
         OnDialogOk(3)},
        {KeyConfig, "DateDisplay", varDouble, FIELD(Setup.RangeDateDisplay), 1.0,
         OneOf({1, 2, 10, 30, 60, 182, 365, 36500}), Later, OnDialogOk(6)},
        {KeyConfig, "GapPixel", varDouble, FIELD(Setup.Disp_Gap_Display), 0.05, Between(0.0001, 1), Later,
         OnDialogOk(7)},
        // The dark-current measurement stores any rate below 0.01, beyond what may be typed.
        {KeyConfig, "Offset_Photodiode", varDouble, FIELD(Setup.SetupInfos_HW.OffsetLevelLight), 0.0025,
         Between(0.001, 0.008), Later, OnDialogOk(4), StartUp, {}, Between(0, 0.01)},
        // Read again when the dialog opens, 16 bits wide, over the dialog's own default; stored 32 bits.
        {KeyConfig, "InterVal_REC_EEP_sec", varInteger,
         FIELD(Setup.SetupInfos_HW.InterVal_Rec_EEPROM.DefaultValue), 60, memoryIntervals, Later,
         OnDialogOk(5), Load, WhenOpened(2, 120, varWord)},
        {KeyConfig, "VerboseLevel", varByte, FIELD(Setup.Log.VerboseLevel), 0, OneOf({0, 1}), Later,
         OnDialogOk(12)},
        {KeyConfig, "DisplayMag", varBoolean, FIELD(Setup.MagniDisplay), false, AnyValue, Later,
         OnDialogOk(14)},

        {KeyConfig, "SeuilCloudy", varInteger, FIELD(Setup.SeuilCloudy), -20, Between(-50, 50), Later,
         OnDialogOk(25)},
        {KeyConfig, "SeuilVeryCloudy", varInteger, FIELD(Setup.SeuilVeryCloudy), -7, Between(-50, 50), Later,
         OnDialogOk(24)},
        {KeyConfig, "SeuilNight", varDouble, FIELD(Setup.SeuilNight), 18.0, Between(-50, 50), Later,
         OnDialogOk(29)},
        {KeyConfig, "SeuilDawn", varDouble, FIELD(Setup.SeuilDawn), 14.0, Between(-50, 50), Later,
         OnDialogOk(28)},
        {KeyConfig, "SeuilDay", varDouble, FIELD(Setup.SeuilDay), 6.8, Between(-50, 50), Later,
         OnDialogOk(30)},
        {KeyConfig, "SeuilWindy", varInteger, FIELD(Setup.SeuilWindy_km), 5, Between(0, 100), Later,
         OnDialogOk(27)},
        {KeyConfig, "SeuilVeryWindy", varInteger, FIELD(Setup.SeuilVeryWindy_km), 15, Between(0, 100), Later,
         OnDialogOk(26)},

        {KeyConfig, "IntSAVDATAS_Min", varInteger, FIELD(Setup.TimeMinIntSavDatas), 30, Between(1, 1440),
         Later, OnDialogOk(9), StartUp},
        {KeyConfig, "UnderSampleDataFactor", varWord, FIELD(Setup.UnderSampleDataFactor), 3,
         OneOf({1, 2, 3, 6, 15, 30}), Later, OnDialogOk(10), StartUp},
        // One byte wide, as it is written; the range sees the whole stored number.
        {KeyConfig, "FileCLoudSensorVersion", varByte, FIELD(Setup.FileCLoudSensorVersion), 1,
         OneOf({0, 1, 2, 3}), Later, OnDialogOk(31), StartUp},
        {KeyConfig, "BoltWoodFileName", varString, FIELD(Setup.BoltWoodFileName), &BoltWoodFileNameDefault,
         AnyValue, Later, OnDialogOk(32), StartUp},
        {KeyConfig, "RH_Correction", varDouble, FIELD(Setup.SetupInfos_HW.RH_Correction), 1.0,
         Between(0.8, 1.2), Later, OnDialogOk(33)},

        {KeyWebpublish, "Enabled", varBoolean, FIELD(Setup.SetupWebPublish.Enabled), false, AnyValue, Later,
         OnWebDialogOk(1), StartUp},
        {KeyWebpublish, "Hostname", varString, FIELD(Setup.SetupWebPublish.HostName), "ftp.example.org",
         AnyValue, Later, OnWebDialogOk(2), StartUp},
        {KeyWebpublish, "Login", varString, FIELD(Setup.SetupWebPublish.login), "zuvo", AnyValue, Later,
         OnWebDialogOk(3), StartUp},
        {KeyWebpublish, "Pass", varString, FIELD(Setup.SetupWebPublish.PassWord), "zuvo", AnyValue, Later,
         OnWebDialogOk(4), StartUp},
        {KeyWebpublish, "RemotePath", varString, FIELD(Setup.SetupWebPublish.RemotePath), "/", AnyValue,
         Later, OnWebDialogOk(5), StartUp},
        {KeyWebpublish, "PassiveFTP", varBoolean, FIELD(Setup.SetupWebPublish.PassiveFTP), true, AnyValue,
         Later, OnWebDialogOk(6), StartUp},
        // Written as 32 bits, so read as 32 bits: an interval above 65535 s survives a restart.
        {KeyWebpublish, "intervallSec", varLongWord, FIELD(Setup.SetupWebPublish.IntervallSec), 60u, AnyValue,
         Later, OnWebDialogOk(7), StartUp},
        {KeyWebpublish, "JpegCompress", varByte, FIELD(Setup.SetupWebPublish.CompressionLevelJPEG), 100,
         Between(1, 100), Later, OnWebDialogOk(8), StartUp},
        {KeyWebpublish, "Lx_AllGraphs", varInteger, FIELD(Setup.SetupWebPublish.Lx_AllGraphs), 815,
         Between(100, 10000), Later, OnWebDialogOk(9), StartUp},
        {KeyWebpublish, "Ly_AllGraphs", varInteger, FIELD(Setup.SetupWebPublish.Ly_AllGraphs), 525,
         Between(100, 10000), Later, OnWebDialogOk(10), StartUp},
        {KeyWebpublish, "Lx_GrWspeed", varInteger, FIELD(Setup.SetupWebPublish.Lx_GrWspeed), 575,
         Between(100, 10000), Later, OnWebDialogOk(11), StartUp},
        {KeyWebpublish, "Ly_GrWspeed", varInteger, FIELD(Setup.SetupWebPublish.Ly_GrWspeed), 450,
         Between(100, 10000), Later, OnWebDialogOk(12), StartUp},
        {KeyWebpublish, "L_GrWDir", varInteger, FIELD(Setup.SetupWebPublish.L_GrWDir), 465,
         Between(100, 10000), Later, OnWebDialogOk(13), StartUp},
        {KeyWebpublish, "VerifyPeer", varBoolean, FIELD(Setup.SetupWebPublish.VerifyPeer), true, AnyValue,
         Later, OnWebDialogOk(14), StartUp},
        {KeyWebpublish, "IndexPage", varBoolean, FIELD(Setup.SetupWebPublish.IndexPage), true, AnyValue,
         Later, OnWebDialogOk(15), StartUp},

        {KeyStats, "DateDeb", varDouble, FIELD(Startup.DateDeb), &StatsStartDefault, AnyValue, Later,
         OnStatistics(1), StartRead},
        {KeyStats, "DateFin", varDouble, FIELD(Startup.DateFin), &StatsEndDefault, AnyValue, Later,
         OnStatistics(2), StartRead},

        {KeySounds, "Sound_at_RelayClose", varString, FIELD(Setup.Sound_at_RelayClose),
         "BadCond_relayClose.wav", AnyValue, Later, OnDialogOk(34), LoadAndStartUp},
        {KeySounds, "Soft_OnRelayClose", varString, FIELD(Setup.Soft_OnRelayClose), "", AnyValue, Later,
         OnDialogOk(35), LoadAndStartUp},
        {KeySounds, "Sound_on_goodCond", varString, FIELD(Setup.Sound_on_goodCond), "GoodConditions.wav",
         AnyValue, Later, OnDialogOk(36), LoadAndStartUp},
        {KeySounds, "Sound_on_BadCond", varString, FIELD(Setup.Sound_on_BadCond), "BadConditions.wav",
         AnyValue, Later, OnDialogOk(37), LoadAndStartUp},
        {KeyCloseCriteria, "ReArmAuto", varBoolean, FIELD(Setup.RoofCloserCriterias.DoReamAuto), false,
         AnyValue, Later, OnDialogOk(22), LoadAndStartUp},
        {KeyCloseCriteria, "AfterMin", varWord, FIELD(Setup.RoofCloserCriterias.AfterMinutes), 120,
         Between(2, 1000), Later, OnDialogOk(23), LoadAndStartUp},

        // Not read by the start-up. The dialog reads the light interval over the current one, and
        // the station cells over the dialog's own defaults.
        {KeyConfig, "DiodeIntegrationTimeSec", varLongWord, FIELD(Setup.InterValLightPoolSec), 60u,
         Between(30, 300), NotRead, OnDialogOk(13), Load, WhenOpened(1)},
        {KeyConfig, "Disableheater", varBoolean, FIELD(Setup.SetupInfos_HW.DisableHeater.DefaultValue), false,
         AnyValue, NotRead, OnDialogOk(15), Load, WhenOpened(3, false)},
        {KeyCloseCriteria, "Enabled", varBoolean, FIELD(Setup.RoofCloserCriterias.DoWatch.DefaultValue),
         false, AnyValue, NotRead, OnDialogOk(16), Load, WhenOpened(4, false)},
        {KeyCloseCriteria, "TempSky", varDouble, FIELD(Setup.RoofCloserCriterias.TempSky.DefaultValue), -10.0,
         Between(-50, 50), NotRead, OnDialogOk(17), Load, WhenOpened(5, -20.0)},
        {KeyCloseCriteria, "RH", varByte, FIELD(Setup.RoofCloserCriterias.RH.DefaultValue), 90,
         Between(0, 100), NotRead, OnDialogOk(18), Load, WhenOpened(6, 100)},
        {KeyCloseCriteria, "Wind", varByte, FIELD(Setup.RoofCloserCriterias.Wind.DefaultValue), 5,
         Between(0, 100), NotRead, OnDialogOk(19), Load, WhenOpened(7, 50)},
        {KeyCloseCriteria, "Light", varBoolean, FIELD(Setup.RoofCloserCriterias.Light.DefaultValue), false,
         AnyValue, NotRead, OnDialogOk(20), Load, WhenOpened(8, false)},
        {KeyCloseCriteria, "Mag", varDouble, FIELD(Setup.RoofCloserCriterias.ValueMag.DefaultValue), 4.0,
         Between(4, 13), NotRead, OnDialogOk(21), Load, WhenOpened(9, 4.0)},
        // The data folder: stored for other tools, never read back.
        {KeyConfig, "FileData", varString, FIELD(Setup.FileDataStored), &DataFolderDefault, AnyValue, NotRead,
         OnDialogOk(8), StartUp},

        // Read by the window when it is built.
        {KeyConfig, "NightVision", varBoolean, FIELD(Startup.NightVision), false, AnyValue, NotRead,
         OnNightVisionMenu()},

        // The network server, read when it starts (ReadAlpacaSettings); edited in the settings file.
        {KeyAlpaca, "Enabled", varBoolean, FIELD(Startup.Alpaca.Enabled), true, AnyValue, NotRead},
        {KeyAlpaca, "Address", varString, FIELD(Startup.Alpaca.Address), "127.0.0.1", AnyValue, NotRead},
        {KeyAlpaca, "Port", varWord, FIELD(Startup.Alpaca.Port), 11111, Between(1, 65535), NotRead},
        {KeyAlpaca, "DiscoveryPort", varWord, FIELD(Startup.Alpaca.DiscoveryPort), 32227, Between(0, 65535),
         NotRead},
        {KeyAlpaca, "UniqueIDObservingConditions", varString,
         FIELD(Startup.Alpaca.UniqueIDObservingConditions), "", AnyValue, NotRead},
        {KeyAlpaca, "UniqueIDSafetyMonitor", varString, FIELD(Startup.Alpaca.UniqueIDSafetyMonitor), "",
         AnyValue, NotRead},
        // Fractions of a minute are allowed (a test or an impatient observer).
        {KeyAlpaca, "SafeDelayMin", varDouble, FIELD(Startup.Alpaca.SafeDelayMin), 10.0, Between(0, 1440),
         NotRead},
        {KeyAlpaca, "UnsafeInDaylight", varBoolean, FIELD(Startup.Alpaca.UnsafeInDaylight), false, AnyValue,
         NotRead},

        // The MQTT publisher, read when it starts (ReadMqttSettings); its own tab of the settings dialog.
        {KeyMqtt, "Enabled", varBoolean, FIELD(Startup.Mqtt.Enabled), false, AnyValue, NotRead,
         OnMqttTabOk(1)},
        {KeyMqtt, "Host", varString, FIELD(Startup.Mqtt.Host), "127.0.0.1", AnyValue, NotRead,
         OnMqttTabOk(2)},
        {KeyMqtt, "Port", varWord, FIELD(Startup.Mqtt.Port), 1883, Between(1, 65535), NotRead,
         OnMqttTabOk(3)},
        {KeyMqtt, "TLS", varBoolean, FIELD(Startup.Mqtt.Tls), false, AnyValue, NotRead, OnMqttTabOk(4)},
        {KeyMqtt, "CAFile", varString, FIELD(Startup.Mqtt.CaFile), "", AnyValue, NotRead, OnMqttTabOk(5)},
        {KeyMqtt, "VerifyPeer", varBoolean, FIELD(Startup.Mqtt.VerifyPeer), true, AnyValue, NotRead,
         OnMqttTabOk(6)},
        {KeyMqtt, "User", varString, FIELD(Startup.Mqtt.User), "", AnyValue, NotRead, OnMqttTabOk(7)},
        {KeyMqtt, "Password", varString, FIELD(Startup.Mqtt.Password), "", AnyValue, NotRead, OnMqttTabOk(8)},
        {KeyMqtt, "ClientId", varString, FIELD(Startup.Mqtt.ClientId), "", AnyValue, NotRead, OnMqttTabOk(9)},
        {KeyMqtt, "TopicPrefix", varString, FIELD(Startup.Mqtt.TopicPrefix), "orvanel", AnyValue, NotRead,
         OnMqttTabOk(10)},
        {KeyMqtt, "DiscoveryPrefix", varString, FIELD(Startup.Mqtt.DiscoveryPrefix), "homeassistant",
         AnyValue, NotRead, OnMqttTabOk(11)},
        {KeyMqtt, "Discovery", varBoolean, FIELD(Startup.Mqtt.Discovery), true, AnyValue, NotRead,
         OnMqttTabOk(12)},
        {KeyMqtt, "QoS", varByte, FIELD(Startup.Mqtt.QoS), 1, OneOf({0, 1, 2}), NotRead, OnMqttTabOk(13)},
        {KeyMqtt, "KeepAliveSec", varWord, FIELD(Startup.Mqtt.KeepAliveSec), 60, Between(5, 3600), NotRead,
         OnMqttTabOk(14)},
    };
    return rows;
}

#undef FIELD

const TSettingRow* FindSetting(const std::string& group, const std::string& key) {
    for (const TSettingRow& row : SettingsRows())
        if (row.Group == group && row.Key == key) return &row;
    return nullptr;
}

TVariant SettingValue(const TSettingRow& row, TSettingsPlace& place) {
    return row.Field(place).Value();
}

const TSettingRange& KeptRange(const TSettingRow& row) {
    return row.Kept.Type == TSettingRange::Kind::Any ? row.Range : row.Kept;
}

bool SetSettingValue(const TSettingRow& row, TSettingsPlace& place, const TVariant& value, bool checkRange) {
    const TRegTarget field = row.Field(place);
    const auto converted = value.ConvertedTo(field.NaturalKind());
    if (!converted) return false;
    const bool number = IsIntegerKind(converted->Kind()) || IsFloatKind(converted->Kind());
    if (number) {
        // 70000 must not pass for 4464 in 16 bits, nor 2.5 for 2.
        if (!converted->SameValue(value) || !std::isfinite(converted->AsDouble())) return false;
        if (checkRange && !row.Range.Contains(converted->AsDouble())) return false;
    }
    field.Assign(*converted);
    return true;
}

namespace {

// One read of a row: with its code, the default put into the field first (when set), and the
// default the field takes when the stored value is refused.
bool ReadRow(const TSettingRow& row, int code, const TSettingDefault& first, const TSettingDefault& fallback,
             TSettingsPlace& place, TDatabaseRegistry& registry) {
    const TRegTarget field = row.Field(place);
    if (first.IsSet() && field.Accepts(code)) field.Store(first.Get(), code);
    const TSettingRange& range = KeptRange(row);
    const bool ranged = range.Type != TSettingRange::Kind::Any;

    if (IsIntegerKind(code) && ranged && field.Accepts(code)) {
        // Read the whole stored number: 65537 must not pass for 1 once cut to 16 bits.
        int64_t value = field.Current(code).AsInteger();
        if (!registry.ReadValueRegisterDFset(row.Group, value, row.Key, varInt64)) {
            LogUnreadable(row, code, field, registry);
            return false;
        }
        if (range.Contains(static_cast<double>(value))) {
            field.Store(TVariant(value), code);
            return true;
        }
        const TVariant refused = fallback.Get();
        field.Store(refused, code);
        LogRefused(row, std::to_string(value), refused);
        return false;
    }

    if (code == varDouble && field.Accepts(code)) {
        double value = field.Current(code).AsDouble();
        if (!registry.ReadValueRegisterDFset(row.Group, value, row.Key, varDouble)) {
            LogUnreadable(row, code, field, registry);
            return false;
        }
        // A value that is not finite is never used: nothing downstream can work with it.
        if (std::isfinite(value) && range.Contains(value)) {
            field.Store(TVariant(value), code);
            return true;
        }
        const TVariant refused = fallback.Get();
        field.Store(refused, code);
        LogRefused(row, NumberText(value), refused);
        return false;
    }

    const bool read = registry.ReadValueRegisterDFset(row.Group, field, row.Key, code);
    if (!read && (IsIntegerKind(code) || code == varSingle)) LogUnreadable(row, code, field, registry);
    if (read && code == varBoolean) LogUnreadable(row, code, field, registry);
    return read;
}

// The start-up reads of one phase, in the order of the table.
void ReadAtStart(TStartRead phase, TStartupSettings& startup, TDatabaseRegistry& registry) {
    TSettingsPlace place{SetupInfos, startup};
    for (const TSettingRow& row : SettingsRows())
        if (row.Start == phase) ReadSetting(row, place, registry);
}

// The rows of one event, by their step there.
template <typename Step> std::vector<const TSettingRow*> InSteps(Step step) {
    std::vector<const TSettingRow*> found;
    for (const TSettingRow& row : SettingsRows())
        if (step(row) > 0) found.push_back(&row);
    std::stable_sort(found.begin(), found.end(),
                     [&](const TSettingRow* a, const TSettingRow* b) { return step(*a) < step(*b); });
    return found;
}

} // namespace

bool ReadSetting(const TSettingRow& row, TSettingsPlace& place, TDatabaseRegistry& registry) {
    const TSettingDefault none;
    return ReadRow(row, row.Code, row.DefaultAt == TDefaultAt::StartRead ? row.Default : none, row.Default,
                   place, registry);
}

void ReadMonthsToLoad(TDatabaseRegistry& registry) {
    TStartupSettings unused;
    ReadAtStart(TStartRead::First, unused, registry);
    LogToday(fmt::sprintf("Amount of months to load : %d", SetupInfos.NbMonthtoLoad));
}

bool HeldFromLoad(TDefaultAt at) {
    return at == TDefaultAt::Load || at == TDefaultAt::LoadAndStartUp;
}

bool AssignedAtStartUp(TDefaultAt at) {
    return at == TDefaultAt::StartUp || at == TDefaultAt::LoadAndStartUp;
}

namespace {

// The default of each row `when` says into the fields of `setup`.
void AssignDefaults(TSetupInfos& setup, bool (*when)(TDefaultAt)) {
    TStartupSettings unused;
    TSettingsPlace place{setup, unused};
    for (const TSettingRow& row : SettingsRows()) {
        if (!when(row.DefaultAt)) continue;
        const TRegTarget field = row.Field(place);
        field.Assign(*row.Default.Get().ConvertedTo(field.NaturalKind()));
    }
}

} // namespace

void AssignStartupDefaults() {
    AssignDefaults(SetupInfos, &AssignedAtStartUp);
    // Built in only, never stored.
    SetupInfos.Sound_on_Rainning = "Rain_pending.wav";
}

TSetupInfos SettingDefaults() {
    TSetupInfos setup = FixedSetupStartValues();
    AssignDefaults(setup, &HeldFromLoad);
    return setup;
}

void InstallSettingDefaults() {
    SetSetupStartValues(SettingDefaults());
}

int32_t ReadCurrentLang(TDatabaseRegistry& registry) {
    // Values other than the two languages are left to the caller, which then keeps the system's.
    TStartupSettings read;
    ReadAtStart(TStartRead::Language, read, registry);
    return read.CurrentLang;
}

void ReadStartupSettings(TStartupSettings& result, TDatabaseRegistry& registry) {
    ReadAtStart(TStartRead::Later, result, registry);
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
    // The station is asked for these again; until it answers the dialog shows the PC's values.
    for (bool* valid : {&hw.LastDateSyst.Valid, &hw.DateSinceBoot.Valid, &hw.DisableHeater.Valid,
                        &hw.InterVal_Rec_EEPROM.Valid, &roof.DoWatch.Valid, &roof.TempSky.Valid,
                        &roof.RH.Valid, &roof.Wind.Valid, &roof.Light.Valid, &roof.ValueMag.Valid})
        *valid = false;
    TStartupSettings unused;
    TSettingsPlace place{SetupInfos, unused};
    for (const TSettingRow* row : InSteps([](const TSettingRow& r) { return r.Opened.Step; })) {
        const TDialogRead& read = row->Opened;
        ReadRow(*row, read.Code ? read.Code : row->Code, read.Default,
                read.Default.IsSet() ? read.Default : row->Default, place, registry);
    }
}

void WriteSettings(TWriteAt at, TSettingsPlace& place, TDatabaseRegistry& registry) {
    TRegistryWriteGroup group(registry);
    for (const TSettingRow* row :
         InSteps([at](const TSettingRow& r) { return r.Written.At == at ? r.Written.Step : 0; }))
        registry.WriteCFGtoRegister(row->Group, SettingValue(*row, place), row->Key);
}

void WriteConfigDialogSettings(TDatabaseRegistry& registry) {
    TStartupSettings unused;
    TSettingsPlace place{SetupInfos, unused};
    WriteSettings(TWriteAt::DialogOk, place, registry);
}

void WriteWebPublishSettings(TDatabaseRegistry& registry) {
    TStartupSettings unused;
    TSettingsPlace place{SetupInfos, unused};
    WriteSettings(TWriteAt::WebDialogOk, place, registry);
}

void WriteCurrentLang(int32_t language, TDatabaseRegistry& registry) {
    TStartupSettings values;
    values.CurrentLang = language;
    TSettingsPlace place{SetupInfos, values};
    WriteSettings(TWriteAt::LanguageMenu, place, registry);
}

bool ReadNightVision(TDatabaseRegistry& registry) {
    TStartupSettings read;
    TSettingsPlace place{SetupInfos, read};
    ReadSetting(*FindSetting(KeyConfig, "NightVision"), place, registry);
    return read.NightVision;
}

void WriteNightVision(bool on, TDatabaseRegistry& registry) {
    TStartupSettings values;
    values.NightVision = on;
    TSettingsPlace place{SetupInfos, values};
    WriteSettings(TWriteAt::NightVisionMenu, place, registry);
}

void WriteStatsRange(TDateTime dateDeb, TDateTime dateFin, TDatabaseRegistry& registry) {
    TStartupSettings values;
    values.DateDeb = dateDeb;
    values.DateFin = dateFin;
    TSettingsPlace place{SetupInfos, values};
    WriteSettings(TWriteAt::Statistics, place, registry);
}

TAlpacaSettings ReadSafetyRuleSettings(TDatabaseRegistry& registry) {
    TStartupSettings read;
    TSettingsPlace place{SetupInfos, read};
    for (const TSettingRow& row : SettingsRows())
        if (std::string(row.Group) == KeyAlpaca &&
            (std::string(row.Key) == "SafeDelayMin" || std::string(row.Key) == "UnsafeInDaylight"))
            ReadSetting(row, place, registry);
    return read.Alpaca;
}

std::string DefaultMqttClientId() {
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) != 0 || host[0] == 0) return "orvanel";
    return std::string("orvanel-") + host;
}

TMqttSettings ReadMqttSettings(TDatabaseRegistry& registry) {
    TStartupSettings read;
    TSettingsPlace place{SetupInfos, read};
    for (const TSettingRow& row : SettingsRows())
        if (std::string(row.Group) == KeyMqtt) ReadSetting(row, place, registry);
    if (read.Mqtt.ClientId.empty()) read.Mqtt.ClientId = DefaultMqttClientId();
    return read.Mqtt;
}

void WriteMqttSettings(const TMqttSettings& settings, TDatabaseRegistry& registry) {
    TStartupSettings values;
    values.Mqtt = settings;
    TSettingsPlace place{SetupInfos, values};
    WriteSettings(TWriteAt::MqttTabOk, place, registry);
}

TAlpacaSettings ReadAlpacaSettings(TDatabaseRegistry& registry) {
    TStartupSettings read;
    TSettingsPlace place{SetupInfos, read};
    for (const TSettingRow& row : SettingsRows())
        if (std::string(row.Group) == KeyAlpaca) ReadSetting(row, place, registry);
    TAlpacaSettings& alpaca = read.Alpaca;
    for (auto [id, key] : {std::pair{&alpaca.UniqueIDObservingConditions, "UniqueIDObservingConditions"},
                           std::pair{&alpaca.UniqueIDSafetyMonitor, "UniqueIDSafetyMonitor"}}) {
        if (!id->empty()) continue;
        *id = QUuid::createUuid().toString(QUuid::WithoutBraces).toStdString();
        registry.WriteCFGtoRegister(KeyAlpaca, TVariant(*id), key);
        LogToday(fmt::format("Alpaca device identifier {} made: {}", key, *id));
    }
    return alpaca;
}
