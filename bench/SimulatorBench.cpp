// How fast the simulated station serves a full memory ring (7710 record reads) to a bare frame
// client over its pseudo-terminal: at full speed, and with the byte timing of a 115200-baud line.
// The PC's own download (with its link classes) is measured beside it.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>

#include "HalvexStation.h"
#include "Protocol.h"

namespace {

class BareClient {
  public:
    explicit BareClient(const std::string& device) : fd_(::open(device.c_str(), O_RDWR | O_NOCTTY)) {
        if (fd_ < 0) throw std::runtime_error("cannot open " + device);
        termios tio{};
        ::tcgetattr(fd_, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(fd_, TCSANOW, &tio);
    }
    ~BareClient() { ::close(fd_); }

    // One exchange; false when the answer is not whole within a second.
    bool Exchange(const halvex::TArrayByte& order) {
        const halvex::TArrayByte frame = halvex::BuildOrderFrame(order);
        if (::write(fd_, frame.data(), frame.size()) != static_cast<ssize_t>(frame.size())) return false;
        uint8_t buffer[64];
        std::size_t got = 0;
        while (got < 2 || got < std::size_t{buffer[1]} + 2) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 1000) <= 0) return false;
            const ssize_t n = ::read(fd_, buffer + got, sizeof buffer - got);
            if (n <= 0) return false;
            got += static_cast<std::size_t>(n);
        }
        return true;
    }

  private:
    int fd_;
};

void RingDownload(benchmark::State& state, bool lineTiming) {
    halvex::sim::StationOptions options;
    options.Speed = 0;
    options.PrefillRecords = 10;
    options.PrefillWraps = 1;
    options.Faults.LineTiming = lineTiming;
    halvex::sim::HalvexStation station(options);
    station.Start();
    BareClient client(station.DevicePath());
    int64_t records = 0;
    for (auto _ : state) {
        for (uint32_t k = 1; k <= halvex::RingRecords; ++k) {
            if (!client.Exchange(halvex::ReadRecordOrder(k))) {
                state.SkipWithError("record not answered");
                return;
            }
        }
        records += halvex::RingRecords;
    }
    state.counters["records_per_s"] =
        benchmark::Counter(static_cast<double>(records), benchmark::Counter::kIsRate);
}

void BM_SimulatorRingFullSpeed(benchmark::State& state) {
    RingDownload(state, false);
}
void BM_SimulatorRing115200Baud(benchmark::State& state) {
    RingDownload(state, true);
}

} // namespace

BENCHMARK(BM_SimulatorRingFullSpeed)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_SimulatorRing115200Baud)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
