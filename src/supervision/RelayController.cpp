#include "RelayController.h"

#include <fmt/printf.h>

#include "Conditions.h"
#include "Log.h"
#include "UserText.h"

namespace {

// The texts belong to the main window's translation context.
std::string T(const char* text) {
    return Tr("MainForm", text);
}

// The roof panel while the station has not reported its relay.
TStatePanel UnreportedRelayPanel() {
    return {T("Pas disponible"), std::nullopt, T("Non activé, pas de surveillance"), 0};
}

} // namespace

TRelayController::TRelayController(TPublishedConditions& published, TRelayActions actions,
                                   std::function<TDateTime()> utcClock)
    : published_(published), actions_(std::move(actions)), utcClock_(std::move(utcClock)) {
    display_.Panel = UnreportedRelayPanel();
    display_.ButtonCaption = T("Ouvrir relais");
    display_.ButtonHint = T("Ouvre le relais de fermeture d'urgence d'Abri/Dôme...");
}

void TRelayController::Changed() {
    if (actions_.Changed) actions_.Changed();
}

void TRelayController::UpdateRelayDisplay(const TRelayInputs& inputs, const TcapteursInfos& current) {
    const TRoofCloserCriterias& c = inputs.Criteria;
    const TT_Bool roof = inputs.Roof;
    const std::string unknown = "???";
    const auto yesNo = [](bool b) { return b ? T("OUI") : T("NON"); };
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
        display_.Panel.Text = T(" Fermé");
        display_.Panel.Colour = ColorRed;
        published_.PublishRoofState(roof);
        if (!display_.ButtonEnabled) {
            if (actions_.PlaySound) actions_.PlaySound(inputs.AlarmSound);
            if (actions_.RunProgram) actions_.RunProgram(inputs.AlarmProgram);
            display_.Panel.Hint = T("Activé à ") + DateTimeText(Now());
            LogToday(T("Alarme : activation du relai d'urgence !"));
        }
        display_.ButtonEnabled = true;
    } else {
        display_.Panel.Text = T(" Ouvert");
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
            display_.ButtonCaption = fmt::sprintf(T("Ouvrir relai  [%1.1f m]"), remaining);
        } else {
            display_.ButtonCaption = T("Ouvrir relai");
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

void TRelayController::RearmFailed() {
    display_.WatchText = "???";
    display_.Panel = {T("Pas disponible"), std::nullopt, "", 0};
    Changed();
}

void TRelayController::RearmDone(const TRelayInputs& inputs, const TcapteursInfos& current) {
    display_.Panel.Hint = T("Réarmé à : ") + DateTimeText(Now());
    UpdateRelayDisplay(inputs, current);
}
