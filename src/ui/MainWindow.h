// The main window: a view of the controller. It shows what the controller reports (readings,
// states, relay, timers, station link status, download progress, history loading) and tells the
// controller what the user asks for (close, re-arm). It owns no station, timer or history logic.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <QMainWindow>
#include <QSet>
#include <QString>

class QAction;
class QLabel;
class QMenu;
class QPushButton;
class QSystemTrayIcon;
class QTabWidget;
class Supervisor;
class TGraphTabs;
class TStatePanelLabel;
class TStatusLoadDatas;
struct TPlotSizes;

// OffScreen: the window of a program without a screen (--headless). It is laid out as on a screen but
// never appears: no tray icon, no message box, no question (the controller answers those itself), no
// progress window. Its graphs and information tab are there for the published snapshots.
enum class TWindowPlace { OnScreen, OffScreen };

class MainWindow : public QMainWindow {
    Q_OBJECT
  public:
    // Builds the window as the view of this controller: it is filled from the controller's current
    // state at once and follows every change. Build it before the controller starts, so that the
    // history-loading window and the start-up messages have it as their owner. It renders the
    // controller's publishing snapshots for as long as it lives.
    explicit MainWindow(Supervisor& supervisor, QWidget* parent = nullptr,
                        TWindowPlace place = TWindowPlace::OnScreen);
    ~MainWindow() override;

    // The tray icon's pop-up menu ("Restaurer", "Fermer"); it exists even when the desktop has no tray.
    QMenu* TrayMenu() const { return trayMenu_; }
    QTabWidget* Pages() const { return pages_; }
    // Text of a status bar panel: 0 station version, 1 display range or memory count, 2 points,
    // FTP or download progress.
    QString StatusBarText(int panel) const;
    // The progress window of the station memory download while it is shown, else null.
    TStatusLoadDatas* DownloadWindow() const { return downloadWindow_.get(); }
    // The window naming each month file while the history loads, else null.
    TStatusLoadDatas* HistorySplash() const { return historySplash_.get(); }
    // The graph tabs (plots, dial, their controls and stored scales).
    TGraphTabs* Graphs() const { return graphs_; }
    // The safety verdict at the top of the information tab.
    class TVerdictBanner* VerdictBanner() const {
        return banner_;
    }
    // The night-vision display (menu "Vision de nuit", stored as "NightVision"): dim red on black for
    // the window and every plot. store: remember the choice for the next start.
    void SetNightVision(bool on, bool store = true);
    QAction* NightVisionMenu() const { return nightMenu_; }

    // The on-screen sizes of the plots, offered by the web-publishing dialog; until the graphs
    // give them the dialog offers the stored snapshot sizes.
    void SetPlotSizes(std::function<TPlotSizes()> sizes) { plotSizes_ = std::move(sizes); }

    // The seven snapshot pictures in PathJpeg ("Sauver copie écran"): the plots, the dial and the
    // information tab as they are on the screen. Raises on a bad quality or a file not written.
    void SaveScreenSnapshots(int quality);
    // The seven pictures drawn afresh at the web-publishing sizes ("Sauver images pour transfert
    // FTP", and each FTP tick). Raises as SaveScreenSnapshots does.
    void SavePublishSnapshots(int quality);

  public slots:
    // Shows the window again: from the tray, or when a second start of the program asks for it.
    void RestoreFromTray();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void BuildMenus();
    // Menus "Francais" and "Anglais"; the check marks always name the language of the texts shown.
    void ChooseLanguage(int32_t language);
    void ShowLanguageChecks();
    // After the controller switched the language.
    void ApplyLanguage();
    // Writes again everything made from the controller's state.
    void ShowAll();
    void BuildTray();
    void BuildStatusBar();
    void BuildPages();
    QWidget* BuildInformationTab();
    QWidget* BuildValuesGroup();
    QWidget* BuildStatesGroup();
    QWidget* BuildRelayGroup();
    QWidget* BuildTimersGroup();
    QLabel* AddValueRow(class QGridLayout* grid, int row, const QString& caption, const char* name);
    TStatePanelLabel* AddStateRow(class QGridLayout* grid, int row, const QString& caption, const char* name);

    // Each follows one kind of report of the controller.
    void FollowSupervisor();
    void ShowConditions();
    void ShowRelay();
    void ShowReadingTimes();
    void ShowStatus();
    void ShowStatusBarPanel(int panel);
    void ShowDownloadProgress();
    void ShowHistoryLoading(const QString& step);
    void ShowCaptionAndLegend();
    void ShowDefrostColour();
    void ShowMessage(const QString& text);
    bool AskQuestion(const QString& question);

    Supervisor& supervisor_;
    const TWindowPlace place_;
    QWidget* infoSheet_ = nullptr;
    QTabWidget* pages_ = nullptr;
    QMenu* trayMenu_ = nullptr;
    QAction *frenchMenu_ = nullptr, *englishMenu_ = nullptr, *nightMenu_ = nullptr;
    class TVerdictBanner* banner_ = nullptr;
    QSystemTrayIcon* tray_ = nullptr;
    QLabel* statusPanels_[3] = {};
    QWidget* panelClouds_ = nullptr;
    TGraphTabs* graphs_ = nullptr;
    class TDataTableTab* dataTableTab_ = nullptr;

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
    QLabel* labelSize_ = nullptr; // the window's size, on the information tab
    void ShowWindowSize();

    std::unique_ptr<TStatusLoadDatas> downloadWindow_;
    std::unique_ptr<TStatusLoadDatas> historySplash_;
    QSet<QString> openMessages_; // texts of the message boxes on the screen
    bool closeAnnounced_ = false;
    std::function<TPlotSizes()> plotSizes_;
};
