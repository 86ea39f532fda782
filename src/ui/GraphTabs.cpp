#include "GraphTabs.h"

#include <cmath>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCoreApplication>
#include <QDialog>
#include <QEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include "DatabaseRegistry.h"
#include "GraphicSpecial.h"
#include "JpegFile.h"
#include "NightMode.h"
#include "NightVision.h"
#include "PlotWidget.h"
#include "Supervisor.h"

namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

// What tells the seven plots apart.
struct TPlotSpec {
    TGraphPage Page;
    const char* PageName; // object name of the tab page
    const char* KeyName;  // registry key of the scale
    const char* TranslateBox;
    const char* GridBox; // empty: no grid box
    TTypeDataGraph Type;
    const char* Unit;
    const char* NameFull;
    const char* Caption;
    double MinY, MaxY;
    double ZoomOutY, ZoomInY; // value limits of the zoom buttons
};

const TPlotSpec kSpecs[] = {
    {TGraphPage::Sky, "TabSheetSKY", "ImageSkyCl", "CheckBoxtranslateSKY", "CheckBoxGridSKY",
     IRData_Minus_Sol, "°", QT_TRANSLATE_NOOP("TGraphTabs", "Température ciel"),
     QT_TRANSLATE_NOOP("TGraphTabs", "Couverture nuageuse et pluie"), -50, 30, 100, 1},
    {TGraphPage::Light, "TabSheetLight", "ImageSkyLight", "CheckBoxTransLight", "CheckBoxGridLight", Lighdata,
     "", QT_TRANSLATE_NOOP("TGraphTabs", "Luminosité ciel"),
     QT_TRANSLATE_NOOP("TGraphTabs", "Fond ciel (Magn/sec²)"), -3, 6, 10, 1},
    {TGraphPage::Wind, "TabSheetWind", "ImageWindSpeed", "CheckBoxWindSpeedTranslate", "", WinData, "",
     QT_TRANSLATE_NOOP("TGraphTabs", "Vitesse du vent"), QT_TRANSLATE_NOOP("TGraphTabs", "Vent"), 0, 100, 200,
     1},
    {TGraphPage::Humidity, "TabSheetHumid", "ImageHumidity", "CheckBoxHumidTrans", "CheckBoxGridHumid",
     MoistureData, "%%", QT_TRANSLATE_NOOP("TGraphTabs", "Humidité"),
     QT_TRANSLATE_NOOP("TGraphTabs", "Humidité (RH %)"), 0, 100, 100, 1},
    {TGraphPage::Temperature, "TabSheetTemp", "ImageTemps", "CheckBoxTempTranslateAuto", "CheckBoxTempGrid",
     TempData, "°C", QT_TRANSLATE_NOOP("TGraphTabs", "Température"),
     QT_TRANSLATE_NOOP("TGraphTabs", "Température Ext."), -10, 40, 100, 1},
    {TGraphPage::Volts, "TabSheetVoltage", "ImageVolts", "CheckBoxTranslateVolts", "CheckBoxgrid_Volts",
     VoltsData, "V", QT_TRANSLATE_NOOP("TGraphTabs", "Tensions brutes"),
     QT_TRANSLATE_NOOP("TGraphTabs", "Volts (IR det debug)"), 0, 5, 5, 0.001},
    {TGraphPage::Heater, "TabSheetHeater", "ImageHeater", "CheckBoxheater", "CheckBoxGridheater", HeatData,
     "", QT_TRANSLATE_NOOP("TGraphTabs", "Historique chauffage"),
     QT_TRANSLATE_NOOP("TGraphTabs", "Chauffage (debug)"), 0, 5, 100, 0.1},
};

// The stored names of the translation boxes, in their stored order (the heater's written "CheckBoxHeater").
const char* const kStoredBoxes[] = {
    "CheckBoxtranslateSKY", "CheckBoxTranslateVolts",     "CheckBoxTempTranslateAuto",
    "CheckBoxTransLight",   "CheckBoxWindSpeedTranslate", "CheckBoxHumidTrans",
    "CheckBoxHeater"};

const TPlotSpec& SpecOf(TGraphPage page) {
    for (const TPlotSpec& spec : kSpecs)
        if (spec.Page == page) return spec;
    return kSpecs[0];
}

std::string StoredBoxName(const TPlotSpec& spec) {
    return spec.Page == TGraphPage::Heater ? "CheckBoxHeater" : spec.TranslateBox;
}

constexpr double kZoomOutDays = 365;
constexpr double kZoomInDays = 1.0 / 8640;

// Glyphs of the zoom and autoscale buttons: a magnifier with a sign, or a frame fitted to a curve.
QIcon Glyph(char kind) {
    QPixmap pixmap(20, 20);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(30, 30, 30), 2));
    if (kind == 'A') {
        p.drawRect(2, 2, 16, 16);
        p.setPen(QPen(QColor(200, 0, 0), 2));
        p.drawPolyline(QPolygon({QPoint(4, 14), QPoint(8, 7), QPoint(12, 11), QPoint(16, 5)}));
    } else {
        p.drawEllipse(2, 2, 11, 11);
        p.drawLine(12, 12, 18, 18);
        p.drawLine(5, 7, 10, 7);
        if (kind == '+') p.drawLine(7, 5, 7, 10);
    }
    return QIcon(pixmap);
}

} // namespace

// ---- Stored scales ----------------------------------------------------------------------------------

TgraphicSetupSky LoadGraphScale(TDatabaseRegistry& registry, const std::string& keyName, double minY,
                                double maxY, double minX, double maxX) {
    const std::string path = std::string(KeyGraphicScales) + keyName + "\\";
    TgraphicSetupSky tg{minY, maxY, minX, maxX, 0, 0};
    double x1 = minX, x2 = maxX, stored = 0;
    if (registry.ReadValueRegisterDFset(path, x1, "X1", varDouble) && std::isfinite(x1)) {
        if (registry.ReadValueRegisterDFset(path, x2, "X2", varDouble) && std::isfinite(x2) && x2 > x1) {
            if (registry.ReadValueRegisterDFset(path, stored, "Date", varDouble) && std::isfinite(stored)) {
                const double shift = Now() - stored;
                x1 += shift;
                x2 += shift;
            }
            tg.MaxX = x2;
        }
        // "X1" without a usable "X2": kept, unless it would leave no window before the default end.
        if (x1 < tg.MaxX) tg.MinX = x1;
    }
    double y1 = minY, y2 = maxY;
    registry.ReadValueRegisterDFset(path, y1, "Y1", varDouble);
    registry.ReadValueRegisterDFset(path, y2, "Y2", varDouble);
    if (std::isfinite(y1) && std::isfinite(y2) && y2 > y1) {
        tg.MinY = y1;
        tg.MaxY = y2;
    }
    return tg;
}

void SaveGraphScale(TDatabaseRegistry& registry, const std::string& keyName, const TGraphicSpecial& plot) {
    const std::string path = std::string(KeyGraphicScales) + keyName + "\\";
    registry.WriteCFGtoRegister(path, plot.Tg.MinX, "X1");
    registry.WriteCFGtoRegister(path, plot.Tg.MaxX, "X2");
    registry.WriteCFGtoRegister(path, DateTimeText(plot.Tg.MinX), "X1_date");
    registry.WriteCFGtoRegister(path, DateTimeText(plot.Tg.MaxX), "Y1_date");
    registry.WriteCFGtoRegister(path, plot.Tg.MinY, "Y1");
    registry.WriteCFGtoRegister(path, plot.Tg.MaxY, "Y2");
    registry.WriteCFGtoRegister(path, Now(), "Date");
}

// ---- Tabs -------------------------------------------------------------------------------------------

struct TGraphTabs::TTab {
    const TPlotSpec* Spec = nullptr;
    QTabWidget* Pages = nullptr;
    QWidget* Page = nullptr;
    TPlotWidget* Plot = nullptr;
    QCheckBox *Translate = nullptr, *Grid = nullptr;
    QToolButton *ZoomOut = nullptr, *ZoomIn = nullptr, *Auto = nullptr;
};

TGraphTabs::TGraphTabs(Supervisor& supervisor, TGraphHooks hooks, QObject* parent)
    : QObject(parent), supervisor_(supervisor), hooks_(std::move(hooks)) {
    TDatabaseRegistry& registry = DatabaseRegistry();
    for (const char* name : kStoredBoxes) {
        bool checked = false;
        registry.ReadValueRegisterDFset(KeyGraphicScalesAutoscale, checked, name, varBoolean);
        storedTranslate_[name] = checked;
    }
    connect(&supervisor_, &Supervisor::redrawRequested, this, &TGraphTabs::RedrawAll);
    // The settings are read at start just before the legend is written.
    connect(&supervisor_, &Supervisor::legendChanged, this, [this] {
        UpdateLightTabCaption();
        RedrawAll();
    });
}

TGraphTabs::~TGraphTabs() = default;

TGraphTabs::TTab* TGraphTabs::Find(TGraphPage page) const {
    for (const auto& tab : tabs_)
        if (tab->Spec->Page == page) return tab.get();
    return nullptr;
}

TPlotWidget* TGraphTabs::PlotOf(TGraphPage page) const {
    const TTab* tab = Find(page);
    return tab ? tab->Plot : nullptr;
}

QWidget* TGraphTabs::PageOf(TGraphPage page) const {
    const TTab* tab = Find(page);
    return tab ? tab->Page : nullptr;
}

QWidget* TGraphTabs::AddPage(QTabWidget* pages, TGraphPage page) {
    auto tab = std::make_unique<TTab>();
    tab->Spec = &SpecOf(page);
    tab->Pages = pages;
    const TPlotSpec& spec = *tab->Spec;

    tab->Plot = new TPlotWidget(supervisor_.History());
    tab->Plot->setObjectName(spec.KeyName);
    TGraphicSpecial& plot = tab->Plot->Plot();
    plot.TypeData = spec.Type;
    plot.unit_Str = spec.Unit;
    plot.NameFull = tr(spec.NameFull).toStdString();
    const TDateTime now = Now();
    plot.Tg = LoadGraphScale(DatabaseRegistry(), spec.KeyName, spec.MinY, spec.MaxY, now - 1.0 / 24,
                             now + 1.0 / 24);
    plot.Translate = storedTranslate_[StoredBoxName(spec)];
    plot.BoxGrid = true;
    plot.progressT = [this](const std::string& text) {
        if (hooks_.Progress) hooks_.Progress(Q(text));
    };
    plot.OnDrawError = [this](const std::string& text) {
        if (hooks_.ShowMessage) hooks_.ShowMessage(Q(text));
    };
    connect(tab->Plot, &TPlotWidget::drawError, this, [this](const QString& text) {
        if (hooks_.ShowMessage) hooks_.ShowMessage(text);
    });

    tab->Page = page == TGraphPage::Wind ? BuildWindPage(*tab) : BuildPlotPage(*tab);
    tab->Page->setObjectName(spec.PageName);
    pages->addTab(tab->Page, tr(spec.Caption));
    // Any mouse zoom or pan ends the automatic translation, and its box says so.
    TTab* raw = tab.get();
    connect(tab->Plot, &TPlotWidget::endZoomPan, this, [raw] { raw->Translate->setChecked(false); });
    connect(tab->Plot, &TPlotWidget::translateChanged, this,
            [raw](bool on) { raw->Translate->setChecked(on); });
    tabs_.push_back(std::move(tab));
    return raw->Page;
}

QWidget* TGraphTabs::BuildStrip(TTab& tab, bool withGrid) {
    auto* strip = new QWidget;
    auto* row = new QHBoxLayout(strip);
    row->setContentsMargins(4, 1, 4, 1);
    row->setSpacing(4);
    auto button = [&](char glyph) {
        auto* b = new QToolButton;
        b->setIcon(Glyph(glyph));
        b->setAutoRaise(true);
        row->addWidget(b);
        return b;
    };
    tab.ZoomOut = button('-');
    tab.ZoomIn = button('+');
    tab.Auto = button('A');
    tab.ZoomOut->setObjectName(QString(tab.Spec->KeyName) + "ZoomOut");
    tab.ZoomIn->setObjectName(QString(tab.Spec->KeyName) + "ZoomIn");
    tab.Auto->setObjectName(QString(tab.Spec->KeyName) + "Autoscale");
    TPlotWidget* w = tab.Plot;
    const double outY = tab.Spec->ZoomOutY, inY = tab.Spec->ZoomInY;
    auto guarded = [this, w](auto action) {
        return [this, w, action] {
            try {
                action(w->Plot());
            } catch (const std::exception& e) {
                if (hooks_.ShowMessage) hooks_.ShowMessage(tr("Plot Error -> ") + Q(e.what()));
            }
            w->update();
        };
    };
    connect(tab.ZoomOut, &QToolButton::clicked, this,
            guarded([outY](TGraphicSpecial& p) { p.Zoom_Moins(kZoomOutDays, outY); }));
    connect(tab.ZoomIn, &QToolButton::clicked, this,
            guarded([inY](TGraphicSpecial& p) { p.Zoom_Plus(kZoomInDays, inY); }));
    connect(tab.Auto, &QToolButton::clicked, this, guarded([](TGraphicSpecial& p) { p.DoAutoScale(0); }));

    tab.Translate = new QCheckBox;
    tab.Translate->setObjectName(tab.Spec->TranslateBox);
    tab.Translate->setChecked(w->Plot().Translate);
    connect(tab.Translate, &QCheckBox::toggled, this, [w](bool on) { w->Plot().Translate = on; });
    row->addWidget(tab.Translate);
    if (withGrid) {
        tab.Grid = new QCheckBox;
        tab.Grid->setObjectName(tab.Spec->GridBox);
        tab.Grid->setChecked(true);
        connect(tab.Grid, &QCheckBox::toggled, this, [w](bool on) {
            w->Plot().BoxGrid = on;
            w->Redraw();
        });
        row->addWidget(tab.Grid);
    }
    if (tab.Spec->Page == TGraphPage::Sky) {
        skyMinusGround_ = new QCheckBox;
        skyMinusGround_->setObjectName("CheckBoxDisplaySkyMinusGround");
        skyMinusGround_->setChecked(true);
        // Outside debug mode the sky plot always shows the difference.
        skyMinusGround_->setVisible(DebugMode);
        connect(skyMinusGround_, &QCheckBox::toggled, this, [this, w](bool on) {
            w->Plot().TypeData = on ? IRData_Minus_Sol : IRData;
            w->Redraw();
            emit skyMinusGroundChanged(on);
        });
        row->addWidget(skyMinusGround_);
        legendButton_ = new QPushButton;
        legendButton_->setObjectName("ButtonLegende");
        connect(legendButton_, &QPushButton::clicked, this, &TGraphTabs::ShowLegend);
        row->addWidget(legendButton_);
    }
    if (tab.Spec->Page == TGraphPage::Heater) {
        heaterLegend_ = new QLabel;
        heaterLegend_->setObjectName("Label9");
        row->addWidget(heaterLegend_);
    }
    row->addStretch(1);
    for (QToolButton* b : {tab.ZoomOut, tab.ZoomIn, tab.Auto})
        b->setFixedSize(26, 24);
    return strip;
}

QWidget* TGraphTabs::BuildPlotPage(TTab& tab) {
    auto* page = new QWidget;
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(tab.Plot, 1);
    QWidget* strip = BuildStrip(tab, true);
    column->addWidget(strip);
    if (tab.Spec->Page == TGraphPage::Sky) {
        // The strip under the sky plot carries the good-conditions hint, not the plot (whose cursor
        // readout the hint would hide).
        strip->setObjectName("PanelCLOUDs");
        panelClouds_ = strip;
    }
    return page;
}

namespace {

// The top of the wind tab: the dial's panel a square as tall as the room (narrower only when the
// time plot would lose its least width), the time plot's panel beside it, one pixel apart, with the
// rest of the width and the same height.
class TDialRowLayout : public QLayout {
  public:
    static constexpr int kGap = 1;

    ~TDialRowLayout() override {
        while (QLayoutItem* item = takeAt(0))
            delete item;
    }
    void addItem(QLayoutItem* item) override { items_.append(item); }
    int count() const override { return int(items_.size()); }
    QLayoutItem* itemAt(int index) const override { return items_.value(index); }
    QLayoutItem* takeAt(int index) override {
        return index >= 0 && index < items_.size() ? items_.takeAt(index) : nullptr;
    }
    QSize sizeHint() const override { return {600, 300}; }
    QSize minimumSize() const override {
        const int time = items_.size() > 1 ? items_[1]->minimumSize().width() : 0;
        return {100 + kGap + time, 100};
    }
    void setGeometry(const QRect& rect) override {
        QLayout::setGeometry(rect);
        if (items_.size() < 2) return;
        const int timeMin = items_[1]->minimumSize().width();
        const int side = std::max(1, std::min(rect.height(), rect.width() - kGap - timeMin));
        items_[0]->setGeometry(QRect(rect.left(), rect.top(), side, side));
        items_[1]->setGeometry(
            QRect(rect.left() + side + kGap, rect.top(), std::max(1, rect.width() - side - kGap), side));
    }

  private:
    QList<QLayoutItem*> items_;
};

// A panel whose only content fills it.
QWidget* FilledPanel(const char* name, QWidget* content) {
    auto* panel = new QWidget;
    panel->setObjectName(name);
    auto* column = new QVBoxLayout(panel);
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(content);
    return panel;
}

} // namespace

QWidget* TGraphTabs::BuildWindPage(TTab& tab) {
    auto* page = new QWidget;
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    dial_ = new TWindWidget(supervisor_.History());
    dial_->setObjectName("WindDisplay");
    connect(dial_, &TWindWidget::drawError, this, [this](const QString& text) {
        if (hooks_.ShowMessage) hooks_.ShowMessage(text);
    });
    auto* top = new QWidget;
    auto* row = new TDialRowLayout;
    top->setLayout(row);
    row->addWidget(FilledPanel("PanelWnd", dial_));
    row->addWidget(FilledPanel("PanelWindTime", tab.Plot));
    column->addWidget(top, 1);

    // Under both: the dial's controls and the time plot's.
    auto* bottom = new QWidget;
    bottom->setObjectName("PanelBottomWind");
    auto* groups = new QHBoxLayout(bottom);
    groups->setContentsMargins(2, 2, 2, 2);
    groups->setSpacing(4);

    dialGroup_ = new QGroupBox;
    auto* dialColumn = new QVBoxLayout(dialGroup_);
    dialColumn->setContentsMargins(4, 2, 4, 2);
    dialColumn->setSpacing(2);
    auto* controls = new QHBoxLayout;
    autoscaleWind_ = new QCheckBox;
    autoscaleWind_->setObjectName("CheckBoxAutoscaleWind");
    autoscaleWind_->setChecked(true);
    fixedScale_ = new QCheckBox;
    fixedScale_->setObjectName("CheckBoxFixedScale");
    windMaxScale_ = new QSpinBox;
    windMaxScale_->setObjectName("SpinEditWindMaxScale");
    windMaxScale_->setRange(10, 300);
    windMaxScale_->setSingleStep(10);
    windMaxScale_->setValue(10);
    if (auto* edit = windMaxScale_->findChild<QLineEdit*>()) edit->setReadOnly(true); // arrows only
    windUnit_ = new QLabel;
    windUnit_->setObjectName("LabelWindspeedUnit");
    controls->addWidget(autoscaleWind_);
    controls->addWidget(fixedScale_);
    controls->addWidget(windMaxScale_);
    controls->addWidget(windUnit_);
    controls->addStretch(1);
    dialColumn->addLayout(controls);
    dialNote1_ = new QLabel;
    dialNote2_ = new QLabel;
    dialColumn->addWidget(dialNote1_);
    dialColumn->addWidget(dialNote2_);
    connect(autoscaleWind_, &QCheckBox::toggled, this, [this] { ApplyDialControls(); });
    connect(fixedScale_, &QCheckBox::toggled, this, [this](bool fixed) {
        autoscaleWind_->setEnabled(!fixed);
        ApplyDialControls();
    });
    connect(windMaxScale_, &QSpinBox::valueChanged, this, [this](int value) {
        dial_->Dial().Def_MaxSpeed_kmh = value;
        dial_->Redraw();
    });
    ApplyDialControls();

    windPlotGroup_ = new QGroupBox;
    auto* plotColumn = new QVBoxLayout(windPlotGroup_);
    plotColumn->setContentsMargins(4, 2, 4, 2);
    plotColumn->setSpacing(0);
    QWidget* strip = BuildStrip(tab, false);
    windMedian_ = new QCheckBox;
    windMedian_->setObjectName("CheckBoxWindlast31Points");
    TPlotWidget* w = tab.Plot;
    connect(windMedian_, &QCheckBox::toggled, this, [w](bool on) {
        w->Plot().Special = on;
        w->Redraw();
    });
    plotColumn->addWidget(strip);
    plotColumn->addWidget(windMedian_);

    groups->addWidget(dialGroup_);
    groups->addWidget(windPlotGroup_, 1);
    column->addWidget(bottom);
    return page;
}

void TGraphTabs::ApplyDialControls() {
    if (!dial_) return;
    TWindDisplay& dial = dial_->Dial();
    dial.Autoscale = autoscaleWind_->isChecked();
    if (!dial.Autoscale) dial.Def_MaxSpeed_kmh = windMaxScale_->value();
    const bool fixed = !autoscaleWind_->isChecked();
    fixedScale_->setEnabled(fixed);
    windMaxScale_->setEnabled(fixed);
    windUnit_->setEnabled(fixed);
    dial_->Redraw();
}

void TGraphTabs::RedrawAll() {
    for (TGraphPage page : {TGraphPage::Sky, TGraphPage::Light}) {
        if (TPlotWidget* plot = PlotOf(page)) plot->Redraw();
    }
    if (dial_) dial_->Redraw();
    for (TGraphPage page : {TGraphPage::Humidity, TGraphPage::Temperature, TGraphPage::Wind,
                            TGraphPage::Volts, TGraphPage::Heater}) {
        if (TPlotWidget* plot = PlotOf(page)) plot->Redraw();
    }
}

bool TGraphTabs::CopyPlotOf(QWidget* page) {
    for (const auto& tab : tabs_) {
        if (tab->Page != page || tab->Spec->Page == TGraphPage::Heater) continue;
        QApplication::clipboard()->setImage(tab->Plot->Plot().Picture());
        return true;
    }
    return false;
}

void TGraphTabs::ShowLastPeriod(double deltaTime) {
    for (const auto& tab : tabs_) {
        try {
            tab->Plot->Plot().DoAutoScale(deltaTime);
        } catch (const std::exception& e) {
            if (hooks_.ShowMessage) hooks_.ShowMessage(tr("Plot Error -> ") + Q(e.what()));
        }
        tab->Plot->update();
    }
    for (const auto& tab : tabs_) {
        tab->Plot->Plot().Translate = true;
        tab->Translate->setChecked(true);
    }
}

void TGraphTabs::SaveScales() {
    TDatabaseRegistry& registry = DatabaseRegistry();
    TRegistryWriteGroup group(registry);
    for (TGraphPage page : {TGraphPage::Sky, TGraphPage::Light, TGraphPage::Wind, TGraphPage::Humidity,
                            TGraphPage::Temperature, TGraphPage::Volts, TGraphPage::Heater}) {
        if (const TTab* tab = Find(page)) {
            SaveGraphScale(registry, tab->Spec->KeyName, tab->Plot->Plot());
            storedTranslate_[StoredBoxName(*tab->Spec)] = tab->Translate->isChecked();
        }
    }
    // A box of a tab that is not shown (debug tabs) keeps what was stored.
    for (const char* name : kStoredBoxes)
        registry.WriteCFGtoRegister(KeyGraphicScalesAutoscale, storedTranslate_[name], name);
}

TPublishGraphSources TGraphTabs::PublishSources() const {
    TPublishGraphSources sources;
    const std::pair<TGraphPage, TPlotCopyState*> plots[] = {{TGraphPage::Temperature, &sources.Temp},
                                                            {TGraphPage::Light, &sources.Light},
                                                            {TGraphPage::Sky, &sources.Sky},
                                                            {TGraphPage::Wind, &sources.Wind},
                                                            {TGraphPage::Humidity, &sources.Humidity}};
    for (const auto& [page, state] : plots)
        if (const TPlotWidget* plot = PlotOf(page)) *state = TPlotCopyState::Of(plot->Plot());
    if (skyMinusGround_) sources.SkyMinusGround = skyMinusGround_->isChecked();
    if (autoscaleWind_) {
        sources.DialAutoscale = autoscaleWind_->isChecked();
        sources.DialMaxSpeed_kmh = windMaxScale_->value();
    }
    return sources;
}

void TGraphTabs::LayOutHiddenPages() {
    for (const auto& tab : tabs_) {
        QWidget* shown = tab->Pages->currentWidget();
        if (!shown || shown == tab->Page) continue;
        // A hidden widget's layout waits for its show; each layout is asked here, from the page down.
        tab->Page->setGeometry(shown->geometry());
        QList<QWidget*> widgets = tab->Page->findChildren<QWidget*>();
        widgets.prepend(tab->Page);
        for (QWidget* w : widgets) {
            w->ensurePolished();
            if (QLayout* layout = w->layout(); layout && !w->isWindow())
                layout->setGeometry(w->testAttribute(Qt::WA_LayoutOnEntireRect) ? w->rect()
                                                                                : w->contentsRect());
        }
    }
    for (const auto& tab : tabs_)
        tab->Plot->FitPicture();
    if (dial_) dial_->FitPicture();
}

void TGraphTabs::SaveScreenGraphs(const std::string& folder, int quality) {
    CheckJpegQuality(quality);
    LayOutHiddenPages();
    const std::pair<TGraphPage, const char*> plots[] = {{TGraphPage::Wind, SnapshotFile::WindSpeed},
                                                        {TGraphPage::Sky, SnapshotFile::SkyCloud},
                                                        {TGraphPage::Light, SnapshotFile::SkyLight},
                                                        {TGraphPage::Humidity, SnapshotFile::Humidity},
                                                        {TGraphPage::Temperature, SnapshotFile::Temp}};
    for (const auto& [page, file] : plots)
        if (const TPlotWidget* plot = PlotOf(page)) plot->Plot().SaveToFile(folder + file, quality);
    if (dial_) dial_->Dial().SaveToFile(folder + SnapshotFile::WindDisplay, quality);
}

void TGraphTabs::UpdateLightTabCaption() {
    lightCaptionFromSettings_ = true;
    const TTab* tab = Find(TGraphPage::Light);
    if (!tab) return;
    const int index = tab->Pages->indexOf(tab->Page);
    if (index >= 0)
        tab->Pages->setTabText(index, SetupInfos.MagniDisplay ? tr("Fond ciel (Magn/sec²)")
                                                              : tr("Fond ciel (Log A.U)"));
}

void TGraphTabs::RetranslateUi() {
    for (const auto& tab : tabs_) {
        const int index = tab->Pages->indexOf(tab->Page);
        if (index >= 0) tab->Pages->setTabText(index, tr(tab->Spec->Caption));
        tab->Plot->Plot().NameFull = tr(tab->Spec->NameFull).toStdString();
        tab->Translate->setText(tr("Translater automatiquement"));
        if (tab->Grid) tab->Grid->setText(tr("Grille"));
        tab->ZoomOut->setToolTip(tr("Zoom arrière"));
        tab->ZoomIn->setToolTip(tr("Zoom avant"));
        tab->Auto->setToolTip(tr("Echelle auto"));
    }
    // Until the settings are read the light tab keeps its first caption.
    if (lightCaptionFromSettings_) UpdateLightTabCaption();
    if (skyMinusGround_) skyMinusGround_->setText(tr("Voir différence Ciel - Sol"));
    if (legendButton_) legendButton_->setText(tr("Légende"));
    if (heaterLegend_) {
        heaterLegend_->setText(tr("Légende"));
        heaterLegend_->setToolTip(tr("Rge=temp capt. pluie,Vert=temp ext., bleu = PWM/10"));
    }
    if (dialGroup_) {
        dialGroup_->setTitle(tr("Rose des vents"));
        windPlotGroup_->setTitle(tr("Graphe temporel"));
        autoscaleWind_->setText(tr("Echelle Auto"));
        fixedScale_->setText(tr("Echelle Fixe"));
        windUnit_->setText(tr("km / h"));
        dialNote1_->setText(tr("NB : les points sombres datent de plus de 2 hrs"));
        dialNote2_->setText(tr("et ont 24 heures d'age maximum."));
        windMedian_->setText(tr("Ne voir que la médiane des 31 derniers points (10 minutes)"));
    }
    RedrawAll(); // the axis texts are made while drawing
}

void TGraphTabs::ShowLegend() {
    ShowLegendWindow(legendButton_ ? legendButton_->window() : nullptr);
}

// ---- Legend window ----------------------------------------------------------------------------------

namespace {

// The picture of the legend: the two strips under the sky plot and what their colours mean.
QPixmap LegendPicture() {
    QPixmap pixmap(383, 413);
    pixmap.fill(Qt::black);
    QPainter p(&pixmap);
    p.setFont(PlotFont(9));
    const int textHeight = p.fontMetrics().height();
    auto text = [&](int x, int y, const QString& s, QColor colour = Qt::white) {
        p.setPen(colour);
        p.drawText(QRect(x, y, 383 - x - 10, 3 * textHeight), Qt::TextWordWrap, s);
    };
    text(12, 10,
         QCoreApplication::translate("TFormLegend",
                                     "Sous la courbe du ciel, deux bandes montrent, pour "
                                     "chaque mesure, l'intervalle depuis la mesure précédente :"));
    // A small plot: a frame, a curve and both strips under it.
    const QRect frame(20, 70, 343, 150);
    p.setPen(Qt::white);
    p.drawRect(frame);
    p.setPen(QPen(QColor::fromRgb(PlotColours::Main), 1));
    QPolygon curve;
    for (int x = frame.left() + 2; x < frame.right() - 1; x += 6)
        curve << QPoint(x, 110 + int(25 * std::sin(x / 30.0)));
    p.drawPolyline(curve);
    const int base = frame.bottom();
    const int cuts[] = {frame.left() + 1, 90, 150, 230, 290, frame.right()};
    const bool rain[] = {false, false, true, false, false};
    const bool good[] = {true, false, false, false, true};
    for (int i = 0; i < 5; ++i) {
        p.fillRect(QRect(QPoint(cuts[i], base - 25), QPoint(cuts[i + 1] - 1, base - 2)),
                   QColor::fromRgb(rain[i] ? PlotColours::Raining : PlotColours::Dry));
        p.fillRect(QRect(QPoint(cuts[i], base - 50), QPoint(cuts[i + 1] - 1, base - 26)),
                   QColor::fromRgb(good[i] ? PlotColours::Good : PlotColours::NotGood));
    }
    // The keys.
    struct Key {
        QRgb colour;
        const char* text;
    };
    const Key keys[] = {
        {PlotColours::Good,
         QT_TRANSLATE_NOOP("TFormLegend", "Bande 1, vert : bonnes conditions (ciel dégagé, pas de "
                                          "pluie, vent faible, nuit noire)")},
        {PlotColours::NotGood,
         QT_TRANSLATE_NOOP("TFormLegend", "Bande 1, rouge sombre : conditions défavorables")},
        {PlotColours::Raining, QT_TRANSLATE_NOOP("TFormLegend", "Bande 2, cyan : pluie ou neige détectée")},
        {PlotColours::Dry, QT_TRANSLATE_NOOP("TFormLegend", "Bande 2, brun : détecteur de pluie sec")},
    };
    int y = 240;
    for (const Key& key : keys) {
        p.fillRect(QRect(14, y + 2, 22, 14), QColor::fromRgb(key.colour));
        text(46, y, QCoreApplication::translate("TFormLegend", key.text));
        y += 2 * textHeight + 6;
    }
    text(12, 413 - 2 * textHeight - 6,
         QCoreApplication::translate("TFormLegend",
                                     "Le détail des seuils figure dans la bulle d'aide du bas de l'onglet."),
         QColor(190, 190, 190));
    p.end();
    return NightMode::Active() ? QPixmap::fromImage(NightVision::Image(pixmap.toImage())) : pixmap;
}

} // namespace

class TFormLegend : public QDialog {
  public:
    explicit TFormLegend(QWidget* parent) : QDialog(parent) {
        setObjectName("FormLegend");
        auto* column = new QVBoxLayout(this);
        picture_ = new QLabel;
        picture_->setFixedSize(383, 413);
        column->addWidget(picture_);
        ok_ = new QPushButton;
        ok_->setObjectName("ButtonOK");
        ok_->setDefault(true);
        connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
        column->addWidget(ok_, 0, Qt::AlignHCenter);
        RetranslateUi();
        setFixedSize(sizeHint());
    }

  protected:
    void changeEvent(QEvent* event) override {
        QDialog::changeEvent(event);
        if (event->type() == QEvent::LanguageChange) RetranslateUi();
    }

  private:
    void RetranslateUi() {
        setWindowTitle(QCoreApplication::translate("TFormLegend", "Légende"));
        ok_->setText(QCoreApplication::translate("TFormLegend", "OK"));
        picture_->setPixmap(LegendPicture());
    }
    QLabel* picture_;
    QPushButton* ok_;
};

QDialog* NewLegendWindow(QWidget* parent) {
    return new TFormLegend(parent);
}

void ShowLegendWindow(QWidget* parent) {
    std::unique_ptr<QDialog> legend(NewLegendWindow(parent));
    legend->exec();
}
