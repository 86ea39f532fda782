// Line faults as the PC sees them on the wire: scripted per order and per answer, or at a rate.
#include <chrono>
#include <functional>
#include <gtest/gtest.h>

#include "RawFrameClient.h"
#include "TestSupport.h"

using namespace simtest;
using namespace halvex;
using halvex::sim::FaultKind;
using halvex::sim::FaultRule;
using halvex::sim::LineFaults;
using halvex::sim::StationOptions;

namespace {

// The IR gain answer is known in advance: 1F 05 00 00 33 3C 93.
const TArrayByte kGainFrame = BuildAnswerFrame({0, 0, 51, 60});

bool ChecksumHolds(const TArrayByte& f) {
    return !f.empty() && FrameChecksum(f.data(), f.size() - 1) == f.back();
}

} // namespace

class SimulatorFaults : public SandboxTest {};

TEST_F(SimulatorFaults, EachFaultShowsOnTheWire) {
    struct Case {
        const char* Name;
        std::optional<FaultRule> Rule;
        LineFaults Line;
        std::function<void(const TArrayByte&)> Check;
    };
    auto rule = [](FaultKind kind, int param = 0) {
        return FaultRule{OrderGetIRGain, -1, 0, 1, kind, param};
    };
    auto line = [](auto set) {
        LineFaults f;
        set(f);
        return f;
    };
    const Case cases[] = {
        {"scripted silence",
         rule(FaultKind::Silence),
         {},
         [](const TArrayByte& f) { EXPECT_TRUE(f.empty()); }},
        {"silent station",
         {},
         line([](LineFaults& f) { f.Silent = true; }),
         [](const TArrayByte& f) { EXPECT_TRUE(f.empty()); }},
        {"lone start byte",
         rule(FaultKind::Truncate, 1),
         {},
         [](const TArrayByte& f) { EXPECT_EQ(f, TArrayByte{AnswerStartByte}); }},
        {"every byte lost",
         {},
         line([](LineFaults& f) { f.LostByteRate = 1; }),
         [](const TArrayByte& f) { EXPECT_TRUE(f.empty()); }},
        {"one byte corrupted",
         rule(FaultKind::CorruptByte, 3),
         {},
         [](const TArrayByte& f) {
             TArrayByte expected = kGainFrame;
             expected[3] ^= 0xFF;
             EXPECT_EQ(f, expected);
         }},
        {"every byte corrupted",
         {},
         line([](LineFaults& f) { f.CorruptByteRate = 1; }),
         [](const TArrayByte& f) {
             ASSERT_FALSE(f.empty());
             for (std::size_t i = 0; i < f.size() && i < kGainFrame.size(); ++i)
                 EXPECT_NE(f[i], kGainFrame[i]) << i;
         }},
        {"bad checksum",
         rule(FaultKind::BadChecksum),
         {},
         [](const TArrayByte& f) {
             ASSERT_EQ(f.size(), kGainFrame.size());
             EXPECT_TRUE(std::equal(f.begin(), f.end() - 1, kGainFrame.begin()));
             EXPECT_FALSE(ChecksumHolds(f));
         }},
        {"bad checksum rate",
         {},
         line([](LineFaults& f) { f.BadChecksumRate = 1; }),
         [](const TArrayByte& f) { EXPECT_FALSE(ChecksumHolds(f)); }},
        {"wrong start byte",
         rule(FaultKind::WrongStartByte),
         {},
         [](const TArrayByte& f) {
             ASSERT_EQ(f.size(), kGainFrame.size());
             EXPECT_NE(f[0], AnswerStartByte);
             EXPECT_TRUE(ChecksumHolds(f)); // only the start byte is wrong
         }},
        {"wrong start rate",
         {},
         line([](LineFaults& f) { f.WrongStartRate = 1; }),
         [](const TArrayByte& f) { EXPECT_EQ(f.at(0), 0x1E); }},
        {"length above 22",
         rule(FaultKind::LongLength, 30),
         {},
         [](const TArrayByte& f) {
             EXPECT_EQ(f.at(1), 30);
             EXPECT_EQ(f.size(), 32u);
             EXPECT_TRUE(ChecksumHolds(f));
         }},
        {"length above 22 rate",
         {},
         line([](LineFaults& f) { f.LongLengthRate = 1; }),
         [](const TArrayByte& f) {
             EXPECT_GT(f.at(1), MaxAnswerLength);
             EXPECT_EQ(f.size(), std::size_t{f[1]} + 2);
         }},
        {"short answer",
         rule(FaultKind::ShortAnswer),
         {},
         [](const TArrayByte& f) {
             EXPECT_EQ(RawFrameClient::PayloadOf(f), (TArrayByte{0, 0, 51}));
         }},
        {"short answer of two bytes",
         rule(FaultKind::ShortAnswer, 2),
         {},
         [](const TArrayByte& f) {
             EXPECT_EQ(RawFrameClient::PayloadOf(f), (TArrayByte{0, 0}));
         }},
        {"short answer rate",
         {},
         line([](LineFaults& f) { f.ShortAnswerRate = 1; }),
         [](const TArrayByte& f) { EXPECT_EQ(RawFrameClient::PayloadOf(f)->size(), 3u); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        RunningStation s;
        s.station.SetLineFaults(c.Line);
        if (c.Rule) s.station.AddFault(*c.Rule);
        s.client.Send({OrderGetIRGain});
        c.Check(s.client.ReadFrame(300));
        if (c.Rule) { // a one-time rule is spent: the next answer is sound
            EXPECT_EQ(s.client.Exchange({OrderGetIRGain}), (TArrayByte{0, 0, 51, 60}));
        }
    }
}

TEST_F(SimulatorFaults, SplitAnswerComesInPiecesAndWhole) {
    RunningStation s;
    LineFaults f;
    f.SplitGapMs = 150;
    s.station.SetLineFaults(f);
    s.station.AddFault({OrderGetIRGain, -1, 0, 1, FaultKind::Split, 2});
    s.client.Send({OrderGetIRGain});
    EXPECT_EQ(s.client.ReadFrame(), kGainFrame);
    EXPECT_GE(s.client.ReadCalls(), 2);
}

TEST_F(SimulatorFaults, DelayedAnswerMissesTheReadTimeOut) {
    RunningStation s;
    s.station.AddFault({OrderGetIRGain, -1, 0, 1, FaultKind::Delay, 1300});
    s.client.Send({OrderGetIRGain});
    EXPECT_TRUE(s.client.ReadFrame(1000).empty());
    // The late answer is still on its way; a PC that does not discard it would take it for the next.
    EXPECT_EQ(s.client.ReadFrame(2000), kGainFrame);
}

TEST_F(SimulatorFaults, LineTimingTakesTheTimeOfA115200BaudLine) {
    RunningStation s;
    LineFaults f;
    f.LineTiming = true;
    s.station.SetLineFaults(f);
    const auto sent = std::chrono::steady_clock::now();
    const auto answer = s.client.Exchange(ReadRecordOrder(1));
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - sent).count();
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(answer->size(), RecordSize);
    // 7 order bytes and 20 answer bytes of 10 bits each cannot pass in less.
    EXPECT_GE(seconds, 27 * 10 / 115200.0);
}

TEST_F(SimulatorFaults, ScriptedRulesPickTheOrderTheAnswerAndTheAddress) {
    RunningStation s;
    // The 3rd and 4th gain answers fail their checksum; every read of record 1 goes unanswered.
    s.station.AddFault({OrderGetIRGain, -1, 2, 2, FaultKind::BadChecksum, 0});
    s.station.AddFault({OrderReadRecord, 0, 0, -1, FaultKind::Silence, 0});
    const bool expected[] = {true, true, false, false, true, true};
    for (bool sound : expected) {
        EXPECT_EQ(s.client.Exchange({OrderGetIRGain}).has_value(), sound);
        EXPECT_TRUE(s.client.Exchange({OrderGetFlags}).has_value()); // other orders untouched
    }
    for (int attempt = 0; attempt < 6; ++attempt)
        EXPECT_FALSE(s.client.Exchange(ReadRecordOrder(1), 200).has_value());
    EXPECT_TRUE(s.client.Exchange(ReadRecordOrder(2)).has_value());
    s.station.ClearFaults();
    EXPECT_TRUE(s.client.Exchange(ReadRecordOrder(1)).has_value());
}

TEST_F(SimulatorFaults, ScenarioSilenceLastsItsWindow) {
    StationOptions o = RunningStation::Manual();
    o.Scenario = sim::ParseScenario("silent@1-2");
    RunningStation s(o);
    EXPECT_TRUE(s.client.Exchange({OrderGetIRGain}).has_value());
    s.station.AdvanceTime(90);
    EXPECT_FALSE(s.client.Exchange({OrderGetIRGain}, 300).has_value());
    s.station.AdvanceTime(60);
    EXPECT_TRUE(s.client.Exchange({OrderGetIRGain}).has_value());
}

TEST_F(SimulatorFaults, LostBytesAtARateLeaveFramesIncomplete) {
    StationOptions o = RunningStation::Manual();
    o.Faults.LostByteRate = 0.1;
    RunningStation s(o);
    int whole = 0, broken = 0;
    for (int i = 0; i < 20; ++i) {
        s.client.Send({OrderGetIRGain});
        const TArrayByte f = s.client.ReadFrame(150);
        (f == kGainFrame ? whole : broken)++;
    }
    EXPECT_GT(broken, 0);
    EXPECT_GT(whole, 0);
}
