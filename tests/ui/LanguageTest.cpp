// Language at start and at run time, with the main window and a dialog open; and the exception
// dialog fed by an error escaping a timer handler.
#include <filesystem>
#include <gtest/gtest.h>
#include <QAction>
#include <QApplication>
#include <QCalendarWidget>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <stdexcept>

#include "ConditionTexts.h"
#include "FormExcept.h"
#include "Language.h"
#include "Log.h"
#include "MainWindow.h"
#include "OrvanelApplication.h"
#include "QtHooks.h"
#include "SettingsTable.h"
#include "SupervisedStation.h"
#include "TestSupport.h"
#include "UserText.h"

namespace fs = std::filesystem;

namespace {

QString Q(const char* utf8) {
    return QString::fromUtf8(utf8);
}

// The wind from the north-west: "NO" in French, which is also the English "NO" of a yes/no text.
constexpr const char* kQuietNight =
    "sky=-25@0-1000,rh=40@0-1000,wind=3@0-1000,dir=315@0-1000,mag=19@0-1000,temp=4@0-1000,dry@0-1000";

class LanguageTest : public SupervisedStationTest {
  protected:
    void SetUp() override {
        SupervisedStationTest::SetUp();
        Languages::Load(LangFrench);
    }
    void TearDown() override {
        dialog_.reset();
        window_.reset();
        SupervisedStationTest::TearDown();
        Languages::Load(LangFrench);
    }
    // The English module beside the program, as the build installs it.
    void InstallEnglishModule() {
        fs::copy_file(QCoreApplication::applicationDirPath().toStdString() + "/orvanel_en.qm",
                      PathExe + "orvanel_en.qm", fs::copy_options::overwrite_existing);
    }
    void OpenWindow() {
        halvex::sim::StationOptions options;
        options.Scenario = halvex::sim::ParseScenario(kQuietNight);
        StartStation(options);
        CreateSupervisor(station_->DevicePath(), false);
        window_ = std::make_unique<MainWindow>(*supervisor_);
        window_->show();
    }
    QAction* Menu(const char* name) { return window_->findChild<QAction*>(name); }
    QString Label(const char* name) { return window_->findChild<QLabel*>(name)->text(); }
    QString MenuTitle(int i) { return window_->menuBar()->actions()[i]->text(); }
    // The check marks as the observer sees them: French, English.
    std::pair<bool, bool> Checks() {
        return {Menu("FrancaisMenu")->isChecked(), Menu("AnglaisMenu")->isChecked()};
    }

    std::unique_ptr<MainWindow> window_;
    std::unique_ptr<TFormExcept> dialog_;
};

TEST_F(LanguageTest, SwitchToEnglishAndBackWithTheWindowAndADialogOpen) {
    InstallEnglishModule();
    WriteCurrentLang(LangFrench);
    OpenWindow();
    ASSERT_NO_FATAL_FAILURE(StartAndWait());
    for (int i = 0; i < 5; ++i) {
        Advance(SetupInfos.InterValQuickPoolSec);
        ASSERT_NO_FATAL_FAILURE(WeatherReading());
    }
    dialog_ = std::make_unique<TFormExcept>();
    dialog_->show();
    window_->Pages()->setCurrentIndex(2);
    ASSERT_EQ(Label("Panel_WeatherSF"), Q("DEGAGE"));
    ASSERT_EQ(Label("StaticTextDirWindSFG"), Q("NO"));
    ASSERT_EQ(Label("LabelLumiereSeuil"), Q("NON"));
    ASSERT_FALSE(Label("PanelRS232Stat").isEmpty());
    // The total as the French panel writes it, for the number of records at any moment.
    auto totalFr = [this] { return QString("%1 données totales").arg(HistorySize()); };
    ASSERT_EQ(window_->StatusBarText(2), totalFr());
    EXPECT_EQ(Checks(), std::make_pair(true, false));

    Menu("AnglaisMenu")->trigger();
    EXPECT_EQ(Checks(), std::make_pair(false, true));
    EXPECT_EQ(window_->Pages()->tabText(0), Q("Information"));
    EXPECT_EQ(window_->Pages()->tabText(2), Q("Cloud cover and rain"));
    EXPECT_EQ(window_->Pages()->currentIndex(), 0);
    EXPECT_EQ(MenuTitle(0), Q("Files"));
    EXPECT_EQ(MenuTitle(2), Q("Options"));
    EXPECT_EQ(Menu("Quitter1")->text(), Q("Quit"));
    EXPECT_EQ(Label("Panel_WeatherSF"), Q("CLEAR"));
    // The verdict waits for the safe delay: unsafe, with its reason in English.
    EXPECT_EQ(Label("VerdictText"), Q("UNSAFE"));
    EXPECT_TRUE(Label("VerdictReasons").startsWith(Q("safe conditions for less than 10 min")))
        << Label("VerdictReasons").toStdString();
    EXPECT_EQ(Label("VerdictAge"), Q("reading from 0 s ago"));
    EXPECT_EQ(Menu("VisionNuitMenu")->text(), Q("Night vision"));
    EXPECT_EQ(Label("PanelHumidity"), Q("DRY"));
    EXPECT_EQ(Label("PanelRS232Stat"), QString());
    EXPECT_TRUE(window_->StatusBarText(2).endsWith(Q("records in all")))
        << window_->StatusBarText(2).toStdString();
    EXPECT_EQ(window_->windowTitle(), Q("HALVEX Cloud Monitor -> Version v1.49 03/27/13"));
    EXPECT_EQ(dialog_->windowTitle(), Q("An unhandled error occurred...."));
    EXPECT_EQ(dialog_->findChild<QPushButton*>("ButtonCopy")->text(), Q("Copy the content"));
    EXPECT_EQ(ReadCurrentLang(), LangEnglish);
    EXPECT_EQ(supervisor_->Language(), LangEnglish);
    // The relay's criteria: translated once ("NON" is "NO", never the compass point "NW"), both as
    // kept from the last reading and as the next reading makes them.
    for (int reading = 0; reading < 2; ++reading) {
        EXPECT_EQ(Label("LabelLumiereSeuil"), Q("NO")) << reading;
        EXPECT_EQ(Label("LabelActivatedRelay"), Q("YES")) << reading;
        EXPECT_EQ(Label("StaticTextDirWindSFG"), Q("NW")) << reading;
        Advance(SetupInfos.InterValQuickPoolSec);
        ASSERT_NO_FATAL_FAILURE(WeatherReading());
    }

    // Back to French; choosing French again changes nothing, and the marks stay right.
    for (int i = 0; i < 2; ++i) {
        Menu("FrancaisMenu")->trigger();
        EXPECT_EQ(Checks(), std::make_pair(true, false));
        EXPECT_EQ(window_->Pages()->tabText(0), Q("Informations"));
        EXPECT_EQ(MenuTitle(0), Q("Fichiers"));
        EXPECT_EQ(Label("Panel_WeatherSF"), Q("DEGAGE"));
        EXPECT_EQ(window_->StatusBarText(2), totalFr());
        EXPECT_EQ(window_->windowTitle(), Q("Moniteur de nuages HALVEX -> Version v1.49 27/03/13"));
        EXPECT_EQ(dialog_->windowTitle(), Q("Une erreur non gérée s'est produite...."));
        EXPECT_EQ(Label("LabelLumiereSeuil"), Q("NON"));
        EXPECT_EQ(ReadCurrentLang(), LangFrench);
    }
}

// Qt's own texts follow the program's language: the statistics calendars' month and day names, the
// standard buttons of the dialogs.
TEST_F(LanguageTest, QtsOwnTextsFollowTheLanguage) {
    InstallEnglishModule();
    WriteCurrentLang(LangFrench);
    OpenWindow();
    ASSERT_NO_FATAL_FAILURE(StartAndWait());
    auto* calendar = window_->findChild<QCalendarWidget*>("MonthCalendardeb");
    ASSERT_NE(calendar, nullptr);
    calendar->setCurrentPage(2026, 12);
    auto month = [calendar] { return calendar->findChild<QToolButton*>("qt_calendar_monthbutton")->text(); };
    auto cancel = [] { return QDialogButtonBox(QDialogButtonBox::Cancel).buttons().front()->text(); };
    EXPECT_EQ(month(), Q("décembre"));
    EXPECT_EQ(calendar->locale().dayName(1, QLocale::ShortFormat), Q("lun."));
    EXPECT_EQ(cancel(), Q("Annuler"));

    Menu("AnglaisMenu")->trigger();
    EXPECT_EQ(month(), Q("December"));
    EXPECT_EQ(calendar->locale().dayName(1, QLocale::ShortFormat), Q("Mon"));
    EXPECT_EQ(cancel(), Q("Cancel"));

    Menu("FrancaisMenu")->trigger();
    EXPECT_EQ(month(), Q("décembre"));
    EXPECT_EQ(cancel(), Q("Annuler"));
}

struct StartCase {
    const char* name;
    int32_t stored;
    bool module;         // orvanel_en.qm beside the program
    bool englishAtStart; // the user's language module was loaded before the window
    int32_t expected;
};

class StartLanguage : public LanguageTest, public ::testing::WithParamInterface<StartCase> {};

TEST_P(StartLanguage, TheStoredChoiceWinsAndTheMarksMatchTheTexts) {
    const StartCase& c = GetParam();
    if (c.module) InstallEnglishModule();
    WriteCurrentLang(c.stored);
    if (c.englishAtStart) {
        ASSERT_TRUE(Languages::Load(LangEnglish));
    }
    OpenWindow();
    ASSERT_NO_FATAL_FAILURE(StartAndWait());
    const bool english = c.expected == LangEnglish;
    EXPECT_EQ(supervisor_->Language(), c.expected);
    EXPECT_EQ(Checks(), std::make_pair(!english, english));
    EXPECT_EQ(window_->Pages()->tabText(0), english ? Q("Information") : Q("Informations"));
    EXPECT_EQ(MenuTitle(0), english ? Q("Files") : Q("Fichiers"));
    // Qt's own texts too: the statistics calendars show this month.
    auto* calendar = window_->findChild<QCalendarWidget*>("MonthCalendarFin");
    ASSERT_NE(calendar, nullptr);
    EXPECT_EQ(calendar->findChild<QToolButton*>("qt_calendar_monthbutton")->text(),
              english ? Q("December") : Q("décembre"));
    const std::string log = ReadWholeFile(PathLogs + LogFileNameToday());
    EXPECT_NE(log.find(english ? "Application language : English  (1033)"
                               : "Application language : French  (1036)"),
              std::string::npos)
        << log;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StartLanguage,
    ::testing::Values(StartCase{"EnglishStoredModulePresent", LangEnglish, true, false, LangEnglish},
                      StartCase{"FrenchStoredOverEnglishLocale", LangFrench, true, true, LangFrench},
                      StartCase{"EnglishStoredNoModule", LangEnglish, false, false, LangFrench},
                      StartCase{"OtherValueKeepsTheLocalesEnglish", 7, true, true, LangEnglish}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(LanguageTest, ALanguageWithoutModuleLeavesTheTextsInPlace) {
    EXPECT_FALSE(Languages::Load(0));
    EXPECT_FALSE(Languages::Load(LangEnglish)); // no module beside the program
    EXPECT_EQ(Languages::Loaded(), LangFrench);
    EXPECT_EQ(Languages::ModulePath(2057), PathExe + "orvanel_en.qm"); // English (United Kingdom)
}

TEST_F(LanguageTest, HeadlessStateLinesInEnglish) {
    InstallEnglishModule();
    ASSERT_TRUE(Languages::Load(LangEnglish));
    TConditions c;
    c.SkyAvailable = true;
    c.Sky = TSkyState::Clear;
    c.Air = TAirState::Dry;
    c.WindValid = true;
    c.Wind = TWindState::Windy;
    c.LightValid = true;
    c.SkyBackground = TSkyBackgroundState::DarkNight;
    const std::string line = StatesLine(c, Tr("MainForm", " Ouvert"));
    EXPECT_EQ(line,
              "Sky: CLEAR | Air: DRY | Rain: NO | Wind: WINDY | Sky background: DARK NIGHT | Relay:  Open")
        << line;
}

// ---- The exception dialog --------------------------------------------------------------------

__attribute__((noinline)) void FailInTimerHandler(int tick) {
    throw std::runtime_error("Erreur au tic " + std::to_string(tick));
}

TEST(ExceptionDialog, AnErrorInATimerHandlerIsShownWithItsStackAndTheProgramGoesOn) {
    auto* app = qobject_cast<TOrvanelApplication*>(qApp);
    ASSERT_NE(app, nullptr);
    int ticks = 0;
    QTimer timer;
    timer.setInterval(1);
    QObject::connect(&timer, &QTimer::timeout, [&ticks] {
        ++ticks;
        if (ticks == 1) FailInTimerHandler(ticks);
    });
    timer.start();
    ASSERT_TRUE(ProcessEventsUntil([&] { return ticks >= 3; }, 5000)) << "the timer stopped after the error";
    timer.stop();

    TFormExcept* dialog = app->ExceptionDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->findChild<QLabel*>("LabelError")->text(), Q("Erreur au tic 1"));
    const QStringList lines = dialog->ReportText().split('\n');
    ASSERT_GE(lines.size(), 3);
    EXPECT_EQ(lines[0], Q("Erreur au tic 1"));
    EXPECT_TRUE(lines[1].contains("FailInTimerHandler")) << lines[1].toStdString();
    EXPECT_TRUE(lines[1].contains("LanguageTest.cpp:")) << lines[1].toStdString();

    dialog->findChild<QPushButton*>("ButtonCopy")->click();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), dialog->ReportText());
    dialog->findChild<QPushButton*>("ButtonOK")->click();
    ASSERT_TRUE(ProcessEventsUntil([app] { return app->ExceptionDialog() == nullptr; }, 5000));
}

} // namespace
