// The station memory is emptied when its clock is set: the controller sets it only once every record
// the memory held is stored and saved. Failed, stopped and repeated downloads against the simulated
// station, with the history read back from its month files.
#include <filesystem>
#include <gtest/gtest.h>

#include "HistoryStore.h"
#include "SupervisedStation.h"

using halvex::sim::FaultKind;
using halvex::sim::StationOptions;

namespace {

class StationMemoryTest : public SupervisedStationTest {
  protected:
    bool LogHasLineStarting(const std::string& prefix) const {
        for (const auto& line : LogTexts())
            if (line.rfind(prefix, 0) == 0) return true;
        return false;
    }
    int RecordOrders() const { return CountOrders(halvex::OrderReadRecord); }
};

} // namespace

// A record falls silent during the start-up download (a silent spell), then the observer closes the
// program: what arrived is saved, the clock is not set, the memory keeps everything. The next run
// downloads the whole memory again and stores each record exactly once.
TEST_F(StationMemoryTest, SilentSpellDuringTheDownloadThenCloseLosesNothing) {
    StationOptions options;
    options.PrefillRecords = 300;
    StartStation(options);
    station_->AddFault({halvex::OrderReadRecord, 150 * 17, 0, -1, FaultKind::Silence, 0});
    CreateSupervisor(station_->DevicePath());
    StartAndWait();
    EXPECT_EQ(startup_, -1);
    EXPECT_FALSE(supervisor_->StationMemoryStored());
    EXPECT_EQ(HistorySize(), 150u) << "records 1 to 150 stored";
    supervisor_->FormClose();
    EXPECT_EQ(CountOrders(halvex::OrderSetDate), 0) << "the station memory must not be emptied";
    EXPECT_EQ(station_->RecordPointer(), 300u * 17);
    EXPECT_TRUE(LogHasLine("Station clock not set : the station memory has not been stored completely"));
    EXPECT_EQ(SavedRecords(1), 150u);

    supervisor_.reset();
    station_->ClearFaults();
    startup_ = 0;
    CreateSupervisor(station_->DevicePath());
    StartAndWait();
    EXPECT_EQ(startup_, 1);
    EXPECT_TRUE(supervisor_->StationMemoryStored());
    EXPECT_TRUE(
        LogHasLine("EEPROM records stored : 150 added, 150 copies dropped, 0 set aside, 0 not decodable"));
    EXPECT_EQ(HistorySize(), 300u);
    EXPECT_EQ(CountOrders(halvex::OrderSetDate), 1);
    supervisor_->FormClose();
    EXPECT_EQ(CountOrders(halvex::OrderSetDate), 2);
    EXPECT_EQ(SavedRecords(1), 300u) << "each record once";
    EXPECT_FALSE(std::filesystem::exists(PathDatas + RejectedFileName));
}

// Closing while a long download runs: the download stops between two records, what it received is
// saved, and the station keeps its memory for the next start.
TEST_F(StationMemoryTest, CloseDuringALongDownloadStopsItAndKeepsTheMemory) {
    StationOptions options;
    options.PrefillRecords = 0;
    options.PrefillWraps = 1; // the whole ring, 7710 records
    options.Faults.DelayMs = 2;
    StartStation(options);
    CreateSupervisor(station_->DevicePath());
    ASSERT_TRUE(supervisor_->Start());
    // The main thread reads the history all along while the records arrive: only it writes there.
    size_t seen = 0;
    ASSERT_TRUE(WaitUntil([&] {
        for (const auto& r : supervisor_->History().Records())
            seen += r.DateSysteme > 0;
        return supervisor_->DownloadProgress().Done >= 100;
    }));
    EXPECT_GT(seen, 0u);
    supervisor_->FormClose();

    EXPECT_TRUE(LogHasLineStarting("EEPROM download stopped at index="));
    EXPECT_LT(RecordOrders(), 7710);
    EXPECT_EQ(CountOrders(halvex::OrderSetDate), 0);
    EXPECT_EQ(station_->RecordPointer(), 0u);
    EXPECT_EQ(station_->Wraps(), 1u) << "the ring is still full";
    const size_t saved = SavedRecords(1);
    EXPECT_GE(saved, 100u);
    EXPECT_LE(saved, static_cast<size_t>(RecordOrders()));
    EXPECT_TRUE(LogHasLine("Data saved"));
}

// An erased record no longer fails the start-up: it is skipped, the others are stored, polling starts.
TEST_F(StationMemoryTest, AnErasedRecordIsSkippedAndTheStartUpGoesOn) {
    StationOptions options;
    options.PrefillRecords = 40;
    options.ErasedRecords = {7};
    StartStation(options);
    CreateSupervisor(station_->DevicePath());
    StartAndWait();
    EXPECT_EQ(startup_, 1);
    EXPECT_EQ(HistorySize(), 39u);
    EXPECT_TRUE(supervisor_->CycleRunning());
    EXPECT_EQ(CountOrders(halvex::OrderSetDate), 1);
    EXPECT_TRUE(
        LogHasLine("EEPROM records stored : 39 added, 0 copies dropped, 0 set aside, 1 not decodable"));
    EXPECT_EQ(SavedRecords(1), 39u);
}

// A weather reading that completes while the program closes: its completion runs during the close's
// wait, and the close still saves and sets the clock once.
TEST_F(StationMemoryTest, AReadingCompletingDuringTheCloseIsHandledOnce) {
    StationOptions options;
    options.PrefillRecords = 10;
    options.Faults.DelayMs = 40;
    StartStation(options);
    CreateSupervisor(station_->DevicePath());
    StartAndWait();
    ASSERT_EQ(startup_, 1);
    for (uint32_t i = 0; i < SetupInfos.InterValQuickPoolSec; ++i)
        supervisor_->TimerMainTimer(); // the reading is on its way
    supervisor_->FormClose();
    EXPECT_EQ(ComThreadCount, 0);
    EXPECT_EQ(CountOrders(halvex::OrderSetDate), 2);
    EXPECT_EQ(SavedRecords(1), 10u);
    EXPECT_TRUE(LogHasLine("Data saved"));
}
