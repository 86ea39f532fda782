// A small HTTP/1.1 server on a QTcpServer, with limits on everything a client controls: request
// sizes (see HttpMessage.h), replies waiting for a client that does not read them, the number of
// connections, and the time a client may take. Keep-alive and pipelining, and streaming replies
// (Server-Sent Events). It lives on the thread that made it; handlers run there.
#pragma once

#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QTimer>
#include <set>
#include <vector>

#include "HttpMessage.h"

class QTcpServer;
class QTcpSocket;
class THttpConnection;

class THttpServer : public QObject {
    Q_OBJECT
  public:
    explicit THttpServer(THttpLimits limits = {}, QObject* parent = nullptr);
    ~THttpServer() override;

    // Handlers are asked in order; the first that answers wins, and a request none answers is a 404.
    // A handler added with `first` is asked before those already there.
    void AddHandler(THttpHandler handler, bool first = false);

    // False with the system's reason when the address cannot be listened on.
    bool Listen(const QHostAddress& address, quint16 port, QString& error);
    // Stops listening and closes every connection (streams end).
    void Close();
    bool IsListening() const;
    quint16 Port() const;
    QHostAddress Address() const;
    const THttpLimits& Limits() const { return limits_; }
    // Before Listen (tests shorten the times). Listen lowers the connection cap to a quarter of the
    // files the process may open, so that the program's own files always find a descriptor.
    void SetLimits(const THttpLimits& limits) { limits_ = limits; }
    int ConnectionCount() const { return static_cast<int>(connections_.size()); }
    // Connections serving an event stream.
    int StreamCount() const;

    // The answer to one request, as every connection gets it.
    std::optional<THttpResponse> Dispatch(const THttpRequest& request);

  private:
    friend class THttpConnection;
    void OnNewConnection();
    void Forget(THttpConnection* connection);
    void Refuse(QTcpSocket* socket);

    THttpLimits limits_;
    THostRule hosts_;
    QTcpServer* tcp_ = nullptr;
    std::vector<THttpHandler> handlers_;
    std::set<THttpConnection*> connections_;
    int refusing_ = 0; // refused connections still telling their client why
};
