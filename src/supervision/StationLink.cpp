#include "StationLink.h"

#include "Records.h"

TStationLinkHolder::TStationLinkHolder() = default;

TStationLinkHolder::~TStationLinkHolder() = default;

void TStationLinkHolder::Create() {
    port_ = std::make_unique<TComObjRs232>();
}

bool TStationLinkHolder::IsOpen() const {
    return port_ && port_->IsOpen();
}

void TStationLinkHolder::Open(const TSetupInfos_Hardware& hw) {
    if (!port_) Create();
    if (!SimulationMode) port_->OpenConfigured(hw.PortCOM, hw.PortDevice, hw.OverBlueTooth);
}

void TStationLinkHolder::CloseIfOpen() {
    if (port_ && port_->IsOpen()) port_->CloseCom();
}

void TStationLinkHolder::Destroy(bool listsRunning) {
    if (!port_) return;
    port_->CloseCom();
    if (listsRunning)
        Abandon();
    else
        port_.reset();
}

void TStationLinkHolder::Abandon() {
    (void)port_.release();
}

std::string TStationLinkHolder::DeviceText(const TSetupInfos_Hardware& hw) {
    return hw.PortDevice.empty() ? TComObjRs232::DeviceNameOf(hw.PortCOM) : hw.PortDevice;
}

std::string TStationLinkHolder::OpenedText(const TSetupInfos_Hardware& hw) {
    return hw.PortDevice.empty() ? std::to_string(hw.PortCOM) : " " + hw.PortDevice;
}

TThread_Communicate* TStationLinkHolder::NewList(std::vector<Tcommand> commands, TComListener* listener,
                                                 TCompletionDispatcher* dispatcher) {
    return new TThread_Communicate(std::move(commands), listener, port_.get(), true, dispatcher);
}

void TStationLinkHolder::RunAndWait(std::vector<Tcommand> commands) {
    TThread_Communicate thread(std::move(commands), nullptr, port_.get(), false);
    thread.Start();
    thread.WaitFor();
    thread.ApplyReport();
}
