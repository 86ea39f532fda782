// The safety verdict at the top of the information tab: SAFE or UNSAFE in large letters, the reasons
// in words, since when the verdict holds and the age of the latest reading (a warning past two
// minutes, "link lost" when the station does not answer). It follows the same events as the Alpaca
// safety monitor, with the same rules, so both say the same.
#pragma once

#include <functional>
#include <QFrame>

#include "SafetyVerdict.h"

class QLabel;
class Supervisor;

class TVerdictBanner : public QFrame {
    Q_OBJECT
  public:
    TVerdictBanner(Supervisor& supervisor, TSafetyRules rules, QWidget* parent = nullptr);

    // The clock of the verdict and of the age (default Now()).
    void SetClock(std::function<TDateTime()> clock);
    // Evaluates the verdict now and writes the texts again (also every second).
    void Refresh();
    // Colours follow the night-vision mode.
    void Repaint();

    const TSafetyFollower& Follower() const { return follower_; }
    QString VerdictText() const;
    QString ReasonsText() const;
    QString SinceText() const;
    QString AgeText() const;
    // The age of the reading is past the limit or the link is lost: the age is shown as a warning.
    bool AgeWarning() const;

  protected:
    void changeEvent(QEvent* event) override;

  private:
    Supervisor& supervisor_;
    TSafetyFollower follower_;
    std::function<TDateTime()> clock_;
    QLabel *verdict_ = nullptr, *reasons_ = nullptr, *since_ = nullptr, *age_ = nullptr;
};
