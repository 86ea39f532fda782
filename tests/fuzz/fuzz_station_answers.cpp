// The station's answers, as hostile as a damaged line or a wrong firmware can make them, through the
// real receiver (a pseudo-terminal) and a real command list: every exchange ends with an answer or a
// clear error, and every reading and memory record handed over is made of numbers, or says it is
// invalid (no NaN, no infinity, no impossible date).
//
// Input: the station's replies, one per order, each as a control byte and its bytes. A control byte
// below 0x80 is followed by that many (at most 31) payload bytes sent in a correct frame; from 0x80
// the low five bits count raw bytes sent as they are (broken frames, bad checksums, lies about L).
// The very first byte chooses the command list.
#include <cmath>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "ComObjRs232.h"
#include "FuzzCheck.h"
#include "Records.h"
#include "ScriptedPeer.h"
#include "SettingsTable.h"
#include "ThreadCommunicate.h"

namespace {

std::mutex repliesLock;
std::deque<halvex::TArrayByte> replies;

halvex::TArrayByte NextReply(const halvex::TArrayByte&) {
    std::lock_guard guard(repliesLock);
    if (replies.empty()) return {};
    halvex::TArrayByte reply = std::move(replies.front());
    replies.pop_front();
    return reply;
}

class Collector : public TComListener {
  public:
    void ComEepromRecords(std::vector<TcapteursInfos> records) override {
        std::lock_guard guard(lock);
        held.insert(held.end(), records.begin(), records.end());
    }
    std::mutex lock;
    TTDataStation held;
};

void CheckRecord(const TcapteursInfos& r, const char* what) {
    const float values[] = {r.ValueSkyVolts,  r.ValueSkyDeg, r.ValueCanVolts, r.ValueCanDeg, r.ValueTempDeg,
                            r.ValueTempFceDeg, r.DeltaTempDeg, r.Humidity,     r.DewPoint,    r.PowerVolts};
    for (size_t i = 0; i < std::size(values); ++i)
        FUZZ_CHECK(std::isfinite(values[i]), "%s: value %zu is %g", what, i, values[i]);
    FUZZ_CHECK(std::isfinite(r.DateSysteme), "%s: date %g", what, FieldValue(r.DateSysteme));
    if (r.ValidWindGUST)
        FUZZ_CHECK(std::isfinite(r.WindSpeedMax_ms) && std::isfinite(r.DirSpeedMax_deg), "%s: wind %g from %g",
                   what, FieldValue(r.WindSpeedMax_ms), FieldValue(r.DirSpeedMax_deg));
    if (r.ValidLight) FUZZ_CHECK(std::isfinite(r.Lumex), "%s: sky brightness %g", what, FieldValue(r.Lumex));
    FUZZ_CHECK(r.Humidity >= 0 && r.Humidity <= 100, "%s: humidity %g", what, FieldValue(r.Humidity));
}

const std::vector<Tcommand> lists[] = {
    {TCom_GetVersion},
    {TCom_getSensorInfos},
    {TCom_GetLightLevel, TCom_GetLightLevel},
    {TCom_GetVersion, TCom_DownLoadData},
    {TCom_GetDate},
    {TCom_CalibratePD},
    {TCom_GetVersion, TCom_Setup, TCom_SetIR},
    {TCom_GetVersion_Wait, TCom_getSensorInfos, TCom_GetLightLevel},
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    InstallSettingDefaults();
    InitStartValues();
    PathLogs.clear(); // no log files: the fuzzer runs millions of exchanges
    TComTimeouts t;
    t.ReadTotalMs = 4;
    t.WriteTotalMs = 20;
    t.WriteTotalBlueToothMs = 20;
    t.BlueToothSettleMs = 0;
    TComObjRs232::SetTimeoutsForTests(t);
    SetComPausesForTests({0, 0, 0});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static ScriptedPeer peer(NextReply);
    static TComObjRs232 com;
    if (!com.IsOpen()) com.OpenDevice(peer.DevicePath(), false);
    if (size == 0) return 0;

    std::deque<halvex::TArrayByte> script;
    for (size_t i = 1; i < size;) {
        const uint8_t control = data[i++];
        const size_t count = std::min<size_t>(control & 0x1F, size - i);
        halvex::TArrayByte bytes(data + i, data + i + count);
        i += count;
        script.push_back(control & 0x80 ? bytes : halvex::BuildAnswerFrame(bytes));
    }
    {
        std::lock_guard guard(repliesLock);
        replies = std::move(script);
    }

    const auto& commands = lists[data[0] % std::size(lists)];
    InitStartValues();
    PathLogs.clear();
    Collector collector;
    {
        TThread_Communicate thread(commands, &collector, &com, false);
        thread.Start();
        thread.WaitFor();
        thread.ApplyReport();
        if (!thread.ErrorText().empty()) FUZZ_CHECK(!ComLastError.empty(), "an error the caller does not see");
    }
    for (const auto& record : collector.held) {
        CheckRecord(record, "memory record");
        FUZZ_CHECK(record.DateSysteme > 0, "memory record dated %g", FieldValue(record.DateSysteme));
    }
    CheckRecord(CurrentCapteursInfos, "reading");
    if (!com.IsOpen()) com.OpenDevice(peer.DevicePath(), false);
    return 0;
}
