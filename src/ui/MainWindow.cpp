#include "MainWindow.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFont>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QStyleFactory>
#include <QSystemTrayIcon>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "ConditionsPresenter.h"
#include "DataTableTab.h"
#include "FormConfigTavrel.h"
#include "FormWebSetup.h"
#include "GraphTabs.h"
#include "Language.h"
#include "NightMode.h"
#include "NightVision.h"
#include "PlatformServices.h"
#include "PlotWidget.h"
#include "Records.h"
#include "Retranslate.h"
#include "SettingsTable.h"
#include "SheetSnapshot.h"
#include "Snapshots.h"
#include "StatePanel.h"
#include "StatsTab.h"
#include "StatusLoadDatas.h"
#include "FtpPublishing.h"
#include "Supervisor.h"
#include "UserText.h"
#include "VerdictBanner.h"

namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

// A text the controller made and keeps: already in the language of the moment (the controller puts
// what it keeps into the new language when the language changes). Never translated again here.
QString Shown(const std::string& s) {
    return QString::fromStdString(s);
}

// A cloud on a night-blue disc: the window's and the tray's icon.
QIcon CloudIcon() {
    QPixmap pixmap(64, 64);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(20, 30, 70));
    p.drawEllipse(2, 2, 60, 60);
    p.setBrush(QColor(235, 235, 240));
    QPainterPath cloud;
    cloud.addEllipse(12, 30, 22, 18);
    cloud.addEllipse(22, 20, 24, 24);
    cloud.addEllipse(34, 28, 20, 20);
    cloud.addRect(20, 36, 26, 12);
    p.drawPath(cloud.simplified());
    return QIcon(pixmap);
}

QLabel* CaptionLabel(const QString& text) {
    auto* label = new QLabel(text);
    label->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    return label;
}

// A value: large enough to read from a distance, selectable for copying into a log book.
QLabel* ValueLabel(const char* name, double scale = 1.35) {
    auto* label = new QLabel(QStringLiteral("???"));
    label->setObjectName(name);
    QFont f = label->font();
    f.setPointSizeF(f.pointSizeF() * scale);
    f.setBold(true);
    label->setFont(f);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

[[noreturn]] __attribute__((noinline)) void ThrowTestException() {
    throw EOrvanelError(QCoreApplication::translate("MainWindow", "Exception de test").toStdString());
}

// The rules of the verdict, as the Alpaca safety monitor reads them, so that both say the same.
TSafetyRules StoredSafetyRules() {
    TStartupSettings read;
    TSettingsPlace place{SetupInfos, read};
    for (const char* key : {"SafeDelayMin", "UnsafeInDaylight"})
        ReadSetting(*FindSetting(KeyAlpaca, key), place);
    return {read.Alpaca.SafeDelayMin, read.Alpaca.UnsafeInDaylight};
}

// Tighter tabs: the ten captions fit the first window width without scroll arrows. At night they are
// dim red on black like the rest.
QString TabBarStyle() {
    if (!NightMode::Active()) return "QTabBar::tab { padding: 5px 6px; }";
    return "QTabBar::tab { padding: 5px 6px; color: #a00000; background: #000000; border: 1px solid #300000; "
           "}"
           "QTabBar::tab:selected { color: #d00000; background: #200000; }";
}

// Button icons (the plot glyphs, the calendar arrows) in red at night, their day icons kept aside.
void ShowNightIcons(QWidget* root, bool night) {
    const char* dayIcon = "orvanelDayIcon";
    for (QAbstractButton* b : root->findChildren<QAbstractButton*>()) {
        if (!night) {
            if (b->property(dayIcon).isValid()) b->setIcon(b->property(dayIcon).value<QIcon>());
            b->setProperty(dayIcon, QVariant());
            continue;
        }
        if (b->icon().isNull() || b->property(dayIcon).isValid()) continue;
        b->setProperty(dayIcon, QVariant::fromValue(b->icon()));
        const QImage red = NightVision::Image(b->icon().pixmap(b->iconSize()).toImage());
        QImage dim = red;
        for (int y = 0; y < dim.height(); ++y)
            for (int x = 0; x < dim.width(); ++x) {
                const QRgb c = dim.pixel(x, y);
                dim.setPixel(x, y, qRgba(qRed(c) / 2, 0, 0, qAlpha(c)));
            }
        QIcon icon(QPixmap::fromImage(red));
        icon.addPixmap(QPixmap::fromImage(dim), QIcon::Disabled);
        b->setIcon(icon);
    }
}

void SetValue(QLabel* label, const std::string& text) {
    label->setText(Shown(text));
}

} // namespace

MainWindow::MainWindow(Supervisor& supervisor, QWidget* parent, TWindowPlace place)
    : QMainWindow(parent), supervisor_(supervisor), place_(place) {
    setObjectName("MainForm_Sky");
    setWindowIcon(CloudIcon());
    graphs_ = new TGraphTabs(supervisor_,
                             {[this](const QString& text) {
                                  if (place_ == TWindowPlace::OnScreen)
                                      ShowMessage(text);
                                  else
                                      ShowUserMessage(text.toStdString()); // log and standard error
                              },
                              [this](const QString& text) {
                                  // A long drawing shows its progress at once; afterwards the panel shows the
                                  // controller's text. A slow first drawing may report before the status bar
                                  // exists (the pages are built after the graphs).
                                  QLabel* panel = statusPanels_[2];
                                  if (!panel) return;
                                  panel->setText(text.isEmpty() ? Q(supervisor_.StatusBarPanels()[2]) : text);
                                  panel->repaint();
                              }},
                             this);
    BuildMenus();
    BuildPages();
    // The web dialog's "current size" buttons: the light plot, the wind-speed plot, the dial's height.
    plotSizes_ = [this] {
        graphs_->LayOutHiddenPages();
        TPlotSizes sizes;
        if (TPlotWidget* light = graphs_->PlotOf(TGraphPage::Light)) sizes.AllGraphs = light->size();
        if (TPlotWidget* wind = graphs_->PlotOf(TGraphPage::Wind)) sizes.WindSpeed = wind->size();
        if (QWidget* dial = graphs_->Dial()) sizes.WindDir = dial->height();
        return sizes;
    };
    BuildStatusBar();
    BuildTray();
    resize(853, 630);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    FollowSupervisor();
    if (ReadNightVision()) SetNightVision(true, false);
    supervisor_.FtpPublishing().SetPublishSnapshots([this](int quality) { SavePublishSnapshots(quality); });
    if (place_ == TWindowPlace::OffScreen) {
        // Laid out and painted as on a screen, so the pictures are the same, but never mapped.
        setAttribute(Qt::WA_DontShowOnScreen);
        show();
    }
}

MainWindow::~MainWindow() {
    supervisor_.FtpPublishing().SetPublishSnapshots({});
    if (NightMode::Active()) SetNightVision(false, false); // the next window starts by day
}

void MainWindow::SetNightVision(bool on, bool store) {
    // The application's palette, not the window's: menus, dialogs and message boxes follow too. At
    // night the plain "Windows" style draws every bevel from the palette alone, where the usual style
    // adds white highlights of its own.
    static QPalette day = QApplication::palette();
    static QString dayStyle = QApplication::style()->name();
    if (on == NightMode::Active() && on == nightMenu_->isChecked()) return;
    if (!NightMode::Active()) {
        day = QApplication::palette();
        dayStyle = QApplication::style()->name();
    }
    NightMode::SetActive(on);
    if (QStyle* style = QStyleFactory::create(on ? QStringLiteral("Windows") : dayStyle))
        QApplication::setStyle(style);
    QApplication::setPalette(on ? NightMode::Palette() : day);
    // Below the tab bar's style sheet the application's palette does not reach the pages: they take it
    // here, and the tabs are styled with it.
    pages_->setPalette(on ? NightMode::Palette() : day);
    pages_->tabBar()->setStyleSheet(TabBarStyle());
    ShowNightIcons(this, on);
    nightMenu_->setChecked(on);
    if (store) WriteNightVision(on);
    // Widgets that chose their own colours take them again.
    ShowStatus();
    ShowRelay();
    if (supervisor_.HasConditions()) ShowConditions();
    ShowDefrostColour();
    banner_->Repaint();
    for (QWidget* w : findChildren<QWidget*>())
        w->update();
}

// ---- Snapshots ------------------------------------------------------------------------------

void MainWindow::SaveScreenSnapshots(int quality) {
    graphs_->SaveScreenGraphs(PathJpeg, quality);
    SaveSheetAsJpeg(infoSheet_, PathJpeg + SnapshotFile::Overview, quality);
}

void MainWindow::SavePublishSnapshots(int quality) {
    SavePublishGraphs(supervisor_.History(), SetupInfos, graphs_->PublishSources(), PathJpeg, quality);
    SaveSheetAsJpeg(infoSheet_, PathJpeg + SnapshotFile::Overview, quality);
}

// ---- Menus and tray -------------------------------------------------------------------------

void MainWindow::BuildMenus() {
    QMenu* files = menuBar()->addMenu(tr("Fichiers"));
    // The menu's snapshots are at the best quality; an error is reported with the item's handler.
    auto snapshot = [this](QAction* action, const char* name, void (MainWindow::*save)(int)) {
        action->setObjectName(name);
        connect(action, &QAction::triggered, this, [this, name, save] {
            try {
                (this->*save)(100);
            } catch (const std::exception& e) {
                ShowMessage(QString(name) + "Click -> " + Q(e.what()));
            }
        });
    };
    snapshot(files->addAction(tr("Sauver copie écran")), "Sauvercopiecran1",
             &MainWindow::SaveScreenSnapshots);
    snapshot(files->addAction(tr("Sauver images pour transfert FTP")), "SauverimagespourtransfertFTP1",
             &MainWindow::SavePublishSnapshots);
    QAction* exportCsv = files->addAction(tr("Exporter les données en CSV"));
    exportCsv->setObjectName("ExporterlesdonnesenCSV");
    connect(exportCsv, &QAction::triggered, this, [this] { dataTableTab_->ExportCsv(); });
    files->addSeparator();
    QAction* datas = files->addAction(tr("Voir le répertoire de fichiers de données"));
    datas->setObjectName("Voirlerpertoiredefichiersdedonnes1");
    connect(datas, &QAction::triggered, this, [] { OpenFolderInExplorer(PathDatas); });
    QAction* images = files->addAction(tr("Voir le répertoire des images sauvées"));
    images->setObjectName("Voirlerpertoiredesimagessauves1");
    connect(images, &QAction::triggered, this, [] { OpenFolderInExplorer(PathJpeg); });
    files->addSeparator();
    QAction* quit = files->addAction(tr("Quitter"));
    quit->setObjectName("Quitter1");
    connect(quit, &QAction::triggered, this, &QWidget::close);

    QMenu* graphs = menuBar()->addMenu(tr("Graphiques"));
    QAction* copy = graphs->addAction(tr("Copier image"));
    copy->setObjectName("CopierImage");
    connect(copy, &QAction::triggered, this, [this] { graphs_->CopyPlotOf(pages_->currentWidget()); });
    QMenu* lastRange = graphs->addMenu(tr("Montrer dernier(es)"));
    lastRange->setObjectName("MontrerDerniers");
    const std::pair<const char*, double> periods[] = {
        {QT_TR_NOOP("heure"), 1.0 / 24}, {QT_TR_NOOP("6 heures"), 0.25}, {QT_TR_NOOP("24 heures"), 1},
        {QT_TR_NOOP("3 jours"), 3},      {QT_TR_NOOP("semaine"), 7},     {QT_TR_NOOP("mois"), 31},
        {QT_TR_NOOP("année"), 400},      {QT_TR_NOOP("2 ans"), 800}};
    for (const auto& [range, days] : periods)
        connect(lastRange->addAction(tr(range)), &QAction::triggered, this,
                [this, days = days] { graphs_->ShowLastPeriod(days); });

    QMenu* options = menuBar()->addMenu(tr("Options"));
    QAction* configuration = options->addAction(tr("Configuration"));
    configuration->setObjectName("Configuration1");
    connect(configuration, &QAction::triggered, this,
            [this] { StartConfigurationDialog(supervisor_, this); });
    QAction* web = options->addAction(tr("Publication Web"));
    web->setObjectName("PublicationWeb1");
    connect(web, &QAction::triggered, this, [this] { OpenWebSetupDialog(supervisor_, plotSizes_, this); });
    nightMenu_ = options->addAction(tr("Vision de nuit"));
    nightMenu_->setObjectName("VisionNuitMenu");
    nightMenu_->setCheckable(true);
    nightMenu_->setToolTip(tr("Rouge sombre sur noir, pour garder les yeux adaptés à l'obscurité"));
    connect(nightMenu_, &QAction::triggered, this, [this](bool on) { SetNightVision(on); });
    QMenu* languages = options->addMenu(tr("Langues"));
    frenchMenu_ = languages->addAction(tr("Francais"));
    frenchMenu_->setObjectName("FrancaisMenu");
    frenchMenu_->setCheckable(true);
    connect(frenchMenu_, &QAction::triggered, this, [this] { ChooseLanguage(LangFrench); });
    englishMenu_ = languages->addAction(tr("Anglais"));
    englishMenu_->setObjectName("AnglaisMenu");
    englishMenu_->setCheckable(true);
    connect(englishMenu_, &QAction::triggered, this, [this] { ChooseLanguage(LangEnglish); });
    ShowLanguageChecks();
}

// ---- Language -------------------------------------------------------------------------------

void MainWindow::ChooseLanguage(int32_t language) {
    supervisor_.SwitchLanguage(language);
    // Also when nothing changed: the check marks follow the texts shown, not the click.
    ShowLanguageChecks();
}

void MainWindow::ShowLanguageChecks() {
    frenchMenu_->setChecked(supervisor_.Language() == LangFrench);
    englishMenu_->setChecked(supervisor_.Language() == LangEnglish);
}

void MainWindow::ApplyLanguage() {
    // Every open window takes the new texts (this one then rewrites what it composes, on the
    // language-change event); the information tab comes to the front, laid out again.
    RetranslateOpenWindows();
    pages_->setCurrentIndex(0);
    if (QLayout* l = layout()) l->activate();
    ShowLanguageChecks();
}

void MainWindow::ShowAll() {
    ShowCaptionAndLegend();
    if (supervisor_.HasConditions()) ShowConditions();
    ShowStatus();
    for (int i = 0; i < 3; ++i)
        ShowStatusBarPanel(i);
    ShowRelay();
    ShowReadingTimes();
}

void MainWindow::BuildTray() {
    trayMenu_ = new QMenu(this);
    QAction* restore = trayMenu_->addAction(tr("Restaurer"));
    restore->setObjectName("RestaureMenu");
    connect(restore, &QAction::triggered, this, &MainWindow::RestoreFromTray);
    QAction* close = trayMenu_->addAction(tr("Fermer"));
    close->setObjectName("FermerMenu");
    connect(close, &QAction::triggered, this, &QWidget::close);

    if (place_ == TWindowPlace::OffScreen || !QSystemTrayIcon::isSystemTrayAvailable()) return;
    tray_ = new QSystemTrayIcon(windowIcon(), this);
    tray_->setToolTip(tr("Moniteur de nuages"));
    tray_->setContextMenu(trayMenu_);
    connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) RestoreFromTray();
    });
    tray_->show();
}

void MainWindow::RestoreFromTray() {
    show();
    if (isMinimized()) showNormal();
    raise();
    activateWindow();
}

void MainWindow::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    // Minimised, the window lives in the tray only; without a tray it stays in the task bar.
    if (event->type() == QEvent::WindowStateChange && isMinimized() && tray_ && tray_->isVisible())
        QTimer::singleShot(0, this, &QWidget::hide);
    // A language switch writes again what was made from the controller's state; the plots redraw
    // their axis texts.
    if (event->type() == QEvent::LanguageChange) {
        ShowAll();
        ShowWindowSize();
        if (graphs_) graphs_->RetranslateUi();
    }
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    ShowWindowSize();
}

void MainWindow::ShowWindowSize() {
    if (labelSize_) labelSize_->setText(QString::asprintf(qPrintable(tr("%dx%d pixels")), width(), height()));
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // The closing sequence pumps events while it waits for the station; a second close meanwhile
    // must not start it again.
    if (!closeAnnounced_) {
        closeAnnounced_ = true;
        supervisor_.FormClose();
        graphs_->SaveScales();
    }
    if (tray_) tray_->hide();
    event->accept();
}

// ---- Status bar -----------------------------------------------------------------------------

void MainWindow::BuildStatusBar() {
    const int widths[3] = {150, 300, 50};
    for (int i = 0; i < 3; ++i) {
        auto* panel = new QLabel(this);
        panel->setObjectName(QString("StatusBarPanel%1").arg(i));
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        panel->setMinimumWidth(widths[i]);
        if (i < 2) panel->setMaximumWidth(widths[i]);
        // The last panel takes the rest of the width: it carries the longest texts.
        statusBar()->addPermanentWidget(panel, i == 2 ? 1 : 0);
        statusPanels_[i] = panel;
    }
}

QString MainWindow::StatusBarText(int panel) const {
    return panel >= 0 && panel < 3 ? statusPanels_[panel]->text() : QString();
}

void MainWindow::ShowStatusBarPanel(int panel) {
    if (panel < 0 || panel >= 3) return;
    const QString text = Shown(supervisor_.StatusBarPanels()[size_t(panel)]);
    statusPanels_[panel]->setText(text);
    statusPanels_[panel]->setToolTip(text);
}

void MainWindow::ShowStatus() {
    const TStatusDisplay& status = supervisor_.Status();
    rs232Stat_->setText(Shown(status.Text));
    rs232Stat_->setToolTip(Shown(status.Hint));
    QPalette p = QPalette();
    if (status.IsError) p.setColor(QPalette::WindowText, NightMode::Shown(QColor(255, 0, 0)));
    rs232Stat_->setPalette(p);
    rs232Stat_->repaint();
}

namespace {

// Opens the progress window on the first text, updates it, and closes it on an empty text.
void ShowProgressWindow(std::unique_ptr<TStatusLoadDatas>& window, const QString& text) {
    if (text.isEmpty()) {
        window.reset();
        return;
    }
    if (!window) {
        window = std::make_unique<TStatusLoadDatas>();
        window->show();
    }
    window->SetText(text);
}

} // namespace

void MainWindow::ShowDownloadProgress() {
    // The text is empty once the download is over.
    ShowProgressWindow(downloadWindow_, Q(supervisor_.DownloadProgress().Text));
}

// The controller loads the history without returning to the event loop: the window repaints itself
// at each step, so the observer sees which month file is read.
void MainWindow::ShowHistoryLoading(const QString& step) {
    ShowProgressWindow(historySplash_, step);
}

// The program runs unattended: an error may come back with every reading while nobody is at the
// screen. Each text gets one box, which does not stop the program (a blocking box would nest one
// more event loop per reading until somebody clicks them all away).
void MainWindow::ShowMessage(const QString& text) {
    if (openMessages_.contains(text)) return;
    auto* box =
        new QMessageBox(QMessageBox::Warning, QApplication::applicationName(), text, QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    openMessages_.insert(text);
    connect(box, &QDialog::finished, this, [this, text] { openMessages_.remove(text); });
    box->open();
}

bool MainWindow::AskQuestion(const QString& question) {
    return QMessageBox::question(this, QApplication::applicationName(), question,
                                 QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) == QMessageBox::Yes;
}

// ---- Pages ----------------------------------------------------------------------------------

void MainWindow::BuildPages() {
    pages_ = new QTabWidget(this);
    pages_->setObjectName("PageControl");
    pages_->setDocumentMode(true);
    pages_->tabBar()->setStyleSheet(TabBarStyle());
    pages_->addTab(BuildInformationTab(), tr("Informations"));
    if (DebugMode) graphs_->AddPage(pages_, TGraphPage::Volts);
    graphs_->AddPage(pages_, TGraphPage::Temperature);
    graphs_->AddPage(pages_, TGraphPage::Sky);
    panelClouds_ = graphs_->PanelClouds();
    graphs_->AddPage(pages_, TGraphPage::Light);
    graphs_->AddPage(pages_, TGraphPage::Wind);
    graphs_->AddPage(pages_, TGraphPage::Humidity);
    dataTableTab_ = new TDataTableTab(
        supervisor_.EditableHistory(), [this](const QString& text) { ShowMessage(text); },
        [this](const QString& question) { return AskQuestion(question); });
    pages_->addTab(dataTableTab_, tr("Table"));
    connect(graphs_, &TGraphTabs::skyMinusGroundChanged, dataTableTab_, &TDataTableTab::SetSkyMinusGround);
    if (DebugMode) graphs_->AddPage(pages_, TGraphPage::Heater);
    pages_->addTab(new TStatsTab(supervisor_.History()), tr("Statistiques"));
    graphs_->RetranslateUi();
    pages_->setCurrentIndex(0);
    setCentralWidget(pages_);
}

QWidget* MainWindow::BuildInformationTab() {
    auto* page = new QWidget;
    page->setObjectName("TabSheetInfos");
    infoSheet_ = page;
    auto* grid = new QGridLayout(page);
    grid->setContentsMargins(8, 8, 8, 8);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(8);
    banner_ = new TVerdictBanner(supervisor_, StoredSafetyRules());
    grid->addWidget(banner_, 0, 0, 1, 2);
    grid->addWidget(BuildValuesGroup(), 1, 0, 2, 1);
    grid->addWidget(BuildStatesGroup(), 1, 1);
    grid->addWidget(BuildRelayGroup(), 2, 1);
    grid->addWidget(BuildTimersGroup(), 3, 0, 1, 2);
    grid->setColumnStretch(0, 5);
    grid->setColumnStretch(1, 6);
    // Extra height goes to the states; the banner and the relay group keep their natural height.
    grid->setRowStretch(0, 0);
    grid->setRowStretch(1, 1);
    grid->setRowStretch(2, 0);
    return page;
}

QLabel* MainWindow::AddValueRow(QGridLayout* grid, int row, const QString& caption, const char* name) {
    QLabel* value = ValueLabel(name);
    grid->addWidget(CaptionLabel(caption), row, 0);
    grid->addWidget(value, row, 1);
    return value;
}

QWidget* MainWindow::BuildValuesGroup() {
    auto* box = new QGroupBox(tr("Mesures"));
    auto* grid = new QGridLayout(box);
    grid->setVerticalSpacing(2);
    int row = 0;
    tempText_ = AddValueRow(grid, row++, tr("  Température extérieure"), "StaticTextTempSF");
    windChill_ = AddValueRow(grid, row++, tr("  Température ressentie"), "PanelTempWindChill");
    rainTemp_ = AddValueRow(grid, row++, tr("  Température détect. pluie"), "StaticTextRainTempSF");
    irCanTemp_ = AddValueRow(grid, row++, tr("  Température détect. IR"), "StaticTextIRCANTemp");
    skyTemp_ = AddValueRow(grid, row++, tr("  Température CIEL"), "StaticTextSkyTempSF");
    defrost_ = new QLabel;
    defrost_->setObjectName("LabelDefrost");
    ShowDefrostColour();
    defrost_->hide(); // shown only while the station defrosts or dries its sensor
    const int defrostRow = row;
    grid->addWidget(defrost_, row++, 0, 1, 2);
    humidity_ = AddValueRow(grid, row++, tr("  Humidité"), "StaticTextHumidSF");
    dewPoint_ = AddValueRow(grid, row++, tr("  Point de rosée"), "StaticTextDewpointSF");
    windDir_ = AddValueRow(grid, row++, tr("  Direction Vent (Rafale)"), "StaticTextDirWindSFG");
    windSpeed_ = AddValueRow(grid, row++, tr("  Vitesse vent (Rafale)"), "StaticTextSpeedWindSFG");
    power_ = AddValueRow(grid, row++, tr("  Puissance chauffage"), "PanelPower");
    power_->setToolTip(tr("Est aussi mis en route lorsque T<4°C (85% RH), T<0° ou pluie, coupé lorsque "
                          "T>6°C (RH<75%), T>15°C ou détecteur sec."));
    volts_ = AddValueRow(grid, row++, tr("  Tension d'alimentation"), "StaticTextPowerVolts");
    light_ = AddValueRow(grid, row++, tr("  Lumière"), "StaticTextLightSF");
    magnitude_ = AddValueRow(grid, row++, tr("  Magnitude /sec²"), "StaticTextMag");
    grid->addWidget(CaptionLabel(tr("  Etat communication RS232")), row, 0);
    rs232Stat_ = new QLabel;
    rs232Stat_->setObjectName("PanelRS232Stat");
    rs232Stat_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    rs232Stat_->setWordWrap(true);
    grid->addWidget(rs232Stat_, row++, 1);
    grid->setColumnStretch(1, 1);
    // Rows share the height evenly: no empty band at the bottom of a tall window.
    for (int r = 0; r < row; ++r)
        grid->setRowStretch(r, r == defrostRow ? 0 : 1);
    return box;
}

TStatePanelLabel* MainWindow::AddStateRow(QGridLayout* grid, int row, const QString& caption,
                                          const char* name) {
    auto* panel = new TStatePanelLabel;
    panel->setObjectName(name);
    panel->SetPanel(TStatePanel{tr("Pas disponible").toStdString(), std::nullopt, {}, 0});
    QLabel* label = CaptionLabel(caption);
    QFont f = label->font();
    f.setBold(true);
    label->setFont(f);
    grid->addWidget(label, row, 0);
    grid->addWidget(panel, row, 1);
    return panel;
}

QWidget* MainWindow::BuildStatesGroup() {
    auto* box = new QGroupBox(tr("Etats"));
    auto* grid = new QGridLayout(box);
    grid->setVerticalSpacing(6);
    skyState_ = AddStateRow(grid, 0, tr(" Etat du CIEL"), "Panel_WeatherSF");
    auto* note = new QLabel(tr("(Il faut au moins 5 mesures pour obtenir une information valide)"));
    note->setWordWrap(true);
    QFont small = note->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    note->setFont(small);
    grid->addWidget(note, 1, 1);
    humidityState_ = AddStateRow(grid, 2, tr(" Etat de l'atmosphère"), "PanelHumidity");
    rainState_ = AddStateRow(grid, 3, tr(" Pluie/neige en cours"), "Panel_RainSF");
    windState_ = AddStateRow(grid, 4, tr(" Etat du vent"), "PanelWIND");
    skyBgdState_ = AddStateRow(grid, 5, tr("  Etat du fond de ciel"), "PanelSkyBgd");
    grid->setColumnStretch(1, 1);
    return box;
}

QWidget* MainWindow::BuildRelayGroup() {
    auto* box = new QGroupBox(tr("Relais"));
    auto* outer = new QVBoxLayout(box);
    auto* criteria = new QGridLayout;
    criteria->setVerticalSpacing(2);
    auto add = [criteria](int row, int column, const QString& caption, const char* name) {
        QLabel* value = ValueLabel(name, 1.0);
        criteria->addWidget(CaptionLabel(caption), row, column);
        criteria->addWidget(value, row, column + 1);
        return value;
    };
    watching_ = add(0, 0, tr("Surveillance"), "LabelActivatedRelay");
    skyThreshold_ = add(1, 0, tr("Ciel-sol <"), "LabelSeuil_Ciel_sol");
    rhThreshold_ = add(2, 0, tr("Humidité <"), "LabelSeuilRH");
    windThreshold_ = add(0, 2, tr("Vent <"), "LabelventSeuil");
    lightWatched_ = add(1, 2, tr("Lumière"), "LabelLumiereSeuil");
    magThreshold_ = add(2, 2, tr("Magnitude >"), "LabelMag");
    criteria->setColumnStretch(1, 1);
    criteria->setColumnStretch(3, 1);
    outer->addLayout(criteria);

    auto* roofRow = new QHBoxLayout;
    QLabel* roofCaption = CaptionLabel(tr(" Abri/Dôme"));
    QFont bold = roofCaption->font();
    bold.setBold(true);
    roofCaption->setFont(bold);
    roofRow->addWidget(roofCaption);
    roofState_ = new TStatePanelLabel;
    roofState_->setObjectName("PanelAbriDome");
    roofRow->addWidget(roofState_, 1);
    rearmButton_ = new QPushButton;
    rearmButton_->setObjectName("ButtonDesarmRain");
    rearmButton_->setMinimumHeight(40);
    QFont buttonFont = rearmButton_->font();
    buttonFont.setBold(true);
    rearmButton_->setFont(buttonFont);
    connect(rearmButton_, &QPushButton::clicked, this, [this] { supervisor_.ButtonDesarmRainClick(); });
    roofRow->addWidget(rearmButton_);
    outer->addLayout(roofRow);
    outer->addStretch(1);
    return box;
}

QWidget* MainWindow::BuildTimersGroup() {
    auto* box = new QGroupBox(tr("Cycle des mesures"));
    auto* grid = new QGridLayout(box);
    grid->setVerticalSpacing(2);
    grid->addWidget(CaptionLabel(tr("Intervalle")), 0, 1);
    grid->addWidget(CaptionLabel(tr("Prochaine dans")), 0, 2);
    grid->addWidget(CaptionLabel(tr("Dernière mesure")), 0, 3);
    auto row = [grid](int r, const QString& caption, const char* interval, const char* remaining,
                      const char* last, QLabel*& i, QLabel*& rem, QLabel*& l) {
        grid->addWidget(CaptionLabel(caption), r, 0);
        i = ValueLabel(interval, 1.0);
        rem = ValueLabel(remaining, 1.0);
        l = ValueLabel(last, 1.0);
        grid->addWidget(i, r, 1);
        grid->addWidget(rem, r, 2);
        grid->addWidget(l, r, 3);
    };
    row(1, tr("Météo"), "LabelInterValMes", "LabelDateRemaining", "LabelLastDateMeasurments", interval_,
        remaining_, lastReading_);
    row(2, tr("Lumière"), "LabelInterValMesLight", "LabelDateRemainingLight", "LabelLastDateMeasurmentslight",
        intervalLight_, remainingLight_, lastReadingLight_);
    grid->setColumnStretch(3, 1);
    labelSize_ = new QLabel;
    labelSize_->setObjectName("Labelsize");
    ShowDefrostColour();
    grid->addWidget(labelSize_, 0, 4, Qt::AlignRight | Qt::AlignTop);
    if (DebugMode) {
        // Checks the exception dialog: an error escaping a button handler.
        auto* test = new QPushButton(tr("TEST EXCEPTION"));
        test->setObjectName("ButtontextE");
        connect(test, &QPushButton::clicked, this, [] { ThrowTestException(); });
        grid->addWidget(test, 1, 4, 2, 1);
    }
    return box;
}

// ---- What the controller reports ------------------------------------------------------------

void MainWindow::FollowSupervisor() {
    Supervisor* s = &supervisor_;
    connect(s, &Supervisor::conditionsChanged, this, &MainWindow::ShowConditions);
    connect(s, &Supervisor::statusChanged, this, &MainWindow::ShowStatus);
    connect(s, &Supervisor::statusBarChanged, this, &MainWindow::ShowStatusBarPanel);
    connect(s, &Supervisor::relayChanged, this, &MainWindow::ShowRelay);
    connect(s, &Supervisor::readingLabelsChanged, this, &MainWindow::ShowReadingTimes);
    // The legend follows the thresholds, which are read at start.
    connect(s, &Supervisor::legendChanged, this, &MainWindow::ShowCaptionAndLegend);
    connect(s, &Supervisor::languageChanged, this, &MainWindow::ApplyLanguage);
    if (place_ == TWindowPlace::OnScreen) {
        connect(s, &Supervisor::downloadProgressChanged, this, &MainWindow::ShowDownloadProgress);
        connect(s, &Supervisor::historyLoadProgress, this, &MainWindow::ShowHistoryLoading);
        connect(s, &Supervisor::messageBox, this, &MainWindow::ShowMessage);
        connect(s, &Supervisor::showRequested, this, &MainWindow::RestoreFromTray);
        s->SetQuestionHandler([this](const QString& question) { return AskQuestion(question); });
    }
    ShowAll();
}

void MainWindow::ShowCaptionAndLegend() {
    setWindowTitle(Shown(supervisor_.Caption()));
    panelClouds_->setToolTip(Shown(supervisor_.GoodConditionsLegendText()));
}

void MainWindow::ShowDefrostColour() {
    QPalette warm = QPalette();
    warm.setColor(QPalette::WindowText, NightMode::Shown(QColor(190, 80, 0)));
    defrost_->setPalette(warm);
    if (!labelSize_) return;
    QPalette quiet = QPalette();
    quiet.setColor(QPalette::WindowText, NightMode::Shown(QColor(110, 110, 110)));
    labelSize_->setPalette(quiet);
}

void MainWindow::ShowConditions() {
    // The texts are made now, from the states, in the language of the moment.
    const TConditionsView d = PresentConditions(supervisor_.Conditions());
    SetValue(tempText_, d.TempText);
    SetValue(rainTemp_, d.RainTempText);
    SetValue(irCanTemp_, d.IRCanTempText);
    SetValue(skyTemp_, d.SkyTempText);
    SetValue(windChill_, d.WindChillText);
    SetValue(humidity_, d.HumidityText);
    SetValue(dewPoint_, d.DewPointText);
    SetValue(windSpeed_, d.WindSpeedText);
    SetValue(windDir_, d.WindDirectionText);
    SetValue(power_, d.PowerText);
    SetValue(volts_, d.VoltsText);
    SetValue(defrost_, d.DefrostText);
    defrost_->setVisible(!d.DefrostText.empty());
    SetValue(light_, d.LightText);
    SetValue(magnitude_, d.MagnitudeText);
    skyState_->SetPanel(d.Sky);
    humidityState_->SetPanel(d.Humidity);
    rainState_->SetPanel(d.Rain);
    windState_->SetPanel(d.Wind);
    skyBgdState_->SetPanel(d.SkyBackground);
}

void MainWindow::ShowRelay() {
    const TRelayDisplay& r = supervisor_.RelayDisplay();
    SetValue(watching_, r.WatchText);
    SetValue(skyThreshold_, r.SkyThresholdText);
    SetValue(rhThreshold_, r.RHThresholdText);
    SetValue(windThreshold_, r.WindThresholdText);
    SetValue(lightWatched_, r.LightText);
    SetValue(magThreshold_, r.MagnitudeText);
    roofState_->SetPanel(r.Panel);
    rearmButton_->setText(Shown(r.ButtonCaption));
    rearmButton_->setToolTip(Shown(r.ButtonHint));
    rearmButton_->setEnabled(r.ButtonEnabled);
}

void MainWindow::ShowReadingTimes() {
    const TReadingLabels& weather = supervisor_.WeatherLabels();
    SetValue(interval_, weather.Interval);
    SetValue(remaining_, weather.Remaining);
    SetValue(lastReading_, weather.LastReading);
    const TReadingLabels& light = supervisor_.LightLabels();
    SetValue(intervalLight_, light.Interval);
    SetValue(remainingLight_, light.Remaining);
    SetValue(lastReadingLight_, light.LastReading);
}
