#include "FormWebSetup.h"

#include <fmt/printf.h>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

#include "NumberEdit.h"
#include "SettingsTable.h"
#include "FtpPublishing.h"
#include "Supervisor.h"

namespace {

QLineEdit* TextField(const char* name) {
    auto* edit = new QLineEdit;
    edit->setObjectName(name);
    edit->setMinimumWidth(260);
    return edit;
}

} // namespace

TFormWebSetup::TFormWebSetup(Supervisor& supervisor, std::function<TPlotSizes()> plotSizes, QWidget* parent)
    : QDialog(parent), supervisor_(supervisor), texts_("TFormWebSetup"), shown_(SetupInfos) {
    setObjectName("FormWebSetup");
    texts_.Text(this, QT_TR_NOOP("Configuration de la publication Web"));
    const TSetupWebPublish& web = shown_.SetupWebPublish;
    const TPlotSizes sizes = plotSizes ? plotSizes()
                                       : TPlotSizes{{web.Lx_AllGraphs, web.Ly_AllGraphs},
                                                    {web.Lx_GrWspeed, web.Ly_GrWspeed},
                                                    web.L_GrWDir};
    LX_AllGraphs = sizes.AllGraphs.width();
    LY_AllGraphs = sizes.AllGraphs.height();
    LX_GraphWindSpeed = sizes.WindSpeed.width();
    LY_GraphWindSpeed = sizes.WindSpeed.height();
    L_GraphWindDir = sizes.WindDir;

    auto* layout = new QVBoxLayout(this);
    auto* enabled = texts_.Text(new QCheckBox, QT_TR_NOOP("Activer le transfert des images sur le web"));
    enabled->setObjectName("CheckBoxEnabled");
    bindings_.Bind(FindSetting(KeyWebpublish, "Enabled"), enabled, TSettingBindings::Bound::Check);
    layout->addWidget(enabled);

    auto* site = texts_.Text(new QGroupBox, QT_TR_NOOP("Site de dépôt des images"));
    auto* grid = new QGridLayout(site);
    const std::tuple<const char*, const char*, const char*> texts[] = {
        {QT_TR_NOOP(" Hote ou adresse IP"), "EditIP", "Hostname"},
        {QT_TR_NOOP(" Uilisateur/login"), "Editlogin", "Login"},
        {QT_TR_NOOP(" Mot de passe"), "Editpass", "Pass"},
        {QT_TR_NOOP(" Repertoire distant"), "Editrepremote", "RemotePath"},
    };
    int r = 0;
    for (const auto& [caption, name, key] : texts) {
        QLineEdit* edit = TextField(name);
        if (std::string(key) == "Pass") edit->setEchoMode(QLineEdit::Password);
        bindings_.Bind(FindSetting(KeyWebpublish, key), edit, TSettingBindings::Bound::Text);
        grid->addWidget(texts_.Text(new QLabel, caption), r, 0);
        grid->addWidget(edit, r++, 1);
    }
    auto* passive = texts_.Text(new QCheckBox, QT_TR_NOOP("Mode passif FTP"));
    passive->setObjectName("CheckBoxFTp_Passive");
    bindings_.Bind(FindSetting(KeyWebpublish, "PassiveFTP"), passive, TSettingBindings::Bound::Check);
    grid->addWidget(passive, r++, 1);
    auto* verifyPeer = texts_.Text(new QCheckBox, QT_TR_NOOP("Vérifier le certificat du serveur (ftps://)"));
    verifyPeer->setObjectName("CheckBoxVerifyPeer");
    texts_.Hint(verifyPeer, QT_TR_NOOP("Décocher pour accepter un certificat auto-signé"));
    bindings_.Bind(FindSetting(KeyWebpublish, "VerifyPeer"), verifyPeer, TSettingBindings::Bound::Check);
    grid->addWidget(verifyPeer, r++, 1);
    auto* indexPage =
        texts_.Text(new QCheckBox, QT_TR_NOOP("Envoyer aussi la page orvanel.html (images et valeurs)"));
    indexPage->setObjectName("CheckBoxIndexPage");
    bindings_.Bind(FindSetting(KeyWebpublish, "IndexPage"), indexPage, TSettingBindings::Bound::Check);
    grid->addWidget(indexPage, r, 1);
    grid->setColumnStretch(1, 1);
    layout->addWidget(site);

    auto* updates = texts_.Text(new QGroupBox, QT_TR_NOOP("Mises à jour"));
    auto* row = new QHBoxLayout(updates);
    row->addWidget(texts_.Text(new QLabel, QT_TR_NOOP(" Intervalle de Mise à Jour (sec)")));
    TNumberEdit* interval = bindings_.Number("NumberEditIntervallsec", KeyWebpublish, "intervallSec", "%d");
    // 0 stops the upload; otherwise no more than the timer can count in milliseconds.
    interval->SetRange(0, 2147483);
    row->addWidget(interval);
    row->addWidget(texts_.Text(new QLabel, QT_TR_NOOP("Secondes")));
    row->addStretch(1);
    layout->addWidget(updates);

    auto* images = texts_.Text(new QGroupBox, QT_TR_NOOP("Propriétés des images"));
    auto* imagesLayout = new QVBoxLayout(images);
    auto* jpeg = new QHBoxLayout;
    jpeg->addWidget(texts_.Text(new QLabel, QT_TR_NOOP(" Compression JPEG")));
    TrackBarJpegCompress = new QSlider(Qt::Horizontal);
    TrackBarJpegCompress->setObjectName("TrackBarJpegCompress");
    TrackBarJpegCompress->setRange(1, 100);
    TrackBarJpegCompress->setSingleStep(5);
    TrackBarJpegCompress->setPageStep(5);
    TrackBarJpegCompress->setTickInterval(5);
    TrackBarJpegCompress->setTickPosition(QSlider::TicksBelow);
    bindings_.Bind(FindSetting(KeyWebpublish, "JpegCompress"), TrackBarJpegCompress,
                   TSettingBindings::Bound::Slider);
    StaticTextJpeg = new QLabel;
    StaticTextJpeg->setObjectName("StaticTextJpeg");
    StaticTextJpeg->setMinimumWidth(
        StaticTextJpeg->fontMetrics().horizontalAdvance(" Compression Jpeg : 100%") + 8);
    connect(TrackBarJpegCompress, &QSlider::valueChanged, this, &TFormWebSetup::ShowJpegText);
    jpeg->addWidget(TrackBarJpegCompress, 1);
    jpeg->addWidget(StaticTextJpeg);
    imagesLayout->addLayout(jpeg);

    const auto sizeGroup = [&](const char* title, std::vector<std::tuple<const char*, TNumberEdit*>> fields,
                               const char* buttonName, const char* buttonText,
                               std::function<void()> current) {
        auto* box = texts_.Text(new QGroupBox, title);
        auto* g = new QGridLayout(box);
        int i = 0;
        for (const auto& [caption, field] : fields) {
            g->addWidget(texts_.Text(new QLabel, caption), i, 0);
            g->addWidget(field, i++, 1);
        }
        auto* button = texts_.Text(new QPushButton, buttonText);
        button->setObjectName(buttonName);
        connect(button, &QPushButton::clicked, this, std::move(current));
        g->addWidget(button, i, 0, 1, 2);
        g->setRowStretch(i + 1, 1);
        return box;
    };
    TNumberEdit* xAll = bindings_.Number("NumberEditX_Gr", KeyWebpublish, "Lx_AllGraphs", "%d");
    TNumberEdit* yAll = bindings_.Number("NumberEditY_Gr", KeyWebpublish, "Ly_AllGraphs", "%d");
    TNumberEdit* side = bindings_.Number("NumberEditL_windDir", KeyWebpublish, "L_GrWDir", "%d");
    TNumberEdit* xSpeed = bindings_.Number("NumberEditX_SpeedWind", KeyWebpublish, "Lx_GrWspeed", "%d");
    TNumberEdit* ySpeed = bindings_.Number("NumberEditY_SpeedWind", KeyWebpublish, "Ly_GrWspeed", "%d");
    auto* groups = new QHBoxLayout;
    groups->addWidget(sizeGroup(
        QT_TR_NOOP("Tous graphiques"),
        {{QT_TR_NOOP(" Largueur (pixels)"), xAll}, {QT_TR_NOOP(" Hauteur (pixels)"), yAll}},
        "ButtonCurrentSizeGraph", QT_TR_NOOP("Récuperer la taille actuelle des graphiques"), [=, this] {
            xAll->ShowValue(LX_AllGraphs, QString::number(LX_AllGraphs));
            yAll->ShowValue(LY_AllGraphs, QString::number(LY_AllGraphs));
        }));
    groups->addWidget(sizeGroup(
        QT_TR_NOOP("Graphiques de vent (Rose des vents)"), {{QT_TR_NOOP(" Largueur/Hauteur (pixels)"), side}},
        "ButtonCurrentWindDirSize", QT_TR_NOOP("Récuperer la taille actuelle du graphique"),
        [=, this] { side->ShowValue(L_GraphWindDir, QString::number(L_GraphWindDir)); }));
    groups->addWidget(
        sizeGroup(QT_TR_NOOP("Graphique vitesse du vent"),
                  {{QT_TR_NOOP(" Largueur (pixels)"), xSpeed}, {QT_TR_NOOP(" Hauteur (pixels)"), ySpeed}},
                  "ButtonWindSpeedSize", QT_TR_NOOP("Récuperer la taille actuelle du graphique"), [=, this] {
                      xSpeed->ShowValue(LX_GraphWindSpeed, QString::number(LX_GraphWindSpeed));
                      ySpeed->ShowValue(LY_GraphWindSpeed, QString::number(LY_GraphWindSpeed));
                  }));
    imagesLayout->addLayout(groups);
    layout->addWidget(images);

    auto* buttons = new QDialogButtonBox;
    QPushButton* ok =
        texts_.Text(buttons->addButton(QString(), QDialogButtonBox::AcceptRole), QT_TR_NOOP("Ok"));
    ok->setObjectName("BitBtnOk");
    ok->setDefault(true);
    QPushButton* cancel =
        texts_.Text(buttons->addButton(QString(), QDialogButtonBox::RejectRole), QT_TR_NOOP("Annuler"));
    cancel->setObjectName("BitBtnCancel");
    cancel->setProperty("cancelsEntry", true);
    connect(buttons, &QDialogButtonBox::accepted, this, &TFormWebSetup::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &TFormWebSetup::reject);
    layout->addWidget(buttons);

    bindings_.Fill(shown_);
    ShowJpegText();
}

void TFormWebSetup::ShowJpegText() {
    StaticTextJpeg->setText(QString::fromStdString(fmt::sprintf(
        tr(" Compression Jpeg : %d%%").toStdString(), TrackBarJpegCompress->value())));
}

void TFormWebSetup::accept() {
    TSetupInfos chosen = shown_;
    QString message;
    QWidget* field = nullptr;
    if (!bindings_.Collect(chosen, message, field)) {
        field->setFocus(Qt::OtherFocusReason);
        QMessageBox::warning(this, windowTitle(), message);
        return;
    }
    SetupInfos.SetupWebPublish = chosen.SetupWebPublish;
    WriteWebPublishSettings(); // the fifteen values in one group of writes
    supervisor_.FtpPublishing().SetFtpInterval(SetupInfos.SetupWebPublish.IntervallSec);
    QDialog::accept();
}

void TFormWebSetup::RetranslateUi() {
    texts_.Retranslate();
    ShowJpegText();
}

void TFormWebSetup::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    if (event->type() == QEvent::LanguageChange) RetranslateUi();
}

void OpenWebSetupDialog(Supervisor& supervisor, std::function<TPlotSizes()> plotSizes, QWidget* parent) {
    auto* dialog = new TFormWebSetup(supervisor, std::move(plotSizes), parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
}
