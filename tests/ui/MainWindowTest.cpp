// The main window fed the way the controller feeds it: classified readings, relay displays, status
// texts and download progress; what an observer sees is read back from the real widgets.
#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <QAction>
#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <string>

#include "Classification.h"
#include "DateTime.h"
#include "HistoryFile.h"
#include "MainWindow.h"
#include "MedianObject.h"
#include "PlatformServices.h"
#include "Records.h"
#include "StatePanel.h"
#include "StatusLoadDatas.h"
#include "TestSupport.h"
#include "UserPrompts.h"
#include "UserText.h"
#include "Utilities.h"
#include "ViewData.h"

namespace {

const TDateTime kNow = EncodeDateTime(2026, 12, 9, 22, 30, 0);

double LumexFor(double magnitude) {
    return (12.4 - magnitude) * std::log10(2.512);
}

// A quiet, clear, dark and dry reading that each case then changes in one respect.
TcapteursInfos BaseReading() {
    TcapteursInfos r{};
    r.DateSysteme = kNow;
    r.ValueTempDeg = 5.0f;
    r.DeltaTempDeg = -25.0f;
    r.Humidity = 40.0f;
    r.ValidWindGUST = 1;
    r.WindSpeedMax_ms = static_cast<float>(3.0 / 3.6);
    r.ValidLight = 1;
    r.Lumex = LumexFor(19.0);
    return r;
}

QString Q(const char* utf8) {
    return QString::fromUtf8(utf8);
}

class MainWindowTest : public SandboxTest {
  protected:
    void SetUp() override {
        SandboxTest::SetUp();
        SetClockForTests([] { return kNow; });
        window_ = std::make_unique<MainWindow>();
        window_->show();
    }
    void TearDown() override {
        window_.reset();
        SandboxTest::TearDown();
    }

    // Shows the reading as the controller does once the sky median is ready.
    void ShowReading(const TcapteursInfos& reading) {
        TMedianObject median(MedianSkySamples);
        TConditionsDisplay display;
        for (int i = 0; i < MedianSkySamples; ++i)
            display = ClassifyConditions(reading, SetupInfos, median);
        window_->ShowConditions(display, "Pas disponible");
    }

    template <typename W> W* Child(const char* name) {
        W* widget = window_->findChild<W*>(name);
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    // The colour actually painted inside the panel's frame, as the whole window shows it.
    QColor PaintedColour(QWidget* panel) {
        QApplication::processEvents();
        const QImage image = window_->grab().toImage();
        const QPoint inside = panel->mapTo(window_.get(), QPoint(4, 4));
        return image.pixelColor(inside * image.devicePixelRatio());
    }

    std::unique_ptr<MainWindow> window_;
};

struct PanelCase {
    const char* name;
    const char* panel;
    std::function<void(TcapteursInfos&)> change;
    const char* text;
    std::optional<TRgb> colour; // none: the neutral face colour
};

class StatePanelCases : public MainWindowTest, public ::testing::WithParamInterface<PanelCase> {};

TEST_P(StatePanelCases, ShowTextAndColour) {
    const PanelCase& c = GetParam();
    TcapteursInfos reading = BaseReading();
    c.change(reading);
    ShowReading(reading);
    auto* panel = Child<TStatePanelLabel>(c.panel);
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->text(), Q(c.text));
    EXPECT_EQ(panel->Colour(), c.colour);
    const QColor expected =
        c.colour ? QColor(c.colour->R, c.colour->G, c.colour->B) : QPalette().color(QPalette::Window);
    EXPECT_EQ(PaintedColour(panel), expected);
}

const auto kmh = [](double v) {
    return [v](TcapteursInfos& r) { r.WindSpeedMax_ms = static_cast<float>(v / 3.6); };
};
const auto magnitude = [](double m) { return [m](TcapteursInfos& r) { r.Lumex = LumexFor(m); }; };

INSTANTIATE_TEST_SUITE_P(
    Readings, StatePanelCases,
    ::testing::Values(
        PanelCase{"Clear", "Panel_WeatherSF", [](TcapteursInfos& r) { r.DeltaTempDeg = -25; }, "DEGAGE",
                  ColorGreen},
        PanelCase{"Cloudy", "Panel_WeatherSF", [](TcapteursInfos& r) { r.DeltaTempDeg = -15; }, "COUVERT",
                  ColorOrange},
        PanelCase{"VeryCloudy", "Panel_WeatherSF", [](TcapteursInfos& r) { r.DeltaTempDeg = -5; },
                  "TRES COUVERT", ColorRed},
        PanelCase{"Calm", "PanelWIND", kmh(3), "CALME", ColorGreen},
        PanelCase{"Windy", "PanelWIND", kmh(10), "VENTEUX", ColorOrange},
        PanelCase{"VeryWindy", "PanelWIND", kmh(20), "TRES VENTEUX", ColorRed},
        PanelCase{"NoGust", "PanelWIND", [](TcapteursInfos& r) { r.ValidWindGUST = 0; }, "Pas disponible",
                  std::nullopt},
        PanelCase{"Dry", "PanelHumidity", [](TcapteursInfos& r) { r.Humidity = 40; }, "SEC", ColorGreen},
        PanelCase{"Humid", "PanelHumidity", [](TcapteursInfos& r) { r.Humidity = 60; }, "HUMIDE",
                  ColorOrange},
        PanelCase{"VeryHumid", "PanelHumidity", [](TcapteursInfos& r) { r.Humidity = 80; }, "TRES HUMIDE",
                  ColorRed},
        PanelCase{"DarkNight", "PanelSkyBgd", magnitude(19), "NUIT NOIRE", ColorGreen},
        PanelCase{"GreyNight", "PanelSkyBgd", magnitude(16), "NUIT \"GRISE\"", ColorYellowGreen},
        PanelCase{"Twilight", "PanelSkyBgd", magnitude(10), "CREPUSCULE", ColorOrange},
        PanelCase{"Day", "PanelSkyBgd", magnitude(5), "JOUR", ColorRed},
        PanelCase{"NoLight", "PanelSkyBgd", [](TcapteursInfos& r) { r.ValidLight = 0; }, "Pas disponible",
                  std::nullopt},
        PanelCase{"Rain", "Panel_RainSF", [](TcapteursInfos& r) { r.RainStatus = 1; }, "OUI", ColorRed},
        PanelCase{"NoRain", "Panel_RainSF", [](TcapteursInfos& r) { r.RainStatus = 0; }, "NON", ColorGreen}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MainWindowTest, ValuesCarryTheirUnitsAndTheSkyBackgroundItsHint) {
    TcapteursInfos reading = BaseReading();
    reading.WindSpeedMax_ms = static_cast<float>(10.0 / 3.6);
    reading.DirSpeedMax_deg = 90;
    ShowReading(reading);
    EXPECT_EQ(Child<QLabel>("StaticTextTempSF")->text(), Q("5.0 °C"));
    EXPECT_EQ(Child<QLabel>("StaticTextHumidSF")->text(), Q("40.0 %"));
    EXPECT_EQ(Child<QLabel>("StaticTextSpeedWindSFG")->text(), Q("10.0 km/h"));
    EXPECT_EQ(Child<QLabel>("StaticTextDirWindSFG")->text(), Q("E"));
    EXPECT_EQ(Child<QLabel>("StaticTextMag")->text(), Q("19.00"));
    EXPECT_EQ(Child<QLabel>("PanelTempWindChill")->text(), Q("Pas disponible"));
    EXPECT_EQ(Child<TStatePanelLabel>("PanelSkyBgd")->toolTip(), Q("Nuit noire sans Lune"));

    reading.ValidWindGUST = 0;
    ShowReading(reading);
    EXPECT_EQ(Child<QLabel>("StaticTextDirWindSFG")->text(), Q("Pas de données"));
}

TEST_F(MainWindowTest, SkyStateWaitsForFiveReadings) {
    TMedianObject median(MedianSkySamples);
    window_->ShowConditions(ClassifyConditions(BaseReading(), SetupInfos, median), "");
    auto* sky = Child<TStatePanelLabel>("Panel_WeatherSF");
    EXPECT_EQ(sky->text(), Q("Pas disponible"));
    EXPECT_FALSE(sky->Colour());
}

// ---- Relay group ----------------------------------------------------------------------------

TEST_F(MainWindowTest, RelayGroupBeforeTheStationReports) {
    EXPECT_EQ(Child<QLabel>("LabelActivatedRelay")->text(), "???");
    EXPECT_EQ(Child<QLabel>("LabelSeuil_Ciel_sol")->text(), "???");
    EXPECT_EQ(Child<QLabel>("LabelMag")->text(), "???");
    auto* roof = Child<TStatePanelLabel>("PanelAbriDome");
    EXPECT_EQ(roof->text(), Q("Pas disponible"));
    EXPECT_EQ(roof->toolTip(), Q("Non activé, pas de surveillance"));
    EXPECT_FALSE(roof->Colour());
    auto* button = Child<QPushButton>("ButtonDesarmRain");
    EXPECT_EQ(button->text(), Q("Ouvrir relais"));
    EXPECT_FALSE(button->isEnabled());
    EXPECT_EQ(button->toolTip(), Q("Ouvre le relais de fermeture d'urgence d'Abri/Dôme..."));
}

struct RelayCase {
    const char* name;
    TT_Bool roof;
    const char* text;
    std::optional<TRgb> colour;
};

class RelayCases : public MainWindowTest, public ::testing::WithParamInterface<RelayCase> {};

TEST_P(RelayCases, RoofPanel) {
    const RelayCase& c = GetParam();
    TRelayDisplay relay = InitialRelayDisplay();
    relay.Panel = RelayPanel(c.roof);
    window_->ShowRelay(relay);
    auto* roof = Child<TStatePanelLabel>("PanelAbriDome");
    EXPECT_EQ(roof->text(), Q(c.text));
    EXPECT_EQ(roof->Colour(), c.colour);
}

INSTANTIATE_TEST_SUITE_P(
    States, RelayCases,
    ::testing::Values(RelayCase{"Open", {false, false, true}, " Ouvert", ColorGreen},
                      RelayCase{"Closed", {true, false, true}, " Fermé", ColorRed},
                      RelayCase{"NotReported", {true, false, false}, "Pas disponible", std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MainWindowTest, RelayCriteriaAndCountdown) {
    TRoofCloserCriterias criteria;
    criteria.DoWatch = {true, false, true};
    criteria.TempSky = {-10.4, 0, true};
    criteria.RH = {90, 0, true};
    criteria.Wind = {30, 0, true};
    criteria.Light = {false, false, true};
    criteria.ValueMag = {4.0, 0, false}; // not reported
    TRelayDisplay relay = InitialRelayDisplay();
    FillRelayCriteria(criteria, relay);
    relay.Panel = RelayPanel({true, false, true});
    relay.ButtonCaption = RearmCaption(120.0);
    relay.ButtonEnabled = true;
    window_->ShowRelay(relay);

    EXPECT_EQ(Child<QLabel>("LabelActivatedRelay")->text(), Q("OUI"));
    EXPECT_EQ(Child<QLabel>("LabelSeuil_Ciel_sol")->text(), Q("-10 °C"));
    EXPECT_EQ(Child<QLabel>("LabelSeuilRH")->text(), Q("90 %"));
    EXPECT_EQ(Child<QLabel>("LabelventSeuil")->text(), Q("30 km/h"));
    EXPECT_EQ(Child<QLabel>("LabelLumiereSeuil")->text(), Q("NON"));
    EXPECT_EQ(Child<QLabel>("LabelMag")->text(), Q("???"));
    auto* button = Child<QPushButton>("ButtonDesarmRain");
    EXPECT_EQ(button->text(), Q("Ouvrir relai  [120.0 m]"));
    EXPECT_EQ(RearmCaption(std::nullopt), "Ouvrir relai");

    QSignalSpy rearm(window_.get(), &MainWindow::rearmClicked);
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(rearm.count(), 1);
}

// ---- Status panel, status bar, timers -------------------------------------------------------

TEST_F(MainWindowTest, StatusTextsAreCutAboveEightyCharacters) {
    auto* status = Child<QLabel>("PanelRS232Stat");
    const QString eighty = QString(79, 'a') + Q("é"); // characters, not bytes
    window_->ShowStatus(eighty, false);
    EXPECT_EQ(status->text(), eighty);

    const QString eightyOne = Q("é") + QString(80, 'b');
    window_->ShowStatus(eightyOne, true);
    EXPECT_EQ(status->text(), "...." + eightyOne.left(70));
    EXPECT_EQ(status->toolTip(), Q("Affiché à ") + QString::fromStdString(DateTimeText(kNow)));
    EXPECT_EQ(status->palette().color(QPalette::WindowText), QColor(255, 0, 0));

    window_->ShowStatus("Ok", false);
    EXPECT_EQ(status->palette().color(QPalette::WindowText), QPalette().color(QPalette::WindowText));
}

TEST_F(MainWindowTest, StationVersionFillsTheStatusBar) {
    window_->SetStatusBarText(2, "old");
    window_->ShowStationVersion("V2.31", 1204);
    EXPECT_EQ(window_->StatusBarText(0), Q("Version -> V2.31"));
    EXPECT_EQ(window_->StatusBarText(1), Q(" -> 1204 enregistrements"));
    EXPECT_EQ(window_->StatusBarText(2), "");
    EXPECT_EQ(Child<QLabel>("PanelRS232Stat")->text(), Q("Version -> V2.31"));
    window_->ShowStationVersion("V2.31", -1);
    EXPECT_EQ(window_->StatusBarText(1), "");
}

TEST_F(MainWindowTest, DownloadOfTwoHundredFiftyRecords) {
    EXPECT_EQ(window_->DownloadWindow(), nullptr);
    for (int read = 10; read < 250; read += 10) {
        window_->ShowDownloadProgress(read, 250);
        const QString expected =
            Q("Récupère les donnée(s) EEPROM Halvex : ") + QString::number(read) + "/250";
        ASSERT_NE(window_->DownloadWindow(), nullptr);
        EXPECT_TRUE(window_->DownloadWindow()->isVisible());
        EXPECT_EQ(window_->DownloadWindow()->Text(), expected);
        EXPECT_EQ(window_->StatusBarText(2), expected);
    }
    window_->ShowDownloadProgress(250, 250);
    EXPECT_EQ(window_->DownloadWindow(), nullptr);
    EXPECT_EQ(window_->StatusBarText(2), Q("A récupéré 250 donnée(s) EEPROM Halvex"));
}

TEST_F(MainWindowTest, TimerLabels) {
    EXPECT_EQ(Child<QLabel>("LabelDateRemaining")->text(), "???");
    window_->ShowWeatherTimes(TimerLabelsAt(20, 1, kNow - 7.0 / 86400, kNow));
    EXPECT_EQ(Child<QLabel>("LabelInterValMes")->text(), "20 sec");
    EXPECT_EQ(Child<QLabel>("LabelDateRemaining")->text(), "19 sec");
    EXPECT_EQ(Child<QLabel>("LabelLastDateMeasurments")->text(),
              QString::fromStdString(DateTimeText(kNow - 7.0 / 86400)) + " -> 7 sec");
    window_->ShowLightTimes(TimerLabelsAt(60, 60, 0, kNow));
    EXPECT_EQ(Child<QLabel>("LabelInterValMesLight")->text(), "1.0 min");
    EXPECT_EQ(Child<QLabel>("LabelDateRemainingLight")->text(), "0 sec");
    EXPECT_EQ(Child<QLabel>("LabelLastDateMeasurmentslight")->text(), "???");
}

// ---- Window, tabs, tray ---------------------------------------------------------------------

QStringList TabCaptions(const QTabWidget* pages) {
    QStringList captions;
    for (int i = 0; i < pages->count(); ++i)
        captions << pages->tabText(i);
    return captions;
}

TEST_F(MainWindowTest, TabsInOrderDebugTabsOnlyInDebugMode) {
    EXPECT_EQ(TabCaptions(window_->Pages()),
              QStringList({Q("Informations"), Q("Température Ext."), Q("Couverture nuageuse et pluie"),
                           Q("Fond ciel (Magn/sec²)"), Q("Vent"), Q("Humidité (RH %)"), Q("Table"),
                           Q("Statistiques")}));
    EXPECT_EQ(window_->windowTitle(), Q("Moniteur de nuages HALVEX -> Version v1.49 27/03/13"));
    MainWindow debug(true);
    EXPECT_EQ(TabCaptions(debug.Pages()),
              QStringList({Q("Informations"), Q("Volts (IR det debug)"), Q("Température Ext."),
                           Q("Couverture nuageuse et pluie"), Q("Fond ciel (Magn/sec²)"), Q("Vent"),
                           Q("Humidité (RH %)"), Q("Table"), Q("Chauffage (debug)"), Q("Statistiques")}));
}

QAction* ActionNamed(QWidget* owner, const char* name) {
    return owner->findChild<QAction*>(name);
}

TEST_F(MainWindowTest, TrayCloseAsksTheControllerToCloseOnce) {
    QSignalSpy closing(window_.get(), &MainWindow::closeRequested);
    QAction* fermer = ActionNamed(window_->TrayMenu(), "FermerMenu");
    ASSERT_NE(fermer, nullptr);
    EXPECT_EQ(fermer->text(), Q("Fermer"));
    fermer->trigger();
    EXPECT_EQ(closing.count(), 1);
    EXPECT_FALSE(window_->isVisible());
    ActionNamed(window_.get(), "Quitter1")->trigger();
    EXPECT_EQ(closing.count(), 1);
}

TEST_F(MainWindowTest, QuitterAsksTheControllerToClose) {
    QSignalSpy closing(window_.get(), &MainWindow::closeRequested);
    QAction* quitter = ActionNamed(window_.get(), "Quitter1");
    ASSERT_NE(quitter, nullptr);
    quitter->trigger();
    EXPECT_EQ(closing.count(), 1);
}

TEST_F(MainWindowTest, RestoreShowsTheHiddenWindow) {
    window_->hide();
    ActionNamed(window_->TrayMenu(), "RestaureMenu")->trigger();
    EXPECT_TRUE(window_->isVisible());
}

// ---- History loading splash -----------------------------------------------------------------

bool SplashShown() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<TStatusLoadDatas*>(w)) return true;
    return false;
}

TEST_F(MainWindowTest, HistorySplashGoesAwayAlsoOnAnError) {
    const TDateTimeParts today = DecodeDateTime(Now());
    // A month file whose magic is zero: the load reports it.
    WriteWholeFile(PathDatas + MonthFileName(today.Year, today.Month), std::string(8, '\0'));
    TTDataStation data;
    EXPECT_THROW(TStatusLoadDatas::LoadHistoryShown(PathDatas, 1, data), EOrvanelError);
    EXPECT_FALSE(SplashShown());
}

} // namespace

namespace {

// Answers the next modal box with the given button, once it is up.
void AnswerNextBox(QMessageBox::StandardButton answer) {
    QTimer::singleShot(0, [answer] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        box->button(answer)->click();
    });
}

TEST_F(MainWindowTest, QuestionsAreAskedInMessageBoxes) {
    InstallMessageBoxHooks(window_.get());
    AnswerNextBox(QMessageBox::Yes);
    EXPECT_TRUE(AskUserYesNo("Le programme Orvanel fonctionne déjà, ouvrir une autre session ?"));
    AnswerNextBox(QMessageBox::No);
    EXPECT_FALSE(AskUserYesNo("Le programme Orvanel fonctionne déjà, ouvrir une autre session ?"));
    AnswerNextBox(QMessageBox::No);
    EXPECT_FALSE(window_->AskReactivateSurveillance());
    AnswerNextBox(QMessageBox::Ok);
    ShowUserMessage("Erreur lors de la fermeture de l'application : disque plein");
    SetUserMessageHandler({});
    SetUserQuestionHandler({});
}

TEST_F(MainWindowTest, SecondStartRaisesTheWindow) {
    TSingleInstance instance;
    window_->FollowSingleInstance(instance);
    window_->hide();
    emit instance.showRequested();
    EXPECT_TRUE(window_->isVisible());
}

TEST(StatusBarTexts, RangeAndStoredPoints) {
    EXPECT_EQ(DisplayRangeText(1), "Affichage des données des 1 dernier(s) jour(s)");
    EXPECT_EQ(StoredPointsText(8640), "8640 données totales");
    EXPECT_EQ(StoredPointsText(12, true, 90), "12 données totales   Transfert FTP en cours (1.5 min)");
    EXPECT_EQ(StoredPointsText(12, false, 5), "12 données totales   Transfert FTP en attente (5 sec)");
}

} // namespace

namespace {

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
    const QList<QAction*> menus = window_->menuBar()->actions();
    ASSERT_EQ(menus.size(), 3);
    EXPECT_EQ(menus[0]->text(), Q("Fichiers"));
    EXPECT_EQ(menus[1]->text(), Q("Graphiques"));
    EXPECT_EQ(menus[2]->text(), Q("Options"));
    EXPECT_EQ(MenuItems(menus[0]->menu()),
              QStringList({Q("(Sauver copie écran)"), Q("(Sauver images pour transfert FTP)"),
                           Q("(Exporter les données en CSV)"), Q("Voir le répertoire de fichiers de données"),
                           Q("Voir le répertoire des images sauvées"), Q("Quitter")}));
    EXPECT_EQ(MenuItems(menus[1]->menu()), QStringList({Q("(Copier image)"), Q("Montrer dernier(es) >")}));
    EXPECT_EQ(MenuItems(menus[2]->menu()),
              QStringList({Q("(Configuration)"), Q("(Publication Web)"), Q("Langues >")}));
    EXPECT_EQ(MenuItems(window_->TrayMenu()), QStringList({Q("Restaurer"), Q("Fermer")}));
}

} // namespace
