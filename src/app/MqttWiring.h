// The MQTT publisher as a service of the controller: it follows the processed readings and the station
// link through the service seam, the one verdict is looked at again when the relay changes and between
// readings, and its status line goes to the status bar (with a window) or to standard error
// (headless).
#pragma once

#include <memory>
#include <string>

#include "MqttService.h"

class QLabel;
class QObject;
class QStatusBar;
class Supervisor;

class TMqttPublishing : public TService {
  public:
    // statusBar: where the status line goes; none: standard error.
    TMqttPublishing(Supervisor& supervisor, const TMqttSettings& settings, QStatusBar* statusBar);
    ~TMqttPublishing() override;

    TMqttService& Service() { return service_; }
    std::string Name() const override { return service_.Name(); }
    bool Start(std::string& error) override;
    // The publisher first ("offline" to the broker): its network thread no longer posts status
    // lines; then the connections and the timer.
    void Stop() override;
    void OnReading(const TcapteursInfos& reading, const TConditions& conditions) override {
        service_.OnReading(reading, conditions);
    }
    void OnLinkState(bool lost) override { service_.OnLinkState(lost); }

  private:
    Supervisor& supervisor_;
    QStatusBar* statusBar_;
    TMqttService service_;
    std::unique_ptr<QObject> context_; // the connections and the verdict timer live with it
};

// The publisher of the settings ("\\MQTT", the endpoint given on the command line, if any); none when
// the settings leave it off.
std::unique_ptr<TMqttPublishing> MakeMqttService(Supervisor& supervisor, const std::string& endpoint,
                                                 QStatusBar* statusBar);
