// The small borderless progress window shown while the history loads and while the station
// memory is downloaded: one line of text over a busy indicator, on top, centred on the screen.
#pragma once

#include <QWidget>

class QLabel;
class QProgressBar;

class TStatusLoadDatas : public QWidget {
    Q_OBJECT
  public:
    explicit TStatusLoadDatas(QWidget* parent = nullptr);

    // Shows the text at once, even while the caller keeps the event loop busy. Text() gives it whole,
    // also when the window shows it shortened.
    void SetText(const QString& text);
    QString Text() const;

  private:
    QLabel* label_ = nullptr;      // Label_s
    QProgressBar* busy_ = nullptr; // Animate
    QString text_;
};
