#include "DashboardServer.h"

#include <QHttpServerRequest>
#include <QPointer>
#include <QTcpSocket>
#include <QUrlQuery>

#include "AlpacaServer.h"
#include "Log.h"
#include "Supervisor.h"

namespace {

const char* StatusText(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 503:
        return "Service Unavailable";
    }
    return "Error";
}

QByteArray Head(int status, const TWebAnswer& a, qint64 length) {
    QByteArray head = "HTTP/1.1 " + QByteArray::number(status) + " " + StatusText(status) + "\r\n";
    head += "Content-Type: " + QByteArray::fromStdString(a.ContentType) + "\r\n";
    head += "X-Content-Type-Options: nosniff\r\n";
    for (const auto& [name, value] : a.Headers)
        head += QByteArray::fromStdString(name) + ": " + QByteArray::fromStdString(value) + "\r\n";
    if (length >= 0)
        head += "Content-Length: " + QByteArray::number(length) + "\r\n";
    else
        head += "Connection: close\r\n"; // an event stream ends with the connection
    return head + "\r\n";
}

} // namespace

TDashboardServer::TDashboardServer(TAlpacaServer& http, const THistoryStore& history, TSafetyRules rules,
                                   std::function<TRelayDisplay()> relay, std::function<bool()> relayClosed,
                                   QObject* parent)
    : QObject(parent), http_(http), dashboard_(history, rules, std::move(relay), std::move(relayClosed)) {
    keepAlive_.setInterval(EventKeepAliveSeconds * 1000);
    verdictCheck_.setInterval(5000);
    connect(&keepAlive_, &QTimer::timeout, this, [this] { dashboard_.KeepAlive(); });
    connect(&verdictCheck_, &QTimer::timeout, this, [this] { dashboard_.Tick(); });
    http_.SetFrontHandler([this](const QHttpServerRequest& r, QTcpSocket* s) { return Serve(r, s); });
}

TDashboardServer::~TDashboardServer() {
    Stop();
    http_.SetFrontHandler({});
}

void TDashboardServer::Start() {
    std::string error;
    dashboard_.Start(error);
    keepAlive_.start();
    verdictCheck_.start();
    LogToday("Web dashboard started");
}

void TDashboardServer::Stop() {
    keepAlive_.stop();
    verdictCheck_.stop();
    dashboard_.Stop();
}

bool TDashboardServer::Serve(const QHttpServerRequest& request, QTcpSocket* socket) {
    std::vector<std::pair<std::string, std::string>> query;
    for (const auto& [name, value] : QUrlQuery(request.url()).queryItems(QUrl::FullyDecoded))
        query.emplace_back(name.toStdString(), value.toStdString());
    const QByteArray method = request.method() == QHttpServerRequest::Method::Get    ? "GET"
                              : request.method() == QHttpServerRequest::Method::Head ? "HEAD"
                                                                                     : "OTHER";
    const std::optional<TWebAnswer> answer =
        dashboard_.Answer(method.toStdString(), request.url().path().toStdString(), query);
    if (!answer) return false;
    if (!answer->Events) {
        socket->write(Head(answer->Status, *answer, static_cast<qint64>(answer->Body.size())));
        if (method != "HEAD") socket->write(answer->Body.data(), static_cast<qint64>(answer->Body.size()));
        return true;
    }
    socket->write(Head(200, *answer, -1));
    QPointer<QTcpSocket> peer(socket);
    dashboard_.Subscribe([peer](std::string_view chunk) {
        if (!peer || peer->state() != QAbstractSocket::ConnectedState) return false;
        // A browser that does not read its events is let go rather than buffered for.
        if (peer->bytesToWrite() > EventBacklogLimitBytes) {
            peer->abort();
            return false;
        }
        peer->write(chunk.data(), static_cast<qint64>(chunk.size()));
        return true;
    });
    return true;
}

void FollowSupervisor(TDashboardServer& server, Supervisor& supervisor) {
    TDashboard& d = server.Dashboard();
    QObject::connect(&supervisor, &Supervisor::readingProcessed, &server,
                     [&d](const TcapteursInfos& r, const TConditions& c) { d.OnReading(r, c); });
    QObject::connect(&supervisor, &Supervisor::stationLinkChanged, &server,
                     [&d](bool lost) { d.OnLinkState(lost); });
    QObject::connect(&supervisor, &Supervisor::relayChanged, &server, [&d] { d.Tick(); });
    d.OnLinkState(supervisor.StationLinkLost());
}
