// Shared test fixtures: every test that touches files works in a private temporary folder that
// stands for the user's home, configuration and documents.
#pragma once

#include <gtest/gtest.h>
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
