#include "StatePanel.h"

#include <QColor>
#include <QFont>
#include <QPalette>

TStatePanelLabel::TStatePanelLabel(QWidget* parent) : QLabel(parent) {
    setAlignment(Qt::AlignCenter);
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setAutoFillBackground(true);
    setMinimumHeight(40);
    // Taller panels do not read better; on a large screen they stay bands, not blocks.
    setMaximumHeight(80);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    QFont f = font();
    f.setPointSizeF(f.pointSizeF() * 1.9);
    f.setBold(true);
    setFont(f);
}

void TStatePanelLabel::SetPanel(const TStatePanel& panel) {
    // The texts carry a leading blank in places (" Fermé"); centred, it only shifts the text.
    setText(QString::fromStdString(panel.Text));
    setToolTip(QString::fromStdString(panel.Hint));
    colour_ = panel.Colour;
    QPalette p = QPalette();
    if (colour_) {
        p.setColor(QPalette::Window, QColor(colour_->R, colour_->G, colour_->B));
        // Every state colour is light: black text stays readable on all of them.
        p.setColor(QPalette::WindowText, Qt::black);
    } else {
        // An unknown state is quieter than a known one, so the coloured states catch the eye.
        p.setColor(QPalette::WindowText, QColor(100, 100, 100));
    }
    setPalette(p);
    repaint();
}
