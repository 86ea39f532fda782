// orvanel: the cloud monitor. Today it runs the foundation: folders, log, settings, history.
#include <QCoreApplication>
#include <QStringList>
#include <cstdio>
#include <exception>
#include <fmt/format.h>
#include <fmt/printf.h>

#include "DateTime.h"
#include "HistoryFile.h"
#include "Log.h"
#include "QtHooks.h"
#include "SettingsTable.h"
#include "Records.h"
#include "StartupFolders.h"
#include "UserText.h"
#include "Utilities.h"

namespace {

const char* kUsage = R"(Usage: orvanel [options]

  /Sim=1        run without a station (simulated values)
  --help        show this help

Folders: ~/Documents/Halvex/Datas (history), Logs (daily log), Jpeg (snapshots).
Settings: ~/.config/Orvanel/registry.ini
)";

void Say(const std::string& text) { std::printf("%s\n", text.c_str()); }

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("Orvanel");
    const QStringList args = QCoreApplication::arguments();
    if (args.contains("--help") || args.contains("-h")) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    InstallQtHooks(true);
    SetupFolders();

    const std::string caption = Tr("MainForm", "Moniteur de nuages HALVEX") + " -> Version " + Tr("MainForm", "v1.49 27/03/13");
    LogToday(fmt::sprintf("Application start : %s", caption));
    LogToday(fmt::sprintf("Storage data path : %s", PathDatas));
    LogToday(fmt::sprintf("Storage Log  path : %s", PathLogs));
    LogToday(fmt::sprintf("Storage Jpeg path : %s", PathJpeg));
    ReadMonthsToLoad();
    SimulationMode = args.size() > 1 && args[1] == "/Sim=1";
    DebugMode = FileExists(PathLogs + "debug.txt");
    AssignStartupDefaults();
    TStartupSettings startup;
    startup.CurrentLang = ReadCurrentLang();
    ReadStartupSettings(startup);

    Say(caption);
    Say("Data folder : " + PathDatas);
    Say("Log folder  : " + PathLogs + LogFileNameToday());
    Say("Settings    : " + DatabaseRegistry().FileName());
    Say(fmt::format("Station     : {}{}", SetupInfos.SetupInfos_HW.PortDevice.empty()
                                              ? fmt::format("COM{}", SetupInfos.SetupInfos_HW.PortCOM)
                                              : SetupInfos.SetupInfos_HW.PortDevice,
                    SimulationMode ? " (simulation: no station)" : ""));
    Say("Condition file : " + SetupInfos.BoltWoodFileName);

    LogToday("Config, OK, loading data...");
    LogToday("Data load...");
    try {
        LoadHistory(PathDatas, SetupInfos.NbMonthtoLoad, DataStation, [](const std::string& step) { Say(step); });
    } catch (const std::exception& e) {
        ShowUserMessage(e.what());
    }
    Say(fmt::format("History     : {} records in memory ({} month(s) loaded)", DataStation.size(),
                    SetupInfos.NbMonthtoLoad));
    if (!DataStation.empty())
        Say("              from " + DateTimeText(DataStation.front().DateSysteme) + " to " +
            DateTimeText(DataStation.back().DateSysteme));
    Say("The station link and the window are not built yet; nothing more to do.");
    return 0;
}
