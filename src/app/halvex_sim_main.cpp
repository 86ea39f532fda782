// halvex-sim: a Halvex station on a pseudo-terminal, for running Orvanel without the hardware.
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "HalvexStation.h"
#include "SimOptions.h"

namespace {

void RemoveOurLink(const std::string& link, const std::string& device) {
    std::error_code ec;
    if (!link.empty() && std::filesystem::is_symlink(link, ec) &&
        std::filesystem::read_symlink(link, ec) == device)
        std::filesystem::remove(link, ec);
}

} // namespace

int main(int argc, char** argv) {
    using namespace halvex::sim;
    if (argc == 2 && std::string(argv[1]) == "--version") {
        std::puts("halvex-sim " ORVANEL_VERSION);
        return 0;
    }
    SimCommandLine command;
    try {
        command = ParseSimCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "halvex-sim: %s\n", e.what());
        return 2;
    }
    if (command.Help) {
        std::fputs(SimUsage().c_str(), stdout);
        return 0;
    }

    // SIGINT and SIGTERM end the run; they are taken synchronously below.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    try {
        HalvexStation station(command.Station);
        station.Start();
        const std::string device = station.DevicePath();
        if (!command.LinkPath.empty()) {
            std::error_code ec;
            if (std::filesystem::is_symlink(command.LinkPath, ec))
                std::filesystem::remove(command.LinkPath, ec);
            std::filesystem::create_symlink(device, command.LinkPath, ec);
            if (ec) {
                std::fprintf(stderr, "halvex-sim: cannot make the link %s: %s\n", command.LinkPath.c_str(),
                             ec.message().c_str());
                return 1;
            }
        }
        std::printf("%s\n", device.c_str());
        std::fflush(stdout);
        std::fprintf(stderr, "halvex-sim: firmware %s, seed %llu, speed %g, on %s%s%s\n",
                     command.Station.Firmware.c_str(), static_cast<unsigned long long>(command.Station.Seed),
                     command.Station.Speed, device.c_str(), command.LinkPath.empty() ? "" : " linked as ",
                     command.LinkPath.c_str());
        int received = 0;
        sigwait(&signals, &received);
        station.Stop();
        RemoveOurLink(command.LinkPath, device);
        std::fprintf(stderr, "halvex-sim: stopped (%llu answers sent)\n",
                     static_cast<unsigned long long>(station.AnswersSent()));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "halvex-sim: %s\n", e.what());
        return 1;
    }
    return 0;
}
