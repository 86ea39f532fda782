#include "SimulatedStation.h"

#include <filesystem>

void SimulatedStationTest::TearDown() {
    com_.CloseCom();
    if (station_) station_->Stop();
    StationSandbox::TearDown();
}

void SimulatedStationTest::StartStation(halvex::sim::StationOptions options) {
    options.Speed = 0;
    if (options.StartClock == 0) options.StartClock = StartClock;
    SetClockForTests([] { return StartClock; });
    if (station_) station_->Stop();
    com_.CloseCom();
    station_ = std::make_unique<halvex::sim::HalvexStation>(options);
    station_->Start();
    com_.OpenDevice(station_->DevicePath(), false);
    // Each test reads the log from its own first exchange.
    std::filesystem::remove(PathLogs + LogFileNameFor(StartClock));
}

std::vector<uint8_t> SimulatedStationTest::OrderCodes() const {
    std::vector<uint8_t> codes;
    for (const auto& order : station_->ReceivedOrders())
        codes.push_back(order.at(0));
    return codes;
}
