// orvanel: the cloud monitor. With a display the main window shows the controller; with --headless or
// without a display the same controller polls the station, keeps the history and writes the files,
// and an off-screen window draws the pictures it publishes.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <optional>
#include <QApplication>
#include <QCoreApplication>
#include <QStatusBar>
#include <QStringList>
#include <string>
#include <vector>

#include "AlpacaServer.h"
#include "AutomationSwitches.h"
#include "CrashReport.h"
#include "DashboardServer.h"
#include "Language.h"
#include "MainWindow.h"
#include "MqttWiring.h"
#include "OrvanelApplication.h"
#include "QtHooks.h"
#include "Records.h"
#include "ServiceManager.h"
#include "SettingsTable.h"
#include "StartupFolders.h"
#include "Supervisor.h"
#include "UserPrompts.h"
#include "UserText.h"
#include "Utilities.h"

namespace {

const char* kUsage = R"(Usage: orvanel [options]

  --headless        run without a window (status and errors also on standard error)
  --port DEVICE     use this serial device for this run only (nothing is stored),
                    e.g. /dev/ttyUSB0, /dev/rfcomm0, or the link made by halvex-sim
  --alpaca ADDRESS:PORT
                    serve ASCOM Alpaca and the INDI feeds on this address and port for this
                    run only (0.0.0.0 opens every network; default from the settings,
                    127.0.0.1:11111)
  --mqtt HOST:PORT  publish to this MQTT broker for this run only (default from the
                    settings, off)
  /Sim=1            run without a station (simulated values)
  REGSERVERPERUSER  install the D-Bus activation files of the automation interface
                    (UNREGSERVERPERUSER removes them; REGSERVER/UNREGSERVER for every user)
  --help            show this help
  --version         show the version

SIGINT, SIGTERM and SIGHUP close the program cleanly: the history is saved and the station
clock is set.
Folders: ~/Documents/Halvex/Datas (history, infodata.txt), Logs (daily log), Jpeg (snapshots).
Settings: ~/.config/Orvanel/registry.ini
)";

struct TCommandLine {
    bool Headless = false;
    bool Help = false;
    bool Version = false;
    std::string Port;
    std::string Alpaca;
    std::string Mqtt;
    std::string Error;
};

TCommandLine ParseCommandLine(int argc, char** argv) {
    TCommandLine line;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--headless")
            line.Headless = true;
        else if (arg == "--help" || arg == "-h")
            line.Help = true;
        else if (arg == "--version")
            line.Version = true;
        else if (arg == "--port") {
            if (i + 1 >= argc) {
                line.Error = "--port needs a device path";
                break;
            }
            line.Port = argv[++i];
        } else if (arg.rfind("--port=", 0) == 0)
            line.Port = arg.substr(7);
        else if (arg == "--alpaca") {
            if (i + 1 >= argc) {
                line.Error = "--alpaca needs ADDRESS:PORT";
                break;
            }
            line.Alpaca = argv[++i];
        } else if (arg.rfind("--alpaca=", 0) == 0)
            line.Alpaca = arg.substr(9);
        else if (arg == "--mqtt") {
            if (i + 1 >= argc) {
                line.Error = "--mqtt needs HOST:PORT";
                break;
            }
            line.Mqtt = argv[++i];
        } else if (arg.rfind("--mqtt=", 0) == 0)
            line.Mqtt = arg.substr(7);
        else if (arg.rfind("--", 0) == 0)
            line.Error = "unknown option " + arg;
        // Everything else ("/Sim=1", the automation switches) is read further on.
    }
    if (line.Port.empty() && line.Error.empty())
        for (int i = 1; i < argc; ++i)
            if (std::strcmp(argv[i], "--port") == 0) line.Error = "--port needs a device path";
    if (!line.Alpaca.empty() && line.Error.empty()) {
        TAlpacaSettings check;
        ParseAlpacaEndpoint(line.Alpaca, check, line.Error);
    }
    if (!line.Mqtt.empty() && line.Error.empty()) {
        TMqttSettings check;
        ParseMqttEndpoint(line.Mqtt, check, line.Error);
    }
    return line;
}

bool DisplayAvailable() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        if (const char* value = std::getenv(name); value && *value) return true;
    return false;
}

} // namespace

int main(int argc, char** argv) {
    InstallSettingDefaults();
    const TCommandLine line = ParseCommandLine(argc, argv);
    if (line.Help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (line.Version) {
        std::puts("orvanel " ORVANEL_VERSION);
        return 0;
    }
    if (!line.Error.empty()) {
        std::fprintf(stderr, "orvanel: %s\n\n%s", line.Error.c_str(), kUsage);
        return 2;
    }
    // Network clients must never take the descriptors the month files, logs and serial port need
    // (the HTTP server also keeps its connections to a quarter of the limit).
    RaiseOpenFileLimit();
    const bool headless = line.Headless || !DisplayAvailable();
    if (!line.Headless && headless)
        std::fputs("orvanel: no display (DISPLAY, WAYLAND_DISPLAY or QT_QPA_PLATFORM); running headless.\n",
                   stderr);
    if (headless) ::setenv("QT_QPA_PLATFORM", "offscreen", 0);

    TOrvanelApplication app(argc, argv, headless);
    QCoreApplication::setApplicationName("Orvanel");
    if (const auto code =
            HandleAutomationSwitches(QCoreApplication::arguments(), QCoreApplication::applicationFilePath()))
        return *code;

    InstallQtHooks(headless);
    SetupFolders();
    InstallCrashHandler(PathLogs);
    // The texts of the user's language when its module exists, as the platform loads it; the stored
    // choice ("CurrentLang") is applied by the controller's start.
    Languages::Install();
    Languages::LoadSystemLanguage();

    TSupervisorOptions options;
    options.Headless = headless;
    options.PortDevice = line.Port;
    for (const QString& a : QCoreApplication::arguments())
        options.Arguments.push_back(a.toStdString());
    Supervisor supervisor(options);
    std::unique_ptr<MainWindow> window;
    if (!headless) {
        window = std::make_unique<MainWindow>(supervisor);
        InstallMessageBoxHooks(window.get());
        window->show();
    } else {
        // Never on a screen: its graphs and information tab make the published pictures.
        window = std::make_unique<MainWindow>(supervisor, nullptr, TWindowPlace::OffScreen);
    }
    QObject::connect(&supervisor, &Supervisor::closed, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    TServiceManagerNotifier serviceManager(supervisor);
    if (!supervisor.Start()) {
        std::fputs("orvanel: another instance is running; it was asked to show itself.\n", stderr);
        return 0;
    }
    serviceManager.AfterStart();
    supervisor.InstallSignalHandlers();
    std::fprintf(stderr, "%s\n", supervisor.Caption().c_str());

    // The services beyond the built-in ones, each started at once after the start-up, in this order,
    // and stopped in the reverse order before them at close (after the history is saved). The network
    // server is added once this is the only instance (a second one would find the port taken); the
    // web dashboard shares its port.
    std::unique_ptr<TAlpacaServer> alpacaService = MakeAlpacaService(supervisor, line.Alpaca);
    TAlpacaServer* alpaca = alpacaService.get(); // kept by the controller until it is destroyed
    supervisor.AddService(std::move(alpacaService));
    supervisor.AddService(MakeDashboardService(supervisor, alpaca));
    supervisor.AddService(MakeMqttService(supervisor, line.Mqtt, headless ? nullptr : window->statusBar()));

    const int code = app.exec();
    supervisor.FormClose();
    return code;
}
