#include "MqttWiring.h"

#include <cstdio>
#include <memory>
#include <mutex>
#include <QLabel>
#include <QObject>
#include <QPointer>
#include <QStatusBar>
#include <QTimer>

#include "DateTime.h"
#include "Supervisor.h"

TMqttPublishing::TMqttPublishing(Supervisor& supervisor, const TMqttSettings& settings, QStatusBar* statusBar)
    : supervisor_(supervisor), statusBar_(statusBar), service_(settings, supervisor.Published()) {}

TMqttPublishing::~TMqttPublishing() {
    Stop();
}

bool TMqttPublishing::Start(std::string& error) {
    auto context = std::make_unique<QObject>();
    QObject* on = context.get();
    QPointer<QLabel> label;
    if (statusBar_) {
        label = new QLabel;
        label->setObjectName("StatusBarMqtt");
        statusBar_->addPermanentWidget(label);
    }
    // Made on the main thread, in the language of that moment.
    // Headless, a line only when it says something new: a broker away for days writes the same
    // "next try in 60 s" once, not every minute.
    auto lastLine = std::make_shared<std::string>();
    service_.SetStatusListener([on, label, lastLine](const TMqttStatus& status) {
        // Called on the network thread. Qt's event queue is invisible to ThreadSanitizer: posting under
        // this lock, and taking it again before the call runs, makes visible that the copy of the
        // status made here happens before the main thread reads it.
        static std::mutex handOver;
        std::lock_guard posting(handOver);
        QMetaObject::invokeMethod(
            on,
            [status, label, lastLine] {
                { std::lock_guard handedOver(handOver); }
                const std::string text = MqttStatusText(status);
                if (label) {
                    label->setText(QString::fromStdString(text));
                    return;
                }
                if (status.Link == TMqttLink::Connecting || text == *lastLine) return;
                *lastLine = text;
                std::fprintf(stderr, "%s %s\n", DateTimeText(Now()).c_str(), text.c_str());
            },
            Qt::QueuedConnection);
    });
    if (!service_.Start(error)) {
        service_.SetStatusListener(nullptr);
        delete label;
        return false;
    }
    TMqttService* service = &service_;
    // Queued: a relay shown while a reading is processed is followed by that reading, whose state
    // carries the verdict; looked at before it, the verdict (already the new reading's) would go out
    // in a state of the previous reading.
    QObject::connect(
        &supervisor_, &Supervisor::relayChanged, on, [service] { service->UpdateVerdict(); },
        Qt::QueuedConnection);
    // The status line in the language just chosen.
    QObject::connect(&supervisor_, &Supervisor::languageChanged, on, [service, label] {
        if (label) label->setText(QString::fromStdString(MqttStatusText(service->Status())));
    });
    // A reading that grows stale makes the verdict unsafe without a new reading.
    auto* timer = new QTimer(on);
    QObject::connect(timer, &QTimer::timeout, on, [service] { service->UpdateVerdict(); });
    timer->start(5000);
    context_ = std::move(context);
    return true;
}

void TMqttPublishing::Stop() {
    service_.Stop();
    context_.reset();
}

std::unique_ptr<TMqttPublishing> MakeMqttService(Supervisor& supervisor, const std::string& endpoint,
                                                 QStatusBar* statusBar) {
    TMqttSettings settings = ReadMqttSettings();
    std::string unused; // checked with the command line
    if (!endpoint.empty()) ParseMqttEndpoint(endpoint, settings, unused);
    if (!settings.Enabled) return nullptr;
    return std::make_unique<TMqttPublishing>(supervisor, settings, statusBar);
}
