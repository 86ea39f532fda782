#include "StatusLoadDatas.h"

#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <QVBoxLayout>

#include "HistoryFile.h"

TStatusLoadDatas::TStatusLoadDatas(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setObjectName("StatusLoadDatas");
    auto* layout = new QVBoxLayout(this);
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
    label_->setText(text);
    if (isVisible()) repaint();
}

QString TStatusLoadDatas::Text() const {
    return label_->text();
}

void TStatusLoadDatas::LoadHistoryShown(const std::string& folder, int monthsToLoad, TTDataStation& data) {
    TStatusLoadDatas splash;
    splash.show();
    splash.repaint();
    LoadHistory(folder, monthsToLoad, data,
                [&splash](const std::string& step) { splash.SetText(QString::fromStdString(step)); });
}
