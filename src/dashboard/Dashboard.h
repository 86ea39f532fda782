// The web dashboard as a service: it follows the readings and the station link like every publisher,
// shows the one safety verdict published beside the conditions (the Alpaca safety monitor's and the
// MQTT publisher's), answers the page, its files and the JSON paths, and sends the events to the
// browsers that follow them. Plain C++ on the main thread: the HTTP server hands it each request and
// carries its events; a client that stops reading is dropped there, under the server's limits, so
// nothing here grows with a slow browser.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "DashboardJson.h"
#include "PublishedConditions.h"
#include "Service.h"

// One answer, before it goes on the wire.
struct TWebAnswer {
    int Status = 200;
    std::string ContentType = "application/json";
    std::string Body;
    std::vector<std::pair<std::string, std::string>> Headers;
    // The answer opens an event stream: the server keeps the connection and hands its end to
    // Subscribe.
    bool Events = false;
};

// Where the events of one browser go: false once the browser is gone (or was dropped for not reading).
using TEventSink = std::function<bool(std::string_view chunk)>;

// Seconds between two keep-alive comments on an idle event stream.
inline constexpr int EventKeepAliveSeconds = 15;

class TDashboard : public TService {
  public:
    // published: the controller's values and the verdict on them, updated before each call here;
    // relay: the relay panel and its criteria as the window shows them. Both outlive the dashboard.
    TDashboard(const THistoryStore& history, const TPublishedConditions& published,
               std::function<TRelayDisplay()> relay);

    std::string Name() const override { return "Dashboard"; }
    bool Start(std::string& error) override;
    void Stop() override;
    void OnReading(const TcapteursInfos& reading, const TConditions& conditions) override;
    void OnLinkState(bool lost) override;

    // The clock of the verdict and of the ages (default Now()).
    void SetClock(std::function<TDateTime()> clock) { clock_ = std::move(clock); }
    // Looks at the verdict between readings (a reading going stale, the safe delay running out, the
    // relay): a "verdict" event when it changed since the browsers were last told, whoever saw the
    // change first.
    void Tick();
    // A comment line to every browser, every EventKeepAliveSeconds.
    void KeepAlive();

    // The answer for a path of the dashboard, none for a path it does not serve (the next server
    // part answers it). query: decoded (name, value) pairs.
    std::optional<TWebAnswer> Answer(std::string_view method, std::string_view path,
                                     const std::vector<std::pair<std::string, std::string>>& query);
    // A browser that opened /api/events; it gets the latest reading at once.
    void Subscribe(TEventSink sink);
    size_t SubscriberCount() const { return sinks_.size(); }

    const TSafetyMonitor& Verdict() const { return published_.LastVerdict(); }

  private:
    void Broadcast(const std::string& chunk);
    void UpdateVerdict();
    // A "verdict" event when the verdict, its reasons or its `since` differ from what the browsers
    // were last told (a reason can come and go while the verdict stays unsafe: the link lost, a
    // reading going stale).
    void SendVerdictIfMoved();
    std::string Current();

    const THistoryStore& history_;
    const TPublishedConditions& published_;
    std::function<TRelayDisplay()> relay_;
    std::function<TDateTime()> clock_;
    TDashboardState state_;
    std::vector<TEventSink> sinks_;
    bool running_ = false;
    // The verdict the browsers were last told of, by a reading or a verdict event.
    bool told_ = false;
    bool toldSafe_ = false;
    std::vector<TUnsafeReason> toldReasons_;
    TDateTime toldSince_ = 0;
};
