#include "ServiceManager.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <QTimer>
#include <string>
#include <systemd/sd-daemon.h>

#include "Supervisor.h"

namespace {

// systemd's own start-up timeout is pushed this far from now at each step of a long start-up; a
// start-up that stops progressing still times out.
constexpr uint64_t kStartupStepUsec = 120'000'000;
constexpr auto kStepNoticeEvery = std::chrono::seconds(5);

void Notify(const std::string& state) {
    sd_notify(0, state.c_str());
}

// One line, shown by `systemctl status`; nothing when there is no text.
std::string StatusLine(std::string text) {
    if (text.empty()) return {};
    std::replace(text.begin(), text.end(), '\n', ' ');
    return "STATUS=" + text;
}

} // namespace

TServiceManagerNotifier::TServiceManagerNotifier(Supervisor& supervisor) : supervisor_(supervisor) {
    const char* socket = std::getenv("NOTIFY_SOCKET");
    active_ = socket && *socket;
    if (!active_) return;

    QObject::connect(&supervisor_, &Supervisor::startupFinished, &context_, [this] { TellReady(); });
    QObject::connect(&supervisor_, &Supervisor::statusChanged, &context_, [this] {
        if (const std::string line = StatusLine(supervisor_.Status().Text); !line.empty()) Notify(line);
    });
    QObject::connect(&supervisor_, &Supervisor::closed, &context_, [] { Notify("STOPPING=1"); });

    auto lastStep = std::make_shared<std::optional<std::chrono::steady_clock::time_point>>();
    auto startupStep = [this, lastStep](const std::string& text) {
        const auto now = std::chrono::steady_clock::now();
        if (ready_ || (*lastStep && now - **lastStep < kStepNoticeEvery)) return;
        *lastStep = now;
        Notify("EXTEND_TIMEOUT_USEC=" + std::to_string(kStartupStepUsec) + "\n" + StatusLine(text));
    };
    QObject::connect(&supervisor_, &Supervisor::historyLoadProgress, &context_,
                     [startupStep](const QString& step) { startupStep(step.toStdString()); });
    QObject::connect(&supervisor_, &Supervisor::downloadProgressChanged, &context_,
                     [this, startupStep] { startupStep(supervisor_.DownloadProgress().Text); });

    // Pings from the main loop at half the watchdog time: a main thread that hangs stops them and
    // systemd restarts the service.
    uint64_t watchdogUsec = 0;
    if (sd_watchdog_enabled(0, &watchdogUsec) > 0 && watchdogUsec > 0) {
        auto* timer = new QTimer(&context_);
        timer->setInterval(static_cast<int>(std::clamp<uint64_t>(watchdogUsec / 2000, 1, 3'600'000)));
        QObject::connect(timer, &QTimer::timeout, [] { Notify("WATCHDOG=1"); });
        timer->start();
    }
}

void TServiceManagerNotifier::AfterStart() {
    if (active_ && supervisor_.StartupRetryPending()) TellReady();
}

void TServiceManagerNotifier::TellReady() {
    if (ready_) return;
    ready_ = true;
    Notify("READY=1\n" + StatusLine(supervisor_.Status().Text));
}
