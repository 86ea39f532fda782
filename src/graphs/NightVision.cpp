#include "NightVision.h"

#include <algorithm>

QRgb NightVision::Colour(QRgb day) {
    // Squared: pale areas (the plots' bands, light backgrounds) darken more than bright thin lines
    // and texts, which stay readable.
    const int level = std::max({qRed(day), qGreen(day), qBlue(day)});
    return qRgba(level * level * MaxRed / (255 * 255), 0, 0, qAlpha(day));
}

QImage NightVision::Image(const QImage& day) {
    QImage night = day.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < night.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(night.scanLine(y));
        for (int x = 0; x < night.width(); ++x)
            line[x] = Colour(line[x]);
    }
    return night;
}
