// orvanel-screenshots: pictures of the main window made on Qt's offscreen platform, to judge the
// layout without a desktop. Each scene is real: the controller polls a simulated station (on a
// pseudo-terminal) whose weather a script holds, in a private home folder; the window shows what the
// controller reports. Usage: orvanel-screenshots [folder]
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMessageBox>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <stdexcept>
#include <string>

#include <cmath>
#include <QDialog>
#include <QMouseEvent>
#include <QTabWidget>

#include "DataTableTab.h"
#include "DateTime.h"
#include "FormConfigTavrel.h"
#include "FormDlgDarkCompute.h"
#include "FormWebSetup.h"
#include "GraphicSpecial.h"
#include "GraphTabs.h"
#include "HalvexStation.h"
#include "HistoryStore.h"
#include "Language.h"
#include "MainWindow.h"
#include "OrvanelApplication.h"
#include "PlotWidget.h"
#include "QtHooks.h"
#include "Records.h"
#include "SettingsTable.h"
#include "Snapshots.h"
#include "StartupFolders.h"
#include "StatsTab.h"
#include "StatusLoadDatas.h"
#include "Supervisor.h"

namespace {

using halvex::sim::HalvexStation;
using halvex::sim::ParseScenario;
using halvex::sim::StationOptions;

bool WaitUntil(const std::function<bool()>& condition) {
    return ProcessEventsUntil(condition, 20000);
}

// A message box would wait for a click that never comes: its text goes to standard error instead.
void DismissMessageBoxes() {
    auto* timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            std::fprintf(stderr, "message: %s\n", qPrintable(box->text()));
            box->done(QMessageBox::No);
        }
    });
    timer->start(50);
}

// settle: let pending events lay the window out first. Inside a handler of the controller's
// progress that must not happen: the events waiting may close the very window to be saved.
void Save(QWidget& widget, const QString& path, bool settle = true) {
    QPointer<QWidget> alive(&widget);
    if (settle) QApplication::processEvents();
    if (!alive) {
        std::fprintf(stderr, "window closed before %s was taken\n", qPrintable(path));
        return;
    }
    if (widget.grab().save(path))
        std::printf("%s\n", qPrintable(path));
    else
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
}

// The language of the pictures being taken: "CurrentLang" of each run, and the file name prefix.
int32_t sceneLanguage = LangFrench;

QString Prefixed(const QString& file) {
    return sceneLanguage == LangEnglish ? "en-" + file : file;
}

struct TScene {
    const char* file;
    TDateTime clock;      // the PC's and the station's clock at the first reading
    const char* scenario; // the weather the station reports throughout
    uint32_t stationRecords = 0;
    double historyDays = 0; // days of history already stored before the start, one record every 20 s
    bool debug = false;     // with the marker file of the debug tabs
};

// A plausible stretch of weather, one record every 20 s up to `last`: nights clear or cloudy, a
// shower on the second evening, wind in the afternoons, the sky dark at night.
TTDataStation SimulatedHistory(TDateTime last, double days) {
    TTDataStation records;
    const size_t count = static_cast<size_t>(days * 86400 / 20);
    for (size_t i = 0; i < count; ++i) {
        const TDateTime t = last - static_cast<double>(count - i) * 20 / 86400;
        const double hour = (t - std::floor(t)) * 24;
        const double day = std::cos((hour - 14) / 24 * 2 * M_PI); // 1 at 14h, -1 at 2h
        const double clouds = 0.5 + 0.5 * std::sin(t * 5.3) * std::sin(t * 1.7);
        const bool shower = t - std::floor(last) > -1.3 && t - std::floor(last) < -1.2;
        TcapteursInfos r{};
        r.DateSysteme = t;
        r.ValueTempDeg = static_cast<float>(9 + 6 * day + std::sin(i * 0.37) * 0.2);
        r.DeltaTempDeg = static_cast<float>(-27 + 22 * clouds + (shower ? 4 : 0) + std::sin(i * 0.91) * 0.6);
        r.ValueSkyDeg = r.DeltaTempDeg + r.ValueTempDeg;
        r.Humidity =
            static_cast<float>(std::min(99.0, 70 - 20 * day + (shower ? 25 : 0) + std::sin(i * 0.13)));
        r.DewPoint = r.ValueTempDeg - static_cast<float>((100 - r.Humidity) / 5);
        r.RainStatus = shower;
        r.ValidLight = 1;
        r.Lumex = std::clamp(2.0 + 5 * day, -1.5, 5.5) + 0.05 * std::sin(i * 0.5);
        r.ValidWindGUST = 1;
        r.WindSpeedMax_ms = static_cast<float>(std::max(0.0, 3 + 4 * day + 2.5 * std::sin(i * 0.77)));
        r.DirSpeedMax_deg = static_cast<float>(std::fmod(250 + 40 * std::sin(t * 3) + (i % 9) * 4, 360));
        r.ValueSkyVolts = static_cast<float>(2.1 + 0.02 * r.DeltaTempDeg);
        r.ValueCanVolts = static_cast<float>(2.6 + 0.01 * r.ValueTempDeg);
        r.ValueCanDeg = r.ValueTempDeg + 1;
        r.ValueTempFceDeg = r.ValueTempDeg + (shower ? 12 : 3);
        r.PowerRainDet = static_cast<uint8_t>(shower ? 40 : 8);
        r.PowerVolts = 3.4f;
        records.push_back(r);
    }
    return records;
}

// One run of the program in a private home folder, against its own simulated station.
class TSceneRun {
  public:
    explicit TSceneRun(const TScene& scene) : scene_(scene) {
        const std::string home = home_.path().toStdString();
        ::setenv("HOME", home.c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (home + "/.local/share").c_str(), 1);
        InitStartValues();
        SetupFolders();
        WriteCurrentLang(sceneLanguage);
        clock_ = scene.clock;
        if (scene.debug) QFile(QString::fromStdString(PathLogs + "debug.txt")).open(QIODevice::WriteOnly);
        if (scene.historyDays > 0) {
            SetClockForTests([this] { return clock_; });
            THistoryStore history(PathDatas);
            history.Append(SimulatedHistory(scene.clock - 60.0 / 86400, scene.historyDays));
            history.SaveChanged();
            // Every day of it on the graphs.
            DatabaseRegistry().WriteCFGtoRegister(KeyConfig, 10.0, "DateDisplay");
        }
        SetClockForTests([this] { return clock_; });

        StationOptions options;
        options.Speed = 0;
        options.StartClock = scene.clock;
        options.PrefillRecords = scene.stationRecords;
        options.Scenario = ParseScenario(scene.scenario);
        station_ = std::make_unique<HalvexStation>(options);
        station_->Start();

        TSupervisorOptions so;
        so.Headless = false;
        so.PortDevice = station_->DevicePath();
        so.Arguments = {"orvanel"};
        so.CheckSingleInstance = false;
        so.StartAutomationServer = false;
        so.WatchSuspend = false;
        supervisor_ = std::make_unique<Supervisor>(so);
        supervisor_->SetUtcClockForTests([this] { return clock_; });
        window_ = std::make_unique<MainWindow>(*supervisor_);
        QObject::connect(supervisor_.get(), &Supervisor::startupFinished, [this](bool) { started_ = true; });
        QObject::connect(supervisor_.get(), &Supervisor::weatherReadingProcessed, [this] { ++readings_; });
    }

    ~TSceneRun() {
        window_.reset();
        supervisor_.reset();
        station_->Stop();
        SetClockForTests({});
    }

    bool Start() {
        window_->show();
        return supervisor_->Start() && WaitUntil([this] { return started_; });
    }

    void Advance(double seconds) {
        clock_ += seconds / 86400.0;
        station_->AdvanceTime(seconds);
    }

    bool WeatherReading() {
        Advance(SetupInfos.InterValQuickPoolSec);
        const int before = readings_;
        for (uint32_t i = 0; i < SetupInfos.InterValQuickPoolSec; ++i)
            supervisor_->TimerMainTimer();
        return WaitUntil([&] { return readings_ > before; });
    }

    bool LightReading() {
        const TDateTime before = LightPrevDate;
        for (uint32_t i = 0; i < SetupInfos.InterValLightPoolSec; ++i)
            supervisor_->TimerLightTimer();
        return WaitUntil([&] { return LightPrevDate != before && ComThreadCount == 0; });
    }

    // Two minutes of polling: the sky median filled, two light readings, then the timers a few
    // seconds into the next period.
    bool RunSomeMinutes() {
        for (int i = 0; i < 6; ++i) {
            if (!WeatherReading()) return false;
            if ((i == 1 || i == 4) && !LightReading()) return false;
        }
        Advance(7);
        for (int i = 0; i < 7; ++i) {
            supervisor_->TimerMainTimer();
            supervisor_->TimerLightTimer();
        }
        return true;
    }

    MainWindow& Window() { return *window_; }
    Supervisor& Controller() { return *supervisor_; }

  private:
    QTemporaryDir home_;
    TScene scene_;
    TDateTime clock_ = 0;
    std::unique_ptr<HalvexStation> station_;
    std::unique_ptr<Supervisor> supervisor_;
    std::unique_ptr<MainWindow> window_;
    bool started_ = false;
    int readings_ = 0;
};

void ShootWeather(const TScene& scene, const QString& folder, bool automaticRearm) {
    TSceneRun run(scene);
    if (!run.Start()) {
        std::fprintf(stderr, "%s: the controller did not start\n", scene.file);
        return;
    }
    if (automaticRearm) {
        SetupInfos.RoofCloserCriterias.DoReamAuto = true;
        SetupInfos.RoofCloserCriterias.AfterMinutes = 120;
    }
    if (!run.RunSomeMinutes()) {
        std::fprintf(stderr, "%s: a reading did not end\n", scene.file);
        return;
    }
    MainWindow& window = run.Window();
    Save(window, folder + "/" + Prefixed(scene.file));
    // Resized: the layout must stay tidy larger and at a smaller laptop size.
    window.resize(1280, 800);
    Save(window, folder + "/" + Prefixed(QString("large-") + scene.file));
    window.resize(760, 560);
    Save(window, folder + "/" + Prefixed(QString("small-") + scene.file));
}

// The windows seen while the program comes up: the history being loaded, the station memory being
// downloaded.
void ShootStart(const QString& folder) {
    TSceneRun run({"", EncodeDateTime(2026, 12, 9, 18, 5, 0), "sky=-25@0-1000", 250});
    bool saved = false;
    QObject::connect(&run.Controller(), &Supervisor::downloadProgressChanged, [&run, &saved, folder] {
        const TDownloadProgress& d = run.Controller().DownloadProgress();
        if (!saved && !d.Text.empty() && d.Done >= 120 && run.Window().DownloadWindow()) {
            saved = true;
            Save(*run.Window().DownloadWindow(), folder + "/" + Prefixed("download-progress.png"), false);
            Save(run.Window(), folder + "/" + Prefixed("starting.png"), false);
        }
    });
    QObject::connect(
        &run.Controller(), &Supervisor::historyLoadProgress, [&run, folder](const QString& step) {
            if (!step.isEmpty() && run.Window().HistorySplash())
                Save(*run.Window().HistorySplash(), folder + "/" + Prefixed("history-loading.png"));
        });
    run.Start();
}

// Each graph tab over three simulated days, the window a little larger than at first start.
void ShootGraphs(const QString& folder, bool debug) {
    TSceneRun run({"", EncodeDateTime(2026, 10, 14, 22, 30, 0),
                   "sky=-24@0-1000,rh=72@0-1000,wind=4@0-1000,dir=250@0-1000,temp=7@0-1000,mag=18.5@0-1000,"
                   "dry@0-1000",
                   0, 3, debug});
    if (!run.Start() || !run.RunSomeMinutes()) {
        std::fprintf(stderr, "graphs: the controller did not run\n");
        return;
    }
    MainWindow& window = run.Window();
    window.resize(1000, 680);
    TGraphTabs& graphs = *window.Graphs();
    graphs.ShowLastPeriod(3);
    const std::pair<TGraphPage, const char*> pages[] = {{TGraphPage::Sky, "graph-sky"},
                                                        {TGraphPage::Light, "graph-light"},
                                                        {TGraphPage::Humidity, "graph-humidity"},
                                                        {TGraphPage::Temperature, "graph-temperature"},
                                                        {TGraphPage::Wind, "graph-wind"},
                                                        {TGraphPage::Volts, "graph-debug-volts"},
                                                        {TGraphPage::Heater, "graph-debug-heater"}};
    for (const auto& [page, name] : pages) {
        QWidget* widget = graphs.PageOf(page);
        if (!widget) continue;
        window.Pages()->setCurrentWidget(widget);
        Save(window, folder + "/" + Prefixed(QString(debug ? "debug-" : "") + name + ".png"));
    }
    if (debug) return;
    // The pictures an FTP tick publishes, at the default web sizes, as PNG files for the viewer.
    try {
        window.SavePublishSnapshots(100);
        for (const char* name :
             {SnapshotFile::Temp, SnapshotFile::SkyCloud, SnapshotFile::SkyLight, SnapshotFile::Humidity,
              SnapshotFile::WindSpeed, SnapshotFile::WindDisplay, SnapshotFile::Overview}) {
            const QString jpeg = QString::fromStdString(PathJpeg + name);
            QImage(jpeg, "JPG").save(folder + "/publish-" + QFileInfo(jpeg).completeBaseName() + ".png");
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "publishing snapshots: %s\n", e.what());
    }
    // The smallest and largest window sizes.
    window.Pages()->setCurrentWidget(graphs.PageOf(TGraphPage::Sky));
    window.resize(760, 560);
    Save(window, folder + "/" + Prefixed("small-graph-sky.png"));
    window.Pages()->setCurrentWidget(graphs.PageOf(TGraphPage::Wind));
    Save(window, folder + "/" + Prefixed("small-graph-wind.png"));
    window.resize(1600, 1000);
    Save(window, folder + "/" + Prefixed("large-graph-wind.png"));
    window.Pages()->setCurrentWidget(graphs.PageOf(TGraphPage::Sky));
    Save(window, folder + "/" + Prefixed("large-graph-sky.png"));
    window.resize(1000, 680);
    QApplication::processEvents();

    // A zoom box being dragged over the temperature plot.
    window.Pages()->setCurrentWidget(graphs.PageOf(TGraphPage::Temperature));
    QApplication::processEvents();
    TPlotWidget* plot = graphs.PlotOf(TGraphPage::Temperature);
    auto mouse = [plot](QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons buttons) {
        QMouseEvent event(type, at, plot->mapToGlobal(at), button, buttons, Qt::NoModifier);
        QApplication::sendEvent(plot, &event);
    };
    mouse(QEvent::MouseButtonPress, {420, 90}, Qt::LeftButton, Qt::LeftButton);
    mouse(QEvent::MouseMove, {560, 200}, Qt::NoButton, Qt::LeftButton);
    mouse(QEvent::MouseMove, {640, 300}, Qt::NoButton, Qt::LeftButton);
    Save(window, folder + "/" + Prefixed("graph-zoom-box.png"));
    mouse(QEvent::MouseButtonRelease, {640, 300}, Qt::LeftButton, Qt::NoButton);
    Save(window, folder + "/" + Prefixed("graph-zoomed.png"));

    std::unique_ptr<QDialog> legend(NewLegendWindow(&window));
    legend->show();
    Save(*legend, folder + "/" + Prefixed("legend.png"));
}

// The sky plot over a million records (one every 20 s, a little over seven months).
void ShootMillionRecords(const QString& folder) {
    QTemporaryDir home;
    DebugMode = false;
    const TDateTime last = EncodeDateTime(2026, 10, 14, 22, 30, 0);
    SetClockForTests([last] { return last; });
    THistoryStore history(home.path().toStdString() + "/");
    history.Append(SimulatedHistory(last - 1.0 / 1440, 1000000 * 20.0 / 86400));
    TSetupInfos setup = SetupInfos;
    setup.RangeDateDisplay = 36500;
    setup.Disp_Gap_Display = 0.05;
    setup.SeuilCloudy = -8;
    setup.SeuilVeryCloudy = -5;
    setup.SeuilVeryWindy_km = 40;
    setup.SeuilDawn = 3;
    TGraphicSpecial plot(history, setup);
    plot.TypeData = IRData_Minus_Sol;
    plot.unit_Str = "°";
    plot.SetSize(815, 525);
    plot.Tg = {-50, 10, history.Records().front().DateSysteme, last, 0, 0};
    plot.Display();
    const QString path = folder + "/" + Prefixed("graph-sky-million-records.png");
    if (plot.Picture().save(path)) std::printf("%s\n", qPrintable(path));
    SetClockForTests({});
}

// The settings dialog filled from the simulated station, each tab at the dialog's natural size; the
// web-publishing dialog; the calibration dialog after a measurement under a mask.
void ShootSettings(const QString& folder) {
    TSceneRun run({"", EncodeDateTime(2026, 12, 9, 23, 10, 0),
                   "sky=-27@0-1000,rh=50@0-1000,wind=3@0-1000,temp=4@0-1000,mag=30@0-1000,dry@0-1000"});
    if (!run.Start() || !run.RunSomeMinutes()) {
        std::fprintf(stderr, "settings: the controller did not start\n");
        return;
    }
    StartConfigurationDialog(run.Controller(), &run.Window());
    TFormConfigTavrel* dialog = nullptr;
    if (!WaitUntil([&] { return (dialog = run.Window().findChild<TFormConfigTavrel*>()) != nullptr; })) {
        std::fprintf(stderr, "settings: the dialog did not open\n");
        return;
    }
    const char* names[] = {"connectivite", "config-halvex", "fichiers", "affichages",
                           "logs",         "criteres",      "seuils"};
    for (int i = 0; i < dialog->Tabs()->count(); ++i) {
        dialog->Tabs()->setCurrentIndex(i);
        dialog->adjustSize();
        Save(*dialog, folder + "/" + Prefixed(QString("settings-%1-%2.png").arg(i + 1).arg(names[i])));
    }
    dialog->reject();

    TFormWebSetup web(run.Controller(), {}, &run.Window());
    web.show();
    Save(web, folder + "/" + Prefixed("web-setup.png"));
    web.reject();

    TFormDlgDarkCompute dark(run.Controller(), &run.Window(), TDarkComputeTiming{5, 20});
    dark.ShowMessage = [](const QString& text) { std::fprintf(stderr, "message: %s\n", qPrintable(text)); };
    dark.show();
    dark.findChild<QPushButton*>("ButtonActions")->click();
    if (!WaitUntil([&] { return dark.CalibrationPending(); })) return;
    run.Advance(120);
    if (!WaitUntil([&] { return !dark.CalibrationPending() && !dark.SampleRunning(); })) return;
    Save(dark, folder + "/" + Prefixed("dark-current.png"));
}

// Six days of history every five minutes before the run: nights clear or cloudy, day and night
// from the light level, a rainy afternoon, wind that rises and falls.
void WriteHistoryDays(TDateTime last, int days) {
    THistoryStore store(PathDatas);
    TTDataStation records;
    const int perDay = 288;
    for (int i = days * perDay; i > 0; --i) {
        TcapteursInfos r{};
        r.DateSysteme = last - i / static_cast<double>(perDay);
        const double hour = (r.DateSysteme - std::floor(r.DateSysteme)) * 24;
        const int day = static_cast<int>(i / perDay);
        const bool night = hour < 7.5 || hour > 17.5;
        r.ValueTempDeg = static_cast<float>(2 + 6 * std::sin((hour - 9) / 24 * 2 * M_PI) + day);
        const bool clear = night ? day % 3 != 1 : hour < 11;
        r.DeltaTempDeg = clear ? -26.0f - static_cast<float>(day) : -8.0f;
        r.ValueSkyDeg = r.ValueTempDeg + r.DeltaTempDeg;
        r.Humidity = static_cast<float>(55 + 30 * std::cos(hour / 24 * 2 * M_PI));
        r.RainStatus = day == 2 && hour > 13 && hour < 16 ? 1 : 0;
        r.ValidWindGUST = 1;
        r.WindSpeedMax_ms = static_cast<float>(2 + 4 * std::abs(std::sin(hour / 12 * M_PI)) + day % 2);
        r.DirSpeedMax_deg = static_cast<float>((200 + i) % 360);
        r.ValidLight = i % 37 != 0;
        r.Lumex = night ? -2.6 : 2.5;
        records.push_back(r);
    }
    store.Append(records);
    store.SaveChanged();
}

// The statistics of the last six days and the table, over a history written before the start.
void ShootDataTools(const QString& folder) {
    const TDateTime clock = EncodeDateTime(2026, 12, 9, 22, 15, 0);
    TSceneRun run({"", clock, "sky=-25@0-1000", 0});
    WriteHistoryDays(clock - 1.0 / 1440, 6);
    if (!run.Start()) {
        std::fprintf(stderr, "data tools: the controller did not start\n");
        return;
    }
    MainWindow& window = run.Window();
    window.resize(1000, 680);
    auto* stats = window.findChild<TStatsTab*>();
    auto* table = window.findChild<TDataTableTab*>();
    if (!stats || !table) {
        std::fprintf(stderr, "data tools: the tabs are missing\n");
        return;
    }
    stats->SetRange(clock - 6, clock);
    stats->Compute();
    window.Pages()->setCurrentWidget(stats);
    Save(window, folder + "/" + Prefixed("statistics.png"));
    window.Pages()->setCurrentWidget(table);
    QApplication::processEvents();
    table->View()->selectRow(3);
    Save(window, folder + "/" + Prefixed("data-table.png"));
}

__attribute__((noinline)) void ReadSensorTable(int index) {
    throw std::out_of_range("Index hors limites : " + std::to_string(index));
}

// The exception dialog as an error escaping a handler shows it.
void ShootExceptionDialog(const QString& folder) {
    auto* app = static_cast<TOrvanelApplication*>(qApp);
    try {
        ReadSensorTable(17);
    } catch (...) {
        app->ReportException(std::current_exception());
    }
    if (TFormExcept* dialog = app->ExceptionDialog()) {
        Save(*dialog, folder + "/" + Prefixed("exception-dialog.png"));
        dialog->close();
        QApplication::processEvents();
    }
}

// Night vision over three days of history: the information tab with the verdict, and the sky plot.
void ShootNightVision(const QString& folder) {
    TSceneRun run({"", EncodeDateTime(2026, 10, 14, 22, 30, 0),
                   "sky=-24@0-1000,rh=72@0-1000,wind=4@0-1000,dir=250@0-1000,temp=7@0-1000,mag=18.5@0-1000,"
                   "dry@0-1000",
                   0, 3});
    if (!run.Start() || !run.RunSomeMinutes()) {
        std::fprintf(stderr, "night vision: the controller did not run\n");
        return;
    }
    MainWindow& window = run.Window();
    window.resize(1000, 680);
    window.SetNightVision(true, false);
    window.Pages()->setCurrentIndex(0);
    Save(window, folder + "/" + Prefixed("night-information.png"));
    window.Graphs()->ShowLastPeriod(3);
    window.Pages()->setCurrentWidget(window.Graphs()->PageOf(TGraphPage::Sky));
    Save(window, folder + "/" + Prefixed("night-graph-sky.png"));
    window.SetNightVision(false, false);
}

void ShootAll(const QString& folder) {
    ShootWeather({"clear-dark-night.png", EncodeDateTime(2026, 12, 9, 23, 41, 12),
                  "sky=-27@0-1000,rh=46@0-1000,wind=3@0-1000,dir=22@0-1000,temp=4@0-1000,mag=19.6@0-1000,"
                  "dry@0-1000"},
                 folder, false);
    ShootWeather({"rainy-evening-relay-closed.png", EncodeDateTime(2026, 6, 14, 21, 52, 40),
                  "sky=-3@0-1000,rh=93@0-1000,wind=22@0-1000,dir=250@0-1000,temp=12@0-1000,mag=9.2@0-1000,"
                  "rain@0-1000"},
                 folder, true);
    ShootStart(folder);
    ShootGraphs(folder, false);
    ShootGraphs(folder, true);
    ShootNightVision(folder);
    ShootMillionRecords(folder);
    ShootSettings(folder);
    ShootDataTools(folder);
    ShootExceptionDialog(folder);
}

} // namespace

int main(int argc, char** argv) {
    InstallSettingDefaults();
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    TOrvanelApplication app(argc, argv, false);
    QApplication::setApplicationName("Orvanel");
    const QString folder =
        QDir(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshots")).absolutePath();
    QDir().mkpath(folder);
    InstallQtHooks(false);
    Languages::Install();
    DismissMessageBoxes();

    // In French (the source texts), then in English (file names prefixed "en-").
    for (const int32_t language : {LangFrench, LangEnglish}) {
        sceneLanguage = language;
        ShootAll(folder);
    }
    return 0;
}
