#include "DashboardServer.h"

#include <cstdio>

#include "AlpacaServer.h"
#include "HttpServer.h"
#include "Log.h"
#include "Supervisor.h"

TDashboardServer::TDashboardServer(TAlpacaServer& http, const THistoryStore& history,
                                   const TPublishedConditions& published,
                                   std::function<TRelayDisplay()> relay, QObject* parent)
    : QObject(parent), http_(http), dashboard_(history, published, std::move(relay)),
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

bool TDashboardServer::Start(std::string& error) {
    if (!http_.IsListening()) {
        error.clear();
        return false;
    }
    if (!dashboard_.Start(error)) return false;
    keepAlive_.start();
    verdictCheck_.start();
    LogToday("Web dashboard started");
    std::fprintf(stderr, "Web dashboard on %s\n",
                 HttpUrl(http_.Settings().Address, static_cast<unsigned>(http_.Port()), "/").c_str());
    return true;
}

void TDashboardServer::Stop() {
    keepAlive_.stop();
    verdictCheck_.stop();
    dashboard_.Stop();
}

std::unique_ptr<TDashboardServer> MakeDashboardService(Supervisor& supervisor, TAlpacaServer* http) {
    if (!http) return nullptr;
    Supervisor* s = &supervisor;
    auto server = std::make_unique<TDashboardServer>(*http, supervisor.History(), supervisor.Published(),
                                                     [s] { return s->RelayDisplay(); });
    TDashboard& d = server->Dashboard();
    QObject::connect(&supervisor, &Supervisor::relayChanged, server.get(), [&d] { d.Tick(); });
    return server;
}
