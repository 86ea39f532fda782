#include "Supervisor.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fmt/format.h>
#include <fmt/printf.h>
#include <QCoreApplication>
#include <QLocale>
#include <thread>
#include <utility>

#include "AutomationServer.h"
#include "ConditionFiles.h"
#include "Conversions.h"
#include "CrashReport.h"
#include "DatabaseRegistry.h"
#include "HistoryStore.h"
#include "IndexPage.h"
#include "Language.h"
#include "Log.h"
#include "MedianObject.h"
#include "PlatformServices.h"
#include "QtHooks.h"
#include "SettingsTable.h"
#include "StationLink.h"
#include "SystemEvents.h"
#include "UserText.h"
#include "Utilities.h"

namespace {

constexpr int kCloseWaitMs = 10000;

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

} // namespace

// Turns the worker thread's reports into queued calls on the main thread, where the Supervisor
// lives. Never deleted while a station thread may still report (see ~Supervisor).
class TQtComBridge : public QObject, public TComListener, public TCompletionDispatcher {
  public:
    explicit TQtComBridge(Supervisor* owner) : owner_(owner) {}
    void Detach() { owner_ = nullptr; }

    void ComError(const std::string& text) override {
        Queue([this, text] {
            if (owner_) owner_->OnComError(text);
        });
    }
    void ComVersion(const std::string& version, std::optional<int32_t> memoryAddress) override {
        Queue([this, version, memoryAddress] {
            if (owner_) owner_->OnComVersion(version, memoryAddress);
        });
    }
    void ComEepromProgress(uint32_t done, uint32_t total) override {
        Queue([this, done, total] {
            if (owner_) owner_->OnComEepromProgress(done, total);
        });
    }
    void ComEepromRecords(std::vector<TcapteursInfos> records) override {
        Queue([this, records = std::move(records)]() mutable {
            if (owner_) owner_->OnComEepromRecords(std::move(records));
        });
    }
    void Dispatch(std::function<void()> handler) override {
        // Once the owner is gone the handler (which refers to it) is dropped; the thread leaks.
        Queue([this, handler = std::move(handler)] {
            if (owner_) handler();
        });
    }

  private:
    // Qt's event queue is invisible to ThreadSanitizer; posting under this lock, and taking it again
    // before the call runs, makes visible that what the worker wrote before posting happens before
    // the main thread's call.
    static std::mutex& HandOverLock() {
        static std::mutex lock;
        return lock;
    }
    template <typename F> void Queue(F&& f) {
        std::lock_guard guard(HandOverLock());
        QMetaObject::invokeMethod(
            this,
            [f = std::forward<F>(f)]() mutable {
                { std::lock_guard handedOver(HandOverLock()); }
                f();
            },
            Qt::QueuedConnection);
    }
    Supervisor* owner_;
};

Supervisor::Supervisor(TSupervisorOptions options, QObject* parent)
    : QObject(parent), options_(std::move(options)), history_(std::make_unique<THistoryStore>(PathDatas)),
      link_(std::make_unique<TStationLinkHolder>()), bridge_(std::make_unique<TQtComBridge>(this)),
      relay_(published_,
             {.PlaySound = [this](const std::string& file) { PlaySound(file); },
              .RunProgram =
                  [this](const std::string& commandLine) {
                      RunProgram(commandLine);
                      if (!commandLine.empty()) emit programStarted(Q(commandLine));
                  },
              .StartRearm =
                  [this](bool quiet) { StartList({TCom_RearmTrig}, &Supervisor::OnterminateRearm, quiet); },
              .Changed = [this] { emit relayChanged(); }}) {
    TimerMain.setInterval(1000);
    TimerLight.setInterval(1000);
    connect(&TimerMain, &QTimer::timeout, this, &Supervisor::TimerMainTimer);
    connect(&TimerLight, &QTimer::timeout, this, &Supervisor::TimerLightTimer);
    connect(&TimerSAVDataPeriodic, &QTimer::timeout, this, &Supervisor::TimerSAVDataPeriodicTimer);
    connect(&TimerFTP, &QTimer::timeout, this, &Supervisor::TimerFTPTimer);
    TimerStartupRetry.setSingleShot(true);
    TimerReopen.setSingleShot(true);
    connect(&TimerStartupRetry, &QTimer::timeout, this, &Supervisor::RetryStartup);
    connect(&TimerReopen, &QTimer::timeout, this, &Supervisor::ReopenPort);
    // A start-up or resume that came through ends whatever healing was under way.
    connect(this, &Supervisor::startupFinished, this, [this](bool ok) {
        if (!ok) return;
        TimerStartupRetry.stop();
        TimerReopen.stop();
        startupRetries_ = 0;
        failedReadings_ = 0;
        linkLost_ = false;
    });
    systemEvents_ = new TSystemEvents(options_.Headless, this);
    connect(systemEvents_, &TSystemEvents::showRequested, this, &Supervisor::showRequested);
    connect(systemEvents_, &TSystemEvents::suspending, this, &Supervisor::SuspendNow);
    connect(systemEvents_, &TSystemEvents::resumed, this, &Supervisor::ResumeNow);
    connect(systemEvents_, &TSystemEvents::closeRequested, this, [this] {
        FormClose();
        QCoreApplication::quit();
    });
    Langue_courante = Languages::Loaded();
    MakeCaption();
    // Known before the start so that a window can lay out its debug tabs from the beginning.
    DebugMode = FileExists(PathLogs + "debug.txt");
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
    if (options_.StartAutomationServer) {
        automation_ = new TAutomationServer(published_, this);
        automation_->Start();
    }
    started_ = true;

    Toggle_GoodCond.Validprevious = false;
    // The language the texts are in now: the user's, when its module was loaded at start.
    Langue_courante = Languages::Loaded();
    relay_.ResetPassCount();
    LogToday(fmt::sprintf("Application start : %s", caption_));
    LogToday(fmt::sprintf("Storage data path : %s", PathDatas));
    LogToday(fmt::sprintf("Storage Log  path : %s", PathLogs));
    LogToday(fmt::sprintf("Storage Jpeg path : %s", PathJpeg));
    TellAboutCrash();
    ReadSettings();
    LoadHistoryData();

    medianSky_ = std::make_unique<TMedianObject>(MedianSkySamples);
    status_ = {};
    emit statusChanged();
    FollowReadings();
    link_->Create();
    OpenPortAndStartList();

    StartupDone = true;
    legend_ = GoodConditionsLegend(SetupInfos);
    emit legendChanged();
    published_.PublishThresholds(SetupInfos);
    SetFtpInterval(SetupInfos.SetupWebPublish.IntervallSec);
    if (options_.WatchSuspend) systemEvents_->WatchSuspend();
    systemEvents_->WatchSessionEnd();
    return true;
}

void Supervisor::ReadSettings() {
    // The settings hold the FTP password.
    if (const std::string tightened = DatabaseRegistry().RestrictFileToOwner(); !tightened.empty())
        LogToday(tightened);
    ReadMonthsToLoad();
    SimulationMode = ApplySimulationArgument(options_.Arguments);
    AssignStartupDefaults();
    const int32_t lang = ReadCurrentLang();
    ApplyStoredLanguage(lang);
    const char* name = Langue_courante == LangFrench    ? "French"
                       : Langue_courante == LangEnglish ? "English"
                                                        : "";
    LogToday(fmt::sprintf("Application language : %s  (%d)", name, Langue_courante));
    TStartupSettings startup;
    startup.CurrentLang = lang;
    ReadStartupSettings(startup);
    // A device named on the command line serves this run only; the stored setting is untouched.
    storedPortDevice_ = SetupInfos.SetupInfos_HW.PortDevice;
    if (!options_.PortDevice.empty()) SetupInfos.SetupInfos_HW.PortDevice = options_.PortDevice;
    FUnderSampleDataFactor = static_cast<int16_t>(SetupInfos.UnderSampleDataFactor);
    for (const std::string& problem : DatabaseRegistry().TakeProblems())
        ShowMessage(problem);
    dateStartFTP_ = Now();
    SetInfoDataWriter([](const TcapteursInfos& r) { WriteInfoDataFile(r); });
}

// The stored choice wins over the language loaded at start (the user's); any other value keeps that.
void Supervisor::ApplyStoredLanguage(int32_t stored) {
    if (stored != LangFrench && stored != LangEnglish) return;
    SwitchLanguage(stored);
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

bool Supervisor::SwitchLanguage(int32_t language) {
    const int32_t before = Languages::Loaded();
    if (language == Langue_courante || !Languages::Load(language)) return false;
    Langue_courante = language;
    RetranslateKeptTexts(before);
    try {
        WriteCurrentLang(language);
    } catch (const std::exception& e) {
        LogToday(std::string("CurrentLang not stored: ") + e.what());
    }
    MakeCaption();
    if (!legend_.empty()) legend_ = GoodConditionsLegend(SetupInfos);
    for (size_t panel = 0; panel < statusBar_.size(); ++panel)
        if (statusBarMakers_[panel]) statusBar_[panel] = statusBarMakers_[panel]();
    status_ = {};
    emit statusChanged();
    emit languageChanged();
    emit legendChanged();
    return true;
}

// The texts kept from the last reading, made in the language before the switch, go once into the new
// one (a text translated twice can change meaning: "NON" gives "NO", which would give "NW").
void Supervisor::RetranslateKeptTexts(int32_t from) {
    relay_.RetranslateDisplay(
        [from](const std::string& text) { return Languages::Retranslated(text, from); });
}

void Supervisor::MakeCaption() {
    caption_ =
        Tr("MainForm", "Moniteur de nuages HALVEX") + " -> Version " + Tr("MainForm", "v1.49 27/03/13");
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

void Supervisor::OpenPortAndStartList() {
    const auto& hw = SetupInfos.SetupInfos_HW;
    try {
        link_->Open(hw);
        LogToday("Opened COM" + TStationLinkHolder::OpenedText(hw));
        StartDownloadList({TCom_GetVersion, TCom_DownLoadData});
    } catch (const std::exception& e) {
        // The cycle stays off until a retry (or a configuration round trip) succeeds.
        LogToday(std::string("Startup failed ! -> ") + e.what());
        ShowStatus(e.what(), true);
        if (startupRetries_ == 0) ShowMessage(e.what()); // once, not at every retry
        ScheduleStartupRetry(e.what());
    }
}

// ---- Station lists ------------------------------------------------------------------------------

void Supervisor::StartList(std::vector<Tcommand> commands, void (Supervisor::*handler)(TThread_Communicate&),
                           bool quiet) {
    TThread_Communicate* thread = link_->NewList(std::move(commands), bridge_.get(), bridge_.get());
    if (handler) thread->OnTerminate = [this, handler](TThread_Communicate& t) { (this->*handler)(t); };
    thread->Quiet = quiet;
    thread->Start();
}

void Supervisor::StartListWith(std::vector<Tcommand> commands,
                               std::function<void(TThread_Communicate&)> handler) {
    TThread_Communicate* thread = link_->NewList(std::move(commands), bridge_.get(), bridge_.get());
    thread->OnTerminate = std::move(handler);
    thread->Start();
}

void Supervisor::RunListAndWait(std::vector<Tcommand> commands) {
    link_->RunAndWait(std::move(commands));
}

// The start-up and resume lists read the station memory; the station clock, which empties that
// memory, is set by a list of its own once the main thread has stored and saved every record.
void Supervisor::StartDownloadList(std::vector<Tcommand> commands) {
    memoryStored_ = false;
    downloadTally_ = {};
    RequestStationListsStop(false);
    StartList(std::move(commands), &Supervisor::OnMemoryDownloaded);
}

void Supervisor::OnComEepromRecords(std::vector<TcapteursInfos> records) {
    if (!records.empty()) TakeLightOfLastRecord(records.back());
    downloadTally_ += history_->Append(records);
    ShowHistoryProblems();
}

// The downloaded records were decoded in the current reading, one after the other: until the light
// readings give their own, the current reading keeps the light of the last record (the light level
// of the information file and of the one-line files after a start-up).
void Supervisor::TakeLightOfLastRecord(const TcapteursInfos& last) {
    CurrentCapteursInfos.ValidLight = last.ValidLight;
    CurrentCapteursInfos.Lumex = last.Lumex;
    CurrentCapteursInfos.GainLight = last.GainLight;
    CurrentCapteursInfos.DividLight = last.DividLight;
}

void Supervisor::OnMemoryDownloaded(TThread_Communicate& thread) {
    const std::string error = thread.ErrorText();
    const auto& tally = downloadTally_;
    if (tally.Added + tally.Copies + tally.SetAside > 0 || thread.SkippedMemoryRecords() > 0)
        LogToday(fmt::sprintf(
            "EEPROM records stored : %d added, %d copies dropped, %d set aside, %d not decodable",
            tally.Added, tally.Copies, tally.SetAside, static_cast<int>(thread.SkippedMemoryRecords())));
    if (!download_.Text.empty()) { // a download that failed closes its progress window too
        download_.Text.clear();
        emit downloadProgressChanged();
    }
    if (closed_) return; // the closing sequence saves
    std::string saveError;
    try {
        history_->SaveChanged();
    } catch (const std::exception& e) {
        saveError = e.what();
        ShowMessage(saveError);
    }
    if (!error.empty()) {
        StartupFailed(error);
        return;
    }
    if (!saveError.empty()) {
        // The station keeps its memory until the records are safely on disk.
        StartupFailed(saveError);
        return;
    }
    memoryStored_ = true;
    StartList({TCom_SetDate}, &Supervisor::OnAfterStartUp_threadOver);
}

void Supervisor::StartupFailed(const std::string& error) {
    LogToday("Startup failed ! -> " + error);
    ScheduleStartupRetry(error);
    emit startupFinished(false);
}

void Supervisor::OnAfterStartUp_threadOver(TThread_Communicate& thread) {
    if (closed_) return;
    try {
        const std::string error = thread.ErrorText();
        if (!error.empty()) {
            StartupFailed(error);
            return;
        } else {
            rhythm_.Restart(SetupInfos.InterValQuickPoolSec, SetupInfos.InterValLightPoolSec);
            emit readingLabelsChanged();
            TimerMain.start();
            TimerLight.start();
            TimerSAVDataPeriodic.start(static_cast<int>(
                std::clamp<int64_t>(int64_t{SetupInfos.TimeMinIntSavDatas} * 60000, 60000, INT32_MAX)));
            LogToday("Startup complete...");
        }
        emit startupFinished(error.empty());
    } catch (const std::exception& e) {
        LogToday(std::string("OnAfterStartUp_threadOver -> ") + e.what());
        ShowMessage(std::string("OnAfterStartUp_threadOver -> ") + e.what());
    }
}

// ---- Timers -------------------------------------------------------------------------------------

void Supervisor::TimerMainTimer() {
    const bool due = rhythm_.TickWeather(SetupInfos.InterValQuickPoolSec, CurrentCapteursInfos.DateSysteme);
    emit readingLabelsChanged();
    if (due) {
        SetStatusBar(1, [range = SetupInfos.RangeDateDisplay] {
            return fmt::sprintf(Tr("MainForm", "Affichage des données des %1.0f dernier(s) jour(s)"), range);
        });
        StartList({TCom_getSensorInfos}, &Supervisor::AffData_threadOver);
    }
}

void Supervisor::ReadWeatherNow() {
    if (closed_ || !CycleRunning() || linkLost_ || ComThreadCount > 0) return;
    StartList({TCom_getSensorInfos}, &Supervisor::AffData_threadOver);
}

void Supervisor::TimerLightTimer() {
    const bool due = rhythm_.TickLight(SetupInfos.InterValLightPoolSec, LightPrevDate);
    emit readingLabelsChanged();
    if (due) StartList({TCom_GetLightLevel}, &Supervisor::OnLightRead);
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

// ---- Web publishing -----------------------------------------------------------------------------

void Supervisor::SetFtpInterval(uint32_t seconds) {
    SetupInfos.SetupWebPublish.IntervallSec = seconds;
    if (seconds == 0) {
        TimerFTP.stop();
        return;
    }
    TimerFTP.start(static_cast<int>(std::min<int64_t>(int64_t{seconds} * 1000, INT32_MAX)));
}

std::string Supervisor::FtpStatusText() const {
    if (!SetupInfos.SetupWebPublish.Enabled) return {};
    const double seconds = std::max(0.0, (Now() - dateStartFTP_) * 86400.0);
    return (FtpRunning ? Tr("MainForm", "   Transfert FTP en cours (") : Tr("MainForm", "   Transfert FTP en attente (")) +
           DurationText(seconds) + ")";
}

void Supervisor::TimerFTPTimer() {
    const TSetupWebPublish& web = SetupInfos.SetupWebPublish;
    try {
        if (web.Enabled && !FtpRunning) {
            const int quality = web.CompressionLevelJPEG;
            if (quality < 1 || quality > 100)
                throw EOrvanelError(fmt::sprintf(Tr("MainForm", "Qualité JPEG hors limites (1 à 100) : %d"), quality));
            if (publishSnapshots_) publishSnapshots_(quality);
            TInfosServer infos;
            for (const char* name : PublishedPictureNames)
                infos.LocalFiles.push_back(PathJpeg + name);
            if (web.IndexPage) {
                WriteIndexPage(PathJpeg + IndexPageFileName, web.IntervallSec);
                infos.LocalFiles.push_back(PathJpeg + IndexPageFileName);
            }
            infos.ServerName = web.HostName;
            infos.UserName = web.login;
            infos.Password = web.PassWord;
            infos.RemotePath = web.RemotePath;
            infos.PassiveModeEnabled = web.PassiveFTP;
            infos.VerifyPeer = web.VerifyPeer;
            infos.Timeouts = options_.FtpTimeouts;
            const TDateTime start = Now();
            if (TFTPLoaderThread::Start(std::move(infos))) dateStartFTP_ = start;
        } else if (FtpRunning)
            LogToday("Ftp process already started : " + DateTimeText(dateStartFTP_));
    } catch (const std::exception& e) {
        const std::string text = std::string("TimerFTPTimer -> ") + e.what();
        LogToday(text);
        ShowMessage(text);
    }
}

// ---- One weather reading ------------------------------------------------------------------------

void Supervisor::AffData_threadOver(TThread_Communicate& thread) {
    if (closed_) return;
    if (!thread.ErrorText().empty()) {
        ShowStatus(thread.ErrorText(), true);
        OnFailedReading(thread);
        return;
    }
    failedReadings_ = 0;
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
    PrintStatesWhenChanged();
    for (const auto& sound : outcome.SoundsToPlay)
        PlaySound(sound);

    if (--FUnderSampleDataFactor <= 0) {
        FUnderSampleDataFactor =
            static_cast<int16_t>(std::max<uint16_t>(1, SetupInfos.UnderSampleDataFactor));
        if (history_->Append(copy) == TAppendResult::SetAside)
            LogToday("Reading set aside in " + PathDatas + RejectedFileName + " : " +
                     DateTimeText(copy.DateSysteme));
        ShowHistoryProblems();
    }
    emit readingProcessed(copy, conditions_);
    // What a follower had to say stays in the status until the next reading.
    if (const std::string said = std::exchange(followerStatus_, {}); !said.empty())
        ShowStatus(said, true);
    else
        ShowStatus("Ok", false);
    SetStatusBar(2, [this, count = static_cast<int>(history_->Size())] {
        return fmt::sprintf(Tr("MainForm", "%d données totales"), count) + FtpStatusText();
    });
}

// What follows each reading, connected in this order: the file from the values just published, then
// the graphs.
void Supervisor::FollowReadings() {
    readingFollowers_ = {
        connect(this, &Supervisor::readingProcessed, this, &Supervisor::WriteConditionFile,
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

// Never raises: a file that cannot be written is logged and the previous one stays; a path the
// program must not write to is also shown once in the status.
void Supervisor::WriteConditionFile(const TcapteursInfos& reading) {
    if (SetupInfos.FileCLoudSensorVersion == CloudSensor_NOFile) return;
    const std::string refusal = conditionFile_.Write(
        SetupInfos.BoltWoodFileName, SetupInfos.FileCLoudSensorVersion, reading, published_.Values());
    if (!refusal.empty()) followerStatus_ = refusal;
}

// Without a window the operator follows the states on standard error, one line when one changes.
void Supervisor::PrintStatesWhenChanged() {
    if (!options_.Headless) return;
    // Made at printing, from the states, in the language of the moment.
    const std::string states = StatesLine(conditions_, relay_.Display().Panel.Text);
    if (states == lastPrintedStates_) return;
    lastPrintedStates_ = states;
    std::fprintf(stderr, "%s %s\n", DateTimeText(Now()).c_str(), states.c_str());
}

// ---- Thread messages ----------------------------------------------------------------------------

void Supervisor::OnComError(const std::string& error) {
    ShowStatus(Tr("MainForm", "Erreur : ") + error, true);
}

void Supervisor::OnComVersion(const std::string& version, std::optional<int32_t> memoryAddress) {
    SetStatusBar(0, [version] { return Tr("MainForm", "Version -> ") + version; });
    ShowStatus(statusBar_[0], false);
    if (memoryAddress)
        SetStatusBar(1, [records = *memoryAddress / 17] {
            return " -> " + std::to_string(records) + Tr("MainForm", " enregistrements");
        });
    else
        SetStatusBar(1, "");
    SetStatusBar(2, "");
}

void Supervisor::OnComEepromProgress(uint32_t done, uint32_t total) {
    download_.Done = done;
    download_.Total = total;
    if (done == total) {
        download_.Text.clear();
        SetStatusBar(2, [done] {
            return Tr("MainForm", "A récupéré ") + std::to_string(done) +
                   Tr("MainForm", " donnée(s) EEPROM Halvex");
        });
    } else {
        download_.Text = Tr("MainForm", "Récupère les donnée(s) EEPROM Halvex : ") + std::to_string(done) +
                         "/" + std::to_string(total);
        SetStatusBar(2, download_.Text);
    }
    emit downloadProgressChanged();
}

// ---- Status -------------------------------------------------------------------------------------

void Supervisor::ShowStatus(const std::string& text, bool isError) {
    const QString q = Q(text);
    const std::string shown = q.size() > 80 ? "...." + q.left(70).toStdString() : text;
    const bool changed = shown != status_.Text || isError != status_.IsError;
    status_.Text = shown;
    status_.IsError = isError;
    status_.Hint = Tr("MainForm", "Affiché à ") + DateTimeText(Now());
    emit statusChanged();
    if (options_.Headless && (changed || isError))
        std::fprintf(stderr, "%s %s%s\n", DateTimeText(Now()).c_str(), isError ? "[erreur] " : "",
                     shown.c_str());
}

void Supervisor::SetStatusBar(int panel, const std::string& text) {
    SetStatusBar(panel, [text] { return text; });
}

// The text is made now and again after a language switch.
void Supervisor::SetStatusBar(int panel, std::function<std::string()> make) {
    statusBar_[static_cast<size_t>(panel)] = make();
    statusBarMakers_[static_cast<size_t>(panel)] = std::move(make);
    emit statusBarChanged(panel);
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

TRelayInputs Supervisor::RelayInputs() const {
    return {SetupInfos.RoofCloserCriterias, SetupInfos.SetupInfos_HW.RoofSwitchActive,
            SetupInfos.Sound_at_RelayClose, SetupInfos.Soft_OnRelayClose};
}

void Supervisor::UpdateRelayDisplay() {
    relay_.UpdateRelayDisplay(RelayInputs(), CurrentCapteursInfos);
}

bool Supervisor::RearmConditionsMet(const TcapteursInfos& reading) const {
    return TRelayController::RearmConditionsMet(SetupInfos.RoofCloserCriterias, reading);
}

void Supervisor::OnterminateRearm(TThread_Communicate& thread) {
    if (closed_) return;
    try {
        if (!thread.ErrorText().empty()) {
            SetupInfos.SetupInfos_HW.RoofSwitchActive.Valid = false;
            relay_.RearmFailed();
            emit rearmFinished();
            return;
        }
        bool watch = true;
        if (!thread.Quiet) {
            const std::string question = Tr("MainForm", "Voulez-vous re-activer la surveillance ?");
            watch = question_ ? question_(Q(question)) : AskUserYesNo(question);
        }
        SetupInfos.RoofCloserCriterias.DoWatch.DefaultValue = watch;
        StartList({TCom_Setup, TCom_GetVersion, TCom_getSensorInfos}, &Supervisor::AfterRearmSetup);
    } catch (const std::exception& e) {
        LogToday(std::string("OnterminateRearm -> ") + e.what());
        ShowMessage(std::string("OnterminateRearm -> ") + e.what());
    }
}

void Supervisor::AfterRearmSetup(TThread_Communicate&) {
    if (closed_) return;
    try {
        relay_.RearmDone(RelayInputs(), CurrentCapteursInfos);
    } catch (const std::exception& e) {
        LogToday(std::string("AfterRearmSetup -> ") + e.what());
        ShowMessage(std::string("AfterRearmSetup -> ") + e.what());
    }
    emit rearmFinished();
}

// ---- Settings round trip ----------------------------------------------------------------------
// Three steps: the station is asked for its clock and set-up while the measurement goes on; the
// view shows the dialog; on confirmation the settings are stored and the set-up is sent, the
// measurement paused meanwhile. Every field is checked before this side sees it, and whatever
// happens the measurement does not stay stopped: a station that cannot be reached is the link
// healing's business.

namespace {

// Round(stage 1 x stage 2) for two gain codes; 0 when a code gives no gain.
uint16_t OverallIrGain(int stage1, int stage2) {
    try {
        const double gain = GainStage1(stage1) * GainStage2(stage2);
        return gain > 0 && gain < 65535.5 ? static_cast<uint16_t>(std::lround(gain)) : 0;
    } catch (const std::exception&) {
        return 0;
    }
}

int TimerMs(int64_t ms) {
    return static_cast<int>(std::clamp<int64_t>(ms, 1000, INT32_MAX));
}

} // namespace

bool Supervisor::StartConfiguration() {
    if (config_.Active || closed_ || !started_) return false;
    try {
        LogToday("Prepare for setup");
        config_ = {};
        config_.Active = true;
        config_.AncCOMPort = SetupInfos.SetupInfos_HW.PortCOM;
        config_.AncPortDevice = storedPortDevice_;
        ReadConfigDialogSettings();
        FUnderSampleDataFactor = static_cast<int16_t>(SetupInfos.UnderSampleDataFactor);
        const auto& hw = SetupInfos.SetupInfos_HW;
        config_.ValeurGainPrevious =
            OverallIrGain(hw.Gain_stage1_IR.DefaultValue, hw.Gain_stage2_IR.DefaultValue);
        LogToday("Prepare to get datas");
        StartList({TCom_GetDate, TCom_GetVersion}, &Supervisor::OnGoOptions_threadOver);
        return true;
    } catch (const std::exception& e) {
        config_ = {};
        LogToday(std::string("StartConfiguration -> ") + e.what());
        ShowMessage(std::string("StartConfiguration -> ") + e.what());
        return false;
    }
}

void Supervisor::OnGoOptions_threadOver(TThread_Communicate&) {
    if (closed_ || !config_.Active) return;
    try {
        // A station that did not answer leaves its cells unreported: the dialog shows "??" and the
        // PC's values.
        LogToday("Ok setup data retrieved !");
        const auto& hw = SetupInfos.SetupInfos_HW;
        if (hw.Gain_stage1_IR.Valid && hw.Gain_stage2_IR.Valid)
            config_.ValeurGainPrevious = OverallIrGain(hw.Gain_stage1_IR.Value, hw.Gain_stage2_IR.Value);
        LogToday("Will Display setup interface");
        config_.Ready = true;
        emit configurationReady();
    } catch (const std::exception& e) {
        config_ = {};
        LogToday(std::string("OnGoOptions_threadOver -> ") + e.what());
        ShowMessage(std::string("OnGoOptions_threadOver -> ") + e.what());
    }
}

TSetupInfos Supervisor::ConfigurationShown() const {
    TSetupInfos shown = SetupInfos;
    auto& hw = shown.SetupInfos_HW;
    auto& roof = shown.RoofCloserCriterias;
    const auto station = [](auto& cell) {
        if (cell.Valid) cell.DefaultValue = cell.Value;
    };
    station(hw.InterVal_Rec_EEPROM);
    station(hw.DisableHeater);
    station(roof.DoWatch);
    station(roof.TempSky);
    station(roof.RH);
    station(roof.Wind);
    station(roof.Light);
    station(roof.ValueMag);
    hw.PortDevice = storedPortDevice_;
    return shown;
}

std::optional<uint8_t> Supervisor::IrStage2CodeFor(uint16_t gain, std::string& error) const {
    const TT_Int& stage1 = SetupInfos.SetupInfos_HW.Gain_stage1_IR;
    if (!stage1.Valid || stage1.Value <= 0 || stage1.Value > 255) {
        error =
            Tr("MainForm", "Le gain IR ne peut pas être changé : le Halvex n'a pas donné le gain de son premier étage.");
        return std::nullopt;
    }
    const double first = GainStage1(stage1.Value);
    try {
        return GainStage2_ToCode(gain / first);
    } catch (const std::exception&) {
        error = fmt::sprintf(
            Tr("MainForm", "Le gain IR %d ne peut pas être obtenu avec le premier étage du Halvex (gain %1.1f)."),
            static_cast<int>(gain), first);
        return std::nullopt;
    }
}

void Supervisor::CancelConfiguration() {
    if (config_.Active) LogToday("Setup cancelled");
    config_ = {};
}

void Supervisor::ApplyConfiguration(const TSetupInfos& chosen, uint16_t gain,
                                    const std::vector<const TSettingRow*>& writtenByProgram) {
    if (!config_.Active || closed_) return;
    const TConfigRoundTrip trip = config_;
    config_ = {};
    bool paused = false;
    try {
        // Everything is checked before anything is stored.
        std::optional<uint8_t> irCode;
        if (gain != trip.ValeurGainPrevious) {
            std::string error;
            irCode = IrStage2CodeFor(gain, error);
            if (!irCode) throw EOrvanelError(error);
        }
        TSetupInfos source = chosen, checked = SetupInfos;
        TStartupSettings unusedFrom, unusedTo;
        TSettingsPlace from{source, unusedFrom}, to{checked, unusedTo};
        const auto ranged = [&writtenByProgram](const TSettingRow& row) {
            return std::find(writtenByProgram.begin(), writtenByProgram.end(), &row) ==
                   writtenByProgram.end();
        };
        for (const TSettingRow& row : SettingsRows())
            if (row.Written.At == TWriteAt::DialogOk &&
                !SetSettingValue(row, to, SettingValue(row, from), ranged(row)))
                throw EOrvanelError(fmt::format("{} = {} {}", row.Key, SettingValue(row, from).AsString(),
                                                row.Range.Refusal()));

        auto& hw = SetupInfos.SetupInfos_HW;
        const bool portChanged = chosen.SetupInfos_HW.PortCOM != trip.AncCOMPort ||
                                 chosen.SetupInfos_HW.PortDevice != trip.AncPortDevice;
        const bool monthsChanged = chosen.NbMonthtoLoad != SetupInfos.NbMonthtoLoad;
        TSettingsPlace live{SetupInfos, unusedTo};
        for (const TSettingRow& row : SettingsRows())
            if (row.Written.At == TWriteAt::DialogOk)
                SetSettingValue(row, live, SettingValue(row, to), ranged(row));
        storedPortDevice_ = hw.PortDevice;
        WriteConfigDialogSettings(); // one group: a crash never leaves half a configuration
        if (monthsChanged)
            ShowMessage(
                Tr("MainForm", "Nombre de mois de données à charger a été changé : il faut redémarrer le logiciel pour la "
                  "prise en compte de ce paramètre !"));
        // A device given on the command line stays in use until the port itself is changed here.
        if (!portChanged && !options_.PortDevice.empty()) hw.PortDevice = options_.PortDevice;

        cycleBeforeConfig_ = TimerMain.isActive();
        periodicSaveBeforeConfig_ = TimerSAVDataPeriodic.isActive();
        paused = true;
        TimerMain.stop();
        TimerLight.stop();
        TimerSAVDataPeriodic.stop();
        TimerSAVDataPeriodic.setInterval(TimerMs(int64_t{SetupInfos.TimeMinIntSavDatas} * 60000));
        if (portChanged) ReopenConfiguredPort();

        published_.PublishThresholds(SetupInfos);
        legend_ = GoodConditionsLegend(SetupInfos);
        emit legendChanged();
        if (irCode) hw.Gain_stage2_IR.Value = *irCode;

        LogToday("Retrieved infos and restart");
        std::vector<Tcommand> list;
        // Setting the clock empties the station memory: only once every record it held is stored.
        if (memoryStored_)
            list.push_back(TCom_SetDate);
        else
            LogToday("Station clock not set : the station memory has not been stored completely");
        list.push_back(TCom_Setup);
        if (irCode) list.push_back(TCom_SetIR);
        list.push_back(TCom_GetVersion);
        StartList(std::move(list), &Supervisor::OnWriteOptions_threadOver);

        rhythm_.RestartWithNewSettings(SetupInfos.InterValQuickPoolSec, SetupInfos.InterValLightPoolSec);
        emit readingLabelsChanged();
        emit redrawRequested();
    } catch (const std::exception& e) {
        LogToday(std::string("ApplyConfiguration -> ") + e.what());
        ShowMessage(std::string("ApplyConfiguration -> ") + e.what());
        if (paused) RestartCycleAfterConfiguration();
    }
}

void Supervisor::ReopenConfiguredPort() {
    // Never closed under a list that still uses it.
    if (!ProcessEventsUntil([] { return ComThreadCount == 0; }, kCloseWaitMs)) {
        LogToday("Port not reopened : a station thread is still running");
        ShowMessage(
            Tr("MainForm", "Le port série n'a pas pu être changé : une communication avec le Halvex est en cours."));
        return;
    }
    const auto& hw = SetupInfos.SetupInfos_HW;
    link_->CloseIfOpen();
    LogToday("COM" + std::to_string(hw.PortCOM) + " Closed (if valid handle!)");
    try {
        link_->Open(hw);
        LogToday("Opened COM" + TStationLinkHolder::OpenedText(hw));
    } catch (const std::exception& e) {
        // The write list then fails and says so; the link healing keeps trying the new port.
        ShowStatus(e.what(), true);
    }
}

void Supervisor::RestartCycleAfterConfiguration() {
    if (closed_) return;
    // The cycle comes back as it was: a start-up still to be retried, or a lost link, heal by themselves.
    if (cycleBeforeConfig_ && !linkLost_) {
        rhythm_.ResetCounts();
        TimerMain.start();
        TimerLight.start();
    }
    if (periodicSaveBeforeConfig_) TimerSAVDataPeriodic.start();
    cycleBeforeConfig_ = periodicSaveBeforeConfig_ = false;
}

void Supervisor::OnWriteOptions_threadOver(TThread_Communicate& thread) {
    if (closed_) return;
    const std::string error = thread.ErrorText();
    try {
        if (!error.empty()) {
            ShowStatus(error, true);
            ShowMessage(error);
            relay_.WatchUnknown();
        } else {
            ShowStatus(Tr("MainForm", "Ok, paramètres de configuration envoyés au Halvex !"), false);
            UpdateRelayDisplay();
        }
    } catch (const std::exception& e) {
        LogToday(std::string("OnWriteOptions_threadOver -> ") + e.what());
        ShowMessage(std::string("OnWriteOptions_threadOver -> ") + e.what());
    }
    RestartCycleAfterConfiguration();
    emit configurationWritten(error.empty());
}

// ---- Calibration --------------------------------------------------------------------------------

void Supervisor::StartCalibrationSample(std::function<void(const TCalibrationPD&, const std::string&)> done) {
    if (closed_ || !link_->Exists()) {
        done({}, Tr("MainForm", "Pas de liaison avec le Halvex."));
        return;
    }
    StartListWith({TCom_CalibratePD}, [done = std::move(done)](TThread_Communicate& thread) {
        done(thread.CalibrationPD(), thread.ErrorText());
    });
}

// ---- Healing of the station link ---------------------------------------------------------------
// Observers leave the program alone for months: a start-up that failed, or a port that went away,
// must come back by itself. The port is reopened by its configured name, so a symbolic link that now
// points at another device is followed.

namespace {
int SecondsOf(int ms) {
    return (ms + 999) / 1000;
}
} // namespace

std::string Supervisor::PortDeviceText() const {
    return TStationLinkHolder::DeviceText(SetupInfos.SetupInfos_HW);
}

void Supervisor::ScheduleStartupRetry(const std::string& error) {
    if (closed_) return;
    const int seconds = SecondsOf(options_.StartupRetryMs);
    LogToday(fmt::format("Startup retry in {} s", seconds));
    // The reason first, as it names the port; a text too long for the panel loses its end.
    ShowStatus(error + " -> " + fmt::sprintf(Tr("MainForm", "Nouvel essai de démarrage dans %d s"), seconds),
               true);
    TimerStartupRetry.start(options_.StartupRetryMs);
}

void Supervisor::RetryStartup() {
    if (closed_ || !link_->Exists()) return;
    // The port is not closed under a list that still runs (a late re-arm, a settings round trip).
    if (ComThreadCount > 0) {
        TimerStartupRetry.start(options_.StartupRetryMs);
        return;
    }
    const int attempt = ++startupRetries_;
    LogToday(fmt::format("Startup retry #{}", attempt));
    ShowStatus(fmt::sprintf(Tr("MainForm", "Nouvel essai de démarrage n° %d"), attempt), false);
    link_->CloseIfOpen();
    OpenPortAndStartList();
}

void Supervisor::OnFailedReading(const TThread_Communicate& thread) {
    emit weatherReadingFailed();
    if (linkLost_) return; // a reading started before the loss
    ++failedReadings_;
    if (thread.PortLost())
        OnStationLinkLost(thread.ErrorText());
    else if (failedReadings_ >= options_.FailedReadingsBeforeReopen)
        OnStationLinkLost(
            fmt::format("{} failed readings in a row, last: {}", failedReadings_, thread.ErrorText()));
}

void Supervisor::OnStationLinkLost(const std::string& reason) {
    if (closed_ || linkLost_) return;
    linkLost_ = true;
    reopenAttempts_ = 0;
    // From now on the station records what nobody reads: its clock is not set (which empties its
    // memory) before that memory is stored.
    memoryStored_ = false;
    TimerMain.stop();
    TimerLight.stop();
    LogToday("Station link lost (" + PortDeviceText() + ") -> " + reason);
    // Closed at once: a USB adapter plugged in again gets its old name back only once it is released.
    if (ComThreadCount == 0) link_->CloseIfOpen();
    ShowStationLinkLost();
    emit stationLinkChanged(true);
    TimerReopen.start(options_.ReopenMs);
}

void Supervisor::ShowStationLinkLost() {
    ShowStatus(fmt::sprintf(Tr("MainForm", "Liaison perdue avec la station (%s), nouvel essai dans %d s"),
                            PortDeviceText(), SecondsOf(options_.ReopenMs)),
               true);
}

void Supervisor::ReopenPort() {
    if (closed_ || !linkLost_ || !link_->Exists()) return;
    if (ComThreadCount > 0) {
        TimerReopen.start(options_.ReopenMs);
        return;
    }
    const int attempt = ++reopenAttempts_;
    LogToday(fmt::format("Station link: reopen attempt #{} ({})", attempt, PortDeviceText()));
    try {
        link_->CloseIfOpen();
        link_->Open(SetupInfos.SetupInfos_HW);
    } catch (const std::exception&) { // the serial object has logged why
        ShowStationLinkLost();
        TimerReopen.start(options_.ReopenMs);
        return;
    }
    StartList({TCom_GetVersion}, &Supervisor::AfterReopen_threadOver);
}

void Supervisor::AfterReopen_threadOver(TThread_Communicate& thread) {
    if (closed_ || !linkLost_) return;
    if (!thread.ErrorText().empty()) {
        ShowStationLinkLost();
        TimerReopen.start(options_.ReopenMs);
        return;
    }
    linkLost_ = false;
    failedReadings_ = 0;
    LogToday(fmt::format("Station link restored ({}) at attempt #{}", PortDeviceText(), reopenAttempts_));
    ShowStatus(fmt::sprintf(Tr("MainForm", "Liaison rétablie avec la station (%s)"), PortDeviceText()),
               false);
    emit stationLinkChanged(false);
    // Nobody could reach the station meanwhile, so it recorded in its memory: that memory is stored
    // as at start-up, then its clock set, and the readings go on.
    StartDownloadList({TCom_GetVersion, TCom_DownLoadData});
}

// ---- Closing, suspend, resume -------------------------------------------------------------------

void Supervisor::StopTimers() {
    TimerMain.stop();
    TimerLight.stop();
    TimerSAVDataPeriodic.stop();
    TimerStartupRetry.stop();
    TimerReopen.stop();
}

void Supervisor::WaitForThreads(int maxMs) {
    // A list just started may not have counted itself in ComThreadCount yet (its thread counts itself
    // when it runs); ComThreadsRunning counts it from its start.
    ProcessEventsUntil([] { return ComThreadCount == 0 && ComThreadsRunning == 0; }, maxMs);
}

void Supervisor::SaveHistoryNow() {
    history_->SaveChanged();
}

void Supervisor::ShowHistoryProblems() {
    for (const std::string& problem : history_->TakeProblems())
        ShowMessage(problem);
}

// Stops a running memory download between two records and waits, at most maxMs, for the station
// lists to end; the records they handed over are stored before this returns.
void Supervisor::StopStationLists(int maxMs) {
    RequestStationListsStop(true);
    WaitForThreads(maxMs);
    // Records queued just before a thread ended are stored now, not after the save.
    QCoreApplication::sendPostedEvents(bridge_.get(), QEvent::MetaCall);
}

// The station clock is set (emptying the station memory) only when every record it held is stored
// and saved, and no list holds the line.
bool Supervisor::SetStationClockIfStored() {
    if (!link_->Exists()) return false;
    if (ComThreadCount > 0) {
        LogToday("Station clock not set : a station thread is still running");
        return false;
    }
    if (!memoryStored_) {
        LogToday("Station clock not set : the station memory has not been stored completely");
        return false;
    }
    RunListAndWait({TCom_SetDate});
    return true;
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
            if (SetStationClockIfStored()) LogToday("Thread set date complete");
            link_->Destroy(ComThreadCount > 0); // a late thread keeps using it (see ~Supervisor)
            LogToday("ComObjRs232 destroyed");
        }
        SaveHistoryNow();
        history_->Clear();
        LogToday("Data saved");
        StartupDone = false;
    } catch (const std::exception& e) {
        ShowMessage(Tr("MainForm", "Erreur lors de la fermeture de l'application : ") + e.what());
    }
    StopFollowingReadings();
    // An upload still running is aborted (within a second) rather than left to a process that ends.
    TimerFTP.stop();
    if (FtpRunning) {
        TFTPLoaderThread::StopFtp();
        if (!TFTPLoaderThread::WaitForEnd(3000)) LogToday("FTP upload still running at closing");
    }
    // The graph scales and check boxes are the window's own; it stores them when it closes.
    if (automation_) automation_->Stop();
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
        SaveHistoryNow();
        LogToday("Starts to hibernate -> data saved...");
    } catch (const std::exception& e) {
        LogToday(std::string("Starts to hibernate -> ") + e.what());
    }
    SetStationClockIfStored();
    LogToday("Starts to hibernate -> SetTime DS done!");
    LogToday("");
}

void Supervisor::ResumeNow() {
    if (closed_ || !started_) return;
    LogToday("Resuming from hibernation");
    StartDownloadList({TCom_GetVersion_Wait, TCom_GetVersion, TCom_DownLoadData});
    LogToday("Resuming from hibernation, complete, thread started..");
}

void Supervisor::InstallSignalHandlers() {
    systemEvents_->InstallSignalHandlers();
}
