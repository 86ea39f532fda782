// The graph tabs of the main window: the seven plots with their control strips, the wind tab with its
// dial, the scales stored under "\GraphicScales\" at close and read at start, the redraw after each
// reading, "Copier image" and "Montrer dernier(es)". The window adds the pages and forwards its menu.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <QObject>
#include <QString>
#include <string>
#include <vector>

#include "Records.h"
#include "Snapshots.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QToolButton;
class QWidget;
class QGroupBox;
class Supervisor;
class TDatabaseRegistry;
class TGraphicSpecial;
class TPlotWidget;
class TWindWidget;

enum class TGraphPage { Sky, Light, Wind, Humidity, Temperature, Volts, Heater };

inline constexpr const char* KeyGraphicScales = "\\GraphicScales\\";
inline constexpr const char* KeyGraphicScalesAutoscale = "\\GraphicScales\\Autoscale";

// The stored scale of a plot, or the defaults for what is missing or unusable (a value that is not a
// finite number, a maximum not above its minimum). A stored date window keeps its place relative to
// the present: it is shifted by the time since it was stored.
TgraphicSetupSky LoadGraphScale(TDatabaseRegistry& registry, const std::string& keyName, double minY,
                                double maxY, double minX, double maxX);
void SaveGraphScale(TDatabaseRegistry& registry, const std::string& keyName, const TGraphicSpecial& plot);

struct TGraphHooks {
    // A message box of the window (drawing errors).
    std::function<void(const QString&)> ShowMessage;
    // The status bar's progress panel; an empty text gives it back to the controller's text.
    std::function<void(const QString&)> Progress;
};

class TGraphTabs : public QObject {
    Q_OBJECT
  public:
    // Reads the stored scales and translation boxes. Follows the controller's redraw request and its
    // settings (the light tab's caption).
    TGraphTabs(Supervisor& supervisor, TGraphHooks hooks, QObject* parent = nullptr);
    ~TGraphTabs() override;

    // Builds a page and adds it to pages with its caption; returns it.
    QWidget* AddPage(QTabWidget* pages, TGraphPage page);

    // Every plot and the dial, in the order a reading redraws them.
    void RedrawAll();
    // "Copier image": the plot of this page (the wind tab's plot, not its dial); nothing for other pages.
    bool CopyPlotOf(QWidget* page);
    // "Montrer dernier(es)": every plot fitted to the last deltaTime days, translation on.
    void ShowLastPeriod(double deltaTime);
    // The scales and the translation boxes, stored at close.
    void SaveScales();
    void UpdateLightTabCaption();
    void RetranslateUi();

    // What the publishing snapshots copy from the plots and the dial on the screen.
    TPublishGraphSources PublishSources() const;
    // The plots and the dial as they are on the screen (no redraw), at their on-screen sizes, into
    // folder: wind gust, sky, brightness, humidity, temperature, dial. Never the debug plots. A tab
    // not shown at the present window size is laid out first, as it would be shown.
    void SaveScreenGraphs(const std::string& folder, int quality);
    // Lays out the pages not shown at the size of the page shown, and gives every plot and the dial
    // a picture of its size: the sizes they have when their tab is shown.
    void LayOutHiddenPages();

    // For tests and the screenshots.
    TPlotWidget* PlotOf(TGraphPage page) const;
    TWindWidget* Dial() const { return dial_; }
    QWidget* PageOf(TGraphPage page) const;
    // The strip under the sky plot (null until its page is added).
    QWidget* PanelClouds() const { return panelClouds_; }

  signals:
    // "Voir différence Ciel - Sol" changed: the sky values shown elsewhere follow.
    void skyMinusGroundChanged(bool skyMinusGround);

  private:
    struct TTab;
    TTab* Find(TGraphPage page) const;
    QWidget* BuildPlotPage(TTab& tab);
    QWidget* BuildWindPage(TTab& tab);
    QWidget* BuildStrip(TTab& tab, bool withGrid);
    void ApplyDialControls();
    void ShowLegend();

    Supervisor& supervisor_;
    TGraphHooks hooks_;
    std::vector<std::unique_ptr<TTab>> tabs_;
    std::map<std::string, bool> storedTranslate_; // the translation boxes as read
    TWindWidget* dial_ = nullptr;
    QGroupBox *dialGroup_ = nullptr, *windPlotGroup_ = nullptr;
    QCheckBox *autoscaleWind_ = nullptr, *fixedScale_ = nullptr, *windMedian_ = nullptr,
              *skyMinusGround_ = nullptr;
    QSpinBox* windMaxScale_ = nullptr;
    QLabel *windUnit_ = nullptr, *dialNote1_ = nullptr, *dialNote2_ = nullptr, *heaterLegend_ = nullptr;
    QPushButton* legendButton_ = nullptr;
    bool lightCaptionFromSettings_ = false;
    QWidget* panelClouds_ = nullptr;
};

// The legend window of the sky plot's strips ("Légende", 383 x 413, "OK").
class QDialog;
QDialog* NewLegendWindow(QWidget* parent);
// Shows it modally, then frees it.
void ShowLegendWindow(QWidget* parent);
