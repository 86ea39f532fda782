// The memory ring: filling at the recording interval while nobody polls, wrapping, restarted by the
// set-date order, pre-filled and erased records for the PC's download tests.
#include <gtest/gtest.h>

#include "RawFrameClient.h"
#include "StationEncoding.h"
#include "TestSupport.h"

using namespace simtest;
using namespace halvex;
using halvex::sim::StationOptions;

namespace {

TDateTime RecordTime(const TArrayByte& r) {
    return EncodeDateTime(2000 + Bcd(r[0]), Bcd(r[1] & 0x7F), Bcd(r[2] & 0x3F), Bcd(r[3] & 0x3F), Bcd(r[4]),
                          Bcd(r[5]));
}

TArrayByte ReadRecord(RunningStation& s, uint32_t k) {
    const auto r = s.client.Exchange(ReadRecordOrder(k));
    if (!r) ADD_FAILURE() << "no answer for record " << k;
    return r.value_or(TArrayByte{});
}

struct MemoryState {
    uint32_t P;
    uint8_t W;
    uint16_t I;
};

MemoryState ReadMemoryState(RunningStation& s) {
    const auto a = s.client.Exchange({OrderGetVersion});
    if (!a) {
        ADD_FAILURE() << "no version answer";
        return {};
    }
    return {(uint32_t{(*a)[2]} << 16) | ((*a)[3] << 8) | (*a)[4], (*a)[5], WordLE(*a, 6)};
}

constexpr double kSecond = 1.0 / 86400;

} // namespace

class SimulatorMemory : public SandboxTest {};

TEST_F(SimulatorMemory, FillsAtTheIntervalOnlyWhileNobodyPolls) {
    RunningStation s; // interval 60 s; idle after 120 s without an order
    const TDateTime start = s.station.Clock();
    s.station.AdvanceTime(600);
    EXPECT_EQ(s.station.RecordPointer(), 10 * RecordSize);
    // Polled every 30 s for ten minutes: nothing recorded.
    for (int i = 0; i < 20; ++i) {
        s.station.AdvanceTime(30);
        ASSERT_TRUE(s.client.Exchange({OrderGetWeather}));
    }
    EXPECT_EQ(s.station.RecordPointer(), 10 * RecordSize);
    // Left alone again: recording resumes once the station has been idle long enough.
    s.station.AdvanceTime(600);
    const MemoryState m = ReadMemoryState(s);
    EXPECT_EQ(m.P, 19 * RecordSize);
    EXPECT_EQ(m.W, 0);
    EXPECT_EQ(m.I, 60);
    EXPECT_NEAR(RecordTime(ReadRecord(s, 1)), start + 60 * kSecond, 0.5 * kSecond);
    EXPECT_NEAR(RecordTime(ReadRecord(s, 10)), start + 600 * kSecond, 0.5 * kSecond);
    EXPECT_NEAR(RecordTime(ReadRecord(s, 11)), start + 1320 * kSecond, 0.5 * kSecond);
}

TEST_F(SimulatorMemory, RecordHoldsTheWeatherOfItsTime) {
    StationOptions o = RunningStation::Manual();
    o.Scenario = sim::ParseScenario("temp=5@0-10,rh=80@0-10,sky=-25@0-10,wind=36@0-10,dir=90@0-10,rain@0-10,"
                                    "mag=19@0-10");
    RunningStation s(o);
    s.station.AdvanceTime(120);
    const TArrayByte r = ReadRecord(s, 2);
    ASSERT_EQ(r.size(), RecordSize);
    EXPECT_EQ(r[1] & 0x80, 0);                 // rain
    EXPECT_EQ(r[2] >> 6, 0);                   // divider code: 1
    EXPECT_EQ(r[3] >> 6, 2);                   // gain code: 100
    EXPECT_EQ(r[6] & 0x0F, 4);                 // sector E
    EXPECT_EQ(r[6] & 0x40, 0);                 // wind data present
    EXPECT_EQ(((r[6] >> 7) << 8) | r[7], 100); // 10.0 m/s
    EXPECT_NEAR(CountToSkyDegrees(WordLE(r, 8)) - 5, -25, 0.1);
    EXPECT_NEAR(CountToHumidity(WordLE(r, 10)), 80, 0.1);
    EXPECT_NEAR(CountToTemperature(WordLE(r, 12)), 5, 0.01);
    const uint32_t counts = r[14] | (r[15] << 8) | (r[16] << 16);
    // The PC: counts over the interval, times divider over gain, less the dark offset.
    EXPECT_NEAR(sim::LumexToMagnitude(std::log10(counts / 60.0 / 100 - 0.0025)), 19, 0.15);
}

TEST_F(SimulatorMemory, WrapsAndCountsItsPasses) {
    StationOptions o = RunningStation::Manual();
    o.PrefillRecords = RingRecords - 1;
    RunningStation s(o);
    s.station.AdvanceTime(180);
    const MemoryState m = ReadMemoryState(s);
    EXPECT_EQ(m.P, 2 * RecordSize);
    EXPECT_EQ(m.W, 1);
    // Ring order: oldest at the pointer, newest just before it.
    const TDateTime oldest = RecordTime(ReadRecord(s, 3));
    const TDateTime lastOfPass = RecordTime(ReadRecord(s, RingRecords));
    const TDateTime newest = RecordTime(ReadRecord(s, 2));
    EXPECT_LT(oldest, lastOfPass);
    EXPECT_NEAR(RecordTime(ReadRecord(s, 1)) - lastOfPass, 60 * kSecond, 0.5 * kSecond);
    EXPECT_NEAR(newest - oldest, (RingRecords - 1) * 60 * kSecond, 0.5 * kSecond);
}

TEST_F(SimulatorMemory, PrefilledRingsAsTheDownloadTestsUseThem) {
    struct Case {
        uint32_t Records, Wraps;
    };
    for (const Case c : {Case{10, 0}, Case{10, 1}}) {
        SCOPED_TRACE(c.Wraps);
        StationOptions o = RunningStation::Manual();
        o.PrefillRecords = c.Records;
        o.PrefillWraps = c.Wraps;
        o.ErasedRecords = {5};
        RunningStation s(o);
        const MemoryState m = ReadMemoryState(s);
        EXPECT_EQ(m.P, 170u);
        EXPECT_EQ(m.W, c.Wraps);
        EXPECT_EQ(ReadRecord(s, 5), TArrayByte(RecordSize, 0xFF));
        const TDateTime newest = RecordTime(ReadRecord(s, 10));
        EXPECT_NEAR(newest, s.station.Clock(), 0.5 * kSecond);
        if (c.Wraps == 0) {
            EXPECT_EQ(ReadRecord(s, 11), TArrayByte(RecordSize, 0xFF)); // never written
            EXPECT_NEAR(newest - RecordTime(ReadRecord(s, 1)), 9 * 60 * kSecond, 0.5 * kSecond);
        } else {
            EXPECT_NEAR(newest - RecordTime(ReadRecord(s, 11)), (RingRecords - 1) * 60 * kSecond,
                        0.5 * kSecond);
            // Record 7710 at address 01 FF ED.
            const auto last = s.client.Exchange({OrderReadRecord, 0x01, 0xFF, 0xED});
            ASSERT_TRUE(last.has_value());
            EXPECT_NEAR(newest - RecordTime(*last), 10 * 60 * kSecond, 0.5 * kSecond);
        }
    }
}

TEST_F(SimulatorMemory, SetDateSetsTheClockAndRestartsTheRing) {
    StationOptions o = RunningStation::Manual();
    o.PrefillRecords = 100;
    o.PrefillWraps = 3;
    RunningStation s(o);
    // 2027-01-02 03:04:05, interval 10 s.
    ASSERT_TRUE(s.client.Exchange({OrderSetDate, 0x05, 0x04, 0x03, 0x02, 0x01, 0x27, 10, 0}));
    const TDateTime set = EncodeDateTime(2027, 1, 2, 3, 4, 5);
    EXPECT_NEAR(s.station.Clock(), set, 0.001 * kSecond);
    MemoryState m = ReadMemoryState(s);
    EXPECT_EQ(m.P, 0u);
    EXPECT_EQ(m.W, 0);
    EXPECT_EQ(m.I, 10);
    s.station.AdvanceTime(200); // idle from 120 s after the last order: records at 120 ... 200
    EXPECT_EQ(s.station.RecordPointer(), 9 * RecordSize);
    EXPECT_NEAR(RecordTime(ReadRecord(s, 1)), set + 120 * kSecond, 0.5 * kSecond);

    // An impossible date is refused without an answer and changes nothing.
    EXPECT_FALSE(s.client.Exchange({OrderSetDate, 0x05, 0x04, 0x03, 0x31, 0x02, 0x27, 10, 0}, 300));
    EXPECT_NEAR(s.station.Clock(), set + 200 * kSecond, 0.001 * kSecond);
}
