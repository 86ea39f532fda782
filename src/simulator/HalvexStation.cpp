#include "HalvexStation.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/prctl.h>
#include <termios.h>
#include <unistd.h>

#include <fmt/format.h>

#include "StationEncoding.h"

namespace halvex::sim {

namespace {

// 115200 baud, 8N1: ten bits per byte.
constexpr double kByteSeconds = 10.0 / 115200.0;
constexpr double kDryingSeconds = 600;
constexpr std::size_t kReceivedKept = 200000;

// Photodiode ranges, most sensitive first: gain and divider, their record codes, and the raw
// count rate (per second, before gain) up to which the range is used.
struct LightRange {
    uint8_t Gain, Divider, GainCode, DividerCode;
    double UpTo;
};
constexpr LightRange kLightRanges[] = {
    {100, 1, 2, 0, 5}, {10, 1, 1, 0, 50}, {1, 1, 0, 0, 500}, {1, 10, 0, 2, 5000}, {1, 100, 0, 3, 1e300},
};
constexpr int kLightRangeCount = sizeof(kLightRanges) / sizeof(kLightRanges[0]);
// Dark current of the photodiode, in the PC's units (the default offset it subtracts).
constexpr double kDarkRate = 0.0025;

void PutWordLE(TArrayByte& out, uint16_t value) {
    out.push_back(static_cast<uint8_t>(value & 0xFF));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void PutLongBE(TArrayByte& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>((value >> shift) & 0xFF));
}

bool ValidBcd(uint8_t b, int low, int high) {
    if ((b & 0x0F) > 9 || (b >> 4) > 9) return false;
    const int v = (b >> 4) * 10 + (b & 0x0F);
    return v >= low && v <= high;
}

int FromBcd(uint8_t b) {
    return (b >> 4) * 10 + (b & 0x0F);
}

int Sector(double degrees) {
    return static_cast<int>(std::lround(degrees / 22.5)) % 16;
}

uint16_t GustTenths(double kmh) {
    return static_cast<uint16_t>(std::clamp(std::lround(kmh / 3.6 * 10), 0L, 511L));
}

} // namespace

std::pair<int, int> ParseFirmwareVersion(const std::string& text) {
    const std::size_t dot = text.find('.');
    try {
        if (dot != std::string::npos && dot > 0 && dot + 1 < text.size()) {
            std::size_t used1 = 0, used2 = 0;
            const int major = std::stoi(text.substr(0, dot), &used1);
            const int minor = std::stoi(text.substr(dot + 1), &used2);
            if (used1 == dot && used2 == text.size() - dot - 1 && major >= 0 && major <= 255 && minor >= 0 &&
                minor <= 255)
                return {major, minor};
        }
    } catch (const std::exception&) {
    }
    throw std::invalid_argument("firmware version '" + text + "' is not MAJOR.MINOR (each 0 to 255)");
}

double RoofCriteria::TempSky() const {
    return Float24ToFloat(TempSky24[0], TempSky24[1], TempSky24[2]);
}

double RoofCriteria::Magnitude() const {
    return CounterToMagnitude(MagCounter);
}

HalvexStation::HalvexStation(StationOptions options)
    : options_(std::move(options)), model_(options_.Seed, options_.DayLengthSeconds),
      steadyStart_(std::chrono::steady_clock::now()), memory_(MemoryBytes, 0xFF),
      criteria_(options_.Criteria), random_(options_.Seed * 0x2545F4914F6CDD1DULL + 17) {
    const auto [major, minor] = ParseFirmwareVersion(options_.Firmware);
    versionMajor_ = static_cast<uint8_t>(major);
    versionMinor_ = static_cast<uint8_t>(minor);
    model_.SetScenario(options_.Scenario);
    interval_ = std::max<uint16_t>(1, options_.IntervalSec);
    nextRecordAt_ = interval_;
    const TDateTime start = options_.StartClock != 0 ? options_.StartClock : Now();
    clockBase_ = std::floor(start * 86400.0 + 1e-6) / 86400.0; // whole seconds, as the station counts
    lightRange_ = 0;
    if (options_.PrefillRecords || options_.PrefillWraps)
        PreFill(options_.PrefillRecords, options_.PrefillWraps);
    for (uint32_t k : options_.ErasedRecords)
        EraseRecord(k);
}

HalvexStation::~HalvexStation() {
    Stop();
}

bool HalvexStation::ModernFirmware() const {
    // Read as a decimal number and compared in single precision, as the PC does ("2.100" is 2.1);
    // from_chars ignores the locale.
    float version = 0;
    std::from_chars(options_.Firmware.data(), options_.Firmware.data() + options_.Firmware.size(), version);
    return version >= 2.65f;
}

// ---------------------------------------------------------------------------------------------
// Pseudo-terminal and serving thread

void HalvexStation::Start() {
    if (running_) return;
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0) throw std::runtime_error(std::string("posix_openpt: ") + std::strerror(errno));
    char name[256] = {};
    if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0 || ::ptsname_r(master_, name, sizeof name) != 0) {
        const std::string why = std::strerror(errno);
        ::close(master_);
        master_ = -1;
        throw std::runtime_error("pseudo-terminal set-up failed: " + why);
    }
    devicePath_ = name;
    // Raw 115200 8N1 from the start. The slave is not kept open here: a PC that opened it
    // exclusively could not open it again after closing it while another descriptor lived on.
    const int slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave >= 0) {
        termios tio{};
        ::tcgetattr(slave, &tio);
        ::cfmakeraw(&tio);
        ::cfsetispeed(&tio, B115200);
        ::cfsetospeed(&tio, B115200);
        ::tcsetattr(slave, TCSANOW, &tio);
        ::close(slave);
    }
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    ::fcntl(master_, F_SETFD, FD_CLOEXEC);
    int pipeFds[2];
    if (::pipe2(pipeFds, O_NONBLOCK | O_CLOEXEC) != 0) {
        Stop();
        throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
    }
    wakeFd_ = pipeFds[1];
    const int wakeRead = pipeFds[0];
    stopping_ = false;
    running_ = true;
    // Both ends of the wake pipe stay open until Stop has joined the thread: a read end closed by a
    // thread that saw the stop on its own would make Stop's wake-up write raise SIGPIPE.
    wakeReadFd_ = wakeRead;
    thread_ = std::thread([this, wakeRead] {
        // Byte pacing sleeps for tens of microseconds: the default 50 µs timer slack would double them.
        ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
        TArrayByte pending;
        auto lastByteAt = std::chrono::steady_clock::now();
        while (!stopping_) {
            pollfd fds[2] = {{master_, POLLIN, 0}, {wakeRead, POLLIN, 0}};
            const int ready = ::poll(fds, 2, 20);
            if (stopping_) break;
            if (ready > 0 && (fds[0].revents & POLLIN)) {
                uint8_t buffer[4096];
                const ssize_t n = ::read(master_, buffer, sizeof buffer);
                if (n > 0) {
                    pending.insert(pending.end(), buffer, buffer + n);
                    lastByteAt = std::chrono::steady_clock::now();
                } else if (n < 0 && errno == EIO) { // nobody has the device open
                    std::this_thread::sleep_for(std::chrono::milliseconds(20));
                }
            } else if (ready > 0 && (fds[0].revents & (POLLHUP | POLLERR))) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            {
                std::lock_guard lock(mutex_);
                UpdateLocked(ModelNowLocked());
            }
            HandleInput(pending, lastByteAt);
            // A frame left incomplete for a while is abandoned, as the station's receiver does.
            if (!pending.empty() &&
                std::chrono::steady_clock::now() - lastByteAt > std::chrono::milliseconds(200))
                pending.clear();
        }
    });
}

void HalvexStation::Stop() {
    if (thread_.joinable()) {
        stopping_ = true;
        const uint8_t wake = 1;
        [[maybe_unused]] const ssize_t n = ::write(wakeFd_, &wake, 1);
        thread_.join();
    }
    for (int* fd : {&wakeFd_, &wakeReadFd_, &master_})
        if (*fd >= 0) {
            ::close(*fd);
            *fd = -1;
        }
    running_ = false;
}

std::string HalvexStation::DevicePath() const {
    return devicePath_;
}

void HalvexStation::HandleInput(TArrayByte& pending, std::chrono::steady_clock::time_point arrived) {
    for (;;) {
        const auto start = std::find(pending.begin(), pending.end(), OrderStartByte);
        pending.erase(pending.begin(), start); // noise before a start byte
        if (pending.size() < 2) return;
        const std::size_t length = pending[1];
        if (length == 0) {
            pending.erase(pending.begin());
            continue;
        }
        if (pending.size() < length + 2) return;
        if (FrameChecksum(pending.data(), length + 1) != pending[length + 1]) {
            pending.erase(pending.begin()); // not a frame: look for the next start byte
            continue;
        }
        const TArrayByte order(pending.begin() + 2,
                               pending.begin() + 1 + static_cast<std::ptrdiff_t>(length));
        pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(length + 2));
        Transmission t;
        {
            std::lock_guard lock(mutex_);
            UpdateLocked(ModelNowLocked());
            const TArrayByte payload = AnswerLocked(order);
            t = ShapeAnswerLocked(order, payload);
            if (!t.Bytes.empty()) ++answersSent_;
        }
        if (options_.Verbose) {
            std::string line = "halvex-sim: order";
            for (uint8_t b : order)
                line += fmt::format(" {:02X}", b);
            line += t.Bytes.empty() ? " -> (no answer)" : " -> answer";
            for (uint8_t b : t.Bytes)
                line += fmt::format(" {:02X}", b);
            std::fprintf(stderr, "%s\n", line.c_str());
        }
        Transmit(t, length + 2, arrived);
    }
}

void HalvexStation::Transmit(const Transmission& t, std::size_t orderBytes,
                             std::chrono::steady_clock::time_point arrived) {
    if (t.Bytes.empty()) return;
    if (t.DelayMs > 0 && !SleepFor(t.DelayMs / 1000.0)) return;
    if (t.Paced) {
        // The order itself took its time on the line before the station could answer. Bytes leave
        // in groups of four (as a USB adapter hands them over), none before its time on the line;
        // the last one leaves on time to the microsecond.
        using Clock = std::chrono::steady_clock;
        const auto byteTime = [](double bytes) {
            return std::chrono::duration_cast<Clock::duration>(
                std::chrono::duration<double>(bytes * kByteSeconds));
        };
        const Clock::time_point start = arrived + std::chrono::milliseconds(t.DelayMs) + byteTime(orderBytes);
        constexpr std::size_t kGroup = 4;
        std::size_t sent = 0;
        while (sent < t.Bytes.size() && !stopping_) {
            const std::size_t upTo = std::min(t.Bytes.size(), sent + kGroup);
            const Clock::time_point due = start + byteTime(static_cast<double>(upTo));
            if (upTo == t.Bytes.size()) {
                std::this_thread::sleep_until(due - std::chrono::microseconds(100));
                while (Clock::now() < due) {
                }
            } else {
                std::this_thread::sleep_until(due);
            }
            if (!WriteAll(t.Bytes.data() + sent, upTo - sent)) return;
            sent = upTo;
        }
        return;
    }
    const std::size_t pieces = std::clamp<std::size_t>(t.Pieces, 1, t.Bytes.size());
    std::size_t sent = 0;
    for (std::size_t i = 0; i < pieces; ++i) {
        const std::size_t end = t.Bytes.size() * (i + 1) / pieces;
        if (i > 0 && !SleepFor(t.GapMs / 1000.0)) return;
        if (!WriteAll(t.Bytes.data() + sent, end - sent)) return;
        sent = end;
    }
}

bool HalvexStation::WriteAll(const uint8_t* data, std::size_t size) {
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (size > 0) {
        const ssize_t n = ::write(master_, data, size);
        if (n > 0) {
            data += n;
            size -= static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
        if (stopping_ || std::chrono::steady_clock::now() > giveUp) return false; // nobody reads
        pollfd fd{master_, POLLOUT, 0};
        ::poll(&fd, 1, 10);
    }
    return true;
}

bool HalvexStation::SleepFor(double seconds) {
    const auto until =
        std::chrono::steady_clock::now() + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                               std::chrono::duration<double>(seconds));
    while (!stopping_) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= until) return true;
        std::this_thread::sleep_for(
            std::min<std::chrono::steady_clock::duration>(until - now, std::chrono::milliseconds(50)));
    }
    return false;
}

// ---------------------------------------------------------------------------------------------
// Time, weather and the station's own work

double HalvexStation::ModelNowLocked() const {
    const double real =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - steadyStart_).count();
    return advanced_ + options_.Speed * real;
}

TDateTime HalvexStation::ClockAtLocked(double modelSeconds) const {
    return clockBase_ + (modelSeconds - clockBaseAt_) / 86400.0;
}

double HalvexStation::ClockSecondsOfDayLocked(double modelSeconds) const {
    const TDateTime clock = ClockAtLocked(modelSeconds);
    return (clock - std::floor(clock)) * 86400.0;
}

TWeather HalvexStation::WeatherLocked(double modelSeconds) const {
    return model_.At(modelSeconds, ClockSecondsOfDayLocked(modelSeconds));
}

void HalvexStation::UpdateLocked(double modelSeconds) {
    double at = updatedTo_;
    while (at < modelSeconds) {
        const double next = std::min(modelSeconds, std::floor(at) + 1.0);
        StepLocked(at, next);
        at = next;
    }
    updatedTo_ = std::max(updatedTo_, modelSeconds);
}

// Raw photodiode rate (counts per second before the gain) for a sky magnitude, dark current included.
static double RawLightRate(const TWeather& w) {
    return std::pow(10.0, MagnitudeToLumex(w.Magnitude)) + kDarkRate;
}

void HalvexStation::ChooseLightRangeLocked(double rawRate) {
    // Hysteresis keeps the range from flapping at a boundary.
    while (lightRange_ < kLightRangeCount - 1 && rawRate > kLightRanges[lightRange_].UpTo * 1.2)
        ++lightRange_;
    while (lightRange_ > 0 && rawRate < kLightRanges[lightRange_ - 1].UpTo * 0.7)
        --lightRange_;
}

void HalvexStation::StepLocked(double from, double to) {
    const TWeather w = WeatherLocked(to);
    const double rate = RawLightRate(w);
    ChooseLightRangeLocked(rate);
    const LightRange& range = kLightRanges[lightRange_];
    const double counts = rate * range.Gain / range.Divider * (to - from);
    lightCounter_ = std::fmod(lightCounter_ + counts, 4294967296.0);
    recordLightCounts_ += counts;
    if (w.Rain) lastRainAt_ = to;
    // The station checks its criteria once a second.
    if (to == std::floor(to) && !relayClosed_ && criteria_.DoWatch && CriterionMetLocked(w))
        relayClosed_ = true;
    while (nextRecordAt_ <= to) {
        if (nextRecordAt_ - lastOrderAt_ >= options_.IdleSeconds) WriteRecordLocked(nextRecordAt_);
        recordLightCounts_ = 0;
        nextRecordAt_ += interval_;
    }
}

bool HalvexStation::CriterionMetLocked(const TWeather& w) const {
    return w.Rain || w.SkyMinusAmbient >= criteria_.TempSky() || w.Humidity >= criteria_.RhByte ||
           w.GustKmh >= criteria_.WindKmh || (criteria_.Light && w.Magnitude <= criteria_.Magnitude());
}

int HalvexStation::HeaterPowerLocked(const TWeather& w, double at) const {
    if (!heaterAllowed_) return 0;
    if (w.Rain) return 100;
    if (w.AmbientC < 0) return 80;
    if (at - lastRainAt_ < kDryingSeconds) return 60;
    if (w.AmbientC < 4 && w.Humidity > 85) return 50;
    return 0;
}

void HalvexStation::WriteRecordLocked(double at) {
    const TWeather w = WeatherLocked(at);
    const TArrayByte record = EncodeRecordLocked(at, w, recordLightCounts_, lightRange_);
    std::copy(record.begin(), record.end(),
              memory_.begin() + static_cast<std::ptrdiff_t>(nextIndex_ * RecordSize));
    if (!options_.RecordLog.empty()) {
        if (std::FILE* log = std::fopen(options_.RecordLog.c_str(), "a")) {
            const TDateTimeParts c = DecodeDateTime(ClockAtLocked(at) + 1e-9);
            std::fprintf(log, "%04d-%02d-%02d %02d:%02d:%02d\n", c.Year, c.Month, c.Day, c.Hour, c.Minute, c.Second);
            std::fclose(log);
        }
    }
    if (++nextIndex_ == RingRecords) {
        nextIndex_ = 0;
        wraps_ = std::min<uint32_t>(255, wraps_ + 1);
    }
}

TArrayByte HalvexStation::EncodeRecordLocked(double at, const TWeather& w, double lightCounts,
                                             int range) const {
    const TDateTimeParts c = DecodeDateTime(ClockAtLocked(at) + 1e-9);
    const LightRange& r = kLightRanges[range];
    TArrayByte out;
    out.reserve(RecordSize);
    out.push_back(ToBcd(c.Year - 2000));
    out.push_back(static_cast<uint8_t>(ToBcd(c.Month) | (w.Rain ? 0 : 0x80)));
    out.push_back(static_cast<uint8_t>(ToBcd(c.Day) | (r.DividerCode << 6)));
    out.push_back(static_cast<uint8_t>(ToBcd(c.Hour) | (r.GainCode << 6)));
    out.push_back(ToBcd(c.Minute));
    out.push_back(ToBcd(c.Second));
    if (options_.GustSensor || options_.AnalogWind) {
        const uint16_t tenths = GustTenths(w.GustKmh);
        out.push_back(static_cast<uint8_t>(Sector(w.WindDirDeg) | ((tenths >> 8) << 7)));
        out.push_back(static_cast<uint8_t>(tenths & 0xFF));
    } else {
        out.push_back(0x40); // no wind data
        out.push_back(0);
    }
    PutWordLE(out, VoltsToCount(SkyDegreesToVolts(w.AmbientC + w.SkyMinusAmbient)));
    PutWordLE(out, HumidityToCount(w.Humidity));
    PutWordLE(out, TemperatureToCount(w.AmbientC));
    // 0xFFFFFF means "no light data": a real count stops just below it.
    const auto counts = static_cast<uint32_t>(std::clamp(std::lround(lightCounts), 0L, 0xFFFFFEL));
    out.push_back(static_cast<uint8_t>(counts & 0xFF));
    out.push_back(static_cast<uint8_t>((counts >> 8) & 0xFF));
    out.push_back(static_cast<uint8_t>(counts >> 16));
    return out;
}

// ---------------------------------------------------------------------------------------------
// Orders

TArrayByte HalvexStation::AnswerLocked(const TArrayByte& order) {
    if (received_.size() >= kReceivedKept)
        received_.erase(received_.begin(), received_.begin() + kReceivedKept / 2);
    received_.push_back(order);
    lastOrderAt_ = updatedTo_;
    const TWeather w = WeatherLocked(updatedTo_);
    const uint8_t code = order[0];
    switch (code) {
    case OrderGetVersion:
        return VersionAnswerLocked();
    case OrderGetWeather:
        return WeatherAnswerLocked();
    case OrderSetDate:
        if (!SetDateLocked(order)) return {};
        return {code};
    case OrderSetIR:
        if (order.size() < 3) return {};
        irGains_ = {order[1], order[2]};
        return {code};
    case OrderGetLight: {
        TArrayByte out;
        PutLongBE(out, static_cast<uint32_t>(lightCounter_));
        out.push_back(kLightRanges[lightRange_].Divider);
        out.push_back(kLightRanges[lightRange_].Gain);
        return out;
    }
    case OrderGetGustWind: {
        TArrayByte out(GustWindAnswerSize, 0);
        const uint16_t status = options_.GustSensor ? 0x0000 : 0x8000;
        out[1] = static_cast<uint8_t>(status & 0xFF);
        out[2] = static_cast<uint8_t>(status >> 8);
        if (options_.GustSensor) {
            const uint16_t tenths = GustTenths(w.GustKmh);
            out[11] = static_cast<uint8_t>(Sector(w.WindDirDeg));
            out[12] = static_cast<uint8_t>(tenths & 0xFF);
            out[13] = static_cast<uint8_t>(tenths >> 8);
        }
        return out;
    }
    case OrderGetIRGain:
        return {0, 0, irGains_[0], irGains_[1]};
    case OrderGetFlags:
        return FlagsAnswerLocked();
    case OrderReadRecord: {
        if (order.size() < 4) return {};
        const uint32_t address =
            ((uint32_t{order[1]} << 16) | (uint32_t{order[2]} << 8) | order[3]) & AddressMask;
        TArrayByte out(RecordSize);
        for (std::size_t i = 0; i < RecordSize; ++i)
            out[i] = memory_[(address + i) % MemoryBytes];
        return out;
    }
    case OrderSetup:
        if (order.size() < 13) return {};
        SetupLocked(order);
        return {code};
    case OrderGetAnalogWind: {
        TArrayByte out;
        if (options_.AnalogWind) {
            PutWordLE(out, AnalogWindSpeedCount(w.GustKmh / 3.6));
            PutWordLE(out, AnalogWindDirCount(w.WindDirDeg));
        } else {
            out.assign(AnalogWindAnswerSize, 0); // no sensor: no current, read as no signal
        }
        return out;
    }
    case OrderRearm:
        relayClosed_ = false;
        return {code};
    case OrderGetCriteria:
        if (!ModernFirmware()) return {}; // unknown to older firmware
        return CriteriaAnswerLocked();
    default:
        return {}; // unknown orders are ignored
    }
}

TArrayByte HalvexStation::VersionAnswerLocked() const {
    TArrayByte out = {versionMajor_, versionMinor_};
    const uint32_t p = nextIndex_ * RecordSize;
    out.push_back(static_cast<uint8_t>(p >> 16));
    out.push_back(static_cast<uint8_t>((p >> 8) & 0xFF));
    out.push_back(static_cast<uint8_t>(p & 0xFF));
    out.push_back(static_cast<uint8_t>(wraps_));
    PutWordLE(out, interval_);
    PutLongBE(out, static_cast<uint32_t>(std::max(0.0, std::floor(updatedTo_))));
    out.push_back(heaterAllowed_ ? 1 : 0);
    if (!ModernFirmware()) { // criteria follow, the sky threshold low byte first
        out.push_back(criteria_.DoWatch ? 1 : 0);
        out.push_back(criteria_.RhByte);
        out.push_back(criteria_.WindKmh);
        out.push_back(criteria_.Light ? 1 : 0);
        out.push_back(criteria_.TempSky24[2]);
        out.push_back(criteria_.TempSky24[1]);
        out.push_back(criteria_.TempSky24[0]);
    }
    return out;
}

TArrayByte HalvexStation::WeatherAnswerLocked() const {
    const TWeather w = WeatherLocked(updatedTo_);
    const TDateTimeParts c = DecodeDateTime(ClockAtLocked(updatedTo_));
    TArrayByte out;
    out.reserve(WeatherAnswerSize);
    PutWordLE(out, TemperatureToCount(w.AmbientC));
    PutWordLE(out, SupplyVoltsToCount(w.SupplyVolts));
    PutWordLE(out, HumidityToCount(w.Humidity));
    for (int v : {c.Second, c.Minute, c.Hour, c.Day, c.Month, c.Year - 2000})
        out.push_back(ToBcd(v));
    PutWordLE(out, TemperatureToCount(w.AmbientC + 0.15 * HeaterPowerLocked(w, updatedTo_)));
    PutWordLE(out, VoltsToCount(SkyDegreesToVolts(w.AmbientC + w.SkyMinusAmbient)));
    // The PC takes 2 °C off the thermistor reading; the detector body sits half a degree above the air.
    PutWordLE(out, VoltsToCount(ThermistorDegreesToVolts(w.AmbientC + 2.5)));
    out.push_back(w.Rain ? 0 : 1);
    return out;
}

TArrayByte HalvexStation::FlagsAnswerLocked() const {
    const TWeather w = WeatherLocked(updatedTo_);
    TArrayByte out(FlagsAnswerSize, 0);
    out[3] = static_cast<uint8_t>(HeaterPowerLocked(w, updatedTo_));
    out[13] = w.Rain ? 1 : 0;
    out[14] = (!w.Rain && updatedTo_ - lastRainAt_ < kDryingSeconds && heaterAllowed_) ? 1 : 0;
    out[15] = (w.AmbientC < 0 && heaterAllowed_) ? 1 : 0;
    out[16] = relayClosed_ ? 1 : 0;
    return out;
}

TArrayByte HalvexStation::CriteriaAnswerLocked() const {
    TArrayByte out = {static_cast<uint8_t>(criteria_.DoWatch ? 1 : 0),
                      criteria_.RhByte,
                      criteria_.WindKmh,
                      static_cast<uint8_t>(criteria_.Light ? 1 : 0),
                      criteria_.TempSky24[2],
                      criteria_.TempSky24[1],
                      criteria_.TempSky24[0]};
    PutLongBE(out, criteria_.MagCounter);
    return out;
}

bool HalvexStation::SetDateLocked(const TArrayByte& o) {
    if (o.size() < 9) return false;
    if (!ValidBcd(o[1], 0, 59) || !ValidBcd(o[2], 0, 59) || !ValidBcd(o[3], 0, 23) ||
        !ValidBcd(o[4], 1, 31) || !ValidBcd(o[5], 1, 12) || !ValidBcd(o[6], 0, 99))
        return false;
    const int day = FromBcd(o[4]), month = FromBcd(o[5]), year = 2000 + FromBcd(o[6]);
    const TDateTime date = EncodeDateTime(year, month, day, FromBcd(o[3]), FromBcd(o[2]), FromBcd(o[1]));
    if (DecodeDateTime(date).Day != day) return false; // 31 February and the like
    clockBase_ = date;
    clockBaseAt_ = updatedTo_;
    interval_ = std::max<uint16_t>(1, static_cast<uint16_t>(o[7] | (o[8] << 8)));
    nextIndex_ = 0;
    wraps_ = 0;
    nextRecordAt_ = updatedTo_ + interval_;
    recordLightCounts_ = 0;
    return true;
}

void HalvexStation::SetupLocked(const TArrayByte& o) {
    heaterAllowed_ = o[1] != 0;
    criteria_.DoWatch = o[2] != 0;
    criteria_.RhByte = o[3];
    criteria_.WindKmh = o[4];
    criteria_.Light = o[5] != 0;
    criteria_.TempSky24 = {o[6], o[7], o[8]};
    criteria_.MagCounter = (uint32_t{o[9]} << 24) | (uint32_t{o[10]} << 16) | (uint32_t{o[11]} << 8) | o[12];
}

// ---------------------------------------------------------------------------------------------
// Faults

HalvexStation::Transmission HalvexStation::ShapeAnswerLocked(const TArrayByte& order,
                                                             const TArrayByte& payload) {
    Transmission t;
    const LineFaults& f = options_.Faults;
    if (payload.empty() || f.Silent || ScenarioSilent(model_.Scenario(), updatedTo_)) return t;

    // The first scripted rule that applies to this answer.
    bool scripted = false;
    FaultRule rule;
    for (auto it = rules_.begin(); it != rules_.end(); ++it) {
        const FaultRule& r = it->Rule;
        if (r.Order >= 0 && r.Order != order[0]) continue;
        if (r.Address >= 0) {
            if (order[0] != OrderReadRecord || order.size() < 4) continue;
            const int address = (order[1] << 16) | (order[2] << 8) | order[3];
            if (address != r.Address) continue;
        }
        if (++it->Seen <= r.Skip) continue;
        rule = r;
        scripted = true;
        if (it->Rule.Count > 0 && --it->Rule.Count == 0) rules_.erase(it);
        break;
    }
    auto is = [&](FaultKind k) { return scripted && rule.Kind == k; };
    std::uniform_real_distribution<double> chance(0.0, 1.0);
    auto roll = [&](double rate) { return rate > 0 && chance(random_) < rate; };

    if (is(FaultKind::Silence)) return t;
    TArrayByte body = payload;
    if (is(FaultKind::ShortAnswer) || roll(f.ShortAnswerRate)) {
        std::size_t keep = body.size() - 1;
        if (is(FaultKind::ShortAnswer) && rule.Param > 0)
            keep = std::min<std::size_t>(rule.Param, body.size());
        if (is(FaultKind::ShortAnswer) && rule.Param < 0)
            keep = body.size() - std::min<std::size_t>(static_cast<std::size_t>(-rule.Param), body.size());
        body.resize(keep);
    }
    TArrayByte frame = BuildAnswerFrame(body);
    if (is(FaultKind::LongLength) || roll(f.LongLengthRate)) {
        const int length =
            (is(FaultKind::LongLength) && rule.Param > MaxAnswerLength) ? std::min(rule.Param, 255) : 40;
        body.resize(static_cast<std::size_t>(length - 1), 0);
        frame = {AnswerStartByte, static_cast<uint8_t>(length)};
        frame.insert(frame.end(), body.begin(), body.end());
        frame.push_back(FrameChecksum(frame));
    }
    if (is(FaultKind::WrongStartByte) || roll(f.WrongStartRate)) {
        frame[0] = 0x1E;
        frame.back() = FrameChecksum(frame.data(), frame.size() - 1);
    }
    if (is(FaultKind::BadChecksum) || roll(f.BadChecksumRate))
        frame.back() = static_cast<uint8_t>(frame.back() + 1);
    if (is(FaultKind::CorruptByte))
        frame[static_cast<std::size_t>(std::max(0, rule.Param)) % frame.size()] ^= 0xFF;
    if (f.CorruptByteRate > 0)
        for (uint8_t& b : frame)
            if (roll(f.CorruptByteRate)) b ^= static_cast<uint8_t>(1 + random_() % 255);
    if (is(FaultKind::Truncate)) frame.resize(std::min<std::size_t>(std::max(0, rule.Param), frame.size()));
    if (f.LostByteRate > 0) {
        TArrayByte kept;
        for (uint8_t b : frame)
            if (!roll(f.LostByteRate)) kept.push_back(b);
        frame.swap(kept);
    }
    t.Bytes = std::move(frame);
    t.DelayMs = f.DelayMs + (is(FaultKind::Delay) ? rule.Param : 0);
    t.Pieces = is(FaultKind::Split) ? (rule.Param > 1 ? rule.Param : 3) : f.SplitPieces;
    t.GapMs = f.SplitGapMs;
    t.Paced = f.LineTiming;
    return t;
}

// ---------------------------------------------------------------------------------------------
// Test and tool interface

TArrayByte HalvexStation::Answer(const TArrayByte& order) {
    if (order.empty()) return {};
    std::lock_guard lock(mutex_);
    UpdateLocked(ModelNowLocked());
    return AnswerLocked(order);
}

void HalvexStation::AdvanceTime(double seconds) {
    std::lock_guard lock(mutex_);
    advanced_ += std::max(0.0, seconds);
    UpdateLocked(ModelNowLocked());
}

double HalvexStation::ModelSeconds() const {
    std::lock_guard lock(mutex_);
    return ModelNowLocked();
}

TDateTime HalvexStation::Clock() const {
    std::lock_guard lock(mutex_);
    return ClockAtLocked(ModelNowLocked());
}

void HalvexStation::SetClock(TDateTime clock) {
    std::lock_guard lock(mutex_);
    UpdateLocked(ModelNowLocked());
    clockBase_ = clock;
    clockBaseAt_ = updatedTo_;
}

void HalvexStation::AddFault(const FaultRule& rule) {
    std::lock_guard lock(mutex_);
    if (rule.Count != 0) rules_.push_back({rule, 0});
}

void HalvexStation::ClearFaults() {
    std::lock_guard lock(mutex_);
    rules_.clear();
}

void HalvexStation::SetLineFaults(const LineFaults& faults) {
    std::lock_guard lock(mutex_);
    options_.Faults = faults;
}

LineFaults HalvexStation::Faults() const {
    std::lock_guard lock(mutex_);
    return options_.Faults;
}

bool HalvexStation::RelayClosed() const {
    std::lock_guard lock(mutex_);
    return relayClosed_;
}

RoofCriteria HalvexStation::Criteria() const {
    std::lock_guard lock(mutex_);
    return criteria_;
}

void HalvexStation::SetCriteria(const RoofCriteria& criteria) {
    std::lock_guard lock(mutex_);
    criteria_ = criteria;
}

uint32_t HalvexStation::RecordPointer() const {
    std::lock_guard lock(mutex_);
    return nextIndex_ * RecordSize;
}

uint8_t HalvexStation::Wraps() const {
    std::lock_guard lock(mutex_);
    return static_cast<uint8_t>(wraps_);
}

uint16_t HalvexStation::Interval() const {
    std::lock_guard lock(mutex_);
    return interval_;
}

void HalvexStation::PreFill(uint32_t records, uint32_t wraps) {
    std::lock_guard lock(mutex_);
    nextIndex_ = records % RingRecords;
    wraps_ = std::min<uint32_t>(255, wraps + records / RingRecords);
    const uint32_t total = wraps_ > 0 ? RingRecords : nextIndex_;
    // The newest record is of this moment; the oldest lies where the next one will be written.
    const double now = updatedTo_;
    for (uint32_t j = 0; j < total; ++j) {
        const double at = now - static_cast<double>(total - 1 - j) * interval_;
        const TWeather w = WeatherLocked(at);
        const double rate = RawLightRate(w);
        int range = 0;
        while (range < kLightRangeCount - 1 && rate > kLightRanges[range].UpTo)
            ++range;
        const double counts = rate * kLightRanges[range].Gain / kLightRanges[range].Divider * interval_;
        const TArrayByte record = EncodeRecordLocked(at, w, counts, range);
        const uint32_t index = wraps_ > 0 ? (nextIndex_ + j) % RingRecords : j;
        std::copy(record.begin(), record.end(),
                  memory_.begin() + static_cast<std::ptrdiff_t>(index * RecordSize));
    }
}

void HalvexStation::EraseRecord(uint32_t recordNumber) {
    if (recordNumber < 1 || recordNumber > RingRecords)
        throw std::out_of_range("record number out of the ring");
    std::lock_guard lock(mutex_);
    std::fill_n(memory_.begin() + static_cast<std::ptrdiff_t>((recordNumber - 1) * RecordSize), RecordSize,
                0xFF);
}

TArrayByte HalvexStation::Record(uint32_t recordNumber) const {
    if (recordNumber < 1 || recordNumber > RingRecords)
        throw std::out_of_range("record number out of the ring");
    std::lock_guard lock(mutex_);
    const auto start = memory_.begin() + static_cast<std::ptrdiff_t>((recordNumber - 1) * RecordSize);
    return TArrayByte(start, start + RecordSize);
}

TWeather HalvexStation::Weather() const {
    std::lock_guard lock(mutex_);
    return WeatherLocked(updatedTo_);
}

void HalvexStation::SetScenario(std::vector<ScenarioItem> scenario) {
    std::lock_guard lock(mutex_);
    model_.SetScenario(std::move(scenario));
}

bool HalvexStation::HeaterAllowed() const {
    std::lock_guard lock(mutex_);
    return heaterAllowed_;
}

std::array<uint8_t, 2> HalvexStation::IrGains() const {
    std::lock_guard lock(mutex_);
    return irGains_;
}

uint32_t HalvexStation::LightCounter() const {
    std::lock_guard lock(mutex_);
    return static_cast<uint32_t>(lightCounter_);
}

std::vector<TArrayByte> HalvexStation::ReceivedOrders() const {
    std::lock_guard lock(mutex_);
    return received_;
}

void HalvexStation::ClearReceivedOrders() {
    std::lock_guard lock(mutex_);
    received_.clear();
}

uint64_t HalvexStation::AnswersSent() const {
    std::lock_guard lock(mutex_);
    return answersSent_;
}

} // namespace halvex::sim
