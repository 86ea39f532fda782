// The stack recorded at a throw, and the crash report of a fatal signal (made by this very test
// program started again as a child, so that its frames can be named at the "next start").
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "CrashReport.h"
#include "TestSupport.h"
#include "ThrowStack.h"

namespace fs = std::filesystem;

extern const char* testProgramPath;

volatile int sideEffect = 0;

__attribute__((noinline)) void ThrowFromNamedFunction(int depth) {
    if (depth > 0) {
        ThrowFromNamedFunction(depth - 1);
        sideEffect = sideEffect + 1; // not a tail call: each level keeps its frame
        return;
    }
    throw std::runtime_error("Erreur levée au fond");
}

__attribute__((noinline)) void CrashInNamedFunction() {
    std::raise(SIGSEGV);
    sideEffect = sideEffect + 1;
}

// The child: installs the handler, then dies in CrashInNamedFunction.
int RunCrashChild(const char* folder) {
    InstallCrashHandler(folder);
    CrashInNamedFunction();
    return 0;
}

namespace {

std::string Joined(const std::vector<std::string>& lines) {
    std::string all;
    for (const auto& l : lines)
        all += l + "\n";
    return all;
}

TEST(ThrowStack, NamesTheThrowingFunctionWithFileAndLineInnermostFirst) {
    RecordThrowStacks();
    std::exception_ptr caught;
    try {
        ThrowFromNamedFunction(2);
    } catch (...) {
        caught = std::current_exception();
    }
    // Throws in between (caught elsewhere) do not hide the record of this one.
    for (int i = 0; i < 3; ++i)
        try {
            throw std::logic_error("autre");
        } catch (...) {
        }
    const std::vector<std::string> frames = ThrowStackOf(caught);
    ASSERT_GE(frames.size(), 4u) << Joined(frames);
    EXPECT_NE(frames[0].find("ThrowFromNamedFunction"), std::string::npos) << Joined(frames);
    EXPECT_NE(frames[0].find("SupportTest.cpp:"), std::string::npos) << Joined(frames);
    EXPECT_NE(Joined(frames).find("ThrowStack_NamesTheThrowingFunction"), std::string::npos)
        << Joined(frames);
    EXPECT_EQ(ExceptionMessage(caught), "Erreur levée au fond");
}

TEST(ThrowStack, MessagesOfWhatIsThrown) {
    EXPECT_EQ(ExceptionMessage(std::make_exception_ptr(std::string("texte"))), "texte");
    EXPECT_EQ(ExceptionMessage(std::make_exception_ptr(42)), "unknown exception");
    EXPECT_EQ(ExceptionMessage(nullptr), "");
    EXPECT_TRUE(ThrowStackOf(nullptr).empty());
}

class CrashReportTest : public SandboxTest {};

TEST_F(CrashReportTest, FatalSignalLeavesReportWithStackToldOnceAtNextStart) {
    const std::string folder = Root() + "logs/";
    fs::create_directories(folder);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::execl(testProgramPath, testProgramPath, "--crash-child", folder.c_str(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    // The usual end of the signal.
    ASSERT_TRUE(WIFSIGNALED(status)) << status;
    EXPECT_EQ(WTERMSIG(status), SIGSEGV);

    const std::optional<TCrashNotice> notice = TakeCrashReport(folder);
    ASSERT_TRUE(notice.has_value());
    EXPECT_EQ(notice->Signal, "SIGSEGV");
    const std::string report = ReadWholeFile(notice->ReportPath);
    EXPECT_NE(report.find("Orvanel stopped on SIGSEGV"), std::string::npos) << report;
    EXPECT_NE(report.find("#0 "), std::string::npos) << report;
    EXPECT_NE(report.find("Stack with names"), std::string::npos) << report;
    EXPECT_NE(report.find("CrashInNamedFunction"), std::string::npos) << report;
    EXPECT_NE(report.find("SupportTest.cpp:"), std::string::npos) << report;
    EXPECT_NE(fs::path(notice->ReportPath).filename().string().find("_crash.txt"), std::string::npos);
    // Told once.
    EXPECT_FALSE(TakeCrashReport(folder).has_value());
    EXPECT_TRUE(fs::exists(notice->ReportPath));
}

} // namespace
