// Texts and colours of the classified conditions, made at the moment they are shown (by the window's
// presenter and by the headless state line) so that they follow the language of that moment; and
// the small text operations of the displays. Plain C++: texts go through the Tr hook.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "Conditions.h"
#include "Records.h"

// ---- Colours of the state panels ------------------------------------------------------------
struct TRgb {
    uint8_t R = 0, G = 0, B = 0;
    friend bool operator==(const TRgb&, const TRgb&) = default;
};
inline constexpr TRgb ColorGreen{0, 255, 0};
inline constexpr TRgb ColorRed{255, 0, 0};
inline constexpr TRgb ColorOrange{255, 186, 1};
inline constexpr TRgb ColorYellowGreen{216, 250, 1};

// One coloured state panel. No colour means the normal face colour of windows (state unknown).
struct TStatePanel {
    std::string Text;
    std::optional<TRgb> Colour;
    std::string Hint;
    uint8_t Code = 0; // the published condition code of the state; 0 = not available
    friend bool operator==(const TStatePanel&, const TStatePanel&) = default;
};

// ---- The state panels -----------------------------------------------------------------------
TStatePanel SkyPanel(TSkyState state);
TStatePanel AirPanel(TAirState state);
// Code 1 when it rains, 0 otherwise.
TStatePanel RainPanel(bool raining);
TStatePanel WindPanel(TWindState state);
// With its hint.
TStatePanel SkyBackgroundPanel(TSkyBackgroundState state);

// The headless state line (without its time stamp): each state's text, then the relay panel's.
std::string StatesLine(const TConditions& conditions, const std::string& relayText);

// ---- Text operations ------------------------------------------------------------------------
// "12 sec", "1.5 min", "2.0 hrs".
std::string DurationText(double seconds);
// "1 an(s) 2 mois 3 jour(s) 4 Heure(s) 5 Min(s) 6 sec", units present only when counted.
std::string ElapsedText(double seconds);
// "1.5 J" above one day, else hours "12.0 h".
std::string DaysOrHoursText(double days);
std::string BoolText(bool value);
std::string WindUnitText(const TSetupInfos& setup);
// Hint of the sky graph explaining the good-conditions marking.
std::string GoodConditionsLegend(const TSetupInfos& setup);

// ---- Wind direction ---------------------------------------------------------------------------
// The compass sector of a direction: "N", "N-NE" ... (16 sectors, ties to even, wrapping past north);
// "Pas de données" when the direction is not a number.
std::string Degrees_ToSectorName(float degrees);
// The text for "no sector".
std::string NoSectorText();
