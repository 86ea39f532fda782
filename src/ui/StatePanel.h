// A coloured state panel of the information tab: a large bold text on the state's colour, readable
// from across the room. No colour means the normal face colour (state unknown).
#pragma once

#include <optional>
#include <QLabel>

#include "ConditionTexts.h"

class TStatePanelLabel : public QLabel {
    Q_OBJECT
  public:
    explicit TStatePanelLabel(QWidget* parent = nullptr);

    // Text, colour and hint of the state.
    void SetPanel(const TStatePanel& panel);
    // The colour shown, none for the neutral face colour.
    std::optional<TRgb> Colour() const { return colour_; }

    // Sized for the usual text size, not for the size the text has grown to: a panel enlarged with
    // its window must not stop the window from shrinking again.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    // The text as large as the panel allows: read from across the room on a large screen, whole in a
    // small window.
    void FitText();
    QSize HintAt(double pointSize) const;

    std::optional<TRgb> colour_;
    double basePointSize_ = 0;
};
