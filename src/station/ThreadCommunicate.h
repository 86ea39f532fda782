// The worker thread that runs one list of station commands over the shared serial object.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "ComObjRs232.h"
#include "Records.h"

enum Tcommand : uint8_t {
    TCom_GetVersion,
    TCom_getSensorInfos,
    TCom_DownLoadData,
    TCom_GetDate,
    TCom_SetDate,
    TCom_GetVersion_Wait,
    TCom_GetLightLevel,
    TCom_Setup,
    TCom_RearmTrig,
    TCom_SetIR,
    TCom_CalibratePD
};

// Held by a thread for its whole command list: lists never overlap on the serial line.
extern std::mutex StationLinkLock;
// Station threads started and not yet completely finished: unlike ComThreadCount, which falls when
// a list ends, this one falls only after the thread's last use of its listener and dispatcher, so
// whoever owns those may free them once it is zero.
extern std::atomic<int> ComThreadsRunning;
// The globals below, like CurrentCapteursInfos and the station cells of SetupInfos, belong to the
// thread that owns the station threads (the main thread): a list works on its own copy and its
// report is applied there (TThread_Communicate::ApplyReport).
// Station firmware version as a number; selects answer layouts.
extern float FirmwareVersionNumber;
// Count of simulated weather readings.
extern uint32_t SimulationTick;
// Records written in the current pass of the station memory (last download).
extern uint32_t EepromRecordCount;

// One light reading as the station gave it; the level is computed where the previous one is kept.
struct TLightSample {
    uint32_t Counter = 0;
    uint8_t Divider = 0;
    uint8_t Gain = 0;
    TDateTime Time = 0;
    bool Simulated = false; // "/Sim=1": the simulated level has its own formula
};
// Applies a light reading to the current record (Lumex, ValidLight, counter, gain, divider) against
// the previous one (LightPrev*), writing the photodiode log. On the owner's thread.
void ApplyLightSample(const TLightSample& sample, TcapteursInfos& current, const TSetupInfos& setup);

// What a thread reports while it runs. Called on the worker thread and never waited for: the Qt
// side queues each call onto its main thread.
class TComListener {
  public:
    virtual ~TComListener() = default;
    // A list ended with an error.
    virtual void ComError(const std::string& /*text*/) {}
    // TCom_GetVersion has decoded the version and set-up: the version text, and the memory write
    // address when the station reported its recording interval.
    virtual void ComVersion(const std::string& /*version*/, std::optional<int32_t> /*memoryAddress*/) {}
    // Memory download progress: records read so far, records to read.
    virtual void ComEepromProgress(uint32_t /*done*/, uint32_t /*total*/) {}
    // Records of the station memory, in the station's order, handed over as they arrive (before each
    // progress report, and whatever was left when the download ends, fails or is stopped). The
    // receiver stores them: the thread keeps nothing.
    virtual void ComEepromRecords(std::vector<TcapteursInfos> /*records*/) {}
};

// Asks running and later command lists to stop between two memory records (closing, suspend).
// A stopped download ends its list with an error, so the station clock is not set after it.
void RequestStationListsStop(bool stop);
bool StationListsStopRequested();

// Runs completion handlers on the creator's side (the Qt side queues onto its main thread).
class TCompletionDispatcher {
  public:
    virtual ~TCompletionDispatcher() = default;
    virtual void Dispatch(std::function<void()> handler) = 0;
};

// A plain queue of completion handlers, drained by whoever owns it (headless use, tests).
class TCompletionQueue : public TCompletionDispatcher {
  public:
    void Dispatch(std::function<void()> handler) override;
    // Runs every handler queued so far; returns how many ran.
    int RunPending();
    // Waits up to timeoutMs for one handler and runs it; false when none came.
    bool RunOne(int timeoutMs);

  private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::function<void()>> handlers_;
};

// Pauses of the retry loops. Tests shorten them; the program keeps the defaults.
struct TComPauses {
    int VersionWaitMs = 10000;
    int EepromRetryMs = 4333;
    // Before a start-up exchange (version, set-up, clock) is sent again after a bad answer.
    int OrderRetryMs = 250;
};
void SetComPausesForTests(const TComPauses& pauses);
TComPauses ComPauses();

// Writes "infodata.txt" after each weather reading. The publishing layer installs the writer;
// without one nothing is written.
using TInfoDataWriter = std::function<void(const TcapteursInfos&)>;
void SetInfoDataWriter(TInfoDataWriter writer);
// Calls the installed writer (on the communication thread).
void WriteInfoData(const TcapteursInfos& record);

// True when the command line holds "/Sim=1" (any letter case); sets SimulationMode accordingly.
bool ApplySimulationArgument(const std::vector<std::string>& arguments);

class TSimulatedStationLink;

class TThread_Communicate {
  public:
    // Created suspended: the creator sets OnTerminate (and Quiet) and then calls Start.
    // A thread created with freeOnTerminate deletes itself after its completion handler has run;
    // otherwise its creator calls WaitFor and deletes it, after its queued completion (if any) has run.
    TThread_Communicate(std::vector<Tcommand> commands, TComListener* listener, TComObjRs232* comObj,
                        bool freeOnTerminate, TCompletionDispatcher* dispatcher = nullptr);
    ~TThread_Communicate();
    TThread_Communicate(const TThread_Communicate&) = delete;
    TThread_Communicate& operator=(const TThread_Communicate&) = delete;

    void Start();
    void WaitFor();
    // Copies what the list found (readings, station information, clock, error text) into the
    // globals it owns: CurrentCapteursInfos, the station cells of SetupInfos, the light state,
    // ComLastError. Called on the creator's thread once the list has ended; a thread with a
    // dispatcher does it itself, just before its completion handler.
    void ApplyReport();

    // The completion handler; runs through the dispatcher (on the worker when there is none).
    std::function<void(TThread_Communicate&)> OnTerminate;
    // Set by the creator of a re-arm thread, read by its completion handler.
    bool Quiet = false;

    const TCalibrationPD& CalibrationPD() const { return FCalibrationPD; }
    // Memory records that could not be decoded (erased, impossible date) and were skipped.
    uint32_t SkippedMemoryRecords() const { return skippedRecords_; }
    // This list's own error text (empty on success); ApplyReport copies it into ComLastError.
    const std::string& ErrorText() const { return errorText_; }
    // The list failed because the port itself has gone (removed device, hang-up): only closing and
    // reopening it can help.
    bool PortLost() const { return portLost_; }

  private:
    void Run();
    void Execute();
    void RunCommand(Tcommand command);
    void NoteSimulatedAnswer(Tcommand command);
    TArrayByte Exchange(const TArrayByte& order);
    // An exchange tried up to three times while the answer is bad (unreadable, or shorter than
    // minLength); the order is built anew for each attempt.
    TArrayByte ExchangeRetried(const std::function<TArrayByte()>& order, size_t minLength = 0);

    void GetVersion();
    void GetVersionWait();
    void GetDate();
    void SetDate();
    void Setup();
    void SetIR();
    void RearmTrig();
    void CalibratePD();
    void GetSensorInfos();
    void GetLightLevel();
    void DownLoadData();
    void DecodeWeather(const TArrayByte& a);
    void DecodeGustWind(const TArrayByte& a);
    void DecodeFlags(const TArrayByte& a);
    struct TMemoryDownload;
    void ReadMemoryRecords(uint32_t firstRecord, uint32_t lastRecord, TMemoryDownload& download);
    void HandOverRecords(TMemoryDownload& download);

    std::vector<Tcommand> FCommand;
    TComListener* FHWD;
    TComObjRs232* ComObjRs232;
    TCompletionDispatcher* dispatcher_;
    bool freeOnTerminate_;
    // The list's own copies, taken when it is created (on the creator's thread): the worker reads
    // and writes only these.
    TSetupInfos setup_;
    TcapteursInfos current_;
    float firmware_ = 0;
    // "/Sim=1": the commands that read the station are answered here instead.
    std::unique_ptr<TSimulatedStationLink> simulated_;
    // What the list found, for ApplyReport.
    bool weatherRead_ = false, infoRead_ = false, dateRead_ = false, dateSet_ = false, downloaded_ = false;
    uint32_t eepromRecordCount_ = 0;
    std::optional<TLightSample> light_;
    TCalibrationPD FCalibrationPD;
    std::string errorText_;
    uint32_t skippedRecords_ = 0;
    bool portLost_ = false;
    std::thread thread_;
};

// ---- Decoding helpers shared with the tests ------------------------------------------------------
// Byte i of an answer; a shorter answer is a range error ("Range check error").
uint8_t AnswerByte(const TArrayByte& answer, size_t i);
// Decodes one 17-byte memory record into record (work record semantics: fields the memory does
// not hold are cleared; LightValueAbs, and gain/divider of a record without light, are kept).
void DecodeMemoryRecord(const TArrayByte& bytes, uint32_t interval, double rhCorrection, double darkOffset,
                        TcapteursInfos& record);
