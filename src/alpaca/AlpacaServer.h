// The network face of the monitor for observatory programs on other computers: an ASCOM Alpaca
// server (ObservingConditions and SafetyMonitor device 0, the management API, UDP discovery and
// read-only set-up pages) and the two INDI feeds (Weather Watcher text, Weather Safety Proxy JSON),
// all on one HTTP port. It lives on the main thread: it follows each processed reading and reads the
// published values there, so nothing is shared with the station threads. Clients never drive the
// station, except `refresh`, which asks the controller for a reading.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QTimer>

#include "Conditions.h"
#include "DateTime.h"
#include "PublishedConditions.h"
#include "Records.h"
#include "SafetyVerdict.h"
#include "Service.h"
#include "SettingsTable.h"

class QUdpSocket;
class THttpServer;
struct THttpRequest;
class Supervisor;

// One answer of the server, before it goes on the wire.
struct TAlpacaAnswer {
    int Status = 200;
    QByteArray ContentType = "application/json";
    QByteArray Body;
};

class TAlpacaServer : public QObject, public TService {
    Q_OBJECT
  public:
    // published: the controller's values (thresholds, relay state); it must outlive the server and
    // is read on this thread only.
    TAlpacaServer(const TPublishedConditions& published, TAlpacaSettings settings, QObject* parent = nullptr);
    ~TAlpacaServer() override;
    TAlpacaServer(const TAlpacaServer&) = delete;
    TAlpacaServer& operator=(const TAlpacaServer&) = delete;

    // Listens on the settings' address and port (0: any free port) and answers discovery on the
    // discovery port (0: none). False when the HTTP port cannot be opened: ErrorText() says why, in
    // the user's words; the caller shows it and the program runs on without the server. A discovery
    // port that cannot be opened is logged only.
    bool Start();
    void Stop() override;
    // As a service of the controller: the same start, its failure text in `error`, and on success
    // the address on standard error.
    std::string Name() const override { return "HTTP"; }
    bool Start(std::string& error) override;
    bool IsListening() const;
    QString ErrorText() const { return error_; }
    quint16 Port() const;
    quint16 DiscoveryPort() const;
    const TAlpacaSettings& Settings() const { return settings_; }

    // The clock of the verdict and the data ages (default Now()), and how often the verdict is looked
    // at between readings (a reading going stale is noticed within that time). The verdict itself is
    // the one published beside the conditions, shared with every other service.
    void SetClock(std::function<TDateTime()> clock) { clock_ = std::move(clock); }
    void SetVerdictCheckMs(int ms) { verdictTimer_.setInterval(ms); }

    // ---- What the server follows ----
    void OnReading(const TcapteursInfos& reading, const TConditions& conditions) override;
    // A light reading came in; the next weather reading carries its level.
    void OnLightReading() { lightReadAt_ = clock_(); }
    void OnLinkState(bool lost) override;
    // Re-evaluates the verdict now (also done before every answer).
    void UpdateVerdict();
    const TSafetyMonitor& Safety() const { return published_.LastVerdict(); }

    // The answer to one request, without a socket (the HTTP server's last handler).
    TAlpacaAnswer Answer(const THttpRequest& request);
    // The HTTP server of the port, for other services that serve their own paths on it (their
    // handlers go first), and for its limits (set them before Start).
    THttpServer& Http() { return *http_; }

    // A client's refresh within this time of the latest reading (or of the previous refresh, while
    // its reading has not come) is answered without a new reading.
    static constexpr double RefreshIntervalSec = 10;

  signals:
    // A client asked for a weather reading now (at most one per RefreshIntervalSec).
    void refreshRequested();
    void verdictChanged(bool safe);

  private:
    struct TParams;
    enum class TDevice { ObservingConditions, SafetyMonitor };

    TAlpacaAnswer DeviceAnswer(const QString& method, const QStringList& parts, const TParams& params);
    TAlpacaAnswer ManagementAnswer(const QStringList& parts, const TParams& params);
    TAlpacaAnswer SetupPage(const QString& title);
    TAlpacaAnswer WeatherWatcherFeed();
    TAlpacaAnswer SafetyProxyFeed();
    QByteArray Reply(const TParams& params, const struct TMemberResult& result);
    struct TMemberResult CommonMember(TDevice device, const QString& member, bool put, const TParams& params,
                                      bool& known);
    struct TMemberResult ObservingConditionsMember(const QString& member, bool put, const TParams& params,
                                                   bool& known);
    struct TMemberResult SensorValue(const QString& sensor);
    struct TMemberResult SensorAge(const QString& sensor);
    struct TMemberResult SensorDescription(const QString& sensor);
    double CloudCover() const;
    uint32_t NextServerTransaction();
    void OnDiscoveryDatagram();
    bool RefreshDue() const;
    bool OpenDiscovery();

    const TPublishedConditions& published_;
    const TAutomationValues& values_;
    TAlpacaSettings settings_;
    std::function<TDateTime()> clock_;
    QString error_;
    std::unique_ptr<THttpServer> http_;
    QUdpSocket* discovery_ = nullptr; // child
    QTimer verdictTimer_;
    uint32_t serverTransaction_ = 0;
    bool connected_[2] = {false, false};

    // The latest reading, as the controller handed it over.
    bool hasReading_ = false;
    TcapteursInfos reading_{};
    TConditions conditions_;
    bool windSeen_ = false; // a gust anemometer has answered since the start
    double gustMs_ = 0, gustDir_ = 0;
    TDateTime windDate_ = 0;
    bool lightSeen_ = false;
    double magnitude_ = 0;
    TDateTime lightDate_ = 0, lightReadAt_ = 0;
    TDateTime refreshAskedAt_ = 0; // a client's refresh asked for a reading that has not come yet
    bool announcedSafe_ = false;
    bool announced_ = false;
};

// Connects the server to what the controller tells beyond the service seam: the light readings
// (the age of the sky brightness), the relay (the verdict), and the clients' refresh.
void FollowSupervisor(TAlpacaServer& server, Supervisor& supervisor);
// The server of the settings ("\\Alpaca", the endpoint given on the command line, if any) as a
// service that follows the controller; none when the settings disable it.
std::unique_ptr<TAlpacaServer> MakeAlpacaService(Supervisor& supervisor, const std::string& endpoint);

// "127.0.0.1:11111", "[::1]:11111" or "0.0.0.0:8080" into the settings; false with a reason.
bool ParseAlpacaEndpoint(const std::string& text, TAlpacaSettings& settings, std::string& error);
