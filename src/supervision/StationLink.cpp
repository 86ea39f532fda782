#include "StationLink.h"

#include <fmt/format.h>
#include <fmt/printf.h>

#include "CycleHost.h"
#include "Log.h"
#include "Records.h"
#include "UserText.h"

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

// ---- Healing ------------------------------------------------------------------------------------

namespace {
int SecondsOf(int ms) {
    return (ms + 999) / 1000;
}
} // namespace

TLinkHealing::TLinkHealing(TCycleHost& host, TStationLinkHolder& link, THealingPauses pauses, QObject* parent)
    : QObject(parent), host_(host), link_(link), pauses_(pauses) {
    startupRetry_.setSingleShot(true);
    reopen_.setSingleShot(true);
    connect(&startupRetry_, &QTimer::timeout, this, &TLinkHealing::RetryStartup);
    connect(&reopen_, &QTimer::timeout, this, &TLinkHealing::ReopenPort);
}

std::string TLinkHealing::DeviceText() const {
    return TStationLinkHolder::DeviceText(SetupInfos.SetupInfos_HW);
}

void TLinkHealing::ScheduleStartupRetry(const std::string& error) {
    if (!host_.Running()) return;
    const int seconds = SecondsOf(pauses_.StartupRetryMs);
    LogToday(fmt::format("Startup retry in {} s", seconds));
    // The reason first, as it names the port; a text too long for the panel loses its end.
    host_.ShowStatus(error + " -> " + fmt::sprintf(Tr("MainForm", "Nouvel essai de démarrage dans %d s"), seconds),
                     true);
    startupRetry_.start(pauses_.StartupRetryMs);
}

void TLinkHealing::StartupSucceeded() {
    startupRetry_.stop();
    reopen_.stop();
    startupRetries_ = 0;
    failedReadings_ = 0;
    linkLost_ = false;
}

void TLinkHealing::Stop() {
    startupRetry_.stop();
    reopen_.stop();
}

void TLinkHealing::RetryStartup() {
    if (!host_.Running() || !link_.Exists()) return;
    // The port is not closed under a list that still runs (a late re-arm, a settings round trip).
    if (ComThreadCount > 0) {
        startupRetry_.start(pauses_.StartupRetryMs);
        return;
    }
    const int attempt = ++startupRetries_;
    LogToday(fmt::format("Startup retry #{}", attempt));
    host_.ShowStatus(fmt::sprintf(Tr("MainForm", "Nouvel essai de démarrage n° %d"), attempt), false);
    link_.CloseIfOpen();
    host_.StartUp();
}

void TLinkHealing::ReadingFailed(const TThread_Communicate& thread) {
    if (linkLost_) return; // a reading started before the loss
    ++failedReadings_;
    if (thread.PortLost())
        OnLinkLost(thread.ErrorText());
    else if (failedReadings_ >= pauses_.FailedReadingsBeforeReopen)
        OnLinkLost(fmt::format("{} failed readings in a row, last: {}", failedReadings_, thread.ErrorText()));
}

void TLinkHealing::OnLinkLost(const std::string& reason) {
    if (!host_.Running() || linkLost_) return;
    linkLost_ = true;
    reopenAttempts_ = 0;
    host_.StopCycle();
    LogToday("Station link lost (" + DeviceText() + ") -> " + reason);
    // Closed at once: a USB adapter plugged in again gets its old name back only once it is released.
    if (ComThreadCount == 0) link_.CloseIfOpen();
    ShowLinkLost();
    emit linkChanged(true);
    reopen_.start(pauses_.ReopenMs);
}

void TLinkHealing::ShowLinkLost() {
    host_.ShowStatus(fmt::sprintf(Tr("MainForm", "Liaison perdue avec la station (%s), nouvel essai dans %d s"),
                                  DeviceText(), SecondsOf(pauses_.ReopenMs)),
                     true);
}

void TLinkHealing::ReopenPort() {
    if (!host_.Running() || !linkLost_ || !link_.Exists()) return;
    if (ComThreadCount > 0) {
        reopen_.start(pauses_.ReopenMs);
        return;
    }
    const int attempt = ++reopenAttempts_;
    LogToday(fmt::format("Station link: reopen attempt #{} ({})", attempt, DeviceText()));
    try {
        link_.CloseIfOpen();
        link_.Open(SetupInfos.SetupInfos_HW);
    } catch (const std::exception&) { // the serial object has logged why
        ShowLinkLost();
        reopen_.start(pauses_.ReopenMs);
        return;
    }
    host_.StartList({TCom_GetVersion}, [this](TThread_Communicate& thread) { AfterReopen(thread); });
}

void TLinkHealing::AfterReopen(TThread_Communicate& thread) {
    if (!host_.Running() || !linkLost_) return;
    if (!thread.ErrorText().empty()) {
        ShowLinkLost();
        reopen_.start(pauses_.ReopenMs);
        return;
    }
    linkLost_ = false;
    failedReadings_ = 0;
    LogToday(fmt::format("Station link restored ({}) at attempt #{}", DeviceText(), reopenAttempts_));
    host_.ShowStatus(fmt::sprintf(Tr("MainForm", "Liaison rétablie avec la station (%s)"), DeviceText()), false);
    emit linkChanged(false);
    // Nobody could reach the station meanwhile, so it recorded in its memory: the cycle starts again
    // once that memory is stored.
    host_.RecoverStationMemory();
}
