// Shared test fixtures: every test that touches files works in a private temporary folder that
// stands for the user's home, configuration and documents.
#pragma once

#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <string>
#include <vector>

// A temporary folder, removed with its content on destruction.
class TempFolder {
  public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    // The folder path, ending with '/'.
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
};

// Resets the globals to their start values, points HOME and XDG_* at a fresh temporary folder and
// sets PathExe, PathDatas, PathLogs, PathJpeg below it (each folder created).
class SandboxTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
    const std::string& Root() const { return temp_.Path(); }

    TempFolder temp_;
};

std::string ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::string& content);
std::vector<std::string> SplitLines(const std::string& text, const std::string& separator = "\r\n");

// Lowers the largest file this process may write (a full disk, without filling one); a write beyond it
// fails with EFBIG instead of killing the process. The previous limit comes back at the end of scope.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previousHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

  private:
    rlimit saved_{};
    void (*previousHandler_)(int) = SIG_DFL;
};
