// The plot's scale: mappings, zooms, automatic scaling and translation, and what a mouse drag does.
#include <cmath>
#include <gtest/gtest.h>

#include "PlotTestSupport.h"
#include "UserText.h"

namespace {

using namespace plot_test;

TEST_F(PlotTest, MappingsPutTheScaleOnTheFirstAndLastInteriorPixels) {
    auto plot = Plot(IRData, 600, 400, kNow - 1, kNow, -50, 30);
    plot->Display();
    EXPECT_EQ(plot->Tg.DX, 538);
    EXPECT_EQ(plot->Tg.DY, 400 - 55 - 20 - 2);
    EXPECT_EQ(plot->DateToPixelX(kNow - 1), 51);
    EXPECT_EQ(plot->DateToPixelX(kNow), 589);
    EXPECT_EQ(plot->ValueToPixelY(30), 21);
    EXPECT_EQ(plot->ValueToPixelY(-50), 400 - 55 - 1);
    EXPECT_NEAR(plot->PixelXToDate(589), kNow, 1e-9);
    EXPECT_NEAR(plot->PixelYToValue(21), 30, 1e-9);
    // Values that cannot be mapped land far outside; zero spans use their substitutes.
    EXPECT_EQ(plot->ValueToPixelY(std::nan("")), FarOutsidePixel);
    EXPECT_EQ(plot->DateToPixelX(INFINITY), FarOutsidePixel);
    plot->Tg.MaxX = plot->Tg.MinX;
    EXPECT_EQ(plot->DateToPixelX(kNow - 1 + 1.0 / 24), 51 + 538);
    plot->Tg.MaxY = plot->Tg.MinY = 0;
    EXPECT_EQ(plot->ValueToPixelY(5), 21);
}

TEST_F(PlotTest, ZoomsStopAtTheirLimits) {
    // Spans from date 0, so that they are exact.
    auto plot = Plot(IRData, 600, 400, 0, 3.0 / 86400, 0, 100);
    plot->ZoomX_plus(); // 3 seconds: no zoom
    EXPECT_DOUBLE_EQ(plot->Tg.MaxX, 3.0 / 86400);
    plot->Tg.MaxX = 4.0 / 86400;
    plot->ZoomX_plus();
    EXPECT_NEAR(plot->Tg.MinX * 86400, 1, 1e-9);
    EXPECT_NEAR(plot->Tg.MaxX * 86400, 3, 1e-9);

    plot->Tg.MinX = kNow - 1;
    plot->Tg.MaxX = kNow;
    plot->Zoom_Moins(365, 100); // the value span is at its limit, the date span doubles
    EXPECT_DOUBLE_EQ(plot->Tg.MaxY - plot->Tg.MinY, 100);
    EXPECT_NEAR(plot->Tg.MaxX - plot->Tg.MinX, 2, 1e-9);
    plot->Zoom_Plus(1.0 / 8640, 1);
    EXPECT_DOUBLE_EQ(plot->Tg.MaxY - plot->Tg.MinY, 50);
    EXPECT_NEAR(plot->Tg.MaxX - plot->Tg.MinX, 1, 1e-9);
    plot->GoLeftX();
    EXPECT_NEAR(plot->Tg.MaxX, kNow - 0.5 + 0.5 - 1.0 / 8, 1e-9);
}

TEST_F(PlotTest, AutoScaleFitsTheDataOrLeavesTheScale) {
    auto plot = Plot(IRData_Minus_Sol, 600, 400, kNow - 1, kNow, -50, 30);
    Add({Reading(kNow - 2.5, -10)});
    plot->DoAutoScale(0); // a single point: nothing changes
    EXPECT_EQ(plot->Tg.MinY, -50);
    EXPECT_EQ(plot->Tg.MaxX, kNow);

    // Three days of data; the last day goes from -30 to -20.
    for (int i = 1; i <= 60; ++i)
        Add({Reading(kNow - 2.5 + i / 24.0, i <= 35   ? 0.0f
                                            : i == 36 ? -25.0f
                                                      : -30.0f + static_cast<float>(i % 11))});
    plot->DoAutoScale(1);
    EXPECT_DOUBLE_EQ(plot->Tg.MaxX, kNow);
    EXPECT_DOUBLE_EQ(plot->Tg.MinX, kNow - 1);
    EXPECT_NEAR(plot->Tg.MinY, -30 - 1, 1e-6);
    EXPECT_NEAR(plot->Tg.MaxY, -20 + 1, 1e-6);

    plot->DoAutoScale(0); // all of it, dates and values with a tenth of their range on each side
    EXPECT_NEAR(plot->Tg.MaxY, 0 + 3, 1e-6);
    EXPECT_NEAR(plot->Tg.MinX, kNow - 2.5 - 0.25, 1e-6);
}

TEST_F(PlotTest, TranslationMovesTheWindowOnlyPastNinetyPercent) {
    const TDateTime d = kNow - 2;
    auto plot = Plot(MoistureData, 600, 400, d, d + 1, 0, 100);
    plot->Translate = true;
    Add({Reading(d + 0.5), Reading(d + 0.85)});
    plot->Display();
    EXPECT_DOUBLE_EQ(plot->Tg.MinX, d);   // the newest point is before the 90 % mark
    EXPECT_DOUBLE_EQ(plot->Tg.MaxY, 100); // constant humidity: the value range stays

    TcapteursInfos damp = Reading(d + 0.95);
    damp.Humidity = 80;
    Add({damp});
    plot->Display();
    EXPECT_NEAR(plot->Tg.MinX, d + 0.05, 1e-9);
    EXPECT_NEAR(plot->Tg.MaxX, d + 1.05, 1e-9);
    EXPECT_NEAR(plot->Tg.MaxY, 82, 1e-6);
    EXPECT_NEAR(plot->Tg.MinY, 58, 1e-6);
}

TEST_F(PlotTest, MouseZoomPanAndClicks) {
    auto plot = Plot(IRData, 600, 400, kNow - 1, kNow, -50, 30);
    plot->Display();
    int ended = 0;
    plot->OnEndZoomPan = [&](TGraphicSpecial&) { ++ended; };
    const TgraphicSetupSky start = plot->Tg;

    // A box 3 pixels wide: nothing changes, translation off, no end call.
    plot->Translate = true;
    plot->PlotMouseDown(TMouseButton::Left, 100, 50);
    plot->PlotMouseMove(103, 150);
    plot->PlotMouseUp();
    EXPECT_FALSE(plot->Translate);
    EXPECT_EQ(ended, 0);
    EXPECT_EQ(plot->Tg.MinX, start.MinX);

    // A click without a move, either button: no change, the end call comes.
    plot->PlotMouseDown(TMouseButton::Left, 100, 50);
    plot->PlotMouseUp();
    plot->PlotMouseDown(TMouseButton::Right, 100, 50);
    plot->PlotMouseUp();
    EXPECT_EQ(ended, 2);
    EXPECT_EQ(plot->Tg.MinY, start.MinY);

    // A box: its corners become the scale.
    plot->PlotMouseDown(TMouseButton::Left, 200, 300);
    plot->PlotMouseMove(150, 120);
    EXPECT_TRUE(plot->ActiveSelZoom);
    plot->PlotMouseUp();
    EXPECT_EQ(ended, 3);
    EXPECT_NEAR(plot->Tg.MinX, kNow - 1 + (150 - 51) / 538.0, 1e-9);
    EXPECT_NEAR(plot->Tg.MaxX, kNow - 1 + (200 - 51) / 538.0, 1e-9);
    EXPECT_NEAR(plot->Tg.MaxY, 30 - (120 - 21) * 80.0 / 323, 1e-9);
    EXPECT_NEAR(plot->Tg.MinY, 30 - (300 - 21) * 80.0 / 323, 1e-9);

    // A pan: the content follows the pointer.
    const TgraphicSetupSky before = plot->Tg;
    plot->PlotMouseDown(TMouseButton::Right, 300, 200);
    plot->PlotMouseMove(400, 150);
    plot->PlotMouseUp();
    EXPECT_NEAR(plot->Tg.MinX - before.MinX, -(before.MaxX - before.MinX) * 100 / 538, 1e-9);
    EXPECT_NEAR(plot->Tg.MinY - before.MinY, -(before.MaxY - before.MinY) * 50 / 323, 1e-9);
    EXPECT_EQ(ended, 4);
    EXPECT_EQ(plot->CursorText(51, 21).substr(0, 19), DateTimeText(plot->Tg.MinX).substr(0, 19));
}

TEST_F(PlotTest, DisplayWaitsWhileTheMouseDrags) {
    auto plot = Plot(IRData, 300, 200, kNow - 1, kNow, -50, 30);
    plot->PlotMouseDown(TMouseButton::Left, 100, 50);
    plot->Display();
    EXPECT_EQ(plot->Tg.DX, 0); // nothing was drawn
    plot->TypeData = static_cast<TTypeDataGraph>(12);
    plot->ActiveSelZoom = false;
    EXPECT_THROW(plot->Display(), EOrvanelError);
}

} // namespace
