#include "DataTableTab.h"

#include <algorithm>
#include <QEvent>
#include <QFileDialog>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

#include "CsvExport.h"
#include "HistoryEdits.h"
#include "NumberEdit.h"
#include "Records.h"

namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

} // namespace

// ---- Model --------------------------------------------------------------------------------------

TDataTableModel::TDataTableModel(const THistoryStore& history, QObject* parent)
    : QAbstractTableModel(parent), history_(history) {}

void TDataTableModel::Rebuild(const TDataTableOptions& options) {
    beginResetModel();
    options_ = options;
    window_ = TDataTableWindow(history_, options_);
    titles_ = DataTableTitles(options_);
    cachedRow_ = -1;
    endResetModel();
}

int TDataTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(window_.Rows());
}

int TDataTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : DataTableColumns;
}

const TDataTableRow* TDataTableModel::Row(int row) const {
    if (row < 0 || static_cast<size_t>(row) >= window_.Rows()) return nullptr;
    const size_t index = window_.RecordIndex(static_cast<size_t>(row));
    if (index >= history_.Size()) return nullptr; // the history shrank before the rebuild
    if (row != cachedRow_) {
        cached_ = DataTableRowTexts(history_.Records()[index], index + 1, options_);
        cachedRow_ = row;
    }
    return &cached_;
}

QVariant TDataTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(index.column() <= 1 ? Qt::AlignLeft | Qt::AlignVCenter
                                                       : Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole) return {};
    const TDataTableRow* row = Row(index.row());
    return row ? Q((*row)[static_cast<size_t>(index.column())]) : QVariant();
}

QVariant TDataTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= DataTableColumns)
        return {};
    return Q(titles_[static_cast<size_t>(section)]);
}

// ---- Tab ----------------------------------------------------------------------------------------

TDataTableTab::TDataTableTab(THistoryStore& history, std::function<void(const QString&)> message,
                             std::function<bool(const QString&)> ask, QWidget* parent)
    : QWidget(parent), history_(history), message_(std::move(message)), ask_(std::move(ask)) {
    setObjectName("TabSheetDatas");
    auto* outer = new QVBoxLayout(this);
    countLabel_ = new QLabel;
    countLabel_->setObjectName("Label7");
    limitLabel_ = new QLabel;
    limitLabel_->setObjectName("LabelLimit");
    QPalette warn = limitLabel_->palette();
    warn.setColor(QPalette::WindowText, QColor(200, 0, 0));
    limitLabel_->setPalette(warn);
    limitLabel_->hide();
    auto* top = new QHBoxLayout;
    top->addWidget(countLabel_);
    top->addWidget(limitLabel_);
    top->addStretch(1);
    outer->addLayout(top);

    model_ = new TDataTableModel(history_, this);
    view_ = new QTableView;
    view_->setObjectName("StringGrid");
    view_->setModel(model_);
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->setSelectionMode(QAbstractItemView::SingleSelection);
    view_->setAlternatingRowColors(true);
    view_->verticalHeader()->hide();
    // Fixed row heights: the view never measures 200000 rows.
    view_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view_->verticalHeader()->setDefaultSectionSize(view_->fontMetrics().height() + 6);
    view_->horizontalHeader()->setStretchLastSection(true);
    connect(
        view_->selectionModel(), &QItemSelectionModel::currentChanged, this,
        [this](const QModelIndex& current) { IndexTableSelected_ = current.isValid() ? current.row() : -1; });
    outer->addWidget(view_, 1);

    auto* bottom = new QGridLayout;
    startCaption_ = new QLabel;
    endCaption_ = new QLabel;
    indexStart_ = new TNumberEdit;
    indexStart_->setText(QStringLiteral("1"));
    indexStart_->setObjectName("NumberEditIndexDp");
    indexEnd_ = new TNumberEdit;
    indexEnd_->setText(QStringLiteral("100"));
    indexEnd_->setObjectName("NumberEditIndexArr");
    for (TNumberEdit* e : {indexStart_, indexEnd_}) {
        e->SetTypeValue(TTypeValue::Int);
        e->SetRange(1, 1000000000);
        e->setMaximumWidth(110);
    }
    startButton_ = new QToolButton;
    startButton_->setObjectName("BitBtnIndexDebut");
    endButton_ = new QToolButton;
    endButton_->setObjectName("BitBtnIndexFin");
    for (QToolButton* b : {startButton_, endButton_})
        b->setArrowType(Qt::LeftArrow);
    connect(startButton_, &QToolButton::clicked, this, [this] { CopySelectedIndex(indexStart_); });
    connect(endButton_, &QToolButton::clicked, this, [this] { CopySelectedIndex(indexEnd_); });
    deleteButton_ = new QPushButton;
    deleteButton_->setObjectName("ButtonGoDeleteData");
    connect(deleteButton_, &QPushButton::clicked, this, &TDataTableTab::DeleteRange);
    cleanButton_ = new QPushButton;
    cleanButton_->setObjectName("ButtonCleanData");
    connect(cleanButton_, &QPushButton::clicked, this, &TDataTableTab::CleanData);
    firstCaption_ = new QLabel;
    firstData_ = new QLabel(QStringLiteral("?"));
    firstData_->setObjectName("StaticTextFirst_Data");
    firstData_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    firstData_->setMinimumWidth(140);

    bottom->addWidget(startCaption_, 0, 0);
    bottom->addWidget(indexStart_, 0, 1);
    bottom->addWidget(startButton_, 0, 2);
    bottom->addWidget(endCaption_, 1, 0);
    bottom->addWidget(indexEnd_, 1, 1);
    bottom->addWidget(endButton_, 1, 2);
    bottom->addWidget(deleteButton_, 0, 3, 2, 1);
    bottom->setColumnMinimumWidth(4, 30);
    bottom->addWidget(cleanButton_, 0, 5, 2, 1);
    bottom->setColumnStretch(6, 1);
    bottom->addWidget(firstCaption_, 0, 7);
    bottom->addWidget(firstData_, 1, 7);
    outer->addLayout(bottom);

    RetranslateUi();
    history_.AddListener(this);
}

TDataTableTab::~TDataTableTab() {
    history_.RemoveListener(this);
}

void TDataTableTab::SetSkyMinusGround(bool skyMinusGround) {
    if (skyMinusGround_ == skyMinusGround) return;
    skyMinusGround_ = skyMinusGround;
    if (isVisible()) Rebuild();
}

void TDataTableTab::Rebuild() {
    IndexTableSelected_ = -1;
    TDataTableOptions options;
    options.MagniDisplay = SetupInfos.MagniDisplay;
    options.SkyMinusGround = skyMinusGround_;
    options.UnitMph = SetupInfos.Unit_Mph;
    options.RangeDateDisplay = SetupInfos.RangeDateDisplay;
    model_->Rebuild(options);
    FitColumns();
    const TDataTableWindow& window = model_->Window();
    countLabel_->setText(Q(DataTableCountText(options.RangeDateDisplay, window.RecentCount())));
    limitLabel_->setVisible(window.Limited());
    firstData_->setText(history_.Empty() ? QStringLiteral("?")
                                         : Q(DateTimeText(history_.Records().front().DateSysteme)));
}

// Widths from the font in use (never from the rows: there may be 200000 of them): the wider of the
// title and a typical text, at least the 125 and 75 pixels of the original layout.
void TDataTableTab::FitColumns() {
    const QFontMetrics metrics = view_->fontMetrics();
    const QFontMetrics headerMetrics = view_->horizontalHeader()->fontMetrics();
    const TDataTableRow titles = DataTableTitles(model_->Options());
    for (int c = 0; c < DataTableColumns - 1; ++c) {
        const QString sample = c == 0   ? QStringLiteral("0000000")
                               : c == 1 ? QStringLiteral("00/00/0000 00:00:00")
                                        : QStringLiteral("-000.00");
        const int width =
            std::max(metrics.horizontalAdvance(sample), headerMetrics.horizontalAdvance(Q(titles[c]))) + 16;
        view_->setColumnWidth(c, std::max(width, c == 1 ? 125 : 75));
    }
}

void TDataTableTab::CopySelectedIndex(QLineEdit* field) {
    if (IndexTableSelected_ < 0) return;
    const QVariant text = model_->data(model_->index(IndexTableSelected_, 0));
    if (text.isValid()) field->setText(text.toString());
}

void TDataTableTab::DeleteRange() {
    // Checked again here: the button may be pressed without leaving the field.
    const TNumberEntry first = indexStart_->Check(), last = indexEnd_->Check();
    for (const TNumberEntry* entry : {&first, &last})
        if (!entry->Ok || entry->Empty) {
            message_(entry->Ok ? tr("Les index de départ et d'arrivée doivent être des nombres entiers.")
                               : Q(entry->Message));
            return;
        }
    const auto start = static_cast<qlonglong>(first.Value), end = static_cast<qlonglong>(last.Value);
    const TIndexRangeCheck check = CheckIndexRange(history_, start, end);
    if (!check.Allowed()) {
        message_(Q(check.Refusal));
        return;
    }
    if (!ask_(Q(DeleteQuestion(check)))) return;
    try {
        DeleteIndexRange(history_, start, end);
    } catch (const std::exception& e) {
        message_(Q(e.what()));
    }
    Rebuild();
}

void TDataTableTab::CleanData() {
    try {
        CleanWindValues(history_);
    } catch (const std::exception& e) {
        message_(Q(e.what()));
    }
    Rebuild();
}

void TDataTableTab::ExportCsv() {
    const QString chosen = QFileDialog::getSaveFileName(this, tr("Exporter les données en CSV"), {},
                                                        tr("Fichier CSV (*.CSV *.csv)"));
    if (chosen.isEmpty()) return;
    ExportCsvTo(chosen);
}

QString TDataTableTab::ExportCsvTo(const QString& chosen) {
    const std::string path = CsvFileName(chosen.toStdString());
    const auto& records = history_.Records();
    const size_t first = history_.FirstInDisplayRange(SetupInfos.RangeDateDisplay);
    const TCsvExportResult result =
        ExportCsvFile(path, std::span(records.data() + first, records.size() - first), SetupInfos);
    if (!result.Succeeded()) message_(Q(result.Text));
    return Q(path);
}

void TDataTableTab::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    Rebuild();
}

void TDataTableTab::RetranslateUi() {
    startCaption_->setText(tr("Index de départ"));
    endCaption_->setText(tr("Index de d'arrivée"));
    for (QToolButton* b : {startButton_, endButton_})
        b->setToolTip(tr("Recupère l'index courant"));
    deleteButton_->setText(tr("Executer"));
    cleanButton_->setText(tr("Nettoyer données"));
    cleanButton_->setToolTip(
        tr("Met à 0 les vitesses de vent négatives, invalides ou supérieures à 100 m/s"));
    firstCaption_->setText(tr("Premier point"));
    limitLabel_->setText(Q(DataTableLimitText()));
    // Titles and texts of the rows follow the language of the moment.
    if (isVisible()) Rebuild();
    countLabel_->setText(Q(DataTableCountText(SetupInfos.RangeDateDisplay, model_->Window().RecentCount())));
}

void TDataTableTab::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::LanguageChange) RetranslateUi();
}
