#include "RelayRearm.h"

#include "Log.h"
#include "UserText.h"

TRelayInputs RelayInputsOf(const TSetupInfos& setup) {
    return {setup.RoofCloserCriterias, setup.SetupInfos_HW.RoofSwitchActive, setup.Sound_at_RelayClose,
            setup.Soft_OnRelayClose};
}

void TRelayRearm::Start(bool quiet) {
    host_.StartList({TCom_RearmTrig}, [this](TThread_Communicate& thread) { OnRearmed(thread); }, quiet);
}

void TRelayRearm::OnRearmed(TThread_Communicate& thread) {
    if (!host_.Running()) return;
    try {
        if (!thread.ErrorText().empty()) {
            SetupInfos.SetupInfos_HW.RoofSwitchActive.Valid = false;
            relay_.RearmFailed();
            emit rearmFinished();
            return;
        }
        bool watch = true;
        if (!thread.Quiet) {
            const std::string question = Tr("MainForm", "Voulez-vous re-activer la surveillance ?");
            watch = question_ ? question_(QString::fromStdString(question)) : AskUserYesNo(question);
        }
        SetupInfos.RoofCloserCriterias.DoWatch.DefaultValue = watch;
        host_.StartList({TCom_Setup, TCom_GetVersion, TCom_getSensorInfos},
                        [this](TThread_Communicate&) { AfterSetup(); });
    } catch (const std::exception& e) {
        LogToday(std::string("OnterminateRearm -> ") + e.what());
        host_.ShowMessage(std::string("OnterminateRearm -> ") + e.what());
    }
}

void TRelayRearm::AfterSetup() {
    if (!host_.Running()) return;
    try {
        relay_.RearmDone(RelayInputsOf(SetupInfos), CurrentCapteursInfos);
    } catch (const std::exception& e) {
        LogToday(std::string("AfterRearmSetup -> ") + e.what());
        host_.ShowMessage(std::string("AfterRearmSetup -> ") + e.what());
    }
    emit rearmFinished();
}
