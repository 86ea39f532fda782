// Data tools over a million records in range, against the time cat needs to read the 74 MB of a
// million records from the page cache in the same run: the statistics (goal: at most 5 × cat), the
// CSV export to a file (at most 100 ×), and the data table rebuilt with its first screen of rows (at
// most 2 ×).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "CsvExport.h"
#include "DataTable.h"
#include "CatAnchor.h"
#include "HistoryStore.h"
#include "Records.h"
#include "Statistics.h"

namespace {

namespace fs = std::filesystem;

constexpr size_t kRecords = 1000000;

// A million records over 22 months, with clear and cloudy spells, night and day, rain and gusts, held
// by a store whose folder is empty (nothing is read or written).
class DataToolsFixture {
  public:
    DataToolsFixture() {
        std::string pattern = "/var/tmp/orvanel-bench-datatools-XXXXXX";
        if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        root_ = pattern + "/";
        fs::create_directories(root_ + "Datas/");
        store_ = std::make_unique<THistoryStore>(root_ + "Datas/");
        const TDateTime first = EncodeDateTime(2013, 1, 1);
        const TDateTime step = (EncodeDateTime(2014, 10, 31) - first) / kRecords;
        TTDataStation data(kRecords);
        for (size_t i = 0; i < kRecords; ++i) {
            TcapteursInfos& r = data[i];
            r.DateSysteme = first + static_cast<double>(i) * step;
            r.ValueTempDeg = static_cast<float>(i % 300) / 10.0f;
            r.ValueSkyDeg = -20.0f + static_cast<float>(i % 100) / 10.0f;
            r.DeltaTempDeg = (i / 500) % 3 == 0 ? -5.0f : -25.0f;
            r.Humidity = static_cast<float>(30 + i % 70);
            r.RainStatus = static_cast<uint8_t>(i % 1000 < 20);
            r.ValidWindGUST = i % 7 != 0;
            r.WindSpeedMax_ms = static_cast<float>(i % 23) / 2.0f;
            r.DirSpeedMax_deg = static_cast<float>(i % 360);
            r.Lumex = (i / 2000) % 2 ? 2.0 : -2.0;
            r.ValidLight = i % 10 != 0;
        }
        store_->Append(data);
    }
    ~DataToolsFixture() {
        store_.reset();
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    const THistoryStore& Store() const { return *store_; }
    const std::string& Root() const { return root_; }

  private:
    std::string root_;
    std::unique_ptr<THistoryStore> store_;
};

DataToolsFixture& Fixture() {
    static DataToolsFixture fixture;
    return fixture;
}

void BM_Statistics_1M(benchmark::State& state) {
    const THistoryStore& store = Fixture().Store();
    if (store.Size() != kRecords) state.SkipWithError("wrong record count");
    const TDateTime from = store.Records().front().DateSysteme, to = store.Records().back().DateSysteme;
    const TLoopClock timing;
    for (auto _ : state) {
        const StatsResult s = ComputeStatistics(store.Records(), from, to, -20, 14);
        benchmark::DoNotOptimize(s.ClearBlocks);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kRecords));
    ReportAgainstCat(state, timing.SecondsPerIteration(state), 5);
}
BENCHMARK(BM_Statistics_1M)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);

void BM_CsvExport_1M(benchmark::State& state) {
    const THistoryStore& store = Fixture().Store();
    const std::string path = Fixture().Root() + "export.csv";
    TSetupInfos setup;
    size_t lines = 0, bytes = 0;
    const TLoopClock timing;
    for (auto _ : state) {
        const TCsvExportResult result = ExportCsvFile(path, store.Records(), setup);
        if (!result.Succeeded()) state.SkipWithError(result.Text.c_str());
        lines = result.Lines;
    }
    bytes = fs::file_size(path);
    state.counters["lines"] = static_cast<double>(lines);
    state.counters["MB"] = static_cast<double>(bytes) / 1e6;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
    ReportAgainstCat(state, timing.SecondsPerIteration(state), 100);
}
BENCHMARK(BM_CsvExport_1M)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);

// The table rebuilt over the whole history as recent, and the rows of its first screen made.
void BM_TableRebuild_1M(benchmark::State& state) {
    const THistoryStore& store = Fixture().Store();
    TDataTableOptions options;
    options.RangeDateDisplay = 10000;
    constexpr size_t kScreenRows = 40;
    const TLoopClock timing;
    for (auto _ : state) {
        const TDataTableWindow window(store, options);
        const TDataTableRow titles = DataTableTitles(options);
        benchmark::DoNotOptimize(titles.data());
        for (size_t row = 0; row < kScreenRows && row < window.Rows(); ++row) {
            const size_t index = window.RecordIndex(row);
            const TDataTableRow texts = DataTableRowTexts(store.Records()[index], index + 1, options);
            benchmark::DoNotOptimize(texts.data());
        }
        if (window.Rows() != DataTableMaxRows) state.SkipWithError("the table should be limited");
    }
    ReportAgainstCat(state, timing.SecondsPerIteration(state), 2);
}
BENCHMARK(BM_TableRebuild_1M)->Unit(benchmark::kMicrosecond)->UseRealTime();

} // namespace
