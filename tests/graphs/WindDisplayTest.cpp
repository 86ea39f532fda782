// The wind dial: geometry, scale, the points of the last day, the newest gust's arrow and texts.
#include <gtest/gtest.h>

#include "PlotTestSupport.h"
#include "WindDisplay.h"

namespace {

using namespace plot_test;

TcapteursInfos Gust(TDateTime date, double kmh, double degrees, bool valid = true) {
    TcapteursInfos r = Reading(date);
    r.WindSpeedMax_ms = float(kmh / 3.6);
    r.DirSpeedMax_deg = float(degrees);
    r.ValidWindGUST = valid;
    return r;
}

class WindDialTest : public PlotTest {
  protected:
    TWindDisplay& Dial(int side, bool autoscale, double fixed = 50) {
        dial_ = std::make_unique<TWindDisplay>(*store_, setup_);
        dial_->SetSize(side, side);
        dial_->Autoscale = autoscale;
        dial_->Def_MaxSpeed_kmh = fixed;
        dial_->DisplayGUST = true;
        dial_->Display();
        return *dial_;
    }
    std::unique_ptr<TWindDisplay> dial_;
};

TEST_F(WindDialTest, TwoHundredPixelsLayOutTheRose) {
    TWindDisplay& dial = Dial(200, false);
    EXPECT_EQ(dial.Xc, 100);
    EXPECT_EQ(dial.Yc, 100);
    EXPECT_EQ(dial.Rayon, 92);
    const QImage& image = dial.Picture();
    EXPECT_EQ(Pixel(image, 88, 5), DialColours::White);   // "N" box, top left corner
    EXPECT_EQ(Pixel(image, 111, 20), DialColours::White); // bottom right, the edges at 112 and 21 excluded
    EXPECT_EQ(Pixel(image, 100, 8), DialColours::Background); // the box hides the circle under it
    int circle = 0; // the circle passes near 45 degrees at (165, 35)
    for (int y = 33; y <= 37; ++y)
        for (int x = 163; x <= 167; ++x)
            circle += Pixel(image, x, y) == DialColours::White;
    EXPECT_GT(circle, 0);
    EXPECT_EQ(Pixel(image, 150, 70), DialColours::Background);
    EXPECT_EQ(dial.ScaleText(), "Echelle Max/24h: 50 km/h");
}

TEST_F(WindDialTest, NoGustInTheLastDayGivesTheTenKilometreScale) {
    Add({Gust(kNow - 2, 30, 90), Gust(kNow - 0.5, 12, 90, false)});
    TWindDisplay& dial = Dial(200, true);
    EXPECT_EQ(dial.MaxSpeed_kmh, 10);
    EXPECT_EQ(dial.ScaleText(), "Echelle Max/24h: 10 km/h");
    EXPECT_EQ(dial.NewestText(), ""); // the newest gust is not valid: no arrow, no text
    int red = 0;
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 200; ++x)
            if (Pixel(dial.Picture(), x, y) == DialColours::Young ||
                Pixel(dial.Picture(), x, y) == DialColours::Old)
                ++red;
    EXPECT_EQ(red, 0);
}

TEST_F(WindDialTest, AutoscaleTakesTheStrongestGustOfTheDay) {
    Add({Gust(kNow - 0.9, 40, 180), Gust(kNow - 0.5, 20, 270), Gust(kNow - 0.01, 10, 90)});
    TWindDisplay& dial = Dial(200, true);
    EXPECT_DOUBLE_EQ(dial.MaxSpeed_kmh, float(40 / 3.6) * 3.6);
    // Old points dark and hollow, the young one bright and filled.
    const QPoint old = dial.Polar(270, 20), young = dial.Polar(90, 10);
    EXPECT_EQ(Pixel(dial.Picture(), old.x() - 2, old.y()), DialColours::Old);
    EXPECT_EQ(Pixel(dial.Picture(), young.x(), young.y() + 1), DialColours::Young);
    EXPECT_EQ(dial.NewestText(), "10 km/h  E");
}

// Pixels of a colour in the square of side 2 × half + 1 around a point.
int CountAround(const QImage& image, QPoint at, int half, QRgb colour) {
    int n = 0;
    for (int y = at.y() - half; y <= at.y() + half; ++y)
        for (int x = at.x() - half; x <= at.x() + half; ++x)
            n += image.valid(x, y) && Pixel(image, x, y) == colour;
    return n;
}

TEST_F(WindDialTest, AFasterNewestGustThanTheFixedScaleHasNoPointButItsArrow) {
    Add({Gust(kNow - 0.05, 10, 0), Gust(kNow - 0.01, 28, 45)});
    TWindDisplay& dial = Dial(300, false, 20);
    ASSERT_EQ(dial.Rayon, 142);
    // 28 km/h on a 20 km/h scale: 1.4 radii out, towards the free upper right corner.
    const QPoint tip = dial.Polar(45, 28);
    ASSERT_EQ(tip, QPoint(291, 9));
    // The shaft runs on beyond the circle (radius 1.2 here), nearly to the tip.
    EXPECT_GT(CountAround(dial.Picture(), dial.Polar(45, 24), 1, DialColours::White), 0);
    EXPECT_GT(CountAround(dial.Picture(), dial.Polar(45, 27), 1, DialColours::White), 0);
    // No point at the tip: the arrow covers it only partly, and nothing lies beyond it.
    EXPECT_EQ(CountAround(dial.Picture(), tip, 3, DialColours::Young), 0);
    // The older gust inside the scale has its point.
    EXPECT_GT(CountAround(dial.Picture(), dial.Polar(0, 10), 1, DialColours::Young), 0);
}

TEST_F(WindDialTest, ACalmNewestGustHasItsTextButNoArrow) {
    // An hour before, a gust to the south-west; the newest reading is calm towards the north-east.
    Add({Gust(kNow - 1.0 / 24, 15, 225), Gust(kNow - 0.01, 0, 45)});
    TWindDisplay& dial = Dial(200, false, 20);
    EXPECT_EQ(dial.NewestText(), "0 km/h  NE");
    // No shaft towards either gust: not to the calm one's direction, not to the one before.
    for (const QPoint& along :
         {dial.Polar(45, 8), dial.Polar(45, 12), dial.Polar(225, 6), dial.Polar(225, 10)})
        EXPECT_EQ(CountAround(dial.Picture(), along, 1, DialColours::White), 0)
            << along.x() << "," << along.y();
    EXPECT_GT(CountAround(dial.Picture(), dial.Polar(225, 15), 1, DialColours::Young), 0);
}

TEST_F(WindDialTest, MilesPerHour) {
    setup_.Unit_Mph = true;
    Add({Gust(kNow - 0.01, 36, 180)});
    TWindDisplay& dial = Dial(300, false, 100);
    EXPECT_EQ(dial.NewestText(), "22 Mph  S");
    EXPECT_EQ(dial.ScaleText(), "Echelle Max/24h: 62 Mph");
}

} // namespace
