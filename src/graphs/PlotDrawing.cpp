#include "PlotDrawing.h"

#include <cmath>
#include <numbers>
#include <QPainter>

namespace {

int Round(double v) {
    return static_cast<int>(std::nearbyint(v));
}

void SetWidth(QPainter& p, int width) {
    QPen pen = p.pen();
    pen.setWidth(width);
    p.setPen(pen);
}

} // namespace

void DrawCross(QPainter& p, int x, int y, int penWidth, int half) {
    SetWidth(p, penWidth);
    p.drawLine(x - half, y, x + half, y);
    p.drawLine(x, y - half, x, y + half);
    SetWidth(p, 1);
}

void DrawShaft(QPainter& p, int x0, int y0, int x1, int y1, int penWidth) {
    SetWidth(p, penWidth);
    p.drawLine(x0, y0, x1, y1);
    SetWidth(p, 1);
}

void DrawArrowHead(QPainter& p, int x0, int y0, int x1, int y1, int length) {
    if ((x1 == x0 && y1 == y0) || length <= 0) return;
    SetWidth(p, 2);
    const double theta = std::atan2(y1 - y0, x1 - x0);
    for (double degrees : {160.0, 200.0}) {
        const double phi = theta + degrees * std::numbers::pi / 180;
        p.drawLine(x1, y1, x1 + Round(length * std::cos(phi)), y1 + Round(length * std::sin(phi)));
    }
    SetWidth(p, 1);
}

void DrawNotchedArrowHead(QPainter& p, int x0, int y0, int x1, int y1, int d) {
    if ((x1 == x0 && y1 == y0) || d <= 0) return;
    const double theta = std::atan2(y1 - y0, x1 - x0);
    for (int u = 165; u <= 195; ++u) {
        const double f = 0.75 + 0.25 * std::abs(u - 180) / 15.0;
        const double phi = theta + u * std::numbers::pi / 180;
        p.drawLine(x1, y1, x1 + Round(d * f * std::cos(phi)), y1 + Round(d * f * std::sin(phi)));
    }
}
