// The small borderless progress window shown while the history loads and while the station
// memory is downloaded: one line of text over a busy indicator, on top, centred on the screen.
#pragma once

#include <QWidget>
#include <string>

#include "Records.h"

class QLabel;
class QProgressBar;

class TStatusLoadDatas : public QWidget {
    Q_OBJECT
  public:
    explicit TStatusLoadDatas(QWidget* parent = nullptr);

    // Shows the text at once, even while the caller keeps the event loop busy.
    void SetText(const QString& text);
    QString Text() const;

    // Loads the history with the window shown, naming each month file as it is read; the window
    // goes away when the load ends, also on an error (which is passed on).
    static void LoadHistoryShown(const std::string& folder, int monthsToLoad, TTDataStation& data);

  private:
    QLabel* label_ = nullptr;      // Label_s
    QProgressBar* busy_ = nullptr; // Animate
};
