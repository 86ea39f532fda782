// A sandbox with the simulated station served on a real pseudo-terminal and the serial object open on it.
#pragma once

#include <memory>

#include "HalvexStation.h"
#include "StationTestSupport.h"

class SimulatedStationTest : public StationSandbox {
  protected:
    // The station's clock and the PC's clock both read this moment (model time frozen).
    static constexpr TDateTime StartClock = 46365.5; // 09/12/2026 12:00:00

    void TearDown() override;
    void StartStation(halvex::sim::StationOptions options = {});
    // Codes of the orders the station has received, oldest first.
    std::vector<uint8_t> OrderCodes() const;

    std::unique_ptr<halvex::sim::HalvexStation> station_;
    TComObjRs232 com_;
    RecordingListener listener_;
};
