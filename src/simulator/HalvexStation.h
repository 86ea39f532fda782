// A Halvex station in software: it serves a pseudo-terminal in its own thread and answers every
// order of the serial protocol with plausible weather, a memory ring that fills while nobody polls
// and a roof relay that closes on its criteria. Faults can be injected on the line at a rate or
// scripted per order, and the station's state can be read, for tests.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "DateTime.h"
#include "Protocol.h"
#include "WeatherModel.h"

namespace halvex::sim {

// What may go wrong with one answer.
enum class FaultKind {
    Silence,        // no answer at all
    Truncate,       // only the first Param bytes of the frame (Param 1: a lone start byte)
    CorruptByte,    // byte Param of the frame inverted
    BadChecksum,    // checksum off by one
    WrongStartByte, // start byte 0x1E, checksum recomputed so only the start byte is wrong
    LongLength,     // length byte Param (default 40, above 22) with that many bytes following
    Delay,          // answer sent Param ms late
    Split,          // answer written in Param pieces (default 3), SplitGapMs apart
    ShortAnswer,    // valid frame with Param payload bytes (negative: that many fewer than due)
};

// A scripted fault: applies to the answers of the matching orders, from the (Skip + 1)-th on,
// Count times (-1: for ever).
struct FaultRule {
    int Order = -1;   // order code; -1 = any order
    int Address = -1; // for order 0x31: the record address; -1 = any
    int Skip = 0;
    int Count = 1;
    FaultKind Kind = FaultKind::Silence;
    int Param = 0;
};

// Faults on every answer, as rates (probability per answer, or per byte for lost/corrupted bytes).
struct LineFaults {
    bool Silent = false;
    double LostByteRate = 0;
    double CorruptByteRate = 0;
    double BadChecksumRate = 0;
    double WrongStartRate = 0;
    double LongLengthRate = 0;
    double ShortAnswerRate = 0;
    int DelayMs = 0;
    int SplitPieces = 1;
    int SplitGapMs = 2;      // pause between the pieces of a split answer
    bool LineTiming = false; // pace every byte as a 115200-baud line does (10 bits: ~86.8 µs)
};

// Roof-closing criteria as the station holds them (in the encodings it receives and reports).
struct RoofCriteria {
    bool DoWatch = true;
    uint8_t RhByte = 90; // % relative humidity (the PC divides by its correction factor)
    uint8_t WindKmh = 50;
    bool Light = false;
    std::array<uint8_t, 3> TempSky24 = {0xC1, 0x20, 0x00}; // -10 °C, 24-bit float high..low
    uint32_t MagCounter = 80000;                           // magnitude threshold as counter (about 5.1)

    double TempSky() const;
    double Magnitude() const;
};

struct StationOptions {
    std::string Firmware = "2.65"; // "major.minor"; below 2.65 the criteria come in the 0x1A answer
    uint64_t Seed = 1;
    double Speed = 1; // model seconds per real second; 0: time moves only by AdvanceTime
    double DayLengthSeconds = 86400;
    TDateTime StartClock = 0;    // station clock at start; 0: the PC's clock
    uint16_t IntervalSec = 60;   // memory recording interval
    double IdleSeconds = 120;    // a record is written only when no order came for this long
    uint32_t PrefillRecords = 0; // records already in the current pass of the memory
    uint32_t PrefillWraps = 0;
    std::vector<uint32_t> ErasedRecords; // record numbers (from 1) whose bytes read 0xFF
    bool GustSensor = true;              // false: 0x23 reports no data (status 0x8000)
    bool AnalogWind = false;             // the 4-20 mA sensor carries the wind (0x33)
    RoofCriteria Criteria;
    LineFaults Faults;
    std::vector<ScenarioItem> Scenario;
    bool Verbose = false; // one line per order on standard error
    // Every record written to the memory, appended here as its clock text (long runs count them
    // against the history); empty: none.
    std::string RecordLog;
};

// "2.65" -> {2, 65}; throws std::invalid_argument unless MAJOR.MINOR, each 0 to 255.
std::pair<int, int> ParseFirmwareVersion(const std::string& text);

// Station memory geometry.
constexpr uint32_t MemoryBytes = 0x20000; // 128 KiB EEPROM; the ring uses its first 131070 bytes

class HalvexStation {
  public:
    explicit HalvexStation(StationOptions options = {});
    ~HalvexStation();
    HalvexStation(const HalvexStation&) = delete;
    HalvexStation& operator=(const HalvexStation&) = delete;

    // Opens the pseudo-terminal and starts serving it; throws std::runtime_error on failure.
    void Start();
    // Stops the thread and closes the pseudo-terminal. Safe to call twice.
    void Stop();
    bool Running() const { return running_; }
    // The slave device the PC opens (e.g. /dev/pts/7); empty before Start.
    std::string DevicePath() const;

    // Time. Model seconds count from the start of the simulator.
    void AdvanceTime(double seconds);
    double ModelSeconds() const;
    TDateTime Clock() const;
    void SetClock(TDateTime clock);

    // Faults.
    void AddFault(const FaultRule& rule);
    void ClearFaults();
    void SetLineFaults(const LineFaults& faults);
    LineFaults Faults() const;

    // Relay and criteria.
    bool RelayClosed() const;
    RoofCriteria Criteria() const;
    void SetCriteria(const RoofCriteria& criteria);

    // Memory ring.
    uint32_t RecordPointer() const; // P: address of the next record in this pass
    uint8_t Wraps() const;          // W
    uint16_t Interval() const;
    void PreFill(uint32_t records, uint32_t wraps);
    void EraseRecord(uint32_t recordNumber);
    TArrayByte Record(uint32_t recordNumber) const;

    // Other station state.
    TWeather Weather() const;
    void SetScenario(std::vector<ScenarioItem> scenario);
    bool HeaterAllowed() const;
    std::array<uint8_t, 2> IrGains() const;
    uint32_t LightCounter() const;

    // Every well-formed order received (payloads, order code first), oldest first.
    std::vector<TArrayByte> ReceivedOrders() const;
    void ClearReceivedOrders();
    uint64_t AnswersSent() const;

    // The answer payload the station gives to an order payload (empty: no answer). Updates the state
    // as receiving the order would. Tests of layouts use the pseudo-terminal; this serves the tools.
    TArrayByte Answer(const TArrayByte& order);

  private:
    struct Transmission {
        TArrayByte Bytes;
        int DelayMs = 0;
        int Pieces = 1;
        int GapMs = 2;
        bool Paced = false;
    };

    void Serve();
    void HandleInput(TArrayByte& pending, std::chrono::steady_clock::time_point arrived);
    // arrived: when the order's last byte was read (the line time of the order counts from there).
    void Transmit(const Transmission& t, std::size_t orderBytes,
                  std::chrono::steady_clock::time_point arrived);
    bool WriteAll(const uint8_t* data, std::size_t size);
    bool SleepFor(double seconds);

    // Called with mutex_ held.
    double ModelNowLocked() const;
    void UpdateLocked(double modelSeconds);
    void StepLocked(double from, double to);
    TWeather WeatherLocked(double modelSeconds) const;
    TDateTime ClockAtLocked(double modelSeconds) const;
    double ClockSecondsOfDayLocked(double modelSeconds) const;
    void ChooseLightRangeLocked(double rawRate);
    bool CriterionMetLocked(const TWeather& w) const;
    void WriteRecordLocked(double at);
    TArrayByte EncodeRecordLocked(double at, const TWeather& w, double lightCounts, int range) const;
    int HeaterPowerLocked(const TWeather& w, double at) const;
    TArrayByte AnswerLocked(const TArrayByte& order);
    TArrayByte VersionAnswerLocked() const;
    TArrayByte WeatherAnswerLocked() const;
    TArrayByte FlagsAnswerLocked() const;
    TArrayByte CriteriaAnswerLocked() const;
    bool SetDateLocked(const TArrayByte& order);
    void SetupLocked(const TArrayByte& order);
    Transmission ShapeAnswerLocked(const TArrayByte& order, const TArrayByte& payload);
    bool ModernFirmware() const;

    StationOptions options_;
    uint8_t versionMajor_ = 2, versionMinor_ = 65;
    WeatherModel model_;

    mutable std::mutex mutex_;
    // Clock: model time runs at options_.Speed from steadyStart_, plus what AdvanceTime added.
    std::chrono::steady_clock::time_point steadyStart_;
    double advanced_ = 0;
    double updatedTo_ = 0;    // model time the state has been stepped to
    TDateTime clockBase_ = 0; // station clock at model time clockBaseAt_
    double clockBaseAt_ = 0;

    // Memory ring.
    std::vector<uint8_t> memory_;
    uint32_t nextIndex_ = 0; // index (from 0) of the next record in the ring
    uint32_t wraps_ = 0;
    uint16_t interval_ = 60;
    double nextRecordAt_ = 0;
    double lastOrderAt_ = -1e18;
    double recordLightCounts_ = 0;

    // Photodiode.
    double lightCounter_ = 0; // free-running, counts at the range in force
    int lightRange_ = 0;      // index into the range table

    // Relay, set-up, sensors.
    RoofCriteria criteria_;
    bool relayClosed_ = false;
    bool heaterAllowed_ = true;
    std::array<uint8_t, 2> irGains_ = {51, 60};
    double lastRainAt_ = -1e18;

    // Faults.
    struct ActiveRule {
        FaultRule Rule;
        int Seen = 0;
    };
    std::vector<ActiveRule> rules_;
    std::mt19937_64 random_;

    std::vector<TArrayByte> received_;
    uint64_t answersSent_ = 0;

    // Pseudo-terminal and thread.
    int master_ = -1;
    int wakeFd_ = -1;
    int wakeReadFd_ = -1;
    std::string devicePath_;
    std::thread thread_;
    std::atomic<bool> running_{false};
    std::atomic<bool> stopping_{false};
};

} // namespace halvex::sim
