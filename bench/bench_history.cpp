// History file speed: loading a million records (74 MB) of month files from the page cache (goal:
// at most 2 x the time cat needs to read the same files in the same run), and the save of two changed
// months with every file flushed to disk. The read model: the smallest and largest
// plotted value of each of 1000 pixel columns, over the whole history and over its last day.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "CatAnchor.h"
#include "HistoryStore.h"
#include "Records.h"

namespace {

namespace fs = std::filesystem;

constexpr size_t kRecords = 1000000;
constexpr int kMonths = 22; // January 2013 to October 2014, about 45,000 records a month

// Month files of a million records in a folder on a real disk (/var/tmp, not a RAM file system, so
// that the flush of the save reaches the disk), removed at exit.
class HistoryFixture {
  public:
    HistoryFixture() {
        std::string pattern = "/var/tmp/orvanel-bench-XXXXXX";
        if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        root_ = pattern + "/";
        folder_ = root_ + "Datas/";
        PathExe = root_ + "exe/";
        PathLogs = root_ + "Logs/";
        fs::create_directories(PathExe);
        fs::create_directories(PathLogs);
        SetClockForTests([] { return EncodeDateTime(2014, 10, 31, 23, 0); });

        const TDateTime first = EncodeDateTime(2013, 1, 1);
        const TDateTime step = (EncodeDateTime(2014, 10, 31) - first) / kRecords;
        data_.resize(kRecords);
        for (size_t i = 0; i < kRecords; ++i) {
            TcapteursInfos& r = data_[i];
            r.DateSysteme = first + static_cast<double>(i) * step;
            r.ValueSkyDeg = -20.0f + static_cast<float>(i % 100) / 10.0f;
            r.LightValueAbs = static_cast<uint32_t>(i);
            r.Lumex = 2.5 + static_cast<double>(i % 37) / 20.0;
            r.ValidLight = i % 10 != 0;
        }
        THistoryStore store(folder_);
        store.Append(data_);
        store.SaveChanged();
        for (const auto& entry : fs::directory_iterator(folder_))
            if (entry.path().extension() == ".bin") {
                loadBytes_ += entry.file_size();
                files_.push_back(entry.path().string());
            }
        std::sort(files_.begin(), files_.end());
        const TDateTime september = EncodeDateTime(2014, 9, 1);
        for (const auto& r : data_)
            if (r.DateSysteme >= september) ++twoMonthRecords_;
    }
    ~HistoryFixture() {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }

    const std::string& Folder() const { return folder_; }
    const TTDataStation& Data() const { return data_; }
    size_t LoadBytes() const { return loadBytes_; }
    size_t TwoMonthRecords() const { return twoMonthRecords_; }
    const std::vector<std::string>& Files() const { return files_; }

  private:
    std::string root_, folder_;
    std::vector<std::string> files_;
    TTDataStation data_;
    size_t loadBytes_ = 0;
    size_t twoMonthRecords_ = 0;
};

HistoryFixture& Fixture() {
    static HistoryFixture fixture;
    return fixture;
}

} // namespace

const std::vector<std::string>& HistoryBenchFiles() {
    return Fixture().Files();
}

namespace {

// The anchor itself, shown beside the load.
void BM_CatMillionRecords(benchmark::State& state) {
    for (auto _ : state)
        state.SetIterationTime(CatAnchorSeconds());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Fixture().LoadBytes()));
    state.SetLabel("cat of the month files to /dev/null, page cache (median of 15 runs)");
}
BENCHMARK(BM_CatMillionRecords)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

void BM_HistoryLoadMillionRecords(benchmark::State& state) {
    auto& fixture = Fixture();
    std::chrono::duration<double> loading{0};
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        THistoryStore store(fixture.Folder());
        store.Load(kMonths);
        benchmark::DoNotOptimize(store.Records().data());
        loading += std::chrono::steady_clock::now() - start;
        if (store.Size() != kRecords) state.SkipWithError("wrong record count");
        state.PauseTiming();
        store.Clear();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * fixture.LoadBytes()));
    state.counters["records"] = static_cast<double>(kRecords);
    state.counters["MB"] = static_cast<double>(fixture.LoadBytes()) / 1e6;
    ReportAgainstCat(state, loading.count() / static_cast<double>(state.iterations()), 2, "page cache");
}
BENCHMARK(BM_HistoryLoadMillionRecords)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

void BM_HistorySaveTwoMonthsFlushed(benchmark::State& state) {
    auto& fixture = Fixture();
    THistoryStore store(fixture.Folder());
    store.Load(2);
    for (auto _ : state) {
        store.MarkAllChanged();
        store.SaveChanged();
    }
    const size_t bytes = fixture.TwoMonthRecords() * sizeof(TcapteursInfos) + 2 * 8;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
    state.counters["records"] = static_cast<double>(fixture.TwoMonthRecords());
    state.SetLabel("goal: 100 ms or less, fsync included");
}
BENCHMARK(BM_HistorySaveTwoMonthsFlushed)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

// The history loaded once, for the read model.
const THistoryStore& LoadedStore() {
    static const THistoryStore store = [] {
        THistoryStore s(Fixture().Folder());
        s.Load(kMonths);
        return s;
    }();
    return store;
}

constexpr int kColumns = 1000;

// range(0): 0 whole history, 1 its last day; range(1): the quantity.
void BM_HistoryMinMaxPerColumn(benchmark::State& state) {
    const THistoryStore& store = LoadedStore();
    if (store.Size() != kRecords) state.SkipWithError("wrong record count");
    const TDateTime to = store.Records().back().DateSysteme + 1e-6;
    const TDateTime from = state.range(0) == 0 ? store.Records().front().DateSysteme : to - 1;
    const auto quantity = static_cast<TPlottedQuantity>(state.range(1));
    const TPlotOptions options{.MagniDisplay = true};
    size_t valid = 0;
    for (auto _ : state) {
        const auto columns = store.MinMaxPerColumn(quantity, from, to, kColumns, options);
        benchmark::DoNotOptimize(columns.data());
        valid = static_cast<size_t>(
            std::count_if(columns.begin(), columns.end(), [](auto& c) { return c.Valid; }));
    }
    const size_t records = store.Size() - store.LowerBound(from);
    state.counters["records"] = static_cast<double>(records);
    state.counters["valid_columns"] = static_cast<double>(valid);
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * records));
    state.SetLabel(state.range(0) == 0 ? "whole history, goal: a few ms" : "last day");
}
BENCHMARK(BM_HistoryMinMaxPerColumn)
    ->ArgNames({"day", "quantity"})
    ->Args({0, static_cast<int>(TPlottedQuantity::IRData)})
    ->Args({0, static_cast<int>(TPlottedQuantity::Lighdata)})
    ->Args({1, static_cast<int>(TPlottedQuantity::IRData)})
    ->Args({1, static_cast<int>(TPlottedQuantity::Lighdata)})
    ->Unit(benchmark::kMillisecond);

} // namespace
