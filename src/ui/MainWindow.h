// The main window: a view of the controller. It shows what the controller reports (readings,
// states, relay, timers, station link status, download progress) and tells the controller what the
// user asks for (close, re-arm). It owns no station, timer or history logic.
#pragma once

#include <memory>
#include <QMainWindow>
#include <QMetaType>
#include <QString>

#include "Classification.h"
#include "ViewData.h"

class QAction;
class Supervisor;
class QLabel;
class QMenu;
class QPushButton;
class QSystemTrayIcon;
class QTabWidget;
class TSingleInstance;
class TStatePanelLabel;
class TStatusLoadDatas;

class MainWindow : public QMainWindow {
    Q_OBJECT
  public:
    // debugMode: the raw-voltage and heater tabs are shown.
    explicit MainWindow(bool debugMode = false, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The tray icon's pop-up menu ("Restaurer", "Fermer"); it exists even when the desktop has no tray.
    QMenu* TrayMenu() const { return trayMenu_; }
    QTabWidget* Pages() const { return pages_; }
    // Text of a status bar panel: 0 station version, 1 display range or memory count, 2 points,
    // FTP or download progress.
    QString StatusBarText(int panel) const;
    // The memory-download progress window while it is shown, else null.
    TStatusLoadDatas* DownloadWindow() const { return downloadWindow_.get(); }

    // Makes this window the view of the controller: every state signal updates the window, the
    // user's close and re-arm go to the controller, its questions to the Yes/No box. The window is
    // filled from the controller's current state at once; attach before Start().
    void Attach(Supervisor& supervisor);

    // A second start of the program raises this window.
    void FollowSingleInstance(TSingleInstance& instance);

    // Yes/No box asking whether the surveillance is switched on again after a manual re-arm.
    bool AskReactivateSurveillance();

  public slots:
    // A classified weather reading. windChillText: the felt temperature (WindChillText()).
    void ShowConditions(const TConditionsDisplay& display, const QString& windChillText);
    // The "Relais" group: criteria, roof panel with its hint, re-arm button.
    void ShowRelay(const TRelayDisplay& relay);
    // Interval, time to the next reading and last reading of the weather and of the light readings.
    void ShowWeatherTimes(const TReadingLabels& labels);
    void ShowLightTimes(const TReadingLabels& labels);
    // The station link status panel: red for errors, a long text cut, hint with the time shown.
    void ShowStatus(const QString& text, bool isError);
    void SetStatusBarText(int panel, const QString& text);
    // The station version was read: panel 0 the version, panel 1 the records in the station memory
    // (eepromRecords < 0: not reported), panel 2 cleared; the status panel shows the version.
    void ShowStationVersion(const QString& version, int eepromRecords);
    // Progress of the station memory download: opens the progress window on the first report,
    // closes it when recordsRead reaches recordsToRead.
    void ShowDownloadProgress(int recordsRead, int recordsToRead);
    // A message box (errors of a reading, of closing, of the periodic save, of the start-up port).
    void ShowMessage(const QString& text);
    // Hint of the sky graph explaining the good-conditions marking.
    void SetGoodConditionsLegend(const QString& legend);
    // Show the window again from the tray, or for a second start of the program.
    void RestoreFromTray();

  signals:
    // The user closes the program (window, "Quitter", tray "Fermer"): run the closing sequence.
    // Emitted once, before the window closes.
    void closeRequested();
    // The re-arm button "Ouvrir relais" was clicked.
    void rearmClicked();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    void BuildMenus();
    void BuildTray();
    void BuildStatusBar();
    void BuildPages(bool debugMode);
    QWidget* BuildInformationTab();
    QWidget* BuildValuesGroup();
    QWidget* BuildStatesGroup();
    QWidget* BuildRelayGroup();
    QWidget* BuildTimersGroup();
    QLabel* AddValueRow(class QGridLayout* grid, int row, const QString& caption, const char* name);
    TStatePanelLabel* AddStateRow(class QGridLayout* grid, int row, const QString& caption, const char* name);

    QTabWidget* pages_ = nullptr;
    QMenu* trayMenu_ = nullptr;
    QSystemTrayIcon* tray_ = nullptr;
    QLabel* statusPanels_[3] = {};
    QWidget* panelClouds_ = nullptr;

    // Values
    QLabel *tempText_ = nullptr, *windChill_ = nullptr, *rainTemp_ = nullptr, *irCanTemp_ = nullptr,
           *skyTemp_ = nullptr, *humidity_ = nullptr, *dewPoint_ = nullptr, *windDir_ = nullptr,
           *windSpeed_ = nullptr, *power_ = nullptr, *volts_ = nullptr, *light_ = nullptr,
           *magnitude_ = nullptr, *defrost_ = nullptr, *rs232Stat_ = nullptr;
    // States
    TStatePanelLabel *skyState_ = nullptr, *humidityState_ = nullptr, *rainState_ = nullptr,
                     *windState_ = nullptr, *skyBgdState_ = nullptr, *roofState_ = nullptr;
    // Relay group
    QLabel *watching_ = nullptr, *skyThreshold_ = nullptr, *rhThreshold_ = nullptr, *windThreshold_ = nullptr,
           *lightWatched_ = nullptr, *magThreshold_ = nullptr;
    QPushButton* rearmButton_ = nullptr;
    // Timers
    QLabel *interval_ = nullptr, *remaining_ = nullptr, *lastReading_ = nullptr;
    QLabel *intervalLight_ = nullptr, *remainingLight_ = nullptr, *lastReadingLight_ = nullptr;

    std::unique_ptr<TStatusLoadDatas> downloadWindow_;
    bool closeAnnounced_ = false;
};

Q_DECLARE_METATYPE(TConditionsDisplay)
Q_DECLARE_METATYPE(TRelayDisplay)
Q_DECLARE_METATYPE(TReadingLabels)
