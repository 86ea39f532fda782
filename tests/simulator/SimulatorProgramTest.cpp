// The halvex-sim program: device path on standard output, the --link name, a clean stop.
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "RawFrameClient.h"
#include "TestSupport.h"

using namespace simtest;

class SimulatorProgram : public SandboxTest {};

TEST_F(SimulatorProgram, ServesTheLinkUntilTerminated) {
    const std::string link = Root() + "halvex";
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        ::close(out[0]);
        ::execl(HALVEX_SIM_PROGRAM, "halvex-sim", "--link", link.c_str(), "--firmware", "1.11", nullptr);
        ::_exit(127);
    }
    ::close(out[1]);
    FILE* stream = ::fdopen(out[0], "r");
    char line[256] = {};
    ASSERT_NE(std::fgets(line, sizeof line, stream), nullptr);
    std::string device = line;
    device.erase(device.find_last_not_of('\n') + 1);

    EXPECT_EQ(std::filesystem::read_symlink(link), device);
    {
        RawFrameClient client(link);
        const auto version = client.Exchange({halvex::OrderGetVersion});
        ASSERT_TRUE(version.has_value());
        EXPECT_EQ(version->size(), 20u);
        EXPECT_EQ((*version)[1], 11);
    }
    ::kill(child, SIGTERM);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
    std::fclose(stream);
}
