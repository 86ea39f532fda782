// The graph tabs as the observer uses them: the mouse on a plot, the translation box, and the scales
// stored at close and read at the next start.
#include <cmath>
#include <gtest/gtest.h>
#include <QApplication>
#include <QCheckBox>
#include <QTabWidget>
#include <QtTest/QTest>

#include "DatabaseRegistry.h"
#include "GraphTabs.h"
#include "PlotWidget.h"
#include "Supervisor.h"
#include "TestSupport.h"

namespace {

const TDateTime kNow = EncodeDateTime(2026, 3, 9, 12);

class GraphTabsTest : public SandboxTest {
  protected:
    void SetUp() override {
        SandboxTest::SetUp();
        SetClockForTests([this] { return now_; });
    }
    void TearDown() override {
        SetClockForTests({});
        SandboxTest::TearDown();
    }
    TDateTime now_ = kNow;
};

int WhitePixels(const QImage& image, QRect area) {
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += (image.pixel(x, y) | 0xFF000000) == 0xFFFFFFFF;
    return n;
}

TEST_F(GraphTabsTest, TheMouseZoomsAndPansAndEndsTheTranslation) {
    TSupervisorOptions options;
    options.CheckSingleInstance = false;
    options.StartAutomationServer = false;
    options.WatchSuspend = false;
    Supervisor supervisor(options);
    TGraphTabs tabs(supervisor, {});
    QTabWidget pages;
    QWidget* page = tabs.AddPage(&pages, TGraphPage::Sky);
    pages.resize(815, 600);
    pages.show();
    QApplication::processEvents();
    TPlotWidget* plot = tabs.PlotOf(TGraphPage::Sky);
    auto* translate = page->findChild<QCheckBox*>("CheckBoxtranslateSKY");
    ASSERT_NE(translate, nullptr);
    TGraphicSpecial& model = plot->Plot();
    EXPECT_DOUBLE_EQ(model.Tg.MinY, -50); // first start: the defaults
    EXPECT_NEAR(model.Tg.MaxX, kNow + 1.0 / 24, 1e-9);

    // A zoom box: drawn over the picture while the button is down, the plot itself is not redrawn.
    translate->setChecked(true);
    const TgraphicSetupSky before = model.Tg;
    QTest::mousePress(plot, Qt::LeftButton, {}, QPoint(200, 100));
    QTest::mouseMove(plot, QPoint(300, 200));
    const QImage shown = plot->grab().toImage();
    EXPECT_GT(WhitePixels(shown, QRect(250, 199, 10, 3)), 10);                       // the band's lower edge
    EXPECT_EQ(WhitePixels(model.Picture().copy(250, 199, 10, 3), {0, 0, 10, 3}), 0); // not in the picture
    // A redraw asked for meanwhile (a new reading) is dropped.
    const QImage beforeRedraw = model.Picture().copy();
    model.Tg.MinY = before.MinY - 10;
    plot->Redraw();
    EXPECT_EQ(model.Picture(), beforeRedraw);
    model.Tg.MinY = before.MinY;
    QTest::mouseRelease(plot, Qt::LeftButton, {}, QPoint(300, 200));
    EXPECT_FALSE(translate->isChecked());
    EXPECT_NEAR(model.Tg.MinX, before.MinX + (200 - 51) / before.DX * (before.MaxX - before.MinX), 1e-9);
    EXPECT_NEAR(model.Tg.MaxY, model.PixelYToValue(model.BorderY_top + 1), 1e-9);

    // A box thinner than 5 pixels zooms nothing, yet ends the translation, and its box says so.
    translate->setChecked(true);
    const TgraphicSetupSky zoomed = model.Tg;
    QTest::mousePress(plot, Qt::LeftButton, {}, QPoint(200, 100));
    QTest::mouseMove(plot, QPoint(203, 300));
    QTest::mouseRelease(plot, Qt::LeftButton, {}, QPoint(203, 300));
    EXPECT_EQ(model.Tg.MinX, zoomed.MinX);
    EXPECT_EQ(model.Tg.MinY, zoomed.MinY);
    EXPECT_FALSE(translate->isChecked());
    EXPECT_FALSE(model.Translate);

    // The middle button neither zooms nor pans, but ends the translation like any click.
    translate->setChecked(true);
    QTest::mouseClick(plot, Qt::MiddleButton, {}, QPoint(250, 150));
    EXPECT_EQ(model.Tg.MinX, zoomed.MinX);
    EXPECT_EQ(model.Tg.MinY, zoomed.MinY);
    EXPECT_FALSE(translate->isChecked());
    EXPECT_FALSE(model.Translate);

    // A pan moves the window with the pointer.
    translate->setChecked(true);
    QTest::mousePress(plot, Qt::RightButton, {}, QPoint(300, 200));
    QTest::mouseMove(plot, QPoint(400, 200));
    QTest::mouseRelease(plot, Qt::RightButton, {}, QPoint(400, 200));
    EXPECT_NEAR(model.Tg.MinX, zoomed.MinX - 100 / zoomed.DX * (zoomed.MaxX - zoomed.MinX), 1e-9);
    EXPECT_NEAR(model.Tg.MinY, zoomed.MinY, 1e-9);
    EXPECT_FALSE(translate->isChecked());

    // A click without a move changes nothing but ends the translation too.
    translate->setChecked(true);
    const TgraphicSetupSky panned = model.Tg;
    QTest::mouseClick(plot, Qt::LeftButton, {}, QPoint(300, 200));
    EXPECT_EQ(model.Tg.MinX, panned.MinX);
    EXPECT_FALSE(translate->isChecked());
}

TEST_F(GraphTabsTest, StoredScalesComeBackRelativeToThePresent) {
    TDatabaseRegistry registry(Root() + "registry.ini");
    THistoryStore history(PathDatas);
    TGraphicSpecial plot(history);
    plot.Tg = {-20, 10, kNow - 1, kNow, 0, 0};
    SaveGraphScale(registry, "ImageSkyCl", plot);

    now_ = kNow + 3; // three days later, the window ends now
    TgraphicSetupSky tg = LoadGraphScale(registry, "ImageSkyCl", -50, 30, now_ - 1.0 / 24, now_ + 1.0 / 24);
    EXPECT_NEAR(tg.MaxX, now_, 1e-6);
    EXPECT_NEAR(tg.MaxX - tg.MinX, 1, 1e-9);
    EXPECT_EQ(tg.MinY, -20);
    EXPECT_EQ(tg.MaxY, 10);

    // "X1" without "X2": X1 as stored, the default end, no shift.
    registry.WriteCFGtoRegister("\\GraphicScales\\ImageHumidity\\", kNow - 0.5, "X1");
    tg = LoadGraphScale(registry, "ImageHumidity", 0, 100, now_ - 1.0 / 24, now_ + 1.0 / 24);
    EXPECT_EQ(tg.MinX, kNow - 0.5);
    EXPECT_EQ(tg.MaxX, now_ + 1.0 / 24);
    EXPECT_EQ(tg.MaxY, 100);

    // Values that would show an empty plot forever give the defaults.
    registry.WriteCFGtoRegister("\\GraphicScales\\ImageTemps\\", 40.0, "Y1");
    registry.WriteCFGtoRegister("\\GraphicScales\\ImageTemps\\", -10.0, "Y2");
    registry.WriteCFGtoRegister("\\GraphicScales\\ImageTemps\\", "nan", "X1");
    tg = LoadGraphScale(registry, "ImageTemps", -10, 40, now_ - 1.0 / 24, now_ + 1.0 / 24);
    EXPECT_EQ(tg.MinY, -10);
    EXPECT_EQ(tg.MaxY, 40);
    EXPECT_EQ(tg.MinX, now_ - 1.0 / 24);
}

} // namespace
