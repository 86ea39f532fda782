// orvanel-screenshots: pictures of the main window made on Qt's offscreen platform, to judge the
// layout without a desktop. Each scene is real: the controller polls a simulated station (on a
// pseudo-terminal) whose weather a script holds, in a private home folder; the window shows what the
// controller reports. Usage: orvanel-screenshots [folder]
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <QApplication>
#include <QPointer>
#include <QDir>
#include <QMessageBox>
#include <QPixmap>
#include <QTableView>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <string>

#include "DataTableTab.h"
#include "DateTime.h"
#include "HalvexStation.h"
#include "HistoryStore.h"
#include "MainWindow.h"
#include "QtHooks.h"
#include "Records.h"
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

struct TScene {
    const char* file;
    TDateTime clock;      // the PC's and the station's clock at the first reading
    const char* scenario; // the weather the station reports throughout
    uint32_t stationRecords = 0;
};

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
        clock_ = scene.clock;
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
    Save(window, folder + "/" + scene.file);
    // Resized: the layout must stay tidy larger and at a smaller laptop size.
    window.resize(1280, 800);
    Save(window, folder + "/large-" + scene.file);
    window.resize(760, 560);
    Save(window, folder + "/small-" + scene.file);
}

// The windows seen while the program comes up: the history being loaded, the station memory being
// downloaded.
void ShootStart(const QString& folder) {
    TSceneRun run({"", EncodeDateTime(2026, 12, 9, 18, 5, 0), "sky=-25@0-1000", 250});
    QObject::connect(&run.Controller(), &Supervisor::downloadProgressChanged, [&run, folder] {
        const TDownloadProgress& d = run.Controller().DownloadProgress();
        static bool saved = false;
        if (!saved && !d.Text.empty() && d.Done >= 120 && run.Window().DownloadWindow()) {
            saved = true;
            Save(*run.Window().DownloadWindow(), folder + "/download-progress.png", false);
            Save(run.Window(), folder + "/starting.png", false);
        }
    });
    QObject::connect(&run.Controller(), &Supervisor::historyLoadProgress, [&run, folder](const QString& step) {
        if (!step.isEmpty() && run.Window().HistorySplash())
            Save(*run.Window().HistorySplash(), folder + "/history-loading.png");
    });
    run.Start();
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
    Save(window, folder + "/statistics.png");
    window.Pages()->setCurrentWidget(table);
    QApplication::processEvents();
    table->View()->selectRow(3);
    Save(window, folder + "/data-table.png");
}

} // namespace

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    QApplication::setApplicationName("Orvanel");
    const QString folder = QDir(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshots"))
                               .absolutePath();
    QDir().mkpath(folder);
    InstallQtHooks(false);
    DismissMessageBoxes();

    ShootWeather({"clear-dark-night.png", EncodeDateTime(2026, 12, 9, 23, 41, 12),
                  "sky=-27@0-1000,rh=46@0-1000,wind=3@0-1000,dir=22@0-1000,temp=4@0-1000,mag=19.6@0-1000,"
                  "dry@0-1000"},
                 folder, false);
    ShootWeather({"rainy-evening-relay-closed.png", EncodeDateTime(2026, 6, 14, 21, 52, 40),
                  "sky=-3@0-1000,rh=93@0-1000,wind=22@0-1000,dir=250@0-1000,temp=12@0-1000,mag=9.2@0-1000,"
                  "rain@0-1000"},
                 folder, true);
    ShootStart(folder);
    ShootDataTools(folder);
    return 0;
}
