#include <atomic>
#include <filesystem>
#include <gtest/gtest.h>
#include <regex>
#include <thread>
#include <vector>

#include "Log.h"
#include "Records.h"
#include "TestSupport.h"

namespace {

class LogFiles : public SandboxTest {};

TEST_F(LogFiles, DailyFileNameAndLineLayout) {
    SetClockForTests([] { return EncodeDateTime(2013, 3, 27, 4, 5, 9, 5); });
    EXPECT_EQ(LogFileNameToday(), "2013_03_27_log.txt");
    LogToday("Application start : Orvanel");
    const std::string content = ReadWholeFile(PathLogs + "2013_03_27_log.txt");
    const std::regex line(R"(Thrd\[[0-9A-F]{4,}\]: 27/03/2013 04:05:09\.005 : Application start : Orvanel\r\n)");
    EXPECT_TRUE(std::regex_match(content, line)) << content;
}

TEST_F(LogFiles, MessageBreaksAreKeptAndNamedFilesWork) {
    LogWrite("Photodiode.log", "dark\r\n");
    const std::string content = ReadWholeFile(PathLogs + "Photodiode.log");
    EXPECT_TRUE(content.ends_with(" : dark\r\n\r\n")) << content;
}

TEST_F(LogFiles, LinesOnEitherSideOfMidnightGoToTwoFiles) {
    std::atomic<double> now = EncodeDateTime(2013, 3, 27, 23, 59, 59, 999);
    SetClockForTests([&] { return now.load(); });
    LogToday("before");
    now = EncodeDateTime(2013, 3, 28, 0, 0, 0, 0);
    LogToday("after");
    EXPECT_TRUE(ReadWholeFile(PathLogs + "2013_03_27_log.txt").find("23:59:59.999 : before") != std::string::npos);
    EXPECT_TRUE(ReadWholeFile(PathLogs + "2013_03_28_log.txt").find("00:00:00.000 : after") != std::string::npos);
}

TEST_F(LogFiles, LinesFromSeveralThreadsNeverInterleave) {
    constexpr int kThreads = 4, kLines = 300;
    const std::string payload(200, 'x');
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t)
        writers.emplace_back([&, t] {
            for (int i = 0; i < kLines; ++i) LogToday("w" + std::to_string(t) + " " + payload);
        });
    for (auto& w : writers) w.join();
    const auto lines = SplitLines(ReadWholeFile(PathLogs + LogFileNameToday()));
    ASSERT_EQ(lines.size(), static_cast<size_t>(kThreads * kLines));
    const std::regex whole(R"(Thrd\[[0-9A-F]{4,}\]: \d\d/\d\d/\d{4} \d\d:\d\d:\d\d\.\d{3} : w\d x{200})");
    for (const auto& l : lines) ASSERT_TRUE(std::regex_match(l, whole)) << l;
}

TEST_F(LogFiles, MissingFolderStaysSilent) {
    std::filesystem::remove_all(PathLogs);
    EXPECT_NO_THROW(LogToday("lost"));
    EXPECT_FALSE(std::filesystem::exists(PathLogs));
}

} // namespace
