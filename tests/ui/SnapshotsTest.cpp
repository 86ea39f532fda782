// The snapshot pictures as the window makes them: the publishing copies at the web sizes whatever the
// window size, the screen copies at the on-screen sizes, the wind plot's median mode carried over, no
// debug plot ever written, and the off-screen window of a headless program publishing all seven
// pictures through a real FTP server on loopback.
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <gtest/gtest.h>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QImage>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>
#include <set>
#include <tuple>

#include "FormWebSetup.h"
#include "FtpLoader.h"
#include "FtpTestServer.h"
#include "GraphTabs.h"
#include "JpegFile.h"
#include "MainWindow.h"
#include "PlotWidget.h"
#include "Snapshots.h"
#include "FtpPublishing.h"
#include "Supervisor.h"
#include "TestSupport.h"

namespace {

namespace fs = std::filesystem;

const TDateTime kNow = EncodeDateTime(2026, 10, 14, 22, 30);

// Three hours of readings, one every 20 s. The gust is 5 m/s, with a 20 m/s spike every tenth
// reading: the median of 31 readings never shows a spike.
TTDataStation Readings() {
    TTDataStation records;
    for (int i = 540; i >= 1; --i) {
        TcapteursInfos r{};
        r.DateSysteme = kNow - i * 20.0 / 86400;
        r.DeltaTempDeg = static_cast<float>(-24 + 3 * std::sin(i / 40.0));
        r.ValueSkyDeg = r.DeltaTempDeg - 8;
        r.ValueTempDeg = static_cast<float>(7 + std::sin(i / 60.0));
        r.DewPoint = r.ValueTempDeg - 4;
        r.Humidity = static_cast<float>(70 + 10 * std::sin(i / 50.0));
        r.ValidLight = 1;
        r.Lumex = 2.5;
        r.ValidWindGUST = 1;
        r.WindSpeedMax_ms = i % 10 == 0 ? 20.0f : 5.0f;
        r.DirSpeedMax_deg = static_cast<float>((i * 37) % 360);
        r.PowerVolts = 12.2f;
        records.push_back(r);
    }
    return records;
}

class SnapshotsTest : public SandboxTest {
  protected:
    void SetUp() override {
        SandboxTest::SetUp();
        SetClockForTests([] { return kNow; });
        TSetupWebPublish& web = SetupInfos.SetupWebPublish;
        web.Lx_AllGraphs = 400;
        web.Ly_AllGraphs = 250;
        web.Lx_GrWspeed = 450;
        web.Ly_GrWspeed = 300;
        web.L_GrWDir = 200;
        web.CompressionLevelJPEG = 90;
        web.IntervallSec = 60;
    }
    void TearDown() override {
        window_.reset();
        supervisor_.reset();
        SetClockForTests({});
        SandboxTest::TearDown();
    }
    void Open(TWindowPlace place = TWindowPlace::OnScreen) {
        TSupervisorOptions options;
        options.Headless = place == TWindowPlace::OffScreen;
        options.CheckSingleInstance = false;
        options.StartAutomationServer = false;
        options.WatchSuspend = false;
        options.FtpTimeouts = {20000, 20000};
        supervisor_ = std::make_unique<Supervisor>(options);
        supervisor_->EditableHistory().Append(Readings());
        window_ = std::make_unique<MainWindow>(*supervisor_, nullptr, place);
        if (place == TWindowPlace::OnScreen) window_->show();
        window_->Graphs()->RedrawAll();
        QApplication::processEvents();
    }
    TGraphicSpecial& Plot(TGraphPage page) { return window_->Graphs()->PlotOf(page)->Plot(); }

    std::unique_ptr<Supervisor> supervisor_;
    std::unique_ptr<MainWindow> window_;
};

QSize SizeOf(const std::string& path) {
    return QImage(QString::fromStdString(path), "JPG").size();
}

std::set<std::string> Files(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

const std::set<std::string> kSeven = {"last_SkyCloud.jpg", "last_SkyLight.jpg",  "last_Humidity.jpg",
                                      "last_Temp.jpg",     "last_WindSpeed.jpg", "last_WindDisplay.jpg",
                                      "last_overview.jpg"};

// The publishing sizes do not follow the window; the screen snapshots do. Neither touches the plots.
TEST_F(SnapshotsTest, PublishingSizesWhateverTheWindowSizeAndScreenSizesOtherwise) {
    Open();
    for (QSize windowSize : {QSize(853, 630), QSize(1400, 900)}) {
        SCOPED_TRACE(windowSize.width());
        window_->resize(windowSize);
        QApplication::processEvents();
        const TgraphicSetupSky scale = Plot(TGraphPage::Temperature).Tg;

        window_->SavePublishSnapshots(90);
        EXPECT_EQ(Files(PathJpeg), kSeven);
        for (const char* name :
             {"last_Temp.jpg", "last_SkyLight.jpg", "last_SkyCloud.jpg", "last_Humidity.jpg"})
            EXPECT_EQ(SizeOf(PathJpeg + name), QSize(400, 250)) << name;
        EXPECT_EQ(SizeOf(PathJpeg + "last_WindSpeed.jpg"), QSize(450, 300));
        EXPECT_EQ(SizeOf(PathJpeg + "last_WindDisplay.jpg"), QSize(200, 200));
        const QWidget* sheet = window_->findChild<QWidget*>("TabSheetInfos");
        EXPECT_EQ(SizeOf(PathJpeg + "last_overview.jpg"), sheet->size());
        const TgraphicSetupSky after = Plot(TGraphPage::Temperature).Tg;
        EXPECT_EQ(std::tie(after.MinX, after.MaxX, after.MinY, after.MaxY),
                  std::tie(scale.MinX, scale.MaxX, scale.MinY, scale.MaxY));

        // Saved from the information tab: the graph tabs were never shown, or at the other size.
        ASSERT_EQ(window_->Pages()->currentIndex(), 0);
        window_->SaveScreenSnapshots(100);
        EXPECT_EQ(Files(PathJpeg), kSeven);
        // The web dialog's "current size" buttons read the same sizes.
        window_->findChild<QAction*>("PublicationWeb1")->trigger();
        QPointer<TFormWebSetup> web = window_->findChild<TFormWebSetup*>();
        ASSERT_FALSE(web.isNull());
        web->findChild<QPushButton*>("ButtonCurrentSizeGraph")->click();
        web->findChild<QPushButton*>("ButtonCurrentWindDirSize")->click();
        const QSize offeredLight(web->findChild<QLineEdit*>("NumberEditX_Gr")->text().toInt(),
                                 web->findChild<QLineEdit*>("NumberEditY_Gr")->text().toInt());
        const int offeredDial = web->findChild<QLineEdit*>("NumberEditL_windDir")->text().toInt();
        web->reject();
        delete web.data(); // not left to a later event loop: the next round finds the new one

        // Each picture has the size its plot has when its tab is shown.
        const std::pair<TGraphPage, const char*> plots[] = {{TGraphPage::Temperature, "last_Temp.jpg"},
                                                            {TGraphPage::Sky, "last_SkyCloud.jpg"},
                                                            {TGraphPage::Light, "last_SkyLight.jpg"},
                                                            {TGraphPage::Humidity, "last_Humidity.jpg"},
                                                            {TGraphPage::Wind, "last_WindSpeed.jpg"}};
        for (const auto& [page, name] : plots) {
            const QSize saved = SizeOf(PathJpeg + name);
            window_->Pages()->setCurrentWidget(window_->Graphs()->PageOf(page));
            QApplication::processEvents();
            EXPECT_EQ(saved, window_->Graphs()->PlotOf(page)->size()) << name;
            if (page == TGraphPage::Light) EXPECT_EQ(offeredLight, saved);
        }
        const QWidget* dial = window_->Graphs()->Dial();
        EXPECT_EQ(dial->width(), dial->height());
        EXPECT_EQ(SizeOf(PathJpeg + "last_WindDisplay.jpg"), dial->size());
        EXPECT_EQ(offeredDial, dial->height());
        EXPECT_GT(SizeOf(PathJpeg + "last_Temp.jpg").width(), 400);
        window_->Pages()->setCurrentIndex(0);
        QApplication::processEvents();
    }
    EXPECT_THROW(window_->SavePublishSnapshots(0), ERangeError);
    EXPECT_THROW(window_->SaveScreenSnapshots(101), ERangeError);
}

// Mean difference per channel of two pictures of the same size.
double Difference(const QImage& a, const QImage& b) {
    const QImage x = a.convertToFormat(QImage::Format_RGB32), y = b.convertToFormat(QImage::Format_RGB32);
    double sum = 0;
    for (int row = 0; row < x.height(); ++row)
        for (int col = 0; col < x.width(); ++col) {
            const QRgb p = x.pixel(col, row), q = y.pixel(col, row);
            sum +=
                std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
        }
    return sum / (3.0 * x.width() * x.height());
}

// The published wind plot shows the medians when the on-screen one does (its box ticked), and the
// gusts otherwise.
TEST_F(SnapshotsTest, TheWindSnapshotFollowsTheMedianMode) {
    Open();
    const TGraphicSpecial& onScreen = Plot(TGraphPage::Wind);
    auto render = [&](bool medians) {
        TGraphicSpecial plot(supervisor_->History());
        plot.TypeData = WinData;
        plot.SetSize(450, 300);
        plot.Tg = onScreen.Tg;
        plot.Special = medians;
        plot.Display();
        return plot.Picture();
    };
    const QImage gusts = render(false), medians = render(true);
    ASSERT_GT(Difference(gusts, medians), 1.0); // the spikes are there to tell them apart
    auto* medianBox = window_->findChild<QCheckBox*>("CheckBoxWindlast31Points");
    ASSERT_NE(medianBox, nullptr);
    for (bool median : {true, false}) {
        SCOPED_TRACE(median);
        medianBox->setChecked(median);
        window_->SavePublishSnapshots(100);
        const QImage published(QString::fromStdString(PathJpeg + "last_WindSpeed.jpg"), "JPG");
        const double toMedians = Difference(published, medians), toGusts = Difference(published, gusts);
        EXPECT_LT(median ? toMedians : toGusts, median ? toGusts : toMedians);
    }
}

// With the debug tabs the voltage and heater plots are on the screen, and still never saved.
TEST_F(SnapshotsTest, NoVoltageOrHeaterPictureInDebugMode) {
    WriteWholeFile(PathLogs + "debug.txt", "");
    Open();
    ASSERT_NE(window_->Graphs()->PlotOf(TGraphPage::Volts), nullptr);
    ASSERT_NE(window_->Graphs()->PlotOf(TGraphPage::Heater), nullptr);
    window_->SaveScreenSnapshots(100);
    EXPECT_EQ(Files(PathJpeg), kSeven);
    for (const auto& name : kSeven)
        fs::remove(PathJpeg + name);
    window_->SavePublishSnapshots(100);
    EXPECT_EQ(Files(PathJpeg), kSeven);
}

// As `orvanel --headless` runs: the window is never on a screen, yet each FTP tick renders the seven
// pictures and the upload lands them, at the publishing sizes, with the page.
TEST_F(SnapshotsTest, HeadlessFtpTickPublishesTheSevenPictures) {
    TFtpServerOptions options;
    options.Home = Root() + "ftp-home/";
    TFtpTestServer server(options);
    if (!server.Problem().empty()) GTEST_SKIP() << server.Problem();
    TSetupWebPublish& web = SetupInfos.SetupWebPublish;
    web.Enabled = true;
    web.HostName = server.HostAndPort();
    web.login = options.User;
    web.PassWord = options.Password;
    web.RemotePath = "";
    web.PassiveFTP = true;

    Open(TWindowPlace::OffScreen);
    EXPECT_TRUE(window_->testAttribute(Qt::WA_DontShowOnScreen));
    supervisor_->FtpPublishing().TimerFTPTimer();
    ASSERT_TRUE(TFTPLoaderThread::WaitForEnd(20000));

    std::set<std::string> expected = kSeven;
    expected.insert("orvanel.html");
    EXPECT_EQ(Files(options.Home), expected);
    const std::string ftpLog = ReadWholeFile(PathLogs + FtpLogFileNameFor(Now()));
    EXPECT_EQ(ftpLog.find("n'existe pas"), std::string::npos) << ftpLog;
    EXPECT_EQ(SizeOf(options.Home + "last_Temp.jpg"), QSize(400, 250));
    EXPECT_EQ(SizeOf(options.Home + "last_WindSpeed.jpg"), QSize(450, 300));
    EXPECT_EQ(SizeOf(options.Home + "last_WindDisplay.jpg"), QSize(200, 200));
    // The information tab laid out as in the window, not squeezed into a default widget size.
    const QImage overview(QString::fromStdString(options.Home + "last_overview.jpg"), "JPG");
    EXPECT_GE(overview.width(), 800);
    EXPECT_GE(overview.height(), 500);
    // Its text is drawn: dark pixels on the light background.
    int dark = 0;
    for (int y = 0; y < overview.height(); y += 2)
        for (int x = 0; x < overview.width(); x += 2)
            dark += qGray(overview.pixel(x, y)) < 80;
    EXPECT_GT(dark, 500);
}

} // namespace
