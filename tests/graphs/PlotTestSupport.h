// A history in a sandbox and plots drawn from it, for the picture tests.
#pragma once

#include <memory>
#include <QImage>

#include "DateTime.h"
#include "GraphicSpecial.h"
#include "HistoryStore.h"
#include "Records.h"
#include "TestSupport.h"

namespace plot_test {

// 9 March 2026, noon: every history of the tests lies before it.
inline const TDateTime kNow = EncodeDateTime(2026, 3, 9, 12);

inline TcapteursInfos Reading(TDateTime date, float skyMinusGround = -20) {
    TcapteursInfos r{};
    r.DateSysteme = date;
    r.DeltaTempDeg = skyMinusGround;
    r.ValueSkyDeg = skyMinusGround - 5;
    r.ValueTempDeg = 10;
    r.DewPoint = 5;
    r.Humidity = 60;
    r.ValidLight = 1;
    r.Lumex = 0.5;
    r.ValidWindGUST = 1;
    r.WindSpeedMax_ms = 3;
    r.DirSpeedMax_deg = 90;
    return r;
}

class PlotTest : public SandboxTest {
  protected:
    void SetUp() override {
        SandboxTest::SetUp();
        SetClockForTests([] { return kNow; });
        setup_ = SetupInfos;
        setup_.RangeDateDisplay = 36500;
        setup_.Disp_Gap_Display = 0.05;
        setup_.SeuilCloudy = -15;
        setup_.SeuilVeryCloudy = -5;
        setup_.SeuilWindy_km = 20;
        setup_.SeuilVeryWindy_km = 40;
        setup_.SeuilDawn = 10;
        store_ = std::make_unique<THistoryStore>(PathDatas);
    }
    void TearDown() override {
        store_.reset();
        SetClockForTests({});
        SandboxTest::TearDown();
    }

    void Add(const TTDataStation& records) { store_->Append(records); }

    // A plot of the given size over [minX, maxX] x [minY, maxY], not yet drawn.
    std::unique_ptr<TGraphicSpecial> Plot(TTypeDataGraph type, int width, int height, double minX,
                                          double maxX, double minY, double maxY) {
        auto plot = std::make_unique<TGraphicSpecial>(*store_, setup_);
        plot->TypeData = type;
        plot->SetSize(width, height);
        plot->Tg = {minY, maxY, minX, maxX, 0, 0};
        plot->OnDrawError = [this](const std::string& text) { errors_.push_back(text); };
        return plot;
    }

    TSetupInfos setup_;
    std::unique_ptr<THistoryStore> store_;
    std::vector<std::string> errors_;
};

inline QRgb Pixel(const QImage& image, int x, int y) {
    return image.pixel(x, y) | 0xFF000000;
}

} // namespace plot_test
