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
#include <QMessageBox>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <string>

#include "DateTime.h"
#include "FormConfigTavrel.h"
#include "FormDlgDarkCompute.h"
#include "FormWebSetup.h"
#include "HalvexStation.h"
#include "MainWindow.h"
#include "QtHooks.h"
#include "Records.h"
#include "StartupFolders.h"
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
    QObject::connect(&run.Controller(), &Supervisor::historyLoadProgress,
                     [&run, folder](const QString& step) {
                         if (!step.isEmpty() && run.Window().HistorySplash())
                             Save(*run.Window().HistorySplash(), folder + "/history-loading.png");
                     });
    run.Start();
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
        Save(*dialog, folder + QString("/settings-%1-%2.png").arg(i + 1).arg(names[i]));
    }
    dialog->reject();

    TFormWebSetup web(run.Controller(), {}, &run.Window());
    web.show();
    Save(web, folder + "/web-setup.png");
    web.reject();

    TFormDlgDarkCompute dark(run.Controller(), &run.Window(), TDarkComputeTiming{5, 20});
    dark.ShowMessage = [](const QString& text) { std::fprintf(stderr, "message: %s\n", qPrintable(text)); };
    dark.show();
    dark.findChild<QPushButton*>("ButtonActions")->click();
    if (!WaitUntil([&] { return dark.CalibrationPending(); })) return;
    run.Advance(120);
    if (!WaitUntil([&] { return !dark.CalibrationPending() && !dark.SampleRunning(); })) return;
    Save(dark, folder + "/dark-current.png");
}

} // namespace

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    QApplication::setApplicationName("Orvanel");
    const QString folder =
        QDir(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshots")).absolutePath();
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
    ShootSettings(folder);
    return 0;
}
