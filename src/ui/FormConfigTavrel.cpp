#include "FormConfigTavrel.h"

#include <cmath>
#include <fmt/printf.h>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include "ConditionTexts.h"
#include "DateTime.h"
#include "FormDlgDarkCompute.h"
#include "MqttPayloads.h"
#include "NumberEdit.h"
#include "SettingBindings.h"
#include "SettingsTable.h"
#include "Supervisor.h"
#include "Utilities.h"

namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

// Records the station memory holds (its ring of 131071 bytes, 17 bytes a record).
constexpr double MemoryRecords = 131071.0 / 17;

// The serial devices present, in the order a user looks for them: stable names first.
QStringList SerialDevices() {
    QStringList devices;
    const QDir byId("/dev/serial/by-id");
    for (const QString& name : byId.entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot, QDir::Name))
        devices << byId.filePath(name);
    const QDir dev("/dev");
    for (const char* pattern : {"ttyUSB*", "ttyACM*", "rfcomm*", "ttyS*"}) {
        QStringList names = dev.entryList({pattern}, QDir::System | QDir::Files, QDir::NoSort);
        // ttyS2 before ttyS10.
        std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
            return a.size() != b.size() ? a.size() < b.size() : a < b;
        });
        for (const QString& name : names)
            devices << dev.filePath(name);
    }
    return devices;
}

QGridLayout* Grid(QGroupBox* box) {
    auto* grid = new QGridLayout(box);
    grid->setVerticalSpacing(6);
    return grid;
}

QLabel* Note(QLabel* label) {
    label->setWordWrap(true);
    QFont f = label->font();
    f.setItalic(true);
    label->setFont(f);
    return label;
}

QPushButton* SmallButton(const char* name, const QString& text) {
    auto* button = new QPushButton(text);
    button->setObjectName(name);
    button->setFixedWidth(button->fontMetrics().horizontalAdvance(QStringLiteral("...")) + 24);
    return button;
}

} // namespace

TFormConfigTavrel::TFormConfigTavrel(Supervisor& supervisor, QWidget* parent)
    : QDialog(parent), supervisor_(supervisor), texts_("TFormConfigTavrel"),
      shown_(supervisor.ConfigurationShown()) {
    setObjectName("FormConfigTavrel");
    texts_.Text(this, QT_TR_NOOP("Configuration"));
    FileChooser = [](QWidget* parent, const QString& caption, const QString& folder, const QString& filter,
                     bool save) {
        return save ? QFileDialog::getSaveFileName(parent, caption, folder, filter)
                    : QFileDialog::getOpenFileName(parent, caption, folder, filter);
    };

    tabs_ = new QTabWidget;
    tabs_->setObjectName("PageControl1");
    tabs_->setUsesScrollButtons(false); // every tab caption whole: the dialog is as wide as they need
    const std::pair<QWidget*, const char*> pages[] = {
        {BuildConnectivity(), QT_TR_NOOP("Connectivité")},
        {BuildConfigHalvex(), QT_TR_NOOP("Config Halvex")},
        {BuildOutputFiles(), QT_TR_NOOP("Fichiers de sortie")},
        {BuildDisplays(), QT_TR_NOOP("Affichages")},
        {BuildLogs(), QT_TR_NOOP("Logs/Journaux")},
        {BuildCriteria(), QT_TR_NOOP("Critères fermeture urgence")},
        {BuildThresholds(), QT_TR_NOOP("Seuils")},
        {BuildMqtt(), QT_TR_NOOP("MQTT")},
    };
    for (const auto& [page, caption] : pages)
        texts_.Tab(tabs_, tabs_->addTab(page, QString()), caption);

    auto* buttons = new QDialogButtonBox;
    QPushButton* ok =
        texts_.Text(buttons->addButton(QString(), QDialogButtonBox::AcceptRole), QT_TR_NOOP("Ok"));
    ok->setObjectName("BitBtnOk");
    ok->setDefault(true);
    QPushButton* cancel =
        texts_.Text(buttons->addButton(QString(), QDialogButtonBox::RejectRole), QT_TR_NOOP("Annuler"));
    cancel->setObjectName("BitBtnCancel");
    cancel->setProperty("cancelsEntry", true);
    connect(buttons, &QDialogButtonBox::accepted, this, &TFormConfigTavrel::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &TFormConfigTavrel::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs_);
    layout->addWidget(buttons);

    Fill();
    tabs_->setCurrentIndex(ConfigHalvexTab);
}

TFormConfigTavrel::~TFormConfigTavrel() = default;

// ---- Building -------------------------------------------------------------------------------

QLabel* TFormConfigTavrel::Caption(const char* source) {
    return texts_.Text(new QLabel, source);
}

TNumberEdit* TFormConfigTavrel::Number(const char* name, const char* group, const char* key,
                                       const char* format, bool real) {
    return bindings_.Number(name, group, key, format, real);
}

void TFormConfigTavrel::Bind(const TSettingRow* row, QWidget* widget, Bound kind, const char* format,
                             std::vector<double> values, int otherwise) {
    bindings_.Bind(row, widget, kind, format, std::move(values), otherwise);
}

QWidget* TFormConfigTavrel::BuildConnectivity() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    auto* box = texts_.Text(new QGroupBox, QT_TR_NOOP("Port série RS232"));
    QGridLayout* grid = Grid(box);
    auto* com = new QSpinBox;
    com->setObjectName("SpinEditCOM");
    const TSettingRow* port = FindSetting(KeyConfig, "PortCom");
    com->setRange(static_cast<int>(port->Range.Min), static_cast<int>(port->Range.Max));
    Bind(port, com, Bound::Spin);
    grid->addWidget(Caption(QT_TR_NOOP(" Numéro de port série COM RS232")), 0, 0);
    grid->addWidget(com, 0, 1, Qt::AlignLeft);

    ComboBoxPortDevice = new QComboBox;
    ComboBoxPortDevice->setObjectName("ComboBoxPortDevice");
    ComboBoxPortDevice->setEditable(true);
    ComboBoxPortDevice->setInsertPolicy(QComboBox::NoInsert);
    ComboBoxPortDevice->addItem(QString());
    ComboBoxPortDevice->addItems(SerialDevices());
    ComboBoxPortDevice->setMinimumWidth(320);
    texts_.Hint(ComboBoxPortDevice,
                QT_TR_NOOP("Vide : le port COM ci-dessus. Un périphérique nommé ici "
                           "(/dev/ttyUSB0, /dev/serial/by-id/..., /dev/rfcomm0) le remplace."));
    Bind(FindSetting(KeyConfig, "PortDevice"), ComboBoxPortDevice, Bound::Device);
    grid->addWidget(Caption(QT_TR_NOOP(" Périphérique série (prioritaire sur le numéro)")), 1, 0);
    grid->addWidget(ComboBoxPortDevice, 1, 1);

    auto* bluetooth = texts_.Text(new QCheckBox, QT_TR_NOOP(" Port série COM sur BlueTooth"));
    bluetooth->setObjectName("CheckBoxBlueTooth");
    Bind(FindSetting(KeyConfig, "BlueTooth"), bluetooth, Bound::Check);
    grid->addWidget(bluetooth, 2, 0, 1, 2);
    grid->setColumnStretch(1, 1);
    layout->addWidget(box);
    layout->addStretch(1);
    return page;
}

QWidget* TFormConfigTavrel::BuildConfigHalvex() {
    auto* page = new QWidget;
    auto* columns = new QGridLayout(page);

    auto* memory = texts_.Text(new QGroupBox, QT_TR_NOOP("Mémoire interne Halvex (EEPROM)"));
    QGridLayout* grid = Grid(memory);
    ComboBoxInterval = new QComboBox;
    ComboBoxInterval->setObjectName("ComboBoxInterval");
    texts_.Items(ComboBoxInterval,
                 {QT_TR_NOOP("10 secondes"), QT_TR_NOOP("30 secondes"), QT_TR_NOOP("1 minute"),
                  QT_TR_NOOP("2 minutes"), QT_TR_NOOP("3 minutes"), QT_TR_NOOP("5 minutes"),
                  QT_TR_NOOP("10 minutes"), QT_TR_NOOP("15 minutes"), QT_TR_NOOP("20 minutes"),
                  QT_TR_NOOP("30 minutes"), QT_TR_NOOP("45 minutes"), QT_TR_NOOP("1 heure")});
    Bind(FindSetting(KeyConfig, "InterVal_REC_EEP_sec"), ComboBoxInterval, Bound::Combo, nullptr,
         {10, 30, 60, 120, 180, 300, 600, 900, 1200, 1800, 2700, 3600}, 1);
    StaticTextDATAreg = new QLabel;
    StaticTextDATAreg->setObjectName("StaticTextDATAreg");
    StaticTextDATAreg->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    grid->addWidget(Caption(QT_TR_NOOP(" Intervalle d'enregistrement")), 0, 0);
    grid->addWidget(ComboBoxInterval, 0, 1);
    grid->addWidget(Caption(QT_TR_NOOP(" Durée d'enregistrement possible")), 1, 0);
    grid->addWidget(StaticTextDATAreg, 1, 1);
    grid->addWidget(
        Note(Caption(QT_TR_NOOP("NB : ceci définit le temps d'enregistrement EEPROM entre deux mesures "
                                "lorsque le logiciel PC n'est pas actif"))),
        2, 0, 1, 2);
    columns->addWidget(memory, 0, 0);

    auto* special = texts_.Text(new QGroupBox, QT_TR_NOOP("Spécial"));
    grid = Grid(special);
    auto* heater = texts_.Text(new QCheckBox, QT_TR_NOOP("Interdire le réchauffage du capteur de pluie "));
    heater->setObjectName("CheckBoxForbideHeater");
    Bind(FindSetting(KeyConfig, "Disableheater"), heater, Bound::Check);
    grid->addWidget(heater, 0, 0);
    grid->addWidget(
        Note(Caption(QT_TR_NOOP("NB : celui-ci est actif quand il pleut, ou quand l'hydrométrie est "
                                "élévée et la température basse. "))),
        1, 0);
    columns->addWidget(special, 1, 0);

    auto* internal = texts_.Text(new QGroupBox, QT_TR_NOOP("Configuration interne Halvex"));
    grid = Grid(internal);
    StaticTextIntDate = new QLabel;
    StaticTextIntDate->setObjectName("StaticTextIntDate");
    StaticTextSecElapsed = new QLabel;
    StaticTextSecElapsed->setObjectName("StaticTextSecElapsed");
    for (QLabel* value : {StaticTextIntDate, StaticTextSecElapsed})
        value->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    grid->addWidget(Caption(QT_TR_NOOP(" Date interne")), 0, 0);
    grid->addWidget(StaticTextIntDate, 0, 1);
    grid->addWidget(Caption(QT_TR_NOOP(" Temps écoulé")), 1, 0);
    grid->addWidget(StaticTextSecElapsed, 1, 1);
    grid->setColumnStretch(1, 1);
    columns->addWidget(internal, 2, 0);

    auto* photodiode = texts_.Text(new QGroupBox, QT_TR_NOOP("Photodiode"));
    grid = Grid(photodiode);
    grid->addWidget(Caption(QT_TR_NOOP("Temps d'intégration de la photodiode (30s mini)")), 0, 0);
    grid->addWidget(Number("NumberEditIntPhotoDiode", KeyConfig, "DiodeIntegrationTimeSec", "%d"), 0, 1);
    grid->addWidget(Caption(QT_TR_NOOP("Sec")), 0, 2);
    grid->addWidget(Caption(QT_TR_NOOP("Courant d'obscurité photodiode (ticks par 1/100sec)")), 1, 0);
    NumberEditDCphoto = Number("NumberEditDCphoto", KeyConfig, "Offset_Photodiode", "%1.5f", true);
    grid->addWidget(NumberEditDCphoto, 1, 1);
    QPushButton* compute = SmallButton("BitBtnComputeDK", QStringLiteral("..."));
    connect(compute, &QPushButton::clicked, this, &TFormConfigTavrel::ComputeDarkCurrent);
    grid->addWidget(compute, 1, 2);
    columns->addWidget(photodiode, 0, 1);

    auto* gain = texts_.Text(new QGroupBox, QT_TR_NOOP("Gain capteur IR (Couverture du ciel)"));
    grid = Grid(gain);
    NumberEditGain_IR = new TNumberEdit;
    NumberEditGain_IR->setObjectName("NumberEditGain_IR");
    NumberEditGain_IR->setMinimumWidth(80);
    NumberEditGain_IR->setMaximumWidth(110);
    // The gain the station has now is accepted as it is; a new one must lie within the range.
    connect(NumberEditGain_IR, &QLineEdit::textEdited, this,
            [this] { NumberEditGain_IR->SetRange(450, 900); });
    grid->addWidget(Caption(QT_TR_NOOP("Valeur du gain (étage 1 et 2) ")), 0, 0);
    grid->addWidget(NumberEditGain_IR, 0, 1);
    grid->setColumnStretch(2, 1);
    columns->addWidget(gain, 1, 1);

    auto* humidity = texts_.Text(new QGroupBox, QT_TR_NOOP("Facteur de correction d'humidité"));
    grid = Grid(humidity);
    grid->addWidget(Caption(QT_TR_NOOP("Facteur de correction (0.8 à 1.2)")), 0, 0);
    grid->addWidget(Number("NumberEditRHcor", KeyConfig, "RH_Correction", "%1.2f", true), 0, 1);
    grid->setColumnStretch(2, 1);
    columns->addWidget(humidity, 2, 1);
    columns->setRowStretch(3, 1);

    connect(ComboBoxInterval, &QComboBox::currentIndexChanged, this, &TFormConfigTavrel::UpdateAutonomy);
    return page;
}

QWidget* TFormConfigTavrel::BuildOutputFiles() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    auto* box = texts_.Text(new QGroupBox,
                            QT_TR_NOOP("Fichier ligne texte à ligne unique avec dernières informations"));
    QGridLayout* grid = Grid(box);
    grid->addWidget(Caption(QT_TR_NOOP("Un fichier \"infodata.txt\" est automatiquement écrit ici :")), 0, 0,
                    1, 3);
    LabelPath = new QLabel;
    LabelPath->setObjectName("LabelPath");
    grid->addWidget(LabelPath, 1, 0, 1, 3);

    auto* flavours = new QGroupBox;
    flavours->setObjectName("RadioGroupBoltwood");
    auto* flavourLayout = new QVBoxLayout(flavours);
    auto* group = new QButtonGroup(flavours);
    const char* names[] = {QT_TR_NOOP("Aucun"), QT_TR_NOOP("Compatible Boltwood Cloud Sensor I"),
                           QT_TR_NOOP("Compatible Boltwood Cloud Sensor II"),
                           QT_TR_NOOP("Compatible Boltwood Cloud Sensor II (strict)")};
    for (int i = 0; i < 4; ++i) {
        auto* radio = texts_.Text(new QRadioButton, names[i]);
        radio->setObjectName(QString("RadioBoltwood%1").arg(i));
        group->addButton(radio, i);
        flavourLayout->addWidget(radio);
    }
    Bind(FindSetting(KeyConfig, "FileCLoudSensorVersion"), flavours, Bound::Radio, nullptr, {0, 1, 2, 3}, 1);
    grid->addWidget(flavours, 2, 0, 1, 3);

    EditFileNameCS_sav = new QLineEdit;
    EditFileNameCS_sav->setObjectName("EditFileNameCS_sav");
    Bind(FindSetting(KeyConfig, "BoltWoodFileName"), EditFileNameCS_sav, Bound::Text);
    QPushButton* choose = SmallButton("ButtonSetFile", QStringLiteral("..."));
    connect(choose, &QPushButton::clicked, this, &TFormConfigTavrel::ChooseConditionFile);
    grid->addWidget(Caption(QT_TR_NOOP(" Fichier")), 3, 0);
    grid->addWidget(EditFileNameCS_sav, 3, 1);
    grid->addWidget(choose, 3, 2);
    grid->setColumnStretch(1, 1);
    layout->addWidget(box);

    auto* saves = new QGridLayout;
    saves->addWidget(Caption(QT_TR_NOOP(" Intervalle d'enregistrement auto")), 0, 0);
    saves->addWidget(Number("NumberEditAutoSav", KeyConfig, "IntSAVDATAS_Min", "%d"), 0, 1);
    saves->addWidget(Caption(QT_TR_NOOP("Minutes")), 0, 2);
    ComboBoxDataREC = new QComboBox;
    ComboBoxDataREC->setObjectName("ComboBoxDataREC");
    texts_.Items(ComboBoxDataREC,
                 {QT_TR_NOOP("20s (1x)"), QT_TR_NOOP("40s (2x)"), QT_TR_NOOP("60s (3x)"),
                  QT_TR_NOOP("120s (6x)"), QT_TR_NOOP("300s (15x)"), QT_TR_NOOP("600s (30x)")});
    Bind(FindSetting(KeyConfig, "UnderSampleDataFactor"), ComboBoxDataREC, Bound::Combo, nullptr,
         {1, 2, 3, 6, 15, 30}, 2);
    connect(ComboBoxDataREC, &QComboBox::currentIndexChanged, this, &TFormConfigTavrel::UpdateAutonomy);
    saves->addWidget(Caption(QT_TR_NOOP(" Intervalle d'enregistrement")), 1, 0);
    saves->addWidget(ComboBoxDataREC, 1, 1);
    auto* months = new QSpinBox;
    months->setObjectName("SpinEditNbMonthData");
    const TSettingRow* monthsRow = FindSetting(KeyConfig, "NbMonthtoLoad");
    months->setRange(static_cast<int>(monthsRow->Range.Min), static_cast<int>(monthsRow->Range.Max));
    Bind(monthsRow, months, Bound::Spin);
    saves->addWidget(Caption(QT_TR_NOOP(" Nbre de mois de données")), 2, 0);
    saves->addWidget(months, 2, 1);
    saves->setColumnStretch(3, 1);
    layout->addLayout(saves);
    layout->addStretch(1);
    return page;
}

QWidget* TFormConfigTavrel::BuildDisplays() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    auto* box = texts_.Text(new QGroupBox, QT_TR_NOOP("Affichage"));
    QGridLayout* grid = Grid(box);
    auto* range = new QComboBox;
    range->setObjectName("ComboBoxAffData");
    texts_.Items(range, {QT_TR_NOOP("24 heures"), QT_TR_NOOP("2 jours"), QT_TR_NOOP("10 jours"),
                         QT_TR_NOOP("30 jours"), QT_TR_NOOP("2 mois"), QT_TR_NOOP("6 mois"),
                         QT_TR_NOOP("1 année"), QT_TR_NOOP("toutes")});
    Bind(FindSetting(KeyConfig, "DateDisplay"), range, Bound::Combo, nullptr,
         {1, 2, 10, 30, 60, 182, 365, 36500}, 0);
    grid->addWidget(Caption(QT_TR_NOOP("Afficher les données QUE de(s) dernier(e)s ")), 0, 0);
    grid->addWidget(range, 0, 1);
    grid->addWidget(
        Note(Caption(QT_TR_NOOP("(Ceci permet d'afficher les dernieres données plus rapidement)"))), 1, 0, 1,
        3);
    grid->addWidget(Caption(QT_TR_NOOP(" Ecarts en chaque point (min)")), 2, 0);
    grid->addWidget(Number("NumberEditPixelGap", KeyConfig, "GapPixel", "%1.3f", true), 2, 1);
    grid->addWidget(Caption(QT_TR_NOOP("pixel")), 2, 2);
    grid->setColumnStretch(3, 1);
    layout->addWidget(box);

    auto* magnitude = texts_.Text(new QGroupBox, QT_TR_NOOP("Magnitude fond de ciel"));
    auto* magLayout = new QVBoxLayout(magnitude);
    auto* check = new QCheckBox;
    check->setObjectName("CheckBoxDisplayMagn");
    auto* text =
        Caption(QT_TR_NOOP("Afficher la magnitude par seconde carré, sinon afficher sous forme d'unité "
                           "arbitraire de luminosité de fond de ciel"));
    text->setWordWrap(true);
    text->setBuddy(check);
    auto* row = new QHBoxLayout;
    row->addWidget(check, 0, Qt::AlignTop);
    row->addWidget(text, 1);
    magLayout->addLayout(row);
    Bind(FindSetting(KeyConfig, "DisplayMag"), check, Bound::Check);
    layout->addWidget(magnitude);
    layout->addStretch(1);
    return page;
}

QWidget* TFormConfigTavrel::BuildLogs() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    auto* box = texts_.Text(new QGroupBox, QT_TR_NOOP("Fichier log d'exploitation : log.txt"));
    QGridLayout* grid = Grid(box);
    auto* level = new QComboBox;
    level->setObjectName("ComboBoxmessageLevel");
    texts_.Items(level, {QT_TR_NOOP("Basique"), QT_TR_NOOP("Expert")});
    Bind(FindSetting(KeyConfig, "VerboseLevel"), level, Bound::Combo, nullptr, {0, 1}, 1);
    grid->addWidget(Caption(QT_TR_NOOP("Niveau des messages ")), 0, 0);
    grid->addWidget(level, 0, 1);
    grid->addWidget(Note(Caption(QT_TR_NOOP("Un fichier est généré par 24h"))), 1, 0, 1, 2);
    grid->setColumnStretch(2, 1);
    layout->addWidget(box);
    auto* ftp = texts_.Text(new QGroupBox, QT_TR_NOOP("Fichier log des connexions FTP"));
    auto* ftpLayout = new QVBoxLayout(ftp);
    ftpLayout->addWidget(Note(Caption(QT_TR_NOOP("Un fichier est généré par 24h"))));
    layout->addWidget(ftp);
    layout->addStretch(1);
    return page;
}

QWidget* TFormConfigTavrel::BuildCriteria() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    auto* box = texts_.Text(new QGroupBox,
                            QT_TR_NOOP("Critère fermeture abri/dôme (Commande du relais interne Halvex)"));
    QGridLayout* grid = Grid(box);
    CheckBoxActiveAlarm =
        texts_.Text(new QCheckBox, QT_TR_NOOP("Fermer le dome/abri selon les critères suivants"));
    CheckBoxActiveAlarm->setObjectName("CheckBoxActiveAlarm");
    Bind(FindSetting(KeyCloseCriteria, "Enabled"), CheckBoxActiveAlarm, Bound::Check);
    grid->addWidget(CheckBoxActiveAlarm, 0, 0, 1, 5);
    QLabel* any = Caption(QT_TR_NOOP("Ferme l'abri/dôme si un seul des critères suivant est verifié :"));
    grid->addWidget(any, 1, 0, 1, 5);
    criteriaWidgets_.push_back(any);

    struct TRow {
        const char* caption;
        QWidget* field;
        const char* unit;
        const char* note;
    };
    CheckBoxAlarm_dayNight = texts_.Text(new QCheckBox, QT_TR_NOOP("Activé"));
    CheckBoxAlarm_dayNight->setObjectName("CheckBoxAlarm_dayNight");
    Bind(FindSetting(KeyCloseCriteria, "Light"), CheckBoxAlarm_dayNight, Bound::Check);
    const TRow rows[] = {
        {QT_TR_NOOP(" Température du ciel-sol"),
         Number("EditSeuilTCclose", KeyCloseCriteria, "TempSky", "%1.1f", true), "°C",
         QT_TR_NOOP("(20 à -75)")},
        {QT_TR_NOOP(" Taux d'humidité"), Number("EditRHClose", KeyCloseCriteria, "RH", "%d"), "%RH",
         QT_TR_NOOP("(0 à 100)")},
        {QT_TR_NOOP(" Vent"), Number("NumberEditWindClose", KeyCloseCriteria, "Wind", "%d"), "km/h",
         QT_TR_NOOP("(0 à 255)")},
        {QT_TR_NOOP(" Nuit/Jour"), CheckBoxAlarm_dayNight, nullptr, nullptr},
    };
    int r = 2;
    for (const TRow& row : rows) {
        QLabel* caption = Caption(row.caption);
        grid->addWidget(caption, r, 0);
        grid->addWidget(row.field, r, 2);
        criteriaWidgets_.insert(criteriaWidgets_.end(), {caption, row.field});
        if (row.unit) {
            auto* unit = new QLabel(QString::fromUtf8(row.unit));
            grid->addWidget(unit, r, 3);
            criteriaWidgets_.push_back(unit);
        }
        if (row.note) {
            QLabel* note = Caption(row.note);
            grid->addWidget(note, r, 4);
            criteriaWidgets_.push_back(note);
        }
        ++r;
    }
    QLabel* magCaption = Caption(QT_TR_NOOP(" Magnitude fond de ciel"));
    auto* less = new QLabel(QStringLiteral("<"));
    TNumberEdit* mag = Number("NumberEditMagnSeuil", KeyCloseCriteria, "Mag", "%1.1f", true);
    auto* magUnit = new QLabel(QStringLiteral("Mag"));
    QLabel* magNote = Caption(QT_TR_NOOP("(4 à 13)"));
    grid->addWidget(magCaption, r, 0);
    grid->addWidget(less, r, 1, Qt::AlignRight);
    grid->addWidget(mag, r, 2);
    grid->addWidget(magUnit, r, 3);
    grid->addWidget(magNote, r, 4);
    magnitudeWidgets_ = {magCaption, less, mag, magUnit, magNote};
    criteriaWidgets_.insert(criteriaWidgets_.end(), magnitudeWidgets_.begin(), magnitudeWidgets_.end());
    grid->setColumnStretch(5, 1);
    connect(CheckBoxActiveAlarm, &QCheckBox::toggled, this, &TFormConfigTavrel::UpdateCriteriaState);
    connect(CheckBoxAlarm_dayNight, &QCheckBox::toggled, this, &TFormConfigTavrel::UpdateCriteriaState);
    layout->addWidget(box);

    auto* actions = new QGridLayout;
    const auto soundRow = [&](int row, const char* caption, const char* name,
                              std::string TSetupInfos::*setting, bool program) {
        auto* edit = new QLineEdit(Q(SetupInfos.*setting));
        edit->setObjectName(name);
        edit->setReadOnly(true); // set by its two buttons: what takes effect is the chosen file
        QPushButton* choose = SmallButton((std::string(name) + "Choose").c_str(), QStringLiteral("..."));
        QPushButton* clear = SmallButton((std::string(name) + "Clear").c_str(), QStringLiteral("X"));
        connect(choose, &QPushButton::clicked, this, [=, this] { ChooseSound(edit, setting, program); });
        connect(clear, &QPushButton::clicked, this, [=, this] { ClearSound(edit, setting); });
        actions->addWidget(Caption(caption), row, 0, 1, 3);
        actions->addWidget(edit, row + 1, 0);
        actions->addWidget(choose, row + 1, 1);
        actions->addWidget(clear, row + 1, 2);
    };
    soundRow(0, QT_TR_NOOP(" Jouer un son (.wav) lorsque cet événement se produit "), "EditPlaySoundRelay",
             &TSetupInfos::Sound_at_RelayClose, false);
    soundRow(2, QT_TR_NOOP(" Executer le programme lorsque cet événement se produit "),
             "EditSoftStartOnrelayClose", &TSetupInfos::Soft_OnRelayClose, true);
    layout->addLayout(actions);

    auto* rearm = new QHBoxLayout;
    CheckBoxRearmRelay =
        texts_.Text(new QCheckBox, QT_TR_NOOP("Réarmer le relai automatiquement le relai aprés "));
    CheckBoxRearmRelay->setObjectName("CheckBoxRearmRelay");
    Bind(FindSetting(KeyCloseCriteria, "ReArmAuto"), CheckBoxRearmRelay, Bound::Check);
    connect(CheckBoxRearmRelay, &QCheckBox::toggled, this, &TFormConfigTavrel::UpdateCriteriaState);
    rearm->addWidget(CheckBoxRearmRelay);
    rearm->addWidget(Number("NumberEdit_Rearm_Auto", KeyCloseCriteria, "AfterMin", "%d"));
    rearm->addWidget(Caption(QT_TR_NOOP("minutes")));
    rearm->addStretch(1);
    layout->addLayout(rearm);
    layout->addWidget(
        Note(Caption(QT_TR_NOOP("(le réarmement par le PC à lieu que SI les critères sont  respectés)"))));
    layout->addStretch(1);
    return page;
}

QWidget* TFormConfigTavrel::BuildThresholds() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    const auto thresholds = [&](const char* title,
                                std::initializer_list<std::tuple<const char*, TNumberEdit*>> rows) {
        auto* box = texts_.Text(new QGroupBox, title);
        QGridLayout* grid = Grid(box);
        int r = 0;
        for (const auto& [caption, field] : rows) {
            QLabel* label = Caption(caption);
            label->setWordWrap(true);
            grid->addWidget(label, r, 0);
            grid->addWidget(field, r++, 1);
        }
        grid->setColumnStretch(0, 1);
        layout->addWidget(box);
    };
    thresholds(
        QT_TR_NOOP("Seuils de couverture nuageuse"),
        {{QT_TR_NOOP(" Au-dessus de cette température de ciel, ce dernier sera considéré comme totalement "
                     "couvert"),
          Number("NumberEditSeuilVeryCloudy", KeyConfig, "SeuilVeryCloudy", "%d")},
         {QT_TR_NOOP(" Au-dessus de cette température de ciel, ce dernier sera considéré comme partiellement "
                     "couvert"),
          Number("NumberEditSeuilCloudy", KeyConfig, "SeuilCloudy", "%d")}});
    thresholds(QT_TR_NOOP("Seuils de vitesses de vent"),
               {{QT_TR_NOOP(" Au-dessus de cette vitesse de Vent, les conditions seront très venteuses"),
                 Number("NumberEditVeryWindy", KeyConfig, "SeuilVeryWindy", "%d")},
                {QT_TR_NOOP(" Au-dessus de cette vitesse de Vent, les conditions seront un peu venteuses"),
                 Number("NumberEditWindy", KeyConfig, "SeuilWindy", "%d")}});

    auto* sky = new QGridLayout;
    const std::tuple<const char*, const char*, const char*> skyRows[] = {
        {QT_TR_NOOP("Seuil de jour (Mag/sec²)"), "NumberEditSeuilSkyMagDay", "SeuilDay"},
        {QT_TR_NOOP("Seuil de crepuscule (Mag/sec²)"), "NumberEditSeuilSkyMagDawn", "SeuilDawn"},
        {QT_TR_NOOP("Seuil de nuit (Mag/sec²)"), "NumberEditSeuilSkyMagNight", "SeuilNight"},
    };
    int r = 0;
    for (const auto& [caption, name, key] : skyRows) {
        sky->addWidget(Caption(caption), r, 0);
        sky->addWidget(Number(name, KeyConfig, key, "%1.1f", true), r++, 1);
    }
    sky->setColumnStretch(2, 1);
    layout->addLayout(sky);

    auto* sounds = new QGridLayout;
    const auto soundRow = [&](int row, const char* caption, const char* name,
                              std::string TSetupInfos::*setting) {
        auto* edit = new QLineEdit(Q(SetupInfos.*setting));
        edit->setObjectName(name);
        edit->setReadOnly(true);
        QPushButton* choose = SmallButton((std::string(name) + "Choose").c_str(), QStringLiteral("..."));
        QPushButton* clear = SmallButton((std::string(name) + "Clear").c_str(), QStringLiteral("X"));
        connect(choose, &QPushButton::clicked, this, [=, this] { ChooseSound(edit, setting, false); });
        connect(clear, &QPushButton::clicked, this, [=, this] { ClearSound(edit, setting); });
        sounds->addWidget(Caption(caption), row, 0, 1, 3);
        sounds->addWidget(edit, row + 1, 0);
        sounds->addWidget(choose, row + 1, 1);
        sounds->addWidget(clear, row + 1, 2);
    };
    soundRow(0, QT_TR_NOOP(" Jouer un son lorsque de bonnes conditions se produisent"),
             "EditSoundFile_GoodCond", &TSetupInfos::Sound_on_goodCond);
    soundRow(2, QT_TR_NOOP(" Jouer un son lorsque la perte de bonnes conditions se produit"),
             "EditSoundFile_BadCond", &TSetupInfos::Sound_on_BadCond);
    layout->addLayout(sounds);
    layout->addStretch(1);
    return page;
}

QWidget* TFormConfigTavrel::BuildMqtt() {
    mqttShown_.Mqtt = ReadMqttSettings();
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    auto* box = texts_.Text(new QGroupBox,
                            QT_TR_NOOP("Publication vers un courtier MQTT (Home Assistant, Node-RED...)"));
    QGridLayout* grid = Grid(box);
    int r = 0;
    const auto check = [&](const char* name, const char* key, const char* caption) {
        auto* field = texts_.Text(new QCheckBox, caption);
        field->setObjectName(name);
        mqttBindings_.Bind(FindSetting(KeyMqtt, key), field, Bound::Check);
        grid->addWidget(field, r++, 0, 1, 2);
    };
    const auto text = [&](const char* name, const char* key, const char* caption, bool secret = false) {
        auto* field = new QLineEdit;
        field->setObjectName(name);
        if (secret) field->setEchoMode(QLineEdit::Password);
        mqttBindings_.Bind(FindSetting(KeyMqtt, key), field, Bound::Text);
        grid->addWidget(Caption(caption), r, 0);
        grid->addWidget(field, r++, 1);
    };
    const auto number = [&](const char* name, const char* key, const char* caption) {
        TNumberEdit* field = mqttBindings_.Number(name, KeyMqtt, key, "%d");
        grid->addWidget(Caption(caption), r, 0);
        grid->addWidget(field, r++, 1, Qt::AlignLeft);
    };
    check("CheckBoxMqttEnabled", "Enabled", QT_TR_NOOP(" Publier les mesures et le verdict de sécurité"));
    text("EditMqttHost", "Host", QT_TR_NOOP(" Courtier (nom ou adresse)"));
    number("NumberEditMqttPort", "Port", QT_TR_NOOP(" Port"));
    check("CheckBoxMqttTls", "TLS", QT_TR_NOOP(" Connexion chiffrée (TLS)"));
    text("EditMqttCaFile", "CAFile",
         QT_TR_NOOP(" Fichier des autorités de certification (vide : celles du système)"));
    check("CheckBoxMqttVerifyPeer", "VerifyPeer", QT_TR_NOOP(" Vérifier le certificat du courtier"));
    text("EditMqttUser", "User", QT_TR_NOOP(" Utilisateur"));
    text("EditMqttPassword", "Password", QT_TR_NOOP(" Mot de passe"), true);
    text("EditMqttClientId", "ClientId", QT_TR_NOOP(" Identifiant du client"));
    text("EditMqttTopicPrefix", "TopicPrefix", QT_TR_NOOP(" Préfixe des sujets"));
    check("CheckBoxMqttDiscovery", "Discovery", QT_TR_NOOP(" Découverte automatique par Home Assistant"));
    text("EditMqttDiscoveryPrefix", "DiscoveryPrefix", QT_TR_NOOP(" Préfixe de découverte"));
    auto* qos = new QComboBox;
    qos->setObjectName("ComboBoxMqttQoS");
    qos->addItems({QStringLiteral("0"), QStringLiteral("1"), QStringLiteral("2")});
    mqttBindings_.Bind(FindSetting(KeyMqtt, "QoS"), qos, Bound::Combo, nullptr, {0, 1, 2}, 1);
    grid->addWidget(Caption(QT_TR_NOOP(" Qualité de service (QoS)")), r, 0);
    grid->addWidget(qos, r++, 1, Qt::AlignLeft);
    number("NumberEditMqttKeepAlive", "KeepAliveSec",
           QT_TR_NOOP(" Intervalle de maintien de la connexion (s)"));
    grid->setColumnStretch(1, 1);
    layout->addWidget(box);
    layout->addWidget(
        Note(Caption(QT_TR_NOOP("Les réglages MQTT prennent effet au prochain démarrage du programme."))));
    layout->addStretch(1);
    return page;
}

// ---- Filling and collecting -----------------------------------------------------------------

void TFormConfigTavrel::Fill() {
    bindings_.Fill(shown_);
    TSettingsPlace mqtt{shown_, mqttShown_};
    mqttBindings_.Fill(mqtt);
    gain_ = supervisor_.ConfigRoundTrip().ValeurGainPrevious;
    NumberEditGain_IR->setText(QString::number(gain_));
    LabelPath->setText(Q(ShortenForDisplay(PathDatas, 53)));
    LabelPath->setToolTip(Q(PathDatas));
    UpdateCriteriaState();
    FillStationTexts();
}

void TFormConfigTavrel::FillStationTexts() {
    const auto& hw = SetupInfos.SetupInfos_HW;
    StaticTextIntDate->setText(hw.LastDateSyst.Valid ? Q(DateTimeText(hw.LastDateSyst.Value))
                                                     : QStringLiteral("??"));
    StaticTextSecElapsed->setText(hw.DateSinceBoot.Valid ? Q(ElapsedText(hw.DateSinceBoot.Value))
                                                         : QStringLiteral("??"));
    UpdateAutonomy();
}

void TFormConfigTavrel::UpdateAutonomy() {
    static const int seconds[] = {10, 30, 60, 120, 180, 300, 600, 900, 1200, 1800, 2700, 3600};
    const int index = std::clamp(ComboBoxInterval->currentIndex(), 0, 11);
    const double s = seconds[index] * MemoryRecords;
    StaticTextDATAreg->setText(
        s > 86400 ? Q(fmt::sprintf(tr("%1.1f Jours").toStdString(), s / 86400))
                  : Q(fmt::sprintf(tr("%1.2f Heures").toStdString(), s / 3600)));
}

void TFormConfigTavrel::UpdateCriteriaState() {
    const bool enabled = CheckBoxActiveAlarm->isChecked();
    for (QWidget* w : criteriaWidgets_)
        w->setEnabled(enabled);
    for (QWidget* w : magnitudeWidgets_)
        w->setVisible(CheckBoxAlarm_dayNight->isChecked());
}

bool TFormConfigTavrel::CollectFields(QString& message, QWidget*& field) {
    TSetupInfos chosen = shown_;
    const QString incorrect = QCoreApplication::translate("NumberEdit", "Entrée incorrecte !");
    std::vector<const TSettingRow*> written;
    if (!bindings_.Collect(chosen, message, field, &written)) return false;
    TStartupSettings mqttChosen = mqttShown_;
    TSettingsPlace mqtt{chosen, mqttChosen};
    if (!mqttBindings_.Collect(mqtt, message, field)) return false;
    // A prefix no broker accepts is refused here rather than at the next start.
    for (const auto& [prefix, edit] :
         {std::pair{mqttChosen.Mqtt.TopicPrefix, "EditMqttTopicPrefix"},
          std::pair{mqttChosen.Mqtt.DiscoveryPrefix, "EditMqttDiscoveryPrefix"}}) {
        const std::string error = TopicPrefixError(
            prefix, edit == std::string("EditMqttTopicPrefix") ? "TopicPrefix" : "DiscoveryPrefix");
        if (error.empty()) continue;
        message = Q(error);
        field = findChild<QLineEdit*>(edit);
        return false;
    }
    // The sounds and the program take effect when they are chosen.
    for (auto setting : {&TSetupInfos::Sound_at_RelayClose, &TSetupInfos::Soft_OnRelayClose,
                         &TSetupInfos::Sound_on_goodCond, &TSetupInfos::Sound_on_BadCond})
        chosen.*setting = SetupInfos.*setting;

    const TNumberEntry gain = NumberEditGain_IR->Check();
    if (!gain.Ok || gain.Empty) {
        message = gain.Ok ? incorrect : Q(gain.Message);
        field = NumberEditGain_IR;
        return false;
    }
    const uint16_t previous = supervisor_.ConfigRoundTrip().ValeurGainPrevious;
    if (gain.Value != previous) {
        const TNumberEntry ranged = CheckNumberEntry(gain.Text, TTypeValue::Int, {450, 900});
        std::string error = ranged.Message;
        if (ranged.Ok) supervisor_.IrStage2CodeFor(static_cast<uint16_t>(gain.Value), error);
        if (!error.empty()) {
            message = Q(error);
            field = NumberEditGain_IR;
            return false;
        }
    }
    chosen_ = chosen;
    mqttChosen_ = mqttChosen;
    writtenByProgram_ = written;
    gain_ = static_cast<uint16_t>(gain.Value);
    return true;
}

void TFormConfigTavrel::accept() {
    QString message;
    QWidget* field = nullptr;
    if (!CollectFields(message, field)) {
        for (int i = 0; i < tabs_->count(); ++i)
            if (tabs_->widget(i)->isAncestorOf(field)) tabs_->setCurrentIndex(i);
        field->setFocus(Qt::OtherFocusReason);
        QMessageBox::warning(this, windowTitle(), message);
        return;
    }
    QDialog::accept();
}

// ---- Choosers -------------------------------------------------------------------------------

void TFormConfigTavrel::ChooseSound(QLineEdit* edit, std::string TSetupInfos::*setting, bool program) {
    const QString current = Q(SetupInfos.*setting);
    const QString folder = current.isEmpty() ? Q(PathExe) : QFileInfo(current).absolutePath();
    const QString file = program
                             ? FileChooser(this, tr("Programme"), folder,
                                           tr("Executables") + " (*)", false)
                             : FileChooser(this, tr("Son"), folder,
                                           tr("Fichiers sons") + " (*.wav *.WAV)", false);
    if (file.isEmpty()) return;
    if (program && !QFileInfo(file).isExecutable()) {
        QMessageBox::warning(this, windowTitle(),
                             file + tr(" n'est pas un programme exécutable !"));
        return;
    }
    // In force at once, kept even if the dialog is then cancelled; stored only on "Ok".
    SetupInfos.*setting = file.toStdString();
    edit->setText(file);
}

void TFormConfigTavrel::ClearSound(QLineEdit* edit, std::string TSetupInfos::*setting) {
    SetupInfos.*setting = std::string();
    edit->clear();
}

void TFormConfigTavrel::ChooseConditionFile() {
    const QString current = EditFileNameCS_sav->text();
    const QString folder = current.isEmpty() ? QDir::tempPath() : QFileInfo(current).absolutePath();
    const QString file = FileChooser(this, tr(" Fichier"), folder,
                                     tr("Tout fichiers") + " (*)", true);
    if (!file.isEmpty()) EditFileNameCS_sav->setText(file);
}

void TFormConfigTavrel::ComputeDarkCurrent() {
    const QString question = tr("Ceci va durer deux minutes, SVP réalisez cette "
                                                  "calibration la nuit avec un cache qui empêche la moindre "
                                                  "lumière d'atteindre la photodiode ! Continuer ?");
    if (QMessageBox::question(this, windowTitle(), question, QMessageBox::Yes | QMessageBox::No,
                              QMessageBox::No) != QMessageBox::Yes)
        return;
    auto* dialog = new TFormDlgDarkCompute(supervisor_, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::finished, this, [this, dialog] {
        // The measurement is accepted as the calibration accepted it, even outside the field's range.
        if (dialog->Completed())
            NumberEditDCphoto->ShowValue(dialog->ValueFinale(),
                                         Q(fmt::sprintf("%1.5f", dialog->ValueFinale())));
    });
    dialog->open();
}

// ---- Language -------------------------------------------------------------------------------

void TFormConfigTavrel::RetranslateUi() {
    texts_.Retranslate();
    FillStationTexts();
}

void TFormConfigTavrel::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    if (event->type() == QEvent::LanguageChange) RetranslateUi();
}

// ---- The round trip from the menu -------------------------------------------------------------

void StartConfigurationDialog(Supervisor& supervisor, QWidget* parent) {
    if (!supervisor.StartConfiguration()) return;
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = QObject::connect(
        &supervisor, &Supervisor::configurationReady, parent, [&supervisor, parent, connection] {
            QObject::disconnect(*connection);
            auto* dialog = new TFormConfigTavrel(supervisor, parent);
            dialog->setAttribute(Qt::WA_DeleteOnClose);
            QObject::connect(dialog, &QDialog::accepted, &supervisor, [&supervisor, dialog] {
                WriteMqttSettings(dialog->ChosenMqtt());
                supervisor.ApplyConfiguration(dialog->Chosen(), dialog->Gain(), dialog->WrittenByProgram());
            });
            QObject::connect(dialog, &QDialog::rejected, &supervisor,
                             [&supervisor] { supervisor.CancelConfiguration(); });
            dialog->open();
        });
}
