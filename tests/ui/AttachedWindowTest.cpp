// The window attached to a real controller, the simulated station on a pseudo-terminal, the cycle
// driven by calling the timer events.
#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <QAction>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMenu>
#include <QThread>

#include "HalvexStation.h"
#include "MainWindow.h"
#include "QtHooks.h"
#include "StationTestSupport.h"
#include "Supervisor.h"

namespace {

using namespace halvex::sim;

constexpr TDateTime BaseClock = 46365.5;

bool WaitUntil(const std::function<bool()>& condition, int maxMs = 15000) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (!condition()) {
        if (elapsed.elapsed() > maxMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}

class AttachedWindowTest : public StationSandbox {
  protected:
    void SetUp() override {
        StationSandbox::SetUp();
        InstallQtHooks(true);
        SetClockForTests([] { return BaseClock; });
        StationOptions options;
        options.Speed = 0;
        options.StartClock = BaseClock;
        options.PrefillRecords = 40;
        station_ = std::make_unique<HalvexStation>(options);
        station_->Start();
        TSupervisorOptions so;
        so.Headless = true;
        so.PortDevice = station_->DevicePath();
        so.Arguments = {"orvanel"};
        so.CheckSingleInstance = false;
        so.StartAutomationServer = false;
        so.WatchSuspend = false;
        supervisor_ = std::make_unique<Supervisor>(so);
        window_ = std::make_unique<MainWindow>();
        window_->Attach(*supervisor_);
        QObject::connect(supervisor_.get(), &Supervisor::startupFinished, [this](bool) { started_ = true; });
        QObject::connect(supervisor_.get(), &Supervisor::weatherReadingProcessed, [this] { ++readings_; });
    }
    void TearDown() override {
        window_.reset();
        supervisor_.reset();
        station_->Stop();
        SetClockForTests({});
        StationSandbox::TearDown();
    }

    std::unique_ptr<HalvexStation> station_;
    std::unique_ptr<Supervisor> supervisor_;
    std::unique_ptr<MainWindow> window_;
    bool started_ = false;
    int readings_ = 0;
};

TEST_F(AttachedWindowTest, ShowsTheControllersTextsAndClosesThroughIt) {
    ASSERT_TRUE(supervisor_->Start());
    ASSERT_TRUE(WaitUntil([this] { return started_; }));
    for (uint32_t i = 0; i < SetupInfos.InterValQuickPoolSec; ++i)
        supervisor_->TimerMainTimer();
    ASSERT_TRUE(WaitUntil([this] { return readings_ > 0; }));

    for (int panel = 0; panel < 3; ++panel)
        EXPECT_EQ(window_->StatusBarText(panel).toStdString(), supervisor_->StatusBarPanels()[size_t(panel)]);
    EXPECT_EQ(window_->windowTitle().toStdString(), supervisor_->Caption());

    QAction* close = nullptr;
    for (QAction* a : window_->TrayMenu()->actions())
        if (a->text() == "Fermer") close = a;
    ASSERT_NE(close, nullptr);
    close->trigger();
    EXPECT_TRUE(WaitUntil([this] { return supervisor_->Closed(); }));
}

TEST_F(AttachedWindowTest, FollowsTheMemoryDownload) {
    // The fixture's station holds 40 records; this one 250.
    window_.reset();
    supervisor_.reset();
    station_->Stop();
    StationOptions options;
    options.Speed = 0;
    options.StartClock = BaseClock;
    options.PrefillRecords = 250;
    station_ = std::make_unique<HalvexStation>(options);
    station_->Start();
    TSupervisorOptions so;
    so.PortDevice = station_->DevicePath();
    so.Arguments = {"orvanel"};
    so.CheckSingleInstance = false;
    so.StartAutomationServer = false;
    so.WatchSuspend = false;
    supervisor_ = std::make_unique<Supervisor>(so);
    window_ = std::make_unique<MainWindow>();
    window_->Attach(*supervisor_);
    std::vector<std::string> texts;
    QObject::connect(supervisor_.get(), &Supervisor::downloadProgressChanged,
                     [this, &texts] { texts.push_back(window_->StatusBarText(2).toStdString()); });
    QObject::connect(supervisor_.get(), &Supervisor::startupFinished, [this](bool) { started_ = true; });

    ASSERT_TRUE(supervisor_->Start());
    ASSERT_TRUE(WaitUntil([this] { return started_; }));
    ASSERT_FALSE(texts.empty());
    EXPECT_NE(std::find(texts.begin(), texts.end(), "Récupère les donnée(s) EEPROM Halvex : 10/250"), texts.end());
    EXPECT_EQ(window_->StatusBarText(2).toStdString(), "A récupéré 250 donnée(s) EEPROM Halvex");
}

} // namespace
