#include "FormDlgDarkCompute.h"

#include <fmt/printf.h>
#include <QApplication>
#include <QEvent>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "Calibration.h"
#include "Supervisor.h"

namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

QLabel* ValueField(const char* name) {
    auto* label = new QLabel(QStringLiteral("-"));
    label->setObjectName(name);
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setMinimumWidth(120);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return label;
}

} // namespace

TFormDlgDarkCompute::TFormDlgDarkCompute(Supervisor& supervisor, QWidget* parent, TDarkComputeTiming timing)
    : QDialog(parent), supervisor_(supervisor), timing_(timing), texts_("TFormDlgDarkCompute"),
      self_(std::make_shared<TFormDlgDarkCompute*>(this)) {
    setObjectName("FormDlgDarkCompute");
    texts_.Text(this, QT_TR_NOOP("Courant d'obscurité de la photodiode"));
    ShowMessage = [this](const QString& text) { QMessageBox::warning(this, windowTitle(), text); };

    auto* layout = new QVBoxLayout(this);
    for (const auto& [name, source] : {
             std::pair{"Label1",
                       QT_TR_NOOP("Cette fiche permet de mesurer le courant d'obscurité de la photodiode.")},
             std::pair{
                 "Label2",
                 QT_TR_NOOP("Ne réaliser cette mesure QUE de nuit sans Lune, et cachez la fenêtre de la "
                            "photodiode avec un masque opaque à la lumière.")},
             std::pair{"Label3",
                       QT_TR_NOOP("Une fois le masque positionné, cliquer sur le bouton \"Démarrer\".")},
             std::pair{"Label4",
                       QT_TR_NOOP("La mesure va durer 2 minutes, une fois la mesure effectuée ne pas oublier "
                                  "de retirer le masque.")},
         }) {
        auto* label = texts_.Text(new QLabel, source);
        label->setObjectName(name);
        label->setWordWrap(true);
        layout->addWidget(label);
    }

    auto* grid = new QGridLayout;
    StaticTime = ValueField("StaticTime");
    StaticTextcptdeb = ValueField("StaticTextcptdeb");
    StaticTextEndCpt = ValueField("StaticTextEndCpt");
    StaticTextDiff = ValueField("StaticTextDiff");
    StaticTextValueFinale = ValueField("StaticTextValueFinale");
    texts_.Hint(StaticTextValueFinale,
                QT_TR_NOOP("Sera automatiquement reportée dans la fiche de configuration"));
    const std::pair<const char*, QLabel*> rows[] = {
        {QT_TR_NOOP(" Temps restant (sec)"), StaticTime},
        {QT_TR_NOOP(" Compteur en début d'acquisition"), StaticTextcptdeb},
        {QT_TR_NOOP(" Compteur en fin d'acquisition"), StaticTextEndCpt},
        {QT_TR_NOOP(" Difference Compteur (fin-debut)"), StaticTextDiff},
        {QT_TR_NOOP(" Valeur finale"), StaticTextValueFinale},
    };
    int r = 0;
    for (const auto& [caption, field] : rows) {
        grid->addWidget(texts_.Text(new QLabel, caption), r, 0);
        grid->addWidget(field, r++, 1);
    }
    grid->setColumnStretch(2, 1);
    layout->addSpacing(8);
    layout->addLayout(grid);

    auto* buttons = new QHBoxLayout;
    ButtonActions = texts_.Text(new QPushButton, QT_TR_NOOP("Démarrer"));
    ButtonActions->setObjectName("ButtonActions");
    ButtonOkTerminate = texts_.Text(new QPushButton, QT_TR_NOOP("Utiliser la valeur et  quitter >>"));
    ButtonOkTerminate->setObjectName("ButtonOkTerminate");
    ButtonOkTerminate->hide();
    buttons->addWidget(ButtonActions);
    buttons->addStretch(1);
    buttons->addWidget(ButtonOkTerminate);
    layout->addSpacing(8);
    layout->addLayout(buttons);
    connect(ButtonActions, &QPushButton::clicked, this, &TFormDlgDarkCompute::ButtonActionsClick);
    connect(ButtonOkTerminate, &QPushButton::clicked, this, &QDialog::accept);

    Timer.setInterval(timing_.TickMs);
    connect(&Timer, &QTimer::timeout, this, &TFormDlgDarkCompute::TimerTick);

    resize(sizeHint().expandedTo(QSize(520, 0)));
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

TFormDlgDarkCompute::~TFormDlgDarkCompute() {
    // A sample still on its way finds nobody to report to.
    *self_ = nullptr;
}

void TFormDlgDarkCompute::ClearValues() {
    for (QLabel* field : {StaticTextcptdeb, StaticTextEndCpt, StaticTextDiff, StaticTextValueFinale})
        field->setText(QStringLiteral("-"));
}

void TFormDlgDarkCompute::ButtonActionsClick() {
    ClearValues();
    if (calibrationPending_) {
        ButtonActions->setText(tr("Démarrer"));
        calibrationPending_ = false;
        completed_ = false;
        Timer.stop();
        StaticTime->setText(QStringLiteral("-"));
        return;
    }
    // A sample already asked for comes back first: one measurement at a time.
    if (sampleRunning_) return;
    completed_ = false;
    ButtonOkTerminate->hide();
    StartSample(true);
}

void TFormDlgDarkCompute::StartSample(bool first) {
    sampleRunning_ = true;
    const std::weak_ptr<TFormDlgDarkCompute*> alive = self_;
    supervisor_.StartCalibrationSample(
        [alive, first](const TCalibrationPD& sample, const std::string& error) {
            const auto owner = alive.lock();
            if (!owner || !*owner) return; // the dialog has been closed meanwhile
            TFormDlgDarkCompute* dialog = *owner;
            dialog->sampleRunning_ = false;
            if (first)
                dialog->FirstSampleDone(sample, error);
            else
                dialog->SecondSampleDone(sample, error);
        });
}

void TFormDlgDarkCompute::FirstSampleDone(const TCalibrationPD& sample, const std::string& error) {
    if (!error.empty()) {
        ShowMessage(Q(error));
        return;
    }
    CalibrationPD_deb = sample;
    StaticTextcptdeb->setText(QString::number(sample.Counter));
    ButtonActions->setText(tr("Stopper"));
    calibrationPending_ = true;
    CptPose = static_cast<uint16_t>(timing_.Seconds);
    StaticTime->setText(QString::number(CptPose));
    Timer.start();
}

void TFormDlgDarkCompute::TimerTick() {
    if (CptPose > 0) --CptPose;
    if (CptPose != 0) {
        StaticTime->setText(QString::number(CptPose));
        return;
    }
    Timer.stop();
    StaticTime->setText(QStringLiteral("-"));
    StartSample(false);
}

void TFormDlgDarkCompute::SecondSampleDone(const TCalibrationPD& sample, const std::string& error) {
    // "Stopper" while the second sample was on its way: the measurement is over already.
    if (!calibrationPending_) return;
    ButtonActions->setText(tr("Démarrer"));
    calibrationPending_ = false;
    if (!error.empty()) {
        ShowMessage(Q(error));
        return;
    }
    CalibrationPD_end = sample;
    StaticTextEndCpt->setText(QString::number(sample.Counter));
    const TDarkRateResult result = ComputeDarkRate(CalibrationPD_deb, CalibrationPD_end);
    if (result.Verdict == TDarkRateVerdict::NotValid) {
        ShowMessage(Q(result.Message));
        return;
    }
    StaticTextDiff->setText(QString::number(result.Difference));
    valueFinale_ = result.ValueFinale;
    StaticTextValueFinale->setText(Q(fmt::sprintf("%1.5f", valueFinale_)));
    if (result.Verdict == TDarkRateVerdict::Accepted) {
        completed_ = true;
        ButtonOkTerminate->show();
    } else {
        ShowMessage(Q(result.Message));
    }
}

void TFormDlgDarkCompute::RetranslateUi() {
    texts_.Retranslate();
    ButtonActions->setText(texts_.Tr(calibrationPending_ ? QT_TR_NOOP("Stopper") : QT_TR_NOOP("Démarrer")));
}

void TFormDlgDarkCompute::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    if (event->type() == QEvent::LanguageChange) RetranslateUi();
}
