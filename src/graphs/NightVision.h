// Night vision: the pictures and colours of the window turned into dim red on black, so that an
// observer at the telescope keeps dark-adapted eyes. Red light of low intensity barely bleaches the
// rods; any green or blue would. Each colour keeps its brightness as a level of red, so lines, texts
// and bands stay apart from the black background.
#pragma once

#include <QColor>
#include <QImage>

namespace NightVision {
// The brightest red used: dim enough for a dark room.
inline constexpr int MaxRed = 200;
// A colour of the day picture as it is shown at night: red only, its level from the brightest
// channel (so that a pure blue line stays as visible as a red one), squared. Alpha is kept.
QRgb Colour(QRgb day);
inline QColor Colour(const QColor& day) {
    return QColor::fromRgba(Colour(day.rgba()));
}
// The whole picture, pixel by pixel.
QImage Image(const QImage& day);
} // namespace NightVision
