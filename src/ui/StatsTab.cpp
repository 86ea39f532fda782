#include "StatsTab.h"

#include <cmath>
#include <QCalendarWidget>
#include <QEvent>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "SettingsTable.h"

namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

QDate ToQDate(TDateTime value) {
    const auto p = DecodeDateTime(value);
    return QDate(p.Year, p.Month, p.Day);
}

TDateTime DayStart(const QDate& date) {
    return EncodeDateTime(date.year(), date.month(), date.day());
}

// The time of day of a date-time, as a share of a day.
double TimeOfDay(TDateTime value) {
    return value - std::floor(value);
}

QLabel* ValueField(const char* name) {
    auto* label = new QLabel(QStringLiteral("?"));
    label->setObjectName(name);
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setMinimumWidth(130);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

// The stored range of the last computation; without one, the last five days.
void ReadStoredRange(TDateTime& deb, TDateTime& fin) {
    TStartupSettings values;
    values.DateDeb = Now() - 5;
    values.DateFin = Now();
    TSettingsPlace place{SetupInfos, values};
    for (const char* key : {"DateDeb", "DateFin"})
        if (const TSettingRow* row = FindSetting(KeyStats, key)) ReadSetting(*row, place);
    deb = std::isfinite(values.DateDeb) ? values.DateDeb : Now() - 5;
    fin = std::isfinite(values.DateFin) ? values.DateFin : Now();
}

} // namespace

TStatsTab::TStatsTab(const THistoryStore& history, QWidget* parent) : QWidget(parent), history_(history) {
    setObjectName("TabSheetStats");
    auto* outer = new QHBoxLayout(this);

    auto* left = new QVBoxLayout;
    rangeBox_ = new QGroupBox;
    auto* rangeGrid = new QGridLayout(rangeBox_);
    captionDeb_ = new QLabel;
    captionFin_ = new QLabel;
    calendarDeb_ = new QCalendarWidget;
    calendarDeb_->setObjectName("MonthCalendardeb");
    calendarFin_ = new QCalendarWidget;
    calendarFin_->setObjectName("MonthCalendarFin");
    for (QCalendarWidget* c : {calendarDeb_, calendarFin_}) {
        c->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
        c->setGridVisible(false);
        c->setMaximumSize(260, 190);
    }
    rangeGrid->addWidget(captionDeb_, 0, 0);
    rangeGrid->addWidget(calendarDeb_, 1, 0);
    rangeGrid->addWidget(captionFin_, 2, 0);
    rangeGrid->addWidget(calendarFin_, 3, 0);
    computeButton_ = new QPushButton;
    computeButton_->setObjectName("ButtonStats");
    computeButton_->setMinimumHeight(32);
    connect(computeButton_, &QPushButton::clicked, this, &TStatsTab::Compute);
    rangeGrid->addWidget(computeButton_, 4, 0);
    left->addWidget(rangeBox_);

    historyBox_ = new QGroupBox;
    auto* historyForm = new QFormLayout(historyBox_);
    captionNbPoints_ = new QLabel;
    captionFirstDate_ = new QLabel;
    nbPoints_ = ValueField("StaticTextNbPoints");
    firstDate_ = ValueField("StaticTextFirstDate");
    historyForm->addRow(captionNbPoints_, nbPoints_);
    historyForm->addRow(captionFirstDate_, firstDate_);
    left->addWidget(historyBox_);
    left->addStretch(1);
    outer->addLayout(left);

    resultBox_ = new QGroupBox;
    auto* right = new QVBoxLayout(resultBox_);
    auto* fields = new QGridLayout;
    auto addField = [fields](int row, int column, QLabel*& caption, QLabel*& value, const char* name) {
        caption = new QLabel;
        value = ValueField(name);
        fields->addWidget(caption, row, column);
        fields->addWidget(value, row, column + 1);
    };
    addField(0, 0, captionDebStat_, debStat_, "StaticTextDebStat");
    addField(1, 0, captionFinStat_, finStat_, "StaticTextFinStat");
    addField(2, 0, captionNbEch_, nbEch_, "StaticTextNbEch");
    addField(0, 2, captionMes_, mes_, "StaticTextMes");
    addField(1, 2, captionMesNight_, mesNight_, "StaticTextMesNight");
    addField(2, 2, captionMesDay_, mesDay_, "StaticTextMesDay");
    fields->setColumnStretch(4, 1);
    right->addLayout(fields);

    grid_ = new QTableWidget(StatsGridRows - 1, StatsGridColumns - 1);
    grid_->setObjectName("StringGridResultsSTAT");
    grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid_->setSelectionMode(QAbstractItemView::NoSelection);
    grid_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    grid_->verticalHeader()->setMinimumWidth(220);
    grid_->verticalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    grid_->verticalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    for (int r = 1; r < StatsGridRows; ++r)
        for (int c = 1; c < StatsGridColumns; ++c) {
            auto* item = new QTableWidgetItem;
            item->setTextAlignment(Qt::AlignCenter);
            grid_->setItem(r - 1, c - 1, item);
        }
    right->addWidget(grid_, 1);
    outer->addWidget(resultBox_, 1);

    TDateTime deb = 0, fin = 0;
    ReadStoredRange(deb, fin);
    SetRange(deb, fin);
    RetranslateUi();
    ShowHistorySize();
    history_.AddListener(this);
}

TStatsTab::~TStatsTab() {
    history_.RemoveListener(this);
}

TDateTime TStatsTab::RangeStart() const {
    return DayStart(calendarDeb_->selectedDate()) + timeDeb_;
}

TDateTime TStatsTab::RangeEnd() const {
    // Today ends now: the rest of the day has no data yet and would count as time without clear sky.
    const QDate last = calendarFin_->selectedDate();
    if (last == ToQDate(Now())) return Now();
    return DayStart(last) + timeFin_;
}

void TStatsTab::SetRange(TDateTime first, TDateTime last) {
    calendarDeb_->setSelectedDate(ToQDate(first));
    calendarFin_->setSelectedDate(ToQDate(last));
    timeDeb_ = TimeOfDay(first);
    timeFin_ = TimeOfDay(last);
}

void TStatsTab::Compute() {
    const TDateTime deb = RangeStart(), fin = RangeEnd();
    WriteStatsRange(deb, fin);
    result_ = ComputeStatistics(history_.Records(), deb, fin, SetupInfos.SeuilCloudy, SetupInfos.SeuilDawn);
    debStat_->setText(Q(DateText(deb)));
    finStat_->setText(Q(DateText(fin)));
    nbEch_->setText(QString::number(result_.IntervalCount));
    // Too few intervals say nothing: what was shown stays.
    if (!StatsFillGrid(result_)) return;
    shown_ = result_;
    computed_ = true;
    ShowResult();
}

void TStatsTab::ShowResult() {
    mes_->setText(Q(StatsDaysText(shown_.Period)));
    mesNight_->setText(Q(StatsDaysText(shown_.NightDuration)));
    mesDay_->setText(Q(StatsDaysText(shown_.DayDuration)));
    const TStatsGrid texts = StatsGridTexts(shown_);
    for (int r = 1; r < StatsGridRows; ++r)
        for (int c = 1; c < StatsGridColumns; ++c)
            grid_->item(r - 1, c - 1)->setText(Q(texts[r][c]));
}

void TStatsTab::ShowHistorySize() {
    if (history_.Empty()) {
        nbPoints_->setText(QStringLiteral("?"));
        firstDate_->setText(QStringLiteral("?"));
        return;
    }
    nbPoints_->setText(QString::number(history_.Size()));
    firstDate_->setText(Q(DateTimeText(history_.Records().front().DateSysteme)));
}

void TStatsTab::RetranslateUi() {
    rangeBox_->setTitle(tr("Période"));
    captionDeb_->setText(tr("Date de début"));
    captionFin_->setText(tr("Date de fin"));
    computeButton_->setText(tr("Calculer statistiques ...."));
    historyBox_->setTitle(tr("Données en mémoire"));
    captionNbPoints_->setText(tr("Nbre de points"));
    captionFirstDate_->setText(tr("Premier point"));
    resultBox_->setTitle(tr("Résultats"));
    captionDebStat_->setText(tr("Début"));
    captionFinStat_->setText(tr("Fin"));
    captionNbEch_->setText(tr("Nbre d'intervalles"));
    captionMes_->setText(tr("Période"));
    captionMesNight_->setText(tr("Nuit"));
    captionMesDay_->setText(tr("Jour"));
    // Titles of the grid's rows and columns, and a shown result, in the language of the moment.
    const TStatsGrid texts = StatsGridTexts(shown_);
    QStringList columns, rows;
    for (int c = 1; c < StatsGridColumns; ++c)
        columns << Q(texts[0][c]);
    for (int r = 1; r < StatsGridRows; ++r)
        rows << Q(texts[r][0]);
    grid_->setHorizontalHeaderLabels(columns);
    grid_->setVerticalHeaderLabels(rows);
    if (computed_) ShowResult();
}

void TStatsTab::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::LanguageChange) RetranslateUi();
}
