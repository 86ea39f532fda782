// The MQTT publisher joined to the controller: it follows the processed readings, the station link
// and the relay, its verdict is looked at between readings, and its status line goes to the status
// bar (with a window) or to standard error (headless). One call, so that the publisher can move
// behind the controller's service seam without other changes.
#pragma once

#include <memory>

#include "MqttService.h"

class QStatusBar;
class Supervisor;

class TMqttRun {
  public:
    ~TMqttRun();
    TMqttService& Service() { return *service_; }

  private:
    friend std::unique_ptr<TMqttRun> StartMqttPublishing(Supervisor&, const TMqttSettings&,
                                                         const TSafetyRules&, QStatusBar*);
    std::unique_ptr<class QObject> context_; // the connections and the verdict timer live with it
    std::unique_ptr<TMqttService> service_;
};

// Starts the publisher; nothing when it cannot start (the message is shown, or written to standard
// error without a window, and logged). statusBar: where the status line goes; none: standard error.
std::unique_ptr<TMqttRun> StartMqttPublishing(Supervisor& supervisor, const TMqttSettings& settings,
                                              const TSafetyRules& rules, QStatusBar* statusBar);
