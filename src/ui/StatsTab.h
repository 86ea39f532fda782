// The "Statistiques" tab: a date range chosen on two month calendars, the observing statistics of
// the history over it, and the size of the history ("Nbre de points", "Premier point").
#pragma once

#include <QWidget>

#include "HistoryStore.h"
#include "Statistics.h"

class QCalendarWidget;
class QGroupBox;
class QLabel;
class QPushButton;
class QTableWidget;

class TStatsTab : public QWidget, private THistoryListener {
    Q_OBJECT
  public:
    // Reads the range stored by the last computation (default: the last five days).
    explicit TStatsTab(const THistoryStore& history, QWidget* parent = nullptr);
    ~TStatsTab() override;

    // The range of the calendars, as the computation uses it: date-times, each day chosen on its
    // calendar at the time of day of the range set (the stored range, by default now − 5 days to
    // now); a range ending today ends now.
    TDateTime RangeStart() const;
    TDateTime RangeEnd() const;
    void SetRange(TDateTime first, TDateTime last);

    // Button "Calculer statistiques ....": stores the range, computes, shows.
    void Compute();
    const StatsResult& LastResult() const { return result_; }

  protected:
    void changeEvent(QEvent* event) override;

  private:
    void RetranslateUi();
    void ShowResult();
    void ShowHistorySize();
    void RecordsAppended(size_t, size_t) override { ShowHistorySize(); }
    void RecordsRemoved(size_t, size_t) override { ShowHistorySize(); }
    void RecordsChanged() override { ShowHistorySize(); }

    const THistoryStore& history_;
    StatsResult result_; // the last computed
    StatsResult shown_;  // the last with more than five intervals, in the grid
    bool computed_ = false;
    double timeDeb_ = 0, timeFin_ = 0; // the times of day of the calendars' date-times
    QCalendarWidget *calendarDeb_ = nullptr, *calendarFin_ = nullptr;
    QPushButton* computeButton_ = nullptr;
    QGroupBox *rangeBox_ = nullptr, *resultBox_ = nullptr, *historyBox_ = nullptr;
    QLabel *captionDeb_ = nullptr, *captionFin_ = nullptr, *captionDebStat_ = nullptr,
           *captionFinStat_ = nullptr, *captionNbEch_ = nullptr, *captionMes_ = nullptr,
           *captionMesNight_ = nullptr, *captionMesDay_ = nullptr, *captionNbPoints_ = nullptr,
           *captionFirstDate_ = nullptr;
    QLabel *debStat_ = nullptr, *finStat_ = nullptr, *nbEch_ = nullptr, *mes_ = nullptr, *mesNight_ = nullptr,
           *mesDay_ = nullptr, *nbPoints_ = nullptr, *firstDate_ = nullptr;
    QTableWidget* grid_ = nullptr;
};
