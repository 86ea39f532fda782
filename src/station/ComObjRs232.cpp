#include "ComObjRs232.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <fmt/printf.h>
#include <mutex>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

#include "Conversions.h"
#include "Log.h"
#include "UserText.h"

namespace {

std::mutex timeoutsMutex;
TComTimeouts timeouts;

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// Raw 115200 8N1, no flow control, reads return what has arrived. Results are not examined:
// a pseudo-terminal or an adapter may refuse part of it and still carry the bytes.
void ConfigureLine(int fd) {
    termios tio{};
    ::tcgetattr(fd, &tio);
    ::cfmakeraw(&tio);
    tio.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS | HUPCL);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_iflag &= ~(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    ::cfsetispeed(&tio, B115200);
    ::cfsetospeed(&tio, B115200);
    ::tcsetattr(fd, TCSANOW, &tio);
    int lines = TIOCM_DTR | TIOCM_RTS;
    ::ioctl(fd, TIOCMBIC, &lines);
}

} // namespace

void TComObjRs232::SetTimeoutsForTests(const TComTimeouts& t) {
    std::lock_guard guard(timeoutsMutex);
    timeouts = t;
}

TComTimeouts TComObjRs232::Timeouts() {
    std::lock_guard guard(timeoutsMutex);
    return timeouts;
}

TComObjRs232::~TComObjRs232() {
    if (HCom > 0) ::close(HCom);
}

std::string TComObjRs232::DeviceNameOf(uint32_t NumCom) {
    // COM 0 names no device; opening it fails like any missing port.
    return NumCom == 0 ? std::string("/dev/null/COM0") : fmt::format("/dev/ttyS{}", NumCom - 1);
}

std::string TComObjRs232::PortText() const {
    return devicePath_.empty() ? fmt::format("COM{}", ComNum) : devicePath_;
}

std::string TComObjRs232::PortPattern(const char* sourceText) const {
    std::string pattern = Tr("ComObjRs232", sourceText);
    std::string port = PortText();
    // The rest of the pattern still goes through sprintf: a '%' in a path must stay literal.
    for (size_t at = port.find('%'); at != std::string::npos; at = port.find('%', at + 2))
        port.insert(at, 1, '%');
    const auto at = pattern.find("COM%d");
    if (at != std::string::npos) pattern.replace(at, 5, port);
    return pattern;
}

void TComObjRs232::OpenCom(uint32_t NumCom, bool OverBlueTooth) {
    if (NumCom > 255) throw EOrvanelError(RangeErrorText);
    ComNum = static_cast<int32_t>(NumCom);
    devicePath_.clear();
    OpenNamed(DeviceNameOf(NumCom), OverBlueTooth);
}

void TComObjRs232::OpenDevice(const std::string& path, bool OverBlueTooth) {
    ComNum = 0;
    devicePath_ = path;
    OpenNamed(path, OverBlueTooth);
}

void TComObjRs232::OpenConfigured(uint32_t portCom, const std::string& portDevice, bool OverBlueTooth) {
    if (portDevice.empty())
        OpenCom(portCom, OverBlueTooth);
    else
        OpenDevice(portDevice, OverBlueTooth);
}

void TComObjRs232::OpenNamed(const std::string& device, bool OverBlueTooth) {
    if (HCom > 0) ::close(HCom); // reopening must not leak the old descriptor
    HCom = 0;
    overBlueTooth_ = OverBlueTooth;
    LogToday("Try to open COM : " + device);
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0 || ::ioctl(fd, TIOCEXCL) != 0) {
        if (fd >= 0) ::close(fd);
        HCom = -1;
        LogToday("Failed to open COM : " + device);
        throw EOrvanelError(
            fmt::sprintf(PortPattern(TrNoop("ComObjRs232", "Ne peut ouvrir le port COM%d !"))));
    }
    HCom = fd;
    LogToday("Succes opening open COM : " + device);
    ConfigureLine(fd);
    if (OverBlueTooth) std::this_thread::sleep_for(std::chrono::milliseconds(Timeouts().BlueToothSettleMs));
}

void TComObjRs232::CloseCom() {
    if (HCom == 0) return;
    if (HCom > 0) {
        // The exclusive mode outlives the descriptor on some devices (pseudo-terminals): release
        // it, or the next open of the same port by this user fails with "busy".
        ::ioctl(HCom, TIOCNXCL);
        ::close(HCom);
    }
    HCom = -1;
    LogToday("COM Closed");
}

void TComObjRs232::SendOrder_ReceiveFeedBack(const TArrayByte& InOrder, TArrayByte& OutFeedBack) {
    Exchange(InOrder, OutFeedBack, false);
}

void TComObjRs232::SendOrder_ReceiveFeedBackQuick(const TArrayByte& InOrder, TArrayByte& OutFeedBack) {
    Exchange(InOrder, OutFeedBack, true);
}

void TComObjRs232::NoteReadWriteError(int error) {
    if (error == EIO || error == ENXIO || error == ENODEV || error == EPIPE) hungUp_ = true;
}

void TComObjRs232::Fail(const std::string& message) const {
    if (hungUp_) throw EComPortLost(message);
    throw EOrvanelError(message);
}

void TComObjRs232::Exchange(const TArrayByte& InOrder, TArrayByte& OutFeedBack, bool quick) {
    const TArrayByte frame = halvex::BuildOrderFrame(InOrder); // range error above 254 bytes
    hungUp_ = false;
    DiscardStaleInput(InOrder.empty() ? 0 : InOrder[0]);
    OutFeedBack.assign(halvex::AnswerBufferSize, 0);
    if (quick)
        QuickWriteBuffer(frame);
    else
        WriteBuffer(frame);
    const size_t count = ReadBuffer(OutFeedBack);
    if (OutFeedBack[0] != halvex::AnswerStartByte) {
        if (quick) throw EOrvanelError(Tr("ComObjRs232", "Error -> Back order failed !!"));
        throw EOrvanelError(
            fmt::sprintf(PortPattern(TrNoop("ComObjRs232", "Pas de réponse du système distant (COM%d)"))));
    }
    OutFeedBack.resize(count);
    if (halvex::FrameChecksum(OutFeedBack.data(), count - 1) != OutFeedBack[count - 1]) {
        if (quick) throw EOrvanelError(Tr("ComObjRs232", "Error -> Back order checksum failed !!"));
        throw EOrvanelError(Tr("ComObjRs232", "Erreur de checksum !!"));
    }
    const size_t length = OutFeedBack[1];
    OutFeedBack.erase(OutFeedBack.begin(), OutFeedBack.begin() + 2);
    OutFeedBack.resize(length - 1);
}

// A late or partial answer of an earlier failed exchange must not be taken for the next answer.
void TComObjRs232::DiscardStaleInput(uint8_t orderCode) {
    if (HCom <= 0) return;
    uint8_t scratch[256];
    size_t dropped = 0;
    // Bounded, so that a line that never stops sending cannot hold the exchange here.
    while (dropped < 65536) {
        const ssize_t n = ::read(HCom, scratch, sizeof scratch);
        if (n > 0) {
            dropped += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) NoteReadWriteError(errno);
        break;
    }
    if (dropped > 0)
        LogToday(fmt::format("Discarded {} stale byte(s) before order 0x{:02X}", dropped, orderCode));
}

size_t TComObjRs232::WriteFrame(const TArrayByte& frame) {
    if (HCom <= 0) return 0;
    ::tcdrain(HCom);
    const int limit = overBlueTooth_ ? Timeouts().WriteTotalBlueToothMs : Timeouts().WriteTotalMs;
    const auto deadline = Clock::now() + std::chrono::milliseconds(limit);
    size_t written = 0;
    while (written < frame.size()) {
        const ssize_t n = ::write(HCom, frame.data() + written, frame.size() - written);
        if (n > 0) {
            written += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) {
            NoteReadWriteError(errno);
            break;
        }
        pollfd p{HCom, POLLOUT, 0};
        const int wait = MsLeft(deadline);
        if (wait == 0 || ::poll(&p, 1, wait) <= 0) break;
        if ((p.revents & POLLOUT) == 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL))) {
            hungUp_ = true;
            break;
        }
    }
    return written;
}

void TComObjRs232::WriteBuffer(const TArrayByte& frame) {
    const size_t written = WriteFrame(frame);
    if (written != frame.size()) {
        Fail(fmt::sprintf(PortPattern(TrNoop("ComObjRs232", "Erreur d'écriture sur COM%d [%d,%d] !")),
                          static_cast<int>(written), static_cast<int>(frame.size())));
    }
}

void TComObjRs232::QuickWriteBuffer(const TArrayByte& frame) {
    const size_t written = WriteFrame(frame);
    if (written != frame.size())
        Fail(fmt::sprintf(Tr("ComObjRs232", "WriteBuffer Error %d , %d!"), static_cast<int>(written),
                          static_cast<int>(frame.size())));
}

// Reads up to count bytes within one total read time-out; returns how many arrived.
size_t TComObjRs232::ReadCount(uint8_t* into, size_t count) {
    if (HCom <= 0) return 0;
    const auto deadline = Clock::now() + std::chrono::milliseconds(Timeouts().ReadTotalMs);
    size_t got = 0;
    while (got < count) {
        const ssize_t n = ::read(HCom, into + got, count - got);
        if (n > 0) {
            got += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) {
            NoteReadWriteError(errno);
            break;
        }
        pollfd p{HCom, POLLIN, 0};
        const int wait = MsLeft(deadline);
        if (wait == 0) break;
        const int ready = ::poll(&p, 1, wait);
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) break;
        // A hang-up with nothing to read (peer gone) ends the wait early: nothing more can arrive.
        if ((p.revents & POLLIN) == 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL))) {
            hungUp_ = true;
            break;
        }
    }
    return got;
}

size_t TComObjRs232::ReadBuffer(TArrayByte& buffer) {
    const size_t header = ReadCount(buffer.data(), 2);
    if (header < 2)
        Fail(fmt::sprintf(
            PortPattern(
                TrNoop("ComObjRs232",
                       "Erreur de lecture port COM%d (Entete)  lus=%d (octets), attendus=%d! (octets) !")),
            static_cast<int>(header), 2));
    const size_t length = buffer[1];
    // The answer buffer holds L + 2 bytes at most; a longer frame is refused before anything is
    // stored past it (its bytes are dropped before the next order).
    if (length > halvex::MaxAnswerLength)
        Fail(fmt::sprintf(
            PortPattern(
                TrNoop("ComObjRs232",
                       "Erreur de lecture port COM%d (Entete) longueur annoncée=%d (octets), maximum=%d "
                       "(octets) !")),
            static_cast<int>(length), static_cast<int>(halvex::MaxAnswerLength)));
    const size_t body = ReadCount(buffer.data() + 2, length);
    if (body < length)
        Fail(fmt::sprintf(
            PortPattern(
                TrNoop("ComObjRs232",
                       "Erreur de lecture port COM%d (Données) lus=%d (octets), attendus=%d! (octets) !")),
            static_cast<int>(body), static_cast<int>(length)));
    return length + 2;
}
