// The web dashboard on the port of the network server: its paths are answered before the Alpaca
// ones, its events go out as streaming replies of the HTTP server (which drops a browser that does
// not read them, under its limits), and the keep-alive comments and the verdict checks run on
// timers. Main thread only.
#pragma once

#include <memory>
#include <QObject>
#include <QTimer>

#include "Dashboard.h"

class TAlpacaServer;
class Supervisor;

class TDashboardServer : public QObject {
    Q_OBJECT
  public:
    // The dashboard reads the controller's history and relay display; both outlive it. Its paths are
    // served by the network server's HTTP server, with the same limits.
    TDashboardServer(TAlpacaServer& http, const THistoryStore& history, TSafetyRules rules,
                     std::function<TRelayDisplay()> relay, std::function<bool()> relayClosed,
                     QObject* parent = nullptr);
    ~TDashboardServer() override;

    TDashboard& Dashboard() { return dashboard_; }
    // Starts the service and its timers (the server must be listening).
    void Start();
    void Stop();
    void SetKeepAliveMs(int ms) { keepAlive_.setInterval(ms); }

  private:
    TDashboard dashboard_;
    QTimer keepAlive_, verdictCheck_;
    // Cleared at destruction: the HTTP server keeps the handler, which then declines.
    std::shared_ptr<TDashboardServer*> self_;
};

// Follows the controller's readings, link and relay.
void FollowSupervisor(TDashboardServer& server, Supervisor& supervisor);
