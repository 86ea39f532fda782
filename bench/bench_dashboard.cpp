// The web dashboard's answers over a million-record history: the history of one quantity at 1000
// columns, over the whole history (against `cat` reading the history's 74 MB of month files from the
// page cache, measured in the same run) and over its last day; and one reading sent to 50 browsers
// following the events, in memory and over real sockets.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include <arpa/inet.h>
#include <atomic>
#include <netinet/in.h>
#include <QCoreApplication>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include "AlpacaServer.h"
#include "CatAnchor.h"
#include "Dashboard.h"
#include "DashboardJson.h"
#include "DashboardServer.h"
#include "HistoryStore.h"

namespace {

namespace fs = std::filesystem;

constexpr size_t kRecords = 1000000;

class DashboardFixture {
  public:
    DashboardFixture() {
        std::string pattern = "/var/tmp/orvanel-bench-web-XXXXXX";
        if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        root_ = pattern + "/";
        PathLogs = root_;
        now_ = EncodeDateTime(2014, 10, 31, 23, 0);
        SetClockForTests([this] { return now_; });
        const TDateTime first = EncodeDateTime(2013, 1, 1);
        const TDateTime step = (EncodeDateTime(2014, 10, 31) - first) / kRecords;
        TTDataStation data(kRecords);
        for (size_t i = 0; i < kRecords; ++i) {
            TcapteursInfos& r = data[i];
            r.DateSysteme = first + static_cast<double>(i) * step;
            r.ValueSkyDeg = -20.0f + static_cast<float>(i % 100) / 10.0f;
            r.Lumex = 2.5 + static_cast<double>(i % 37) / 20.0;
            r.ValidLight = i % 10 != 0;
        }
        store_ = std::make_unique<THistoryStore>(root_);
        store_->Append(data);
    }
    ~DashboardFixture() {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    const THistoryStore& Store() const { return *store_; }
    TDateTime NowValue() const { return now_; }

  private:
    std::string root_;
    std::unique_ptr<THistoryStore> store_;
    TDateTime now_ = 0;
};

DashboardFixture& Fixture() {
    static DashboardFixture fixture;
    return fixture;
}

void RunHistory(benchmark::State& state, const THistoryQuery& query) {
    auto& f = Fixture();
    size_t bytes = 0;
    for (auto _ : state) {
        const std::string json = HistoryJson(query, f.Store(), f.NowValue());
        bytes = json.size();
        benchmark::DoNotOptimize(json.data());
    }
    state.counters["json_bytes"] = static_cast<double>(bytes);
}

// Goal: within 2 × cat of the history's 74 MB.
void BM_DashboardHistoryWholeMillion(benchmark::State& state) {
    const THistoryQuery q = ParseHistoryQuery({{"quantity", "sky"}, {"columns", "1000"}});
    const TLoopClock timing;
    RunHistory(state, q);
    ReportAgainstCat(state, timing.SecondsPerIteration(state), 2);
}
BENCHMARK(BM_DashboardHistoryWholeMillion)->Unit(benchmark::kMillisecond);

// Goal: under 1 ms.
void BM_DashboardHistoryLastDay(benchmark::State& state) {
    const TDateTime now = Fixture().NowValue();
    const THistoryQuery q = ParseHistoryQuery({{"quantity", "magnitude"},
                                               {"from", IsoUtcText(now - 1)},
                                               {"to", IsoUtcText(now)},
                                               {"columns", "1000"}});
    RunHistory(state, q);
}
BENCHMARK(BM_DashboardHistoryLastDay)->Unit(benchmark::kMicrosecond);

// One reading for 50 browsers: the main thread's part (the JSON made once, handed to each stream).
// Goal: under 1 ms per reading.
void BM_DashboardReadingToFiftyBrowsers(benchmark::State& state) {
    auto& f = Fixture();
    const TPublishedConditions published(Now());
    TDashboard dashboard(f.Store(), published, [] { return TRelayDisplay{}; });
    std::string error;
    dashboard.Start(error);
    std::vector<size_t> received(50);
    for (size_t& count : received)
        dashboard.Subscribe([&count](std::string_view chunk) {
            count += chunk.size();
            return true;
        });
    TcapteursInfos reading = f.Store().Records().back();
    TConditions conditions;
    for (auto _ : state) {
        reading.DateSysteme += 1.0 / 86400;
        dashboard.OnReading(reading, conditions);
    }
    state.counters["browsers"] = static_cast<double>(dashboard.SubscriberCount());
}
BENCHMARK(BM_DashboardReadingToFiftyBrowsers)->Unit(benchmark::kMicrosecond);

} // namespace

// The same over real sockets: 50 browsers on the loopback (read by a thread of their own, as other
// processes would), the main thread's part being the reading handed to the dashboard and the event
// loop writing the events out. Goal: under 1 ms per reading.
void BM_DashboardReadingToFiftySockets(benchmark::State& state) {
    static int argc = 1;
    static char name[] = "orvanel-bench";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app = QCoreApplication::instance() ? nullptr : new QCoreApplication(argc, argv);
    (void)app;
    auto& f = Fixture();
    TPublishedConditions published(Now());
    TAlpacaSettings settings;
    settings.Port = 0;
    settings.DiscoveryPort = 0;
    settings.UniqueIDObservingConditions = "bench-oc";
    settings.UniqueIDSafetyMonitor = "bench-sm";
    TAlpacaServer server(published, settings);
    TDashboardServer web(server, f.Store(), published, [] { return TRelayDisplay{}; });
    std::string error;
    if (!server.Start() || !web.Start(error)) {
        state.SkipWithError("no port");
        return;
    }
    const quint16 port = server.Port();
    std::atomic<bool> done{false};
    std::atomic<long long> received{0};
    std::vector<int> fds;
    for (int i = 0; i < 50; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            state.SkipWithError("connect failed");
            return;
        }
        const std::string request = "GET /api/events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
        (void)::write(fd, request.data(), request.size());
        fds.push_back(fd);
    }
    std::thread readers([&] {
        std::vector<char> buffer(1 << 16);
        while (!done) {
            for (const int fd : fds) {
                const ssize_t n = ::recv(fd, buffer.data(), buffer.size(), MSG_DONTWAIT);
                if (n > 0) received += n;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    for (int i = 0; i < 500 && web.Dashboard().SubscriberCount() < 50; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    TcapteursInfos reading = f.Store().Records().back();
    TConditions conditions;
    for (auto _ : state) {
        reading.DateSysteme += 1.0 / 86400;
        web.Dashboard().OnReading(reading, conditions);
        QCoreApplication::processEvents(); // the sockets write what was queued
    }
    state.counters["browsers"] = static_cast<double>(web.Dashboard().SubscriberCount());
    state.counters["received_MB"] = static_cast<double>(received) / 1e6;
    done = true;
    readers.join();
    for (const int fd : fds)
        ::close(fd);
    web.Stop();
    server.Stop();
}
BENCHMARK(BM_DashboardReadingToFiftySockets)->Unit(benchmark::kMicrosecond)->Iterations(2000);
