// The web dashboard on the port of the network server: its paths are answered before the Alpaca
// ones, its events are written to the browsers' sockets, a browser that does not read them is
// dropped, and the keep-alive comments and the verdict checks run on timers. Main thread only.
#pragma once

#include <memory>
#include <QObject>
#include <QTimer>

#include "Dashboard.h"

class QHttpServerRequest;
class QTcpSocket;
class TAlpacaServer;
class Supervisor;

// Replies waiting for one browser beyond this, and the browser is dropped.
inline constexpr qint64 EventBacklogLimitBytes = 256 * 1024;

class TDashboardServer : public QObject {
    Q_OBJECT
  public:
    // The dashboard reads the controller's history and relay display; both outlive it.
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
    bool Serve(const QHttpServerRequest& request, QTcpSocket* socket);

    TAlpacaServer& http_;
    TDashboard dashboard_;
    QTimer keepAlive_, verdictCheck_;
};

// Follows the controller's readings, link and relay.
void FollowSupervisor(TDashboardServer& server, Supervisor& supervisor);
