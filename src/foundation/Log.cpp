#include "Log.h"

#include <chrono>
#include <cerrno>
#include <fcntl.h>
#include <fmt/format.h>
#include <thread>
#include <unistd.h>

#include "DateTime.h"
#include "Records.h"

std::mutex LogLock;

namespace {

std::thread::id mainThreadId = std::this_thread::get_id();

unsigned long CurrentThreadNumber() { return static_cast<unsigned long>(gettid()); }

} // namespace

bool IsMainThread() { return std::this_thread::get_id() == mainThreadId; }
void MarkMainThread() { mainThreadId = std::this_thread::get_id(); }

std::string LogFileNameFor(double when) {
    const auto p = DecodeDateTime(when);
    return fmt::format("{:d}_{:02d}_{:02d}_log.txt", p.Year, p.Month, p.Day);
}

std::string LogFileNameToday() { return LogFileNameFor(Now()); }

std::string LogLinePrefix(unsigned long threadId, double when) {
    const auto p = DecodeDateTime(when);
    return fmt::format("Thrd[{:04X}]: {}.{:03d} : ", threadId, DateTimeText(when), p.MilliSecond);
}

namespace {

// fileName empty: the daily file of the instant the line is stamped with, so that a line written
// across midnight lands in the file of the date it carries.
void AppendLine(const std::string& fileName, const std::string& text) {
    // Held for one write only: the main thread may wait for it without running events meanwhile,
    // so no handler ever runs nested inside a log line.
    std::lock_guard guard(LogLock);
    if (PathLogs.empty()) return; // before start-up names the folder, lines are lost
    const double when = Now();
    const std::string path = PathLogs + (fileName.empty() ? LogFileNameFor(when) : fileName);
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return;
    std::string line = LogLinePrefix(CurrentThreadNumber(), when);
    line += text;
    line += "\r\n";
    // One write per line keeps lines whole even when another program appends to the same file.
    const char* data = line.data();
    size_t left = line.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break; // disk full or similar: the rest of the line is lost, silently
        data += n;
        left -= static_cast<size_t>(n);
    }
    ::close(fd);
}

} // namespace

void LogWrite(const std::string& fileName, const std::string& text) {
    if (fileName.empty()) return;
    AppendLine(fileName, text);
}

void LogToday(const std::string& text) { AppendLine({}, text); }
