// The controller heals its station link without a restart: a failed start-up is tried again, a port
// that fails is closed and reopened by its name, and the readings resume by themselves. Against the
// simulated station on real pseudo-terminals, with the healing pauses shortened.
#include <algorithm>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>

#include "HalvexStation.h"
#include "Protocol.h"
#include "StationTestSupport.h"
#include "SupervisedStation.h"
#include "Supervisor.h"
#include "WeatherModel.h"

namespace {

namespace fs = std::filesystem;
using namespace halvex::sim;

class LinkHealingTest : public SupervisedStationTest {
  protected:
    void SetUp() override {
        SupervisedStationTest::SetUp();
        healingMs_ = 50;
    }

    void Create(const std::string& port) {
        CreateSupervisor(port);
        QObject::connect(supervisor_.get(), &Supervisor::weatherReadingFailed, [this] { ++failed_; });
    }

    // One weather reading that the station thread reports as failed.
    void FailingWeatherReading() {
        const int before = failed_;
        for (uint32_t i = 0; i < SetupInfos.InterValQuickPoolSec; ++i)
            supervisor_->TimerMainTimer();
        ASSERT_TRUE(WaitUntil([&] { return failed_ > before; }));
    }

    // The symbolic link the program is given, pointed at a device (replaced whole).
    void PointLink(const std::string& link, const std::string& device) {
        const std::string next = link + ".new";
        fs::remove(next);
        fs::create_symlink(device, next);
        fs::rename(next, link);
    }

    static int CountLogLinesStarting(const std::string& prefix) {
        int n = 0;
        for (const auto& line : LogTexts())
            if (line.rfind(prefix, 0) == 0) ++n;
        return n;
    }

    int failed_ = 0;
};

// A start-up that fails is tried again until it succeeds; the cycle then starts as usual.
TEST_F(LinkHealingTest, AFailedStartupIsRetriedUntilTheStationAnswers) {
    struct TCase {
        const char* name;
        std::function<std::string()> before; // starts what is there at first; returns the port
        std::function<std::string()> heal;   // returns what the start-up failure names
    };
    const std::string link = Root() + "halvex.tty";
    const std::vector<TCase> cases = {
        {"station silent for the first minute",
         [&] {
             StationOptions options;
             options.Scenario = ParseScenario("silent@0-1");
             StartStation(options);
             return station_->DevicePath();
         },
         [&] {
             Advance(61);
             return "Erreur de lecture port " + station_->DevicePath();
         }},
        {"device not plugged in yet", [&] { return link; },
         [&] {
             StartStation({});
             PointLink(link, station_->DevicePath());
             return "Ne peut ouvrir le port " + link;
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        startup_ = 0;
        const int retriesBefore = CountLogLinesStarting("Startup retry #");
        Create(c.before());
        ASSERT_TRUE(supervisor_->Start());
        ASSERT_TRUE(WaitUntil([&] { return CountLogLinesStarting("Startup retry #") >= retriesBefore + 2; }));
        EXPECT_FALSE(supervisor_->CycleRunning());
        EXPECT_TRUE(LogHasLine("Startup retry in 1 s"));

        const std::string reason = c.heal();
        ASSERT_TRUE(WaitUntil([this] { return startup_ == 1; }));
        EXPECT_GE(CountLogLinesStarting("Startup failed ! -> " + reason), 2);
        EXPECT_TRUE(supervisor_->CycleRunning());
        EXPECT_FALSE(supervisor_->StartupRetryPending());
        ASSERT_NO_FATAL_FAILURE(WeatherReading());
        EXPECT_EQ(supervisor_->Status().Text, "Ok");

        supervisor_.reset();
        station_->Stop();
        fs::remove(link);
    }
}

// The status panel keeps the reason, which names the port, and tells when the next try comes.
TEST_F(LinkHealingTest, TheStatusSaysWhyAndWhenTheStartupIsTriedAgain) {
    healingMs_ = 60000; // the program's pause: no retry within this test
    Create("/dev/null/halvex");
    ASSERT_TRUE(supervisor_->Start());
    EXPECT_EQ(supervisor_->Status().Text,
              "Ne peut ouvrir le port /dev/null/halvex ! -> Nouvel essai de démarrage dans 60 s");
    EXPECT_TRUE(supervisor_->Status().IsError);
    EXPECT_TRUE(supervisor_->StartupRetryPending());
    EXPECT_EQ(messages_.size(), 1u);
}

// A resume whose station does not answer yet is retried as a failed start-up is.
TEST_F(LinkHealingTest, AFailedResumeIsRetried) {
    StartStation({});
    Create(station_->DevicePath());
    StartAndWait();
    ASSERT_EQ(startup_, 1);
    supervisor_->SuspendNow();
    LineFaults silent;
    silent.Silent = true;
    station_->SetLineFaults(silent);
    startup_ = 0;
    supervisor_->ResumeNow();
    ASSERT_TRUE(WaitUntil([this] { return startup_ == -1; }));
    EXPECT_TRUE(LogHasLine("Startup retry in 1 s"));
    EXPECT_FALSE(supervisor_->CycleRunning());

    station_->SetLineFaults({});
    ASSERT_TRUE(WaitUntil([this] { return startup_ == 1; }));
    EXPECT_TRUE(LogHasLine("Startup retry #1"));
    EXPECT_TRUE(supervisor_->CycleRunning());
    ASSERT_NO_FATAL_FAILURE(WeatherReading());
}

// One bad answer among the start-up exchanges costs a repeated order, not the start-up.
TEST_F(LinkHealingTest, OneBadAnswerPerStartupExchangeIsRepeated) {
    StartStation({});
    station_->AddFault({halvex::OrderGetVersion, -1, 0, 1, FaultKind::BadChecksum, 0});
    station_->AddFault({halvex::OrderGetIRGain, -1, 0, 1, FaultKind::Silence, 0});
    station_->AddFault({halvex::OrderGetCriteria, -1, 0, 1, FaultKind::Truncate, 5});
    station_->AddFault({halvex::OrderSetDate, -1, 0, 1, FaultKind::WrongStartByte, 0});
    Create(station_->DevicePath());
    StartAndWait();
    EXPECT_EQ(startup_, 1);
    EXPECT_EQ(CountLogLinesStarting("Startup failed"), 0);
    EXPECT_EQ(CountLogLinesStarting("Order 0x"), 4);
    EXPECT_TRUE(LogHasLine("Order 0x24 failed, attempt 1/3 -> Erreur de lecture port " +
                           station_->DevicePath() + " (Entete)  lus=0 (octets), attendus=2! (octets) !"));
    EXPECT_EQ(CountOrders(halvex::OrderSetDate), 2);
    EXPECT_TRUE(supervisor_->CycleRunning());
}

// The port is a symbolic link: its station goes away with its pseudo-terminal and the link is
// removed, then the link points at the station again, on a new device. The readings resume without
// a restart, once what the station recorded meanwhile (nobody could poll it) is stored; only then is
// its clock set, which empties its memory.
TEST_F(LinkHealingTest, APortPulledAndRestoredIsReopenedByItsLink) {
    const std::string link = Root() + "halvex.tty";
    StationOptions options;
    options.IntervalSec = 60;
    options.IdleSeconds = 120;
    StartStation(options);
    PointLink(link, station_->DevicePath());
    Create(link);
    StartAndWait();
    ASSERT_EQ(startup_, 1);
    ASSERT_NO_FATAL_FAILURE(WeatherReading());
    const auto recordsBefore = HistorySize();
    const int readingsEnded = CountLogLines("End getting [Weather Data]");
    const int setDates = CountOrders(halvex::OrderSetDate);

    // The station goes with its pseudo-terminal (the open port hangs up), and the link with it: a
    // link left to the closed pseudo-terminal could name another program's one soon after.
    station_->Stop();
    fs::remove(link);
    ASSERT_NO_FATAL_FAILURE(FailingWeatherReading());
    EXPECT_TRUE(supervisor_->StationLinkLost()) << "a hang-up is a lost port at once";
    EXPECT_FALSE(supervisor_->CycleRunning());
    // Every service shows the loss in the one verdict at once.
    const auto& reasons = supervisor_->Published().LastVerdict().Reasons();
    EXPECT_NE(std::find(reasons.begin(), reasons.end(), TUnsafeReason::LinkLost), reasons.end());
    EXPECT_TRUE(supervisor_->Status().IsError);
    const std::string lost = "Liaison perdue avec la station (" + link + "), nouvel essai dans 1 s";
    ASSERT_GT(lost.size(), 80u); // shown shortened, as every long status
    EXPECT_EQ(supervisor_->Status().Text, "...." + lost.substr(0, 70));
    EXPECT_EQ(CountLogLinesStarting("Station link lost (" + link + ") -> Erreur d"), 1);
    EXPECT_TRUE(LogHasLine("Getting [Weather Data] -> failed"));
    EXPECT_EQ(CountLogLines("End getting [Weather Data]"), readingsEnded);
    ASSERT_TRUE(WaitUntil([] { return CountLogLinesStarting("Station link: reopen attempt #3") > 0; }));
    EXPECT_TRUE(supervisor_->StationLinkLost());

    // An hour unplugged: the station records once a minute from its second idle minute on.
    Advance(3600);
    station_->Start();
    PointLink(link, station_->DevicePath());
    ASSERT_TRUE(WaitUntil([this] { return supervisor_->CycleRunning(); }));
    EXPECT_FALSE(supervisor_->StationLinkLost());
    EXPECT_EQ(CountLogLinesStarting("Station link restored (" + link + ")"), 1);
    EXPECT_GE(HistorySize(), recordsBefore + 58) << "the records of the hour unplugged";
    EXPECT_EQ(CountOrders(halvex::OrderSetDate), setDates + 1) << "the clock set once the memory is stored";
    const auto& after = supervisor_->Published().LastVerdict().Reasons();
    EXPECT_EQ(std::find(after.begin(), after.end(), TUnsafeReason::LinkLost), after.end());
    ASSERT_NO_FATAL_FAILURE(WeatherReading());
    EXPECT_EQ(supervisor_->Status().Text, "Ok");
}

// A port that stays open but on which readings keep failing is reopened after three in a row.
TEST_F(LinkHealingTest, ReadingsFailingInARowReopenThePort) {
    StartStation({});
    Create(station_->DevicePath());
    StartAndWait();
    ASSERT_EQ(startup_, 1);

    LineFaults silent;
    silent.Silent = true;
    station_->SetLineFaults(silent);
    for (int i = 0; i < 2; ++i) {
        ASSERT_NO_FATAL_FAILURE(FailingWeatherReading());
        EXPECT_FALSE(supervisor_->StationLinkLost()) << i;
    }
    ASSERT_NO_FATAL_FAILURE(FailingWeatherReading());
    EXPECT_TRUE(supervisor_->StationLinkLost());
    EXPECT_FALSE(supervisor_->CycleRunning());
    // The port opens again, but the station does not answer yet: the attempts go on.
    ASSERT_TRUE(WaitUntil([] { return CountLogLinesStarting("Station link: reopen attempt #2") > 0; }));
    EXPECT_TRUE(supervisor_->StationLinkLost());

    station_->SetLineFaults({});
    ASSERT_TRUE(WaitUntil([this] { return supervisor_->CycleRunning(); }));
    ASSERT_NO_FATAL_FAILURE(WeatherReading());
    EXPECT_EQ(CountLogLines("Getting [Weather Data] -> failed"), 3);
}

} // namespace
