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

#include "Conditions.h"
#include "ConditionTexts.h"
#include "DateTime.h"
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
};

// The state panel of the station link ("Etat communication RS232").
struct TStatusDisplay {
    std::string Text; // at most 80 characters, longer ones shortened
    bool IsError = false;
    std::string Hint; // "Affiché à " + date and time
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
    bool PeriodicSaveRunning() const { return TimerSAVDataPeriodic.isActive(); }
    bool StartupRetryPending() const { return TimerStartupRetry.isActive(); }
    // The port has failed and is being reopened; the readings are stopped meanwhile.
    bool StationLinkLost() const { return linkLost_; }

    // ---- Suspend and resume (logind calls them; tests may too) ----
    void SuspendNow();
    void ResumeNow();

    // ---- Roof relay ----
    // Button "Ouvrir relais": re-arm and ask whether to watch again.
    void ButtonDesarmRainClick() { RearmRelay(false); }
    void RearmRelay(bool quiet) { relay_.RearmRelay(quiet); }
    bool RearmConditionsMet(const TcapteursInfos& reading) const;

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

    void ReadSettings();
    void ApplyStoredLanguage(int32_t stored);
    void MakeCaption();
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
    TRelayController relay_;
    TDownloadProgress download_;
    std::string caption_, legend_;
    std::string lastPrintedStates_;
    std::vector<QMetaObject::Connection> readingFollowers_; // in the order they run
    std::function<bool(const QString&)> question_;
    bool closed_ = false;
    bool started_ = false;

    QTimer TimerStartupRetry, TimerReopen; // single shots
    int startupRetries_ = 0, reopenAttempts_ = 0, failedReadings_ = 0;
    bool linkLost_ = false;
};
