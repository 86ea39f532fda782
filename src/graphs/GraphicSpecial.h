// The time-series plot: one quantity of the history against time, drawn into a QImage. The plot is a
// model without widgets: its scale, the mappings between values and pixels, the scale operations,
// the state of a mouse drag and Display, which paints the whole picture. The same Display serves the
// window, the clipboard and the published snapshots (a copy of the plot given another size), so the
// pictures are the same everywhere.
#pragma once

#include <cstdint>
#include <functional>
#include <QImage>
#include <string>
#include <vector>

#include "HistoryStore.h"
#include "Records.h"

// The far-outside coordinate of a value that cannot be mapped (not a number, infinite, beyond 64 bits).
inline constexpr int64_t FarOutsidePixel = -2147483647;

enum class TMouseButton { Left, Right, Other };

// The marks of an axis: rows (value axis) or columns (date axis) of the long and short ticks, and the
// labels with the row or column they stand at.
struct TAxisLabel {
    int Position = 0;
    std::string Text;
    bool Small = false; // date axis: the small font under a short tick
};
struct TAxisMarks {
    std::vector<int> Major, Minor;
    std::vector<TAxisLabel> Labels;
    std::string FirstEnd, LastEnd; // date axis: the dates of both ends
};

// Colours of the picture, shared by the plot, its legend and the tests.
namespace PlotColours {
inline constexpr QRgb Background = 0xFF000000;
inline constexpr QRgb Text = 0xFFFFFFFF;
inline constexpr QRgb Grid = 0xFF777777;
inline constexpr QRgb LowerBand = 0xFF999999;
inline constexpr QRgb UpperBand = 0xFFEEEEEE;
inline constexpr QRgb Main = 0xFFFF0000;
inline constexpr QRgb Cyan = 0xFF00FFFF;
inline constexpr QRgb Green = 0xFF00FF00;
inline constexpr QRgb Yellow = 0xFFFFFF00;
inline constexpr QRgb Blue = 0xFF0000FF;
inline constexpr QRgb Raining = 0xFF00FFFF;
inline constexpr QRgb Dry = 0xFFCA945A;
inline constexpr QRgb Good = 0xFF00FF00;
inline constexpr QRgb NotGood = 0xFFA51800;
inline constexpr QRgb Median = 0xFF00FFAA;
inline constexpr QRgb Timing = 0xFF00FF00;
} // namespace PlotColours

// How the records are painted: the fast way (each mark painted once, at the last time the record by
// record drawing would paint it) or record by record. Both give the same picture.
enum class TPlotPainting { Fast, RecordByRecord };

class TGraphicSpecial {
  public:
    // The plot reads history and setup (thresholds, display range, gap, magnitude choice); both
    // outlive it.
    explicit TGraphicSpecial(const THistoryStore& history, const TSetupInfos& setup = SetupInfos);

    // ---- Fields, with their start values ----
    bool ActiveSelZoom = false;
    bool ActiveSelPan = false;
    int XoSky = 0, YoSky = 0;
    int X1Sky = 0, Y1Sky = 0;
    int PrevX1 = -1, PrevY1 = -1;
    int BorderX_right = 10;
    int BorderX_left = 50;
    int BorderY_top = 20;
    int BorderY_Bottom = 55;
    int TailleFleche = 20;
    // Called at the end of every mouse-up that was not cut short.
    std::function<void(TGraphicSpecial&)> OnEndZoomPan;
    bool BoxGrid = true;
    bool Translate = false;
    bool Special = false; // wind plot: the median of the last 31 gusts instead of each gust
    // The progress text of a long drawing ("Affiche les points (...) : %d"); an empty text once the
    // drawing that showed one is over. None: no progress.
    std::function<void(const std::string&)> progressT;
    std::string NameFull;
    TgraphicSetupSky Tg;
    std::string unit_Str; // part of a format: a percent sign is "%%"
    TTypeDataGraph TypeData = Lighdata;
    // A drawing error of a record: the message box text. None: ShowUserMessage.
    std::function<void(const std::string&)> OnDrawError;
    // How Display paints the records (tests compare both).
    TPlotPainting Painting = TPlotPainting::Fast;

    // ---- Picture ----
    void SetSize(int width, int height);
    int Width() const { return width_; }
    int Height() const { return height_; }
    // The picture of the last Display (black before the first).
    const QImage& Picture() const { return picture_; }
    // Redraws the whole picture. Does nothing while a mouse drag is in progress. Raises for a type
    // outside the enumeration or a date that cannot be placed; a record that cannot be drawn is
    // reported (message, log) and ends the drawing of the records only.
    void Display();
    // The step of the last Display's drawing pass (1: every record).
    int LastStep() const { return lastStep_; }
    // The picture of the last Display as a JPEG file (no redraw); raises as SaveImageAsJpeg does.
    void SaveToFile(const std::string& path, int quality) const;

    // ---- Mappings ----
    int64_t DateToPixelX(TDateTime t) const;
    TDateTime PixelXToDate(double x) const;
    int64_t ValueToPixelY(double v) const;
    double PixelYToValue(double y) const;
    bool Inside(int64_t x, int64_t y) const;

    // ---- Scale operations (each ends with Display when it changes something) ----
    void GoLeftX();
    void GoRightX();
    void GoBottomY();
    void GoTopY();
    void ZoomX_plus();
    void ZoomX_Moins();
    void ZoomY_plus();
    void ZoomY_Moins();
    void Zoom_Plus(double DXMin, double DYMin);
    void Zoom_Moins(double DXMax, double DYMax);
    void DoAutoScale(double DeltaTime);

    // ---- Mouse (the widget paints the band and the arrow over the picture) ----
    void PlotMouseDown(TMouseButton button, int x, int y);
    void PlotMouseMove(int x, int y);
    void PlotMouseUp();
    // The axes of the current scale and size (what Display draws).
    TAxisMarks ValueAxis() const;
    TAxisMarks DateAxis() const;

    // The cursor readout of pixel (x, y): date-time, then the value with two decimals and the unit.
    std::string CursorText(int x, int y) const;

    const THistoryStore& History() const { return history_; }
    const TSetupInfos& Setup() const { return setup_; }

  private:
    void ApplyTranslation();
    void PaintBackground(class QPainter& p);
    void PaintBands(QPainter& p);
    void PaintValueAxis(QPainter& p);
    void PaintDateAxis(QPainter& p);
    int ThinningStep(size_t first, size_t count) const;
    void PaintRecords(size_t first, int step);
    void ReportRecordError(size_t index, const std::string& message) const;
    int PixelCoordinate(int64_t v) const;

    const THistoryStore& history_;
    const TSetupInfos& setup_;
    int width_ = 0, height_ = 0;
    QImage picture_;
    int lastStep_ = 1;
    friend class TRecordPass;
};

// Date-axis texts (translatable): month abbreviation 1..12 and weekday abbreviation 0 (Sunday)..6;
// "??" otherwise.
std::string MonthAbbreviation(int month);
std::string WeekdayAbbreviation(int weekday);
// A date-time with a pattern of yyyy, mm (minutes right after hh), dd, hh.
std::string FormatDatePattern(const std::string& pattern, TDateTime value);
// The thinning step: the smallest step >= 1 for which the average distance of the drawn records,
// spread over pixelSpan pixels, exceeds gap; 1 for up to 100 records or no span.
int ThinningStepFor(size_t records, int64_t pixelSpan, double gap);
// The text font of the pictures, at a size in points (pictures are laid out at 96 dots per inch).
class QFont PlotFont(double points = 8);
