// The automation server: the ClarityII interfaces on the D-Bus session bus, so that other
// observatory programs can read the current conditions. Every member is a read-only property (the
// two methods excepted) whose value is read from the published automation values at each call,
// on the main thread, where those values are updated.
#pragma once

#include <memory>
#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <vector>

#include "PublishedConditions.h"
#include "Service.h"

class TClaritySensorObject;

class TAutomationServer : public QObject, public TService {
    Q_OBJECT
  public:
    // published: what the clients read (the controller's). It must outlive the server and is only
    // read on the thread that owns the server.
    explicit TAutomationServer(const TPublishedConditions& published, QObject* parent = nullptr);
    ~TAutomationServer() override;
    TAutomationServer(const TAutomationServer&) = delete;
    TAutomationServer& operator=(const TAutomationServer&) = delete;

    // Connects to the session bus and serves both objects under both bus names. The bus is
    // busAddress when given, else DBUS_SESSION_BUS_ADDRESS when set, else the session bus libdbus
    // finds by itself. Without a bus it logs one line and returns false: the program runs on
    // without automation. A bus name owned by someone else is logged and left alone; the other is
    // still served. True when both names are served.
    bool Start(const QString& busAddress = {});
    // Releases the names and objects and leaves the bus (also done on destruction).
    void Stop() override;

    // As a service of the controller. A session without a bus is no fault the user must act on
    // (a headless observatory computer often has none): logged once by Start, never a message.
    std::string Name() const override { return "D-Bus"; }
    bool Start(std::string&) override {
        Start();
        return true;
    }
    // Clients read the published values at each call: nothing to follow.
    void OnReading(const TcapteursInfos&, const TConditions&) override {}
    void OnLinkState(bool) override {}

    bool IsConnected() const { return connected_; }
    // The bus names this process owns, in registration order.
    const std::vector<QString>& ServedNames() const { return servedNames_; }

  private:
    const TAutomationValues& values_;
    QString connectionName_;
    bool connected_ = false;
    std::vector<std::unique_ptr<TClaritySensorObject>> objects_;
    std::vector<QString> servedNames_;
};
