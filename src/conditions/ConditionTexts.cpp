#include "ConditionTexts.h"

#include <cmath>
#include <fmt/format.h>
#include <fmt/printf.h>

#include "UserText.h"

namespace {

TStatePanel Panel(std::string text, TRgb colour, uint8_t code, std::string hint = {}) {
    return TStatePanel{std::move(text), colour, std::move(hint), code};
}

TStatePanel NeutralPanel() {
    return TStatePanel{Tr("ConditionTexts", "Pas disponible"), std::nullopt, {}, 0};
}

} // namespace

// ---- The state panels -----------------------------------------------------------------------

TStatePanel SkyPanel(TSkyState state) {
    const uint8_t code = CloudCode(state);
    switch (state) {
    case TSkyState::Clear:
        return Panel(Tr("ConditionTexts", "DEGAGE"), ColorGreen, code);
    case TSkyState::Cloudy:
        return Panel(Tr("ConditionTexts", "COUVERT"), ColorOrange, code);
    case TSkyState::VeryCloudy:
        return Panel(Tr("ConditionTexts", "TRES COUVERT"), ColorRed, code);
    case TSkyState::Unknown:
        break;
    }
    return NeutralPanel();
}

TStatePanel AirPanel(TAirState state) {
    const uint8_t code = RainCode(state);
    switch (state) {
    case TAirState::Dry:
        return Panel(Tr("ConditionTexts", "SEC"), ColorGreen, code);
    case TAirState::Humid:
        return Panel(Tr("ConditionTexts", "HUMIDE"), ColorOrange, code);
    case TAirState::VeryHumid:
        break;
    }
    return Panel(Tr("ConditionTexts", "TRES HUMIDE"), ColorRed, code);
}

TStatePanel RainPanel(bool raining) {
    return raining ? Panel(Tr("ConditionTexts", "OUI"), ColorRed, 1)
                   : Panel(Tr("ConditionTexts", "NON"), ColorGreen, 0);
}

TStatePanel WindPanel(TWindState state) {
    const uint8_t code = WindCode(state);
    switch (state) {
    case TWindState::Calm:
        return Panel(Tr("ConditionTexts", "CALME"), ColorGreen, code);
    case TWindState::Windy:
        return Panel(Tr("ConditionTexts", "VENTEUX"), ColorOrange, code);
    case TWindState::VeryWindy:
        return Panel(Tr("ConditionTexts", "TRES VENTEUX"), ColorRed, code);
    case TWindState::Unknown:
        break;
    }
    return NeutralPanel();
}

TStatePanel SkyBackgroundPanel(TSkyBackgroundState state) {
    const uint8_t code = DayCode(state);
    switch (state) {
    case TSkyBackgroundState::DarkNight:
        return Panel(Tr("ConditionTexts", "NUIT NOIRE"), ColorGreen, code,
                     Tr("ConditionTexts", "Nuit noire sans Lune"));
    case TSkyBackgroundState::GreyNight:
        return Panel(Tr("ConditionTexts", "NUIT \"GRISE\""), ColorYellowGreen, code,
                     Tr("ConditionTexts",
                        "Crépuscule terminant, présence de Lune ou de forte pollution lumineuse..."));
    case TSkyBackgroundState::Twilight:
        return Panel(Tr("ConditionTexts", "CREPUSCULE"), ColorOrange, code,
                     Tr("ConditionTexts", "Crépuscule avancé"));
    case TSkyBackgroundState::Day:
        return Panel(Tr("ConditionTexts", "JOUR"), ColorRed, code,
                     Tr("ConditionTexts", "Jour (Soleil levé)"));
    case TSkyBackgroundState::Unknown:
        break;
    }
    return NeutralPanel();
}

std::string StatesLine(const TConditions& c, const std::string& relayText) {
    return fmt::format("{}: {} | {}: {} | {}: {} | {}: {} | {}: {} | {}: {}", Tr("ConditionTexts", "Ciel"),
                       SkyPanel(c.Sky).Text, Tr("ConditionTexts", "Air"), AirPanel(c.Air).Text,
                       Tr("ConditionTexts", "Pluie"), RainPanel(c.Raining).Text, Tr("ConditionTexts", "Vent"),
                       WindPanel(c.Wind).Text, Tr("ConditionTexts", "Fond de ciel"),
                       SkyBackgroundPanel(c.SkyBackground).Text, Tr("ConditionTexts", "Relais"), relayText);
}

// ---- Text operations ------------------------------------------------------------------------

std::string DurationText(double s) {
    if (s < 60) return fmt::sprintf("%1.0f sec", s);
    if (s < 3600) return fmt::sprintf("%1.1f min", s / 60);
    return fmt::sprintf("%1.1f hrs", s / 3600);
}

std::string ElapsedText(double seconds) {
    struct Unit {
        double Seconds;
        std::string Pattern;
    };
    const Unit units[] = {
        {31557600, Tr("ConditionTexts", "%d an(s) ")}, {2629800, Tr("ConditionTexts", "%d mois ")},
        {86400, Tr("ConditionTexts", "%d jour(s) ")},  {3600, Tr("ConditionTexts", "%d Heure(s) ")},
        {60, Tr("ConditionTexts", "%d Min(s) ")},
    };
    std::string text;
    double rest = seconds;
    for (const auto& unit : units) {
        if (!(rest > unit.Seconds)) continue;
        const double count = std::trunc(rest / unit.Seconds);
        rest -= count * unit.Seconds;
        text += fmt::sprintf(unit.Pattern, static_cast<long long>(count));
    }
    if (rest > 0)
        text += fmt::sprintf(Tr("ConditionTexts", "%d sec"), static_cast<long long>(std::trunc(rest)));
    return text;
}

std::string DaysOrHoursText(double days) {
    if (days > 1) return fmt::sprintf(Tr("ConditionTexts", "%1.1f J"), days);
    return fmt::sprintf(Tr("ConditionTexts", "%1.1f h"), days * 24);
}

std::string BoolText(bool value) {
    return value ? "True" : "False";
}

std::string WindUnitText(const TSetupInfos& setup) {
    return setup.Unit_Mph ? "Mph" : "km/h";
}

std::string GoodConditionsLegend(const TSetupInfos& setup) {
    const std::string pattern =
        Tr("ConditionTexts", "En vert clair, SI le vent est inférieur à %d") + " km/h" +
        Tr("ConditionTexts",
           " + ciel trés dégagé (Tciel<%d°C) + pas de pluie, et ciel noir (Magn/sec²>%1.0f)");
    return fmt::sprintf(pattern, setup.SeuilVeryWindy_km, setup.SeuilCloudy, setup.SeuilDawn);
}

// The compass names keep the context of their first home, so their translations stay theirs.
std::string Degrees_ToSectorName(float degrees) {
    static constexpr const char* names[16] = {
        TrNoop("Conversions", "N"),    TrNoop("Conversions", "N-NE"), TrNoop("Conversions", "NE"),
        TrNoop("Conversions", "E-NE"), TrNoop("Conversions", "E"),    TrNoop("Conversions", "E-SE"),
        TrNoop("Conversions", "SE"),   TrNoop("Conversions", "S-SE"), TrNoop("Conversions", "S"),
        TrNoop("Conversions", "S-SO"), TrNoop("Conversions", "SO"),   TrNoop("Conversions", "O-SO"),
        TrNoop("Conversions", "O"),    TrNoop("Conversions", "W-NO"), TrNoop("Conversions", "NO"),
        TrNoop("Conversions", "N-NO"),
    };
    if (!std::isfinite(degrees)) return NoSectorText();
    // Ties to even: the current rounding mode, which the program never changes from to-nearest.
    const long i = static_cast<long>(std::nearbyint(degrees / 22.5));
    return Tr("Conversions", names[((i % 16) + 16) % 16]);
}

std::string NoSectorText() {
    return Tr("Conversions", "Pas de données");
}
