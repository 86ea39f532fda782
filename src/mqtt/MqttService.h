// The MQTT publisher: a service that sends each reading's state, the safety verdict and the
// availability of the monitor to a broker, with Home Assistant discovery. The library's network loop
// runs on a thread of its own, which also reconnects with a growing delay (1 s doubling up to 60 s);
// the main thread only hands over finished messages, so a slow or absent broker never delays a
// reading, a save or the close.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "Conditions.h"
#include "MqttPayloads.h"
#include "PublishedConditions.h"
#include "Records.h"
#include "Service.h"
#include "SettingsTable.h"

// What went wrong with the broker.
enum class TMqttProblem : uint8_t {
    None,
    UnknownHost,
    Refused,       // nothing listens on the port
    LoginRefused,  // user name or password refused
    NotAuthorized, // the broker refuses this client
    Tls,           // TLS handshake or certificate check failed
    ClosedByBroker,
    NoAnswer, // keep-alive without answer
    Other,
};

enum class TMqttLink : uint8_t {
    Connecting,
    Connected,
    Retrying, // lost or never made; tried again after RetrySec
    Failed,   // given up: retrying cannot help until the settings change
    Stopped,
};

struct TMqttStatus {
    TMqttLink Link = TMqttLink::Stopped;
    TMqttProblem Problem = TMqttProblem::None;
    std::string Detail; // the system's or library's words, when any
    std::string Host;
    uint16_t Port = 0;
    int RetrySec = 0;
    bool WasConnected = false; // a connection was lost (rather than never made)
};

// "MQTT : connecté à 127.0.0.1:1883", "MQTT : connexion perdue (...), nouvel essai dans 4 s"...,
// in the language of the moment.
std::string MqttStatusText(const TMqttStatus& status);
std::string MqttProblemText(TMqttProblem problem, const std::string& detail);

class TMqttService : public TService {
  public:
    // published: the controller's values and the one verdict on them, shared with the other
    // publishers; read on the main thread, and it outlives the service. clock: the verdict's clock
    // (default Now()).
    TMqttService(TMqttSettings settings, const TPublishedConditions& published,
                 std::function<TDateTime()> clock = nullptr);
    ~TMqttService() override;
    TMqttService(const TMqttService&) = delete;
    TMqttService& operator=(const TMqttService&) = delete;

    std::string Name() const override { return "MQTT"; }
    // False only for settings that can never work (a bad topic prefix, a missing CA file): an
    // absent broker is retried in the background and reported through the status.
    bool Start(std::string& error) override;
    // "offline" to the broker when connected, then the end of the network thread: within 2 s.
    void Stop() override;
    void OnReading(const TcapteursInfos& reading, const TConditions& conditions) override;
    void OnLinkState(bool lost) override;

    // The relay changed, or time passed: the verdict is looked at again and published when it changed
    // since the broker was last told (a reading growing stale becomes unsafe without a new reading).
    void UpdateVerdict();

    // Called on the network thread at every change of the link; the listener copies what it needs.
    void SetStatusListener(std::function<void(const TMqttStatus&)> listener);
    TMqttStatus Status() const;
    const TMqttVerdict& Verdict() const { return verdict_; }
    const TMqttSettings& Settings() const { return settings_; }

    struct TShared; // what the network thread and the main thread share, behind its own mutex

  private:
    void PublishVerdictAndState(bool withState);

    TMqttSettings settings_;
    const TPublishedConditions& published_;
    std::function<TDateTime()> clock_;
    std::shared_ptr<TShared> shared_;
    std::function<void(const TMqttStatus&)> listener_;
    std::thread thread_;
    bool started_ = false;

    // Main thread only.
    bool hasReading_ = false;
    TcapteursInfos reading_{};
    TConditions conditions_;
    TMqttVerdict verdict_;
    bool verdictKnown_ = false;
    bool roofShown_ = false;
};

// "host:port", "[::1]:1883" or "host" (port 1883) into the settings, enabled for this run; false
// with a reason.
bool ParseMqttEndpoint(const std::string& text, TMqttSettings& settings, std::string& error);
