// The web dashboard on the port of the network server, as a service of the controller: its paths are
// answered before the Alpaca ones, its events go out as streaming replies of the HTTP server (which
// drops a browser that does not read them, under its limits), and the keep-alive comments and the
// verdict checks run on timers. Main thread only.
#pragma once

#include <memory>
#include <QObject>
#include <QTimer>

#include "Dashboard.h"
#include "Service.h"

class TAlpacaServer;
class Supervisor;

class TDashboardServer : public QObject, public TService {
    Q_OBJECT
  public:
    // The dashboard reads the controller's history, published values and verdict, and relay display;
    // all outlive it. Its paths are served by the network server's HTTP server, with the same limits.
    TDashboardServer(TAlpacaServer& http, const THistoryStore& history, const TPublishedConditions& published,
                     std::function<TRelayDisplay()> relay, QObject* parent = nullptr);
    ~TDashboardServer() override;

    TDashboard& Dashboard() { return dashboard_; }
    std::string Name() const override { return "Dashboard"; }
    // Starts the dashboard and its timers, and gives its address on standard error. When the network
    // server does not listen there is nothing to serve: false, with nothing more to tell (the server
    // told why).
    bool Start(std::string& error) override;
    void Stop() override;
    void OnReading(const TcapteursInfos& reading, const TConditions& conditions) override {
        dashboard_.OnReading(reading, conditions);
    }
    void OnLinkState(bool lost) override { dashboard_.OnLinkState(lost); }
    void SetKeepAliveMs(int ms) { keepAlive_.setInterval(ms); }

  private:
    TAlpacaServer& http_;
    TDashboard dashboard_;
    QTimer keepAlive_, verdictCheck_;
    // Cleared at destruction: the HTTP server keeps the handler, which then declines.
    std::shared_ptr<TDashboardServer*> self_;
};

// The dashboard on the port of this network server (none without one), following the controller's
// relay between readings.
std::unique_ptr<TDashboardServer> MakeDashboardService(Supervisor& supervisor, TAlpacaServer* http);
