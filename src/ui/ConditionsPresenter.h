// What the information tab shows of one classified reading: the values with their units and the
// coloured state panels. Made at the moment of showing, so the texts follow the current language.
#pragma once

#include <string>

#include "Conditions.h"
#include "ConditionTexts.h"

struct TConditionsView {
    std::string TempText;      // ambient
    std::string RainTempText;  // rain sensor
    std::string IRCanTempText; // IR detector body
    std::string SkyTempText;   // sky minus ambient
    std::string HumidityText;
    std::string DewPointText;
    std::string WindSpeedText;
    // The compass point of the gust ("N-NE"), "Pas de données" without a valid gust.
    std::string WindDirectionText;
    // The felt temperature ("-7.2 °C"), "Pas disponible" when it is not computed.
    std::string WindChillText;
    std::string PowerText;
    std::string VoltsText;
    std::string DefrostText; // empty when the station neither defrosts nor dries its sensor
    std::string LightText;
    std::string MagnitudeText;

    TStatePanel Sky, Humidity, Rain, Wind, SkyBackground;
};

TConditionsView PresentConditions(const TConditions& conditions);
// Felt temperature text: the value when the wind-chill formula applies, else "Pas disponible".
std::string WindChillText(bool computed, double windChill);
