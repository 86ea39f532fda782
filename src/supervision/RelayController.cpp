#include "RelayController.h"

#include <fmt/printf.h>

#include "Conditions.h"
#include "Log.h"
#include "UserText.h"

namespace {

// The roof panel while the station has not reported its relay.
TStatePanel UnreportedRelayPanel() {
    return {Tr("MainForm", "Pas disponible"), std::nullopt, Tr("MainForm", "Non activé, pas de surveillance"),
            0};
}

} // namespace

TRelayController::TRelayController(TPublishedConditions& published, TRelayActions actions,
                                   std::function<TDateTime()> utcClock)
    : published_(published), actions_(std::move(actions)), utcClock_(std::move(utcClock)) {
    display_.Panel = UnreportedRelayPanel();
    display_.ButtonCaption = Tr("MainForm", "Ouvrir relais");
    display_.ButtonHint = Tr("MainForm", "Ouvre le relais de fermeture d'urgence d'Abri/Dôme...");
}

void TRelayController::Changed() {
    if (actions_.Changed) actions_.Changed();
}

void TRelayController::UpdateRelayDisplay(const TRelayInputs& inputs, const TcapteursInfos& current) {
    const TRoofCloserCriterias& c = inputs.Criteria;
    const TT_Bool roof = inputs.Roof;
    const std::string unknown = "???";
    const auto yesNo = [](bool b) { return b ? Tr("MainForm", "OUI") : Tr("MainForm", "NON"); };
    display_.WatchText = c.DoWatch.Valid ? yesNo(c.DoWatch.Value) : unknown;
    display_.SkyThresholdText = c.TempSky.Valid ? fmt::sprintf("%1.0f °C", c.TempSky.Value) : unknown;
    display_.RHThresholdText = c.RH.Valid ? fmt::sprintf("%d %%", c.RH.Value) : unknown;
    display_.WindThresholdText = c.Wind.Valid ? fmt::sprintf("%d km/h", c.Wind.Value) : unknown;
    display_.LightText = c.Light.Valid ? yesNo(c.Light.Value) : unknown;
    display_.MagnitudeText = c.ValueMag.Valid ? fmt::sprintf("%1.1f", c.ValueMag.Value) : unknown;

    if (!roof.Valid) {
        display_.Panel = UnreportedRelayPanel();
        Changed();
        return;
    }
    ++Pass_relay;
    const bool closed = roof.Value;
    if (closed) {
        display_.Panel.Text = Tr("MainForm", " Fermé");
        display_.Panel.Colour = ColorRed;
        published_.PublishRoofState(roof);
        if (!display_.ButtonEnabled) {
            if (actions_.PlaySound) actions_.PlaySound(inputs.AlarmSound);
            if (actions_.RunProgram) actions_.RunProgram(inputs.AlarmProgram);
            display_.Panel.Hint = Tr("MainForm", "Activé à ") + DateTimeText(Now());
            LogToday(Tr("MainForm", "Alarme : activation du relai d'urgence !"));
        }
        display_.ButtonEnabled = true;
    } else {
        display_.Panel.Text = Tr("MainForm", " Ouvert");
        display_.Panel.Colour = ColorGreen;
        published_.PublishRoofState(roof);
    }

    const TDateTime now = utcClock_();
    if (closed && (Pass_relay == 1 || !PreviousStateRelayState)) {
        DateStartDeclenched = now;
        LogToday("Relay closed condition met");
    } else if (closed && c.DoReamAuto) {
        const double remaining = c.AfterMinutes - (now - DateStartDeclenched) * 24 * 60;
        if (remaining >= 0) {
            display_.ButtonCaption = fmt::sprintf(Tr("MainForm", "Ouvrir relai  [%1.1f m]"), remaining);
        } else {
            display_.ButtonCaption = Tr("MainForm", "Ouvrir relai");
            if (RearmConditionsMet(c, current)) {
                RearmRelay(true);
                LogToday("Rearm condition met -> OK");
            } else {
                DateStartDeclenched = now;
                LogToday("Relay closed condition met");
            }
        }
    }
    PreviousStateRelayState = closed;
    Changed();
}

bool TRelayController::RearmConditionsMet(const TRoofCloserCriterias& c, const TcapteursInfos& r) {
    if (r.RainStatus != 0) return false;
    if (!c.TempSky.Valid || !(r.DeltaTempDeg < c.TempSky.Value)) return false;
    if (!c.RH.Valid || !(r.Humidity < c.RH.Value)) return false;
    if (!c.Wind.Valid || !(GustKmh(r) < c.Wind.Value)) return false;
    if (c.Light.Value && c.ValueMag.Valid && !(SkyMagnitude(r.Lumex) > c.ValueMag.Value)) return false;
    return true;
}

void TRelayController::RearmRelay(bool quiet) {
    if (actions_.StartRearm) actions_.StartRearm(quiet);
    display_.ButtonEnabled = false;
    Changed();
}

void TRelayController::RetranslateDisplay(
    const std::function<std::string(const std::string&)>& inLanguageNow) {
    for (std::string* text : {&display_.WatchText, &display_.LightText, &display_.Panel.Text,
                              &display_.Panel.Hint, &display_.ButtonCaption, &display_.ButtonHint})
        *text = inLanguageNow(*text);
    Changed();
}

void TRelayController::RearmFailed() {
    display_.WatchText = "???";
    display_.Panel = {Tr("MainForm", "Pas disponible"), std::nullopt, "", 0};
    Changed();
}

void TRelayController::RearmDone(const TRelayInputs& inputs, const TcapteursInfos& current) {
    display_.Panel.Hint = Tr("MainForm", "Réarmé à : ") + DateTimeText(Now());
    UpdateRelayDisplay(inputs, current);
}
