// The web dashboard on the network server's port, beside the controller polling the simulated station
// on a pseudo-terminal: its JSON against infodata.txt of the same reading and against the Alpaca
// safety monitor (the one verdict, the same since), every refusal of /api/history over a real socket,
// and the events of a browser that reads them and of one that does not.
#include <gtest/gtest.h>
#include <map>
#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>
#include <QUrl>
#include <QUrlQuery>

#include "AlpacaServer.h"
#include "ConditionFiles.h"
#include "DashboardServer.h"
#include "SupervisedStation.h"
#include "TestSupport.h"

namespace {

using namespace halvex::sim;

struct Reply {
    int Status = 0;
    QByteArray Head, Body;
    QJsonObject Json() const { return QJsonDocument::fromJson(Body).object(); }
};

// One request on its own connection, read up to its Content-Length.
Reply Fetch(quint16 port, const QByteArray& target, const QByteArray& method = "GET") {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    EXPECT_TRUE(socket.waitForConnected(5000));
    socket.write(method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    QByteArray data;
    Reply r;
    const bool done = WaitUntil([&] {
        data += socket.readAll();
        const int end = data.indexOf("\r\n\r\n");
        if (end < 0) return false;
        r.Head = data.left(end);
        const int at = r.Head.toLower().indexOf("content-length: ");
        const int length = at < 0 ? 0 : r.Head.mid(at + 16).split('\r').front().toInt();
        if (data.size() < end + 4 + length) return false;
        r.Body = data.mid(end + 4, length);
        return true;
    });
    EXPECT_TRUE(done) << target.toStdString();
    r.Status = r.Head.mid(9, 3).toInt();
    return r;
}

QByteArray Query(const QString& path, const std::vector<std::pair<QString, QString>>& items) {
    QUrlQuery q;
    for (const auto& [name, value] : items)
        q.addQueryItem(name, QString(value).replace('+', "%2B"));
    return (path + "?" + q.toString(QUrl::FullyEncoded)).toUtf8();
}

class DashboardServerTest : public SupervisedStationTest {
  protected:
    // The network server and the dashboard as the program runs them: services of the controller,
    // started after its start-up, in that order, reading its one verdict.
    void Start(const char* scenario) {
        StationOptions options;
        options.Scenario = ParseScenario(scenario);
        StartStation(options);
        CreateSupervisor(station_->DevicePath());
        // The safe delay is a setting of the one verdict every service shows.
        DatabaseRegistry().WriteCFGtoRegister(KeyAlpaca, TVariant(0.5), "SafeDelayMin"); // 30 s of model time
        TAlpacaSettings settings;
        settings.Port = 0;
        settings.DiscoveryPort = 0;
        settings.UniqueIDObservingConditions = "6f1c1a52-0000-4000-8000-00000000000a";
        settings.UniqueIDSafetyMonitor = "6f1c1a52-0000-4000-8000-00000000000b";
        auto server = std::make_unique<TAlpacaServer>(supervisor_->Published(), settings);
        server_ = server.get();
        FollowSupervisor(*server_, *supervisor_);
        auto dashboard = MakeDashboardService(*supervisor_, server_);
        dashboard_ = dashboard.get();
        supervisor_->AddService(std::move(server));
        supervisor_->AddService(std::move(dashboard));
        StartAndWait();
        ASSERT_TRUE(server_->IsListening()) << server_->ErrorText().toStdString();
        port_ = server_->Port();
        // Readings only when the test asks.
        SetupInfos.InterValQuickPoolSec = 3600;
        SetupInfos.InterValLightPoolSec = 3600;
    }
    bool AlpacaSaysSafe() {
        const Reply r = Fetch(port_, "/api/v1/safetymonitor/0/issafe");
        return r.Json()["Value"].toBool();
    }

    TAlpacaServer* server_ = nullptr;       // kept by the controller
    TDashboardServer* dashboard_ = nullptr; // kept by the controller
    quint16 port_ = 0;
};

constexpr const char* kClearThenRain =
    "sky=-25@0-1000,rh=50@0-1000,wind=3@0-1000,dir=90@0-1000,mag=19@0-1000,dry@0-1,rain@1-2,dry@2-1000";

TEST_F(DashboardServerTest, CurrentEqualsTheInformationFileAndTheVerdictTheSafetyMonitors) {
    ASSERT_NO_FATAL_FAILURE(Start(kClearThenRain));
    const Reply before = Fetch(port_, "/api/current");
    EXPECT_EQ(before.Status, 503);
    EXPECT_EQ(before.Json()["error"].toString(), "no_reading");
    ASSERT_NO_FATAL_FAILURE(ReadingsUntilConditionsKnown());

    struct Verdict {
        bool Safe = false;
        QStringList Codes;
    };
    const auto check = [this](const char* when, Verdict& out) {
        SCOPED_TRACE(when);
        const Reply r = Fetch(port_, "/api/current");
        ASSERT_EQ(r.Status, 200);
        EXPECT_TRUE(r.Head.contains("X-Content-Type-Options: nosniff"));
        const QJsonObject current = r.Json();
        const QJsonObject values = current["values"].toObject();
        const auto info = InfoDataNumbers();
        const std::pair<const char*, const char*> same[] = {
            {"ambient", "TempExt (°C)"},
            {"humidity", "Humidity (%RH)"},
            {"dew_point", "DewPoint (°C)"},
            {"sky", "TempSkyIR   (°C)"},
            {"rain_sensor", "TempRainSensor (°C)"},
            {"ir_detector", "TempDetectorIR (°C)"},
            {"wind_gust", "WindSpeedGust (km/h)"},
            {"wind_direction", "WinDirection (°)"},
            {"heater", "PowerDry (%)"},
            {"supply", "PowerIn (V)"},
            {"light_level", "LighLevel (Log a.u)"},
            {"magnitude", "LighLevel (Mag/sec²)"},
            {"rain", "RainFall"},
        };
        for (const auto& [key, line] : same) {
            SCOPED_TRACE(key);
            ASSERT_TRUE(info.count(line));
            const QJsonValue v = values[key].toObject()["value"];
            ASSERT_TRUE(v.isDouble() || v.isBool())
                << QJsonDocument(values[key].toObject()).toJson().toStdString();
            EXPECT_EQ(v.isBool() ? double(v.toBool()) : v.toDouble(),
                      info.at(line)); // the same text, the same number
        }
        const QJsonObject verdict = current["verdict"].toObject();
        EXPECT_EQ(verdict["safe"].toBool(), AlpacaSaysSafe());
        EXPECT_EQ(verdict["safe"].toBool(), server_->Safety().IsSafe());
        EXPECT_EQ(verdict["since"].toString().toStdString(), IsoUtcText(server_->Safety().Since()));
        QStringList codes;
        for (const QJsonValue reason : verdict["reasons"].toArray())
            codes << reason.toObject()["code"].toString();
        out = {verdict["safe"].toBool(), codes};
    };
    // Clear: waiting for the safe delay, then safe.
    Verdict waiting, over, rain;
    ASSERT_NO_FATAL_FAILURE(check("clear, delay running", waiting));
    EXPECT_EQ(waiting.Codes, QStringList{"safe_delay_running"});
    Advance(31);
    ASSERT_NO_FATAL_FAILURE(WeatherReadings(1));
    ASSERT_NO_FATAL_FAILURE(check("clear, delay over", over));
    EXPECT_TRUE(over.Safe);
    // The shower of the second minute.
    Advance(20);
    ASSERT_NO_FATAL_FAILURE(WeatherReadings(1));
    ASSERT_NO_FATAL_FAILURE(check("rain", rain));
    EXPECT_FALSE(rain.Safe);
    EXPECT_TRUE(rain.Codes.contains("rain")) << rain.Codes.join(",").toStdString();
    // States as codes and texts, the relay and its criteria.
    const QJsonObject current = Fetch(port_, "/api/current").Json();
    EXPECT_EQ(current["states"].toObject()["rain"].toObject()["code"].toInt(), 1);
    EXPECT_EQ(current["states"].toObject()["sky"].toObject()["code"].toInt(), 1);
    EXPECT_FALSE(current["states"].toObject()["sky"].toObject()["text"].toString().isEmpty());
    EXPECT_EQ(current["relay"].toObject()["criteria"].toArray().size(), 6);
    EXPECT_FALSE(current["link_lost"].toBool());
}

TEST_F(DashboardServerTest, HistoryRefusesEveryBadQueryAndColumnsHoldTheRecords) {
    ASSERT_NO_FATAL_FAILURE(Start(kClearThenRain));
    ASSERT_NO_FATAL_FAILURE(WeatherReadings(SetupInfos.UnderSampleDataFactor * 6));
    const struct {
        std::vector<std::pair<QString, QString>> Items;
        const char* Error;
    } refusals[] = {
        {{}, "missing_quantity"},
        {{{"quantity", "pressure"}}, "unknown_quantity"},
        {{{"quantity", "sky"}, {"from", "yesterday"}}, "bad_from"},
        {{{"quantity", "sky"}, {"to", "2026-12-09T12:00:00"}}, "bad_to"},
        {{{"quantity", "sky"}, {"from", "2026-12-09T12:00:00Z"}, {"to", "2026-12-09T11:00:00Z"}},
         "empty_range"},
        {{{"quantity", "sky"}, {"from", "9999-01-01T00:00:00Z"}}, "empty_range"}, // after the default `to`
        {{{"quantity", "sky"}, {"columns", "4001"}}, "bad_columns"},
        {{{"quantity", "sky"}, {"columns", "0"}}, "bad_columns"},
        {{{"quantity", "sky"}, {"limit", "5"}}, "unknown_parameter"},
    };
    for (const auto& r : refusals) {
        SCOPED_TRACE(r.Error);
        const Reply reply = Fetch(port_, Query("/api/history", r.Items));
        EXPECT_EQ(reply.Status, 400);
        EXPECT_EQ(reply.Json()["error"].toString(), r.Error);
        EXPECT_FALSE(reply.Json()["reason"].toString().isEmpty());
    }
    // Bytes that are no UTF-8 in a refused parameter: the reason quotes them, and is still JSON.
    for (const char* target : {"/api/history?quantity=%FF%FE", "/api/history?%C0%AF=1",
                               "/api/history?quantity=sky&from=%E9t%E9"}) {
        SCOPED_TRACE(target);
        const Reply reply = Fetch(port_, target);
        EXPECT_EQ(reply.Status, 400);
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(reply.Body, &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << reply.Body.toStdString();
        EXPECT_TRUE(document["reason"].toString().contains(QChar(0xFFFD)));
    }
    // Every record of the history in one column: its minimum and maximum, found by a plain loop.
    const TTDataStation& records = supervisor_->History().Records();
    ASSERT_GT(records.size(), 2u);
    double low = 1e9, high = -1e9;
    for (const TcapteursInfos& rec : records) {
        low = std::min<double>(low, rec.ValueSkyDeg);
        high = std::max<double>(high, rec.ValueSkyDeg);
    }
    const Reply all = Fetch(port_, Query("/api/history", {{"quantity", "sky"}, {"columns", "1"}}));
    ASSERT_EQ(all.Status, 200) << all.Body.toStdString();
    const QJsonObject json = all.Json();
    EXPECT_EQ(json["count"].toInt(), static_cast<int>(records.size()));
    EXPECT_FLOAT_EQ(json["min"].toArray()[0].toDouble(), low);
    EXPECT_FLOAT_EQ(json["max"].toArray()[0].toDouble(), high);
    EXPECT_EQ(json["t"].toArray().size(), 1);
    const Reply wide = Fetch(port_, Query("/api/history", {{"quantity", "humidity"}}));
    EXPECT_EQ(wide.Json()["min"].toArray().size(), HistoryColumnsDefault);
}

TEST_F(DashboardServerTest, EventsReachABrowserThatReadsAndOneThatDoesNotIsDropped) {
    ASSERT_NO_FATAL_FAILURE(Start(kClearThenRain));
    ASSERT_NO_FATAL_FAILURE(WeatherReadings(1));
    QTcpSocket reader;
    reader.connectToHost(QHostAddress::LocalHost, port_);
    ASSERT_TRUE(reader.waitForConnected(5000));
    reader.write("GET /api/events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    QByteArray seen;
    ASSERT_TRUE(WaitUntil([&] { return (seen += reader.readAll()).contains("event: reading"); }));
    EXPECT_TRUE(seen.startsWith("HTTP/1.1 200 OK\r\n"));
    EXPECT_TRUE(seen.contains("Content-Type: text/event-stream"));
    seen.clear();
    ASSERT_NO_FATAL_FAILURE(WeatherReadings(1));
    ASSERT_TRUE(WaitUntil([&] { return (seen += reader.readAll()).contains("event: reading"); }));

    // A browser that never reads, with a small receive buffer: once its backlog passes the limit it is
    // dropped, and the server's memory never holds more than that for it.
    QTcpSocket stuck;
    stuck.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4096);
    stuck.setReadBufferSize(1);
    stuck.connectToHost(QHostAddress::LocalHost, port_);
    ASSERT_TRUE(stuck.waitForConnected(5000));
    stuck.write("GET /api/events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    ASSERT_TRUE(WaitUntil([&] { return dashboard_->Dashboard().SubscriberCount() == 2; }));
    TcapteursInfos reading{};
    reading.DateSysteme = Now();
    for (int i = 0; i < 20000 && dashboard_->Dashboard().SubscriberCount() == 2; ++i) {
        reading.DateSysteme += 1.0 / 86400;
        dashboard_->Dashboard().OnReading(reading, supervisor_->Conditions());
        if (i % 5 == 0) {
            QCoreApplication::processEvents();
            seen = reader.readAll(); // the reading browser keeps up
        }
    }
    EXPECT_EQ(dashboard_->Dashboard().SubscriberCount(), 1u);
    dashboard_->Dashboard().KeepAlive();
    ASSERT_TRUE(WaitUntil([&] { return (seen += reader.readAll()).contains(": keep-alive"); }));
}

TEST_F(DashboardServerTest, HeadGetsTheHeadOfEachAnswerWithoutItsBodyAndNoEvents) {
    ASSERT_NO_FATAL_FAILURE(Start(kClearThenRain));
    ASSERT_NO_FATAL_FAILURE(WeatherReadings(1));
    // Several HEAD requests and a GET on one kept connection: each reply must start right after the
    // previous head, or the client reads a body as the next reply.
    const QByteArray targets[] = {"/", "/api/current", "/api/history?quantity=sky", "/static/dashboard.js"};
    QByteArray requests;
    for (const QByteArray& target : targets)
        requests += "HEAD " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    requests += "GET /api/current HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port_);
    ASSERT_TRUE(socket.waitForConnected(5000));
    socket.write(requests);
    QByteArray wire;
    ASSERT_TRUE(WaitUntil([&] {
        wire += socket.readAll();
        return socket.state() == QAbstractSocket::UnconnectedState;
    }));
    wire += socket.readAll();
    qsizetype at = 0;
    for (const QByteArray& target : targets) {
        SCOPED_TRACE(target.toStdString());
        ASSERT_TRUE(wire.mid(at).startsWith("HTTP/1.1 200 OK\r\n")) << wire.mid(at, 80).toStdString();
        const qsizetype end = wire.indexOf("\r\n\r\n", at);
        ASSERT_GT(end, at);
        EXPECT_TRUE(wire.mid(at, end - at).contains("Content-Length: ")); // the length GET would get
        at = end + 4;
    }
    ASSERT_TRUE(wire.mid(at).startsWith("HTTP/1.1 200 OK\r\n")) << wire.mid(at, 80).toStdString();
    const qsizetype bodyAt = wire.indexOf("\r\n\r\n", at) + 4;
    EXPECT_TRUE(QJsonDocument::fromJson(wire.mid(bodyAt)).isObject()) << wire.mid(bodyAt, 80).toStdString();

    // HEAD on the events: the head of the stream, then the connection ends; no browser subscribed.
    QTcpSocket events;
    events.connectToHost(QHostAddress::LocalHost, port_);
    ASSERT_TRUE(events.waitForConnected(5000));
    events.write("HEAD /api/events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    QByteArray head;
    ASSERT_TRUE(WaitUntil([&] {
        head += events.readAll();
        return events.state() == QAbstractSocket::UnconnectedState;
    }));
    head += events.readAll();
    EXPECT_TRUE(head.startsWith("HTTP/1.1 200 OK\r\n"));
    EXPECT_TRUE(head.contains("Content-Type: text/event-stream"));
    EXPECT_TRUE(head.endsWith("\r\n\r\n")) << head.toStdString();
    EXPECT_EQ(dashboard_->Dashboard().SubscriberCount(), 0u);
}

TEST_F(DashboardServerTest, AVerdictEventFollowsEachChangeOfItsReasonsAndAFlipFirstSeenByAnAnswer) {
    ASSERT_NO_FATAL_FAILURE(Start(kClearThenRain));
    ASSERT_NO_FATAL_FAILURE(ReadingsUntilConditionsKnown());
    QTcpSocket reader;
    reader.connectToHost(QHostAddress::LocalHost, port_);
    ASSERT_TRUE(reader.waitForConnected(5000));
    reader.write("GET /api/events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    QByteArray seen;
    ASSERT_TRUE(WaitUntil([&] { return (seen += reader.readAll()).contains("event: reading"); }));
    // The data line of the next verdict event.
    const auto nextVerdict = [&]() -> QByteArray {
        seen.clear();
        QByteArray line;
        WaitUntil([&] {
            seen += reader.readAll();
            const qsizetype at = seen.indexOf("event: verdict\ndata: ");
            const qsizetype end = at < 0 ? -1 : seen.indexOf('\n', at + 21);
            if (end < 0) return false;
            line = seen.mid(at + 21, end - at - 21);
            return true;
        });
        return line;
    };
    // Unsafe while the safe delay runs; the link lost and found again leaves it unsafe, but its
    // reasons change, and the page shows them.
    TDashboard& dashboard = dashboard_->Dashboard();
    emit supervisor_->stationLinkChanged(true); // as the link healing reports it
    EXPECT_TRUE(nextVerdict().contains("\"code\":\"link_lost\""));
    emit supervisor_->stationLinkChanged(false);
    const QByteArray found = nextVerdict();
    EXPECT_FALSE(found.contains("link_lost")) << found.toStdString();
    EXPECT_TRUE(found.contains("safe_delay_running")) << found.toStdString();
    // The delay runs out and a client asks first: the browsers still hear of it at the next check.
    Advance(31);
    ASSERT_TRUE(Fetch(port_, "/api/current").Json()["verdict"].toObject()["safe"].toBool());
    dashboard.Tick();
    EXPECT_TRUE(nextVerdict().contains("\"safe\":true"));
}

} // namespace
