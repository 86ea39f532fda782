// The controller of the whole program, without any widget: start-up, the timed acquisition cycle,
// the completion handlers of the station threads, the roof relay, the periodic save, suspend and
// resume, and the closing sequence. A view (the main window, or nothing when headless) shows what
// it reports through its signals and reads the state below; it never drives the station itself.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <QObject>
#include <QString>
#include <QTimer>
#include <string>
#include <vector>

#include "ConditionFiles.h"
#include "Conditions.h"
#include "ConditionTexts.h"
#include "DateTime.h"
#include "FtpLoader.h"
#include "HistoryStore.h"
#include "PollingRhythm.h"
#include "PublishedConditions.h"
#include "Records.h"
#include "RelayController.h"
#include "ThreadCommunicate.h"

class TMedianObject;
class THistoryStore;
class TStationLinkHolder;
class TAutomationServer;
class TSystemEvents;
class TQtComBridge;
struct TSettingRow;

struct TSupervisorOptions {
    // No window: messages and status lines also go to standard error, questions are answered No.
    bool Headless = true;
    // A device that replaces the stored port for this run only (nothing is stored).
    std::string PortDevice;
    // The command line (for "/Sim=1"); the program's own name first.
    std::vector<std::string> Arguments;
    // Steps a test may leave out.
    bool CheckSingleInstance = true;
    bool StartAutomationServer = true;
    bool WatchSuspend = true;
    // Healing of the station link without a restart: a failed start-up (or resume) is tried again
    // after StartupRetryMs; a lost port is closed and reopened every ReopenMs; this many failed
    // weather readings in a row count as a lost port. Tests shorten them.
    int StartupRetryMs = 60000;
    int ReopenMs = 30000;
    int FailedReadingsBeforeReopen = 3;
    // Inactivity limits of the FTP uploads (tests shorten them).
    TFtpTimeouts FtpTimeouts;
};

// The state panel of the station link ("Etat communication RS232").
struct TStatusDisplay {
    std::string Text; // at most 80 characters, longer ones shortened
    bool IsError = false;
    std::string Hint; // "Affiché à " + date and time
};

// The settings round trip: what the controller keeps between reading the station and writing to it.
struct TConfigRoundTrip {
    bool Active = false;             // from the menu to the confirmation or the cancel
    bool Ready = false;              // the station's answer (or its silence) is in: the dialog may show
    uint16_t AncCOMPort = 0;         // the port when the round trip began
    std::string AncPortDevice;       // the stored device then
    uint16_t ValeurGainPrevious = 0; // overall IR gain shown in the dialog
};

// Memory download progress.
struct TDownloadProgress {
    uint32_t Done = 0;
    uint32_t Total = 0;
    std::string Text; // "Récupère les donnée(s) EEPROM Halvex : 10/250"; empty when no download runs
};

class Supervisor : public QObject {
    Q_OBJECT
  public:
    explicit Supervisor(TSupervisorOptions options = {}, QObject* parent = nullptr);
    ~Supervisor() override;
    Supervisor(const Supervisor&) = delete;
    Supervisor& operator=(const Supervisor&) = delete;

    // Program entry after the folders exist: moving older files is part of SetupFolders (called by
    // main); here the single instance, automation server, settings, history, port and start-up list.
    // False when another instance runs (the program ends with exit code 0).
    bool Start();
    // The closing sequence; safe to call twice (the second call does nothing).
    void FormClose();
    bool Closed() const { return closed_; }

    // SIGINT, SIGTERM and SIGHUP close the program as the window's close button does, then quit the
    // application. Call once, from the main thread, in the program (tests do not).
    void InstallSignalHandlers();

    // ---- Timer events (public so that a test can drive the cycle without waiting) ----
    void TimerMainTimer();
    void TimerLightTimer();
    void TimerSAVDataPeriodicTimer();
    bool CycleRunning() const { return TimerMain.isActive(); }
    // A weather reading now, out of the rhythm (a network client's refresh). Nothing while the cycle
    // is stopped, the link is lost or a station list runs: the reading due next comes soon anyway.
    void ReadWeatherNow();
    bool PeriodicSaveRunning() const { return TimerSAVDataPeriodic.isActive(); }
    bool StartupRetryPending() const { return TimerStartupRetry.isActive(); }
    // The port has failed and is being reopened; the readings are stopped meanwhile.
    bool StationLinkLost() const { return linkLost_; }

    // ---- Web publishing ----
    // Each tick renders the publishing snapshots and starts an upload, unless one still runs.
    void TimerFTPTimer();
    // The upload interval in seconds; 0 stops the timer. Set at start-up from "intervallSec", and by
    // the web-publishing dialog when it is confirmed.
    void SetFtpInterval(uint32_t seconds);
    bool FtpTimerActive() const { return TimerFTP.isActive(); }
    int FtpTimerIntervalMs() const { return TimerFTP.interval(); }
    // Writes the publishing snapshots into PathJpeg at the quality given (1 to 100); raises on failure.
    // Set by the view that owns the graphs; without one the upload sends whatever files are there.
    void SetPublishSnapshots(std::function<void(int quality)> render) {
        publishSnapshots_ = std::move(render);
    }
    // Start of the current FTP wait or upload.
    TDateTime DateStartFTP() const { return dateStartFTP_; }
    // What the status bar adds after the number of points: empty when publishing is off, else
    // "   Transfert FTP en cours (...)" or "   Transfert FTP en attente (...)".
    std::string FtpStatusText() const;

    // ---- Suspend and resume (logind calls them; tests may too) ----
    void SuspendNow();
    void ResumeNow();

    // ---- Roof relay ----
    // Button "Ouvrir relais": re-arm and ask whether to watch again.
    void ButtonDesarmRainClick() { RearmRelay(false); }
    void RearmRelay(bool quiet) { relay_.RearmRelay(quiet); }
    bool RearmConditionsMet(const TcapteursInfos& reading) const;

    // ---- Settings round trip (the settings dialog) ----
    // Reads the dialog's settings and asks the station for its clock, version and set-up; the
    // measurement goes on meanwhile. configurationReady follows, whatever the station answered.
    // False when a round trip is already under way.
    bool StartConfiguration();
    // The settings as the dialog shows them: the station's values where it reported them, the
    // stored port device (not one given on the command line for this run).
    TSetupInfos ConfigurationShown() const;
    const TConfigRoundTrip& ConfigRoundTrip() const { return config_; }
    // The stage-2 code that gives this overall IR gain with the station's stage 1; an error text
    // when it cannot (stage 1 not reported, gain out of reach).
    std::optional<uint8_t> IrStage2CodeFor(uint16_t gain, std::string& error) const;
    // The dialog was cancelled: nothing changes.
    void CancelConfiguration();
    // Confirmation: `chosen` holds every setting of the dialog, already checked; gain is the overall
    // IR gain typed. Stores them in one group of writes, reopens the port when it changed and sends
    // the set-up to the station; configurationWritten follows. The settings of writtenByProgram hold
    // values the program itself produced (a station's report, a measurement): taken whatever the
    // range of the setting.
    void ApplyConfiguration(const TSetupInfos& chosen, uint16_t gain,
                            const std::vector<const TSettingRow*>& writtenByProgram = {});

    // ---- Calibration ----
    // One photodiode sample for the dark-current calibration; `done` runs on the main thread with
    // the sample and the list's error text (empty on success), unless this controller is gone.
    void StartCalibrationSample(std::function<void(const TCalibrationPD&, const std::string&)> done);

    // ---- Language ----
    // The language of the texts shown: LangFrench or LangEnglish (Langue_courante).
    int32_t Language() const { return Langue_courante; }
    // Loads this language's texts; nothing happens when it is already the one shown or its module
    // cannot be loaded (false). Otherwise stores "CurrentLang", rebuilds the caption, empties the
    // status panel of the station link and emits languageChanged, on which every view rewrites its
    // texts.
    bool SwitchLanguage(int32_t language);

    // ---- What a view shows ----
    const TStatusDisplay& Status() const { return status_; }
    // Status bar: 0 the station version, 1 display range or memory count, 2 points / FTP / download.
    const std::array<std::string, 3>& StatusBarPanels() const { return statusBar_; }
    // The latest classified reading; the view makes its texts when it shows them.
    const TConditions& Conditions() const { return conditions_; }
    bool HasConditions() const { return hasConditions_; }
    // What automation clients and the one-line file are served.
    const TPublishedConditions& Published() const { return published_; }
    const TRelayDisplay& RelayDisplay() const { return relay_.Display(); }
    const TReadingLabels& WeatherLabels() const { return rhythm_.WeatherLabels(); }
    const TReadingLabels& LightLabels() const { return rhythm_.LightLabels(); }
    const TDownloadProgress& DownloadProgress() const { return download_; }
    // The window's caption: "Moniteur de nuages HALVEX -> Version v1.49 27/03/13".
    const std::string& Caption() const { return caption_; }
    // The good-conditions legend (hint of the sky graph).
    const std::string& GoodConditionsLegendText() const { return legend_; }
    const TMedianObject& MedianSky() const { return *medianSky_; }
    // The history (records oldest first); empty before Start and after closing.
    const THistoryStore& History() const { return *history_; }
    // The history for the user's own changes from the data table (deletion, cleaning), made on the
    // main thread like every other change; each saves what it changed.
    THistoryStore& EditableHistory() { return *history_; }
    // True once every record the station memory held has been stored and saved: only then may the
    // station clock be set (which empties the station memory).
    bool StationMemoryStored() const { return memoryStored_; }

    // Puts a text in the status panel of the station link (red when isError); a text longer than 80
    // characters is shown as "...." and its first 70. Headless: also on standard error.
    void ShowStatus(const std::string& text, bool isError);

    // The view's Yes/No box; without one the answer is No.
    void SetQuestionHandler(std::function<bool(const QString&)> handler) { question_ = std::move(handler); }

    // ---- For tests ----
    // The relay waiting time starts from this UTC clock (default NowUTC).
    void SetUtcClockForTests(std::function<TDateTime()> clock) { relay_.SetUtcClock(std::move(clock)); }
    int32_t PassRelay() const { return relay_.PassRelay(); }

  signals:
    void statusChanged();
    void statusBarChanged(int panel);
    // A classified weather reading: the conditions changed.
    void conditionsChanged();
    void relayChanged();
    // Every second, and when an interval changes.
    void readingLabelsChanged();
    void downloadProgressChanged();
    // "Charge le fichier : ..." while the history loads; empty when done.
    void historyLoadProgress(const QString& step);
    // A message box with this text (also logged; headless: on standard error).
    void messageBox(const QString& text);
    // The good-conditions legend was written anew (at start, after the thresholds were read).
    void legendChanged();
    // The graphs and the wind dial should be redrawn from the history.
    void redrawRequested();
    // A sound file (setting) was asked for, and the program of a relay closing was started.
    void soundRequested(const QString& file);
    void programStarted(const QString& commandLine);
    // A later start of the program asked this one to show its window.
    void showRequested();
    // The start-up (or resume) list ended; ok = without error.
    void startupFinished(bool ok);
    // A weather reading was classified, shown and stored; its followers (the one-line condition file,
    // then the redraw) run from here, before the status says "Ok".
    void readingProcessed(const TcapteursInfos& reading, const TConditions& conditions);
    // One weather reading has been processed completely.
    void weatherReadingProcessed();
    // A light reading has come in (its level is in the current record).
    void lightReadingProcessed();
    // A weather reading failed in the station thread.
    void weatherReadingFailed();
    // The port was found lost (true), or reopened with the station answering again (false).
    void stationLinkChanged(bool lost);
    // The re-arm and its set-up list have ended.
    void rearmFinished();
    // The closing sequence has ended.
    void closed();
    // The station's set-up has been read (or could not be): the settings dialog may be shown.
    void configurationReady();
    // The new set-up has been sent (ok) or the write failed.
    void configurationWritten(bool ok);
    // The texts are now in another language.
    void languageChanged();

  private:
    friend class TQtComBridge;
    // Thread messages, on the main thread.
    void OnComError(const std::string& error);
    void OnComVersion(const std::string& version, std::optional<int32_t> memoryAddress);
    void OnLightRead(TThread_Communicate& thread);
    void OnComEepromProgress(uint32_t done, uint32_t total);
    void OnComEepromRecords(std::vector<TcapteursInfos> records);
    void TakeLightOfLastRecord(const TcapteursInfos& last);

    void ReadSettings();
    void ApplyStoredLanguage(int32_t stored);
    void MakeCaption();
    void RetranslateKeptTexts(int32_t from);
    void TellAboutCrash();
    void LoadHistoryData();
    void OpenPortAndStartList();
    void StartList(std::vector<Tcommand> commands, void (Supervisor::*handler)(TThread_Communicate&),
                   bool quiet = false);
    void RunListAndWait(std::vector<Tcommand> commands);
    void StartDownloadList(std::vector<Tcommand> commands);
    void OnMemoryDownloaded(TThread_Communicate& thread);
    void StartupFailed(const std::string& error);
    void OnAfterStartUp_threadOver(TThread_Communicate& thread);
    void AffData_threadOver(TThread_Communicate& thread);
    void OnterminateRearm(TThread_Communicate& thread);
    void AfterRearmSetup(TThread_Communicate& thread);
    void OnGoOptions_threadOver(TThread_Communicate& thread);
    void OnWriteOptions_threadOver(TThread_Communicate& thread);
    void ReopenConfiguredPort();
    void RestartCycleAfterConfiguration();
    void StartListWith(std::vector<Tcommand> commands, std::function<void(TThread_Communicate&)> handler);
    void ProcessReading(const TcapteursInfos& reading);
    TRelayInputs RelayInputs() const;
    void UpdateRelayDisplay();
    void PrintStatesWhenChanged();
    void FollowReadings();
    void StopFollowingReadings();
    void WriteConditionFile(const TcapteursInfos& reading);
    void SetStatusBar(int panel, const std::string& text);
    void SetStatusBar(int panel, std::function<std::string()> make);
    void ShowMessage(const std::string& text);
    void PlaySound(const std::string& file);
    void StopTimers();
    void WaitForThreads(int maxMs);
    void SaveHistoryNow();
    void StopStationLists(int maxMs);
    bool SetStationClockIfStored();
    void ShowHistoryProblems();
    // Healing of the station link.
    void ScheduleStartupRetry(const std::string& error);
    void RetryStartup();
    void OnFailedReading(const TThread_Communicate& thread);
    void OnStationLinkLost(const std::string& reason);
    void ReopenPort();
    void AfterReopen_threadOver(TThread_Communicate& thread);
    void ShowStationLinkLost();
    std::string PortDeviceText() const;

    TSupervisorOptions options_;
    QTimer TimerMain, TimerLight, TimerSAVDataPeriodic;
    TPollingRhythm rhythm_;
    int16_t FUnderSampleDataFactor = 0;
    TToggle_bool Toggle_GoodCond;
    int32_t Langue_courante = 0;
    std::unique_ptr<TMedianObject> medianSky_;
    std::unique_ptr<THistoryStore> history_;
    bool memoryStored_ = false;
    TAppendTally downloadTally_;
    std::unique_ptr<TStationLinkHolder> link_;
    std::unique_ptr<TQtComBridge> bridge_;
    TAutomationServer* automation_ = nullptr;
    TSystemEvents* systemEvents_; // child

    TStatusDisplay status_;
    std::array<std::string, 3> statusBar_;
    std::array<std::function<std::string()>, 3> statusBarMakers_;
    TConditions conditions_;
    bool hasConditions_ = false;
    TPublishedConditions published_{Now()};
    TConditionFileWriter conditionFile_;
    std::string followerStatus_; // shown instead of "Ok" after the reading being followed
    TRelayController relay_;
    TDownloadProgress download_;
    std::string caption_, legend_;
    std::string lastPrintedStates_;
    std::vector<QMetaObject::Connection> readingFollowers_; // in the order they run
    std::function<bool(const QString&)> question_;
    bool closed_ = false;
    bool started_ = false;

    QTimer TimerFTP;
    TDateTime dateStartFTP_ = 0;
    std::function<void(int)> publishSnapshots_;

    QTimer TimerStartupRetry, TimerReopen; // single shots
    int startupRetries_ = 0, reopenAttempts_ = 0, failedReadings_ = 0;
    bool linkLost_ = false;

    TConfigRoundTrip config_;
    std::string storedPortDevice_; // the registry's device, whatever the command line says
    bool cycleBeforeConfig_ = false, periodicSaveBeforeConfig_ = false;
};
