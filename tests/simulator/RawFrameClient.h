// A minimal PC end of the serial line for the simulator tests: raw frames over the pseudo-terminal,
// nothing of the program's own link classes.
#pragma once

#include <chrono>
#include <cstdint>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <vector>

#include "HalvexStation.h"
#include "Protocol.h"

namespace simtest {

using halvex::TArrayByte;

class RawFrameClient {
  public:
    explicit RawFrameClient(const std::string& device) {
        fd_ = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd_ < 0) throw std::runtime_error("cannot open " + device);
        termios tio{};
        ::tcgetattr(fd_, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(fd_, TCSANOW, &tio);
    }
    ~RawFrameClient() { ::close(fd_); }
    RawFrameClient(const RawFrameClient&) = delete;
    RawFrameClient& operator=(const RawFrameClient&) = delete;

    void SendRaw(const TArrayByte& bytes) {
        ::tcflush(fd_, TCIFLUSH); // nothing left over from an earlier exchange
        if (::write(fd_, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
            throw std::runtime_error("short write");
    }
    void Send(const TArrayByte& order) { SendRaw(halvex::BuildOrderFrame(order)); }

    // Bytes of one answer frame as they came: complete when the length byte is satisfied, or
    // whatever arrived before the time-out. ReadCalls() tells in how many reads they came.
    TArrayByte ReadFrame(int timeoutMs = 1000) {
        TArrayByte bytes;
        reads_ = 0;
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (bytes.size() < 2 || bytes.size() < std::size_t{bytes[1]} + 2) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                until - std::chrono::steady_clock::now());
            if (left.count() <= 0) break;
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
            uint8_t buffer[256];
            const ssize_t n = ::read(fd_, buffer, sizeof buffer);
            if (n > 0) {
                bytes.insert(bytes.end(), buffer, buffer + n);
                ++reads_;
            }
        }
        return bytes;
    }
    int ReadCalls() const { return reads_; }

    // The payload of a well-formed answer, or nothing.
    std::optional<TArrayByte> Exchange(const TArrayByte& order, int timeoutMs = 1000) {
        Send(order);
        return PayloadOf(ReadFrame(timeoutMs));
    }

    static std::optional<TArrayByte> PayloadOf(const TArrayByte& frame) {
        if (frame.size() < 3 || frame[0] != halvex::AnswerStartByte ||
            frame.size() != std::size_t{frame[1]} + 2 ||
            halvex::FrameChecksum(frame.data(), frame.size() - 1) != frame.back())
            return std::nullopt;
        return TArrayByte(frame.begin() + 2, frame.end() - 1);
    }

  private:
    int fd_ = -1;
    int reads_ = 0;
};

// A station on its pseudo-terminal with a client attached; time moves only when the test says.
struct RunningStation {
    explicit RunningStation(halvex::sim::StationOptions options = Manual())
        : station(std::move(options)), client((station.Start(), station.DevicePath())) {}
    static halvex::sim::StationOptions Manual() {
        halvex::sim::StationOptions o;
        o.Speed = 0;
        o.StartClock = EncodeDateTime(2026, 6, 21, 23, 30, 0);
        return o;
    }
    halvex::sim::HalvexStation station;
    RawFrameClient client;
};

inline uint16_t WordLE(const TArrayByte& b, std::size_t at) {
    return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}
inline uint32_t LongBE(const TArrayByte& b, std::size_t at) {
    return (uint32_t{b[at]} << 24) | (uint32_t{b[at + 1]} << 16) | (uint32_t{b[at + 2]} << 8) | b[at + 3];
}
inline int Bcd(uint8_t b) {
    return (b >> 4) * 10 + (b & 0x0F);
}

// The PC's decodings, written out here so that the tests check the station against the formulas
// and not against the program's own code.
inline double CountToTemperature(uint16_t n) {
    return (n / 4096.0 / 16 * 5 - 1.375) / 0.0225;
}
inline double CountToHumidity(uint16_t n) {
    return ((n * 5.0 / 16384 / 1.25 - 0.8) / 0.032);
}
inline double CountToSkyDegrees(uint16_t n) {
    return 23.1907514450867 * (n * 5.0 / 16384) - 68.0196531791908;
}

} // namespace simtest
