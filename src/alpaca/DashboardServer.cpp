#include "DashboardServer.h"

#include "AlpacaServer.h"
#include "HttpServer.h"
#include "Log.h"
#include "Supervisor.h"

TDashboardServer::TDashboardServer(TAlpacaServer& http, const THistoryStore& history, TSafetyRules rules,
                                   std::function<TRelayDisplay()> relay, std::function<bool()> relayClosed,
                                   QObject* parent)
    : QObject(parent), dashboard_(history, rules, std::move(relay), std::move(relayClosed)),
      self_(std::make_shared<TDashboardServer*>(this)) {
    keepAlive_.setInterval(EventKeepAliveSeconds * 1000);
    verdictCheck_.setInterval(5000);
    connect(&keepAlive_, &QTimer::timeout, this, [this] { dashboard_.KeepAlive(); });
    connect(&verdictCheck_, &QTimer::timeout, this, [this] { dashboard_.Tick(); });
    std::weak_ptr<TDashboardServer*> weak = self_;
    http.Http().AddHandler(
        [weak](const THttpRequest& request) -> std::optional<THttpResponse> {
            const auto self = weak.lock();
            if (!self || !*self) return std::nullopt;
            TDashboard& dashboard = (*self)->dashboard_;
            std::optional<TWebAnswer> answer =
                dashboard.Answer(request.Method, request.Path, ParseQuery(request.Query));
            if (!answer) return std::nullopt;
            THttpResponse response;
            response.Status = answer->Status;
            response.ContentType = answer->ContentType;
            response.Headers = std::move(answer->Headers);
            if (!answer->Events) {
                response.Body = std::move(answer->Body);
                return response;
            }
            response.Stream = [weak](std::shared_ptr<THttpStream> stream) {
                const auto self = weak.lock();
                if (!self || !*self) return stream->End();
                (*self)->dashboard_.Subscribe(
                    [stream](std::string_view chunk) { return stream->Push(chunk); });
            };
            return response;
        },
        true);
}

TDashboardServer::~TDashboardServer() {
    Stop();
    *self_ = nullptr;
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

void FollowSupervisor(TDashboardServer& server, Supervisor& supervisor) {
    TDashboard& d = server.Dashboard();
    QObject::connect(&supervisor, &Supervisor::readingProcessed, &server,
                     [&d](const TcapteursInfos& r, const TConditions& c) { d.OnReading(r, c); });
    QObject::connect(&supervisor, &Supervisor::stationLinkChanged, &server,
                     [&d](bool lost) { d.OnLinkState(lost); });
    QObject::connect(&supervisor, &Supervisor::relayChanged, &server, [&d] { d.Tick(); });
    d.OnLinkState(supervisor.StationLinkLost());
}
