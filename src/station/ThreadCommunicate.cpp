#include "ThreadCommunicate.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <charconv>
#include <chrono>
#include <fmt/printf.h>

#include "Conversions.h"
#include "Log.h"
#include "SimulatedLink.h"
#include "UserText.h"

std::mutex StationLinkLock;
std::atomic<int> ComThreadsRunning{0};
float FirmwareVersionNumber = 0.0f;
uint32_t SimulationTick = 0;
uint32_t EepromRecordCount = 0;

namespace {

std::mutex settingsMutex;
TComPauses pauses;
std::atomic<bool> listsStopRequested{false};
TInfoDataWriter infoDataWriter;

const char* BoolText(bool b) {
    return b ? "True" : "False";
}

// The serial object of a thread created without one: never open, so every exchange fails as a
// closed port does.
TComObjRs232& ClosedPort() {
    static TComObjRs232 closed;
    return closed;
}

// The version text as a number, "." as decimal separator whatever the locale.
float VersionNumberOf(const std::string& text) {
    float value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

uint8_t ThresholdRH(double value) {
    const double rh = RoundTiesToEven(value);
    if (!(rh >= 0 && rh <= 255)) throw EOrvanelError(RangeErrorText);
    return static_cast<uint8_t>(rh);
}

void SleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

} // namespace

// ---- Completion queue ----------------------------------------------------------------------------

void TCompletionQueue::Dispatch(std::function<void()> handler) {
    // Notified under the lock: once the handler is seen, the queue may be destroyed at once, so
    // nothing of it may be touched after the lock is released.
    std::lock_guard guard(mutex_);
    handlers_.push_back(std::move(handler));
    ready_.notify_all();
}

int TCompletionQueue::RunPending() {
    int ran = 0;
    for (;;) {
        std::function<void()> handler;
        {
            std::lock_guard guard(mutex_);
            if (handlers_.empty()) return ran;
            handler = std::move(handlers_.front());
            handlers_.pop_front();
        }
        handler();
        ++ran;
    }
}

bool TCompletionQueue::RunOne(int timeoutMs) {
    std::function<void()> handler;
    {
        std::unique_lock lock(mutex_);
        if (!ready_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return !handlers_.empty(); }))
            return false;
        handler = std::move(handlers_.front());
        handlers_.pop_front();
    }
    handler();
    return true;
}

// ---- Settings -------------------------------------------------------------------------------------

void RequestStationListsStop(bool stop) {
    listsStopRequested = stop;
}

bool StationListsStopRequested() {
    return listsStopRequested;
}

void SetComPausesForTests(const TComPauses& p) {
    std::lock_guard guard(settingsMutex);
    pauses = p;
}

TComPauses ComPauses() {
    std::lock_guard guard(settingsMutex);
    return pauses;
}

void SetInfoDataWriter(TInfoDataWriter writer) {
    std::lock_guard guard(settingsMutex);
    infoDataWriter = std::move(writer);
}

void WriteInfoData(const TcapteursInfos& record) {
    TInfoDataWriter writer;
    {
        std::lock_guard guard(settingsMutex);
        writer = infoDataWriter;
    }
    if (writer) writer(record);
}

bool ApplySimulationArgument(const std::vector<std::string>& arguments) {
    SimulationMode = std::any_of(arguments.begin(), arguments.end(), [](std::string a) {
        std::transform(a.begin(), a.end(), a.begin(), [](unsigned char c) { return std::tolower(c); });
        return a == "/sim=1";
    });
    return SimulationMode;
}

uint8_t AnswerByte(const TArrayByte& answer, size_t i) {
    if (i >= answer.size()) throw EOrvanelError(RangeErrorText);
    return answer[i];
}

namespace {

// The roof criteria as the station reports them, from byte `first` of an answer: in the version
// answer of firmware before 2.65, in an answer of their own since.
void DecodeCriteria(const TArrayByte& a, size_t first, double rhCorrection, TRoofCloserCriterias& roof) {
    const auto report = [](auto& cell, auto value) {
        cell.Value = value;
        cell.Valid = true;
    };
    report(roof.DoWatch, AnswerByte(a, first) == 1);
    report(roof.RH, ThresholdRH(AnswerByte(a, first + 1) * rhCorrection));
    report(roof.Wind, AnswerByte(a, first + 2));
    report(roof.Light, AnswerByte(a, first + 3) == 1);
    report(roof.TempSky,
           Float24_ToFloat(AnswerByte(a, first + 6), AnswerByte(a, first + 5), AnswerByte(a, first + 4)));
}

} // namespace

// ---- The thread -----------------------------------------------------------------------------------

TThread_Communicate::TThread_Communicate(std::vector<Tcommand> commands, TComListener* listener,
                                         TComObjRs232* comObj, bool freeOnTerminate,
                                         TCompletionDispatcher* dispatcher)
    : FCommand(std::move(commands)), FHWD(listener), ComObjRs232(comObj ? comObj : &ClosedPort()),
      dispatcher_(dispatcher), freeOnTerminate_(freeOnTerminate), setup_(SetupInfos),
      current_(CurrentCapteursInfos), firmware_(FirmwareVersionNumber),
      simulated_(SimulationMode ? std::make_unique<TSimulatedStationLink>(SimulationTick) : nullptr) {}

TThread_Communicate::~TThread_Communicate() {
    if (thread_.joinable()) thread_.join();
}

void TThread_Communicate::Start() {
    ++ComThreadsRunning;
    if (freeOnTerminate_) {
        // Never joined, and possibly deleted before this call returns: the thread handle must not
        // live in the object.
        std::thread([this] { Run(); }).detach();
        return;
    }
    thread_ = std::thread([this] { Run(); });
}

void TThread_Communicate::WaitFor() {
    if (thread_.joinable()) thread_.join();
}

void TThread_Communicate::Run() {
    Execute();
    // Nothing below may touch the object after it has been handed over: a self-freeing thread can
    // be deleted by the dispatcher's side at any moment after Dispatch.
    const bool freeIt = freeOnTerminate_;
    if (dispatcher_) {
        // The report is applied on the dispatcher's side, where the globals it fills are read.
        dispatcher_->Dispatch([this, freeIt] {
            ApplyReport();
            if (OnTerminate) OnTerminate(*this);
            if (freeIt) delete this;
        });
    } else {
        if (OnTerminate) OnTerminate(*this);
        if (freeIt) delete this; // detached: deleting from the worker itself is safe
    }
    --ComThreadsRunning; // the last thing this thread does with anything its owner holds
}

void TThread_Communicate::ApplyReport() {
    auto& hw = SetupInfos.SetupInfos_HW;
    const auto& mine = setup_.SetupInfos_HW;
    if (weatherRead_) {
        // Every field of the weather reading; the light fields are the light reading's own.
        TcapteursInfos reading = current_;
        const TcapteursInfos& held = CurrentCapteursInfos;
        reading.LightValueAbs = held.LightValueAbs;
        reading.GainLight = held.GainLight;
        reading.DividLight = held.DividLight;
        reading.ValidLight = held.ValidLight;
        reading.Lumex = held.Lumex;
        CurrentCapteursInfos = reading;
        hw.DefrostEnabled = mine.DefrostEnabled;
        hw.RainCleanEnabled = mine.RainCleanEnabled;
        hw.RainStatus = mine.RainStatus;
        hw.RoofSwitchActive = mine.RoofSwitchActive;
    }
    if (light_) ApplyLightSample(*light_, CurrentCapteursInfos, SetupInfos);
    if (infoRead_) {
        FirmwareVersionNumber = firmware_;
        hw.Version = mine.Version;
        const auto station = [](auto& cell, const auto& reported) {
            cell.Value = reported.Value;
            cell.Valid = reported.Valid;
        };
        station(hw.AdresseEEPROM, mine.AdresseEEPROM);
        station(hw.NbloopsData, mine.NbloopsData);
        station(hw.InterVal_Rec_EEPROM, mine.InterVal_Rec_EEPROM);
        station(hw.DateSinceBoot, mine.DateSinceBoot);
        station(hw.DisableHeater, mine.DisableHeater);
        station(hw.Gain_stage1_IR, mine.Gain_stage1_IR);
        station(hw.Gain_stage2_IR, mine.Gain_stage2_IR);
        auto& roof = SetupInfos.RoofCloserCriterias;
        const auto& reported = setup_.RoofCloserCriterias;
        station(roof.DoWatch, reported.DoWatch);
        station(roof.TempSky, reported.TempSky);
        station(roof.RH, reported.RH);
        station(roof.Wind, reported.Wind);
        station(roof.Light, reported.Light);
        station(roof.ValueMag, reported.ValueMag);
    }
    if (dateRead_) hw.LastDateSyst = mine.LastDateSyst;
    if (dateSet_) {
        hw.AdresseEEPROM.Valid = true;
        hw.InterVal_Rec_EEPROM.Value = mine.InterVal_Rec_EEPROM.Value;
    }
    if (downloaded_) EepromRecordCount = eepromRecordCount_;
    if (simulated_) SimulationTick = simulated_->Tick();
    ComLastError = errorText_;
}

void TThread_Communicate::Execute() {
    ++ComThreadCount;
    std::unique_lock link(StationLinkLock);
    const auto fail = [&](const std::string& message) {
        errorText_ = message;
        link.unlock();
        FCommand.clear();
        if (FHWD) FHWD->ComError(errorText_);
        --ComThreadCount;
        LogToday("Error : " + errorText_);
    };
    try {
        for (const Tcommand command : FCommand)
            RunCommand(command);
    } catch (const std::exception& e) {
        portLost_ = dynamic_cast<const EComPortLost*>(&e) != nullptr;
        fail(e.what());
        return;
    } catch (...) {
        fail("Unknown exception");
        return;
    }
    link.unlock();
    FCommand.clear();
    --ComThreadCount;
}

void TThread_Communicate::RunCommand(Tcommand command) {
    if (simulated_ && simulated_->Answer(command, {setup_, current_, light_})) {
        NoteSimulatedAnswer(command);
        return;
    }
    switch (command) {
    case TCom_GetVersion:
        GetVersion();
        break;
    case TCom_getSensorInfos:
        GetSensorInfos();
        break;
    case TCom_DownLoadData:
        DownLoadData();
        break;
    case TCom_GetDate:
        GetDate();
        break;
    case TCom_SetDate:
        SetDate();
        break;
    case TCom_GetVersion_Wait:
        GetVersionWait();
        break;
    case TCom_GetLightLevel:
        GetLightLevel();
        break;
    case TCom_Setup:
        Setup();
        break;
    case TCom_RearmTrig:
        RearmTrig();
        break;
    case TCom_SetIR:
        SetIR();
        break;
    case TCom_CalibratePD:
        CalibratePD();
        break;
    }
}

// An answer of the simulated link counts as what the command would have found.
void TThread_Communicate::NoteSimulatedAnswer(Tcommand command) {
    if (command == TCom_GetVersion) infoRead_ = true;
    if (command == TCom_GetDate) dateRead_ = true;
    if (command == TCom_getSensorInfos) weatherRead_ = true;
}

TArrayByte TThread_Communicate::Exchange(const TArrayByte& order) {
    TArrayByte answer;
    ComObjRs232->SendOrder_ReceiveFeedBack(order, answer);
    return answer;
}

TArrayByte TThread_Communicate::ExchangeRetried(const std::function<TArrayByte()>& order, size_t minLength) {
    constexpr int attempts = 3;
    for (int n = 1;; ++n) {
        const TArrayByte o = order();
        try {
            TArrayByte answer = Exchange(o);
            if (answer.size() < minLength) throw EOrvanelError(RangeErrorText);
            return answer;
        } catch (const EComPortLost&) {
            throw; // nothing answers on a port that has gone
        } catch (const std::exception& e) {
            LogToday(fmt::sprintf("Order 0x%02X failed, attempt %d/%d -> %s", o.empty() ? 0 : o[0], n,
                                  attempts, e.what()));
            if (n == attempts) throw;
        }
        SleepMs(ComPauses().OrderRetryMs);
    }
}

// ---- Version and set-up ---------------------------------------------------------------------------

void TThread_Communicate::GetVersion() {
    auto& hw = setup_.SetupInfos_HW;
    auto& roof = setup_.RoofCloserCriterias;
    infoRead_ = true; // what was decoded before a failure is kept, as the station reported it
    try {
        LogToday("Start getting VERSION DATA");
        // Shortest answers that decode: version and memory state; IR gains; roof criteria.
        const TArrayByte a = ExchangeRetried([] { return TArrayByte{halvex::OrderGetVersion}; }, 13);
        hw.Version = fmt::format("{}.{}", AnswerByte(a, 0), AnswerByte(a, 1));
        LogToday("Version " + hw.Version);
        firmware_ = VersionNumberOf(hw.Version);
        hw.AdresseEEPROM.Value = AnswerByte(a, 2) * 65536 + AnswerByte(a, 3) * 256 + AnswerByte(a, 4);
        hw.AdresseEEPROM.Valid = true;
        hw.NbloopsData.Value = AnswerByte(a, 5);
        hw.NbloopsData.Valid = true;
        hw.InterVal_Rec_EEPROM.Value = AnswerByte(a, 6) + 256 * AnswerByte(a, 7);
        hw.InterVal_Rec_EEPROM.Valid = true;
        hw.DateSinceBoot.Value =
            Bytes_ToLong(AnswerByte(a, 8), AnswerByte(a, 9), AnswerByte(a, 10), AnswerByte(a, 11));
        hw.DateSinceBoot.Valid = true;
        hw.DisableHeater.Value = AnswerByte(a, 12) == 0;
        hw.DisableHeater.Valid = true;

        const bool criteriaAnswer = firmware_ >= 2.65f;
        if (!criteriaAnswer) {
            DecodeCriteria(a, 13, hw.RH_Correction, roof);
        }
        const TArrayByte b = ExchangeRetried([] { return TArrayByte{halvex::OrderGetIRGain}; }, 4);
        hw.Gain_stage1_IR.Value = AnswerByte(b, 2);
        hw.Gain_stage1_IR.Valid = true;
        hw.Gain_stage2_IR.Value = AnswerByte(b, 3);
        hw.Gain_stage2_IR.Valid = true;
        if (criteriaAnswer) {
            const TArrayByte c = ExchangeRetried([] { return TArrayByte{halvex::OrderGetCriteria}; }, 11);
            DecodeCriteria(c, 0, hw.RH_Correction, roof);
            roof.ValueMag.Value = Counter_ToMagnitude(
                Bytes_ToLong(AnswerByte(c, 7), AnswerByte(c, 8), AnswerByte(c, 9), AnswerByte(c, 10)));
            roof.ValueMag.Valid = true;
        }
    } catch (...) {
        LogToday("Getting VERSION DATA -> failed");
        throw;
    }
    if (setup_.Log.VerboseLevel == LogExpert) {
        const int g1 = hw.Gain_stage1_IR.Value, g2 = hw.Gain_stage2_IR.Value;
        LogToday(fmt::sprintf("Record time    = %d sec", hw.InterVal_Rec_EEPROM.Value));
        LogToday(fmt::sprintf("EEPROM adress  = %d sec", hw.AdresseEEPROM.Value));
        LogToday(fmt::sprintf("EEPROM loops   = %d ", hw.NbloopsData.Value));
        LogToday(fmt::sprintf("Sec Since boot = %d ", hw.DateSinceBoot.Value));
        LogToday(std::string("Heater disabled= ") + BoolText(hw.DisableHeater.Value));
        LogToday(std::string("Alarm Enabled  = ") + BoolText(roof.DoWatch.Value));
        LogToday(fmt::sprintf("RH Alarm       = %d%% ", roof.RH.Value));
        LogToday(fmt::sprintf("Wind Alarm     = %d km/h", roof.Wind.Value));
        LogToday(fmt::sprintf("Sky Temp Alarm = %1.1f °C", roof.TempSky.Value));
        LogToday(std::string("Light Alarm    = ") + BoolText(roof.Light.Value));
        if (firmware_ >= 2.65f) LogToday(fmt::sprintf("Magnitude Alar= %1.1f ", roof.ValueMag.Value));
        // A gain code of 0 has no amplification factor; the log must not end the command.
        try {
            LogToday(fmt::sprintf("Gain stage 1   = %d -> %1.1fx ", g1, GainStage1(g1)));
            LogToday(fmt::sprintf("Gain stage 2   = %d -> %1.1fx ", g2, GainStage2(g2)));
            LogToday(fmt::sprintf("Gain overall   = %1.1fx ", GainStage1(g1) * GainStage2(g2)));
        } catch (const std::exception& e) {
            LogToday(std::string("Gain stage 1   = ") + e.what());
        }
    }
    if (FHWD)
        FHWD->ComVersion(hw.Version,
                         hw.InterVal_Rec_EEPROM.Valid ? std::optional(hw.AdresseEEPROM.Value) : std::nullopt);
    LogToday("End getting VERSION DATA");
}

void TThread_Communicate::GetVersionWait() {
    for (int n = 1; n <= 10; ++n) {
        LogToday(fmt::sprintf("Version get_wait -> %d", n));
        try {
            Exchange({halvex::OrderGetVersion});
            LogToday(fmt::sprintf("Version get_wait OK -> %d", n));
            return;
        } catch (...) {
            LogToday(fmt::sprintf("Version get_wait FAILED -> %d, wait 10s ", n));
            if (n == 10) throw;
        }
        SleepMs(ComPauses().VersionWaitMs);
    }
}

void TThread_Communicate::GetDate() {
    auto& last = setup_.SetupInfos_HW.LastDateSyst;
    dateRead_ = true;
    try {
        const TArrayByte a = Exchange({halvex::OrderGetWeather});
        last.Value = StationDateTime(2000 + Bcd_ToByte(AnswerByte(a, 11)), Bcd_ToByte(AnswerByte(a, 10)),
                                     Bcd_ToByte(AnswerByte(a, 9)), Bcd_ToByte(AnswerByte(a, 8)),
                                     Bcd_ToByte(AnswerByte(a, 7)), Bcd_ToByte(AnswerByte(a, 6)));
        last.Valid = true;
        LogToday("Get System Date =" + DateTimeText(last.Value));
    } catch (...) {
        last.Valid = false;
        throw;
    }
}

void TThread_Communicate::SetDate() {
    auto& hw = setup_.SetupInfos_HW;
    LogToday("Begin set date and reset EEPROM pointer");
    if (const int year = DecodeDateTime(Now()).Year; year < 2000 || year > 2255)
        throw EOrvanelError(RangeErrorText);
    const int interval = hw.InterVal_Rec_EEPROM.DefaultValue;
    // The clock is read again for each attempt, so that a repeated order does not set it late.
    ExchangeRetried([interval] {
        const TDateTimeParts now = DecodeDateTime(Now());
        return TArrayByte{halvex::OrderSetDate,
                          Byte_ToBcd(now.Second),
                          Byte_ToBcd(now.Minute),
                          Byte_ToBcd(now.Hour),
                          Byte_ToBcd(now.Day),
                          Byte_ToBcd(now.Month),
                          Byte_ToBcd(now.Year - 2000),
                          static_cast<uint8_t>(interval & 0xFF),
                          static_cast<uint8_t>((interval >> 8) & 0xFF)};
    });
    hw.AdresseEEPROM.Valid = true;
    hw.InterVal_Rec_EEPROM.Value = interval;
    dateSet_ = true;
    LogToday(fmt::sprintf("Set PC Date & reset EEPROM pointer, recording EE intervall = %d sec", interval));
}

void TThread_Communicate::Setup() {
    const auto& hw = setup_.SetupInfos_HW;
    const auto& roof = setup_.RoofCloserCriterias;
    LogToday("Start setup Order");
    const auto sky = Float_ToFloat24(roof.TempSky.DefaultValue);
    const uint32_t mag = Magnitude_ToCounter(roof.ValueMag.DefaultValue);
    Exchange({halvex::OrderSetup, static_cast<uint8_t>(hw.DisableHeater.DefaultValue ? 0 : 1),
              static_cast<uint8_t>(roof.DoWatch.DefaultValue ? 1 : 0),
              ThresholdRH(roof.RH.DefaultValue / hw.RH_Correction), roof.Wind.DefaultValue,
              static_cast<uint8_t>(roof.Light.DefaultValue ? 1 : 0), sky[0], sky[1], sky[2],
              static_cast<uint8_t>(mag >> 24), static_cast<uint8_t>(mag >> 16),
              static_cast<uint8_t>(mag >> 8), static_cast<uint8_t>(mag)});
    LogToday(std::string("End Setup order -> DisableHeater=") + BoolText(hw.DisableHeater.DefaultValue));
}

void TThread_Communicate::SetIR() {
    const int g1 = setup_.SetupInfos_HW.Gain_stage1_IR.Value;
    const int g2 = setup_.SetupInfos_HW.Gain_stage2_IR.Value;
    LogToday(fmt::sprintf("Set Gain stage 1   = %d -> %1.1fx ", g1, GainStage1(g1)));
    LogToday(fmt::sprintf("Set Gain stage 2   = %d -> %1.1fx ", g2, GainStage2(g2)));
    LogToday(fmt::sprintf("Set Gain overall   = %1.1fx ", GainStage1(g1) * GainStage2(g2)));
    Exchange({halvex::OrderSetIR, static_cast<uint8_t>(g1 & 0xFF), static_cast<uint8_t>(g2 & 0xFF)});
}

void TThread_Communicate::RearmTrig() {
    Exchange({halvex::OrderRearm});
}

void TThread_Communicate::CalibratePD() {
    LogToday("Start getting [light Data for calibration]");
    const TArrayByte d = Exchange({halvex::OrderGetLight});
    FCalibrationPD.DateMes = Now();
    FCalibrationPD.Counter =
        Bytes_ToLong(AnswerByte(d, 0), AnswerByte(d, 1), AnswerByte(d, 2), AnswerByte(d, 3));
    FCalibrationPD.GainLight = AnswerByte(d, 5);
    FCalibrationPD.DividLight = AnswerByte(d, 4);
    LogToday("End getting [Light Data for Calibration]");
}
