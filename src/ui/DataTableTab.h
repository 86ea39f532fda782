// The "Table" tab: the recent records of the history, newest first, in a model that makes each row
// when it is shown (a table of 200000 rows opens at once); deletion of a range of records by index,
// cleaning of implausible gusts, and the CSV export of the same recent records.
#pragma once

#include <functional>
#include <QAbstractTableModel>
#include <QWidget>

#include "DataTable.h"
#include "HistoryStore.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class QToolButton;
class TNumberEdit;

// The rows of the table over the history; rebuilt whole by Rebuild().
class TDataTableModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    explicit TDataTableModel(const THistoryStore& history, QObject* parent = nullptr);

    void Rebuild(const TDataTableOptions& options);
    const TDataTableWindow& Window() const { return window_; }
    const TDataTableOptions& Options() const { return options_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

  private:
    const TDataTableRow* Row(int row) const;

    const THistoryStore& history_;
    TDataTableWindow window_;
    TDataTableOptions options_;
    TDataTableRow titles_;
    // The texts of the row last asked for: a view asks for every cell of a row in turn.
    mutable int cachedRow_ = -1;
    mutable TDataTableRow cached_;
};

class TDataTableTab : public QWidget, private THistoryListener {
    Q_OBJECT
  public:
    // message shows a text to the user; ask asks a Yes/No question (true: Yes).
    TDataTableTab(THistoryStore& history, std::function<void(const QString&)> message,
                  std::function<bool(const QString&)> ask, QWidget* parent = nullptr);
    ~TDataTableTab() override;

    // Rebuilds the table from the history (when the tab is shown, and after each change).
    void Rebuild();
    // The sky column: sky minus ambient (the default), or the sky temperature.
    void SetSkyMinusGround(bool skyMinusGround);

    // Button "Executer": deletes the records of the two index fields, after confirmation.
    void DeleteRange();
    // Button "Nettoyer données".
    void CleanData();
    // Menu "Exporter les données en CSV": asks for the file, then ExportCsvTo.
    void ExportCsv();
    // Writes the recent records to CsvFileName(chosen); a failure is shown. Returns the file's name.
    QString ExportCsvTo(const QString& chosen);

    // Row of the table last selected by the user, −1 when none (reset by each rebuild).
    int IndexTableSelected() const { return IndexTableSelected_; }
    TDataTableModel& Model() { return *model_; }
    QTableView* View() const { return view_; }

  protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    void RetranslateUi();
    void CopySelectedIndex(QLineEdit* field);
    void FitColumns();
    void RecordsAppended(size_t, size_t) override {}
    void RecordsRemoved(size_t, size_t) override { Rebuild(); }
    void RecordsChanged() override { Rebuild(); }

    THistoryStore& history_;
    std::function<void(const QString&)> message_;
    std::function<bool(const QString&)> ask_;
    TDataTableModel* model_ = nullptr;
    bool skyMinusGround_ = true;
    int IndexTableSelected_ = -1;

    QTableView* view_ = nullptr;
    QLabel *countLabel_ = nullptr, *limitLabel_ = nullptr, *firstCaption_ = nullptr, *firstData_ = nullptr;
    QLabel *startCaption_ = nullptr, *endCaption_ = nullptr;
    TNumberEdit *indexStart_ = nullptr, *indexEnd_ = nullptr;
    QToolButton *startButton_ = nullptr, *endButton_ = nullptr;
    QPushButton *deleteButton_ = nullptr, *cleanButton_ = nullptr;
};
