// The widgets that show a plot or the wind dial. The plot widget owns the mouse: the zoom box (left
// button) and the pan arrow (right button) are painted over the cached picture, so a drag never
// redraws the plot; the cursor readout is painted the same way and goes with the next drawing.
#pragma once

#include <memory>
#include <QString>
#include <QWidget>

#include "GraphicSpecial.h"
#include "WindDisplay.h"

class TPlotWidget : public QWidget {
    Q_OBJECT
  public:
    TPlotWidget(const THistoryStore& history, QWidget* parent = nullptr);

    TGraphicSpecial& Plot() { return plot_; }
    const TGraphicSpecial& Plot() const { return plot_; }
    // Draws the plot anew. A failure that leaves the drawing ("Plot Error -> ...") goes to drawError.
    void Redraw();
    // A picture of the widget's size, drawn anew when it had another size (a widget laid out while
    // hidden gets its resize event only when shown).
    void FitPicture();

  signals:
    // A mouse zoom or pan has ended (OnEndZoomPan).
    void endZoomPan();
    // The mouse changed the plot's automatic translation.
    void translateChanged(bool on);
    void drawError(const QString& text);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    TGraphicSpecial plot_;
    QString cursorText_;
    qint64 drawnSerial_ = 0;
};

class TWindWidget : public QWidget {
    Q_OBJECT
  public:
    TWindWidget(const THistoryStore& history, QWidget* parent = nullptr);

    TWindDisplay& Dial() { return dial_; }
    void Redraw();
    void FitPicture();
    QSize sizeHint() const override { return {300, 300}; }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override { return width; }

  signals:
    void drawError(const QString& text);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    TWindDisplay dial_;
};
