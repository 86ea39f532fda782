#include "CrashReport.h"

#include <algorithm>
#include <boost/stacktrace.hpp>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <dlfcn.h>
#include <execinfo.h>
#include <fcntl.h>
#include <filesystem>
#include <fmt/format.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "DateTime.h"
#include "Log.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kPendingPrefix = "crash_pending_";
constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
constexpr int kMaxFrames = 64;

// Everything the handler needs is prepared at installation: it only formats numbers into fixed
// buffers and writes.
char reportFolder[1024];
char executablePath[1024];
std::uintptr_t executableBase = 0;
alignas(16) char alternateStack[64 * 1024];

const char* SignalName(int signal) {
    switch (signal) {
    case SIGSEGV:
        return "SIGSEGV";
    case SIGBUS:
        return "SIGBUS";
    case SIGFPE:
        return "SIGFPE";
    case SIGILL:
        return "SIGILL";
    case SIGABRT:
        return "SIGABRT";
    default:
        return "signal";
    }
}

// A fixed buffer filled without allocating.
struct TLineBuffer {
    char Text[2048];
    std::size_t Length = 0;

    void Add(const char* s) {
        while (*s && Length < sizeof Text)
            Text[Length++] = *s++;
    }
    void AddUnsigned(unsigned long long value, unsigned base = 10) {
        char digits[32];
        int n = 0;
        do {
            digits[n++] = "0123456789abcdef"[value % base];
            value /= base;
        } while (value && n < 32);
        if (base == 16) Add("0x");
        while (n > 0 && Length < sizeof Text)
            Text[Length++] = digits[--n];
    }
};

void WriteAll(int fd, const char* data, std::size_t length) {
    while (length > 0) {
        const ssize_t written = ::write(fd, data, length);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return;
        data += written;
        length -= static_cast<std::size_t>(written);
    }
}

void WriteReport(int fd, int signal, const siginfo_t* info, std::time_t when, void* const* frames,
                 int count) {
    TLineBuffer b;
    b.Add("Orvanel stopped on ");
    b.Add(SignalName(signal));
    b.Add(" (signal ");
    b.AddUnsigned(static_cast<unsigned>(signal));
    b.Add(")\nTime: ");
    b.AddUnsigned(static_cast<unsigned long long>(when));
    b.Add(" (seconds since 1970, UTC)\nProcess: ");
    b.AddUnsigned(static_cast<unsigned long long>(::getpid()));
    if (info && (signal == SIGSEGV || signal == SIGBUS)) {
        b.Add("\nFault address: ");
        b.AddUnsigned(reinterpret_cast<std::uintptr_t>(info->si_addr), 16);
    }
    b.Add("\nExecutable: ");
    b.Add(executablePath);
    b.Add("\nBase: ");
    b.AddUnsigned(executableBase, 16);
    b.Add("\nStack (innermost first):\n");
    for (int i = 0; i < count; ++i) {
        b.Add("#");
        b.AddUnsigned(static_cast<unsigned>(i));
        b.Add(" ");
        b.AddUnsigned(reinterpret_cast<std::uintptr_t>(frames[i]), 16);
        b.Add("\n");
    }
    b.Add("Modules and symbols:\n");
    WriteAll(fd, b.Text, b.Length);
    ::backtrace_symbols_fd(frames, count, fd);
}

void OnFatalSignal(int signal, siginfo_t* info, void*) {
    const std::time_t when = std::time(nullptr);
    void* frames[kMaxFrames];
    int count = ::backtrace(frames, kMaxFrames);
    // The first frame is this handler.
    void* const* shown = count > 1 ? frames + 1 : frames;
    count = count > 1 ? count - 1 : count;

    TLineBuffer name;
    name.Add(reportFolder);
    name.Add(kPendingPrefix);
    name.AddUnsigned(static_cast<unsigned long long>(when));
    name.Add("_");
    name.AddUnsigned(static_cast<unsigned long long>(::getpid()));
    name.Add(".txt");
    name.Text[std::min(name.Length, sizeof name.Text - 1)] = '\0';
    const int fd = ::open(name.Text, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd >= 0) {
        WriteReport(fd, signal, info, when, shown, count);
        ::fsync(fd);
        ::close(fd);
    }
    WriteAll(STDERR_FILENO, "\n", 1);
    WriteReport(STDERR_FILENO, signal, info, when, shown, count);
    if (fd >= 0) {
        static const char saved[] = "Crash report: ";
        WriteAll(STDERR_FILENO, saved, sizeof saved - 1);
        WriteAll(STDERR_FILENO, name.Text, std::strlen(name.Text));
        WriteAll(STDERR_FILENO, "\n", 1);
    }
    // The usual end of that signal (status, core dump).
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

TDateTime LocalDateTime(std::time_t when) {
    std::tm local{};
    ::localtime_r(&when, &local);
    return EncodeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                          local.tm_sec);
}

// yyyy_mm_dd_hh_nn_ss, sorted as the dates are.
std::string FileStamp(TDateTime when) {
    const TDateTimeParts p = DecodeDateTime(when);
    return fmt::format("{:04}_{:02}_{:02}_{:02}_{:02}_{:02}", p.Year, p.Month, p.Day, p.Hour, p.Minute,
                       p.Second);
}

void CopyText(char* target, std::size_t size, const std::string& text) {
    const std::size_t n = std::min(text.size(), size - 1);
    std::memcpy(target, text.data(), n);
    target[n] = '\0';
}

std::uintptr_t ParseHex(const std::string& text) {
    try {
        return static_cast<std::uintptr_t>(std::stoull(text, nullptr, 16));
    } catch (...) {
        return 0;
    }
}

std::string ValueAfter(const std::string& content, const std::string& key) {
    const auto at = content.find("\n" + key);
    if (at == std::string::npos) return {};
    const auto start = at + 1 + key.size();
    return content.substr(start, content.find('\n', start) - start);
}

std::string CurrentExecutable() {
    std::error_code error;
    const fs::path path = fs::read_symlink("/proc/self/exe", error);
    return error ? std::string() : path.string();
}

std::uintptr_t CurrentBase() {
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&InstallCrashHandler), &info) == 0) return 0;
    return reinterpret_cast<std::uintptr_t>(info.dli_fbase);
}

// The frames of this executable with their function names and lines, when the report was made by
// this very program file (not rebuilt since): addresses move with each start, offsets do not.
std::string NamedFrames(const std::string& content, std::time_t crashTime) {
    const std::string exe = ValueAfter(content, "Executable: ");
    const std::uintptr_t oldBase = ParseHex(ValueAfter(content, "Base: "));
    const std::string current = CurrentExecutable();
    struct stat st {};
    if (exe.empty() || exe != current || oldBase == 0 || ::stat(current.c_str(), &st) != 0 ||
        st.st_mtime > crashTime)
        return {};
    const std::uintptr_t newBase = CurrentBase();
    std::ostringstream out;
    std::istringstream lines(content);
    std::string line;
    int named = 0;
    while (std::getline(lines, line)) {
        if (line.size() < 2 || line[0] != '#') continue;
        const auto space = line.find(' ');
        if (space == std::string::npos) continue;
        const std::uintptr_t address = ParseHex(line.substr(space + 1));
        std::string text = "(another module)";
        if (address >= oldBase) {
            void* moved = reinterpret_cast<void*>(address - oldBase + newBase);
            Dl_info info{};
            if (::dladdr(moved, &info) != 0 && reinterpret_cast<std::uintptr_t>(info.dli_fbase) == newBase) {
                text = boost::stacktrace::to_string(boost::stacktrace::frame(moved));
                ++named;
            }
        }
        out << line.substr(0, space) << " " << text << "\n";
    }
    return named > 0 ? "Stack with names (innermost first):\n" + out.str() : std::string();
}

// Completes and renames one pending report; returns the new path.
std::string CompleteReport(const fs::path& pending, std::time_t& crashTime, std::string& signal) {
    std::ifstream in(pending, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    in.close();
    const std::string content = "\n" + buffer.str();
    crashTime = static_cast<std::time_t>(std::atoll(ValueAfter(content, "Time: ").c_str()));
    const std::string first = content.substr(1, content.find('\n', 1) - 1);
    signal =
        first.rfind("Orvanel stopped on ", 0) == 0 ? first.substr(19, first.find(' ', 19) - 19) : "signal";
    const TDateTime when = LocalDateTime(crashTime);
    fs::path target = pending.parent_path() / (FileStamp(when) + "_crash.txt");
    for (int i = 2; fs::exists(target); ++i)
        target = pending.parent_path() / (FileStamp(when) + fmt::format("_crash_{}.txt", i));
    {
        std::ofstream out(target, std::ios::binary);
        out << "Local time: " << DateTimeText(when) << "\n" << buffer.str();
        const std::string named = NamedFrames(content, crashTime);
        if (!named.empty()) out << named;
        if (!out) return {};
    }
    std::error_code error;
    fs::remove(pending, error);
    return target.string();
}

} // namespace

void InstallCrashHandler(const std::string& logFolder) {
    static bool installed = false;
    if (installed) return;
    installed = true;
    CopyText(reportFolder, sizeof reportFolder, logFolder);
    CopyText(executablePath, sizeof executablePath, CurrentExecutable());
    executableBase = CurrentBase();
    // backtrace() loads the unwinder on its first call: done now, not inside the handler.
    void* warm[2];
    ::backtrace(warm, 2);

    stack_t stack{};
    stack.ss_sp = alternateStack;
    stack.ss_size = sizeof alternateStack;
    ::sigaltstack(&stack, nullptr); // a stack overflow is reported too (main thread)
    struct sigaction action {};
    action.sa_sigaction = OnFatalSignal;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    for (const int signal : kSignals)
        ::sigaction(signal, &action, nullptr);
}

std::optional<TCrashNotice> TakeCrashReport(const std::string& logFolder) {
    std::vector<fs::path> pending;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(logFolder, error)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(kPendingPrefix, 0) == 0 && entry.path().extension() == ".txt")
            pending.push_back(entry.path());
    }
    std::optional<TCrashNotice> newest;
    std::time_t newestTime = 0;
    for (const fs::path& path : pending) {
        std::time_t when = 0;
        std::string signal;
        const std::string report = CompleteReport(path, when, signal);
        if (report.empty()) {
            LogToday("Crash report could not be completed: " + path.string());
            continue;
        }
        if (!newest || when >= newestTime) {
            newestTime = when;
            newest = TCrashNotice{report, signal, LocalDateTime(when)};
        }
    }
    return newest;
}
