#include "StatePanel.h"

#include <algorithm>
#include <cmath>
#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QPalette>

#include "NightMode.h"

namespace {
// The text may shrink to this share of its usual size in a small window.
constexpr double kSmallestScale = 0.6;
} // namespace

TStatePanelLabel::TStatePanelLabel(QWidget* parent) : QLabel(parent) {
    setAlignment(Qt::AlignCenter);
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setAutoFillBackground(true);
    setMinimumHeight(40);
    // Taller panels do not read better; on a large screen they stay bands, not blocks.
    setMaximumHeight(80);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    QFont f = font();
    basePointSize_ = f.pointSizeF() * 1.9;
    f.setPointSizeF(basePointSize_);
    f.setBold(true);
    setFont(f);
}

QSize TStatePanelLabel::HintAt(double pointSize) const {
    QFont f = font();
    f.setPointSizeF(pointSize);
    const QFontMetrics metrics(f);
    const int frame = 2 * frameWidth() + 12;
    return {metrics.horizontalAdvance(text()) + frame, std::max(minimumHeight(), metrics.height() + frame)};
}

QSize TStatePanelLabel::sizeHint() const {
    return HintAt(basePointSize_);
}

QSize TStatePanelLabel::minimumSizeHint() const {
    return HintAt(basePointSize_ * kSmallestScale);
}

void TStatePanelLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    FitText();
}

void TStatePanelLabel::FitText() {
    const QRect room = contentsRect().adjusted(6, 4, -6, -4);
    if (room.isEmpty() || text().isEmpty()) return;
    QFont f = font();
    // Start from the size that fills about half the height, never below the usual size, and step
    // down until the text fits the width.
    double size = std::max(basePointSize_, basePointSize_ * room.height() / 40.0 * 0.9);
    for (; size > basePointSize_ * kSmallestScale; size *= 0.92) {
        f.setPointSizeF(size);
        const QFontMetrics metrics(f);
        if (metrics.horizontalAdvance(text()) <= room.width() && metrics.height() <= room.height()) break;
    }
    if (std::abs(f.pointSizeF() - font().pointSizeF()) > 0.01) setFont(f);
}

void TStatePanelLabel::SetPanel(const TStatePanel& panel) {
    // The texts carry a leading blank in places (" Fermé"); centred, it only shifts the text.
    setText(QString::fromStdString(panel.Text));
    setToolTip(QString::fromStdString(panel.Hint));
    colour_ = panel.Colour;
    QPalette p = QPalette();
    if (colour_) {
        p.setColor(QPalette::Window, NightMode::Shown(QColor(colour_->R, colour_->G, colour_->B)));
        // Every state colour is light: black text stays readable on all of them.
        p.setColor(QPalette::WindowText, Qt::black);
    } else {
        // An unknown state is quieter than a known one, so the coloured states catch the eye.
        p.setColor(QPalette::WindowText, NightMode::Shown(QColor(100, 100, 100)));
    }
    setPalette(p);
    FitText();
    repaint();
}
