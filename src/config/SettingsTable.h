// The persistent settings of SetupInfos: which value of the store fills which field, with its
// built-in default, and when each is read and written.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <type_traits>
#include <vector>

#include "DatabaseRegistry.h"
#include "DateTime.h"

// Keys of the store.
inline constexpr const char* KeyConfig = "\\Config";
inline constexpr const char* KeySounds = "\\Config\\Sounds";
inline constexpr const char* KeyCloseCriteria = "\\CloseCriteria";
inline constexpr const char* KeyWebpublish = "\\Webpublish";
inline constexpr const char* KeyStats = "\\Stats\\";
inline constexpr const char* KeyAlpaca = "\\Alpaca";
inline constexpr const char* KeyMqtt = "\\MQTT";

inline constexpr int32_t LangEnglish = 1033;
inline constexpr int32_t LangFrench = 1036;

// The network server for observatory programs on other computers (ASCOM Alpaca, INDI feeds).
struct TAlpacaSettings {
    bool Enabled = true;
    std::string Address = "127.0.0.1"; // the network is the user's choice: "0.0.0.0" opens every one
    uint16_t Port = 11111;
    uint16_t DiscoveryPort = 32227; // 0: no discovery
    std::string UniqueIDObservingConditions;
    std::string UniqueIDSafetyMonitor;
    double SafeDelayMin = 10; // minutes every condition must hold before the verdict is safe again
    bool UnsafeInDaylight = false;
};

// Publishing to an MQTT broker, with Home Assistant discovery.
struct TMqttSettings {
    bool Enabled = false;
    std::string Host = "127.0.0.1";
    uint16_t Port = 1883;
    bool Tls = false;
    std::string CaFile; // empty: the system's certificate authorities
    bool VerifyPeer = true;
    std::string User;
    std::string Password; // never logged
    std::string ClientId; // "orvanel-<host name>" when empty
    std::string TopicPrefix = "orvanel";
    std::string DiscoveryPrefix = "homeassistant";
    bool Discovery = true;
    uint8_t QoS = 1;
    uint16_t KeepAliveSec = 60;
};

// What the start-up reads besides SetupInfos.
struct TStartupSettings {
    int32_t CurrentLang = LangEnglish;
    TDateTime DateDeb = 0; // statistics range
    TDateTime DateFin = 0;
    TAlpacaSettings Alpaca;   // read by ReadAlpacaSettings, not by the start-up
    TMqttSettings Mqtt;       // read by ReadMqttSettings, not by the start-up
    bool NightVision = false; // the window's night-vision display, read by ReadNightVision
};

struct TSetupInfos;

// ---- The settings table ---------------------------------------------------------------------
// One row per stored setting: where it is stored, the code it is read with, the field it fills,
// its built-in default, the values the settings dialogs accept, and when it is read and written.
// A stored value outside that range (or a number that is not finite) is not used: the field takes
// the row's default and the log names the key and the value, so a hand-edited or damaged store
// cannot stop the program.

// When the start-up reads a setting; the reads of one phase follow the order of the table.
enum class TStartRead : uint8_t {
    NotRead,
    First,    // the first read, before the start-up defaults are assigned
    Language, // the language, applied by the start-up itself
    Later,    // every other start-up read
};

// When a row's built-in default is put into its field.
enum class TDefaultAt : uint8_t {
    Load,           // held from the program's load on (the globals' start values)
    StartUp,        // assigned by AssignStartupDefaults, before the start-up's reads
    LoadAndStartUp, // both: held from load on, and assigned again before the start-up's reads
    StartRead       // assigned just before its own start-up read (a value of the moment)
};
// The default is in the globals' start values / is assigned by AssignStartupDefaults.
bool HeldFromLoad(TDefaultAt at);
bool AssignedAtStartUp(TDefaultAt at);

// What stores a setting.
enum class TWriteAt : uint8_t {
    NotWritten,
    DialogOk,
    WebDialogOk,
    LanguageMenu,
    Statistics,
    MqttTabOk,
    NightVisionMenu
};

// The values a setting may take: an interval, a list, or any value.
struct TSettingRange {
    enum class Kind : uint8_t { Any, Interval, List };
    Kind Type = Kind::Any;
    double Min = 0, Max = 0;
    std::vector<double> Allowed;

    bool Contains(double value) const;
    // "is out of range [1..1440]", "is not one of {0, 1, 2}".
    std::string Refusal() const;
};
TSettingRange Between(double min, double max);
TSettingRange OneOf(std::initializer_list<double> values);
inline const TSettingRange AnyValue{};

// What a row fills: the settings record and the start-up values kept beside it.
struct TSettingsPlace {
    TSetupInfos& Setup;
    TStartupSettings& Startup;
};

// A built-in default: a constant, or computed when it is needed (a date relative to now, a path
// below the temporary folder); or none.
class TSettingDefault {
  public:
    TSettingDefault() = default;
    template <typename T>
    requires(std::is_arithmetic_v<T> || std::is_same_v<T, const char*>) TSettingDefault(T value)
        : value_(value) {}
    TSettingDefault(TVariant (*compute)()) : compute_(compute) {}
    bool IsSet() const { return compute_ || !value_.IsEmptyOrNull(); }
    TVariant Get() const { return compute_ ? compute_() : value_; }

  private:
    TVariant value_;
    TVariant (*compute_)() = nullptr;
};

// The read done when the settings dialog opens.
struct TDialogRead {
    int Step = 0;            // place among the dialog's reads, from 1; 0: not read then
    int Code = 0;            // destination code of that read
    TSettingDefault Default; // put into the field just before that read; none: the field keeps its value
};

// The write of a setting.
struct TSettingWrite {
    TWriteAt At = TWriteAt::NotWritten;
    int Step = 0; // place among the writes of that confirmation, from 1
};

struct TSettingRow {
    const char* Group;
    const char* Key;
    int Code; // destination code of the start-up read
    TRegTarget (*Field)(TSettingsPlace& place);
    TSettingDefault Default; // what the field holds while nothing is stored
    TSettingRange Range;     // what a dialog accepts; AnyValue keeps what is read
    TStartRead Start = TStartRead::NotRead;
    TSettingWrite Written = {};
    TDefaultAt DefaultAt = TDefaultAt::Load;
    TDialogRead Opened = {};
    // What the start-up read keeps, when it is wider than what a dialog accepts: a value the program
    // itself stores (a measured dark current) must come back at the next start. AnyValue: Range.
    TSettingRange Kept = {};
};

// The range the start-up read holds a stored value to.
const TSettingRange& KeptRange(const TSettingRow& row);

// Every row: first the start-up reads in their order, then the settings the start-up does not read.
const std::vector<TSettingRow>& SettingsRows();
// The row of a stored setting (names matched exactly), or nullptr.
const TSettingRow* FindSetting(const std::string& group, const std::string& key);

// For a dialog bound to a row: the field as a value of its own kind (a number for a numeric
// field, a boolean, a text) ...
TVariant SettingValue(const TSettingRow& row, TSettingsPlace& place);
// ... and the field set from a value. False, the field untouched, when the value does not fit the
// field exactly or lies outside the row's range (checkRange false: a value the program itself
// produced, such as a station's report or a measurement, which only has to fit the field).
bool SetSettingValue(const TSettingRow& row, TSettingsPlace& place, const TVariant& value,
                     bool checkRange = true);

// The start-up read of one row. False when the field did not take the stored value: missing or
// unreadable (the field keeps what it held), or refused (the field takes the row's default and
// one line is logged).
bool ReadSetting(const TSettingRow& row, TSettingsPlace& place,
                 TDatabaseRegistry& registry = DatabaseRegistry());

// The default path of the one-line condition file: "recfile.txt" in the user's runtime folder
// ($XDG_RUNTIME_DIR, when it is the user's own and closed to others), else in the data folder.
std::string DefaultBoltWoodFileName();

// The rows under "\\Alpaca". A device identifier not stored yet is made now and stored, so that
// clients recognise the devices across restarts.
TAlpacaSettings ReadAlpacaSettings(TDatabaseRegistry& registry = DatabaseRegistry());
// Only the rows of the safety verdict ("SafeDelayMin", "UnsafeInDaylight"), which every service
// shows: read at start whether the network server runs or not, without making identifiers.
TAlpacaSettings ReadSafetyRuleSettings(TDatabaseRegistry& registry = DatabaseRegistry());

// The rows under "\\MQTT"; the client identifier defaults to "orvanel-" and the host name.
TMqttSettings ReadMqttSettings(TDatabaseRegistry& registry = DatabaseRegistry());
// The rows under "\\MQTT", as the settings dialog's MQTT tab confirms them.
void WriteMqttSettings(const TMqttSettings& settings, TDatabaseRegistry& registry = DatabaseRegistry());
// "orvanel-" and the host name.
std::string DefaultMqttClientId();

// The start-up reads, in their order (the rows of TStartRead::First, Language and Later).
// LoadStartupSettings runs the four steps below one after the other; the controller may run them
// one by one around its own steps.
TStartupSettings LoadStartupSettings(TDatabaseRegistry& registry = DatabaseRegistry());
// "NbMonthtoLoad", the first setting read, logged as "Amount of months to load : %d".
void ReadMonthsToLoad(TDatabaseRegistry& registry = DatabaseRegistry());
// The built-in defaults the start-up assigns before its reads (the rows of TDefaultAt::StartUp and
// LoadAndStartUp: FTP, saves, one-line file, data folder, sounds, automatic re-arm, photodiode dark
// level).
void AssignStartupDefaults();

// The start values of SetupInfos: those no setting stores, with the default of every row held from
// load. The table is where a default is written; the plain layers (station, conditions) and their
// tests get it through these values.
TSetupInfos SettingDefaults();
// Makes them the globals' start values (and SetupInfos's now). Programs call it first thing in
// main(), before anything reads the settings; the tests' sandbox does too.
void InstallSettingDefaults();
// "CurrentLang" (1033 when absent).
int32_t ReadCurrentLang(TDatabaseRegistry& registry = DatabaseRegistry());
// Every other start-up read, from "PortCom" to "AfterMin". Fills the statistics range of the result.
void ReadStartupSettings(TStartupSettings& result, TDatabaseRegistry& registry = DatabaseRegistry());

// The reads done when the settings dialog opens: "DiodeIntegrationTimeSec", then the station
// cells the dialog asks the station for again (their Valid flags cleared, the dialog defaults set,
// the stored values read over them).
void ReadConfigDialogSettings(TDatabaseRegistry& registry = DatabaseRegistry());

// The writes of one confirmation (the rows written at `at`), from the place, in their order.
void WriteSettings(TWriteAt at, TSettingsPlace& place, TDatabaseRegistry& registry = DatabaseRegistry());
// The writes of the settings dialog's confirmation, from SetupInfos, in the dialog's order.
void WriteConfigDialogSettings(TDatabaseRegistry& registry = DatabaseRegistry());
// The values of the web-publishing dialog's confirmation.
void WriteWebPublishSettings(TDatabaseRegistry& registry = DatabaseRegistry());
// The language menu.
void WriteCurrentLang(int32_t language, TDatabaseRegistry& registry = DatabaseRegistry());
// The window's night-vision display ("NightVision" under \\Config), and its menu item's write.
bool ReadNightVision(TDatabaseRegistry& registry = DatabaseRegistry());
void WriteNightVision(bool on, TDatabaseRegistry& registry = DatabaseRegistry());
// Each statistics computation stores its range.
void WriteStatsRange(TDateTime dateDeb, TDateTime dateFin, TDatabaseRegistry& registry = DatabaseRegistry());
