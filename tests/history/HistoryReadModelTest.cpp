// What the views of the history read from the store: change notices, range removal, the displayable
// tail, plotted values and the per-column minima and maxima of dense plots.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "HistoryStore.h"
#include "HistoryTestRecords.h"
#include "TestSupport.h"
#include "UserText.h"

namespace fs = std::filesystem;

namespace {

using history_test::At;
using history_test::FileBytes;
using history_test::Record;
using history_test::Series;

TTDataStation Slice(const TTDataStation& records, size_t from, size_t to) {
    return TTDataStation(records.begin() + static_cast<ptrdiff_t>(from),
                         records.begin() + static_cast<ptrdiff_t>(to));
}

// Each notice as text, with the size of the store when it came (a listener reads the store).
class TRecorder : public THistoryListener {
  public:
    explicit TRecorder(const THistoryStore& store) : store_(store) {}
    void RecordsAppended(size_t first, size_t count) override { Add("appended", first, count); }
    void RecordsRemoved(size_t first, size_t count) override { Add("removed", first, count); }
    void RecordsChanged() override { Events.push_back("changed size " + std::to_string(store_.Size())); }
    std::vector<std::string> Take() { return std::exchange(Events, {}); }
    std::vector<std::string> Events;

  private:
    void Add(const char* what, size_t first, size_t count) {
        Events.push_back(std::string(what) + " " + std::to_string(first) + " " + std::to_string(count) +
                         " size " + std::to_string(store_.Size()));
    }
    const THistoryStore& store_;
};

using Events = std::vector<std::string>;

class HistoryReadModelTest : public SandboxTest {
  protected:
    void SetClock(TDateTime now) {
        SetClockForTests([now] { return now; });
    }
    std::string Month(int year, int month) const { return PathDatas + MonthFileName(year, month); }
};

} // namespace

// ---- Change notices ---------------------------------------------------------------------------

TEST_F(HistoryReadModelTest, ListenersHearEachAppendOnceWithItsAddedRecords) {
    SetClock(At(2026, 12, 10));
    THistoryStore store(PathDatas);
    TRecorder recorder(store);
    store.AddListener(&recorder);

    const TTDataStation first = Series(At(2026, 12, 1), 5, 60);
    store.Append(first);
    EXPECT_EQ(recorder.Take(), Events{"appended 0 5 size 5"});

    store.Append(Record(At(2026, 12, 2)));
    EXPECT_EQ(recorder.Take(), Events{"appended 5 1 size 6"});

    // Copies are dropped, older records set aside: only the added ones are told, in one notice.
    TTDataStation mixed = {first[2], Record(At(2026, 12, 3)), Record(At(2026, 11, 30)),
                           Record(At(2026, 12, 4)), Record(At(2026, 12, 4))};
    const TAppendTally tally = store.Append(mixed);
    EXPECT_EQ(tally.Added, 2);
    EXPECT_EQ(recorder.Take(), Events{"appended 6 2 size 8"});

    // Nothing added, nothing told.
    store.Append(first);
    store.Append(Record(At(1999, 1, 1)));
    EXPECT_EQ(recorder.Take(), Events{});

    store.RemoveListener(&recorder);
    store.Append(Record(At(2026, 12, 5)));
    EXPECT_EQ(recorder.Take(), Events{});
}

// A record of a month not read yet brings that month's file in. Placed before the records held, it
// changes what every index names; placed after them, it is an append like any other.
TEST_F(HistoryReadModelTest, MonthReadOnDemandIsToldAsChangeOrAppend) {
    const TTDataStation november = Series(At(2026, 11, 20), 10, 60);
    const TTDataStation december = Series(At(2026, 12, 1), 10, 60, 100);
    WriteWholeFile(Month(2026, 11), FileBytes(november));
    WriteWholeFile(Month(2026, 12), FileBytes(december));
    SetClock(At(2026, 12, 10));

    THistoryStore store(PathDatas);
    TRecorder recorder(store);
    store.AddListener(&recorder);
    store.Load(1);
    EXPECT_EQ(recorder.Take(), Events{"changed size 10"});

    // Older than the newest record: set aside, but its month is read and merged before the others.
    EXPECT_EQ(store.Append(Record(At(2026, 11, 25))), TAppendResult::SetAside);
    EXPECT_EQ(recorder.Take(), Events{"changed size 20"});
    EXPECT_EQ(store.Records().front().DateSysteme, november.front().DateSysteme);

    // The history of November only, then a December record: December's file follows November.
    THistoryStore later(PathDatas);
    TRecorder laterRecorder(later);
    SetClock(At(2026, 11, 30));
    later.Load(1);
    later.AddListener(&laterRecorder);
    SetClock(At(2026, 12, 10));
    later.Append(Record(At(2026, 12, 5)));
    EXPECT_EQ(laterRecorder.Take(), Events{"appended 10 11 size 21"});
}

TEST_F(HistoryReadModelTest, LoadClearAndRemovalAreTold) {
    SetClock(At(2026, 12, 10));
    THistoryStore store(PathDatas);
    TRecorder recorder(store);
    store.AddListener(&recorder);

    store.Load(3); // no month file: nothing changed
    EXPECT_EQ(recorder.Take(), Events{});

    store.Append(Series(At(2026, 12, 1), 10, 60));
    recorder.Take();
    const auto& r = store.Records();
    EXPECT_EQ(store.RemoveRange(r[3].DateSysteme, r[5].DateSysteme), 3u);
    EXPECT_EQ(recorder.Take(), Events{"removed 3 3 size 7"});
    EXPECT_EQ(store.RemoveRange(At(2026, 11, 1), At(2026, 11, 2)), 0u);
    EXPECT_EQ(recorder.Take(), Events{});

    store.Clear();
    EXPECT_EQ(recorder.Take(), Events{"removed 0 7 size 0"});
    store.Clear();
    EXPECT_EQ(recorder.Take(), Events{});
}

// A listener may leave (or let another leave) while being told; those left are still told.
TEST_F(HistoryReadModelTest, ListenerRemovedWhileBeingToldIsNotCalledAgain) {
    SetClock(At(2026, 12, 10));
    THistoryStore store(PathDatas);
    struct TLeaving : TRecorder {
        using TRecorder::TRecorder;
        THistoryStore* Store = nullptr;
        THistoryListener* AlsoRemove = nullptr;
        void RecordsAppended(size_t first, size_t count) override {
            TRecorder::RecordsAppended(first, count);
            Store->RemoveListener(this);
            if (AlsoRemove) Store->RemoveListener(AlsoRemove);
        }
    };
    TLeaving leaving(store);
    TRecorder removedByOther(store), staying(store);
    leaving.Store = &store;
    leaving.AlsoRemove = &removedByOther;
    store.AddListener(&leaving);
    store.AddListener(&removedByOther);
    store.AddListener(&staying);
    store.AddListener(&staying); // once only

    store.Append(Record(At(2026, 12, 1)));
    store.Append(Record(At(2026, 12, 2)));
    EXPECT_EQ(leaving.Take(), Events{"appended 0 1 size 1"});
    EXPECT_EQ(removedByOther.Take(), Events{});
    EXPECT_EQ(staying.Take(), (Events{"appended 0 1 size 1", "appended 1 1 size 2"}));
}

// ---- Range removal ----------------------------------------------------------------------------

TEST_F(HistoryReadModelTest, RemoveRangeTakesBothEndsAndNothingOutside) {
    SetClock(At(2026, 12, 10));
    const TTDataStation records = Series(At(2026, 12, 1), 10, 60);
    const auto date = [&](size_t i) { return records[i].DateSysteme; };
    const double second = 1.0 / 86400;
    struct Case {
        const char* name;
        TDateTime from, to;
        size_t first, count;
    };
    const Case cases[] = {
        {"exact dates", date(2), date(4), 2, 3},
        {"between records", date(2) + second, date(4) - second, 3, 1},
        {"one record", date(7), date(7), 7, 1},
        {"from before the first", date(0) - 1, date(1), 0, 2},
        {"to after the last", date(8), date(9) + 1, 8, 2},
        {"everything", date(0) - 1, date(9) + 1, 0, 10},
        {"between two records", date(3) + second, date(4) - second, 4, 0},
        {"before the first", date(0) - 2, date(0) - 1, 0, 0},
        {"after the last", date(9) + 1, date(9) + 2, 10, 0},
        {"to before from", date(5), date(4), 0, 0},
        {"not a number", std::nan(""), date(9), 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        THistoryStore store(PathDatas);
        store.Append(records);
        store.SaveChanged();
        EXPECT_EQ(store.RemoveRange(c.from, c.to), c.count);
        TTDataStation expected = records;
        expected.erase(expected.begin() + static_cast<ptrdiff_t>(c.first),
                       expected.begin() + static_cast<ptrdiff_t>(c.first + c.count));
        EXPECT_EQ(FileBytes(store.Records()), FileBytes(expected));
        EXPECT_EQ(store.HasUnsavedChanges(), c.count > 0);
    }
}

// The months that lost records are written at the next save, those that did not are left alone; a
// month that lost all of them is written empty, so that the records do not come back at the next load.
TEST_F(HistoryReadModelTest, RemoveRangeWritesTheMonthsItTouched) {
    const TTDataStation october = Series(At(2026, 10, 30), 24, 60);
    const TTDataStation november = Series(At(2026, 11, 28), 48, 60, 100);
    const TTDataStation december = Series(At(2026, 12, 1), 48, 60, 200);
    WriteWholeFile(Month(2026, 10), FileBytes(october));
    WriteWholeFile(Month(2026, 11), FileBytes(november));
    WriteWholeFile(Month(2026, 12), FileBytes(december));
    SetClock(At(2026, 12, 10));

    THistoryStore store(PathDatas);
    store.Load(3);
    EXPECT_FALSE(store.HasUnsavedChanges());
    // All of November, and December up to its 5th record included.
    EXPECT_EQ(store.RemoveRange(At(2026, 10, 31, 12), december[4].DateSysteme), 48u + 5u);
    store.SaveChanged();

    EXPECT_EQ(ReadWholeFile(Month(2026, 10)), FileBytes(october));
    EXPECT_FALSE(fs::exists(Month(2026, 10) + ".back")); // not rewritten
    EXPECT_EQ(ReadWholeFile(Month(2026, 11)), FileBytes({}));
    EXPECT_EQ(ReadWholeFile(Month(2026, 12)), FileBytes(Slice(december, 5, december.size())));

    THistoryStore reloaded(PathDatas);
    reloaded.Load(3);
    EXPECT_EQ(FileBytes(reloaded.Records()), FileBytes(store.Records()));
}

// ---- Displayable tail -------------------------------------------------------------------------

TEST_F(HistoryReadModelTest, FirstInDisplayRangeAgreesWithInDisplayRangeAtTheEdges) {
    SetClock(At(2026, 12, 10));
    THistoryStore empty(PathDatas);
    EXPECT_EQ(empty.FirstInDisplayRange(1), 0u);
    EXPECT_FALSE(empty.InDisplayRange(0, 1));

    THistoryStore store(PathDatas);
    store.Append(Series(At(2026, 12, 1), 100, 60));
    const auto& r = store.Records();
    const TDateTime newest = r.back().DateSysteme;
    struct Case {
        const char* name;
        double rangeDays;
        size_t first;
    };
    const Case cases[] = {
        {"whole history", 1000, 0},
        {"exactly to the first record", newest - r[0].DateSysteme, 0},
        {"exactly to record 40", newest - r[40].DateSysteme, 40},
        {"just short of record 40", std::nextafter(newest - r[40].DateSysteme, 0.0), 41},
        {"the newest only", 0, 99},
        {"negative", -1, 100},
        {"not a number", std::nan(""), 100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(store.FirstInDisplayRange(c.rangeDays), c.first);
        for (size_t i = 0; i <= store.Size(); ++i) {
            EXPECT_EQ(store.InDisplayRange(i, c.rangeDays), i >= c.first && i < store.Size()) << i;
            EXPECT_EQ(store.InDisplayRange(i, c.rangeDays), InDisplayRange(r, i, c.rangeDays)) << i;
        }
    }
}

// ---- Plotted values ---------------------------------------------------------------------------

TEST(PlottedValueTest, EachQuantityAsThePlotsDrawIt) {
    TcapteursInfos r{};
    r.ValueSkyVolts = 1.25f;
    r.ValueSkyDeg = -18.5f;
    r.ValueCanVolts = 2.75f;
    r.ValueCanDeg = 7.5f;
    r.ValueTempDeg = 4.25f;
    r.ValueTempFceDeg = 21.5f;
    r.DeltaTempDeg = -22.75f;
    r.Humidity = 83.5f;
    r.DewPoint = 1.5f;
    r.WindSpeedMax_ms = 10.0f;
    r.ValidWindGUST = 1;
    r.PowerRainDet = 45;
    r.ValidLight = 1;
    r.Lumex = 3.0;
    r.PowerVolts = 12.5f;
    TcapteursInfos invalid = r;
    invalid.ValidLight = 0;
    invalid.ValidWindGUST = 0;

    using Q = TPlottedQuantity;
    struct Case {
        Q quantity;
        bool magnitude;
        const TcapteursInfos* record;
        std::optional<double> expected;
    };
    const Case cases[] = {
        {Q::Lighdata, false, &r, 3.0},
        {Q::Lighdata, true, &r, 4.90036813940062}, // 12.4 - 3 / log10(2.512)
        {Q::Lighdata, false, &invalid, std::nullopt},
        {Q::Lighdata, true, &invalid, std::nullopt},
        {Q::IRData, false, &r, -18.5},
        {Q::MoistureData, false, &r, 83.5},
        {Q::TempData, false, &r, 4.25},
        {Q::WinData, false, &r, 36.0}, // km/h
        {Q::WinData, true, &r, 36.0},
        {Q::WinData, false, &invalid, std::nullopt},
        {Q::VoltsData, false, &r, 1.25},
        {Q::IRData_Minus_Sol, false, &r, -22.75},
        {Q::HeatData, false, &r, 21.5},
        {Q::DewPoint, false, &r, 1.5},
        {Q::ValueCanVolts, false, &r, 2.75},
        {Q::RainHeaterPower, false, &r, 4.5},
        {Q::PowerVolts, false, &r, 12.5},
        {Q::ValueCanDeg, false, &r, 7.5},
        // Only light and gust have a validity; the other series are drawn whatever the flags say.
        {Q::IRData, false, &invalid, -18.5},
        {Q::HeatData, false, &invalid, 21.5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "quantity " << static_cast<int>(c.quantity) << " magnitude "
                                        << c.magnitude << " valid " << (c.record == &r));
        const auto value = PlottedValue(*c.record, c.quantity, {.MagniDisplay = c.magnitude});
        ASSERT_EQ(value.has_value(), c.expected.has_value());
        if (value) {
            EXPECT_NEAR(*value, *c.expected, 1e-12);
        }
    }
}

TEST(PlottedValueTest, EveryPlotTypeHasItsMainSeriesAndNoOtherIsImplemented) {
    for (TTypeDataGraph type :
         {Lighdata, IRData, MoistureData, TempData, WinData, VoltsData, IRData_Minus_Sol, HeatData})
        EXPECT_EQ(static_cast<int>(MainQuantityOf(type)), static_cast<int>(type));
    const auto expectNotImplemented = [](auto call) {
        try {
            call();
            ADD_FAILURE() << "no exception";
        } catch (const EOrvanelError& e) {
            EXPECT_STREQ(e.what(), "Non implementé!");
        }
    };
    expectNotImplemented([] { MainQuantityOf(static_cast<TTypeDataGraph>(8)); });
    expectNotImplemented([] { PlottedValue(TcapteursInfos{}, static_cast<TPlottedQuantity>(200)); });
}

// ---- Minimum and maximum per pixel column -----------------------------------------------------

namespace {

// The columns computed record by record over the whole history, with no search.
std::vector<TColumnMinMax> PlainMinMax(const TTDataStation& records, TPlottedQuantity quantity,
                                       TDateTime from, TDateTime to, int columns,
                                       const TPlotOptions& options) {
    std::vector<TColumnMinMax> result(static_cast<size_t>(std::max(columns, 0)));
    if (columns < 1 || !(from < to)) return result;
    std::vector<TDateTime> starts;
    for (int c = 0; c <= columns; ++c)
        starts.push_back(ColumnStart(from, to, columns, c));
    for (const auto& r : records) {
        const TDateTime d = r.DateSysteme;
        if (d < from || d >= to) continue;
        const auto v = PlottedValue(r, quantity, options);
        if (!v || !std::isfinite(*v)) continue;
        const auto column = std::upper_bound(starts.begin(), starts.end(), d) - starts.begin() - 1;
        TColumnMinMax& m = result[static_cast<size_t>(column)];
        m.Min = m.Valid ? std::min(m.Min, *v) : *v;
        m.Max = m.Valid ? std::max(m.Max, *v) : *v;
        m.Valid = true;
    }
    return result;
}

std::string Text(const std::vector<TColumnMinMax>& columns) {
    std::string text;
    for (size_t c = 0; c < columns.size(); ++c)
        if (columns[c].Valid)
            text += std::to_string(c) + ": " + std::to_string(columns[c].Min) + " " +
                    std::to_string(columns[c].Max) + "\n";
    return text;
}

} // namespace

// Random gaps (bursts and holes of hours), random validity, a few values that cannot be drawn.
TEST_F(HistoryReadModelTest, MinMaxPerColumnMatchesARecordByRecordWalk) {
    SetClock(At(2026, 12, 31));
    std::mt19937 random(20261201);
    std::uniform_real_distribution<double> unit(0, 1);
    TTDataStation records;
    TDateTime date = At(2026, 11, 25);
    for (int i = 0; i < 4000; ++i) {
        date += unit(random) < 0.01 ? unit(random) * 0.5 : unit(random) * 0.004;
        TcapteursInfos r{};
        r.DateSysteme = date;
        r.ValueSkyDeg = static_cast<float>(-30 + 40 * unit(random));
        r.WindSpeedMax_ms = static_cast<float>(20 * unit(random));
        r.ValidWindGUST = unit(random) < 0.7;
        r.Lumex = 4 * unit(random) - 1;
        r.ValidLight = unit(random) < 0.8;
        if (i % 397 == 0) r.ValueSkyDeg = std::numeric_limits<float>::quiet_NaN();
        if (i % 541 == 0) r.ValueSkyDeg = std::numeric_limits<float>::infinity();
        records.push_back(r);
    }
    THistoryStore store(PathDatas);
    ASSERT_EQ(store.Append(records).Added, 4000);

    const auto d = [&](size_t i) { return records[i].DateSysteme; };
    const TDateTime first = d(0), last = d(records.size() - 1);
    const double tiny = 1e-7;
    struct Range {
        const char* name;
        TDateTime from, to;
    };
    const Range ranges[] = {
        {"whole history", first, last + tiny},
        {"between records", d(100) + tiny, d(2900) - tiny},
        {"on record dates (from in, to out)", d(500), d(1500)},
        {"before the first to inside", first - 3, d(50)},
        {"inside to after the last", d(3950), last + 3},
        {"wider than the history", first - 10, last + 10},
        {"before the first", first - 2, first - 1},
        {"after the last", last + 1, last + 2},
        {"one hole", d(200) - 0.3, d(200) + 0.3},
    };
    const struct {
        TPlottedQuantity quantity;
        bool magnitude;
    } series[] = {{TPlottedQuantity::IRData, false},
                  {TPlottedQuantity::WinData, false},
                  {TPlottedQuantity::Lighdata, true}};
    for (const Range& range : ranges)
        for (const auto& s : series)
            for (int columns : {1, 3, 640, 9000}) {
                SCOPED_TRACE(testing::Message() << range.name << ", quantity " << static_cast<int>(s.quantity)
                                                << ", " << columns << " columns");
                const TPlotOptions options{.MagniDisplay = s.magnitude};
                const auto expected =
                    PlainMinMax(records, s.quantity, range.from, range.to, columns, options);
                const auto got = store.MinMaxPerColumn(s.quantity, range.from, range.to, columns, options);
                ASSERT_EQ(got.size(), static_cast<size_t>(columns));
                EXPECT_EQ(Text(got), Text(expected));
                for (size_t c = 0; c < got.size(); ++c)
                    if (got[c].Valid) {
                        ASSERT_EQ(got[c].Min, expected[c].Min) << c;
                        ASSERT_EQ(got[c].Max, expected[c].Max) << c;
                    }
            }

    // Nothing to divide: no columns, an empty or reversed range, an empty history.
    EXPECT_TRUE(store.MinMaxPerColumn(TPlottedQuantity::IRData, first, last, 0).empty());
    for (const auto& columns :
         {store.MinMaxPerColumn(TPlottedQuantity::IRData, d(10), d(10), 5),
          store.MinMaxPerColumn(TPlottedQuantity::IRData, last, first, 5),
          store.MinMaxPerColumn(TPlottedQuantity::IRData, first, INFINITY, 5),
          THistoryStore(PathDatas).MinMaxPerColumn(TPlottedQuantity::IRData, first, last, 5)})
        EXPECT_EQ(Text(columns), "");
}
