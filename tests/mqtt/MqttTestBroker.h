// A real Mosquitto broker for the tests, on a free loopback port with a configuration of its own
// (and a password file when asked), and a subscriber that keeps every message it receives.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

struct mosquitto;

class TTestBroker {
  public:
    // folder: where its configuration and password file go. users: name -> password; none: anonymous.
    // tls: the listener takes TLS only, with a self-signed certificate for 127.0.0.1 made in the
    // folder (CertificateFile()).
    TTestBroker(const std::string& folder, std::map<std::string, std::string> users = {}, bool tls = false);
    ~TTestBroker();
    TTestBroker(const TTestBroker&) = delete;
    TTestBroker& operator=(const TTestBroker&) = delete;

    // Starts it (again, on the same port); false when it does not listen within a few seconds.
    bool Start();
    void Stop();
    uint16_t Port() const { return port_; }
    std::string CertificateFile() const { return folder_ + "broker-cert.pem"; }

  private:
    std::string folder_;
    uint16_t port_ = 0;
    pid_t pid_ = -1;
};

// A free TCP port on 127.0.0.1, nobody listening.
uint16_t FreeLoopbackPort();

struct TReceived {
    std::string Topic;
    std::string Payload;
    bool Retained = false;
};

class TTestSubscriber {
  public:
    // Subscribes to each filter on every connection; reconnects by itself.
    TTestSubscriber(uint16_t port, std::vector<std::string> filters, const std::string& user = {},
                    const std::string& password = {});
    ~TTestSubscriber();
    TTestSubscriber(const TTestSubscriber&) = delete;
    TTestSubscriber& operator=(const TTestSubscriber&) = delete;

    bool Connected() const;
    std::vector<TReceived> Messages() const;
    // The latest payload of a topic.
    std::optional<std::string> Last(const std::string& topic) const;
    // Messages of topics starting with `prefix`.
    std::vector<TReceived> Under(const std::string& prefix) const;
    void Clear();
    void Publish(const std::string& topic, const std::string& payload, bool retain = false);

  private:
    friend struct TSubscriberCallbacks;
    mosquitto* mosq_ = nullptr;
    std::vector<std::string> filters_;
    mutable std::mutex mutex_;
    std::vector<TReceived> messages_;
    bool connected_ = false;
};
