// The support tests; "--crash-child FOLDER" makes this program the child that dies on a signal.
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

const char* testProgramPath = nullptr;
int RunCrashChild(const char* folder);

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--crash-child") == 0) return RunCrashChild(argv[2]);
    testProgramPath = "/proc/self/exe";
    static std::string self;
    char buffer[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n > 0) self.assign(buffer, static_cast<size_t>(n));
    testProgramPath = self.c_str();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
