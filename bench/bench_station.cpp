// Memory download of a full station ring (7710 records) over a real pseudo-terminal, against the
// simulated station answering at full speed and at the byte pace of a 115200-baud line.
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/prctl.h>

#include "ComObjRs232.h"
#include "HalvexStation.h"
#include "Records.h"
#include "ThreadCommunicate.h"

namespace {

// Counts the records a download hands over (on the worker; read after the thread has ended).
struct TCountingListener : TComListener {
    size_t Received = 0;
    void ComEepromRecords(std::vector<TcapteursInfos> records) override { Received += records.size(); }
};

// Data and log folders in a private temporary folder, removed at the end.
class BenchFolders {
  public:
    BenchFolders() {
        std::string pattern = (std::filesystem::temp_directory_path() / "orvanel-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data())) root_ = pattern + "/";
        PathDatas = root_ + "Datas/";
        PathLogs = root_ + "Logs/";
        std::filesystem::create_directories(PathDatas);
        std::filesystem::create_directories(PathLogs);
    }
    ~BenchFolders() {
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }

  private:
    std::string root_;
};

void DownloadFullRing(benchmark::State& state, bool lineTiming) {
    BenchFolders folders;
    InitStartValues();
    // A UART hands each byte over when it has arrived; the default 50-us timer slack of a sleeping
    // thread would add to every paced byte of the simulated line. Threads started below inherit it.
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    halvex::sim::StationOptions options;
    options.Speed = 0;          // no new records while the download runs
    options.PrefillRecords = 0; // P = 0, W = 1: the whole ring, records 1 to 7710
    options.PrefillWraps = 1;
    options.Faults.LineTiming = lineTiming;
    halvex::sim::HalvexStation station(options);
    station.Start();
    TComObjRs232 com;
    com.OpenDevice(station.DevicePath(), false);

    TCountingListener listener;
    for (auto _ : state) {
        listener.Received = 0;
        TThread_Communicate thread({TCom_DownLoadData}, &listener, &com, false);
        thread.Start();
        thread.WaitFor();
        if (!thread.ErrorText().empty()) {
            state.SkipWithError(thread.ErrorText().c_str());
            break;
        }
        if (listener.Received != halvex::RingRecords) {
            state.SkipWithError("incomplete download");
            break;
        }
    }
    state.counters["records_per_s"] =
        benchmark::Counter(halvex::RingRecords, benchmark::Counter::kIsIterationInvariantRate);
    com.CloseCom();
    station.Stop();
}

void BM_DownloadFullRing_FullSpeed(benchmark::State& state) {
    DownloadFullRing(state, false);
}
void BM_DownloadFullRing_115200Baud(benchmark::State& state) {
    DownloadFullRing(state, true);
}

} // namespace

BENCHMARK(BM_DownloadFullRing_FullSpeed)->Unit(benchmark::kSecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_DownloadFullRing_115200Baud)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
