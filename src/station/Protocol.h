// Halvex serial protocol: frame layout, order codes and memory geometry.
// Header-only and plain C++ so that the PC side and the station simulator share one definition.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <vector>

namespace halvex {

using TArrayByte = std::vector<uint8_t>;

// Frame: start byte, L (bytes that follow it, payload + checksum), payload, checksum.
constexpr uint8_t OrderStartByte = 0x1D;  // PC to station
constexpr uint8_t AnswerStartByte = 0x1F; // station to PC

// The PC receives answers into a 24-byte buffer: L may not exceed 22 (payload at most 21 bytes).
constexpr std::size_t AnswerBufferSize = 24;
constexpr uint8_t MaxAnswerLength = AnswerBufferSize - 2;
constexpr std::size_t MaxAnswerPayload = MaxAnswerLength - 1;
// An order's L is one byte: at most 254 payload bytes.
constexpr std::size_t MaxOrderPayload = 254;

// Order codes: the first payload byte of every order.
constexpr uint8_t OrderGetVersion = 0x1A;    // version and memory state
constexpr uint8_t OrderGetWeather = 0x1B;    // weather block and station clock
constexpr uint8_t OrderSetDate = 0x1D;       // clock + record interval; restarts the memory
constexpr uint8_t OrderSetIR = 0x1E;         // two IR gain codes
constexpr uint8_t OrderGetLight = 0x22;      // photodiode counter, divider, gain
constexpr uint8_t OrderGetGustWind = 0x23;   // gust anemometer block
constexpr uint8_t OrderGetIRGain = 0x24;     // IR gain codes
constexpr uint8_t OrderGetFlags = 0x27;      // heater power and status flags
constexpr uint8_t OrderReadRecord = 0x31;    // one memory record, 3-byte address MSB first
constexpr uint8_t OrderSetup = 0x32;         // station set-up (heating, roof criteria)
constexpr uint8_t OrderGetAnalogWind = 0x33; // analog (4-20 mA) wind block
constexpr uint8_t OrderRearm = 0x34;         // re-arm the roof relay
constexpr uint8_t OrderGetCriteria = 0x35;   // roof-closing criteria (firmware 2.65 and later)

// Answer payload sizes the PC reads.
constexpr std::size_t VersionAnswerSize = 20;
constexpr std::size_t WeatherAnswerSize = 19;
constexpr std::size_t LightAnswerSize = 6;
constexpr std::size_t GustWindAnswerSize = 14;
constexpr std::size_t IRGainAnswerSize = 4;
constexpr std::size_t FlagsAnswerSize = 17;
constexpr std::size_t AnalogWindAnswerSize = 4;
constexpr std::size_t CriteriaAnswerSize = 11;

// Station memory: a ring of 17-byte records; record k (from 1) lies at (k - 1) * 17.
constexpr std::size_t RecordSize = 17;
constexpr uint32_t RingRecords = 7710;
constexpr uint32_t RingBytes = RingRecords * RecordSize; // 131070
constexpr uint32_t AddressMask = 0xFFFFFF;

constexpr uint32_t RecordAddress(uint32_t recordNumber) {
    return ((recordNumber - 1) * RecordSize) & AddressMask;
}

// Sum modulo 256 of every byte before the checksum.
inline uint8_t FrameChecksum(const uint8_t* bytes, std::size_t count) {
    unsigned sum = 0;
    for (std::size_t i = 0; i < count; ++i)
        sum += bytes[i];
    return static_cast<uint8_t>(sum & 0xFF);
}

inline uint8_t FrameChecksum(const TArrayByte& bytes) {
    return FrameChecksum(bytes.data(), bytes.size());
}

// A complete frame around a payload: start, L = payload + 1, payload, checksum.
inline TArrayByte BuildFrame(uint8_t startByte, const TArrayByte& payload) {
    if (payload.size() > MaxOrderPayload) throw std::range_error("Range check error");
    TArrayByte frame;
    frame.reserve(payload.size() + 3);
    frame.push_back(startByte);
    frame.push_back(static_cast<uint8_t>(payload.size() + 1));
    frame.insert(frame.end(), payload.begin(), payload.end());
    frame.push_back(FrameChecksum(frame));
    return frame;
}

inline TArrayByte BuildOrderFrame(const TArrayByte& payload) {
    return BuildFrame(OrderStartByte, payload);
}
inline TArrayByte BuildAnswerFrame(const TArrayByte& payload) {
    return BuildFrame(AnswerStartByte, payload);
}

// Order [0x31, address MSB first] for record k.
inline TArrayByte ReadRecordOrder(uint32_t recordNumber) {
    const uint32_t a = RecordAddress(recordNumber);
    return {OrderReadRecord, static_cast<uint8_t>(a >> 16), static_cast<uint8_t>((a >> 8) & 0xFF),
            static_cast<uint8_t>(a & 0xFF)};
}

} // namespace halvex
