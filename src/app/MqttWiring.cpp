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
#include "UserText.h"

TMqttRun::~TMqttRun() {
    // The publisher first: its network thread no longer posts status lines to the context.
    if (service_) service_->Stop();
    context_.reset();
}

std::unique_ptr<TMqttRun> StartMqttPublishing(Supervisor& supervisor, const TMqttSettings& settings,
                                              const TSafetyRules& rules, QStatusBar* statusBar) {
    auto run = std::unique_ptr<TMqttRun>(new TMqttRun);
    run->context_ = std::make_unique<QObject>();
    QObject* context = run->context_.get();
    run->service_ = std::make_unique<TMqttService>(
        settings, rules, [&supervisor] { return supervisor.Published().Values().RoofCloseRequested; });
    TMqttService* service = run->service_.get();

    QPointer<QLabel> label;
    if (statusBar) {
        label = new QLabel;
        label->setObjectName("StatusBarMqtt");
        statusBar->addPermanentWidget(label);
    }
    // Made on the main thread, in the language of that moment.
    // Headless, a line only when it says something new: a broker away for days writes the same
    // "next try in 60 s" once, not every minute.
    auto lastLine = std::make_shared<std::string>();
    service->SetStatusListener([context, label, lastLine](const TMqttStatus& status) {
        // Called on the network thread. Qt's event queue is invisible to ThreadSanitizer: posting under
        // this lock, and taking it again before the call runs, makes visible that the copy of the
        // status made here happens before the main thread reads it.
        static std::mutex handOver;
        std::lock_guard posting(handOver);
        QMetaObject::invokeMethod(
            context,
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
    std::string error;
    if (!service->Start(error)) {
        if (statusBar)
            ShowUserMessage(error);
        else
            std::fprintf(stderr, "%s\n", error.c_str());
        delete label;
        run->service_.reset();
        return nullptr;
    }
    QObject::connect(&supervisor, &Supervisor::readingProcessed, context,
                     [service](const TcapteursInfos& reading, const TConditions& conditions) {
                         service->OnReading(reading, conditions);
                     });
    QObject::connect(&supervisor, &Supervisor::stationLinkChanged, context,
                     [service](bool lost) { service->OnLinkState(lost); });
    QObject::connect(&supervisor, &Supervisor::relayChanged, context,
                     [service] { service->UpdateVerdict(); });
    // The status line in the language just chosen.
    QObject::connect(&supervisor, &Supervisor::languageChanged, context, [service, label] {
        if (label) label->setText(QString::fromStdString(MqttStatusText(service->Status())));
    });
    // A reading that grows stale makes the verdict unsafe without a new reading.
    auto* timer = new QTimer(context);
    QObject::connect(timer, &QTimer::timeout, context, [service] { service->UpdateVerdict(); });
    timer->start(5000);
    return run;
}
