// The controller end to end: the simulated station on a real pseudo-terminal, a Supervisor without
// any widget, and the cycle driven by calling its timer events (no waiting for real periods).
#include <csignal>
#include <filesystem>
#include <fmt/printf.h>
#include <functional>
#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QSettings>
#include <QThread>
#include <unistd.h>

#include "ConditionFiles.h"
#include "Conditions.h"
#include "DatabaseRegistry.h"
#include "HalvexStation.h"
#include "HistoryFile.h"
#include "NumberText.h"
#include "Protocol.h"
#include "QtHooks.h"
#include "StationTestSupport.h"
#include "SupervisedStation.h"
#include "Supervisor.h"
#include "WeatherModel.h"

namespace {

using namespace halvex::sim;
using halvex::OrderRearm;
using halvex::OrderSetDate;

class SupervisorTest : public SupervisedStationTest {};

StationOptions WeatherScript() {
    StationOptions options;
    options.PrefillRecords = 40;
    // Clear, dry, calm and dark, except two showers; the roof criteria stay the station's defaults.
    options.Scenario =
        ParseScenario("sky=-25@0-1000,rh=50@0-1000,wind=5@0-1000,mag=19@0-1000,dry@0-1,rain@1-2,"
                      "dry@2-5,rain@5-7,dry@7-1000");
    return options;
}

TEST_F(SupervisorTest, RunsTheWholeCycleAgainstTheSimulatedStation) {
    StartStation(WeatherScript());
    CreateSupervisor(station_->DevicePath());
    StartAndWait();

    // Start-up: version read, the station memory downloaded into the history, the clock set.
    EXPECT_EQ(startup_, 1);
    EXPECT_EQ(supervisor_->StatusBarPanels()[0], "Version -> 2.65");
    EXPECT_EQ(supervisor_->StatusBarPanels()[2], "A récupéré 40 donnée(s) EEPROM Halvex");
    EXPECT_EQ(HistorySize(), 40u);
    EXPECT_EQ(CountOrders(OrderSetDate), 1);
    EXPECT_TRUE(supervisor_->CycleRunning());
    EXPECT_TRUE(supervisor_->PeriodicSaveRunning());
    EXPECT_EQ(supervisor_->WeatherLabels().Interval, "20 sec");
    EXPECT_EQ(supervisor_->LightLabels().Interval, "1.0 min");
    EXPECT_TRUE(LogHasLine("Startup complete..."));

    // The one-line file in flavour II beside the data; alarm sound and program of the relay.
    SetupInfos.FileCLoudSensorVersion = CloudSensorII_File;
    SetupInfos.BoltWoodFileName = Root() + "recfile.txt";
    SetupInfos.Sound_at_RelayClose = "Relay.wav";
    const std::string programMark = Root() + "relay-program-ran";
    SetupInfos.Soft_OnRelayClose = "/usr/bin/touch " + programMark;
    SetupInfos.RoofCloserCriterias.DoReamAuto = true;
    SetupInfos.RoofCloserCriterias.AfterMinutes = 2; // shortened waiting time
    TDateTime utc = 46365.0;
    supervisor_->SetUtcClockForTests([&utc] { return utc; });

    // Under-sampling by 3: six readings store two records; the light reading between them.
    supervisor_->TimerMainTimer();
    EXPECT_EQ(supervisor_->WeatherLabels().Remaining, "19 sec");
    for (int i = 1; i < 19; ++i)
        supervisor_->TimerMainTimer();
    EXPECT_EQ(supervisor_->WeatherLabels().Remaining, "1 sec");
    ASSERT_NO_FATAL_FAILURE(LightReading());
    Advance(10);
    ASSERT_NO_FATAL_FAILURE(LightReading());
    const int before = readings_;
    supervisor_->TimerMainTimer();
    ASSERT_TRUE(WaitUntil([&] { return readings_ > before; }));
    for (int i = 0; i < 5; ++i) {
        Advance(5);
        ASSERT_NO_FATAL_FAILURE(WeatherReading());
    }
    EXPECT_EQ(HistorySize(), 42u);
    EXPECT_EQ(supervisor_->Status().Text, "Ok");
    EXPECT_FALSE(supervisor_->Status().IsError);
    EXPECT_EQ(supervisor_->StatusBarPanels()[2], "42 données totales");
    EXPECT_EQ(supervisor_->RelayDisplay().Panel.Text, " Ouvert");
    EXPECT_EQ(supervisor_->Conditions().CloudCode(), CloudClear); // the median is ready after five
    EXPECT_TRUE(supervisor_->Conditions().LightValid);

    // Both condition files, column for column.
    const std::vector<std::string> infoLines = {
        "Fileversion          = 1.01",   "DateYear             = 2026",  "DateMonth            = 12",
        "DateDay              = 9",      "DateHour             = 12",    "DateMin              = 0",
        "DateSec              = 35",     "TempExt (°C)         = 16.63", "Humidity (%RH)       = 50.0",
        "DewPoint (°C)        = 6.09",   "TempRainSensor (°C)  = 16.63", "TempSkyIR   (°C)     = -8.37",
        "TempDetectorIR (°C)  = 17.13",  "RainFall             = No",    "WindSpeedGust (km/h) = 5.0",
        "WinDirection (°)     = 270",    "PowerDry (%)         = 0",     "PowerIn (V)          = 12.46",
        "LighLevel (Log a.u)  = -2.824", "LighLevel (Mag/sec²) = 19.46",
    };
    std::string info;
    for (const auto& l : infoLines)
        info += l + "\r\n";
    EXPECT_EQ(ReadWholeFile(PathDatas + "infodata.txt"), info);
    EXPECT_EQ(ReadWholeFile(Root() + "recfile.txt"), "2026-12-09 12:00:35.00 C K -25.0  16.6  17.1    5.0    "
                                                     "50  6.1    00  0 0 00000 046365.50041 1 2 1 1  "
                                                     "19.5   270\r\n");
    SetupInfos.FileCLoudSensorVersion = CloudSensorI_File;
    Advance(5);
    ASSERT_NO_FATAL_FAILURE(WeatherReading());
    EXPECT_EQ(ReadWholeFile(Root() + "recfile.txt"),
              "2026-12-09 12:00:40 C  -25.0   16.6  17.1 00 0 00000 46365.50046  1\r\n");

    // The shower closes the relay: the alarm is raised once for this closing.
    Advance(60 - 35);
    ASSERT_TRUE(station_->RelayClosed());
    ASSERT_NO_FATAL_FAILURE(WeatherReading());
    ASSERT_NO_FATAL_FAILURE(WeatherReading());
    EXPECT_EQ(supervisor_->RelayDisplay().Panel.Text, " Fermé");
    EXPECT_TRUE(supervisor_->RelayDisplay().ButtonEnabled);
    EXPECT_EQ(std::count(sounds_.begin(), sounds_.end(), "Relay.wav"), 1);
    EXPECT_EQ(programs_, 1);
    EXPECT_TRUE(WaitUntil([&] { return std::filesystem::exists(programMark); }));
    EXPECT_EQ(CountLogLines("Alarme : activation du relai d'urgence !"), 1);
    EXPECT_EQ(CountLogLines("Relay closed condition met"), 1);
    EXPECT_EQ(supervisor_->Published().Values().RoofCloseRequested, true);

    // Within the waiting time the button counts down.
    utc += 0.5 / 1440;
    ASSERT_NO_FATAL_FAILURE(WeatherReading());
    EXPECT_EQ(supervisor_->RelayDisplay().ButtonCaption, "Ouvrir relai  [1.5 m]");

    // After it, with the shower over and every criterion met again: re-armed quietly.
    Advance(60);
    utc += 2.0 / 1440;
    ASSERT_NO_FATAL_FAILURE(WeatherReading());
    ASSERT_TRUE(WaitUntil([&] { return rearms_ == 1; }));
    EXPECT_TRUE(LogHasLine("Rearm condition met -> OK"));
    EXPECT_FALSE(station_->RelayClosed());
    EXPECT_TRUE(SetupInfos.RoofCloserCriterias.DoWatch.DefaultValue);
    EXPECT_EQ(supervisor_->RelayDisplay().Panel.Text, " Ouvert");
    EXPECT_EQ(supervisor_->RelayDisplay().Panel.Hint.rfind("Réarmé à : ", 0), 0u);
    EXPECT_EQ(CountOrders(OrderRearm), 1);

    // The second shower: closed again, and when the waiting time ends in the rain a new full wait starts.
    Advance(5 * 60 - modelSeconds_ + 10);
    ASSERT_TRUE(station_->RelayClosed());
    ASSERT_NO_FATAL_FAILURE(WeatherReading());
    EXPECT_EQ(CountLogLines("Alarme : activation du relai d'urgence !"), 2);
    utc += 2.5 / 1440;
    ASSERT_NO_FATAL_FAILURE(WeatherReading());
    EXPECT_EQ(CountLogLines("Relay closed condition met"), 3);
    EXPECT_EQ(CountOrders(OrderRearm), 1);
    utc += 0.5 / 1440;
    ASSERT_NO_FATAL_FAILURE(WeatherReading());
    EXPECT_EQ(supervisor_->RelayDisplay().ButtonCaption, "Ouvrir relai  [1.5 m]");

    // Closing: the station clock set once more, the history saved.
    const int setDates = CountOrders(OrderSetDate);
    const size_t records = HistorySize();
    supervisor_->FormClose();
    EXPECT_EQ(CountOrders(OrderSetDate), setDates + 1);
    EXPECT_TRUE(supervisor_->History().Empty());
    EXPECT_EQ(SavedRecords(2), records);
    EXPECT_TRUE(LogHasLine("Data saved"));
}

// After a start-up the current reading has the light of the last record downloaded from the station
// memory, until the light readings give their own: the first weather reading's files show it.
TEST_F(SupervisorTest, TheLastDownloadedRecordGivesTheLightUntilALightReading) {
    StartStation(WeatherScript());
    CreateSupervisor(station_->DevicePath());
    StartAndWait();
    ASSERT_EQ(startup_, 1);
    ASSERT_EQ(HistorySize(), 40u);
    const TcapteursInfos last = supervisor_->History().Records().back();
    ASSERT_TRUE(last.ValidLight) << "the station's records carry a light level";
    const double lumex = last.Lumex; // not bound by reference: the record is packed
    ASSERT_NE(lumex, 0.0);

    SetupInfos.FileCLoudSensorVersion = CloudSensorII_File;
    SetupInfos.BoltWoodFileName = Root() + "recfile.txt";
    ASSERT_NO_FATAL_FAILURE(WeatherReading());
    const std::string info = ReadWholeFile(PathDatas + "infodata.txt");
    EXPECT_NE(info.find("LighLevel (Log a.u)  = " + AdaptiveFloatText(lumex) + "\r\n"), std::string::npos)
        << info;
    EXPECT_NE(info.find("LighLevel (Mag/sec²) = " + AdaptiveFloatText(SkyMagnitude(lumex)) + "\r\n"),
              std::string::npos)
        << info;
    const std::string line = ReadWholeFile(Root() + "recfile.txt");
    const std::string magnitude = fmt::sprintf("%1.1f", SkyMagnitude(lumex));
    ASSERT_GT(line.size(), 102 + magnitude.size());
    EXPECT_EQ(line.substr(102, magnitude.size()), magnitude) << line; // column 103
}

// Suspend saves the history and sets the station clock; resume downloads the memory again, and
// only then does polling restart.
TEST_F(SupervisorTest, SuspendAndResumeDownloadTheMemoryBeforePollingRestarts) {
    StationOptions options;
    options.PrefillRecords = 12;
    options.IdleSeconds = 60;
    StartStation(options);
    CreateSupervisor(station_->DevicePath());
    StartAndWait();
    ASSERT_EQ(HistorySize(), 12u);

    supervisor_->SuspendNow();
    EXPECT_FALSE(supervisor_->CycleRunning());
    EXPECT_FALSE(supervisor_->PeriodicSaveRunning());
    EXPECT_EQ(CountOrders(OrderSetDate), 2);
    EXPECT_EQ(SavedRecords(2), 12u);
    EXPECT_EQ(HistorySize(), 12u); // the history stays in memory

    Advance(10 * 60); // the station records while nobody polls
    startup_ = 0;
    supervisor_->ResumeNow();
    EXPECT_FALSE(supervisor_->CycleRunning());
    ASSERT_TRUE(WaitUntil([this] { return startup_ != 0; }));
    EXPECT_EQ(startup_, 1);
    EXPECT_GT(HistorySize(), 12u);
    EXPECT_EQ(CountOrders(OrderSetDate), 3);
    EXPECT_TRUE(supervisor_->CycleRunning());
}

// Each processed reading is handed to its followers once: the one-line file holds the reading before
// the graphs are asked to redraw; after closing nothing follows any more.
TEST_F(SupervisorTest, EachReadingIsFollowedByTheConditionFileThenTheRedraw) {
    StartStation(WeatherScript());
    CreateSupervisor(station_->DevicePath());
    StartAndWait();
    SetupInfos.FileCLoudSensorVersion = CloudSensorI_File;
    SetupInfos.BoltWoodFileName = Root() + "recfile.txt";
    std::vector<std::string> fileAtRedraw;
    QObject::connect(supervisor_.get(), &Supervisor::redrawRequested, [&] {
        fileAtRedraw.push_back(
            std::filesystem::exists(Root() + "recfile.txt") ? ReadWholeFile(Root() + "recfile.txt") : "");
    });
    std::vector<TDateTime> handed;
    QObject::connect(supervisor_.get(), &Supervisor::readingProcessed,
                     [&](const TcapteursInfos& reading, const TConditions& conditions) {
                         handed.push_back(reading.DateSysteme);
                         EXPECT_EQ(&conditions, &supervisor_->Conditions());
                         if (!supervisor_->Closed()) { // "Ok" is said once the followers are done
                             EXPECT_NE(supervisor_->Status().Text, "Ok");
                         }
                     });
    Advance(5);
    ASSERT_NO_FATAL_FAILURE(WeatherReading());
    ASSERT_EQ(handed.size(), 1u);
    EXPECT_EQ(handed[0], CurrentCapteursInfos.DateSysteme);
    ASSERT_EQ(fileAtRedraw.size(), 1u);
    EXPECT_EQ(fileAtRedraw[0], "2026-12-09 12:00:05 C  -25.0   16.6  17.1 00 0 00000 46365.50006  0\r\n");
    EXPECT_EQ(supervisor_->Status().Text, "Ok");

    supervisor_->FormClose();
    std::filesystem::remove(Root() + "recfile.txt");
    emit supervisor_->readingProcessed(CurrentCapteursInfos, supervisor_->Conditions());
    EXPECT_EQ(fileAtRedraw.size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(Root() + "recfile.txt"));
}

// A service that writes what happens to it, and what the controller had done by then, into a
// shared journal.
class TJournalService : public TService {
  public:
    TJournalService(std::string name, std::vector<std::string>& journal, const Supervisor& supervisor,
                    std::string startError = {})
        : name_(std::move(name)), journal_(journal), supervisor_(supervisor), startError_(std::move(startError)) {}
    std::string Name() const override { return name_; }
    bool Start(std::string& error) override {
        // After the start-up: the thresholds are published and the station list is under way.
        journal_.push_back(name_ + ":start" +
                           (supervisor_.GoodConditionsLegendText().empty() ? " before start-up" : ""));
        error = startError_;
        return startError_.empty();
    }
    void Stop() override {
        // The closing order stays: the history is saved (and emptied) before the services stop.
        journal_.push_back(name_ + ":stop" + (supervisor_.History().Size() > 0 ? " before save" : ""));
    }
    void OnReading(const TcapteursInfos& reading, const TConditions& conditions) override {
        EXPECT_EQ(reading.DateSysteme, CurrentCapteursInfos.DateSysteme);
        EXPECT_EQ(&conditions, &supervisor_.Conditions());
        // Already in the history and the published values when the services see it.
        EXPECT_EQ(supervisor_.Published().Values().DateLastMeasurement, reading.DateSysteme);
        journal_.push_back(name_ + ":reading");
    }
    void OnLinkState(bool lost) override { journal_.push_back(name_ + (lost ? ":lost" : ":back")); }

  private:
    std::string name_;
    std::vector<std::string>& journal_;
    const Supervisor& supervisor_;
    std::string startError_;
};

// The services after the built-in ones, in the order added: started after the start-up, each reading
// handed to each running service once and in order, a service that cannot start is one message and
// the program runs on without it, and the close stops them in the reverse order after the save.
TEST_F(SupervisorTest, ServicesStartInOrderFollowEachReadingAndStopInReverse) {
    StartStation(WeatherScript());
    CreateSupervisor(station_->DevicePath());
    std::vector<std::string> journal;
    supervisor_->AddService(std::make_unique<TJournalService>("web", journal, *supervisor_));
    supervisor_->AddService(
        std::make_unique<TJournalService>("mqtt", journal, *supervisor_, "Courtier MQTT injoignable"));
    supervisor_->AddService(std::make_unique<TJournalService>("last", journal, *supervisor_));
    const TServiceList& services = supervisor_->Services();
    ASSERT_EQ(services.Size(), 5u);
    EXPECT_NE(services.Find("Condition file"), nullptr);
    EXPECT_NE(services.Find("FTP"), nullptr);
    EXPECT_TRUE(journal.empty()); // nothing before the start
    StartAndWait();
    ASSERT_EQ(startup_, 1);
    EXPECT_EQ(journal, (std::vector<std::string>{"web:start", "mqtt:start", "last:start"}));
    EXPECT_EQ(messages_, std::vector<std::string>{"Courtier MQTT injoignable"});
    EXPECT_TRUE(supervisor_->CycleRunning());

    journal.clear();
    Advance(5);
    ASSERT_NO_FATAL_FAILURE(WeatherReading());
    Advance(5);
    ASSERT_NO_FATAL_FAILURE(WeatherReading());
    EXPECT_EQ(journal, (std::vector<std::string>{"web:reading", "last:reading", "web:reading", "last:reading"}));

    journal.clear();
    supervisor_->FormClose();
    EXPECT_EQ(journal, (std::vector<std::string>{"last:stop", "mqtt:stop", "web:stop"}));
    supervisor_->FormClose();
    emit supervisor_->readingProcessed(CurrentCapteursInfos, supervisor_->Conditions());
    EXPECT_EQ(journal.size(), 3u); // closed: nothing follows, nothing stops twice
}

// A one-line file that another user made first is left alone: the status says so after the reading
// (not hidden by "Ok"), the log says it once, and the next readings say nothing more.
TEST_F(SupervisorTest, AConditionFileOfAnotherUserIsToldOnceInTheStatusAndTheLog) {
    StartStation(WeatherScript());
    CreateSupervisor(station_->DevicePath());
    StartAndWait();
    const std::string path = Root() + "recfile.txt";
    WriteWholeFile(path, "stale");
    ASSERT_EQ(::chown(path.c_str(), 4242, 4242), 0);
    SetupInfos.FileCLoudSensorVersion = CloudSensorI_File;
    SetupInfos.BoltWoodFileName = path;
    Advance(5);
    ASSERT_NO_FATAL_FAILURE(WeatherReading());
    EXPECT_TRUE(supervisor_->Status().IsError);
    EXPECT_NE(supervisor_->Status().Text.find("recfile.txt"), std::string::npos)
        << supervisor_->Status().Text;
    for (int i = 0; i < 2; ++i) {
        Advance(5);
        ASSERT_NO_FATAL_FAILURE(WeatherReading());
        EXPECT_EQ(supervisor_->Status().Text, "Ok");
    }
    EXPECT_EQ(ReadWholeFile(path), "stale");
    int told = 0;
    for (const auto& l : LogTexts())
        told += l.find("belongs to another user") != std::string::npos;
    EXPECT_EQ(told, 1);
}

// A settings file that is no settings file is reported at start, once, and kept aside as it was.
TEST_F(SupervisorTest, ADamagedSettingsFileIsReportedAtStart) {
    const std::string file = DatabaseRegistry().FileName();
    std::filesystem::create_directories(std::filesystem::path(file).parent_path());
    const std::string garbage("\x7f"
                              "ELF\0\0\0\x01 not settings",
                              20);
    WriteWholeFile(file, garbage);
    StartStation(WeatherScript());
    CreateSupervisor(station_->DevicePath());
    StartAndWait();
    ASSERT_EQ(messages_.size(), 1u) << ::testing::PrintToString(messages_);
    EXPECT_NE(messages_[0].find(file + ".damaged"), std::string::npos) << messages_[0];
    EXPECT_EQ(SetupInfos.SetupInfos_HW.PortCOM, 1);
    EXPECT_EQ(ReadWholeFile(file), garbage); // nothing written yet
    DatabaseRegistry().WriteCFGtoRegister("\\Config", uint16_t{2}, "PortCom");
    EXPECT_EQ(ReadWholeFile(file + ".damaged"), garbage);
}

// A humidity correction that is not a number, left in the store by hand, neither stops the start
// nor reaches the readings: the default factor is used.
TEST_F(SupervisorTest, AStoredNanHumidityCorrectionStillStartsAndReads) {
    {
        QSettings store(QString::fromStdString(DatabaseRegistry().FileName()), QSettings::IniFormat);
        store.setValue("Config/RH_Correction", "nan");
    }
    StartStation(WeatherScript());
    CreateSupervisor(station_->DevicePath());
    StartAndWait();
    EXPECT_EQ(startup_, 1);
    EXPECT_TRUE(supervisor_->CycleRunning());
    EXPECT_EQ(SetupInfos.SetupInfos_HW.RH_Correction, 1.0);
    ASSERT_EQ(HistorySize(), 40u);
    EXPECT_NEAR(supervisor_->History().Records().back().Humidity, 50,
                0.5); // downloaded from the station's memory
    ASSERT_NO_FATAL_FAILURE(WeatherReading());
    EXPECT_NEAR(CurrentCapteursInfos.Humidity, 50, 0.5);
}

// The program stays up without polling, and says that it will try again (LinkHealingTest follows
// the retries).
TEST_F(SupervisorTest, AStationThatNeverAnswersLeavesTheProgramUpWithoutPolling) {
    StationOptions options;
    options.Faults.Silent = true;
    StartStation(options);
    CreateSupervisor(station_->DevicePath());
    StartAndWait();
    EXPECT_EQ(startup_, -1);
    EXPECT_FALSE(supervisor_->CycleRunning());
    EXPECT_TRUE(supervisor_->StartupRetryPending());
    EXPECT_TRUE(supervisor_->Status().IsError);
    // The reason names the port (the text may be shortened at its end).
    EXPECT_NE(supervisor_->Status().Text.find("port " + station_->DevicePath()), std::string::npos)
        << supervisor_->Status().Text;
    bool logged = false;
    for (const auto& l : LogTexts())
        logged = logged || l.rfind("Startup failed ! -> ", 0) == 0;
    EXPECT_TRUE(logged);
    EXPECT_TRUE(LogHasLine("Startup retry in 60 s"));
    supervisor_->FormClose();
    EXPECT_FALSE(supervisor_->StartupRetryPending());
    EXPECT_TRUE(LogHasLine("Data saved"));
}

TEST_F(SupervisorTest, APortThatCannotBeOpenedIsNamed) {
    const std::string port = Root() + "no-such-tty";
    CreateSupervisor(port);
    ASSERT_TRUE(supervisor_->Start());
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_NE(messages_[0].find(port), std::string::npos) << messages_[0];
    EXPECT_TRUE(supervisor_->Status().IsError);
    EXPECT_FALSE(supervisor_->CycleRunning());
    QCoreApplication::processEvents();
    EXPECT_EQ(startup_, 0); // no start-up list was started
}

TEST_F(SupervisorTest, StatusTextsAreShortenedAbove80Characters) {
    CreateSupervisor(Root() + "unused");
    const std::string eighty(80, 'a');
    const std::string eightyOne = "é" + std::string(80, 'b'); // characters, not bytes
    supervisor_->ShowStatus(eighty, false);
    EXPECT_EQ(supervisor_->Status().Text, eighty);
    EXPECT_FALSE(supervisor_->Status().IsError);
    supervisor_->ShowStatus(eightyOne, true);
    EXPECT_EQ(supervisor_->Status().Text, "....é" + std::string(69, 'b'));
    EXPECT_TRUE(supervisor_->Status().IsError);
    EXPECT_EQ(supervisor_->Status().Hint.rfind("Affiché à ", 0), 0u);
}

// The automatic re-arm compares with the criteria as the station reported them; all strict.
TEST_F(SupervisorTest, RearmConditionsFollowTheStationCriteria) {
    CreateSupervisor(Root() + "unused");
    auto& c = SetupInfos.RoofCloserCriterias;
    const auto report = [&] {
        c.TempSky = {-10, 0, true};
        c.RH = {90, 0, true};
        c.Wind = {50, 0, true};
        c.Light = {false, false, true};
        c.ValueMag = {18, 0, true};
    };
    TcapteursInfos good{};
    good.DeltaTempDeg = -20;
    good.Humidity = 60;
    good.WindSpeedMax_ms = 10 / 3.6f;
    good.ValidWindGUST = 1;
    good.Lumex = 0;
    struct Case {
        const char* name;
        std::function<void(TcapteursInfos&)> reading;
        std::function<void()> criteria;
        bool met;
    };
    const std::vector<Case> cases = {
        {"all below", [](TcapteursInfos&) {}, [] {}, true},
        {"rain", [](TcapteursInfos& r) { r.RainStatus = 1; }, [] {}, false},
        {"sky at threshold", [](TcapteursInfos& r) { r.DeltaTempDeg = -10; }, [] {}, false},
        {"humidity at threshold", [](TcapteursInfos& r) { r.Humidity = 90; }, [] {}, false},
        {"wind at threshold", [](TcapteursInfos& r) { r.WindSpeedMax_ms = 50 / 3.6f; }, [] {}, false},
        {"no gust: stored -1 m/s",
         [](TcapteursInfos& r) {
             r.ValidWindGUST = 0;
             r.WindSpeedMax_ms = -1;
         },
         [] {}, true},
        {"sky not reported", [](TcapteursInfos&) {}, [&] { c.TempSky.Valid = false; }, false},
        {"wind not reported", [](TcapteursInfos&) {}, [&] { c.Wind.Valid = false; }, false},
        {"light watched, sky too bright", [](TcapteursInfos&) {}, [&] { c.Light.Value = true; }, false},
        {"light watched, magnitude unreported", [](TcapteursInfos&) {},
         [&] {
             c.Light.Value = true;
             c.ValueMag.Valid = false;
         },
         true},
    };
    for (const auto& k : cases) {
        report();
        k.criteria();
        TcapteursInfos r = good;
        k.reading(r);
        EXPECT_EQ(supervisor_->RearmConditionsMet(r), k.met) << k.name;
    }
}

// A real orvanel process: SIGTERM closes it as the window would, history saved and clock set.
TEST_F(SupervisorTest, SigtermClosesTheHeadlessProgramCleanly) {
    const QString program = QCoreApplication::applicationDirPath() + "/orvanel";
    ASSERT_TRUE(std::filesystem::exists(program.toStdString())) << "build the orvanel target";
    StationOptions options;
    options.PrefillRecords = 25;
    StartStation(options);
    SetClockForTests({});
    // Qt ignores a runtime folder others may read, and would fall back to one shared with any other
    // program started by a test at the same time (the single-instance check would then refuse).
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"))
        std::filesystem::permissions(runtime, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::replace);
    QProcess orvanel;
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert("DBUS_SESSION_BUS_ADDRESS", QString::fromStdString("unix:path=" + Root() + "no-bus"));
    env.insert("QT_QPA_PLATFORM", "offscreen");
    orvanel.setProcessEnvironment(env);
    orvanel.start(program, {"--headless", "--port", QString::fromStdString(station_->DevicePath())});
    ASSERT_TRUE(orvanel.waitForStarted(10000));
    ASSERT_TRUE(WaitUntil([] { return LogHasLine("Startup complete..."); }, 20000))
        << orvanel.readAllStandardError().toStdString();
    ::kill(static_cast<pid_t>(orvanel.processId()), SIGTERM);
    ASSERT_TRUE(orvanel.waitForFinished(20000));
    EXPECT_EQ(orvanel.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(orvanel.exitCode(), 0);
    EXPECT_EQ(CountOrders(OrderSetDate), 2); // start-up and closing
    EXPECT_TRUE(LogHasLine("Thread set date complete"));
    EXPECT_TRUE(LogHasLine("Data saved"));
    EXPECT_EQ(SavedRecords(2), 25u);
}

} // namespace
