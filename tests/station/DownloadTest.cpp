#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>

#include "Conversions.h"
#include "HistoryStore.h"
#include "SimulatedStation.h"
#include "UserText.h"

using halvex::sim::FaultKind;
using halvex::sim::StationOptions;

namespace {

class MemoryDownload : public SimulatedStationTest {
  protected:
    void StartWith(uint32_t records, uint32_t wraps, std::vector<uint32_t> erased = {}) {
        StationOptions options;
        options.PrefillRecords = records;
        options.PrefillWraps = wraps;
        options.ErasedRecords = std::move(erased);
        StartStation(options);
    }
    std::string Download() { return RunList({TCom_DownLoadData}, com_, &listener_); }
    // Addresses of the record orders, in the order sent.
    std::vector<uint32_t> RecordAddresses() const {
        std::vector<uint32_t> addresses;
        for (const auto& o : station_->ReceivedOrders())
            if (o.at(0) == halvex::OrderReadRecord) addresses.push_back((o[1] << 16) | (o[2] << 8) | o[3]);
        return addresses;
    }
    static TcapteursInfos Decoded(const halvex::TArrayByte& bytes, uint32_t interval = 60) {
        TcapteursInfos record{};
        DecodeMemoryRecord(bytes, interval, SetupInfos.SetupInfos_HW.RH_Correction,
                           SetupInfos.SetupInfos_HW.OffsetLevelLight, record);
        return record;
    }
    static bool HistoryFilesSaved() { return !std::filesystem::is_empty(PathDatas); }
};

} // namespace

TEST_F(MemoryDownload, EmptyMemoryReadsNothing) {
    StartWith(0, 0);
    EXPECT_EQ(Download(), "");
    EXPECT_EQ(LogTexts(),
              (std::vector<std::string>{"Start get EEPROM Datas", "EEPROM nb records     = 0",
                                        "EEPROM rec int. (sec) = 60", "EEPROM overflowpasses = 0",
                                        "EEPROM PointerAddr    = 0", "End retrieving EEPROM Datas"}));
    EXPECT_TRUE(listener_.Progress().empty());
    EXPECT_TRUE(listener_.Records().empty());
    EXPECT_FALSE(HistoryFilesSaved());
}

TEST_F(MemoryDownload, TenRecordsOfTheFirstPass) {
    StartWith(10, 0);
    EXPECT_EQ(Download(), "");
    EXPECT_EQ(EepromRecordCount, 10u);
    std::vector<uint32_t> expected;
    for (uint32_t a = 0; a <= 153; a += 17)
        expected.push_back(a);
    EXPECT_EQ(RecordAddresses(), expected);
    EXPECT_EQ(listener_.Progress(), (std::vector<std::pair<uint32_t, uint32_t>>{{10, 10}, {10, 10}}));
    const TTDataStation records = listener_.Records();
    ASSERT_EQ(records.size(), 10u);
    for (uint32_t k = 1; k <= 10; ++k) {
        const TcapteursInfos want = Decoded(station_->Record(k));
        EXPECT_EQ(FieldValue(records[k - 1].DateSysteme), FieldValue(want.DateSysteme)) << k;
        EXPECT_EQ(FieldValue(records[k - 1].ValueTempDeg), FieldValue(want.ValueTempDeg)) << k;
        EXPECT_EQ(FieldValue(records[k - 1].PowerVolts), 0.0f);
    }
    const auto log = LogTexts();
    EXPECT_FALSE(HistoryFilesSaved()) << "the receiver stores the records, not the thread";
    EXPECT_NE(FindLogLine(log, "EEPROM PointerAddr    = 170"), -1);
    EXPECT_EQ(log.back(), "End retrieving EEPROM Datas");
    EXPECT_EQ(log[log.size() - 2].rfind("10/10 Read, Time to read EEPROM : ", 0), 0u) << log[log.size() - 2];
}

// A wrapped ring: the older records after the write pointer first, then the newer ones.
TEST_F(MemoryDownload, WrappedRingInRingOrder) {
    StartWith(10, 1);
    EXPECT_EQ(Download(), "");
    const auto addresses = RecordAddresses();
    ASSERT_EQ(addresses.size(), 7710u);
    EXPECT_EQ(addresses.front(), 170u);
    EXPECT_EQ(addresses[7699], 131053u) << "record 7710";
    EXPECT_EQ(addresses[7700], 0u);
    EXPECT_EQ(addresses.back(), 153u);
    const TTDataStation records = listener_.Records();
    ASSERT_EQ(records.size(), 7710u);
    for (size_t i = 1; i < records.size(); ++i)
        ASSERT_GT(FieldValue(records[i].DateSysteme), FieldValue(records[i - 1].DateSysteme))
            << "chronological at " << i;
    const auto progress = listener_.Progress();
    ASSERT_EQ(progress.size(), 772u);
    EXPECT_EQ(progress.front(), (std::pair<uint32_t, uint32_t>{10, 7710}));
    EXPECT_EQ(progress[770], (std::pair<uint32_t, uint32_t>{7710, 7710}));
    EXPECT_EQ(progress.back(), (std::pair<uint32_t, uint32_t>{7710, 7710}));
    EXPECT_EQ(CountLogLines("100 more datas read successfuly"), 77);
}

TEST_F(MemoryDownload, RecordThatNeverAnswersEndsAfterSixAttempts) {
    StartWith(10, 0);
    station_->AddFault({halvex::OrderReadRecord, 0, 0, -1, FaultKind::Silence, 0});
    const std::string error = Download();
    EXPECT_EQ(
        error,
        "Erreur de lecture des données EEPROM, erreur de conversion, index : 1 -> Erreur de lecture port " +
            station_->DevicePath() + " (Entete)  lus=0 (octets), attendus=2! (octets) !");
    const auto log = LogTexts();
    int at = 0;
    for (int n = 1; n <= 6; ++n) {
        at = FindLogLine(log, "EEPROM COM error #" + std::to_string(n) + " at index=1", at);
        EXPECT_NE(at, -1) << n;
    }
    EXPECT_EQ(log[at + 1], "EEPROM Read COM error -> Fatal");
    EXPECT_EQ(RecordAddresses(), std::vector<uint32_t>(6, 0u));
    EXPECT_EQ(listener_.Errors(), 1);
    EXPECT_TRUE(listener_.Records().empty());
    EXPECT_EQ(log.back(), "Error : " + error);
    EXPECT_NE(FindLogLine(log, "End retrieving EEPROM Datas"), -1);
}

TEST_F(MemoryDownload, RetriedRecordIsReadOnce) {
    StartWith(10, 0);
    station_->AddFault({halvex::OrderReadRecord, 3 * 17, 0, 2, FaultKind::BadChecksum, 0});
    EXPECT_EQ(Download(), "");
    EXPECT_EQ(listener_.Records().size(), 10u);
    EXPECT_EQ(CountLogLines("EEPROM COM error #2 at index=4"), 1);
    EXPECT_EQ(CountLogLines("EEPROM COM error #3 at index=4"), 0);
}

// Erased memory reads 0xFF (an impossible month): that record is skipped, the others are stored.
TEST_F(MemoryDownload, ErasedRecordIsSkippedAndTheOthersKept) {
    StartWith(10, 0, {5});
    EXPECT_EQ(Download(), "");
    EXPECT_TRUE(LogHasLine("EEPROM read error (not a COM error) at index [=5] -> " + std::string(InvalidDateText) +
                           " -> record skipped"));
    EXPECT_TRUE(LogHasLine("EEPROM records skipped (not decodable) : 1"));
    EXPECT_EQ(RecordAddresses().size(), 10u);
    const TTDataStation records = listener_.Records();
    ASSERT_EQ(records.size(), 9u);
    EXPECT_EQ(FieldValue(records[3].DateSysteme), FieldValue(Decoded(station_->Record(4)).DateSysteme));
    EXPECT_EQ(FieldValue(records[4].DateSysteme), FieldValue(Decoded(station_->Record(6)).DateSysteme));
    EXPECT_EQ(listener_.Progress().back(), (std::pair<uint32_t, uint32_t>{10, 10}));
}

// A download that fails part-way hands over what it read; the station keeps its memory (the clock
// is not set after a failed list), so the next download brings everything again, and the history
// stores each record once.
TEST_F(MemoryDownload, FailedDownloadHandsOverWhatItReadAndTheRetryStoresEachRecordOnce) {
    StartWith(10, 0);
    station_->AddFault({halvex::OrderReadRecord, 6 * 17, 0, -1, FaultKind::Silence, 0});
    EXPECT_NE(RunList({TCom_GetVersion, TCom_DownLoadData, TCom_SetDate}, com_, &listener_), "");
    EXPECT_EQ(listener_.Records().size(), 6u) << "records 1 to 6, read before record 7 fell silent";
    EXPECT_EQ(station_->RecordPointer(), 170u) << "SetDate was skipped: the station keeps its records";
    THistoryStore history(PathDatas);
    EXPECT_EQ(history.Append(listener_.Records()).Added, 6);

    station_->ClearFaults();
    RecordingListener second;
    EXPECT_EQ(RunList({TCom_GetVersion, TCom_DownLoadData}, com_, &second), "");
    const TAppendTally tally = history.Append(second.Records());
    EXPECT_EQ(tally.Added, 4);
    EXPECT_EQ(tally.Copies, 6);
    EXPECT_EQ(history.Size(), 10u);
}

// Closing asks the lists to stop: the download ends between two records and hands over what it read.
TEST_F(MemoryDownload, StopRequestEndsTheDownloadBetweenTwoRecords) {
    struct StoppingListener : RecordingListener {
        void ComEepromProgress(uint32_t done, uint32_t total) override {
            RecordingListener::ComEepromProgress(done, total);
            if (done == 30) RequestStationListsStop(true);
        }
    } listener;
    StartWith(200, 0);
    const std::string error = RunList({TCom_DownLoadData}, com_, &listener);
    RequestStationListsStop(false);
    EXPECT_EQ(error, "Récupération des données EEPROM interrompue à l'index 31");
    EXPECT_EQ(listener.Records().size(), 30u);
    EXPECT_EQ(RecordAddresses().size(), 30u);
    EXPECT_TRUE(LogHasLine("EEPROM download stopped at index=31"));
}

TEST(MemoryRecord, FieldsOfOneRecord) {
    SetupInfos.SetupInfos_HW.RH_Correction = 1.0;
    // 2013-03-27 04:05:09, no rain (bit 7 of the month set), divider code 1, gain code 2.
    halvex::TArrayByte r = {0x13, 0x83, 0x27 | 0x40, 0x04 | 0x80, 0x05, 0x09, 0x85, 0x10, 0x00,
                            0x40, 0x00, 0x60,        0x00,        0x70, 0x10, 0x27, 0x00};
    TcapteursInfos c{};
    c.LightValueAbs = 777;
    c.ValueCanDeg = 5;
    DecodeMemoryRecord(r, 60, 1.0, 0.0025, c);
    EXPECT_EQ(FieldValue(c.DateSysteme), EncodeDateTime(2013, 3, 27, 4, 5, 9));
    EXPECT_EQ(c.RainStatus, 0);
    EXPECT_TRUE(c.ValidWindGUST);
    EXPECT_FLOAT_EQ(c.DirSpeedMax_deg, 112.5f);
    EXPECT_FLOAT_EQ(c.WindSpeedMax_ms, 27.2f);
    EXPECT_FLOAT_EQ(c.ValueSkyVolts, static_cast<float>(Raw_ToVolts(0x4000)));
    EXPECT_FLOAT_EQ(c.ValueTempDeg, static_cast<float>(Raw_ToTemperature(0x7000)));
    EXPECT_FLOAT_EQ(c.DeltaTempDeg, c.ValueSkyDeg - c.ValueTempDeg);
    EXPECT_EQ(c.DividLight, 2);
    EXPECT_EQ(c.GainLight, 100);
    EXPECT_TRUE(c.ValidLight);
    EXPECT_NEAR(c.Lumex, std::log10(10000.0 / 60 * 2 / 100 - 0.0025), 1e-12);
    EXPECT_EQ(FieldValue(c.LightValueAbs), 777u) << "not taken from the record";
    EXPECT_EQ(FieldValue(c.ValueCanDeg), 0.0f) << "not held by the memory";

    r[1] = 0x03; // rain
    r[6] = 0x40; // no wind data
    r[14] = r[15] = r[16] = 0xFF;
    DecodeMemoryRecord(r, 60, 1.0, 0.0025, c);
    EXPECT_EQ(c.RainStatus, 1);
    EXPECT_FALSE(c.ValidWindGUST);
    EXPECT_EQ(FieldValue(c.WindSpeedMax_ms), -1.0f);
    EXPECT_EQ(FieldValue(c.DirSpeedMax_deg), -1.0f);
    EXPECT_FALSE(c.ValidLight);
    EXPECT_EQ(FieldValue(c.Lumex), 0.0);
    EXPECT_EQ(c.GainLight, 100) << "kept from the previous record";

    r.resize(16);
    EXPECT_THROW(DecodeMemoryRecord(r, 60, 1.0, 0.0025, c), EOrvanelError);
}

// Lost and corrupted bytes on the line: every damaged answer is retried, what is left of it on the
// line is dropped before the retry, and the history receives exactly the station's records.
TEST_F(MemoryDownload, NoisyLineStillDeliversEveryRecord) {
    StationOptions options;
    options.Seed = 7;
    options.PrefillRecords = 120;
    options.Faults.LostByteRate = 0.002;
    options.Faults.CorruptByteRate = 0.002;
    StartStation(options);
    EXPECT_EQ(Download(), "");
    const TTDataStation records = listener_.Records();
    ASSERT_EQ(records.size(), 120u);
    for (uint32_t k = 1; k <= 120; ++k) {
        const TcapteursInfos want = Decoded(station_->Record(k));
        EXPECT_EQ(std::memcmp(&records[k - 1], &want, offsetof(TcapteursInfos, LightValueAbs)), 0) << k;
    }
    EXPECT_GT(RecordAddresses().size(), 120u) << "the seed gives some damaged answers";
}
