#include "WindDisplay.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <fmt/printf.h>
#include <numbers>
#include <QPainter>

#include "Conditions.h"
#include "ConditionTexts.h"
#include "Conversions.h"
#include "GraphicSpecial.h"
#include "PlotDrawing.h"
#include "UserText.h"

namespace {


QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

int RoundOrRaise(double v) {
    if (!std::isfinite(v) || std::fabs(v) > 2147483647.0) throw EOrvanelError(InvalidOpText);
    return static_cast<int>(std::nearbyint(v));
}

void TextAt(QPainter& p, int x, int top, const QString& text) {
    p.drawText(x, top + p.fontMetrics().ascent(), text);
}

// A text on a solid black box of its own size.
void BoxedText(QPainter& p, int x, int top, const QString& text, QRgb colour) {
    const QFontMetrics fm = p.fontMetrics();
    p.fillRect(QRect(x, top, fm.horizontalAdvance(text), fm.height()),
               QColor::fromRgb(DialColours::Background));
    p.setPen(QColor::fromRgb(colour));
    TextAt(p, x, top, text);
}

} // namespace

TWindDisplay::TWindDisplay(const THistoryStore& history, const TSetupInfos& setup)
    : history_(history), setup_(setup) {}

void TWindDisplay::SetSize(int width, int height) {
    width_ = std::max(width, 1);
    height_ = std::max(height, 1);
    picture_ = QImage(width_, height_, QImage::Format_RGB32);
    picture_.setDotsPerMeterX(3780);
    picture_.setDotsPerMeterY(3780);
    picture_.fill(DialColours::Background);
}

QPoint TWindDisplay::Polar(double degrees, double kmh) const {
    const double alpha = degrees * std::numbers::pi / 180;
    const double r = kmh / MaxSpeed_kmh * Rayon;
    return {Xc + RoundOrRaise(r * std::sin(alpha)), Yc - RoundOrRaise(r * std::cos(alpha))};
}

void TWindDisplay::Display() {
    const auto started = std::chrono::steady_clock::now();
    if (picture_.isNull()) SetSize(std::max(width_, 1), std::max(height_, 1));
    QPainter p(&picture_);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setFont(PlotFont());
    p.fillRect(picture_.rect(), QColor::fromRgb(DialColours::Background));
    newestText_.clear();
    Lx = width_;
    Xc = Yc = width_ / 2;
    Rayon = width_ / 2 - 8;

    p.setPen(QColor::fromRgb(DialColours::Spoke));
    for (int i = 0; i < 16; ++i) {
        const double e = i * 22.5 * std::numbers::pi / 180;
        p.drawLine(Xc, Yc, Xc + static_cast<int>(std::nearbyint(std::cos(e) * Rayon)),
                   Yc + static_cast<int>(std::nearbyint(std::sin(e) * Rayon)));
    }
    p.setPen(QColor::fromRgb(DialColours::White));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRect(Xc - Rayon, Yc - Rayon, 2 * Rayon, 2 * Rayon));

    const TTDataStation& records = history_.Records();
    const double range = setup_.RangeDateDisplay;
    // Only the last day counts; the records before it are skipped at once (the history is in date order).
    const size_t firstShown = records.empty()
                                  ? 0
                                  : std::max(history_.FirstInDisplayRange(range),
                                             history_.LowerBound(records.back().DateSysteme - 1.0 - 1e-6));
    if (Autoscale) {
        MaxSpeed_kmh = 0;
        if (DisplayGUST && !records.empty()) {
            const TDateTime newest = records.back().DateSysteme;
            for (size_t i = firstShown; i < records.size(); ++i)
                if (records[i].ValidWindGUST && newest - records[i].DateSysteme < 1)
                    MaxSpeed_kmh = std::max(MaxSpeed_kmh, records[i].WindSpeedMax_ms * 3.6);
        }
        if (MaxSpeed_kmh == 0) MaxSpeed_kmh = 10;
    } else {
        MaxSpeed_kmh = Def_MaxSpeed_kmh;
    }

    if (DisplayGUST && !records.empty()) {
        const TDateTime newest = records.back().DateSysteme;
        for (size_t i = firstShown; i < records.size(); ++i) {
            const TcapteursInfos& r = records[i];
            const double kmh = r.WindSpeedMax_ms * 3.6;
            if (!r.ValidWindGUST || !(kmh <= MaxSpeed_kmh)) continue;
            const double age = newest - r.DateSysteme;
            if (age > 1) continue;
            const QPoint at = Polar(r.DirSpeedMax_deg, kmh);
            if (age < 1.0 / 12) {
                p.setPen(QColor::fromRgb(DialColours::Young));
                p.setBrush(QColor::fromRgb(DialColours::Young));
                p.drawEllipse(QRect(at.x() - 2, at.y() - 2, 4, 4));
            } else {
                p.setPen(QColor::fromRgb(DialColours::Old));
                p.setBrush(Qt::NoBrush);
                p.drawEllipse(QRect(at.x() - 2, at.y() - 2, 3, 3));
            }
        }
        const TcapteursInfos& last = records.back();
        if (last.ValidWindGUST) {
            if (last.WindSpeedMax_ms > 0) {
                const QPoint tip = Polar(last.DirSpeedMax_deg, last.WindSpeedMax_ms * 3.6);
                p.setPen(QPen(QColor::fromRgb(DialColours::White), 2));
                DrawNotchedArrowHead(p, Xc, Yc, tip.x(), tip.y(), 20);
                DrawShaft(p, Xc, Yc, tip.x(), tip.y(), 2);
            }
            const int h = p.fontMetrics().height();
            newestText_ = fmt::sprintf("%1.0f " + WindUnitText(setup_) + "  " +
                                           Degrees_ToSectorName(last.DirSpeedMax_deg),
                                       WindDisplaySpeed(last.WindSpeedMax_ms, setup_));
            BoxedText(p, 10, Lx - 2 * h - 4, Q(newestText_), DialColours::Newest);
            BoxedText(p, 10, Lx - h - 2, Q(DateTimeText(last.DateSysteme)), DialColours::Newest);
        }
    }

    BoxedText(p, 10, 3, Q(Tr("TWindDisplay", "[2h]")), DialColours::White);
    const struct {
        const char* text;
        int x, y;
    } cardinals[] = {{QT_TRANSLATE_NOOP("TWindDisplay", "N"), Xc, Yc - Rayon + 5},
                     {QT_TRANSLATE_NOOP("TWindDisplay", "S"), Xc, Yc + Rayon - 5},
                     {QT_TRANSLATE_NOOP("TWindDisplay", "O"), Xc - Rayon + 5, Yc},
                     {QT_TRANSLATE_NOOP("TWindDisplay", "E"), Xc + Rayon - 5, Yc}};
    for (const auto& c : cardinals) {
        p.setPen(QColor::fromRgb(DialColours::White));
        p.setBrush(QColor::fromRgb(DialColours::Background));
        // Corners (cx - 12, cy - 8) and (cx + 12, cy + 8), the right and bottom edges excluded.
        p.drawRect(QRect(c.x - 12, c.y - 8, 23, 15));
        const QString letter = Q(Tr("TWindDisplay", c.text));
        const QFontMetrics fm = p.fontMetrics();
        TextAt(p, c.x - fm.horizontalAdvance(letter) / 2, c.y - fm.height() / 2, letter);
    }
    p.setBrush(Qt::NoBrush);
    scaleText_ = fmt::sprintf(Tr("TWindDisplay", "Echelle Max/24h: %1.0f ") + WindUnitText(setup_),
                              WindDisplaySpeed(MaxSpeed_kmh / 3.6, setup_));
    const QString scale = Q(scaleText_);
    const QFontMetrics fm = p.fontMetrics();
    p.setPen(QColor::fromRgb(DialColours::White));
    TextAt(p, Lx - fm.horizontalAdvance(scale) - 2, Lx - fm.height() - 2, scale);
    if (DebugMode) {
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        const QString text = Q(fmt::sprintf("(%1.3f s)", seconds));
        p.setPen(QColor::fromRgb(DialColours::Timing));
        TextAt(p, width_ - 5 - fm.horizontalAdvance(text), 3, text);
    }
}
