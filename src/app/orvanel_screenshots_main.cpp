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
#include <QTemporaryDir>
#include <QTimer>
#include <stdexcept>
#include <string>

#include "DateTime.h"
#include "HalvexStation.h"
#include "Language.h"
#include "MainWindow.h"
#include "OrvanelApplication.h"
#include "QtHooks.h"
#include "Records.h"
#include "SettingsTable.h"
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
        WriteCurrentLang(sceneLanguage);
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
    ShootExceptionDialog(folder);
}

} // namespace

int main(int argc, char** argv) {
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
