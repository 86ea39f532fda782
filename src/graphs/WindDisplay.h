// The wind dial: the gusts of the last 24 hours on a compass rose (distance: speed, angle: direction,
// north up), drawn into a QImage. The window shows one; the snapshots draw another at their own size.
#pragma once

#include <QImage>
#include <string>

#include "HistoryStore.h"
#include "Records.h"

namespace DialColours {
inline constexpr QRgb Background = 0xFF000000;
inline constexpr QRgb Spoke = 0xFF333333;
inline constexpr QRgb White = 0xFFFFFFFF;
inline constexpr QRgb Young = 0xFFFF4040; // younger than 2 hours
inline constexpr QRgb Old = 0xFF604040;   // 2 to 24 hours old
inline constexpr QRgb Newest = 0xFFFF0000;
inline constexpr QRgb Timing = 0xFF00FF00;
} // namespace DialColours

class TWindDisplay {
  public:
    explicit TWindDisplay(const THistoryStore& history, const TSetupInfos& setup = SetupInfos);

    int Rayon = 0;
    int Lx = 0;
    int Xc = 0, Yc = 0;
    double MaxSpeed_kmh = 0;
    double Def_MaxSpeed_kmh = 50.0;
    bool Autoscale = false;
    bool DisplayGUST = false;

    // The dial is laid out as a square of the width.
    void SetSize(int width, int height);
    int Width() const { return width_; }
    const QImage& Picture() const { return picture_; }
    // Repaints the whole dial. Raises when a gust to draw has a speed or direction that is not a number.
    void Display();
    // The picture of the last Display as a JPEG file (no redraw); raises as SaveImageAsJpeg does.
    void SaveToFile(const std::string& path, int quality) const;

    // The texts of the last Display: the newest gust's speed and sector (empty when not written) and
    // the scale.
    const std::string& NewestText() const { return newestText_; }
    const std::string& ScaleText() const { return scaleText_; }

    // Pixel of a gust of direction degrees and speed km/h on the current scale.
    QPoint Polar(double degrees, double kmh) const;

  private:
    const THistoryStore& history_;
    const TSetupInfos& setup_;
    int width_ = 0, height_ = 0;
    QImage picture_;
    std::string newestText_, scaleText_;
};
