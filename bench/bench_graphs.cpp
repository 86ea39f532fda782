// Drawing speed of the plots and the dial over a history of a million records, one every 20 s, all
// displayable, at the usual plot size 815 x 525, and the publishing snapshots of an FTP tick. Each goal
// is a ratio to the time cat needs to read the 74 MB of a million records from the page cache in the
// same run.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <QApplication>
#include <stdexcept>
#include <string>

#include "CatAnchor.h"
#include "GraphicSpecial.h"
#include "GraphTabs.h"
#include "HistoryStore.h"
#include "MainWindow.h"
#include "Records.h"
#include "SettingsTable.h"
#include "Supervisor.h"
#include "WindDisplay.h"

namespace {

namespace fs = std::filesystem;

constexpr size_t kRecords = 1000000;

class GraphsFixture {
  public:
    GraphsFixture() {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        static int argc = 1;
        static char name[] = "orvanel-bench";
        static char* argv[] = {name, nullptr};
        // Widgets too: the publishing snapshots render the window's information tab.
        if (!QApplication::instance()) app_ = std::make_unique<QApplication>(argc, argv);

        std::string pattern = "/tmp/orvanel-bench-graphs-XXXXXX";
        if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        root_ = pattern + "/";
        PathLogs = root_ + "Logs/";
        PathDatas = root_ + "Datas/";
        PathJpeg = root_ + "Jpeg/";
        fs::create_directories(PathLogs);
        fs::create_directories(PathJpeg);
        // The settings of the window and its controller stay in the temporary folder.
        ::setenv("HOME", root_.c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (root_ + "config").c_str(), 1);
        ::setenv("XDG_RUNTIME_DIR", root_.c_str(), 1);
        const TDateTime first = EncodeDateTime(2024, 1, 1);
        last_ = first + static_cast<double>(kRecords - 1) * 20 / 86400;
        SetClockForTests([this] { return last_ + 1.0 / 1440; });
        TTDataStation data(kRecords);
        for (size_t i = 0; i < kRecords; ++i) {
            const double t = static_cast<double>(i);
            TcapteursInfos& r = data[i];
            r.DateSysteme = first + t * 20 / 86400;
            r.DeltaTempDeg =
                static_cast<float>(-25 + 15 * std::sin(t / 4000) + static_cast<double>(i % 7) * 0.5);
            r.ValueSkyDeg = r.DeltaTempDeg - 8;
            r.ValueTempDeg = static_cast<float>(8 + 10 * std::sin(t / 4320));
            r.DewPoint = r.ValueTempDeg - 4;
            r.Humidity = static_cast<float>(60 + 30 * std::sin(t / 3000));
            r.RainStatus = (i / 1000) % 9 == 0;
            r.ValidLight = 1;
            r.Lumex = 2 + 2 * std::sin(t / 4320);
            r.ValidWindGUST = 1;
            r.WindSpeedMax_ms = static_cast<float>(i % 13);
            r.DirSpeedMax_deg = static_cast<float>((i * 37) % 360);
            r.ValueSkyVolts = 2.0f;
            r.ValueCanVolts = 2.5f;
            r.PowerRainDet = static_cast<uint8_t>(i % 50);
            r.PowerVolts = 3.5f;
            r.ValueCanDeg = 1.0f;
            r.ValueTempFceDeg = 2.0f;
        }
        store_ = std::make_unique<THistoryStore>(root_ + "Datas/");
        store_->Append(data);
        data_ = std::move(data);
        setup_ = SetupInfos;
        setup_.RangeDateDisplay = 36500; // "toutes"
        setup_.Disp_Gap_Display = 0.05;
        setup_.SeuilCloudy = -15;
        setup_.SeuilVeryCloudy = -5;
        setup_.SeuilWindy_km = 20;
        setup_.SeuilVeryWindy_km = 40;
        setup_.SeuilDawn = 3;
    }
    ~GraphsFixture() {
        store_.reset();
        std::error_code ec;
        fs::remove_all(root_, ec);
    }

    std::unique_ptr<TGraphicSpecial> Plot(TTypeDataGraph type, int width, int height, double minY,
                                          double maxY) {
        auto plot = std::make_unique<TGraphicSpecial>(*store_, setup_);
        plot->TypeData = type;
        plot->SetSize(width, height);
        plot->Tg = {minY, maxY, store_->Records().front().DateSysteme, last_, 0, 0};
        return plot;
    }
    std::unique_ptr<TWindDisplay> Dial(int side) {
        auto dial = std::make_unique<TWindDisplay>(*store_, setup_);
        dial->SetSize(side, side);
        dial->Autoscale = true;
        dial->DisplayGUST = true;
        return dial;
    }
    TSetupInfos& Setup() { return setup_; }
    const TTDataStation& Data() const { return data_; }

  private:
    std::unique_ptr<QApplication> app_;
    std::string root_;
    TDateTime last_ = 0;
    std::unique_ptr<THistoryStore> store_;
    TTDataStation data_;
    TSetupInfos setup_;
};

GraphsFixture& Fixture() {
    static GraphsFixture fixture;
    return fixture;
}

void PlotDisplay(benchmark::State& state, double gap, double goal) {
    auto& fixture = Fixture();
    fixture.Setup().Disp_Gap_Display = gap;
    auto plot = fixture.Plot(IRData_Minus_Sol, 815, 525, -50, 10);
    const TLoopClock timing;
    for (auto _ : state) {
        plot->Display();
        benchmark::DoNotOptimize(plot->Picture().constBits());
    }
    ReportAgainstCat(state, timing.SecondsPerIteration(state), goal);
    state.counters["step"] = plot->LastStep();
    fixture.Setup().Disp_Gap_Display = 0.05;
}

void BM_PlotDisplay_1M(benchmark::State& state) {
    PlotDisplay(state, 0.05, 2);
}
BENCHMARK(BM_PlotDisplay_1M)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PlotDisplay_1M_EveryRecord(benchmark::State& state) {
    PlotDisplay(state, 0.0001, 20);
}
BENCHMARK(BM_PlotDisplay_1M_EveryRecord)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_WindDial_1M(benchmark::State& state) {
    auto dial = Fixture().Dial(400);
    const TLoopClock timing;
    for (auto _ : state) {
        dial->Display();
        benchmark::DoNotOptimize(dial->Picture().constBits());
    }
    ReportAgainstCat(state, timing.SecondsPerIteration(state), 1);
}
BENCHMARK(BM_WindDial_1M)->Unit(benchmark::kMillisecond)->UseRealTime();

// One reading in debug mode: the seven plots at their size in the window and the dial.
void BM_RedrawAllGraphs_1M(benchmark::State& state) {
    auto& f = Fixture();
    const bool debug = DebugMode;
    DebugMode = true;
    std::unique_ptr<TGraphicSpecial> plots[] = {f.Plot(IRData_Minus_Sol, 845, 468, -50, 10),
                                                f.Plot(Lighdata, 845, 496, -3, 6),
                                                f.Plot(WinData, 440, 430, 0, 100),
                                                f.Plot(MoistureData, 845, 496, 0, 100),
                                                f.Plot(TempData, 845, 468, -10, 40),
                                                f.Plot(VoltsData, 845, 468, 0, 5),
                                                f.Plot(HeatData, 845, 468, 0, 5)};
    auto dial = f.Dial(400);
    const TLoopClock timing;
    for (auto _ : state) {
        for (auto& plot : plots)
            plot->Display();
        dial->Display();
        benchmark::DoNotOptimize(dial->Picture().constBits());
    }
    DebugMode = debug;
    ReportAgainstCat(state, timing.SecondsPerIteration(state), 10);
}
BENCHMARK(BM_RedrawAllGraphs_1M)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

namespace {

// An FTP tick's rendering: the seven publishing pictures at the default web sizes (815 x 525 plots,
// 575 x 450 wind plot, 465 dial), quality 100, JPEG encoding and file writing included. The window's
// plots show the whole history (Montrer dernier(es) année), so every copy draws the million records.
void BM_PublishSnapshots_1M(benchmark::State& state) {
    auto& f = Fixture();
    TStartupSettings startup;
    ReadStartupSettings(startup); // the defaults: no settings file
    SetupInfos.RangeDateDisplay = 36500;
    SetupInfos.Disp_Gap_Display = 0.05;
    TSupervisorOptions options;
    options.CheckSingleInstance = false;
    options.StartAutomationServer = false;
    options.WatchSuspend = false;
    Supervisor supervisor(options);
    supervisor.EditableHistory().Append(f.Data());
    MainWindow window(supervisor, nullptr, TWindowPlace::OffScreen);
    window.Graphs()->ShowLastPeriod(400);
    const TLoopClock timing;
    for (auto _ : state)
        window.SavePublishSnapshots(100);
    size_t bytes = 0;
    for (const auto& entry : fs::directory_iterator(PathJpeg))
        bytes += entry.file_size();
    state.counters["files"] = static_cast<double>(std::distance(fs::directory_iterator(PathJpeg), {}));
    state.counters["kB"] = static_cast<double>(bytes) / 1e3;
    ReportAgainstCat(state, timing.SecondsPerIteration(state), 20);
}
BENCHMARK(BM_PublishSnapshots_1M)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
