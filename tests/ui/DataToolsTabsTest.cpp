// The statistics and table tabs over a real history: the grid kept at five intervals or fewer, the
// range stored, the table newest first with its selection and index buttons, a deletion asked for
// and refused, and the export's ".csv" rule.
#include <gtest/gtest.h>

#include <QCalendarWidget>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>
#include <QTableWidget>
#include <QToolButton>

#include "DatabaseRegistry.h"
#include "DataTableTab.h"
#include "HistoryStore.h"
#include "NumberEdit.h"
#include "SettingsTable.h"
#include "StatsTab.h"
#include "TestSupport.h"

namespace {

TcapteursInfos Rec(TDateTime date, float delta) {
    TcapteursInfos r{};
    r.DateSysteme = date;
    r.DeltaTempDeg = delta;
    r.ValueTempDeg = 10;
    r.Humidity = 50;
    r.ValidLight = 1;
    r.Lumex = -2;
    return r;
}

class DataToolsTabsTest : public SandboxTest {
  protected:
    void SetUp() override {
        SandboxTest::SetUp();
        SetupInfos.SeuilCloudy = -20;
        SetupInfos.SeuilDawn = 14;
        SetupInfos.RangeDateDisplay = 1;
        store_ = std::make_unique<THistoryStore>(PathDatas);
    }
    void Add(TDateTime first, int count, float delta) {
        for (int i = 0; i < count; ++i)
            store_->Append(Rec(first + i / 1440.0, delta));
    }
    std::unique_ptr<THistoryStore> store_;
};

TEST_F(DataToolsTabsTest, StatisticsGridKeptAtFiveIntervalsOrFewer) {
    const TDateTime day = EncodeDateTime(2014, 3, 10);
    Add(day + 0.5, 7, -25);
    TStatsTab tab(*store_);
    EXPECT_EQ(tab.findChild<QLabel*>("StaticTextNbPoints")->text(), "7");
    tab.SetRange(day, day + 1);
    tab.Compute();
    auto* grid = tab.findChild<QTableWidget*>("StringGridResultsSTAT");
    EXPECT_EQ(grid->item(1, 0)->text(), "0.4 %");   // six clear minutes of a whole day
    EXPECT_EQ(grid->item(1, 1)->text(), "100.0 %"); // of the six night minutes
    EXPECT_EQ(tab.findChild<QLabel*>("StaticTextMes")->text(), "1.00 Jrs");

    // Another day with six records: the count shows, the grid and the durations stay.
    Add(day + 1.5, 6, -5);
    tab.SetRange(day + 1, day + 2);
    tab.Compute();
    EXPECT_EQ(tab.findChild<QLabel*>("StaticTextNbEch")->text(), "5");
    EXPECT_EQ(grid->item(1, 1)->text(), "100.0 %");
    EXPECT_EQ(tab.findChild<QLabel*>("StaticTextDebStat")->text(), "11/03/2014");

    // The range is stored and comes back with the next tab.
    TStatsTab again(*store_);
    EXPECT_EQ(again.findChild<QCalendarWidget*>("MonthCalendardeb")->selectedDate(), QDate(2014, 3, 11));
    EXPECT_DOUBLE_EQ(again.RangeStart(), day + 1);
}

// The calendars hold date-times: by default now − 5 days to now, and a range ending today ends now.
// Six days of a sky clear all the time, looked at at noon.
TEST_F(DataToolsTabsTest, StatisticsRangeEndsNow) {
    const TDateTime noon = EncodeDateTime(2026, 12, 9, 12);
    SetClockForTests([noon] { return noon; });
    for (int i = 6 * 144; i >= 0; --i)
        store_->Append(Rec(noon - i / 144.0, -25));
    TStatsTab tab(*store_);
    EXPECT_NEAR(tab.RangeStart(), noon - 5, 1e-9);
    EXPECT_NEAR(tab.RangeEnd(), noon, 1e-9);
    const struct {
        TDateTime First, Last;
        const char* Period;
    } cases[] = {
        {noon - 5, noon, "5.00 Jrs"},
        {noon - 6, noon, "6.00 Jrs"},
        {noon - 6, noon - 1, "5.00 Jrs"},    // another day keeps its time of day
        {noon - 6, noon - 0.25, "6.00 Jrs"}, // today, earlier in the day: still now
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Period);
        tab.SetRange(c.First, c.Last);
        tab.Compute();
        EXPECT_EQ(tab.findChild<QLabel*>("StaticTextMes")->text(), c.Period);
        EXPECT_EQ(tab.findChild<QTableWidget*>("StringGridResultsSTAT")->item(1, 0)->text(), "100.0 %");
    }
    SetClockForTests({});
}

TEST_F(DataToolsTabsTest, TableDeletionAndExport) {
    QStringList messages, questions;
    bool answer = false;
    TDataTableTab tab(
        *store_, [&](const QString& m) { messages << m; },
        [&](const QString& q) {
            questions << q;
            return answer;
        });
    tab.Rebuild(); // an empty history: nothing to show
    EXPECT_EQ(tab.Model().rowCount(), 0);

    Add(EncodeDateTime(2014, 3, 10, 12), 10, -25);
    tab.Rebuild();
    ASSERT_EQ(tab.Model().rowCount(), 10);
    EXPECT_EQ(tab.Model().data(tab.Model().index(0, 0)).toString(), "10"); // newest first
    EXPECT_EQ(tab.Model().headerData(5, Qt::Horizontal).toString(), "Lumière");
    EXPECT_EQ(tab.findChild<QLabel*>("Label7")->text(),
              "Affichage des données des 1 dernier(s) jour(s) : 10 données");

    // Row 2 (record 8) becomes the start, row 0 (record 10) the end.
    tab.View()->setCurrentIndex(tab.Model().index(2, 1));
    EXPECT_EQ(tab.IndexTableSelected(), 2);
    tab.findChild<QToolButton*>("BitBtnIndexDebut")->click();
    tab.View()->setCurrentIndex(tab.Model().index(0, 1));
    tab.findChild<QToolButton*>("BitBtnIndexFin")->click();
    EXPECT_EQ(tab.findChild<QLineEdit*>("NumberEditIndexDp")->text(), "8");
    EXPECT_EQ(tab.findChild<QLineEdit*>("NumberEditIndexArr")->text(), "10");

    tab.DeleteRange(); // answered No
    ASSERT_EQ(questions.size(), 1);
    EXPECT_EQ(questions[0],
              "Supprimer définitivement 3 donnée(s), du 10/03/2014 12:07:00 au 10/03/2014 12:09:00 ?");
    EXPECT_EQ(store_->Size(), 10u);
    answer = true;
    tab.DeleteRange();
    EXPECT_EQ(store_->Size(), 7u);
    EXPECT_EQ(tab.Model().rowCount(), 7);
    EXPECT_EQ(tab.IndexTableSelected(), -1);

    tab.findChild<QLineEdit*>("NumberEditIndexArr")->setText("8");
    tab.DeleteRange();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0], "Index d'arrivée supérieur au nombre de points !!");
    EXPECT_EQ(questions.size(), 2);

    // The index fields are numeric fields: a formula is a number, a text or a zero is refused.
    for (const char* name : {"NumberEditIndexDp", "NumberEditIndexArr"})
        ASSERT_NE(tab.findChild<TNumberEdit*>(name), nullptr) << name;
    const struct {
        const char *Start, *End, *Message;
    } refused[] = {
        {"un", "7", nullptr}, // the formula's own message
        {"0", "7", "Nombre trop petit par rapport à  :1"},
        {"1", "2000000000", "Nombre trop grand par rapport à :1000000000"},
    };
    for (const auto& c : refused) {
        tab.findChild<QLineEdit*>("NumberEditIndexDp")->setText(c.Start);
        tab.findChild<QLineEdit*>("NumberEditIndexArr")->setText(c.End);
        const auto before = messages.size();
        tab.DeleteRange();
        ASSERT_EQ(messages.size(), before + 1) << c.Start << " " << c.End;
        if (c.Message) {
            EXPECT_EQ(messages.back(), c.Message) << c.Start << " " << c.End;
        }
    }
    EXPECT_EQ(questions.size(), 2);
    tab.findChild<QLineEdit*>("NumberEditIndexDp")->setText("2*3");
    tab.findChild<QLineEdit*>("NumberEditIndexArr")->setText("7");
    tab.DeleteRange();
    EXPECT_EQ(store_->Size(), 5u); // records 6 and 7

    const QString written = tab.ExportCsvTo(QString::fromStdString(Root() + "data.txt"));
    EXPECT_EQ(written.toStdString(), Root() + "data.txt.csv");
    EXPECT_EQ(SplitLines(ReadWholeFile(written.toStdString())).size(), 1u + 5u); // the header, 5 records
}

} // namespace
