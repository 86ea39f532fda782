// Helpers shared by the station tests: the day's log, and a sandbox with short serial time-outs.
#pragma once

#include <string>
#include <vector>

#include "ComObjRs232.h"
#include "Log.h"
#include "TestSupport.h"
#include "ThreadCommunicate.h"

// Lines of today's log, without their thread and time prefix.
std::vector<std::string> LogTexts(const std::string& fileName = {});
// Number of log lines equal to text.
int CountLogLines(const std::string& text);
bool LogHasLine(const std::string& text);
// Index of the first line equal to text at or after from; -1 when absent.
int FindLogLine(const std::vector<std::string>& lines, const std::string& text, int from = 0);

// SandboxTest with serial time-outs and retry pauses short enough for tests.
class StationSandbox : public SandboxTest {
  protected:
    void SetUp() override;
    void TearDown() override;
};

// Records the thread's reports (called on the worker).
class RecordingListener : public TComListener {
  public:
    void ComError(const std::string& text) override;
    void ComVersion(const std::string& version, std::optional<int32_t> memoryAddress) override;
    void ComEepromProgress(uint32_t done, uint32_t total) override;
    void ComEepromRecords(std::vector<TcapteursInfos> records) override;

    int Errors() const;
    // Every memory record handed over, in order.
    TTDataStation Records() const;
    int Versions() const;
    std::vector<std::pair<uint32_t, uint32_t>> Progress() const;

  private:
    mutable std::mutex mutex_;
    int errors_ = 0, versions_ = 0;
    std::vector<std::pair<uint32_t, uint32_t>> progress_;
    TTDataStation records_;
};

// Runs a command list to its end on a new thread (not self-freeing) and returns its error text.
std::string RunList(const std::vector<Tcommand>& commands, TComObjRs232& com,
                    TComListener* listener = nullptr);
