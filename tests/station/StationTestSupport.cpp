#include "StationTestSupport.h"

#include "DateTime.h"
#include "ConditionFiles.h"
#include "Records.h"

std::vector<std::string> LogTexts(const std::string& fileName) {
    std::vector<std::string> texts;
    const std::string content = ReadWholeFile(PathLogs + (fileName.empty() ? LogFileNameToday() : fileName));
    for (const auto& line : SplitLines(content)) {
        const auto at = line.find(" : ");
        texts.push_back(at == std::string::npos ? line : line.substr(at + 3));
    }
    return texts;
}

int CountLogLines(const std::string& text) {
    int n = 0;
    for (const auto& line : LogTexts())
        if (line == text) ++n;
    return n;
}

bool LogHasLine(const std::string& text) {
    return CountLogLines(text) > 0;
}

int FindLogLine(const std::vector<std::string>& lines, const std::string& text, int from) {
    for (int i = from; i < static_cast<int>(lines.size()); ++i)
        if (lines[i] == text) return i;
    return -1;
}

void StationSandbox::SetUp() {
    SandboxTest::SetUp();
    TComTimeouts t;
    t.ReadTotalMs = 150;
    t.WriteTotalMs = 50;
    t.WriteTotalBlueToothMs = 50;
    t.BlueToothSettleMs = 0;
    TComObjRs232::SetTimeoutsForTests(t);
    SetComPausesForTests({20, 10, 10});
    SetInfoDataWriter([](const TcapteursInfos& reading) { WriteInfoDataFile(reading); });
    FirmwareVersionNumber = 0;
    SimulationTick = 0;
    EepromRecordCount = 0;
}

void StationSandbox::TearDown() {
    TComObjRs232::SetTimeoutsForTests({});
    SetComPausesForTests({});
    SetInfoDataWriter({});
    SandboxTest::TearDown();
}

void RecordingListener::ComError(const std::string&) {
    std::lock_guard guard(mutex_);
    ++errors_;
}

void RecordingListener::ComVersion(const std::string&, std::optional<int32_t>) {
    std::lock_guard guard(mutex_);
    ++versions_;
}

void RecordingListener::ComEepromProgress(uint32_t done, uint32_t total) {
    std::lock_guard guard(mutex_);
    progress_.emplace_back(done, total);
}

void RecordingListener::ComEepromRecords(std::vector<TcapteursInfos> records) {
    std::lock_guard guard(mutex_);
    records_.insert(records_.end(), records.begin(), records.end());
}

TTDataStation RecordingListener::Records() const {
    std::lock_guard guard(mutex_);
    return records_;
}

int RecordingListener::Errors() const {
    std::lock_guard guard(mutex_);
    return errors_;
}

int RecordingListener::Versions() const {
    std::lock_guard guard(mutex_);
    return versions_;
}

std::vector<std::pair<uint32_t, uint32_t>> RecordingListener::Progress() const {
    std::lock_guard guard(mutex_);
    return progress_;
}

std::string RunList(const std::vector<Tcommand>& commands, TComObjRs232& com, TComListener* listener) {
    TThread_Communicate thread(commands, listener, &com, false);
    thread.Start();
    thread.WaitFor();
    thread.ApplyReport(); // as the program's main thread does when the list has ended
    return thread.ErrorText();
}
