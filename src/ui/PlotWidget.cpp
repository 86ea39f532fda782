#include "PlotWidget.h"

#include <QMouseEvent>
#include <QPainter>

#include "NightMode.h"
#include "NightVision.h"
#include "PlotDrawing.h"

namespace {

TMouseButton ButtonOf(Qt::MouseButton button) {
    return button == Qt::LeftButton    ? TMouseButton::Left
           : button == Qt::RightButton ? TMouseButton::Right
                                       : TMouseButton::Other;
}

} // namespace

TPlotWidget::TPlotWidget(const THistoryStore& history, QWidget* parent) : QWidget(parent), plot_(history) {
    setCursor(Qt::CrossCursor);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(120, 100);
    plot_.SetSize(std::max(width(), 1), std::max(height(), 1));
}

void TPlotWidget::Redraw() {
    try {
        plot_.Display();
    } catch (const std::exception& e) {
        emit drawError(tr("Plot Error -> ") + QString::fromStdString(e.what()));
    }
    if (!plot_.ActiveSelZoom && !plot_.ActiveSelPan) cursorText_.clear();
    update();
}

void TPlotWidget::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // The picture takes the new size; scale, grid, translation and median mode stay as they are.
    plot_.SetSize(width(), height());
    Redraw();
}

void TPlotWidget::FitPicture() {
    if (plot_.Picture().size() == size()) return;
    plot_.SetSize(width(), height());
    Redraw();
}

void TPlotWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawImage(0, 0, NightMode::Active() ? NightVision::Image(plot_.Picture()) : plot_.Picture());
    const QColor white = NightMode::Shown(Qt::white);
    if (!cursorText_.isEmpty()) {
        p.setFont(PlotFont());
        const QFontMetrics fm = p.fontMetrics();
        const int top = plot_.BorderY_top - fm.height();
        p.fillRect(QRect(plot_.BorderX_left, top, fm.horizontalAdvance(cursorText_) + 20, fm.height()),
                   Qt::black);
        p.setPen(white);
        p.drawText(plot_.BorderX_left, top + fm.ascent(), cursorText_);
    }
    if (plot_.PrevX1 == -1 || plot_.PrevY1 == -1) return;
    p.setPen(QPen(white, 2));
    p.setBrush(Qt::NoBrush);
    if (plot_.ActiveSelZoom) {
        p.drawRect(QRect(QPoint(plot_.XoSky, plot_.YoSky), QPoint(plot_.PrevX1, plot_.PrevY1)).normalized());
    } else if (plot_.ActiveSelPan) {
        DrawCross(p, plot_.XoSky, plot_.YoSky, 2, 10);
        DrawShaft(p, plot_.XoSky, plot_.YoSky, plot_.PrevX1, plot_.PrevY1, 2);
        DrawArrowHead(p, plot_.XoSky, plot_.YoSky, plot_.PrevX1, plot_.PrevY1, plot_.TailleFleche);
    }
}

void TPlotWidget::mousePressEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    plot_.PlotMouseDown(ButtonOf(event->button()), at.x(), at.y());
}

void TPlotWidget::mouseMoveEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    cursorText_ = QString::fromStdString(plot_.CursorText(at.x(), at.y()));
    plot_.PlotMouseMove(at.x(), at.y());
    update();
}

void TPlotWidget::mouseReleaseEvent(QMouseEvent*) {
    // Every button ends the automatic translation, the middle one too; only the left and right
    // buttons zoom or pan.
    const bool translating = plot_.Translate;
    bool ended = false;
    plot_.OnEndZoomPan = [&ended](TGraphicSpecial&) { ended = true; };
    try {
        plot_.PlotMouseUp();
    } catch (const std::exception& e) {
        emit drawError(tr("Plot Error -> ") + QString::fromStdString(e.what()));
    }
    plot_.OnEndZoomPan = {};
    plot_.PrevX1 = plot_.PrevY1 = -1;
    cursorText_.clear();
    update();
    if (ended) emit endZoomPan();
    // Also when the mouse-up was cut short (a zoom box thinner than 5 pixels): the box says so.
    if (plot_.Translate != translating) emit translateChanged(plot_.Translate);
}

TWindWidget::TWindWidget(const THistoryStore& history, QWidget* parent) : QWidget(parent), dial_(history) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    dial_.DisplayGUST = true;
    dial_.Autoscale = true;
}

void TWindWidget::Redraw() {
    try {
        dial_.Display();
    } catch (const std::exception& e) {
        emit drawError(tr("Plot Error -> ") + QString::fromStdString(e.what()));
    }
    update();
}

void TWindWidget::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const int side = std::max(1, std::min(width(), height()));
    dial_.SetSize(side, side);
    Redraw();
}

void TWindWidget::FitPicture() {
    const int side = std::max(1, std::min(width(), height()));
    if (dial_.Picture().size() == QSize(side, side)) return;
    dial_.SetSize(side, side);
    Redraw();
}

void TWindWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    p.drawImage(0, 0, NightMode::Active() ? NightVision::Image(dial_.Picture()) : dial_.Picture());
}
