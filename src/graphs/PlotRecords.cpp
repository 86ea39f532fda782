// The drawing pass of the plot: the records, newest first, each with its strips, secondary series,
// main point and the line from the record drawn before it.
//
// Record by record, a dense history paints most pixels many times over. The fast way gives the same
// picture with far less work: the records are visited in the opposite order (oldest first, each
// record's drawings backwards) and a pixel takes the colour of the first drawing that reaches it, which
// is the last one the record by record drawing would paint there. A mark or strip drawn again at a
// place where the same mark or strip was already met changes no pixel, so it is skipped.
#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <fmt/printf.h>
#include <vector>

#include "Conditions.h"
#include "GraphicSpecial.h"
#include "UserText.h"
#include "WeatherFormulas.h"

namespace {

enum class TOpKind : uint8_t { MainMark, SecondaryMark, Line, Rect };

// Mark kinds (a bit each, for the fast way's memory of marks met) and strip colours.
constexpr uint8_t kMarkMain = 1, kMarkCyan = 2, kMarkGreen = 4, kMarkYellow = 8, kMarkBlue = 16,
                  kMarkMedian = 32;

struct TDrawOp {
    TOpKind Kind;
    uint8_t Key; // mark bit, or strip colour number 0..3
    QRgb Colour;
    int X0, Y0, X1, Y1;
};

// The drawings of one record, in the order they are painted.
struct TOps {
    std::array<TDrawOp, 10> Items;
    int Count = 0;
    void Add(const TDrawOp& op) { Items[static_cast<size_t>(Count++)] = op; }
    void Clear() { Count = 0; }
};

struct TPoint {
    int X = 0, Y = 0;
    bool Valued = false;
};

// Paints into 32-bit pixels; Plot(x, y, colour) decides what a pixel receives.
template <typename Plot> void PaintOp(const TDrawOp& op, int width, int height, Plot&& plot) {
    auto put = [&](int x, int y) {
        if (x >= 0 && y >= 0 && x < width && y < height) plot(x, y, op.Colour);
    };
    switch (op.Kind) {
    case TOpKind::MainMark: // a filled 4 × 4 disc: the square without its corners
        for (int dy = -2; dy <= 1; ++dy)
            for (int dx = -2; dx <= 1; ++dx)
                if (!((dx == -2 || dx == 1) && (dy == -2 || dy == 1))) put(op.X0 + dx, op.Y0 + dy);
        break;
    case TOpKind::SecondaryMark:
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                put(op.X0 + dx, op.Y0 + dy);
        break;
    case TOpKind::Rect:
        for (int y = std::max(op.Y0, 0); y < std::min(op.Y1, height); ++y)
            for (int x = std::max(op.X0, 0); x < std::min(op.X1, width); ++x)
                plot(x, y, op.Colour);
        break;
    case TOpKind::Line: { // both ends included
        int x = op.X0, y = op.Y0;
        const int dx = std::abs(op.X1 - op.X0), dy = -std::abs(op.Y1 - op.Y0);
        const int sx = op.X0 < op.X1 ? 1 : -1, sy = op.Y0 < op.Y1 ? 1 : -1;
        int err = dx + dy;
        for (;;) {
            put(x, y);
            if (x == op.X1 && y == op.Y1) break;
            const int e2 = 2 * err;
            if (e2 >= dy) {
                err += dy;
                x += sx;
            }
            if (e2 <= dx) {
                err += dx;
                y += sy;
            }
        }
        break;
    }
    }
}

double MedianOfGusts(const TTDataStation& records, size_t i) {
    std::array<double, 31> values{};
    size_t n = 0;
    for (size_t k = i + 1; k-- > 0 && n < values.size();)
        values[n++] = FieldValue(records[k].WindSpeedMax_ms);
    std::sort(values.begin(), values.begin() + static_cast<long>(n));
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

} // namespace

class TRecordPass {
  public:
    TRecordPass(TGraphicSpecial& plot, size_t first, int step)
        : g_(plot), records_(plot.history_.Records()), first_(first), step_(static_cast<size_t>(step)),
          newest_(records_.size() - 1), width_(plot.width_), height_(plot.height_),
          lines_(plot.TypeData == Lighdata || plot.TypeData == IRData || plot.TypeData == IRData_Minus_Sol ||
                 plot.TypeData == MoistureData || plot.TypeData == TempData),
          strips_(plot.TypeData == IRData || plot.TypeData == IRData_Minus_Sol),
          median_(plot.TypeData == WinData && plot.Special), started_(std::chrono::steady_clock::now()) {}

    void Run() {
        if (g_.Painting == TPlotPainting::RecordByRecord)
            RunRecordByRecord();
        else
            RunFast();
        if (progressShown_ && g_.progressT) g_.progressT({});
        if (failed_) g_.ReportRecordError(failedIndex_, failure_);
    }

  private:
    // The drawings of record i without its line; its main point in main. Raises for a coordinate
    // beyond 32 bits, with ops holding what was drawn before.
    void RecordOps(size_t i, TOps& ops, TPoint& main) {
        const TcapteursInfos& r = records_[i];
        const int L = g_.BorderX_left, W = width_, R = g_.BorderX_right, base = height_ - g_.BorderY_Bottom;
        main = {};
        const int x = g_.PixelCoordinate(g_.DateToPixelX(r.DateSysteme));
        main.X = x;
        auto mark = [&](TOpKind kind, uint8_t key, QRgb colour, double value) {
            const int y = g_.PixelCoordinate(g_.ValueToPixelY(value));
            if (g_.Inside(x, y)) ops.Add({kind, key, colour, x, y, x, y});
            return y;
        };
        if (median_) {
            mark(TOpKind::MainMark, kMarkMedian, PlotColours::Median, MedianOfGusts(records_, i) * 3.6);
            return;
        }
        if (strips_ && i != newest_) {
            const int xOld = i == 0 ? x : g_.PixelCoordinate(g_.DateToPixelX(records_[i - 1].DateSysteme));
            int a = x, b = xOld == x ? xOld + 1 : xOld;
            if (a > b) std::swap(a, b);
            if (L < a && b < W - R) {
                const bool rain = r.RainStatus == 1;
                const bool good = IsGoodConditions(r, g_.setup_);
                ops.Add({TOpKind::Rect, uint8_t(rain ? 0 : 1), rain ? PlotColours::Raining : PlotColours::Dry,
                         a, base - 25, b, base - 1});
                ops.Add({TOpKind::Rect, uint8_t(good ? 2 : 3),
                         good ? PlotColours::Good : PlotColours::NotGood, a, base - 50, b, base - 25});
            }
        }
        std::optional<double> value;
        switch (g_.TypeData) {
        case Lighdata:
            if (r.ValidLight) value = g_.setup_.MagniDisplay ? Lumex_ToMagnitude(r.Lumex) : double(r.Lumex);
            break;
        case IRData:
            value = double(r.ValueSkyDeg);
            break;
        case IRData_Minus_Sol:
            value = double(r.DeltaTempDeg);
            break;
        case MoistureData:
            value = double(r.Humidity);
            break;
        case TempData:
            mark(TOpKind::SecondaryMark, kMarkCyan, PlotColours::Cyan, r.DewPoint);
            value = double(r.ValueTempDeg);
            break;
        case WinData:
            if (!g_.Special && r.ValidWindGUST)
                mark(TOpKind::MainMark, kMarkMain, PlotColours::Main, Ms_ToKmh(r.WindSpeedMax_ms));
            break;
        case VoltsData:
            mark(TOpKind::SecondaryMark, kMarkCyan, PlotColours::Cyan, r.ValueCanVolts);
            value = double(r.ValueSkyVolts);
            break;
        case HeatData:
            mark(TOpKind::SecondaryMark, kMarkCyan, PlotColours::Cyan, r.PowerRainDet / 10.0);
            mark(TOpKind::SecondaryMark, kMarkGreen, PlotColours::Green, r.ValueTempDeg);
            mark(TOpKind::SecondaryMark, kMarkYellow, PlotColours::Yellow, r.PowerVolts);
            mark(TOpKind::SecondaryMark, kMarkBlue, PlotColours::Blue, r.ValueCanDeg);
            value = double(r.ValueTempFceDeg);
            break;
        }
        if (!value) return;
        main.Y = mark(TOpKind::MainMark, kMarkMain, PlotColours::Main, *value);
        main.Valued = true;
    }

    // Where the segment from the outside end to the inside end crosses the frame.
    bool Crossing(const TPoint& prev, const TPoint& cur, const TPoint& out, TPoint& at) const {
        const int L = g_.BorderX_left, T = g_.BorderY_top, W = width_, R = g_.BorderX_right,
                  HB = height_ - g_.BorderY_Bottom;
        double a = prev.X == cur.X ? 1e30 : double(prev.Y - cur.Y) / double(prev.X - cur.X);
        if (a == 0) a = 1e-30;
        const double b = cur.Y - a * cur.X;
        auto column = [&](double row) { return std::nearbyint((row - b) / a); };
        auto row = [&](double col) { return std::nearbyint(a * col + b); };
        const double yb = HB - 1, yt = T + 1, xl = L + 1, xr = W - R - 1;
        if (double c = column(yb); L < c && c < W - R && out.Y >= HB) {
            at = {int(c), int(yb), true};
            return true;
        }
        if (double c = column(yt); L < c && c < W - R && out.Y <= T) {
            at = {int(c), int(yt), true};
            return true;
        }
        if (double r = row(xl); T < r && r < HB && out.X <= L) {
            at = {int(xl), int(r), true};
            return true;
        }
        if (double r = row(xr); T < r && r < HB && out.X >= W - R) {
            at = {int(xr), int(r), true};
            return true;
        }
        return false;
    }

    // The line of cur, drawn after its main point: from the main point drawn before it (prev).
    void LineOp(const TPoint& prev, bool hasPrev, const TPoint& cur, TOps& ops) const {
        const bool in = g_.Inside(cur.X, cur.Y), prevIn = hasPrev && g_.Inside(prev.X, prev.Y);
        TPoint at;
        if (in) {
            if (prevIn)
                ops.Add({TOpKind::Line, 0, PlotColours::Main, prev.X, prev.Y, cur.X, cur.Y});
            else if (hasPrev && Crossing(prev, cur, prev, at))
                ops.Add({TOpKind::Line, 0, PlotColours::Main, at.X, at.Y, cur.X, cur.Y});
        } else if (prevIn && Crossing(prev, cur, cur, at)) {
            ops.Add({TOpKind::Line, 0, PlotColours::Main, prev.X, prev.Y, at.X, at.Y});
        }
    }

    void Progress(size_t i) {
        if (!g_.progressT || (++visited_ & 4095) != 0) return;
        const auto now = std::chrono::steady_clock::now();
        // Shown once the drawing has lasted 100 ms, then at most every 100 ms.
        if (now - started_ < std::chrono::milliseconds(100) ||
            now - lastShown_ < std::chrono::milliseconds(100))
            return;
        lastShown_ = now;
        progressShown_ = true;
        g_.progressT(fmt::sprintf(Tr("TGraphicSpecial", "Affiche les points (%s) : %d"), g_.NameFull,
                                  static_cast<int>(i + 1)));
    }

    void Fail(size_t i, const std::exception& e) {
        failed_ = true;
        failedIndex_ = i;
        failure_ = e.what();
    }

    // ---- Record by record, newest first ----
    void RunRecordByRecord() {
        uint32_t* bits = reinterpret_cast<uint32_t*>(g_.picture_.bits());
        const int stride = static_cast<int>(g_.picture_.bytesPerLine() / 4);
        auto paint = [&](const TOps& ops) {
            for (int k = 0; k < ops.Count; ++k)
                PaintOp(ops.Items[size_t(k)], width_, height_,
                        [&](int x, int y, QRgb c) { bits[y * stride + x] = c; });
        };
        TPoint prev;
        bool hasPrev = false;
        TOps ops;
        for (size_t i = newest_;; i -= step_) {
            ops.Clear();
            TPoint cur;
            try {
                RecordOps(i, ops, cur);
            } catch (const std::exception& e) {
                paint(ops);
                Fail(i, e);
                return;
            }
            if (lines_ && cur.Valued) LineOp(prev, hasPrev, cur, ops);
            paint(ops);
            if (cur.Valued) {
                prev = cur;
                hasPrev = true;
            }
            Progress(i);
            if (i < first_ + step_) break;
        }
    }

    // ---- The fast way: oldest first, a pixel keeps the first colour it receives ----
    void RunFast() {
        layer_.assign(size_t(width_) * size_t(height_), 0);
        marks_.assign(size_t(width_) * size_t(height_), 0);
        strips_seen_.assign(size_t(width_), 0);
        const size_t oldest = newest_ - (newest_ - first_) / step_ * step_;
        TOps pendingOps, ops;
        TPoint pending;
        bool hasPending = false;
        std::vector<TOps> between; // records without a main point after the pending one
        for (size_t i = oldest; i <= newest_; i += step_) {
            ops.Clear();
            TPoint cur;
            try {
                RecordOps(i, ops, cur);
            } catch (const std::exception& e) {
                // The record by record drawing stops at the newest record that fails: what is older
                // is never drawn.
                std::fill(layer_.begin(), layer_.end(), 0);
                std::fill(marks_.begin(), marks_.end(), 0);
                std::fill(strips_seen_.begin(), strips_seen_.end(), 0);
                hasPending = false;
                between.clear();
                PaintBackwards(ops);
                Fail(i, e);
                Progress(i);
                continue;
            }
            Progress(i);
            if (!lines_) {
                PaintBackwards(ops);
                continue;
            }
            if (!cur.Valued) {
                if (hasPending)
                    between.push_back(ops);
                else
                    PaintBackwards(ops);
                continue;
            }
            if (hasPending) {
                TOps line;
                LineOp(cur, true, pending, line);
                PaintBackwards(line);
                PaintBackwards(pendingOps);
                for (const TOps& b : between)
                    PaintBackwards(b);
                between.clear();
            }
            pending = cur;
            pendingOps = ops;
            hasPending = true;
        }
        if (hasPending) PaintBackwards(pendingOps);
        for (const TOps& b : between)
            PaintBackwards(b);

        uint32_t* bits = reinterpret_cast<uint32_t*>(g_.picture_.bits());
        const int stride = static_cast<int>(g_.picture_.bytesPerLine() / 4);
        for (int y = 0; y < height_; ++y) {
            const uint32_t* src = layer_.data() + size_t(y) * size_t(width_);
            uint32_t* dst = bits + y * stride;
            for (int x = 0; x < width_; ++x)
                if (src[x]) dst[x] = src[x];
        }
    }

    void PaintBackwards(const TOps& ops) {
        auto plot = [this](int x, int y, QRgb c) {
            uint32_t& p = layer_[size_t(y) * size_t(width_) + size_t(x)];
            if (!p) p = c;
        };
        for (int k = ops.Count; k-- > 0;) {
            const TDrawOp& op = ops.Items[size_t(k)];
            if (op.Kind == TOpKind::MainMark || op.Kind == TOpKind::SecondaryMark) {
                uint8_t& met = marks_[size_t(op.Y0) * size_t(width_) + size_t(op.X0)];
                if (met & op.Key) continue;
                met |= op.Key;
            } else if (op.Kind == TOpKind::Rect) {
                const int w = op.X1 - op.X0;
                if (w >= 1 && w <= 15 && op.X0 >= 0 && op.X0 < width_) {
                    const uint64_t bit = uint64_t(1) << ((w - 1) * 4 + op.Key);
                    uint64_t& met = strips_seen_[size_t(op.X0)];
                    if (met & bit) continue;
                    met |= bit;
                }
            }
            PaintOp(op, width_, height_, plot);
        }
    }

    TGraphicSpecial& g_;
    const TTDataStation& records_;
    size_t first_, step_, newest_;
    int width_, height_;
    bool lines_, strips_, median_;
    std::vector<uint32_t> layer_;       // 0: not painted yet
    std::vector<uint8_t> marks_;        // the marks met at each pixel, a bit per kind
    std::vector<uint64_t> strips_seen_; // the strips met at each left column: a bit per width and colour
    std::chrono::steady_clock::time_point started_, lastShown_{};
    size_t visited_ = 0;
    bool progressShown_ = false;
    bool failed_ = false;
    size_t failedIndex_ = 0;
    std::string failure_;
};

void TGraphicSpecial::PaintRecords(size_t first, int step) {
    TRecordPass(*this, first, step).Run();
}
