// The main window as an observer meets it: the view of a real controller polling the simulated
// station on a pseudo-terminal, a weather script holding what the station measures. What the window
// shows is read back from the real widgets and, for colours, from the painted window.
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <optional>
#include <ostream>
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <string>

#include "Conditions.h"
#include "ConditionTexts.h"
#include "DataTableTab.h"
#include "DateTime.h"
#include "GraphTabs.h"
#include "HistoryFile.h"
#include "MainWindow.h"
#include "NightMode.h"
#include "PlatformServices.h"
#include "PlotWidget.h"
#include "Protocol.h"
#include "SettingsTable.h"
#include "StatePanel.h"
#include "StatusLoadDatas.h"
#include "SupervisedStation.h"
#include "TestSupport.h"
#include "UserPrompts.h"
#include "UserText.h"
#include "Utilities.h"
#include "VerdictBanner.h"
#include "WeatherModel.h"

namespace {

using namespace halvex::sim;

QString Q(const char* utf8) {
    return QString::fromUtf8(utf8);
}

// Clear, dry, calm and dark; each case appends what it changes (a later item wins).
constexpr const char* kQuietNight =
    "sky=-25@0-1000,rh=40@0-1000,wind=3@0-1000,mag=19@0-1000,temp=4@0-1000,dry@0-1000";

StationOptions Script(const std::string& changes = {}) {
    StationOptions options;
    options.Scenario =
        ParseScenario(changes.empty() ? kQuietNight : std::string(kQuietNight) + "," + changes);
    return options;
}

class MainWindowTest : public SupervisedStationTest {
  protected:
    void TearDown() override {
        window_.reset();
        delete boxCloser_;
        SupervisedStationTest::TearDown();
    }

    // The program as `orvanel` starts it with a display: the window built on the controller and shown
    // before the controller starts. Message boxes are answered by `answer` and their texts kept.
    void OpenWindow(StationOptions options, QMessageBox::StandardButton answer = QMessageBox::Yes) {
        StartStation(std::move(options));
        CreateSupervisor(station_->DevicePath(), false);
        window_ = std::make_unique<MainWindow>(*supervisor_);
        window_->show();
        boxCloser_ = new QTimer;
        QObject::connect(boxCloser_, &QTimer::timeout, [this, answer] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                boxes_.push_back(box->text().toStdString());
                if (QAbstractButton* button = box->button(answer))
                    button->click();
                else
                    box->accept(); // a message with its single button
            }
        });
        boxCloser_->start(10);
    }

    // Readings as the cycle makes them, the clock moving by one interval each time; two light readings
    // give a light level.
    void Readings(int weather, bool light = true) {
        for (int i = 0; i < weather; ++i) {
            Advance(SetupInfos.InterValQuickPoolSec);
            ASSERT_NO_FATAL_FAILURE(WeatherReading());
            if (light && i < 2) {
                ASSERT_NO_FATAL_FAILURE(LightReading());
            }
        }
    }

    template <typename W> W* Child(const char* name) {
        W* widget = window_->findChild<W*>(name);
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    QString Text(const char* name) { return Child<QLabel>(name)->text(); }

    // The colour actually painted inside the panel's frame, as the whole window shows it.
    QColor PaintedColour(QWidget* panel) {
        QApplication::processEvents();
        const QImage image = window_->grab().toImage();
        const QPoint inside = panel->mapTo(window_.get(), QPoint(4, 4));
        return image.pixelColor(inside * image.devicePixelRatio());
    }

    QAction* Action(QWidget* owner, const char* name) { return owner->findChild<QAction*>(name); }

    std::unique_ptr<MainWindow> window_;
    QTimer* boxCloser_ = nullptr;
    std::vector<std::string> boxes_;
};

// ---- State panels after readings ------------------------------------------------------------

struct PanelCase {
    const char* name;
    std::string scenario; // appended to the quiet night
    const char* panel;
    const char* text;
    std::optional<TRgb> colour; // none: the neutral face colour
    std::function<void(StationOptions&)> station = {};
    bool light = true;
};

void PrintTo(const PanelCase& c, std::ostream* os) {
    *os << c.name;
}

class StatePanelCases : public MainWindowTest, public ::testing::WithParamInterface<PanelCase> {};

TEST_P(StatePanelCases, ShowTextAndColour) {
    const PanelCase& c = GetParam();
    StationOptions options = Script(c.scenario);
    if (c.station) c.station(options);
    OpenWindow(options);
    ASSERT_NO_FATAL_FAILURE(StartAndWait());
    // Five readings fill the sky median.
    ASSERT_NO_FATAL_FAILURE(Readings(MedianSkySamples, c.light));
    auto* panel = Child<TStatePanelLabel>(c.panel);
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->text(), Q(c.text));
    EXPECT_EQ(panel->Colour(), c.colour);
    const QColor expected =
        c.colour ? QColor(c.colour->R, c.colour->G, c.colour->B) : QPalette().color(QPalette::Window);
    EXPECT_EQ(PaintedColour(panel), expected);
    EXPECT_TRUE(boxes_.empty()) << boxes_.front();
}

INSTANTIATE_TEST_SUITE_P(
    Readings, StatePanelCases,
    ::testing::Values(
        PanelCase{"Clear", "", "Panel_WeatherSF", "DEGAGE", ColorGreen},
        PanelCase{"Cloudy", "sky=-15@0-1000", "Panel_WeatherSF", "COUVERT", ColorOrange},
        PanelCase{"VeryCloudy", "sky=-4@0-1000", "Panel_WeatherSF", "TRES COUVERT", ColorRed},
        PanelCase{"Calm", "", "PanelWIND", "CALME", ColorGreen},
        PanelCase{"Windy", "wind=10@0-1000", "PanelWIND", "VENTEUX", ColorOrange},
        PanelCase{"VeryWindy", "wind=25@0-1000", "PanelWIND", "TRES VENTEUX", ColorRed},
        PanelCase{"NoGustSensor", "", "PanelWIND", "Pas disponible", std::nullopt,
                  [](StationOptions& o) { o.GustSensor = false; }},
        PanelCase{"Dry", "", "PanelHumidity", "SEC", ColorGreen},
        PanelCase{"Humid", "rh=62@0-1000", "PanelHumidity", "HUMIDE", ColorOrange},
        PanelCase{"VeryHumid", "rh=85@0-1000", "PanelHumidity", "TRES HUMIDE", ColorRed},
        PanelCase{"DarkNight", "", "PanelSkyBgd", "NUIT NOIRE", ColorGreen},
        PanelCase{"GreyNight", "mag=16@0-1000", "PanelSkyBgd", "NUIT \"GRISE\"", ColorYellowGreen},
        PanelCase{"Twilight", "mag=10@0-1000", "PanelSkyBgd", "CREPUSCULE", ColorOrange},
        PanelCase{"Day", "mag=4@0-1000", "PanelSkyBgd", "JOUR", ColorRed},
        PanelCase{"NoLightReadingYet", "", "PanelSkyBgd", "Pas disponible", std::nullopt, {}, false},
        PanelCase{"NoRain", "", "Panel_RainSF", "NON", ColorGreen},
        PanelCase{"Rain", "rain@0-1000,rh=40@0-1000", "Panel_RainSF", "OUI", ColorRed},
        PanelCase{"RelayOpen", "", "PanelAbriDome", " Ouvert", ColorGreen},
        PanelCase{"RelayClosed", "rain@0-1000", "PanelAbriDome", " Fermé", ColorRed},
        PanelCase{"RelayNotWatched", "rain@0-1000", "PanelAbriDome", " Ouvert", ColorGreen,
                  [](StationOptions& o) { o.Criteria.DoWatch = false; }}),
    [](const auto& info) { return std::string(info.param.name); });

// The longest state texts stay whole in a small window and grow with a large one.
TEST_F(MainWindowTest, StateTextsFitTheirPanelsAtEverySize) {
    OpenWindow(Script("sky=-4@0-1000,rh=85@0-1000,wind=25@0-1000,mag=10@0-1000,rain@0-1000"));
    ASSERT_NO_FATAL_FAILURE(StartAndWait());
    ASSERT_NO_FATAL_FAILURE(Readings(MedianSkySamples));
    auto* sky = Child<TStatePanelLabel>("Panel_WeatherSF");
    ASSERT_EQ(sky->text(), Q("TRES COUVERT"));
    std::map<int, double> skyPointSize;
    for (const QSize size : {QSize(760, 560), QSize(853, 630), QSize(1280, 800)}) {
        window_->resize(size);
        QApplication::processEvents();
        for (TStatePanelLabel* panel : window_->findChildren<TStatePanelLabel*>()) {
            const QFontMetrics metrics(panel->font());
            EXPECT_LE(metrics.horizontalAdvance(panel->text()), panel->contentsRect().width())
                << panel->objectName().toStdString() << " at " << size.width() << "x" << size.height();
        }
        skyPointSize[size.width()] = sky->font().pointSizeF();
    }
    EXPECT_GT(skyPointSize[1280], skyPointSize[853]);
    // Back to the small size: the grown texts have not kept the window from shrinking.
    window_->resize(760, 560);
    QApplication::processEvents();
    EXPECT_EQ(window_->width(), 760);
}

TEST_F(MainWindowTest, SkyStateWaitsForFiveReadings) {
    OpenWindow(Script());
    ASSERT_NO_FATAL_FAILURE(StartAndWait());
    auto* sky = Child<TStatePanelLabel>("Panel_WeatherSF");
    ASSERT_NO_FATAL_FAILURE(Readings(MedianSkySamples - 1));
    EXPECT_EQ(sky->text(), Q("Pas disponible"));
    EXPECT_FALSE(sky->Colour());
    ASSERT_NO_FATAL_FAILURE(Readings(1));
    EXPECT_EQ(sky->text(), Q("DEGAGE"));
}

TEST_F(MainWindowTest, ValuesCarryTheirUnitsAndTheSkyBackgroundItsHint) {
    OpenWindow(Script("temp=-2@0-1000,rh=46@0-1000,wind=20@0-1000,dir=90@0-1000,mag=19.5@0-1000"));
    ASSERT_NO_FATAL_FAILURE(StartAndWait());
    // Before the first reading every value is unknown.
    EXPECT_EQ(Text("StaticTextTempSF"), "???");
    // The light level comes with the weather reading that follows two light readings.
    ASSERT_NO_FATAL_FAILURE(Readings(3));
    EXPECT_EQ(Text("StaticTextTempSF"), Q("-2.0 °C"));
    EXPECT_EQ(Text("StaticTextHumidSF"), Q("46.0 %"));
    EXPECT_EQ(Text("StaticTextDirWindSFG"), Q("E"));
    EXPECT_TRUE(Text("StaticTextSpeedWindSFG").endsWith(Q(" km/h")))
        << Text("StaticTextSpeedWindSFG").toStdString();
    // Cold and windy: the felt temperature is computed, below the air temperature.
    const QString chill = Text("PanelTempWindChill");
    ASSERT_TRUE(chill.endsWith(Q(" °C"))) << chill.toStdString();
    EXPECT_LT(chill.chopped(3).toDouble(), -2.0) << chill.toStdString();
    EXPECT_TRUE(Text("StaticTextPowerVolts").endsWith(" V"));
    EXPECT_TRUE(Text("PanelPower").endsWith("%"));
    // Two decimals above magnitude 10; the station's counter steps leave it near the scripted value.
    EXPECT_NEAR(Text("StaticTextMag").toDouble(), 19.5, 0.2);
    EXPECT_EQ(Text("StaticTextMag").section('.', 1).size(), 2);
    EXPECT_EQ(Child<TStatePanelLabel>("PanelSkyBgd")->toolTip(), Q("Nuit noire sans Lune"));
    EXPECT_EQ(Child<QLabel>("PanelPower")->toolTip(),
              Q("Est aussi mis en route lorsque T<4°C (85% RH), T<0° ou pluie, coupé lorsque T>6°C (RH<75%), "
                "T>15°C ou détecteur sec."));
}

TEST_F(MainWindowTest, WithoutAGustSensorTheWindSaysSo) {
    StationOptions options = Script();
    options.GustSensor = false;
    OpenWindow(options);
    ASSERT_NO_FATAL_FAILURE(StartAndWait());
    ASSERT_NO_FATAL_FAILURE(Readings(1));
    EXPECT_EQ(Text("StaticTextDirWindSFG"), Q("Pas de données"));
    EXPECT_EQ(Text("StaticTextSpeedWindSFG"), Q("Pas de données"));
    EXPECT_EQ(Text("PanelTempWindChill"), Q("Pas disponible"));
}

// ---- Relay group ----------------------------------------------------------------------------

TEST_F(MainWindowTest, RelayGroupFromStartToAnAutomaticCountdown) {
    // Rain for the first minute: the station closes its relay and keeps it closed.
    OpenWindow(Script("rain@0-1,dry@1-1000"));
    auto* roof = Child<TStatePanelLabel>("PanelAbriDome");
    auto* button = Child<QPushButton>("ButtonDesarmRain");
    EXPECT_EQ(Text("LabelActivatedRelay"), "???");
    EXPECT_EQ(Text("LabelMag"), "???");
    EXPECT_EQ(roof->text(), Q("Pas disponible"));
    EXPECT_EQ(roof->toolTip(), Q("Non activé, pas de surveillance"));
    EXPECT_FALSE(roof->Colour());
    EXPECT_EQ(button->text(), Q("Ouvrir relais"));
    EXPECT_EQ(button->toolTip(), Q("Ouvre le relais de fermeture d'urgence d'Abri/Dôme..."));
    EXPECT_FALSE(button->isEnabled());

    ASSERT_NO_FATAL_FAILURE(StartAndWait());
    SetupInfos.RoofCloserCriterias.DoReamAuto = true;
    SetupInfos.RoofCloserCriterias.AfterMinutes = 120;
    supervisor_->SetUtcClockForTests([] { return Now(); });
    Advance(1);
    ASSERT_TRUE(station_->RelayClosed());
    ASSERT_NO_FATAL_FAILURE(Readings(1, false));
    // The criteria as the station reports them (its defaults).
    EXPECT_EQ(Text("LabelActivatedRelay"), Q("OUI"));
    EXPECT_EQ(Text("LabelSeuil_Ciel_sol"), Q("-10 °C"));
    EXPECT_EQ(Text("LabelSeuilRH"), Q("90 %"));
    EXPECT_EQ(Text("LabelventSeuil"), Q("50 km/h"));
    EXPECT_EQ(Text("LabelLumiereSeuil"), Q("NON"));
    EXPECT_EQ(Text("LabelMag"), Q("5.1"));
    EXPECT_EQ(roof->text(), Q(" Fermé"));
    EXPECT_TRUE(roof->toolTip().startsWith(Q("Activé à "))) << roof->toolTip().toStdString();
    EXPECT_TRUE(button->isEnabled());
    // The next reading, 20 s later, counts the waiting time down.
    ASSERT_NO_FATAL_FAILURE(Readings(1, false));
    EXPECT_EQ(button->text(), Q("Ouvrir relai  [119.7 m]"));
}

TEST_F(MainWindowTest, TheReArmButtonAsksWhetherToWatchAgain) {
    OpenWindow(Script("rain@0-1,dry@1-1000"), QMessageBox::No);
    ASSERT_NO_FATAL_FAILURE(StartAndWait());
    Advance(1);
    ASSERT_NO_FATAL_FAILURE(Readings(1, false));
    auto* button = Child<QPushButton>("ButtonDesarmRain");
    ASSERT_TRUE(button->isEnabled());
    button->click();
    EXPECT_FALSE(button->isEnabled());
    ASSERT_TRUE(WaitUntil([this] { return rearms_ == 1; }));
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0], "Voulez-vous re-activer la surveillance ?");
    // Answered No: the station was sent the set-up without surveillance, and its relay is open.
    EXPECT_FALSE(station_->Criteria().DoWatch);
    auto* roof = Child<TStatePanelLabel>("PanelAbriDome");
    EXPECT_EQ(roof->text(), Q(" Ouvert"));
    EXPECT_TRUE(roof->toolTip().startsWith(Q("Réarmé à : "))) << roof->toolTip().toStdString();
    EXPECT_EQ(Text("LabelActivatedRelay"), Q("NON"));
}

TEST_F(MainWindowTest, AFailedReArmLeavesTheRelayUnreported) {
    OpenWindow(Script("rain@0-1,dry@1-1000"));
    ASSERT_NO_FATAL_FAILURE(StartAndWait());
    Advance(1);
    ASSERT_NO_FATAL_FAILURE(Readings(1, false));
    FaultRule silentRearm;
    silentRearm.Order = halvex::OrderRearm;
    silentRearm.Count = -1; // the retries of the order too
    station_->AddFault(silentRearm);
    Child<QPushButton>("ButtonDesarmRain")->click();
    ASSERT_TRUE(WaitUntil([this] { return rearms_ == 1; }));
    auto* roof = Child<TStatePanelLabel>("PanelAbriDome");
    EXPECT_EQ(roof->text(), Q("Pas disponible"));
    EXPECT_EQ(roof->toolTip(), "");
    EXPECT_EQ(Text("LabelActivatedRelay"), "???");
    EXPECT_FALSE(Child<QPushButton>("ButtonDesarmRain")->isEnabled());
}

// ---- Status panel, status bar, timers, download ---------------------------------------------

TEST_F(MainWindowTest, StatusTextsAreCutAboveEightyCharacters) {
    OpenWindow(Script());
    auto* status = Child<QLabel>("PanelRS232Stat");
    const std::string eighty = std::string(79, 'a') + "é"; // characters, not bytes
    supervisor_->ShowStatus(eighty, false);
    EXPECT_EQ(status->text().toStdString(), eighty);
    EXPECT_EQ(status->toolTip(), Q("Affiché à ") + QString::fromStdString(DateTimeText(Now())));

    const std::string eightyOne = "é" + std::string(80, 'b');
    supervisor_->ShowStatus(eightyOne, true);
    EXPECT_EQ(status->text().toStdString(), "....é" + std::string(69, 'b'));
    EXPECT_EQ(status->palette().color(QPalette::WindowText), QColor(255, 0, 0));

    supervisor_->ShowStatus("Ok", false);
    EXPECT_EQ(status->palette().color(QPalette::WindowText), QPalette().color(QPalette::WindowText));
}

TEST_F(MainWindowTest, APortThatCannotBeOpenedIsShownInRedAndInABox) {
    OpenWindow(Script());
    // The window of the program started on a device that does not exist.
    window_.reset();
    CreateSupervisor(Root() + "no-such-tty", false);
    window_ = std::make_unique<MainWindow>(*supervisor_);
    window_->show();
    ASSERT_TRUE(supervisor_->Start());
    ASSERT_TRUE(WaitUntil([this] { return !boxes_.empty(); }));
    EXPECT_NE(boxes_[0].find("no-such-tty"), std::string::npos) << boxes_[0];
    auto* status = Child<QLabel>("PanelRS232Stat");
    EXPECT_NE(status->text().toStdString().find("no-such-tty"), std::string::npos);
    EXPECT_EQ(status->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    EXPECT_FALSE(supervisor_->CycleRunning());
}

// An error that comes back with every reading while nobody is at the screen: one box per text, and
// the program goes on meanwhile (each report returns at once).
TEST_F(MainWindowTest, ARepeatedErrorShowsOneBoxAndNothingWaitsForIt) {
    OpenWindow(Script());
    boxCloser_->stop(); // nobody at the screen
    const auto visibleBoxes = [this] {
        std::vector<QMessageBox*> shown;
        for (QMessageBox* box : window_->findChildren<QMessageBox*>())
            if (box->isVisible()) shown.push_back(box);
        return shown;
    };
    const QString reading = Q("Erreur dans la procédure \"AffData_threadOver\", message -> disque plein");
    emit supervisor_->messageBox(reading);
    emit supervisor_->messageBox(reading);
    emit supervisor_->messageBox(Q("Erreur lors de la sauvegarde périodique -> disque plein"));
    ASSERT_EQ(visibleBoxes().size(), 2u);
    EXPECT_EQ(visibleBoxes()[0]->text(), reading);

    // Once the observer has closed it, the same error is shown again when it comes back.
    visibleBoxes()[0]->button(QMessageBox::Ok)->click();
    ASSERT_EQ(visibleBoxes().size(), 1u);
    emit supervisor_->messageBox(reading);
    EXPECT_EQ(visibleBoxes().size(), 2u);
}

TEST_F(MainWindowTest, StatusBarAndTimersFollowTheCycle) {
    OpenWindow(Script());
    EXPECT_EQ(window_->windowTitle(), Q("Moniteur de nuages HALVEX -> Version v1.49 27/03/13"));
    EXPECT_EQ(Text("LabelDateRemaining"), "???");
    ASSERT_NO_FATAL_FAILURE(StartAndWait());
    EXPECT_EQ(window_->StatusBarText(0), Q("Version -> 2.65"));
    EXPECT_EQ(Text("PanelRS232Stat"), Q("Version -> 2.65"));
    EXPECT_EQ(Text("LabelInterValMes"), "20 sec");
    EXPECT_EQ(Text("LabelInterValMesLight"), "1.0 min");
    // The good-conditions legend, written once the thresholds are read, on the strip under the sky plot.
    EXPECT_TRUE(Child<QWidget>("PanelCLOUDs")
                    ->toolTip()
                    .startsWith(Q("En vert clair, SI le vent est inférieur à 15")))
        << Child<QWidget>("PanelCLOUDs")->toolTip().toStdString();

    ASSERT_NO_FATAL_FAILURE(Readings(1));
    EXPECT_EQ(window_->StatusBarText(1), Q("Affichage des données des 1 dernier(s) jour(s)"));
    EXPECT_EQ(window_->StatusBarText(2), QString::number(HistorySize()) + Q(" données totales"));
    EXPECT_EQ(Text("PanelRS232Stat"), "Ok");
    const TDateTime reading = CurrentCapteursInfos.DateSysteme;
    Advance(7);
    supervisor_->TimerMainTimer();
    EXPECT_EQ(Text("LabelDateRemaining"), "19 sec");
    EXPECT_EQ(Text("LabelLastDateMeasurments"), QString::fromStdString(DateTimeText(reading)) + " -> 7 sec");
}

TEST_F(MainWindowTest, MemoryDownloadOfTwoHundredFiftyRecords) {
    StationOptions options = Script();
    options.PrefillRecords = 250;
    OpenWindow(options);
    std::vector<std::string> shown;
    QObject::connect(supervisor_.get(), &Supervisor::downloadProgressChanged, [this, &shown] {
        if (TStatusLoadDatas* progress = window_->DownloadWindow()) {
            EXPECT_TRUE(progress->isVisible());
            EXPECT_EQ(progress->Text(), window_->StatusBarText(2));
            shown.push_back(progress->Text().toStdString());
        }
    });
    ASSERT_NO_FATAL_FAILURE(StartAndWait());
    ASSERT_GE(shown.size(), 2u);
    EXPECT_EQ(shown[0], "Récupère les donnée(s) EEPROM Halvex : 10/250");
    EXPECT_EQ(shown[1], "Récupère les donnée(s) EEPROM Halvex : 20/250");
    EXPECT_EQ(window_->DownloadWindow(), nullptr);
    EXPECT_EQ(window_->StatusBarText(2), Q("A récupéré 250 donnée(s) EEPROM Halvex"));
}

// ---- History loading ------------------------------------------------------------------------

TEST_F(MainWindowTest, HistoryLoadingNamesEachMonthAndGoesAwayAlsoOnAnError) {
    const TDateTimeParts today = DecodeDateTime(Now());
    const std::string month = PathDatas + MonthFileName(today.Year, today.Month);
    // A month file whose magic is zero: the load reports it, and the program comes up all the same.
    WriteWholeFile(month, std::string(8, '\0'));
    OpenWindow(Script());
    std::vector<std::string> steps;
    QObject::connect(supervisor_.get(), &Supervisor::historyLoadProgress,
                     [this, &steps](const QString& step) {
                         if (!step.isEmpty()) {
                             ASSERT_NE(window_->HistorySplash(), nullptr);
                             EXPECT_TRUE(window_->HistorySplash()->isVisible());
                             steps.push_back(window_->HistorySplash()->Text().toStdString());
                         }
                     });
    ASSERT_NO_FATAL_FAILURE(StartAndWait());
    ASSERT_FALSE(steps.empty());
    EXPECT_EQ(steps.back(), "Charge le fichier : " + month);
    EXPECT_EQ(window_->HistorySplash(), nullptr);
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_NE(boxes_[0].find("n'a pas le bon format"), std::string::npos) << boxes_[0];
}

// Each stored reading reaches every plot and the dial.
TEST_F(MainWindowTest, EachReadingIsDrawnOnThePlotsAndTheDial) {
    OpenWindow(Script("wind=20@0-1000,dir=90@0-1000"));
    ASSERT_NO_FATAL_FAILURE(StartAndWait());
    ASSERT_NO_FATAL_FAILURE(Readings(SetupInfos.UnderSampleDataFactor * 2));
    ASSERT_GT(HistorySize(), 0u);
    TGraphTabs* graphs = window_->Graphs();
    for (TGraphPage page :
         {TGraphPage::Sky, TGraphPage::Temperature, TGraphPage::Humidity, TGraphPage::Wind}) {
        const TGraphicSpecial& plot = graphs->PlotOf(page)->Plot();
        const TcapteursInfos& last = supervisor_->History().Records().back();
        const int64_t x = plot.DateToPixelX(last.DateSysteme);
        bool red = false;
        for (int y = plot.BorderY_top + 1; y < plot.Height() - plot.BorderY_Bottom; ++y)
            red = red || (plot.Picture().pixel(int(x), y) | 0xFF000000) == PlotColours::Main;
        EXPECT_TRUE(red) << int(page);
    }
    EXPECT_NE(graphs->Dial()->Dial().NewestText().find("E"), std::string::npos);
}

// ---- Window, tabs, menus, tray --------------------------------------------------------------

QStringList TabCaptions(const QTabWidget* pages) {
    QStringList captions;
    for (int i = 0; i < pages->count(); ++i)
        captions << pages->tabText(i);
    return captions;
}

TEST_F(MainWindowTest, TabsInOrder) {
    OpenWindow(Script());
    EXPECT_EQ(TabCaptions(window_->Pages()),
              QStringList({Q("Informations"), Q("Température Ext."), Q("Couverture nuageuse et pluie"),
                           Q("Fond ciel (Magn/sec²)"), Q("Vent"), Q("Humidité (RH %)"), Q("Table"),
                           Q("Statistiques")}));
    EXPECT_EQ(window_->Pages()->currentIndex(), 0);
}

// How the graph pages are laid out and what their strips carry: the wind tab's dial a square as tall
// as the tab above its bottom panel with the time plot beside it, the good-conditions hint on the
// strip under the sky plot (not over the plot and its cursor readout), the table's sky column
// following "Voir différence Ciel - Sol", and the window's size on the information tab.
TEST_F(MainWindowTest, GraphPagesAsLaidOut) {
    OpenWindow(Script());
    ASSERT_NO_FATAL_FAILURE(StartAndWait());
    for (QSize size : {QSize(1000, 700), QSize(853, 630)}) {
        window_->resize(size);
        QApplication::processEvents();
        EXPECT_EQ(Text("Labelsize"), QString("%1x%2 pixels").arg(size.width()).arg(size.height()));
    }

    TGraphTabs* graphs = window_->Graphs();
    QWidget* windPage = graphs->PageOf(TGraphPage::Wind);
    window_->Pages()->setCurrentWidget(windPage);
    QApplication::processEvents();
    const QRect dialPanel = Child<QWidget>("PanelWnd")->geometry();
    const QRect timePanel = Child<QWidget>("PanelWindTime")->geometry();
    const int bottom = Child<QWidget>("PanelBottomWind")->height();
    EXPECT_EQ(dialPanel.topLeft(), QPoint(0, 0));
    EXPECT_EQ(dialPanel.height(), windPage->height() - bottom);
    EXPECT_EQ(dialPanel.width(), dialPanel.height());
    EXPECT_EQ(graphs->Dial()->size(), dialPanel.size());
    EXPECT_EQ(timePanel,
              QRect(dialPanel.width() + 1, 0, windPage->width() - dialPanel.width() - 1, dialPanel.height()));
    EXPECT_EQ(graphs->PlotOf(TGraphPage::Wind)->size(), timePanel.size());

    const QString legend = QString::fromStdString(supervisor_->GoodConditionsLegendText());
    ASSERT_FALSE(legend.isEmpty());
    EXPECT_EQ(Child<QWidget>("PanelCLOUDs")->toolTip(), legend);
    for (QWidget* w = graphs->PlotOf(TGraphPage::Sky); w && w != window_.get(); w = w->parentWidget())
        EXPECT_TRUE(w->toolTip().isEmpty()) << w->objectName().toStdString();

    auto* table = window_->findChild<TDataTableTab*>();
    ASSERT_NE(table, nullptr);
    auto* skyMinusGround = Child<QCheckBox>("CheckBoxDisplaySkyMinusGround");
    for (bool on : {false, true}) {
        skyMinusGround->setChecked(on);
        window_->Pages()->setCurrentWidget(table);
        QApplication::processEvents();
        EXPECT_EQ(table->Model().Options().SkyMinusGround, on);
        window_->Pages()->setCurrentIndex(0);
    }
}

TEST_F(MainWindowTest, DebugTabsWithDebugFile) {
    WriteWholeFile(PathLogs + "debug.txt", "");
    OpenWindow(Script());
    EXPECT_EQ(TabCaptions(window_->Pages()),
              QStringList({Q("Informations"), Q("Volts (IR det debug)"), Q("Température Ext."),
                           Q("Couverture nuageuse et pluie"), Q("Fond ciel (Magn/sec²)"), Q("Vent"),
                           Q("Humidité (RH %)"), Q("Table"), Q("Chauffage (debug)"), Q("Statistiques")}));
}

// "caption" for a working item, "(caption)" for one that waits for a later part of the program.
QStringList MenuItems(const QMenu* menu) {
    QStringList items;
    for (QAction* action : menu->actions()) {
        if (action->isSeparator()) continue;
        const QString text = action->menu() ? action->text() + " >" : action->text();
        items << (action->isEnabled() ? text : "(" + text + ")");
    }
    return items;
}

TEST_F(MainWindowTest, MenusWithOnlyTheWorkingItemsEnabled) {
    OpenWindow(Script());
    const QList<QAction*> menus = window_->menuBar()->actions();
    ASSERT_EQ(menus.size(), 3);
    EXPECT_EQ(menus[0]->text(), Q("Fichiers"));
    EXPECT_EQ(menus[1]->text(), Q("Graphiques"));
    EXPECT_EQ(menus[2]->text(), Q("Options"));
    EXPECT_EQ(MenuItems(menus[0]->menu()),
              QStringList({Q("Sauver copie écran"), Q("Sauver images pour transfert FTP"),
                           Q("Exporter les données en CSV"), Q("Voir le répertoire de fichiers de données"),
                           Q("Voir le répertoire des images sauvées"), Q("Quitter")}));
    EXPECT_EQ(MenuItems(menus[1]->menu()), QStringList({Q("Copier image"), Q("Montrer dernier(es) >")}));
    EXPECT_EQ(MenuItems(menus[2]->menu()),
              QStringList({Q("Configuration"), Q("Publication Web"), Q("Vision de nuit"), Q("Langues >")}));
    EXPECT_EQ(MenuItems(window_->TrayMenu()), QStringList({Q("Restaurer"), Q("Fermer")}));
}

// Closing from the tray runs the whole closing sequence once: station clock set, history saved.
TEST_F(MainWindowTest, TrayFermerClosesThroughTheController) {
    OpenWindow(Script());
    ASSERT_NO_FATAL_FAILURE(StartAndWait());
    ASSERT_NO_FATAL_FAILURE(Readings(SetupInfos.UnderSampleDataFactor * 2));
    const size_t records = HistorySize();
    ASSERT_GT(records, 0u);
    const int setDatesBefore = CountOrders(halvex::OrderSetDate);

    QAction* fermer = Action(window_->TrayMenu(), "FermerMenu");
    ASSERT_NE(fermer, nullptr);
    EXPECT_EQ(fermer->text(), Q("Fermer"));
    fermer->trigger();
    EXPECT_TRUE(supervisor_->Closed());
    EXPECT_FALSE(window_->isVisible());
    EXPECT_EQ(CountOrders(halvex::OrderSetDate), setDatesBefore + 1);
    EXPECT_EQ(SavedRecords(1), records);
    EXPECT_EQ(CountLogLines("Data saved"), 1);

    // A second close (the menu's "Quitter") finds the work done.
    Action(window_.get(), "Quitter1")->trigger();
    EXPECT_EQ(CountLogLines("Data saved"), 1);
}

TEST_F(MainWindowTest, QuitterClosesThroughTheController) {
    OpenWindow(Script());
    ASSERT_NO_FATAL_FAILURE(StartAndWait());
    QAction* quitter = Action(window_.get(), "Quitter1");
    ASSERT_NE(quitter, nullptr);
    quitter->trigger();
    EXPECT_TRUE(supervisor_->Closed());
}

TEST_F(MainWindowTest, RestoreShowsTheHiddenWindow) {
    OpenWindow(Script());
    window_->hide();
    Action(window_->TrayMenu(), "RestaureMenu")->trigger();
    EXPECT_TRUE(window_->isVisible());
}

// A second start of the program asks the first to show itself; the first window comes back.
TEST_F(MainWindowTest, SecondStartRaisesTheWindow) {
    StartStation(Script());
    TSupervisorOptions options;
    options.Headless = false;
    options.PortDevice = station_->DevicePath();
    options.Arguments = {"orvanel"};
    options.StartAutomationServer = false;
    options.WatchSuspend = false;
    supervisor_ = std::make_unique<Supervisor>(options);
    window_ = std::make_unique<MainWindow>(*supervisor_);
    ASSERT_TRUE(supervisor_->Start());
    window_->hide();
    // The second start answers No to "open another session?" (the headless hooks answer No).
    TSingleInstance second;
    EXPECT_FALSE(second.CheckSingleInstance());
    EXPECT_TRUE(WaitUntil([this] { return window_->isVisible(); }));
}

TEST_F(MainWindowTest, QuestionsAndMessagesUseMessageBoxes) {
    OpenWindow(Script(), QMessageBox::Yes);
    InstallMessageBoxHooks(window_.get());
    EXPECT_TRUE(AskUserYesNo("Le programme Orvanel fonctionne déjà, ouvrir une autre session ?"));
    ShowUserMessage("Erreur lors de la fermeture de l'application : disque plein");
    SetUserMessageHandler({});
    SetUserQuestionHandler({});
    EXPECT_EQ(boxes_,
              std::vector<std::string>({"Le programme Orvanel fonctionne déjà, ouvrir une autre session ?",
                                        "Erreur lors de la fermeture de l'application : disque plein"}));
}

} // namespace

namespace {

// ---- Safety verdict and night vision -------------------------------------------------------------

// The banner from the start to a safe sky, then rain, a silent station and a lost link.
TEST_F(MainWindowTest, VerdictBannerSaysWhyAndSinceWhen) {
    DatabaseRegistry().WriteCFGtoRegister(KeyAlpaca, TVariant(0.0), "SafeDelayMin");
    OpenWindow(Script("rain@3-1000")); // minutes of the station's model time
    TVerdictBanner* banner = window_->VerdictBanner();
    ASSERT_NE(banner, nullptr);
    EXPECT_EQ(Text("VerdictText"), Q("NON SÛR"));
    EXPECT_EQ(Text("VerdictReasons"), Q("aucune mesure météo reçue"));
    EXPECT_EQ(Text("VerdictAge"), Q("aucune mesure"));
    EXPECT_TRUE(banner->AgeWarning());

    ASSERT_NO_FATAL_FAILURE(StartAndWait());
    ASSERT_NO_FATAL_FAILURE(Readings(MedianSkySamples)); // the sky median is ready: clear
    EXPECT_EQ(Text("VerdictText"), Q("SÛR"));
    EXPECT_EQ(Text("VerdictReasons"), Q("toutes les conditions sont réunies"));
    EXPECT_EQ(Text("VerdictSince"), Q("depuis ") + QString::fromStdString(DateTimeText(Now())));
    EXPECT_EQ(Text("VerdictAge"), Q("mesure d'il y a 0 s"));
    EXPECT_FALSE(banner->AgeWarning());
    const QString safeSince = Text("VerdictSince");

    // The age counts up with the second timer; past two minutes it is a warning and the verdict falls.
    Advance(45);
    emit supervisor_->readingLabelsChanged();
    EXPECT_EQ(Text("VerdictAge"), Q("mesure d'il y a 45 s"));
    EXPECT_EQ(Text("VerdictSince"), safeSince);
    Advance(80);
    emit supervisor_->readingLabelsChanged();
    EXPECT_EQ(Text("VerdictText"), Q("NON SÛR"));
    EXPECT_EQ(Text("VerdictAge"), Q("mesure d'il y a 2 min 05 s : trop ancienne"));
    EXPECT_EQ(Text("VerdictReasons"), Q("dernière mesure météo trop ancienne (plus de 2 minutes)"));
    EXPECT_TRUE(banner->AgeWarning());

    ASSERT_NO_FATAL_FAILURE(Readings(1)); // it rains now
    EXPECT_EQ(Text("VerdictText"), Q("NON SÛR"));
    EXPECT_TRUE(Text("VerdictReasons").contains(Q("pluie"))) << Text("VerdictReasons").toStdString();
    emit supervisor_->stationLinkChanged(true);
    EXPECT_EQ(Text("VerdictAge"), Q("liaison perdue"));
    EXPECT_TRUE(Text("VerdictReasons").startsWith(Q("liaison perdue avec la station")));
}

// Night vision: the menu item switches the whole window and every plot to red on black, the choice is
// stored for the next start, and the day returns unchanged.
TEST_F(MainWindowTest, NightVisionLeavesNoGreenOrBlueAndIsRemembered) {
    OpenWindow(Script());
    ASSERT_NO_FATAL_FAILURE(StartAndWait());
    ASSERT_NO_FATAL_FAILURE(Readings(MedianSkySamples));
    auto* sky = Child<TStatePanelLabel>("Panel_WeatherSF");
    ASSERT_EQ(PaintedColour(sky), QColor(ColorGreen.R, ColorGreen.G, ColorGreen.B));
    const auto greenOrBlue = [](const QImage& image) {
        int count = 0, red = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                count += c.green() > 8 || c.blue() > 8;
                red += c.red() > 60;
            }
        return std::pair{count, red};
    };
    QAction* night = Action(window_.get(), "VisionNuitMenu");
    ASSERT_NE(night, nullptr);
    EXPECT_FALSE(ReadNightVision());
    night->trigger();
    EXPECT_TRUE(night->isChecked());
    EXPECT_TRUE(NightMode::Active());
    EXPECT_TRUE(ReadNightVision());
    QApplication::processEvents();
    // Every tab, the plots and the dial included, as the observer sees it.
    for (int tab = 0; tab < window_->Pages()->count(); ++tab) {
        window_->Pages()->setCurrentIndex(tab);
        QApplication::processEvents();
        const auto [coloured, red] = greenOrBlue(window_->grab().toImage());
        EXPECT_EQ(coloured, 0) << window_->Pages()->tabText(tab).toStdString();
        EXPECT_GT(red, 100) << window_->Pages()->tabText(tab).toStdString(); // texts and curves stay visible
    }
    window_->Pages()->setCurrentIndex(0);
    const QColor panel = PaintedColour(sky);
    EXPECT_EQ(panel.green() + panel.blue(), 0);
    EXPECT_GT(panel.red(), 0);

    // A new window starts at night, as stored.
    window_.reset();
    EXPECT_FALSE(NightMode::Active());
    window_ = std::make_unique<MainWindow>(*supervisor_);
    window_->show();
    EXPECT_TRUE(NightMode::Active());
    EXPECT_TRUE(Action(window_.get(), "VisionNuitMenu")->isChecked());
    Action(window_.get(), "VisionNuitMenu")->trigger();
    EXPECT_FALSE(ReadNightVision());
    EXPECT_EQ(PaintedColour(Child<TStatePanelLabel>("Panel_WeatherSF")),
              QColor(ColorGreen.R, ColorGreen.G, ColorGreen.B));
}

} // namespace
