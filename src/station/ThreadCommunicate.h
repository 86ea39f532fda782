// The worker thread that runs one list of station commands over the shared serial object.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
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
// Held while answers are decoded into CurrentCapteursInfos and the station cells of SetupInfos.
extern std::mutex MeasurementLock;
// Station firmware version as a number; selects answer layouts.
extern float FirmwareVersionNumber;
// Count of simulated weather readings.
extern uint32_t SimulationTick;
// Records written in the current pass of the station memory (last download).
extern uint32_t EepromRecordCount;

// What a thread reports while it runs. Called on the worker thread and never waited for: the Qt
// side queues each call onto its main thread.
class TComListener {
  public:
    virtual ~TComListener() = default;
    // A list ended with an error; the text is in ComLastError.
    virtual void ComError() {}
    // TCom_GetVersion has decoded the version and set-up.
    virtual void ComVersion() {}
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

    // The completion handler; runs through the dispatcher (on the worker when there is none).
    std::function<void(TThread_Communicate&)> OnTerminate;
    // Set by the creator of a re-arm thread, read by its completion handler.
    bool Quiet = false;

    const TCalibrationPD& CalibrationPD() const { return FCalibrationPD; }
    // Memory records that could not be decoded (erased, impossible date) and were skipped.
    uint32_t SkippedMemoryRecords() const { return skippedRecords_; }
    // This list's own error text (empty on success); ComLastError may already hold a later list's.
    const std::string& ErrorText() const { return errorText_; }
    // The list failed because the port itself has gone (removed device, hang-up): only closing and
    // reopening it can help.
    bool PortLost() const { return portLost_; }

  private:
    void Run();
    void Execute();
    void RunCommand(Tcommand command);
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
    void SimulateWeather();
    void SimulateLight();
    struct TMemoryDownload;
    void ReadMemoryRecords(uint32_t firstRecord, uint32_t lastRecord, TMemoryDownload& download);
    void HandOverRecords(TMemoryDownload& download);

    std::vector<Tcommand> FCommand;
    TComListener* FHWD;
    TComObjRs232* ComObjRs232;
    TCompletionDispatcher* dispatcher_;
    bool freeOnTerminate_;
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
