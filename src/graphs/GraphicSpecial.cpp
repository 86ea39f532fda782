#include "GraphicSpecial.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <fmt/printf.h>
#include <limits>
#include <QFont>
#include <QFontMetrics>
#include <QPainter>

#include "Conditions.h"
#include "Log.h"
#include "PlotValues.h"
#include "UserText.h"

namespace {


QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

int64_t RoundToPixel(double v) {
    if (!std::isfinite(v) || std::fabs(v) >= 9.2e18) return FarOutsidePixel;
    return static_cast<int64_t>(std::nearbyint(v));
}

int64_t Trunc(double v) {
    if (!std::isfinite(v) || std::fabs(v) >= 9.2e18) return std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(v);
}

double Frac(double v) {
    return v - std::trunc(v);
}

// Text with its top-left corner at (x, top).
void TextAt(QPainter& p, int x, int top, const QString& text) {
    p.drawText(x, top + p.fontMetrics().ascent(), text);
}

int TextWidth(const QPainter& p, const QString& text) {
    return p.fontMetrics().horizontalAdvance(text);
}

// A user's pattern may hold a percent sign of its own; the caller's text is inserted as it is.
std::string Escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        out += c;
        if (c == '%') out += '%';
    }
    return out;
}

} // namespace

QFont PlotFont(double points) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    return font;
}

std::string MonthAbbreviation(int month) {
    static constexpr const char* names[12] = {
        QT_TRANSLATE_NOOP("TGraphicSpecial", "Jan"), QT_TRANSLATE_NOOP("TGraphicSpecial", "Fev"),
        QT_TRANSLATE_NOOP("TGraphicSpecial", "Mar"), QT_TRANSLATE_NOOP("TGraphicSpecial", "Avr"),
        QT_TRANSLATE_NOOP("TGraphicSpecial", "Mai"), QT_TRANSLATE_NOOP("TGraphicSpecial", "Jui"),
        QT_TRANSLATE_NOOP("TGraphicSpecial", "Jul"), QT_TRANSLATE_NOOP("TGraphicSpecial", "Aou"),
        QT_TRANSLATE_NOOP("TGraphicSpecial", "Sep"), QT_TRANSLATE_NOOP("TGraphicSpecial", "Oct"),
        QT_TRANSLATE_NOOP("TGraphicSpecial", "Nov"), QT_TRANSLATE_NOOP("TGraphicSpecial", "Dec")};
    if (month < 1 || month > 12) return "??";
    return Tr("TGraphicSpecial", names[month - 1]);
}

std::string WeekdayAbbreviation(int weekday) {
    static constexpr const char* names[7] = {
        QT_TRANSLATE_NOOP("TGraphicSpecial", "Di"), QT_TRANSLATE_NOOP("TGraphicSpecial", "Lu"),
        QT_TRANSLATE_NOOP("TGraphicSpecial", "Ma"), QT_TRANSLATE_NOOP("TGraphicSpecial", "Me"),
        QT_TRANSLATE_NOOP("TGraphicSpecial", "je"), QT_TRANSLATE_NOOP("TGraphicSpecial", "Ve"),
        QT_TRANSLATE_NOOP("TGraphicSpecial", "Sa")};
    if (weekday < 0 || weekday > 6) return "??";
    return Tr("TGraphicSpecial", names[weekday]);
}

std::string FormatDatePattern(const std::string& pattern, TDateTime value) {
    const TDateTimeParts d = DecodeDateTime(value);
    std::string out;
    bool afterHour = false;
    for (size_t i = 0; i < pattern.size();) {
        auto starts = [&](const char* token) { return pattern.compare(i, std::strlen(token), token) == 0; };
        if (starts("yyyy")) {
            out += fmt::sprintf("%04d", d.Year);
            i += 4;
        } else if (starts("mm")) {
            out += fmt::sprintf("%02d", afterHour ? d.Minute : d.Month);
            i += 2;
        } else if (starts("dd")) {
            out += fmt::sprintf("%02d", d.Day);
            i += 2;
        } else if (starts("hh")) {
            out += fmt::sprintf("%02d", d.Hour);
            afterHour = true;
            i += 2;
        } else {
            out += pattern[i++];
        }
    }
    return out;
}

int ThinningStepFor(size_t records, int64_t pixelSpan, double gap) {
    if (records < 101 || pixelSpan == 0) return 1;
    const double span = std::fabs(static_cast<double>(pixelSpan));
    const double n = static_cast<double>(records);
    // The smallest step with span / (n / step) > gap: a first guess, then the test itself decides.
    double guess = std::floor(gap * n / span);
    if (!std::isfinite(guess) || guess < 1) guess = 1;
    if (guess > n) guess = n;
    int64_t step = std::max<int64_t>(1, static_cast<int64_t>(guess) - 1);
    while (!(span / (n / static_cast<double>(step)) > gap) && step < static_cast<int64_t>(records) + 1)
        ++step;
    return static_cast<int>(std::min<int64_t>(step, std::numeric_limits<int>::max()));
}

TGraphicSpecial::TGraphicSpecial(const THistoryStore& history, const TSetupInfos& setup)
    : history_(history), setup_(setup) {}

void TGraphicSpecial::SetSize(int width, int height) {
    width_ = std::max(width, 1);
    height_ = std::max(height, 1);
    picture_ = QImage(width_, height_, QImage::Format_RGB32);
    // Fonts in points come out the same size on the screen, the clipboard and the snapshots.
    picture_.setDotsPerMeterX(3780);
    picture_.setDotsPerMeterY(3780);
    picture_.fill(PlotColours::Background);
}

// ---- Mappings -----------------------------------------------------------------------------------

int64_t TGraphicSpecial::DateToPixelX(TDateTime t) const {
    double s = Tg.MaxX - Tg.MinX;
    if (s == 0) s = 1.0 / 24;
    return RoundToPixel(Tg.DX * (t - Tg.MinX) / s + BorderX_left + 1);
}

TDateTime TGraphicSpecial::PixelXToDate(double x) const {
    const double d = Tg.DX == 0 ? 250 : Tg.DX;
    return Tg.MinX + (x - BorderX_left - 1) / d * (Tg.MaxX - Tg.MinX);
}

int64_t TGraphicSpecial::ValueToPixelY(double v) const {
    double r = Tg.MaxY - Tg.MinY;
    if (r == 0) r = 5;
    return RoundToPixel(Tg.DY - Tg.DY * (v - Tg.MinY) / r + 1 + BorderY_top);
}

double TGraphicSpecial::PixelYToValue(double y) const {
    const double d = Tg.DY == 0 ? 250 : Tg.DY;
    return Tg.MinY + (BorderY_top + 1 + d - y) * (Tg.MaxY - Tg.MinY) / d;
}

bool TGraphicSpecial::Inside(int64_t x, int64_t y) const {
    return BorderX_left < x && x < width_ - BorderX_right && BorderY_top < y && y < height_ - BorderY_Bottom;
}

int TGraphicSpecial::PixelCoordinate(int64_t v) const {
    if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max())
        throw EOrvanelError("Range check error");
    return static_cast<int>(v);
}

// ---- Scale operations -----------------------------------------------------------------------------

namespace {

void Halve(double& min, double& max) {
    const double c = (max + min) / 2, h = (max - min) / 2;
    min = c - h / 2;
    max = c + h / 2;
}

void Double(double& min, double& max) {
    const double c = (max + min) / 2, h = (max - min) / 2;
    min = c - 2 * h;
    max = c + 2 * h;
}

void Move(double& min, double& max, double sign) {
    const double e = (max - min) / 8 * sign;
    min += e;
    max += e;
}

} // namespace

void TGraphicSpecial::GoLeftX() {
    Move(Tg.MinX, Tg.MaxX, -1);
    Display();
}

void TGraphicSpecial::GoRightX() {
    Move(Tg.MinX, Tg.MaxX, 1);
    Display();
}

void TGraphicSpecial::GoBottomY() {
    Move(Tg.MinY, Tg.MaxY, -1);
    Display();
}

void TGraphicSpecial::GoTopY() {
    Move(Tg.MinY, Tg.MaxY, 1);
    Display();
}

void TGraphicSpecial::ZoomX_plus() {
    if (Tg.MaxX - Tg.MinX <= 1.0 / 28800) return;
    Halve(Tg.MinX, Tg.MaxX);
    Display();
}

void TGraphicSpecial::ZoomX_Moins() {
    if (Tg.MaxX - Tg.MinX >= 350) return;
    Double(Tg.MinX, Tg.MaxX);
    Display();
}

void TGraphicSpecial::ZoomY_plus() {
    if (Tg.MaxY - Tg.MinY <= 0.1) return;
    Halve(Tg.MinY, Tg.MaxY);
    Display();
}

void TGraphicSpecial::ZoomY_Moins() {
    if (Tg.MaxY - Tg.MinY >= 100) return;
    Double(Tg.MinY, Tg.MaxY);
    Display();
}

void TGraphicSpecial::Zoom_Plus(double DXMin, double DYMin) {
    if (Tg.MaxY - Tg.MinY > DYMin) Halve(Tg.MinY, Tg.MaxY);
    if (Tg.MaxX - Tg.MinX > DXMin) Halve(Tg.MinX, Tg.MaxX);
    Display();
}

void TGraphicSpecial::Zoom_Moins(double DXMax, double DYMax) {
    if (Tg.MaxY - Tg.MinY < DYMax) Double(Tg.MinY, Tg.MaxY);
    if (Tg.MaxX - Tg.MinX < DXMax) Double(Tg.MinX, Tg.MaxX);
    Display();
}

void TGraphicSpecial::DoAutoScale(double DeltaTime) {
    const TPlottedQuantity quantity = MainQuantityOf(TypeData);
    const TPlotOptions options{.MagniDisplay = setup_.MagniDisplay};
    const TDateTime now = Now();
    double dateMin = std::numeric_limits<double>::max(), dateMax = -dateMin;
    double valueMin = dateMin, valueMax = -dateMin;
    int count = 0;
    const auto& records = history_.Records();
    size_t i = history_.FirstInDisplayRange(setup_.RangeDateDisplay);
    if (DeltaTime > 0) {
        // Records before this one are too old; the test below decides at the boundary.
        const size_t recent = history_.LowerBound(now - DeltaTime);
        i = std::max(i, recent > 0 ? recent - 1 : 0);
    }
    for (; i < records.size(); ++i) {
        const TDateTime date = records[i].DateSysteme;
        if (DeltaTime > 0 && !(now - date < DeltaTime)) continue;
        const std::optional<double> v = PlottedValue(records[i], quantity, options);
        if (!v || !std::isfinite(*v)) continue;
        dateMin = std::min(dateMin, date);
        dateMax = std::max(dateMax, date);
        valueMin = std::min(valueMin, *v);
        valueMax = std::max(valueMax, *v);
        ++count;
    }
    const double valueRange = valueMax - valueMin, dateRange = dateMax - dateMin;
    if (count == 0 || valueRange == 0 || dateRange == 0) return;
    if (DeltaTime != 0) {
        Tg.MaxX = now;
        Tg.MinX = now - DeltaTime;
    } else {
        Tg.MaxX = dateMax + 0.1 * dateRange;
        Tg.MinX = dateMin - 0.1 * dateRange;
    }
    Tg.MaxY = valueMax + 0.1 * valueRange;
    Tg.MinY = valueMin - 0.1 * valueRange;
    Display();
}

void TGraphicSpecial::ApplyTranslation() {
    const auto& records = history_.Records();
    if (records.empty()) return;
    const double span = Tg.MaxX - Tg.MinX;
    const TDateTime newest = records.back().DateSysteme;
    if (newest > Tg.MaxX - 0.1 * span) {
        const double shift = newest - (Tg.MaxX - 0.1 * span);
        Tg.MinX += shift;
        Tg.MaxX += shift;
    }
    // Value fit over the window, always from the raw values (the wind's gusts, not their median).
    const TPlottedQuantity quantity = MainQuantityOf(TypeData);
    const TPlotOptions options{.MagniDisplay = setup_.MagniDisplay};
    double low = std::numeric_limits<double>::infinity(), high = -low;
    int count = 0;
    for (size_t i = records.size(); i-- > 0;) {
        if (records[i].DateSysteme < Tg.MinX) break;
        const std::optional<double> v = PlottedValue(records[i], quantity, options);
        if (!v || !std::isfinite(*v)) continue;
        low = std::min(low, *v);
        high = std::max(high, *v);
        ++count;
    }
    if (count >= 2 && high != low) {
        Tg.MaxY = high + 0.1 * (high - low);
        Tg.MinY = low - 0.1 * (high - low);
    }
}

// ---- Mouse ----------------------------------------------------------------------------------------

void TGraphicSpecial::PlotMouseDown(TMouseButton button, int x, int y) {
    if (button == TMouseButton::Left) ActiveSelZoom = true;
    if (button == TMouseButton::Right) ActiveSelPan = true;
    XoSky = x;
    YoSky = y;
    PrevX1 = -1;
    PrevY1 = -1;
}

void TGraphicSpecial::PlotMouseMove(int x, int y) {
    if (ActiveSelZoom || ActiveSelPan) {
        X1Sky = x;
        Y1Sky = y;
        PrevX1 = x;
        PrevY1 = y;
    }
}

void TGraphicSpecial::PlotMouseUp() {
    Translate = false;
    if (ActiveSelZoom) {
        ActiveSelZoom = false;
        if (PrevX1 != -1 && PrevY1 != -1) {
            if (std::abs(XoSky - PrevX1) < 5 || std::abs(YoSky - PrevY1) < 5) return;
            const double minX = PixelXToDate(std::min(XoSky, PrevX1));
            const double maxX = PixelXToDate(std::max(XoSky, PrevX1));
            const double maxY = PixelYToValue(std::min(YoSky, PrevY1));
            const double minY = PixelYToValue(std::max(YoSky, PrevY1));
            Tg.MinX = minX;
            Tg.MaxX = maxX;
            Tg.MaxY = maxY;
            Tg.MinY = minY;
            Display();
        }
    }
    if (ActiveSelPan) {
        ActiveSelPan = false;
        if (PrevX1 != -1 && PrevY1 != -1) {
            const double dDate = PixelXToDate(XoSky) - PixelXToDate(PrevX1);
            const double dValue = PixelYToValue(YoSky) - PixelYToValue(PrevY1);
            Tg.MinX += dDate;
            Tg.MaxX += dDate;
            Tg.MinY += dValue;
            Tg.MaxY += dValue;
        }
        Display();
    }
    if (OnEndZoomPan) OnEndZoomPan(*this);
}

std::string TGraphicSpecial::CursorText(int x, int y) const {
    return DateTimeText(PixelXToDate(x)) + fmt::sprintf("   %1.2f" + unit_Str, PixelYToValue(y));
}

// ---- Display --------------------------------------------------------------------------------------

void TGraphicSpecial::Display() {
    const auto started = std::chrono::steady_clock::now();
    if (ActiveSelZoom || ActiveSelPan) return;
    (void)MainQuantityOf(TypeData); // "Non implementé!" for a type outside the enumeration
    if (picture_.isNull()) SetSize(width_ > 0 ? width_ : 1, height_ > 0 ? height_ : 1);
    if (Translate) ApplyTranslation();
    Tg.DY = height_ - BorderY_Bottom - BorderY_top - 2;
    Tg.DX = width_ - BorderX_right - BorderX_left - 2;

    {
        QPainter p(&picture_);
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setRenderHint(QPainter::TextAntialiasing, true);
        p.setFont(PlotFont());
        PaintBackground(p);
        PaintBands(p);
        PaintValueAxis(p);
        PaintDateAxis(p);
    }

    // Thinning: the displayable records are the tail of the history, in date order, so the extreme
    // columns are those of the oldest and the newest.
    const size_t first = history_.FirstInDisplayRange(setup_.RangeDateDisplay);
    const size_t count = history_.Size() - first;
    int step = 1;
    if (count > 0) {
        const int64_t xNewest = PixelCoordinate(DateToPixelX(history_.Records().back().DateSysteme));
        const int64_t xOldest = PixelCoordinate(DateToPixelX(history_.Records()[first].DateSysteme));
        step = ThinningStepFor(count, std::max(xNewest, xOldest) - std::min(xNewest, xOldest),
                               setup_.Disp_Gap_Display);
    }
    lastStep_ = step;
    if (count > 0) PaintRecords(first, step);

    QPainter p(&picture_);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setFont(PlotFont());
    const int L = BorderX_left, T = BorderY_top, W = width_, H = height_, R = BorderX_right,
              B = BorderY_Bottom;
    p.setPen(QPen(QColor::fromRgb(PlotColours::Text), 1));
    p.setBrush(Qt::NoBrush);
    // A stroked rectangle covers its size plus the pen: columns L to W - R, rows T to H - B.
    p.drawRect(QRect(L, T, W - R - L, H - B - T));
    if (DebugMode) {
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        const QString text = Q(fmt::sprintf("(%1.3f s 1/%d )", seconds, step));
        p.setPen(QColor::fromRgb(PlotColours::Timing));
        TextAt(p, (W - TextWidth(p, text)) / 2, H - p.fontMetrics().height() - 3, text);
    }
}

void TGraphicSpecial::PaintBackground(QPainter& p) {
    p.fillRect(QRect(0, 0, width_, height_), QColor::fromRgb(PlotColours::Background));
    if (history_.Empty()) return;
    const QString text = Q(DateTimeText(history_.Records().back().DateSysteme));
    p.setPen(QColor::fromRgb(PlotColours::Text));
    TextAt(p, width_ - BorderX_right - TextWidth(p, text), BorderY_top - p.fontMetrics().height() - 3, text);
}

void TGraphicSpecial::PaintBands(QPainter& p) {
    double lower = 0, upper = 0;
    if (TypeData == IRData || TypeData == IRData_Minus_Sol) {
        lower = setup_.SeuilCloudy;
        upper = setup_.SeuilVeryCloudy;
    } else if (TypeData == WinData) {
        lower = setup_.SeuilWindy_km;
        upper = setup_.SeuilVeryWindy_km;
    } else {
        return;
    }
    const int T = BorderY_top, bottom = height_ - BorderY_Bottom;
    auto band = [&](double a, double b, QRgb colour) {
        const int64_t ya = ValueToPixelY(a), yb = ValueToPixelY(b);
        if ((ya <= T && yb <= T) || (ya >= bottom && yb >= bottom)) return;
        auto clamp = [&](int64_t y) { return static_cast<int>(std::clamp<int64_t>(y, T + 1, bottom - 1)); };
        const int top = std::min(clamp(ya), clamp(yb)), low = std::max(clamp(ya), clamp(yb));
        p.fillRect(QRect(QPoint(BorderX_left + 1, top), QPoint(width_ - BorderX_right - 1, low)),
                   QColor::fromRgb(colour));
    };
    band(lower, upper, PlotColours::LowerBand);
    band(upper, Tg.MaxY, PlotColours::UpperBand);
}

TAxisMarks TGraphicSpecial::ValueAxis() const {
    TAxisMarks marks;
    const int T = BorderY_top;
    auto exponent = [&](int64_t pixels) {
        const int64_t y0 = ValueToPixelY(Tg.MinY);
        for (int k = -9; k < 40; ++k)
            if (y0 - ValueToPixelY(Tg.MinY + std::pow(10.0, k)) > pixels) return k;
        return 40;
    };
    const int k1 = exponent(15), k2 = exponent(3);
    const double step1 = std::pow(10.0, k1), step2 = std::pow(10.0, k2);
    const std::string format = (k1 < 0 ? fmt::sprintf("%%1.%df", -k1) : std::string("%1.0f")) + unit_Str;
    int zeroRows = 0; // zero is marked once, on the first row that meets it
    const int64_t last = T + 1 + RoundToPixel(Tg.DY);
    for (int64_t y = T + 1; y <= last; ++y) {
        const double va = PixelYToValue(static_cast<double>(y - 1)),
                     vb = PixelYToValue(static_cast<double>(y));
        const bool zero = va * vb <= 0;
        if (zero) ++zeroRows;
        const int row = static_cast<int>(y);
        if (zero ? zeroRows == 1 : Trunc(va / step1) != Trunc(vb / step1)) {
            marks.Major.push_back(row);
            std::string text = fmt::sprintf(format, PixelYToValue(static_cast<double>(y)));
            // The zero row's value is a hair off zero: no "-0".
            if (zero && text[0] == '-' && text.find_first_of("123456789") == std::string::npos)
                text.erase(0, 1);
            marks.Labels.push_back({row, text});
        } else if (k2 != k1 && Trunc(va / step2) != Trunc(vb / step2)) {
            marks.Minor.push_back(row);
        }
    }
    return marks;
}

void TGraphicSpecial::PaintValueAxis(QPainter& p) {
    const int L = BorderX_left, W = width_, R = BorderX_right;
    const TAxisMarks marks = ValueAxis();
    const QPen white(QColor::fromRgb(PlotColours::Text), 1);
    const QPen dotted(QColor::fromRgb(PlotColours::Grid), 1, Qt::DotLine);
    p.setBrush(Qt::NoBrush);
    QFont font = p.font();
    const double basePoints = font.pointSizeF();
    for (const int row : marks.Minor) {
        p.setPen(white);
        p.drawLine(L, row, L - 5, row);
    }
    for (const TAxisLabel& label : marks.Labels) {
        const int row = label.Position;
        p.setPen(white);
        p.drawLine(L, row, L - 10, row);
        const QString text = Q(label.Text);
        double points = basePoints;
        int x = L - 10 - TextWidth(p, text);
        // A long label shrinks until it fits left of the ticks.
        while (x < 0 && points > 5) {
            points -= 1;
            font.setPointSizeF(points);
            p.setFont(font);
            x = L - 10 - TextWidth(p, text);
        }
        TextAt(p, x, row - p.fontMetrics().height() / 2, text);
        font.setPointSizeF(basePoints);
        p.setFont(font);
        if (BoxGrid) {
            p.setPen(dotted);
            p.drawLine(L, row, W - R, row);
        }
    }
}

TAxisMarks TGraphicSpecial::DateAxis() const {
    TAxisMarks marks;
    const int L = BorderX_left, W = width_, R = BorderX_right;
    auto x = [&](double t) { return DateToPixelX(t); };
    const int64_t pDay = x(2) - x(1), pHour = x(1.0 / 12) - x(1.0 / 24), pMin = x(2.0 / 1440) - x(1.0 / 1440),
                  pSec = x(2.0 / 86400) - x(1.0 / 86400), p6h = x(0.25) - x(0);
    const double S = Tg.MaxX - Tg.MinX;
    auto major = [&](int c) { marks.Major.push_back(c); };
    auto minor = [&](int c) { marks.Minor.push_back(c); };
    auto big = [&](int c, const std::string& text) { marks.Labels.push_back({c, text, false}); };
    auto small = [&](int c, const std::string& text) { marks.Labels.push_back({c, text, true}); };
    auto changed = [](double d0, double d1, double n) { return Trunc(d0 * n) != Trunc(d1 * n); };

    std::string endFormat;
    if (S > 15)
        endFormat = Tr("TGraphicSpecial", "yyyy");
    else if (S > 1)
        endFormat = Tr("TGraphicSpecial", "mm/yyyy");
    else if (S > 1.0 / 24)
        endFormat = Tr("TGraphicSpecial", "dd/mm/yyyy");
    else if (S > 1.0 / 1440)
        endFormat = Tr("TGraphicSpecial", "dd/mm/yyyy hh");
    else if (S > 1.0 / 86400)
        endFormat = Tr("TGraphicSpecial", "dd/mm/yyyy hh:mm");
    if (endFormat.empty()) return marks;

    for (int c = L; c <= W - R - 1; ++c) {
        const double d0 = PixelXToDate(c), d1 = PixelXToDate(c + 1);
        const double h = Frac(d1) * 24, m = Frac(d1 * 24) * 60, s = Frac(d1 * 1440) * 60;
        // The hour whose start this column passes, counted as the change tests count (Frac(d1) * 24
        // may fall a hair short of it, which would hide the label of an even hour).
        const int64_t hour = Trunc(d1 * 24) % 24;
        if (S > 15) {
            const TDateTimeParts a = DecodeDateTime(d0), b = DecodeDateTime(d1);
            if (a.Month != b.Month || a.Year != b.Year) {
                major(c);
                big(c, MonthAbbreviation(b.Month));
            } else {
                if (pDay > 2 && changed(d0, d1, 1)) minor(c);
                if (pDay > 5 && b.Day % 5 == 0 && b.Day != a.Day) small(c, fmt::sprintf("%d", b.Day));
            }
        } else if (S > 1) {
            if (changed(d0, d1, 1)) {
                major(c);
                const int weekday =
                    static_cast<int>(((static_cast<int64_t>(std::floor(d1)) + 6) % 7 + 7) % 7);
                big(c, fmt::sprintf("%d " + Escaped(WeekdayAbbreviation(weekday)), DecodeDateTime(d1).Day));
            } else if (pHour > 20) {
                if (changed(d0, d1, 24)) minor(c);
                if (changed(d0, d1, 6) && (pHour > 30 || hour % 2 == 0)) small(c, fmt::sprintf("%1.0fh", h));
            } else if (p6h > 20 && changed(d0, d1, 4)) {
                minor(c);
                if (p6h > 30) small(c, fmt::sprintf("%1.0fh", h));
            }
        } else if (S > 1.0 / 24) {
            if (changed(d0, d1, 24)) {
                major(c);
                if (pHour > 20 || hour % 2 == 0) big(c, fmt::sprintf("%1.0fh", h));
            } else if (pHour > 15 && changed(d0, d1, 96)) {
                minor(c);
                if (pHour > 100) small(c, fmt::sprintf("%1.0fm", m));
            }
        } else if (S > 10.0 / 1440) {
            if (changed(d0, d1, 144)) {
                major(c);
                big(c, fmt::sprintf("%1.0fm", m));
            } else if (pMin > 10 && changed(d0, d1, 1440)) {
                minor(c);
            }
        } else if (S > 1.0 / 1440) {
            if (changed(d0, d1, 1440)) {
                major(c);
                big(c, fmt::sprintf("%1.0fm", m));
            } else {
                if (pSec > 2 && changed(d0, d1, 86400)) minor(c);
                if (pSec > 5 && changed(d0, d1, 8640)) small(c, fmt::sprintf("%1.0fs", s));
            }
        } else if (changed(d0, d1, 86400)) {
            major(c);
            if (pSec > 15 || changed(d0, d1, 43200)) big(c, fmt::sprintf("%1.0fs", s));
        }
    }
    const std::string suffix = S <= 1.0 / 24 && S > 1.0 / 1440 ? "h" : "";
    marks.FirstEnd = FormatDatePattern(endFormat, Tg.MinX) + suffix;
    marks.LastEnd = FormatDatePattern(endFormat, Tg.MaxX) + suffix;
    return marks;
}

void TGraphicSpecial::PaintDateAxis(QPainter& p) {
    const int T = BorderY_top, W = width_, base = height_ - BorderY_Bottom;
    const TAxisMarks marks = DateAxis();
    const QPen white(QColor::fromRgb(PlotColours::Text), 1);
    const QPen dotted(QColor::fromRgb(PlotColours::Grid), 1, Qt::DotLine);
    for (const int c : marks.Major) {
        if (BoxGrid) {
            p.setPen(dotted);
            p.drawLine(c, base, c, T);
        }
        p.setPen(white);
        p.drawLine(c, base, c, base + 15);
    }
    p.setPen(white);
    for (const int c : marks.Minor)
        p.drawLine(c, base, c, base + 4);
    const QFont bigFont = p.font();
    QFont smallFont = bigFont;
    smallFont.setPixelSize(11);
    for (const TAxisLabel& label : marks.Labels) {
        p.setFont(label.Small ? smallFont : bigFont);
        const QString s = Q(label.Text);
        TextAt(p, label.Position - TextWidth(p, s) / 2, base + (label.Small ? 6 : 17), s);
    }
    p.setFont(bigFont);
    if (marks.FirstEnd.empty()) return;
    const QString first = Q(marks.FirstEnd), last = Q(marks.LastEnd);
    TextAt(p, 5, base + 36, first);
    TextAt(p, W - 5 - TextWidth(p, last), base + 36, last);
}

// ---- Errors of the records ----------------------------------------------------------------------

void TGraphicSpecial::ReportRecordError(size_t index, const std::string& message) const {
    const int n = static_cast<int>(index + 1);
    const std::string box =
        fmt::sprintf(Tr("TGraphicSpecial", "Erreur d'affichage sur le point n° %d -> ") + Escaped(message), n);
    LogToday(fmt::sprintf("Plot Error at %d -> " + Escaped(message), n));
    const TcapteursInfos& r = history_.Records()[index];
    try {
        LogToday(fmt::sprintf("DateSysteme -> %2.2f", FieldValue(r.DateSysteme)));
    } catch (...) {
        LogToday("Plot error, DataSysteme corrupted -> NAN");
    }
    try {
        auto line = [](const char* text, double v) { LogToday(fmt::sprintf(text, v)); };
        switch (TypeData) {
        case Lighdata:
            line("Error LightData     -> %2.2f", r.Lumex);
            break;
        case IRData:
            line("Error IR_Data       -> %2.2f", r.ValueSkyDeg);
            break;
        case IRData_Minus_Sol:
            line("Error IR_Data_Minus -> %2.2f", r.DeltaTempDeg);
            break;
        case MoistureData:
            line("Error Humidity      -> %2.2f", r.Humidity);
            break;
        case TempData:
            line("Error DewPoint      -> %2.2f", r.DewPoint);
            break;
        case VoltsData:
            line("Error ValueCanVolts -> %2.2f", r.ValueCanVolts);
            break;
        case WinData:
            if (!r.ValidWindGUST || !history_.InDisplayRange(index, setup_.RangeDateDisplay))
                LogToday("Wind data not Valid...");
            break;
        case HeatData:
            line("Error PowerRainDet   -> %2.2f", r.PowerRainDet);
            line("Error ValueTempDeg   -> %2.2f", r.ValueTempDeg);
            line("Error PowerVolts     -> %2.2f", r.PowerVolts);
            line("Error ValueCanDeg    -> %2.2f", r.ValueCanDeg);
            line("Error ValueTempFceDeg-> %2.2f", r.ValueTempFceDeg);
            break;
        }
    } catch (...) {
        LogToday("Plot error, data corrupted -> NAN");
    }
    if (OnDrawError)
        OnDrawError(box);
    else
        ShowUserMessage(box);
}
