#include "ViewData.h"

#include <fmt/printf.h>

#include "DateTime.h"
#include "UserText.h"

namespace {

constexpr const char* kContext = "MainWindow";

std::string YesNo(bool value) {
    return value ? Tr(kContext, "OUI") : Tr(kContext, "NON");
}

// Number of code points of a UTF-8 text, and the byte length of its first n code points: the
// status texts carry accents, which must not be cut in half.
size_t CodePoints(const std::string& text) {
    size_t n = 0;
    for (unsigned char c : text)
        if ((c & 0xC0) != 0x80) ++n;
    return n;
}

std::string FirstCodePoints(const std::string& text, size_t count) {
    size_t seen = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            if (seen == count) return text.substr(0, i);
            ++seen;
        }
    }
    return text;
}

} // namespace

TRelayDisplay InitialRelayDisplay() {
    TRelayDisplay display;
    display.Panel = RelayPanel(TT_Bool{});
    display.ButtonCaption = OpenRelayCaption();
    display.ButtonEnabled = false;
    return display;
}

void FillRelayCriteria(const TRoofCloserCriterias& c, TRelayDisplay& d) {
    d.WatchText = c.DoWatch.Valid ? YesNo(c.DoWatch.Value) : UnknownText;
    d.SkyThresholdText = c.TempSky.Valid ? fmt::sprintf("%1.0f °C", c.TempSky.Value) : UnknownText;
    d.RHThresholdText = c.RH.Valid ? fmt::sprintf("%d %%", c.RH.Value) : UnknownText;
    d.WindThresholdText = c.Wind.Valid ? fmt::sprintf("%d km/h", c.Wind.Value) : UnknownText;
    d.LightText = c.Light.Valid ? YesNo(c.Light.Value) : UnknownText;
    d.MagnitudeText = c.ValueMag.Valid ? fmt::sprintf("%1.1f", c.ValueMag.Value) : UnknownText;
}

TStatePanel RelayPanel(const TT_Bool& roofSwitchActive) {
    if (!roofSwitchActive.Valid)
        return TStatePanel{Tr(kContext, "Pas disponible"), std::nullopt,
                           Tr(kContext, "Non activé, pas de surveillance"), 0};
    if (roofSwitchActive.Value) return TStatePanel{Tr(kContext, " Fermé"), ColorRed, {}, 1};
    return TStatePanel{Tr(kContext, " Ouvert"), ColorGreen, {}, 0};
}

std::string RearmCaption(std::optional<double> remainingMinutes) {
    if (!remainingMinutes) return Tr(kContext, "Ouvrir relai");
    return fmt::sprintf(Tr(kContext, "Ouvrir relai  [%1.1f m]"), *remainingMinutes);
}

std::string OpenRelayCaption() {
    return Tr(kContext, "Ouvrir relais");
}

TReadingLabels TimerLabelsAt(double intervalSec, double secondsCounted, TDateTime lastReading, TDateTime now) {
    TReadingLabels labels;
    labels.Interval = DurationText(intervalSec);
    labels.Remaining = DurationText(intervalSec - secondsCounted);
    if (lastReading != 0)
        labels.LastReading = DateTimeText(lastReading) + " -> " + DurationText((now - lastReading) * 86400.0);
    return labels;
}

std::string ShortStatusText(const std::string& text) {
    if (CodePoints(text) <= 80) return text;
    return "...." + FirstCodePoints(text, 70);
}

std::string DownloadProgressText(int recordsRead, int recordsToRead) {
    return Tr(kContext, "Récupère les donnée(s) EEPROM Halvex : ") + std::to_string(recordsRead) + "/" +
           std::to_string(recordsToRead);
}

std::string DownloadDoneText(int recordsRead) {
    return Tr(kContext, "A récupéré ") + std::to_string(recordsRead) +
           Tr(kContext, " donnée(s) EEPROM Halvex");
}

bool DownloadFinished(int recordsRead, int recordsToRead) {
    return recordsToRead >= 0 && recordsRead == recordsToRead;
}

std::string DisplayRangeText(double rangeDays) {
    return fmt::sprintf(Tr(kContext, "Affichage des données des %1.0f dernier(s) jour(s)"), rangeDays);
}

std::string StoredPointsText(size_t records, std::optional<bool> ftpRunning, double ftpSeconds) {
    std::string text = fmt::sprintf(Tr(kContext, "%d données totales"), records);
    if (!ftpRunning) return text;
    text += *ftpRunning ? Tr(kContext, "   Transfert FTP en cours (")
                        : Tr(kContext, "   Transfert FTP en attente (");
    return text + DurationText(ftpSeconds) + ")";
}

std::string MainWindowCaption() {
    return Tr(kContext, "Moniteur de nuages HALVEX") + " -> Version " + Tr(kContext, "v1.49 27/03/13");
}
