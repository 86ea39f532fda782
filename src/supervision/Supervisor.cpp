#include "Supervisor.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fmt/format.h>
#include <fmt/printf.h>
#include <QCoreApplication>
#include <thread>
#include <utility>

#include "AutomationServer.h"
#include "CalibrationSample.h"
#include "ComBridge.h"
#include "ConditionFileService.h"
#include "ConditionFiles.h"
#include "CrashReport.h"
#include "DatabaseRegistry.h"
#include "FtpPublishing.h"
#include "HistoryStore.h"
#include "Language.h"
#include "Log.h"
#include "MedianObject.h"
#include "PlatformServices.h"
#include "QtHooks.h"
#include "RelayRearm.h"
#include "SettingsTable.h"
#include "StationLink.h"
#include "StationMemory.h"
#include "SystemEvents.h"
#include "UserText.h"
#include "Utilities.h"

namespace {

constexpr int kCloseWaitMs = 10000;

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

int TimerMs(int64_t ms) {
    return static_cast<int>(std::clamp<int64_t>(ms, 1000, INT32_MAX));
}

} // namespace

Supervisor::Supervisor(TSupervisorOptions options, QObject* parent)
    : QObject(parent), options_(std::move(options)), history_(std::make_unique<THistoryStore>(PathDatas)),
      link_(std::make_unique<TStationLinkHolder>()), bridge_(std::make_unique<TQtComBridge>(this)),
      systemEvents_(new TSystemEvents(options_.Headless, this)),
      status_(new TStatusModel(options_.Headless, this)), language_(new TLanguageSwitch(this)),
      healing_(new TLinkHealing(*this, *link_,
                                {options_.StartupRetryMs, options_.ReopenMs, options_.FailedReadingsBeforeReopen},
                                this)),
      config_(new TConfigurationRoundTrip(*this, *link_, options_.PortDevice, this)),
      calibration_(std::make_unique<TCalibrationSample>(static_cast<TCycleHost&>(*this), *link_)),
      relay_(published_,
             {.PlaySound = [this](const std::string& file) { PlaySound(file); },
              .RunProgram =
                  [this](const std::string& commandLine) {
                      RunProgram(commandLine);
                      if (!commandLine.empty()) emit programStarted(Q(commandLine));
                  },
              .StartRearm = [this](bool quiet) { rearm_->Start(quiet); },
              .Changed = [this] { emit relayChanged(); }}) {
    TimerMain.setInterval(1000);
    TimerLight.setInterval(1000);
    connect(&TimerMain, &QTimer::timeout, this, &Supervisor::TimerMainTimer);
    connect(&TimerLight, &QTimer::timeout, this, &Supervisor::TimerLightTimer);
    connect(&TimerSAVDataPeriodic, &QTimer::timeout, this, &Supervisor::TimerSAVDataPeriodicTimer);
    rearm_ = new TRelayRearm(*this, relay_, this);
    memory_ = std::make_unique<TStationMemory>(
        static_cast<TCycleHost&>(*this), *history_, *status_, [this](const std::string& error) { StartupFailed(error); },
        [this](TThread_Communicate& t) { OnAfterStartUp_threadOver(t); });
    ConnectParts();
    BuildServices();
    // Known before the start so that a window can lay out its debug tabs from the beginning.
    DebugMode = FileExists(PathLogs + "debug.txt");
}

void Supervisor::ConnectParts() {
    connect(status_, &TStatusModel::statusChanged, this, &Supervisor::statusChanged);
    connect(status_, &TStatusModel::statusBarChanged, this, &Supervisor::statusBarChanged);
    connect(status_, &TStatusModel::downloadProgressChanged, this, &Supervisor::downloadProgressChanged);
    connect(language_, &TLanguageSwitch::switched, this, &Supervisor::OnLanguageSwitched);
    connect(config_, &TConfigurationRoundTrip::configurationReady, this, &Supervisor::configurationReady);
    connect(config_, &TConfigurationRoundTrip::configurationWritten, this, &Supervisor::configurationWritten);
    connect(healing_, &TLinkHealing::linkChanged, this, &Supervisor::stationLinkChanged);
    connect(rearm_, &TRelayRearm::rearmFinished, this, &Supervisor::rearmFinished);
    // A start-up or resume that came through ends whatever healing was under way.
    connect(this, &Supervisor::startupFinished, healing_, [this](bool ok) {
        if (ok) healing_->StartupSucceeded();
    });
    connect(this, &Supervisor::stationLinkChanged, this, &Supervisor::OnLinkChanged);
    // The verdict sees the relay as soon as it changes, not only at the next reading.
    connect(this, &Supervisor::relayChanged, this, [this] {
        if (services_.Running()) published_.Verdict(Now());
    });
    connect(systemEvents_, &TSystemEvents::showRequested, this, &Supervisor::showRequested);
    connect(systemEvents_, &TSystemEvents::suspending, this, &Supervisor::SuspendNow);
    connect(systemEvents_, &TSystemEvents::resumed, this, &Supervisor::ResumeNow);
    connect(systemEvents_, &TSystemEvents::closeRequested, this, [this] {
        FormClose();
        QCoreApplication::quit();
    });
}

// The services every run has, first in the order: the one-line file follows the values just
// published, the automation clients read them, the FTP timer publishes the pictures.
void Supervisor::BuildServices() {
    // A path the file must not be written to is said in the status instead of "Ok".
    services_.Add(std::make_unique<TConditionFileService>(
        published_, [this](const std::string& refusal) { followerStatus_ = refusal; }));
    if (options_.StartAutomationServer) services_.Add(std::make_unique<TAutomationServer>(published_));
    auto ftp = std::make_unique<TFtpPublishing>(options_.FtpTimeouts,
                                                [this](const std::string& text) { ShowMessage(text); });
    ftp_ = ftp.get();
    services_.Add(std::move(ftp));
    status_->SetCountSuffix([this] { return ftp_->FtpStatusText(); });
}

Supervisor::~Supervisor() {
    if (started_) {
        FormClose();
        try {
            history_->Clear();
            LogToday("Application closed");
            LogToday("");
        } catch (...) {
        }
    }
    // A list that has just ended is still handing over its completion: let it, then run what it
    // queued (closed, the handlers only free their threads), so that no thread is left behind.
    for (int i = 0; i < 100 && ComThreadsRunning > 0 && ComThreadCount == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    QCoreApplication::sendPostedEvents(bridge_.get(), QEvent::MetaCall);
    bridge_->Detach();
    if (ComThreadsRunning > 0) {
        // A station thread still runs (it outlived the bounded wait): it keeps using the bridge and
        // the serial object, so both stay alive until the process ends.
        (void)bridge_.release();
        link_->Abandon();
    }
}

// ---- Start-up -----------------------------------------------------------------------------------

bool Supervisor::Start() {
    published_.Reset(Now());
    if (options_.CheckSingleInstance && !systemEvents_->CheckSingleInstance()) return false;
    started_ = true;

    Toggle_GoodCond.Validprevious = false;
    // The language the texts are in now: the user's, when its module was loaded at start.
    language_->FollowLoaded();
    relay_.ResetPassCount();
    LogToday(fmt::sprintf("Application start : %s", Caption()));
    LogToday(fmt::sprintf("Storage data path : %s", PathDatas));
    LogToday(fmt::sprintf("Storage Log  path : %s", PathLogs));
    LogToday(fmt::sprintf("Storage Jpeg path : %s", PathJpeg));
    TellAboutCrash();
    ReadSettings();
    LoadHistoryData();

    medianSky_ = std::make_unique<TMedianObject>(MedianSkySamples);
    status_->ClearStatus();
    FollowReadings();
    link_->Create();
    StartUp();

    StartupDone = true;
    legend_ = GoodConditionsLegend(SetupInfos);
    emit legendChanged();
    published_.PublishThresholds(SetupInfos);
    StartServices();
    if (options_.WatchSuspend) systemEvents_->WatchSuspend();
    systemEvents_->WatchSessionEnd();
    return true;
}

// A service that cannot start has logged why; the user is told once and the program runs on.
void Supervisor::StartServices() {
    services_.StartAll([this](const TService&, const std::string& error) {
        if (error.empty()) return;
        emit messageBox(Q(error));
        if (options_.Headless) std::fprintf(stderr, "%s\n", error.c_str());
    });
}

void Supervisor::ReadSettings() {
    // The settings hold the FTP password.
    if (const std::string tightened = DatabaseRegistry().RestrictFileToOwner(); !tightened.empty())
        LogToday(tightened);
    ReadMonthsToLoad();
    SimulationMode = ApplySimulationArgument(options_.Arguments);
    AssignStartupDefaults();
    TStartupSettings startup;
    startup.CurrentLang = ReadCurrentLang();
    language_->ApplyStored(startup.CurrentLang);
    ReadStartupSettings(startup);
    const TAlpacaSettings verdict = ReadSafetyRuleSettings();
    published_.SetSafetyRules({verdict.SafeDelayMin, verdict.UnsafeInDaylight});
    // A device named on the command line serves this run only; the stored setting is untouched.
    config_->SetStoredPortDevice(SetupInfos.SetupInfos_HW.PortDevice);
    if (!options_.PortDevice.empty()) SetupInfos.SetupInfos_HW.PortDevice = options_.PortDevice;
    FUnderSampleDataFactor = static_cast<int16_t>(SetupInfos.UnderSampleDataFactor);
    for (const std::string& problem : DatabaseRegistry().TakeProblems())
        ShowMessage(problem);
    SetInfoDataWriter([](const TcapteursInfos& r) { WriteInfoDataFile(r); });
}

// Once: the previous run ended on a fatal signal and left a report.
void Supervisor::TellAboutCrash() {
    const std::optional<TCrashNotice> crash = TakeCrashReport(PathLogs);
    if (!crash) return;
    LogToday(fmt::sprintf("Previous run stopped abnormally (%s), crash report: %s", crash->Signal,
                          crash->ReportPath));
    ShowMessage(
        fmt::sprintf(Tr("MainForm", "Le programme s'est arrêté anormalement le %s (%s). Rapport : %s"),
                     DateTimeText(crash->When), crash->Signal, crash->ReportPath));
}

// The texts kept from the last reading, made in the language before the switch, go once into the new
// one (a text translated twice can change meaning: "NON" gives "NO", which would give "NW").
void Supervisor::OnLanguageSwitched(int32_t from) {
    relay_.RetranslateDisplay([from](const std::string& text) { return Languages::Retranslated(text, from); });
    if (!legend_.empty()) legend_ = GoodConditionsLegend(SetupInfos);
    status_->Retranslate();
    status_->ClearStatus();
    emit languageChanged();
    emit legendChanged();
}

void Supervisor::LoadHistoryData() {
    LogToday("Config, OK, loading data...");
    LogToday("Data load...");
    try {
        history_->Load(SetupInfos.NbMonthtoLoad, PathExe + "Data.bin",
                       [this](const std::string& step) { emit historyLoadProgress(Q(step)); });
    } catch (const std::exception& e) {
        ShowMessage(e.what());
    }
    emit historyLoadProgress({});
}

void Supervisor::StartUp() {
    const auto& hw = SetupInfos.SetupInfos_HW;
    try {
        link_->Open(hw);
        LogToday("Opened COM" + TStationLinkHolder::OpenedText(hw));
        memory_->StartDownload({TCom_GetVersion, TCom_DownLoadData});
    } catch (const std::exception& e) {
        // The cycle stays off until a retry (or a configuration round trip) succeeds.
        LogToday(std::string("Startup failed ! -> ") + e.what());
        ShowStatus(e.what(), true);
        if (!healing_->Retrying()) ShowMessage(e.what()); // once, not at every retry
        healing_->ScheduleStartupRetry(e.what());
    }
}

// ---- Station lists ------------------------------------------------------------------------------

void Supervisor::StartList(std::vector<Tcommand> commands, std::function<void(TThread_Communicate&)> done,
                           bool quiet) {
    TThread_Communicate* thread = link_->NewList(std::move(commands), bridge_.get(), bridge_.get());
    thread->OnTerminate = std::move(done);
    thread->Quiet = quiet;
    thread->Start();
}

void Supervisor::StartupFailed(const std::string& error) {
    LogToday("Startup failed ! -> " + error);
    healing_->ScheduleStartupRetry(error);
    emit startupFinished(false);
}

void Supervisor::OnAfterStartUp_threadOver(TThread_Communicate& thread) {
    if (closed_) return;
    try {
        const std::string error = thread.ErrorText();
        if (!error.empty()) {
            StartupFailed(error);
            return;
        }
        rhythm_.Restart(SetupInfos.InterValQuickPoolSec, SetupInfos.InterValLightPoolSec);
        emit readingLabelsChanged();
        TimerMain.start();
        TimerLight.start();
        TimerSAVDataPeriodic.start(static_cast<int>(
            std::clamp<int64_t>(int64_t{SetupInfos.TimeMinIntSavDatas} * 60000, 60000, INT32_MAX)));
        LogToday("Startup complete...");
        emit startupFinished(true);
    } catch (const std::exception& e) {
        LogToday(std::string("OnAfterStartUp_threadOver -> ") + e.what());
        ShowMessage(std::string("OnAfterStartUp_threadOver -> ") + e.what());
    }
}

// ---- The cycle ----------------------------------------------------------------------------------

void Supervisor::TimerMainTimer() {
    const bool due = rhythm_.TickWeather(SetupInfos.InterValQuickPoolSec, CurrentCapteursInfos.DateSysteme);
    emit readingLabelsChanged();
    if (due) {
        status_->ShowDisplayRange(SetupInfos.RangeDateDisplay);
        StartList({TCom_getSensorInfos}, [this](TThread_Communicate& t) { AffData_threadOver(t); });
    }
}

void Supervisor::ReadWeatherNow() {
    if (closed_ || !CycleRunning() || healing_->LinkLost() || ComThreadCount > 0) return;
    StartList({TCom_getSensorInfos}, [this](TThread_Communicate& t) { AffData_threadOver(t); });
}

void Supervisor::TimerLightTimer() {
    const bool due = rhythm_.TickLight(SetupInfos.InterValLightPoolSec, LightPrevDate);
    emit readingLabelsChanged();
    if (due) StartList({TCom_GetLightLevel}, [this](TThread_Communicate& t) { OnLightRead(t); });
}

void Supervisor::OnLightRead(TThread_Communicate& thread) {
    if (closed_) return;
    if (thread.ErrorText().empty()) emit lightReadingProcessed();
}

void Supervisor::TimerSAVDataPeriodicTimer() {
    try {
        LogToday("Periodic datasave start");
        history_->SaveChanged();
        LogToday("Periodic datasave done");
    } catch (const std::exception& e) {
        const std::string text = Tr("MainForm", "Erreur lors de la sauvegarde périodique -> ") + e.what();
        LogToday(text);
        ShowMessage(text);
    }
}

void Supervisor::StopCycle() {
    TimerMain.stop();
    TimerLight.stop();
}

void Supervisor::RestartCycle() {
    rhythm_.ResetCounts();
    TimerMain.start();
    TimerLight.start();
}

TCyclePause Supervisor::PauseCycle() {
    const TCyclePause before{TimerMain.isActive(), TimerSAVDataPeriodic.isActive()};
    StopCycle();
    TimerSAVDataPeriodic.stop();
    TimerSAVDataPeriodic.setInterval(TimerMs(int64_t{SetupInfos.TimeMinIntSavDatas} * 60000));
    return before;
}

// The cycle comes back as it was: a start-up still to be retried, or a lost link, heal by themselves.
void Supervisor::ResumeCycle(const TCyclePause& before) {
    if (closed_) return;
    if (before.Cycle && !healing_->LinkLost()) RestartCycle();
    if (before.PeriodicSave) TimerSAVDataPeriodic.start();
}

bool Supervisor::StartConfiguration() {
    if (!config_->Start()) return false;
    FUnderSampleDataFactor = static_cast<int16_t>(SetupInfos.UnderSampleDataFactor);
    return true;
}

void Supervisor::SettingsApplied() {
    published_.PublishThresholds(SetupInfos);
    legend_ = GoodConditionsLegend(SetupInfos);
    emit legendChanged();
    rhythm_.RestartWithNewSettings(SetupInfos.InterValQuickPoolSec, SetupInfos.InterValLightPoolSec);
    emit readingLabelsChanged();
    emit redrawRequested();
}

// ---- One weather reading ------------------------------------------------------------------------

void Supervisor::AffData_threadOver(TThread_Communicate& thread) {
    if (closed_) return;
    if (!thread.ErrorText().empty()) {
        ShowStatus(thread.ErrorText(), true);
        emit weatherReadingFailed();
        healing_->ReadingFailed(thread);
        return;
    }
    healing_->ReadingSucceeded();
    try {
        const TcapteursInfos copy = CurrentCapteursInfos;
        ProcessReading(copy);
    } catch (const std::exception& e) {
        const std::string text =
            Tr("MainForm", "Erreur dans la procédure \"AffData_threadOver\", message -> ") + e.what();
        LogToday(text);
        ShowMessage(text);
    }
    emit weatherReadingProcessed();
}

void Supervisor::ProcessReading(const TcapteursInfos& copy) {
    rhythm_.WeatherRead(copy.DateSysteme);
    emit readingLabelsChanged();

    // States and condition codes, published on the way; the sounds wait until the relay is shown.
    double median = 0;
    const bool medianReady = medianSky_->Return(copy.DeltaTempDeg, median);
    TConditionsOutcome outcome =
        ProcessConditions(copy, SetupInfos, medianReady ? std::optional<double>(median) : std::nullopt,
                          Toggle_GoodCond, history_->Records(), published_);
    conditions_ = outcome.Conditions;
    hasConditions_ = true;
    emit conditionsChanged();

    UpdateRelayDisplay();
    // Without a window the operator follows the states on standard error; made in the language of
    // the moment.
    if (options_.Headless) status_->PrintStatesLine(StatesLine(conditions_, relay_.Display().Panel.Text));
    for (const auto& sound : outcome.SoundsToPlay)
        PlaySound(sound);

    if (--FUnderSampleDataFactor <= 0) {
        FUnderSampleDataFactor =
            static_cast<int16_t>(std::max<uint16_t>(1, SetupInfos.UnderSampleDataFactor));
        if (history_->Append(copy) == TAppendResult::SetAside)
            LogToday("Reading set aside in " + PathDatas + RejectedFileName + " : " +
                     DateTimeText(copy.DateSysteme));
        for (const std::string& problem : history_->TakeProblems())
            ShowMessage(problem);
    }
    emit readingProcessed(copy, conditions_);
    // What a follower had to say stays in the status until the next reading.
    if (const std::string said = std::exchange(followerStatus_, {}); !said.empty())
        ShowStatus(said, true);
    else
        ShowStatus("Ok", false);
    status_->ShowRecordCount(static_cast<int>(history_->Size()));
}

// What follows each reading, connected in this order: the verdict and the services (the one-line
// file first, from the values just published), then the graphs.
void Supervisor::FollowReadings() {
    readingFollowers_ = {
        connect(
            this, &Supervisor::readingProcessed, this,
            [this](const TcapteursInfos& reading, const TConditions& conditions) {
                if (services_.Running()) published_.Verdict(Now());
                services_.OnReading(reading, conditions);
            },
            Qt::DirectConnection),
        connect(
            this, &Supervisor::readingProcessed, this, [this] { emit redrawRequested(); },
            Qt::DirectConnection),
    };
}

void Supervisor::StopFollowingReadings() {
    for (auto it = readingFollowers_.rbegin(); it != readingFollowers_.rend(); ++it)
        disconnect(*it);
    readingFollowers_.clear();
}

void Supervisor::RecoverStationMemory() {
    memory_->StartDownload({TCom_GetVersion, TCom_DownLoadData});
}

void Supervisor::OnLinkChanged(bool lost) {
    // From the loss on the station records what nobody reads: its clock is not set (which empties
    // its memory) before that memory is stored.
    if (lost) memory_->RecordsUnread();
    published_.PublishLinkState(lost);
    if (services_.Running()) published_.Verdict(Now());
    services_.OnLinkState(lost);
}

// ---- Thread messages ----------------------------------------------------------------------------

void Supervisor::OnComError(const std::string& error) {
    ShowStatus(Tr("MainForm", "Erreur : ") + error, true);
}

void Supervisor::OnComVersion(const std::string& version, std::optional<int32_t> memoryAddress) {
    status_->ShowVersion(version, memoryAddress);
}

void Supervisor::ShowMessage(const std::string& text) {
    emit messageBox(Q(text));
    if (options_.Headless)
        ShowUserMessage(text); // log and standard error
    else
        LogToday(text);
}

void Supervisor::PlaySound(const std::string& file) {
    emit soundRequested(Q(file));
    PlaySoundFile(file);
}

// ---- Roof relay ---------------------------------------------------------------------------------

void Supervisor::UpdateRelayDisplay() {
    relay_.UpdateRelayDisplay(RelayInputsOf(SetupInfos), CurrentCapteursInfos);
}

void Supervisor::RelayAfterSetup(bool ok) {
    if (ok)
        UpdateRelayDisplay();
    else
        relay_.WatchUnknown();
}

bool Supervisor::RearmConditionsMet(const TcapteursInfos& reading) const {
    return TRelayController::RearmConditionsMet(SetupInfos.RoofCloserCriterias, reading);
}

// ---- Closing, suspend, resume -------------------------------------------------------------------

void Supervisor::StopTimers() {
    TimerMain.stop();
    TimerLight.stop();
    TimerSAVDataPeriodic.stop();
    healing_->Stop();
}

void Supervisor::WaitForThreads(int maxMs) {
    // A list just started may not have counted itself in ComThreadCount yet (its thread counts itself
    // when it runs); ComThreadsRunning counts it from its start.
    ProcessEventsUntil([] { return ComThreadCount == 0 && ComThreadsRunning == 0; }, maxMs);
}

// Stops a running memory download between two records and waits, at most maxMs, for the station
// lists to end; the records they handed over are stored before this returns.
void Supervisor::StopStationLists(int maxMs) {
    RequestStationListsStop(true);
    WaitForThreads(maxMs);
    // Records queued just before a thread ended are stored now, not after the save.
    QCoreApplication::sendPostedEvents(bridge_.get(), QEvent::MetaCall);
}

void Supervisor::FormClose() {
    if (closed_ || !started_) return;
    closed_ = true;
    try {
        StopTimers();
        LogToday("Waits for threadcom to terminate....");
        StopStationLists(kCloseWaitMs);
        LogToday("Waits for threadcom terminated, start thread set date");
        if (link_->Exists()) {
            if (memory_->SetClockIfStored(*link_)) LogToday("Thread set date complete");
            link_->Destroy(ComThreadCount > 0); // a late thread keeps using it (see ~Supervisor)
            LogToday("ComObjRs232 destroyed");
        }
        history_->SaveChanged();
        history_->Clear();
        LogToday("Data saved");
        StartupDone = false;
    } catch (const std::exception& e) {
        ShowMessage(Tr("MainForm", "Erreur lors de la fermeture de l'application : ") + e.what());
    }
    StopFollowingReadings();
    // In the reverse order of their start: an FTP upload still running is aborted (within a second)
    // rather than left to a process that ends. The graph scales and check boxes are the window's
    // own; it stores them when it closes.
    services_.StopAll();
    systemEvents_->ReleaseSleepInhibitor();
    emit closed();
}

void Supervisor::SuspendNow() {
    if (closed_ || !started_) return;
    StopTimers();
    LogToday("Starts to hibernate -> saving datas");
    StopStationLists(kCloseWaitMs);
    StopTimers(); // a download stopped above may have asked for a start-up retry
    try {
        history_->SaveChanged();
        LogToday("Starts to hibernate -> data saved...");
    } catch (const std::exception& e) {
        LogToday(std::string("Starts to hibernate -> ") + e.what());
    }
    memory_->SetClockIfStored(*link_);
    LogToday("Starts to hibernate -> SetTime DS done!");
    LogToday("");
}

void Supervisor::ResumeNow() {
    if (closed_ || !started_) return;
    LogToday("Resuming from hibernation");
    memory_->StartDownload({TCom_GetVersion_Wait, TCom_GetVersion, TCom_DownLoadData});
    LogToday("Resuming from hibernation, complete, thread started..");
}

void Supervisor::InstallSignalHandlers() {
    systemEvents_->InstallSignalHandlers();
}
