// orvanel-screenshots: pictures of the main window fed with crafted readings, made on Qt's offscreen
// platform, to judge the layout without a desktop. Usage: orvanel-screenshots [folder]
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QStatusBar>
#include <string>

#include "Classification.h"
#include "Conversions.h"
#include "DateTime.h"
#include "MainWindow.h"
#include "MedianObject.h"
#include "Records.h"
#include "StatusLoadDatas.h"
#include "UserText.h"
#include "ViewData.h"

namespace {

// Light level (decimal log of counts) that gives a sky brightness in magnitude per square arc-second.
double LumexFor(double magnitude) {
    return (12.4 - magnitude) * std::log10(PogsonRatio);
}

struct TScene {
    const char* file;
    TcapteursInfos reading;
    bool relayReported;
    bool relayClosed;
    TDateTime now;
};

TcapteursInfos ClearDarkNight(TDateTime when) {
    TcapteursInfos r{};
    r.DateSysteme = when;
    r.ValueTempDeg = 4.3f;
    r.ValueTempFceDeg = 6.1f;
    r.ValueCanDeg = 5.2f;
    r.DeltaTempDeg = -27.4f;
    r.Humidity = 46.0f;
    r.DewPoint = -6.3f;
    r.ValidWindGUST = 1;
    r.WindSpeedMax_ms = 0.9f;
    r.DirSpeedMax_deg = 22.5f;
    r.RainStatus = 0;
    r.PowerRainDet = 0;
    r.ValidLight = 1;
    r.Lumex = LumexFor(19.6);
    r.PowerVolts = 12.41f;
    return r;
}

TcapteursInfos RainyEvening(TDateTime when) {
    TcapteursInfos r{};
    r.DateSysteme = when;
    r.ValueTempDeg = 11.8f;
    r.ValueTempFceDeg = 14.9f;
    r.ValueCanDeg = 12.2f;
    r.DeltaTempDeg = -3.1f;
    r.Humidity = 93.0f;
    r.DewPoint = 10.7f;
    r.ValidWindGUST = 1;
    r.WindSpeedMax_ms = 6.2f;
    r.DirSpeedMax_deg = 247.5f;
    r.RainStatus = 1;
    r.PowerRainDet = 74;
    r.ValidLight = 1;
    r.Lumex = LumexFor(9.2);
    r.PowerVolts = 12.18f;
    return r;
}

void ReportCriteria() {
    auto& c = SetupInfos.RoofCloserCriterias;
    // Value, DefaultValue, Valid
    c.DoWatch = {true, true, true};
    c.TempSky = {-10.0, -10.0, true};
    c.RH = {90, 90, true};
    c.Wind = {30, 30, true};
    c.Light = {false, false, true};
    c.ValueMag = {4.0, 4.0, true};
}

void Shoot(const TScene& scene, const QString& folder) {
    SetClockForTests([now = scene.now] { return now; });
    // After rain the station dries its rain sensor.
    SetupInfos.SetupInfos_HW.RainCleanEnabled = {scene.reading.RainStatus != 0, false, true};
    MainWindow window;
    TMedianObject medianSky(MedianSkySamples);
    TConditionsDisplay display;
    // Five readings fill the sky median, as after the first two minutes of a night.
    for (int i = 0; i < MedianSkySamples; ++i)
        display = ClassifyConditions(scene.reading, SetupInfos, medianSky);
    double chill = 0;
    const bool chillComputed = WindChillOf(scene.reading.ValidWindGUST != 0, scene.reading.ValueTempDeg,
                                           scene.reading.WindSpeedMax_ms, chill);
    window.ShowConditions(display, QString::fromStdString(WindChillText(chillComputed, chill)));

    TRelayDisplay relay = InitialRelayDisplay();
    FillRelayCriteria(SetupInfos.RoofCloserCriterias, relay);
    TT_Bool roof{scene.relayClosed, false, scene.relayReported};
    relay.Panel = RelayPanel(roof);
    if (scene.relayClosed) {
        relay.Panel.Hint = "Activé à " + DateTimeText(scene.now - 0.01);
        relay.ButtonCaption = RearmCaption(105.6);
        relay.ButtonEnabled = true;
    }
    window.ShowRelay(relay);
    window.ShowWeatherTimes(TimerLabelsAt(20, 7, scene.reading.DateSysteme, scene.now));
    window.ShowLightTimes(TimerLabelsAt(60, 31, scene.reading.DateSysteme - 29.0 / 86400, scene.now));
    window.ShowStationVersion("Halvex V2.31", 1204);
    window.ShowStatus("Ok", false);
    window.SetStatusBarText(2, "8640 données totales");
    window.SetGoodConditionsLegend(QString::fromStdString(GoodConditionsLegend(SetupInfos)));
    window.show();
    QApplication::processEvents();
    const QString path = folder + "/" + scene.file;
    if (!window.grab().save(path))
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    else
        std::printf("%s\n", qPrintable(path));
    // Resized: the layout must stay tidy larger and at a smaller laptop size.
    window.resize(1280, 800);
    QApplication::processEvents();
    window.grab().save(folder + "/large-" + scene.file);
    window.resize(760, 560);
    QApplication::processEvents();
    window.grab().save(folder + "/small-" + scene.file);
}

// The window as it opens, before the station has answered: every state unknown.
void ShootStart(const QString& folder) {
    MainWindow window;
    window.ShowStatus(QString::fromStdString(Tr("MainWindow", "Erreur : ")) +
                          "Ne peut ouvrir le port /dev/ttyUSB0 ! (No such file or directory)",
                      true);
    window.show();
    QApplication::processEvents();
    window.grab().save(folder + "/starting.png");
    window.ShowDownloadProgress(120, 250);
    QApplication::processEvents();
    if (TStatusLoadDatas* progress = window.DownloadWindow())
        progress->grab().save(folder + "/download-progress.png");
}

} // namespace

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    QApplication::setApplicationName("Orvanel");
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshots");
    QDir().mkpath(folder);
    InitStartValues();
    ReportCriteria();
    const TDateTime night = EncodeDateTime(2026, 12, 9, 23, 41, 12);
    const TDateTime evening = EncodeDateTime(2026, 6, 14, 21, 52, 40);
    Shoot({"clear-dark-night.png", ClearDarkNight(night), true, false, night + 7.0 / 86400}, folder);
    Shoot({"rainy-evening-relay-closed.png", RainyEvening(evening), true, true, evening + 7.0 / 86400},
          folder);
    ShootStart(folder);
    return 0;
}
