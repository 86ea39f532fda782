// The installed programs: `cmake --install` into a staging folder (as `make install DESTDIR=...`
// does), then the programs run from there, far from the build tree, and the files of the
// installation pass the validators of the desktops, the software centres and systemd.
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <regex>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "TestSupport.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

std::string Quoted(const std::string& text) {
    std::string out = "'";
    for (char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// Runs a shell command line; its exit status, and standard output and error together.
struct TRun {
    int Status = -1;
    std::string Output;
};
TRun RunShell(const std::string& commandLine) {
    TRun run;
    FILE* pipe = ::popen((commandLine + " 2>&1").c_str(), "r");
    if (!pipe) return run;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        run.Output.append(buffer, n);
    const int status = ::pclose(pipe);
    run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

bool ToolExists(const std::string& tool) {
    return RunShell("command -v " + tool).Status == 0;
}

// One staged installation under /usr, made once for the tests of this program.
class Installed : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        stage_ = new TempFolder;
        const TRun install = RunShell("DESTDIR=" + Quoted(Root()) + " " + Quoted(CMAKE_COMMAND) +
                                      " --install " + Quoted(BUILD_DIR) + " --prefix /usr");
        installError_ = install.Status == 0 ? "" : "cmake --install failed:\n" + install.Output;
    }
    static void TearDownTestSuite() {
        delete stage_;
        stage_ = nullptr;
    }
    void SetUp() override { ASSERT_EQ(installError_, ""); }

    static std::string Root() { return stage_->Path(); }
    static std::string Usr(const std::string& path) { return Root() + "usr/" + path; }

  private:
    static inline TempFolder* stage_ = nullptr;
    static inline std::string installError_;
};

TEST_F(Installed, EachProgramTellsTheProjectVersion) {
    for (const std::string program : {"orvanel", "orvanel-data", "halvex-sim"}) {
        SCOPED_TRACE(program);
        const TRun run = RunShell(Quoted(Usr("bin/" + program)) + " --version");
        EXPECT_EQ(run.Status, 0);
        EXPECT_EQ(run.Output, program + " " + ORVANEL_VERSION + "\n");
    }
}

// A unit as installed, with its program path moved into the staging folder, so that systemd
// checks the program it would run.
std::string StagedUnit(const std::string& installed, const std::string& root, const std::string& folder) {
    const std::string text = std::regex_replace(ReadWholeFile(installed), std::regex("ExecStart=\\S*/bin/"),
                                                "ExecStart=" + root + "usr/bin/");
    fs::create_directories(folder);
    WriteWholeFile(folder + "orvanel.service", text);
    return folder + "orvanel.service";
}

// Every validator is silent: a warning counts as a failure, since systemd and the desktops skip
// what they warn about.
TEST_F(Installed, DesktopEntryMetadataUnitsAndUserPassTheirValidators) {
    TempFolder work;
    const std::string runtime = work.Path() + "run";
    fs::create_directories(runtime);
    fs::permissions(runtime, fs::perms::owner_all);
    // Documentation=man:orvanel(1) of the units is looked up among the installed pages.
    const std::string systemd = "MANPATH=" + Quoted(Usr("share/man")) +
                                " XDG_RUNTIME_DIR=" + Quoted(runtime) + " systemd-analyze --no-pager ";
    struct Case {
        const char* name;
        std::string tool;
        std::string commandLine;
        bool silent;                      // no output at all, not only a zero exit status
        std::vector<std::string> mustSay; // in its output
    };
    const Case cases[] = {
        {"desktop entry",
         "desktop-file-validate",
         "desktop-file-validate " + Quoted(Usr("share/applications/orvanel.desktop")),
         true,
         {}},
        {"AppStream metadata",
         "appstreamcli",
         "appstreamcli validate --no-net --no-color " +
             Quoted(Usr("share/metainfo/org.orvanel.Orvanel.metainfo.xml")),
         false,
         {"Validation was successful"}},
        {"system unit",
         "systemd-analyze",
         systemd + "verify " +
             Quoted(StagedUnit(Usr("lib/systemd/system/orvanel.service"), Root(), work.Path() + "system/")),
         true,
         {}},
        {"user unit",
         "systemd-analyze",
         systemd + "--user verify " +
             Quoted(StagedUnit(Usr("lib/systemd/user/orvanel.service"), Root(), work.Path() + "user/")),
         true,
         {}},
        {"service user",
         "systemd-sysusers",
         "systemd-sysusers --dry-run --root=" + Quoted(work.Path() + "sysroot") + " " +
             Quoted(Usr("lib/sysusers.d/orvanel.conf")),
         false,
         {"Creating user 'orvanel'", "Creating group 'dialout'"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (!ToolExists(c.tool)) {
            ADD_FAILURE() << c.tool << " is missing (make deps installs it)";
            continue;
        }
        const TRun run = RunShell(c.commandLine);
        EXPECT_EQ(run.Status, 0) << run.Output;
        if (c.silent) {
            EXPECT_EQ(run.Output, "");
        }
        for (const std::string& text : c.mustSay)
            EXPECT_NE(run.Output.find(text), std::string::npos) << run.Output;
    }
}

// The notification socket of a service manager, as systemd gives it in NOTIFY_SOCKET.
class NotifySocket {
  public:
    explicit NotifySocket(const std::string& path) : path_(path) {
        fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        path.copy(address.sun_path, sizeof address.sun_path - 1);
        bound_ = ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~NotifySocket() { ::close(fd_); }
    bool Bound() const { return bound_; }

    // Messages until one holds `state` (a line such as "READY=1"), or the time is over. Every
    // message received is kept in Received().
    bool WaitFor(const std::string& state, std::chrono::milliseconds timeout) {
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < end) {
            pollfd p{fd_, POLLIN, 0};
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (::poll(&p, 1, static_cast<int>(std::max<int64_t>(left.count(), 0))) <= 0) continue;
            char buffer[4096];
            const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
            if (n <= 0) continue;
            const std::string message(buffer, static_cast<size_t>(n));
            received_.push_back(message);
            if (("\n" + message + "\n").find("\n" + state + "\n") != std::string::npos) return true;
        }
        return false;
    }
    const std::vector<std::string>& Received() const { return received_; }
    std::string Transcript() const {
        std::string all;
        for (const std::string& m : received_)
            all += "[" + m + "]\n";
        return all;
    }

  private:
    std::string path_;
    int fd_ = -1;
    bool bound_ = false;
    std::vector<std::string> received_;
};

// A TCP port nobody listens on now, for the monitor's HTTP server (the default one may be taken by
// another run on this computer).
int FreeLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

// A child process with exactly this environment; standard error into a file, standard output into
// a pipe (readable from StdOut()).
class Child {
  public:
    Child(std::vector<std::string> args, std::vector<std::string> environment, const std::string& errorFile) {
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0) return;
        const int errorFd = ::open(errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(out[1], STDOUT_FILENO);
            ::dup2(errorFd, STDERR_FILENO);
            std::vector<char*> argv, envp;
            for (std::string& a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            for (std::string& e : environment)
                envp.push_back(e.data());
            envp.push_back(nullptr);
            ::execve(argv[0], argv.data(), envp.data());
            ::_exit(127);
        }
        ::close(out[1]);
        ::close(errorFd);
        stdout_ = ::fdopen(out[0], "r");
    }
    ~Child() {
        if (pid_ > 0 && !waited_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (stdout_) std::fclose(stdout_);
    }
    bool Started() const { return pid_ > 0 && stdout_; }
    std::string FirstLine() {
        char line[512] = {};
        if (!stdout_ || !std::fgets(line, sizeof line, stdout_)) return {};
        std::string text = line;
        text.erase(text.find_last_not_of('\n') + 1);
        return text;
    }
    void Signal(int signal) { ::kill(pid_, signal); }
    // The wait status.
    int Wait() {
        int status = 0;
        ::waitpid(pid_, &status, 0);
        waited_ = true;
        return status;
    }

  private:
    pid_t pid_ = -1;
    FILE* stdout_ = nullptr;
    bool waited_ = false;
};

// The installed monitor, headless, as systemd runs it: a home of its own, only the environment a
// service gets, NOTIFY_SOCKET and WATCHDOG_USEC. Its files are the installed ones: the English
// module and the sounds come from share/orvanel (the staging bin folder holds only programs). Once
// without a station, once with the installed station simulator holding records in its memory.
TEST_F(Installed, HeadlessMonitorTellsSystemdAndClosesCleanlyOnSigterm) {
    struct Case {
        const char* name;
        bool station;
    };
    for (const Case c : {Case{"simulated values (/Sim=1)", false}, Case{"simulated station", true}}) {
        SCOPED_TRACE(c.name);
        TempFolder home;
        const std::string runtime = home.Path() + "run";
        fs::create_directories(runtime);
        fs::permissions(runtime, fs::perms::owner_all);
        NotifySocket notify(home.Path() + "notify");
        ASSERT_TRUE(notify.Bound());

        std::vector<std::string> environment = {
            "PATH=/usr/bin:/bin", "HOME=" + home.Path(), "XDG_RUNTIME_DIR=" + runtime,
            "LANG=en_US.UTF-8",   "LC_ALL=en_US.UTF-8",
        };
        for (const char* name : {"ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS", "TSAN_OPTIONS"})
            if (const char* value = std::getenv(name)) environment.push_back(std::string(name) + "=" + value);

        std::unique_ptr<Child> station;
        std::vector<std::string> args = {Usr("bin/orvanel"), "--headless", "--alpaca",
                                         "127.0.0.1:" + std::to_string(FreeLoopbackPort())};
        if (c.station) {
            station =
                std::make_unique<Child>(std::vector<std::string>{Usr("bin/halvex-sim"), "--link",
                                                                 home.Path() + "halvex", "--records", "40"},
                                        environment, home.Path() + "station.txt");
            ASSERT_TRUE(station->Started());
            ASSERT_NE(station->FirstLine(), "") << ReadWholeFile(home.Path() + "station.txt");
            args.insert(args.end(), {"--port", home.Path() + "halvex"});
        } else {
            args.push_back("/Sim=1");
        }
        environment.push_back("NOTIFY_SOCKET=" + home.Path() + "notify");
        environment.push_back("WATCHDOG_USEC=400000");
        Child monitor(args, environment, home.Path() + "stderr.txt");
        ASSERT_TRUE(monitor.Started());
        auto stderrText = [&] { return ReadWholeFile(home.Path() + "stderr.txt"); };

        const bool ready = notify.WaitFor("READY=1", 60s);
        // The main loop pings twice per watchdog time.
        const bool pinged = ready && notify.WaitFor("WATCHDOG=1", 5s) && notify.WaitFor("WATCHDOG=1", 5s);
        monitor.Signal(SIGTERM);
        const bool stopping = notify.WaitFor("STOPPING=1", 60s);
        const int status = monitor.Wait();
        EXPECT_TRUE(ready) << notify.Transcript() << stderrText();
        // The history load asked for more start-up time before READY (a long one would need it).
        bool extended = false;
        for (const std::string& message : notify.Received()) {
            if (message.starts_with("READY=1")) break;
            extended = extended || message.starts_with("EXTEND_TIMEOUT_USEC=");
        }
        EXPECT_TRUE(extended) << notify.Transcript();
        EXPECT_TRUE(pinged) << notify.Transcript();
        EXPECT_TRUE(stopping) << notify.Transcript() << stderrText();
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status << "\n" << stderrText();

        // Its files: the day's log in the documents folder of that home, with the English texts and a
        // complete closing; the settings; with a station, the month file of the downloaded records.
        std::string log;
        const std::string documents = home.Path() + "Documents/Halvex/";
        for (const auto& entry : fs::directory_iterator(documents + "Logs"))
            if (entry.path().string().ends_with("_log.txt")) log += ReadWholeFile(entry.path().string());
        for (const char* line :
             {"Application language : English", "Startup complete...", "Signal 15 received", "Data saved",
              "Thread set date complete", "Application closed"})
            EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
        EXPECT_TRUE(fs::is_regular_file(home.Path() + ".config/Orvanel/registry.ini"));
        if (c.station) {
            EXPECT_NE(log.find("Opened COM " + home.Path() + "halvex"), std::string::npos) << log;
            EXPECT_NE(log.find("EEPROM records stored : 40 added"), std::string::npos) << log;
            int monthFiles = 0;
            for (const auto& entry : fs::directory_iterator(documents + "Datas"))
                monthFiles +=
                    std::regex_match(entry.path().filename().string(), std::regex(R"(\d{4}_\d{2}\.bin)"));
            EXPECT_GE(monthFiles, 1) << log;
            station->Signal(SIGTERM);
            station->Wait();
        }
    }
    // The sounds lie where the English module was found.
    for (const char* sound :
         {"GoodConditions.wav", "BadConditions.wav", "BadCond_relayClose.wav", "Rain_pending.wav"})
        EXPECT_TRUE(fs::is_regular_file(Usr("share/orvanel/") + sound)) << sound;
    EXPECT_FALSE(fs::exists(Usr("bin/orvanel_en.qm")));
}

} // namespace
