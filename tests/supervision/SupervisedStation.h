// The controller against the simulated station: a Supervisor polling a HalvexStation on a real
// pseudo-terminal, the cycle driven by calling its timer events (no waiting for real periods) and the
// PC's clock moving with the station's. Shared by the controller's tests and the window's.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "DateTime.h"
#include "HalvexStation.h"
#include "StationTestSupport.h"
#include "Supervisor.h"

inline constexpr TDateTime BaseClock = 46365.5; // 09/12/2026 12:00:00

// Runs the event loop until the condition holds; false when it never did.
bool WaitUntil(const std::function<bool()>& condition, int maxMs = 15000);

// Clear, dry, calm and dark, with a shower in the second minute.
halvex::sim::StationOptions ClearDarkWithAShower();

// The numbers of the "name = value" lines of infodata.txt; "Yes"/"No" as 1/0.
std::map<std::string, double> InfoDataNumbers();

class SupervisedStationTest : public StationSandbox {
  protected:
    void SetUp() override;
    void TearDown() override;

    // The station at BaseClock; its time moves only with Advance.
    void StartStation(halvex::sim::StationOptions options);
    // Moves the station's model time and the PC's clock together.
    void Advance(double seconds);
    // headless: as `orvanel --headless` (messages also on standard error); otherwise as with a window.
    void CreateSupervisor(const std::string& port, bool headless = true);
    void StartAndWait();
    // One weather reading: the timer ticks until the interval is reached, then the reading ends.
    void WeatherReading();
    void LightReading();
    // `count` weather readings, two seconds apart.
    void WeatherReadings(int count);
    // Two light readings and the five weather readings the sky median needs: every condition known.
    void ReadingsUntilConditionsKnown();
    int CountOrders(uint8_t code) const;
    // Records of the month files of the last `months` months, read as the next start would.
    static size_t SavedRecords(int months);
    size_t HistorySize() const { return supervisor_->History().Size(); }

    // Pauses of the link healing (start-up retry, port reopening); 0 keeps the program's.
    int healingMs_ = 0;
    // Read by the clock from every thread (log lines of the station threads).
    std::atomic<double> modelSeconds_{0};
    std::unique_ptr<halvex::sim::HalvexStation> station_;
    std::unique_ptr<Supervisor> supervisor_;
    int startup_ = 0, readings_ = 0, rearms_ = 0, programs_ = 0;
    std::vector<std::string> sounds_, messages_;
};
