// The dashboard's answers as texts: the history query and its columns against a plain loop over the
// records, the dates between local time and ISO 8601 UTC, the JSON texts and the event framing.
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>
#include <limits>
#include <random>

#include "DashboardJson.h"
#include "Json.h"
#include "TestSupport.h"

namespace {

using TParams = std::vector<std::pair<std::string, std::string>>;

// Every refusal of the query names its cause; the first fault found is the one reported.
TEST(DashboardHistoryQuery, EachFaultIsRefusedWithItsCode) {
    struct Case {
        TParams Params;
        const char* Error;
    };
    const Case cases[] = {
        {{}, "missing_quantity"},
        {{{"quantity", "pressure"}}, "unknown_quantity"},
        {{{"quantity", "SKY"}}, "unknown_quantity"},
        {{{"quantity", "sky"}, {"quantity", "pressure"}}, "unknown_quantity"},
        {{{"quantity", "pressure"}, {"quantity", "sky"}}, "unknown_quantity"},
        {{{"quantity", "sky"}, {"from", "yesterday"}}, "bad_from"},
        {{{"quantity", "sky"}, {"from", "2026-12-09T21:00:00"}}, "bad_from"}, // no zone
        {{{"quantity", "sky"}, {"from", "2026-02-30T21:00:00Z"}}, "bad_from"},
        {{{"quantity", "sky"}, {"from", "2026-12-09T24:00:00Z"}}, "bad_from"},
        {{{"quantity", "sky"}, {"to", "2026-12-09T21:00:00Zjunk"}}, "bad_to"},
        {{{"quantity", "sky"}, {"to", ""}}, "bad_to"},
        {{{"quantity", "sky"}, {"from", "2026-12-09T21:00:00Z"}, {"to", "2026-12-09T21:00:00Z"}},
         "empty_range"},
        {{{"quantity", "sky"}, {"from", "2026-12-09T22:00:00+01:00"}, {"to", "2026-12-09T21:00:00Z"}},
         "empty_range"},
        {{{"quantity", "sky"}, {"columns", "0"}}, "bad_columns"},
        {{{"quantity", "sky"}, {"columns", "4001"}}, "bad_columns"},
        {{{"quantity", "sky"}, {"columns", "-5"}}, "bad_columns"},
        {{{"quantity", "sky"}, {"columns", "12abc"}}, "bad_columns"},
        {{{"quantity", "sky"}, {"columns", "99999999999999999999"}}, "bad_columns"},
        {{{"quantity", "sky"}, {"colums", "10"}}, "unknown_parameter"},
    };
    for (const Case& c : cases) {
        const THistoryQuery q = ParseHistoryQuery(c.Params);
        SCOPED_TRACE(c.Error);
        EXPECT_EQ(q.Error, c.Error);
        EXPECT_FALSE(q.Reason.empty());
        const std::string json = ErrorJson(q.Error, q.Reason);
        EXPECT_EQ(json.rfind("{\"error\":\"" + q.Error + "\",\"reason\":\"", 0), 0u) << json;
    }
    // Sound queries: defaults, both limits of the columns, every quantity by name.
    const THistoryQuery plain = ParseHistoryQuery({{"quantity", "sky"}});
    EXPECT_TRUE(plain.Error.empty());
    EXPECT_EQ(plain.Columns, HistoryColumnsDefault);
    EXPECT_FALSE(plain.From || plain.To);
    for (const char* columns : {"1", "4000"})
        EXPECT_TRUE(ParseHistoryQuery({{"quantity", "sky"}, {"columns", columns}}).Error.empty()) << columns;
    for (const THistoryQuantity& hq : HistoryQuantities())
        EXPECT_EQ(ParseHistoryQuery({{"quantity", hq.Name}}).Quantity, &hq);
    for (const char* name :
         {"sky", "sky_minus_ambient", "ambient", "dew_point", "humidity", "wind_gust", "magnitude"})
        EXPECT_NE(ParseHistoryQuery({{"quantity", name}}).Quantity, nullptr) << name;
}

// Local dates (the records') and ISO 8601 UTC (the web's), in Paris time, across a change of hour.
TEST(DashboardDates, LocalDatesAndIsoUtcAgree) {
    const std::string saved = std::getenv("TZ") ? std::getenv("TZ") : "";
    ::setenv("TZ", "Europe/Paris", 1);
    ::tzset();
    struct Case {
        TDateTime Local;
        const char* Utc;
    };
    const Case cases[] = {
        {EncodeDateTime(2026, 12, 9, 22, 30, 15, 250), "2026-12-09T21:30:15.250Z"}, // winter: UTC+1
        {EncodeDateTime(2026, 7, 1, 0, 0, 0), "2026-06-30T22:00:00.000Z"},          // summer: UTC+2
        {EncodeDateTime(2026, 3, 29, 3, 30, 0), "2026-03-29T01:30:00.000Z"},        // just after the change
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Utc);
        EXPECT_EQ(IsoUtcText(c.Local), c.Utc);
        const auto back = ParseIsoDate(c.Utc);
        ASSERT_TRUE(back);
        EXPECT_NEAR(*back, c.Local, 1e-3 / 86400);
    }
    // Zones other than Z name the same instant.
    EXPECT_NEAR(*ParseIsoDate("2026-12-09T23:30:15+01:00"), *ParseIsoDate("2026-12-09T22:30:15Z"), 1e-9);
    EXPECT_NEAR(*ParseIsoDate("2026-12-09T17:30:15-0500"), *ParseIsoDate("2026-12-09T22:30:15Z"), 1e-9);
    EXPECT_DOUBLE_EQ(UnixSeconds(*ParseIsoDate("1970-01-01T00:00:10Z")), 10.0);
    if (saved.empty())
        ::unsetenv("TZ");
    else
        ::setenv("TZ", saved.c_str(), 1);
    ::tzset();
}

TEST(DashboardTexts, JsonEscapesAndRefusesWhatIsNotANumber) {
    EXPECT_EQ(JsonString("a\"b\\c\nd\x01</script>"), "\"a\\\"b\\\\c\\nd\\u0001\\u003c/script>\"");
    EXPECT_EQ(JsonString("°C − é"), "\"°C − é\"");
    // JSON is UTF-8: each byte that starts no well-formed sequence becomes U+FFFD, sound ones stay.
    const std::pair<std::string, std::string> bytes[] = {
        {"\xff\xfe", "\\ufffd\\ufffd"},             // never in UTF-8 (a query's %FF%FE)
        {"Orl\xe9" "ans", "Orl\\ufffdans"},            // Latin-1
        {"\x80x", "\\ufffdx"},                        // a continuation byte alone
        {"\xc0\xaf", "\\ufffd\\ufffd"},             // overlong '/'
        {"\xed\xa0\x80", "\\ufffd\\ufffd\\ufffd"}, // a surrogate
        {"\xf4\x90\x80\x80", "\\ufffd\\ufffd\\ufffd\\ufffd"}, // past U+10FFFF
        {"a\xe2\x82", "a\\ufffd\\ufffd"},           // cut at the end
        {"\xf0\x9f\x8c\x99 \xe2\x82\xac", "\xf0\x9f\x8c\x99 \xe2\x82\xac"},
    };
    for (const auto& [in, out] : bytes)
        EXPECT_EQ(JsonString(in), "\"" + out + "\"") << in;
    TJsonWriter w;
    w.BeginArray()
        .Number(std::numeric_limits<double>::quiet_NaN())
        .Number(-0.0)
        .Number(19.123456789)
        .NumberText("nan")
        .NumberText("1E-5")
        .NumberText("")
        .Optional(std::nullopt)
        .Float(-25.1f)
        .Thousandths(1733779200123)
        .Thousandths(-1500)
        .BeginObject()
        .Key("k")
        .Bool(true)
        .EndObject()
        .EndArray();
    EXPECT_EQ(w.Text(), "[null,0,19.1235,null,1E-5,null,null,-25.1,1733779200.123,-1.500,{\"k\":true}]");
}

TEST(DashboardTexts, EventsFrameEachLineOfData) {
    EXPECT_EQ(SseEvent("reading", "{\"a\":1}"), "event: reading\ndata: {\"a\":1}\n\n");
    // A line break in the data never ends the event early.
    EXPECT_EQ(SseEvent("verdict", "x\ny"), "event: verdict\ndata: x\ndata: y\n\n");
    EXPECT_EQ(SseComment().front(), ':');
    EXPECT_EQ(SseComment().substr(SseComment().size() - 2), "\n\n");
}

TEST(DashboardTexts, PageTakesItsTextsAndLanguage) {
    const std::string page = FillPage("<html lang=\"@LANG@\"><script>const T=<!--TEXTS-->;</script>");
    EXPECT_EQ(page.find("@LANG@"), std::string::npos);
    EXPECT_NE(page.find("lang=\"fr\""), std::string::npos);
    EXPECT_NE(page.find("\"safe\":\"SÛR\""), std::string::npos);
    EXPECT_EQ(page.find("<!--TEXTS-->"), std::string::npos);
}

// ---- Columns against a plain loop ----

class DashboardHistoryTest : public SandboxTest {};

TEST_F(DashboardHistoryTest, ColumnsHoldTheMinimumAndMaximumOfTheirRecords) {
    const TDateTime now = Now();
    THistoryStore store(PathDatas);
    std::mt19937 random(7);
    std::uniform_real_distribution<double> value(-30, 30);
    TTDataStation records;
    // Three days every 37 s, with a silent half day and gusts that the station did not measure.
    for (TDateTime t = now - 3; t < now; t += 37.0 / 86400) {
        if (t > now - 2 && t < now - 1.5) continue;
        TcapteursInfos r{};
        r.DateSysteme = t;
        r.ValueSkyDeg = static_cast<float>(value(random));
        r.WindSpeedMax_ms = static_cast<float>(std::abs(value(random)));
        r.ValidWindGUST = random() % 4 != 0;
        records.push_back(r);
    }
    ASSERT_EQ(store.Append(records).Added, static_cast<int>(records.size()));

    struct Case {
        const char* Quantity;
        double FromDays, ToDays; // before now
        int Columns;
    };
    const Case cases[] = {{"sky", 3.5, 0, 1000},
                          {"sky", 1, 0.5, 7},
                          {"wind_gust", 2.2, 1.3, 333},
                          {"sky", 0.01, 0, 4000},
                          {"wind_gust", 10, 5, 10}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Quantity + std::string(" ") + std::to_string(c.FromDays));
        const THistoryQuery q = ParseHistoryQuery({{"quantity", c.Quantity},
                                                   {"from", IsoUtcText(now - c.FromDays)},
                                                   {"to", IsoUtcText(now - c.ToDays)},
                                                   {"columns", std::to_string(c.Columns)}});
        ASSERT_TRUE(q.Error.empty()) << q.Reason;
        const THistoryAnswer a = HistoryColumns(q, store, now);
        ASSERT_EQ(a.Columns.size(), static_cast<size_t>(c.Columns));
        size_t count = 0;
        std::vector<TColumnMinMax> expected(static_cast<size_t>(c.Columns));
        for (const TcapteursInfos& r : records) {
            if (r.DateSysteme < a.From || r.DateSysteme >= a.To) continue;
            ++count;
            const bool wind = std::string(c.Quantity) == "wind_gust";
            if (wind && !r.ValidWindGUST) continue;
            const double v = wind ? r.WindSpeedMax_ms * 3.6 : r.ValueSkyDeg;
            int column = 0;
            while (column + 1 < c.Columns &&
                   r.DateSysteme >= ColumnStart(a.From, a.To, c.Columns, column + 1))
                ++column;
            TColumnMinMax& e = expected[static_cast<size_t>(column)];
            e = e.Valid ? TColumnMinMax{std::min(e.Min, v), std::max(e.Max, v), true}
                        : TColumnMinMax{v, v, true};
        }
        EXPECT_EQ(a.Count, count);
        for (size_t i = 0; i < expected.size(); ++i) {
            ASSERT_EQ(a.Columns[i].Valid, expected[i].Valid) << "column " << i;
            if (!expected[i].Valid) continue;
            EXPECT_NEAR(a.Columns[i].Min, expected[i].Min, 1e-6) << "column " << i;
            EXPECT_NEAR(a.Columns[i].Max, expected[i].Max, 1e-6) << "column " << i;
        }
    }

    // Without dates: from the oldest record to now; the JSON has one entry per column in each array.
    const THistoryQuery all = ParseHistoryQuery({{"quantity", "sky"}, {"columns", "50"}});
    const THistoryAnswer a = HistoryColumns(all, store, now);
    EXPECT_EQ(a.From, records.front().DateSysteme);
    EXPECT_EQ(a.Count, records.size());
    const std::string json = HistoryJson(all, store, now);
    for (const char* key : {"\"t\":[", "\"min\":[", "\"max\":["}) {
        const size_t at = json.find(key);
        ASSERT_NE(at, std::string::npos) << key;
        const std::string array = json.substr(at, json.find(']', at) - at);
        EXPECT_EQ(std::count(array.begin(), array.end(), ','), 49) << key;
    }
}

} // namespace
