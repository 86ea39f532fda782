#include "StatusLoadDatas.h"

#include <QApplication>
#include <QFontMetrics>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <QVBoxLayout>

TStatusLoadDatas::TStatusLoadDatas(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setObjectName("StatusLoadDatas");
    // Without a title bar the window needs its own edge to stand out from what lies below.
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* frame = new QFrame(this);
    frame->setFrameStyle(QFrame::Box | QFrame::Plain);
    frame->setLineWidth(1);
    outer->addWidget(frame);
    auto* layout = new QVBoxLayout(frame);
    layout->setContentsMargins(16, 12, 16, 12);
    label_ = new QLabel(this);
    label_->setObjectName("Label_s");
    label_->setMinimumWidth(420);
    busy_ = new QProgressBar(this);
    busy_->setObjectName("Animate");
    busy_->setRange(0, 0); // busy indicator
    busy_->setTextVisible(false);
    layout->addWidget(label_);
    layout->addWidget(busy_);
    setAttribute(Qt::WA_ShowWithoutActivating);
    adjustSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TStatusLoadDatas::SetText(const QString& text) {
    text_ = text;
    // The window grows with its text up to most of the screen; a longer text (a deep data folder)
    // loses its middle, so that the file name at its end stays readable.
    const QScreen* screen = QGuiApplication::primaryScreen();
    const int widest = screen ? screen->availableGeometry().width() * 4 / 5 : 900;
    const QFontMetrics metrics(label_->font());
    label_->setText(metrics.elidedText(text, Qt::ElideMiddle, widest));
    if (label_->sizeHint().width() > label_->width()) {
        adjustSize();
        if (screen) move(screen->availableGeometry().center() - rect().center());
    }
    if (isVisible()) repaint();
}

QString TStatusLoadDatas::Text() const {
    return text_;
}
