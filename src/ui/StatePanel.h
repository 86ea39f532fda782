// A coloured state panel of the information tab: a large bold text on the state's colour, readable
// from across the room. No colour means the normal face colour (state unknown).
#pragma once

#include <optional>
#include <QLabel>

#include "Classification.h"

class TStatePanelLabel : public QLabel {
    Q_OBJECT
  public:
    explicit TStatePanelLabel(QWidget* parent = nullptr);

    // Text, colour and hint of the state.
    void SetPanel(const TStatePanel& panel);
    // The colour shown, none for the neutral face colour.
    std::optional<TRgb> Colour() const { return colour_; }

  private:
    std::optional<TRgb> colour_;
};
