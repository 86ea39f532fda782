// The controller of the whole program, without any widget: it builds the parts, runs the start-up
// and closing order, the timers of the acquisition cycle and the processing of each reading (history
// append, relay inputs, conditions), and hands every reading and every change of the station link to
// the services that publish or serve. A view (the main window, or nothing when headless) shows what
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
#include "ConfigurationRoundTrip.h"
#include "CalibrationSample.h"
#include "CycleHost.h"
#include "DateTime.h"
#include "FtpLoader.h"
#include "HistoryStore.h"
#include "LanguageSwitch.h"
#include "PollingRhythm.h"
#include "PublishedConditions.h"
#include "Records.h"
#include "RelayController.h"
#include "RelayRearm.h"
#include "ServiceList.h"
#include "StationLink.h"
#include "StationMemory.h"
#include "StatusModel.h"
#include "ThreadCommunicate.h"

class TMedianObject;
class THistoryStore;
class TFtpPublishing;
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

class Supervisor : public QObject, private TCycleHost {
    Q_OBJECT
  public:
    explicit Supervisor(TSupervisorOptions options = {}, QObject* parent = nullptr);
    ~Supervisor() override;
    Supervisor(const Supervisor&) = delete;
    Supervisor& operator=(const Supervisor&) = delete;

    // Program entry after the folders exist: moving older files is part of SetupFolders (called by
    // main); here the single instance, settings, history, port and start-up list, then the services.
    // False when another instance runs (the program ends with exit code 0).
    bool Start();
    // The closing sequence; safe to call twice (the second call does nothing).
    void FormClose();
    bool Closed() const { return closed_; }

    // SIGINT, SIGTERM and SIGHUP close the program as the window's close button does, then quit the
    // application. Call once, from the main thread, in the program (tests do not).
    void InstallSignalHandlers();

    // ---- Services ----
    // A publisher or server, started after the start-up in the order added, after the built-in
    // ones (condition file, D-Bus automation, FTP publishing); told of each processed reading and
    // each change of the station link; stopped in the reverse order at close. One added after Start
    // starts at once.
    void AddService(std::unique_ptr<TService> service) { services_.Add(std::move(service)); }
    const TServiceList& Services() const { return services_; }
    TFtpPublishing& FtpPublishing() { return *ftp_; }
    const TFtpPublishing& FtpPublishing() const { return *ftp_; }

    // ---- Timer events (public so that a test can drive the cycle without waiting) ----
    void TimerMainTimer();
    void TimerLightTimer();
    void TimerSAVDataPeriodicTimer();
    bool CycleRunning() const { return TimerMain.isActive(); }
    // A weather reading now, out of the rhythm (a network client's refresh). Nothing while the cycle
    // is stopped, the link is lost or a station list runs: the reading due next comes soon anyway.
    void ReadWeatherNow();
    bool PeriodicSaveRunning() const { return TimerSAVDataPeriodic.isActive(); }
    bool StartupRetryPending() const { return healing_->StartupRetryPending(); }
    // The port has failed and is being reopened; the readings are stopped meanwhile.
    bool StationLinkLost() const { return healing_->LinkLost(); }

    // ---- Suspend and resume (logind calls them; tests may too) ----
    void SuspendNow();
    void ResumeNow();

    // ---- Roof relay ----
    // Button "Ouvrir relais": re-arm and ask whether to watch again.
    void ButtonDesarmRainClick() { RearmRelay(false); }
    void RearmRelay(bool quiet) { relay_.RearmRelay(quiet); }
    bool RearmConditionsMet(const TcapteursInfos& reading) const;

    // ---- Settings round trip (the settings dialog; see TConfigurationRoundTrip) ----
    bool StartConfiguration();
    TSetupInfos ConfigurationShown() const { return config_->Shown(); }
    const TConfigRoundTrip& ConfigRoundTrip() const { return config_->State(); }
    std::optional<uint8_t> IrStage2CodeFor(uint16_t gain, std::string& error) const {
        return config_->IrStage2CodeFor(gain, error);
    }
    void CancelConfiguration() { config_->Cancel(); }
    void ApplyConfiguration(const TSetupInfos& chosen, uint16_t gain,
                            const std::vector<const TSettingRow*>& writtenByProgram = {}) {
        config_->Apply(chosen, gain, writtenByProgram);
    }

    // ---- Calibration ----
    // One photodiode sample for the dark-current calibration; `done` runs on the main thread with
    // the sample and the list's error text (empty on success), unless this controller is gone.
    void StartCalibrationSample(std::function<void(const TCalibrationPD&, const std::string&)> done) {
        calibration_->Start(std::move(done));
    }

    // ---- Language (see TLanguageSwitch) ----
    int32_t Language() const { return language_->Language(); }
    // Loads this language's texts; false when it is already shown or its module cannot be loaded.
    // Otherwise the caption, the legend and the status texts are made again, the status panel of the
    // station link is emptied, and languageChanged tells every view to rewrite its texts.
    bool SwitchLanguage(int32_t language) { return language_->Switch(language); }

    // ---- What a view shows ----
    const TStatusModel& StatusTexts() const { return *status_; }
    const TStatusDisplay& Status() const { return status_->Status(); }
    // Status bar: 0 the station version, 1 display range or memory count, 2 points / FTP / download.
    const std::array<std::string, 3>& StatusBarPanels() const { return status_->Panels(); }
    // The latest classified reading; the view makes its texts when it shows them.
    const TConditions& Conditions() const { return conditions_; }
    bool HasConditions() const { return hasConditions_; }
    // What automation clients and the one-line file are served, and the one safety verdict.
    const TPublishedConditions& Published() const { return published_; }
    const TRelayDisplay& RelayDisplay() const { return relay_.Display(); }
    const TReadingLabels& WeatherLabels() const { return rhythm_.WeatherLabels(); }
    const TReadingLabels& LightLabels() const { return rhythm_.LightLabels(); }
    const TDownloadProgress& DownloadProgress() const { return status_->Download(); }
    // The window's caption: "Moniteur de nuages HALVEX -> Version v1.49 27/03/13".
    const std::string& Caption() const { return language_->Caption(); }
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
    bool StationMemoryStored() const override { return memory_->Stored(); }

    // Puts a text in the status panel of the station link (red when isError); a text longer than 80
    // characters is shown as "...." and its first 70. Headless: also on standard error.
    void ShowStatus(const std::string& text, bool isError) override { status_->ShowStatus(text, isError); }

    // The view's Yes/No box; without one the answer is No.
    void SetQuestionHandler(std::function<bool(const QString&)> handler) {
        rearm_->SetQuestionHandler(std::move(handler));
    }

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
    // A weather reading was classified, shown and stored; the services follow it from here (the
    // one-line condition file first), then the redraw, before the status says "Ok".
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
    void OnComEepromProgress(uint32_t done, uint32_t total) { status_->ShowDownloadProgress(done, total); }
    void OnComEepromRecords(std::vector<TcapteursInfos> records) { memory_->Store(records); }

    // ---- What the parts ask of the conductor (TCycleHost) ----
    bool Running() const override { return started_ && !closed_; }
    void StartList(std::vector<Tcommand> commands, std::function<void(TThread_Communicate&)> done,
                   bool quiet = false) override;
    void StartUp() override;
    void ShowMessage(const std::string& text) override;
    void StopCycle() override;
    void RestartCycle() override;
    void RecoverStationMemory() override;
    TCyclePause PauseCycle() override;
    void ResumeCycle(const TCyclePause& before) override;
    void SettingsApplied() override;
    void RelayAfterSetup(bool ok) override;

    void ConnectParts();
    void BuildServices();
    void StartServices();
    void ReadSettings();
    void TellAboutCrash();
    void LoadHistoryData();
    void OnLanguageSwitched(int32_t from);
    void StartupFailed(const std::string& error);
    void OnAfterStartUp_threadOver(TThread_Communicate& thread);
    void AffData_threadOver(TThread_Communicate& thread);
    void OnLightRead(TThread_Communicate& thread);
    void ProcessReading(const TcapteursInfos& reading);
    void OnLinkChanged(bool lost);
    void UpdateRelayDisplay();
    void FollowReadings();
    void StopFollowingReadings();
    void PlaySound(const std::string& file);
    void StopTimers();
    void WaitForThreads(int maxMs);
    void StopStationLists(int maxMs);

    TSupervisorOptions options_;
    QTimer TimerMain, TimerLight, TimerSAVDataPeriodic;
    TPollingRhythm rhythm_;
    int16_t FUnderSampleDataFactor = 0;
    TToggle_bool Toggle_GoodCond;
    std::unique_ptr<TMedianObject> medianSky_;
    std::unique_ptr<THistoryStore> history_;
    std::unique_ptr<TStationLinkHolder> link_;
    std::unique_ptr<TQtComBridge> bridge_;
    TSystemEvents* systemEvents_; // child

    // The parts (children), each one concern of the controller.
    TStatusModel* status_;
    TLanguageSwitch* language_;
    TLinkHealing* healing_;
    TConfigurationRoundTrip* config_;
    std::unique_ptr<TCalibrationSample> calibration_;
    std::unique_ptr<TStationMemory> memory_;

    TConditions conditions_;
    bool hasConditions_ = false;
    TPublishedConditions published_{Now()};
    std::string followerStatus_; // a service's word, shown instead of "Ok" after the reading
    TRelayController relay_;
    TRelayRearm* rearm_ = nullptr; // child
    std::string legend_;
    std::vector<QMetaObject::Connection> readingFollowers_; // in the order they run
    bool closed_ = false;
    bool started_ = false;

    // Last: the services read the parts above until they are gone.
    TServiceList services_;
    TFtpPublishing* ftp_ = nullptr; // one of the services
};
