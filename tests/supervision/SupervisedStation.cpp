#include "SupervisedStation.h"

#include "ConditionFiles.h"
#include "HistoryStore.h"

#include "QtHooks.h"
#include "TestSupport.h"
#include "WeatherModel.h"

using halvex::sim::HalvexStation;
using halvex::sim::StationOptions;

bool WaitUntil(const std::function<bool()>& condition, int maxMs) {
    return ProcessEventsUntil(condition, maxMs);
}

void SupervisedStationTest::SetUp() {
    StationSandbox::SetUp();
    InstallQtHooks(true);
    SetClockForTests([this] { return BaseClock + modelSeconds_ / 86400.0; });
}

void SupervisedStationTest::TearDown() {
    supervisor_.reset();
    if (station_) station_->Stop();
    SetClockForTests({});
    StationSandbox::TearDown();
}

void SupervisedStationTest::StartStation(StationOptions options) {
    options.Speed = 0;
    options.StartClock = BaseClock;
    station_ = std::make_unique<HalvexStation>(options);
    station_->Start();
}

void SupervisedStationTest::Advance(double seconds) {
    modelSeconds_ = modelSeconds_ + seconds;
    station_->AdvanceTime(seconds);
}

void SupervisedStationTest::CreateSupervisor(const std::string& port, bool headless) {
    TSupervisorOptions options;
    options.Headless = headless;
    options.PortDevice = port;
    options.Arguments = {"orvanel"};
    if (headless) options.Arguments.push_back("--headless");
    options.CheckSingleInstance = false;
    options.StartAutomationServer = false;
    options.WatchSuspend = false;
    if (healingMs_ > 0) {
        options.StartupRetryMs = healingMs_;
        options.ReopenMs = healingMs_;
    }
    supervisor_ = std::make_unique<Supervisor>(options);
    Supervisor* s = supervisor_.get();
    QObject::connect(s, &Supervisor::startupFinished, [this](bool ok) { startup_ = ok ? 1 : -1; });
    QObject::connect(s, &Supervisor::weatherReadingProcessed, [this] { ++readings_; });
    QObject::connect(s, &Supervisor::rearmFinished, [this] { ++rearms_; });
    QObject::connect(s, &Supervisor::soundRequested, [this](const QString& f) { sounds_.push_back(f.toStdString()); });
    QObject::connect(s, &Supervisor::programStarted, [this](const QString&) { ++programs_; });
    QObject::connect(s, &Supervisor::messageBox, [this](const QString& t) { messages_.push_back(t.toStdString()); });
}

void SupervisedStationTest::StartAndWait() {
    ASSERT_TRUE(supervisor_->Start());
    ASSERT_TRUE(WaitUntil([this] { return startup_ != 0; }));
}

void SupervisedStationTest::WeatherReading() {
    const int before = readings_;
    for (uint32_t i = 0; i < SetupInfos.InterValQuickPoolSec; ++i)
        supervisor_->TimerMainTimer();
    ASSERT_TRUE(WaitUntil([&] { return readings_ > before; }));
}

void SupervisedStationTest::LightReading() {
    const TDateTime before = LightPrevDate;
    for (uint32_t i = 0; i < SetupInfos.InterValLightPoolSec; ++i)
        supervisor_->TimerLightTimer();
    ASSERT_TRUE(WaitUntil([&] { return LightPrevDate != before && ComThreadCount == 0; }));
}

void SupervisedStationTest::WeatherReadings(int count) {
    for (int i = 0; i < count; ++i) {
        Advance(2);
        ASSERT_NO_FATAL_FAILURE(WeatherReading());
    }
}

void SupervisedStationTest::ReadingsUntilConditionsKnown() {
    ASSERT_NO_FATAL_FAILURE(LightReading());
    Advance(10);
    ASSERT_NO_FATAL_FAILURE(LightReading());
    ASSERT_NO_FATAL_FAILURE(WeatherReadings(5));
}

halvex::sim::StationOptions ClearDarkWithAShower() {
    halvex::sim::StationOptions options;
    options.Scenario = halvex::sim::ParseScenario(
        "sky=-25@0-1000,rh=50@0-1000,wind=3@0-1000,mag=19@0-1000,dry@0-1,rain@1-2,dry@2-1000");
    return options;
}

std::map<std::string, double> InfoDataNumbers() {
    std::map<std::string, double> values;
    for (const std::string& line : SplitLines(ReadWholeFile(PathDatas + InfoDataFileName))) {
        const auto eq = line.find(" = ");
        if (eq == std::string::npos) continue;
        std::string name = line.substr(0, eq);
        name.erase(name.find_last_not_of(' ') + 1);
        try {
            values[name] = std::stod(line.substr(eq + 3));
        } catch (const std::exception&) {
            values[name] = line.substr(eq + 3) == "Yes" ? 1 : 0;
        }
    }
    return values;
}

int SupervisedStationTest::CountOrders(uint8_t code) const {
    int n = 0;
    for (const auto& order : station_->ReceivedOrders())
        if (!order.empty() && order[0] == code) ++n;
    return n;
}

size_t SupervisedStationTest::SavedRecords(int months) {
    THistoryStore store(PathDatas);
    store.Load(months);
    return store.Size();
}
