// The plot's picture: axes, series, strips, thinning, the median mode, a record that cannot be drawn,
// and the fast drawing of a dense history against the record by record drawing.
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <gtest/gtest.h>
#include <set>
#include <string>

#include "Log.h"
#include "PlotTestSupport.h"

namespace {

using namespace plot_test;

int CountColour(const QImage& image, QRgb colour, QRect area) {
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (Pixel(image, x, y) == colour) ++n;
    return n;
}

TEST_F(PlotTest, AnEmptyHistoryShowsBandsAxesAndFrame) {
    auto plot = Plot(IRData_Minus_Sol, 600, 400, kNow - 1, kNow, -50, 30);
    plot->Display();
    const QImage& image = plot->Picture();
    EXPECT_EQ(Pixel(image, 50, 100), PlotColours::Text);  // frame, left
    EXPECT_EQ(Pixel(image, 590, 100), PlotColours::Text); // frame, right
    EXPECT_EQ(Pixel(image, 300, 20), PlotColours::Text);
    EXPECT_EQ(Pixel(image, 300, 345), PlotColours::Text);
    // Bands: -15 to -5 light grey, -5 to the top nearly white.
    EXPECT_EQ(Pixel(image, 300, plot->ValueToPixelY(-10)), PlotColours::LowerBand);
    EXPECT_EQ(Pixel(image, 301, plot->ValueToPixelY(10)), PlotColours::UpperBand);
    EXPECT_EQ(Pixel(image, 300, plot->ValueToPixelY(-30)), PlotColours::Background);
    EXPECT_EQ(CountColour(image, PlotColours::Main, image.rect()), 0);
}

TEST_F(PlotTest, ValueAxisMarksZeroOnceAndChoosesItsDecimals) {
    struct Case {
        double span;
        const char* example;
        int decimals;
    };
    for (const Case c : {Case{2.5, "1", 0}, Case{0.25, "0.1", 1}}) {
        SCOPED_TRACE(c.span);
        auto plot = Plot(MoistureData, 600, 300 + 77, kNow - 1, kNow, -c.span, c.span);
        plot->Display();
        const TAxisMarks axis = plot->ValueAxis();
        ASSERT_EQ(axis.Labels.size(), 5u);
        int zeros = 0;
        for (const TAxisLabel& label : axis.Labels) {
            const auto dot = label.Text.find('.');
            EXPECT_EQ(dot == std::string::npos ? 0 : int(label.Text.size() - dot - 1), c.decimals)
                << label.Text;
            if (std::fabs(std::stod(label.Text)) < 1e-9) ++zeros;
        }
        EXPECT_EQ(zeros, 1);
        EXPECT_NE(std::find_if(axis.Labels.begin(), axis.Labels.end(),
                               [&](const TAxisLabel& l) { return l.Text == c.example; }),
                  axis.Labels.end());
        // The long ticks, and nothing else, reach column L - 8.
        EXPECT_EQ(CountColour(plot->Picture(), PlotColours::Text, QRect(42, 21, 1, 300)), 5);
    }
}

TEST_F(PlotTest, DateAxisTurnsToMonthsAfterFifteenDays) {
    const TDateTime start = EncodeDateTime(2026, 2, 20);
    auto plot = Plot(MoistureData, 815, 525, start, start + 15, 0, 100);
    plot->Display();
    TAxisMarks axis = plot->DateAxis();
    EXPECT_EQ(axis.FirstEnd, "02/2026");
    EXPECT_EQ(axis.LastEnd, "03/2026");
    ASSERT_FALSE(axis.Labels.empty());
    const std::set<std::string> weekdays{"Di", "Lu", "Ma", "Me", "je", "Ve", "Sa"};
    for (const TAxisLabel& label : axis.Labels) {
        if (!label.Small)
            EXPECT_TRUE(weekdays.count(label.Text.substr(label.Text.find(' ') + 1))) << label.Text;
    }
    EXPECT_NE(std::find_if(axis.Labels.begin(), axis.Labels.end(),
                           [](const TAxisLabel& l) { return l.Text == "21 Sa"; }),
              axis.Labels.end());

    plot->Tg.MaxX = start + 15 + 1.0 / 86400;
    plot->Display();
    axis = plot->DateAxis();
    EXPECT_EQ(axis.FirstEnd, "2026");
    ASSERT_EQ(axis.Major.size(), 1u);
    std::vector<std::string> big;
    for (const TAxisLabel& label : axis.Labels)
        if (!label.Small) big.push_back(label.Text);
    EXPECT_EQ(big, std::vector<std::string>{"Mar"});
}

TEST_F(PlotTest, TwoDaysWithTwentyFivePixelsAnHourTickEveryHourAndLabelEveryFour) {
    const TDateTime start = EncodeDateTime(2026, 3, 2);
    auto plot = Plot(MoistureData, 1200 + 62, 525, start, start + 2, 0, 100);
    plot->Display();
    const TAxisMarks axis = plot->DateAxis();
    EXPECT_EQ(plot->DateToPixelX(1.0 / 12) - plot->DateToPixelX(1.0 / 24), 25);
    EXPECT_EQ(axis.Major.size(), 3u); // both ends' midnights and the one between
    EXPECT_EQ(axis.Minor.size(), 46u);
    std::vector<std::string> small;
    for (const TAxisLabel& label : axis.Labels)
        if (label.Small) small.push_back(label.Text);
    EXPECT_EQ(small,
              (std::vector<std::string>{"4h", "8h", "12h", "16h", "20h", "4h", "8h", "12h", "16h", "20h"}));
    // A short tick hangs 4 pixels below the frame, a long one 15.
    const int base = 525 - 55;
    EXPECT_EQ(Pixel(plot->Picture(), axis.Minor.front(), base + 4), PlotColours::Text);
    EXPECT_EQ(Pixel(plot->Picture(), axis.Minor.front(), base + 6), PlotColours::Background);
    EXPECT_EQ(Pixel(plot->Picture(), axis.Major[1], base + 15), PlotColours::Text);
}

TEST_F(PlotTest, ASeriesLeavesThroughTheTopAndComesBack) {
    // Oldest to newest: inside, above, inside, above, above.
    const float values[] = {0, 100, 0, 100, 100};
    for (int i = 0; i < 5; ++i) {
        TcapteursInfos r = Reading(kNow - 1 + (i + 1) / 6.0);
        r.Humidity = values[i];
        Add({r});
    }
    for (TPlotPainting painting : {TPlotPainting::Fast, TPlotPainting::RecordByRecord}) {
        auto plot = Plot(MoistureData, 600, 400, kNow - 1, kNow, -50, 30);
        plot->Painting = painting;
        plot->Display();
        const QImage& image = plot->Picture();
        const int x[5] = {
            int(plot->DateToPixelX(kNow - 1 + 1 / 6.0)), int(plot->DateToPixelX(kNow - 1 + 2 / 6.0)),
            int(plot->DateToPixelX(kNow - 1 + 3 / 6.0)), int(plot->DateToPixelX(kNow - 1 + 4 / 6.0)),
            int(plot->DateToPixelX(kNow - 1 + 5 / 6.0))};
        EXPECT_EQ(CountColour(image, PlotColours::Main, QRect(0, 0, 600, 21)), 0);
        EXPECT_GT(CountColour(image, PlotColours::Main, QRect(x[0] + 3, 21, x[1] - x[0] - 6, 1)), 0);
        EXPECT_GT(CountColour(image, PlotColours::Main, QRect(x[1] + 3, 21, x[2] - x[1] - 6, 1)), 0);
        EXPECT_GT(CountColour(image, PlotColours::Main, QRect(x[2] + 3, 21, x[3] - x[2] - 6, 1)), 0);
        // Two points above the frame: nothing between them.
        EXPECT_EQ(CountColour(image, PlotColours::Main, QRect(x[3] + 1, 0, x[4] - x[3] - 1, 400)), 0);
        // The point at 0 is drawn.
        EXPECT_EQ(Pixel(image, x[2], plot->ValueToPixelY(0)), PlotColours::Main);
    }
}

TEST_F(PlotTest, ThinningKeepsSmallHistoriesWhole) {
    EXPECT_EQ(ThinningStepFor(100, 500, 1), 1);
    EXPECT_EQ(ThinningStepFor(101, 500, 1), 1);
    EXPECT_EQ(ThinningStepFor(10000, 500, 1), 21);
    EXPECT_EQ(ThinningStepFor(10000, 499, 1), 21);
    EXPECT_EQ(ThinningStepFor(10000, 0, 1), 1);
    EXPECT_EQ(ThinningStepFor(1000000, 800, 0.05), 63);

    TTDataStation records;
    for (int i = 0; i < 10000; ++i)
        records.push_back(Reading(kNow - 3 + i * 2.0 / 10000));
    Add(records);
    auto plot = Plot(IRData, 500 + 62, 400, records.front().DateSysteme, records.back().DateSysteme, -50, 30);
    setup_.Disp_Gap_Display = 1;
    plot->Display();
    EXPECT_EQ(plot->LastStep(), 21);
    setup_.RangeDateDisplay = 99.5 / 10000 * 2; // the last 100 records
    plot->Display();
    EXPECT_EQ(plot->LastStep(), 1);
}

TEST_F(PlotTest, StripsShowUnderEachRecordItsRainAndConditions) {
    TcapteursInfos rain = Reading(kNow - 0.8);
    rain.RainStatus = 1;
    TcapteursInfos cloudy = Reading(kNow - 0.5, -2);
    Add({rain, Reading(kNow - 0.6), cloudy, Reading(kNow - 0.2)});
    for (TPlotPainting painting : {TPlotPainting::Fast, TPlotPainting::RecordByRecord}) {
        auto plot = Plot(IRData_Minus_Sol, 600, 400, kNow - 1, kNow, -50, 30);
        plot->Painting = painting;
        plot->Display();
        const QImage& image = plot->Picture();
        const int base = 400 - 55;
        auto strips = [&](TDateTime at) {
            const int x = int(plot->DateToPixelX(at));
            return std::pair(Pixel(image, x, base - 10), Pixel(image, x, base - 40));
        };
        // The oldest record: one column of its own.
        EXPECT_EQ(strips(kNow - 0.8), std::pair(PlotColours::Raining, PlotColours::NotGood));
        EXPECT_EQ(strips(kNow - 0.7), std::pair(PlotColours::Dry, PlotColours::Good));
        EXPECT_EQ(strips(kNow - 0.55), std::pair(PlotColours::Dry, PlotColours::NotGood));
        // Nothing after the newest record, nor under the interval before it.
        EXPECT_EQ(strips(kNow - 0.1).first, PlotColours::Background);
        EXPECT_EQ(strips(kNow - 0.3).first, PlotColours::Background);
    }
}

TEST_F(PlotTest, WindMedianModeDrawsOnlyMedianPoints) {
    TTDataStation records;
    for (int i = 0; i < 60; ++i) {
        TcapteursInfos r = Reading(kNow - 1 + i / 70.0);
        r.WindSpeedMax_ms = float(i % 7);
        records.push_back(r);
    }
    Add(records);
    auto plot = Plot(WinData, 600, 400, kNow - 1, kNow, 0, 40);
    plot->Display();
    const QRect interior(51, 21, 538, 323);
    EXPECT_GT(CountColour(plot->Picture(), PlotColours::Main, interior), 0);
    EXPECT_EQ(CountColour(plot->Picture(), PlotColours::Median, interior), 0);
    plot->Special = true;
    plot->Display();
    EXPECT_EQ(CountColour(plot->Picture(), PlotColours::Main, interior), 0);
    EXPECT_GT(CountColour(plot->Picture(), PlotColours::Median, interior), 0);
    // The newest point's median: the 31 last gusts, 0 to 6 m/s, median 3 m/s.
    EXPECT_EQ(Pixel(plot->Picture(), int(plot->DateToPixelX(records.back().DateSysteme)),
                    int(plot->ValueToPixelY(3 * 3.6))),
              PlotColours::Median);
}

TEST_F(PlotTest, ARecordThatCannotBeDrawnIsReportedOnceAndEndsTheRecords) {
    TTDataStation records;
    for (int i = 0; i < 9; ++i)
        records.push_back(Reading(kNow - 0.9 + i / 10.0));
    records[4].ValueSkyDeg = 1e12f; // its row does not fit 32 bits
    Add(records);
    for (TPlotPainting painting : {TPlotPainting::Fast, TPlotPainting::RecordByRecord}) {
        errors_.clear();
        std::filesystem::remove_all(PathLogs);
        std::filesystem::create_directories(PathLogs);
        auto plot = Plot(IRData, 600, 400, kNow - 1, kNow, -50, 30);
        plot->Painting = painting;
        plot->Display();
        ASSERT_EQ(errors_.size(), 1u);
        EXPECT_EQ(errors_[0], "Erreur d'affichage sur le point n° 5 -> Range check error");
        const std::string log = ReadWholeFile(PathLogs + LogFileNameToday());
        EXPECT_NE(log.find("Plot Error at 5 -> Range check error"), std::string::npos) << log;
        EXPECT_NE(log.find("DateSysteme -> "), std::string::npos);
        EXPECT_NE(log.find("Error IR_Data       -> 999999995904.00"), std::string::npos) << log;
        const QImage& image = plot->Picture();
        EXPECT_EQ(Pixel(image, 50, 100), PlotColours::Text); // the frame
        const int y = int(plot->ValueToPixelY(-25));
        EXPECT_EQ(Pixel(image, int(plot->DateToPixelX(records[6].DateSysteme)), y), PlotColours::Main);
        EXPECT_EQ(Pixel(image, int(plot->DateToPixelX(records[2].DateSysteme)), y), PlotColours::Background);
    }
}

// A dense history of every kind of record: rain, invalid light, missing gusts, values leaving the plot.
TTDataStation DenseHistory(size_t count) {
    TTDataStation records(count);
    const TDateTime first = kNow - static_cast<double>(count) * 20 / 86400;
    for (size_t i = 0; i < count; ++i) {
        const double t = static_cast<double>(i);
        TcapteursInfos& r = records[i];
        r = Reading(first + t * 20 / 86400);
        r.DeltaTempDeg = float(-25 + 20 * std::sin(t / 3000) + (i % 7) * 0.7);
        r.ValueSkyDeg = r.DeltaTempDeg - 8;
        r.ValueTempDeg = float(8 + 10 * std::sin(t / 5000));
        r.DewPoint = r.ValueTempDeg - float(i % 5);
        r.Humidity = float(50 + 55 * std::sin(t / 2000)); // above 100 at times: out through the top
        r.RainStatus = (i / 900) % 5 == 0;
        r.ValidLight = i % 13 != 0;
        r.Lumex = 2 + 3 * std::sin(t / 4000);
        r.ValidWindGUST = i % 17 != 0;
        r.WindSpeedMax_ms = float((i * 7919) % 23);
        r.DirSpeedMax_deg = float((i * 31) % 360);
        r.ValueSkyVolts = float(2 + std::sin(t / 1000));
        r.ValueCanVolts = float(2.5 + std::cos(t / 1500));
        r.PowerRainDet = uint8_t(i % 40);
        r.PowerVolts = 3.5f;
        r.ValueCanDeg = float(i % 6);
        r.ValueTempFceDeg = float(1 + (i % 3));
    }
    return records;
}

TEST_F(PlotTest, ADenseHistoryDrawsTheSamePictureFastAndRecordByRecord) {
    TTDataStation records = DenseHistory(120000);
    Add(records);
    setup_.Disp_Gap_Display = 0.0001;
    const TDateTime from = records.front().DateSysteme, to = records.back().DateSysteme;
    struct Case {
        TTypeDataGraph type;
        bool special;
        double minY, maxY;
    };
    for (const Case c :
         {Case{IRData_Minus_Sol, false, -50, 10}, Case{IRData, false, -60, 0}, Case{Lighdata, false, -1, 6},
          Case{MoistureData, false, 0, 100}, Case{TempData, false, -5, 20}, Case{WinData, false, 0, 90},
          Case{WinData, true, 0, 90}, Case{VoltsData, false, 0, 5}, Case{HeatData, false, 0, 5}}) {
        SCOPED_TRACE(testing::Message() << int(c.type) << (c.special ? " median" : ""));
        auto fast = Plot(c.type, 815, 525, from, to, c.minY, c.maxY);
        fast->Special = c.special;
        fast->Display();
        EXPECT_EQ(fast->LastStep(), 1);
        auto slow = Plot(c.type, 815, 525, from, to, c.minY, c.maxY);
        slow->Special = c.special;
        slow->Painting = TPlotPainting::RecordByRecord;
        slow->Display();
        EXPECT_TRUE(fast->Picture() == slow->Picture());
        // Zoomed into an hour: few records, far from the frame on both sides.
        fast->Tg.MinX = slow->Tg.MinX = to - 1.5;
        fast->Tg.MaxX = slow->Tg.MaxX = to - 1.5 + 1.0 / 24;
        fast->Display();
        slow->Display();
        EXPECT_TRUE(fast->Picture() == slow->Picture());
    }
    // A record that cannot be drawn, in the middle: both stop at it.
    TcapteursInfos bad = records.back();
    bad.DateSysteme += 20.0 / 86400;
    bad.DeltaTempDeg = 3e11f;
    TcapteursInfos after = records.back();
    after.DateSysteme += 40.0 / 86400;
    Add({bad, after});
    auto fast = Plot(IRData_Minus_Sol, 815, 525, from, to, -50, 10);
    auto slow = Plot(IRData_Minus_Sol, 815, 525, from, to, -50, 10);
    slow->Painting = TPlotPainting::RecordByRecord;
    fast->Display();
    slow->Display();
    EXPECT_EQ(errors_.size(), 2u);
    EXPECT_TRUE(fast->Picture() == slow->Picture());
}

} // namespace
