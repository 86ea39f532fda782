// The persistent settings of SetupInfos: which value of the store fills which field, with its
// built-in default, and when each is read and written.
#pragma once

#include <cstdint>
#include <string>

#include "DatabaseRegistry.h"
#include "DateTime.h"

// Keys of the store.
inline constexpr const char* KeyConfig = "\\Config";
inline constexpr const char* KeySounds = "\\Config\\Sounds";
inline constexpr const char* KeyCloseCriteria = "\\CloseCriteria";
inline constexpr const char* KeyWebpublish = "\\Webpublish";
inline constexpr const char* KeyStats = "\\Stats\\";

inline constexpr int32_t LangEnglish = 1033;
inline constexpr int32_t LangFrench = 1036;

// What the start-up reads besides SetupInfos.
struct TStartupSettings {
    int32_t CurrentLang = LangEnglish;
    TDateTime DateDeb = 0; // statistics range
    TDateTime DateFin = 0;
};

// The default path of the one-line condition file: the temporary folder + "/recfile.txt".
std::string DefaultBoltWoodFileName();

// The start-up reads, in their order. LoadStartupSettings runs the four steps below one after the
// other; the controller may run them one by one around its own steps.
TStartupSettings LoadStartupSettings(TDatabaseRegistry& registry = DatabaseRegistry());
// "NbMonthtoLoad", the first setting read, logged as "Amount of months to load : %d".
void ReadMonthsToLoad(TDatabaseRegistry& registry = DatabaseRegistry());
// The built-in defaults the start-up assigns before its reads (FTP, saves, one-line file, sounds,
// automatic re-arm, photodiode dark level).
void AssignStartupDefaults();
// "CurrentLang" (1033 when absent).
int32_t ReadCurrentLang(TDatabaseRegistry& registry = DatabaseRegistry());
// Every other start-up read, from "PortCom" to "AfterMin"; sets FileDataStored to the data
// folder. Fills the statistics range of the result.
void ReadStartupSettings(TStartupSettings& result, TDatabaseRegistry& registry = DatabaseRegistry());

// The reads done when the settings dialog opens: "DiodeIntegrationTimeSec", then the station
// cells the dialog asks the station for again (their Valid flags cleared, the dialog defaults set,
// the stored values read over them).
void ReadConfigDialogSettings(TDatabaseRegistry& registry = DatabaseRegistry());

// The writes of the settings dialog's confirmation, from SetupInfos, in the dialog's order.
void WriteConfigDialogSettings(TDatabaseRegistry& registry = DatabaseRegistry());
// The thirteen values of the web-publishing dialog's confirmation.
void WriteWebPublishSettings(TDatabaseRegistry& registry = DatabaseRegistry());
// The language menu.
void WriteCurrentLang(int32_t language, TDatabaseRegistry& registry = DatabaseRegistry());
// Each statistics computation stores its range.
void WriteStatsRange(TDateTime dateDeb, TDateTime dateFin, TDatabaseRegistry& registry = DatabaseRegistry());
