// The Alpaca server as network clients see it: an independent Python client (http.client, a UDP
// socket) against the server, in this process beside the controller polling the simulated station
// over a real pseudo-terminal, and against the real program started with --alpaca.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <map>
#include <netinet/in.h>
#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUdpSocket>
#include <set>
#include <sstream>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include "AlpacaServer.h"
#include "ConditionFiles.h"
#include "DatabaseRegistry.h"
#include "HalvexStation.h"
#include "Log.h"
#include "SupervisedStation.h"
#include "WeatherModel.h"

namespace {

using namespace halvex::sim;

constexpr int NotImplemented = 0x400, InvalidValue = 0x401, ValueNotSet = 0x402;

struct Request {
    QString Method = "GET";
    QString Path;
    QJsonObject Query = {};
    QJsonObject Form = {};
    bool HasForm = false;
};
Request Get(const QString& path, QJsonObject query = {}) {
    return {"GET", path, std::move(query)};
}
Request Put(const QString& path, QJsonObject form = {}) {
    return {"PUT", path, {}, std::move(form), true};
}
QString Oc(const QString& member) {
    return "/api/v1/observingconditions/0/" + member;
}
QString Sm(const QString& member) {
    return "/api/v1/safetymonitor/0/" + member;
}

// The client's JSON output; the event loop runs meanwhile, so the server answers.
QJsonValue RunClient(const QStringList& arguments, const QByteArray& input = {}) {
    QProcess client;
    client.start("python3", QStringList{ALPACA_CLIENT_SCRIPT} + arguments);
    if (!client.waitForStarted(10000)) return {};
    client.write(input);
    client.closeWriteChannel();
    if (!WaitUntil([&] { return client.state() == QProcess::NotRunning; }, 60000)) {
        client.kill();
        client.waitForFinished();
    }
    const QByteArray out = client.readAllStandardOutput();
    EXPECT_EQ(client.exitCode(), 0) << client.readAllStandardError().toStdString();
    return QJsonDocument::fromJson(out).isArray() ? QJsonValue(QJsonDocument::fromJson(out).array())
                                                  : QJsonValue(QJsonDocument::fromJson(out).object());
}

QJsonArray Ask(quint16 port, const std::vector<Request>& requests) {
    QJsonArray list;
    for (const Request& r : requests) {
        QJsonObject o{{"method", r.Method}, {"path", r.Path}, {"query", r.Query}};
        if (r.HasForm) o["form"] = r.Form;
        list.append(o);
    }
    return RunClient({"http", QString::number(port)}, QJsonDocument(list).toJson()).toArray();
}
QJsonObject AskOne(quint16 port, const Request& request) {
    return Ask(port, {request}).at(0).toObject();
}
QJsonValue ValueOf(quint16 port, const Request& request) {
    return AskOne(port, request)["json"].toObject()["Value"];
}

quint16 FreeUdpPort() {
    QUdpSocket probe;
    probe.bind(QHostAddress::LocalHost, 0);
    return probe.localPort();
}

TAlpacaSettings LoopbackSettings() {
    TAlpacaSettings s;
    s.Port = 0; // any free port: tests run side by side
    s.DiscoveryPort = 0;
    s.UniqueIDObservingConditions = "6f1c1a52-0000-4000-8000-00000000000a";
    s.UniqueIDSafetyMonitor = "6f1c1a52-0000-4000-8000-00000000000b";
    return s;
}

class AlpacaTest : public SupervisedStationTest {
  protected:
    void TearDown() override {
        server_.reset();
        SupervisedStationTest::TearDown();
    }
    void StartServer(const TPublishedConditions& published, TAlpacaSettings settings = LoopbackSettings()) {
        server_ = std::make_unique<TAlpacaServer>(published, settings);
        ASSERT_TRUE(server_->Start()) << server_->ErrorText().toStdString();
        port_ = server_->Port();
    }

    std::unique_ptr<TAlpacaServer> server_;
    quint16 port_ = 0;
};

// ---- The protocol, before any reading --------------------------------------------------------

TEST_F(AlpacaTest, AnswersEveryCommonMemberAndRefusesBadRequests) {
    TPublishedConditions published(Now());
    ASSERT_NO_FATAL_FAILURE(StartServer(published));

    struct Case {
        Request Ask;
        int Status;
        QJsonValue Value = QJsonValue::Undefined; // Undefined: no Value member expected
        int Error = 0;
    };
    const std::vector<Case> cases = {
        {Get(Oc("name")), 200, "Orvanel Halvex ObservingConditions"},
        {Get(Sm("name")), 200, "Orvanel Halvex SafetyMonitor"},
        {Get(Oc("interfaceversion")), 200, 2},
        {Get(Sm("interfaceversion")), 200, 3},
        {Get(Oc("driverversion")), 200, "0.1.0"},
        {Get(Sm("supportedactions")), 200, QJsonArray{}},
        {Get(Oc("connecting")), 200, false},
        {Get(Oc("connected")), 200, false},
        {Put(Oc("connected"), {{"Connected", "True"}}), 200},
        {Get(Oc("connected")), 200, true},
        {Put(Oc("disconnect")), 200},
        {Get(Oc("connected")), 200, false},
        {Put(Sm("connect")), 200},
        {Get(Sm("connected")), 200, true},
        {Put(Sm("action"), {{"Action", "x"}, {"Parameters", ""}}), 200, QJsonValue::Undefined,
         NotImplemented},
        {Put(Oc("commandblind"), {{"Command", "x"}, {"Raw", "false"}}), 200, QJsonValue::Undefined,
         NotImplemented},
        {Put(Oc("commandbool"), {{"Command", "x"}, {"Raw", "false"}}), 200, QJsonValue::Undefined,
         NotImplemented},
        {Put(Sm("commandstring"), {{"Command", "x"}, {"Raw", "false"}}), 200, QJsonValue::Undefined,
         NotImplemented},
        // Values need no connection, and none exists before the first reading.
        {Get(Sm("issafe")), 200, false},
        {Get(Oc("temperature")), 200, QJsonValue::Undefined, ValueNotSet},
        {Get(Oc("skyquality")), 200, QJsonValue::Undefined, ValueNotSet},
        {Get(Oc("timesincelastupdate"), {{"SensorName", ""}}), 200, QJsonValue::Undefined, ValueNotSet},
        // What the station does not measure.
        {Get(Oc("pressure")), 200, QJsonValue::Undefined, NotImplemented},
        {Get(Oc("skybrightness")), 200, QJsonValue::Undefined, NotImplemented},
        {Get(Oc("starfwhm")), 200, QJsonValue::Undefined, NotImplemented},
        {Get(Oc("windspeed")), 200, QJsonValue::Undefined, NotImplemented},
        {Get(Oc("sensordescription"), {{"SensorName", "WindSpeed"}}), 200, QJsonValue::Undefined,
         NotImplemented},
        {Get(Oc("timesincelastupdate"), {{"sensorname", "Pressure"}}), 200, QJsonValue::Undefined,
         NotImplemented},
        {Get(Oc("sensordescription"), {{"SensorName", "Seeing"}}), 200, QJsonValue::Undefined, InvalidValue},
        {Get(Oc("sensordescription"), {{"SensorName", "humidity"}}), 200,
         "Halvex relative humidity sensor (%)"},
        {Get(Oc("averageperiod")), 200, 0.0},
        {Put(Oc("averageperiod"), {{"AveragePeriod", "0"}}), 200},
        {Put(Oc("averageperiod"), {{"averageperiod", "1.5"}}), 200, QJsonValue::Undefined, InvalidValue},
        // Malformed requests: HTTP 400 with a reason.
        {Put(Oc("averageperiod"), {{"AveragePeriod", "soon"}}), 400},
        {Put(Oc("averageperiod")), 400},
        {Put(Oc("connected"), {{"Connected", "yes"}}), 400},
        {Put(Oc("connected")), 400},
        {Get(Oc("sensordescription")), 400},
        {Get("/api/v1/observingconditions/1/name"), 400},
        {Get("/api/v1/safetymonitor/one/name"), 400},
        {Get("/api/v1/ObservingConditions/0/name"), 400},
        {Get("/api/v1/telescope/0/name"), 400},
        {Get("/api/v2/safetymonitor/0/name"), 400},
        {Get(Oc("bogus")), 400},
        {Get(Oc("refresh")), 400},
        {Put(Oc("temperature")), 400},
        {Put(Sm("issafe")), 400},
        {Get(Sm("temperature")), 400},
        {Get("/nothing/here"), 400},
    };
    std::vector<Request> requests;
    for (const Case& c : cases)
        requests.push_back(c.Ask);
    const QJsonArray answers = Ask(port_, requests);
    ASSERT_EQ(answers.size(), static_cast<qsizetype>(cases.size()));
    int expectedServerId = 0;
    for (size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        const QJsonObject a = answers.at(static_cast<qsizetype>(i)).toObject();
        SCOPED_TRACE(c.Ask.Method.toStdString() + " " + c.Ask.Path.toStdString() + " -> " +
                     a["body"].toString().toStdString());
        ASSERT_EQ(a["status"].toInt(), c.Status);
        if (c.Status == 400) {
            EXPECT_TRUE(a["content_type"].toString().startsWith("text/plain"));
            EXPECT_FALSE(a["body"].toString().isEmpty());
            continue;
        }
        EXPECT_EQ(a["content_type"].toString(), "application/json");
        const QJsonObject json = a["json"].toObject();
        EXPECT_EQ(json["ErrorNumber"].toInt(), c.Error);
        EXPECT_EQ(json["ErrorMessage"].toString().isEmpty(), c.Error == 0);
        EXPECT_EQ(json["Value"], c.Value);
        EXPECT_EQ(json["ClientTransactionID"].toInt(), 0);
        EXPECT_EQ(json["ServerTransactionID"].toInt(), ++expectedServerId); // from 1, one per answer
    }
}

TEST_F(AlpacaTest, EchoesTransactionsAndServesManagementSetupAndFeeds) {
    TPublishedConditions published(Now());
    ASSERT_NO_FATAL_FAILURE(StartServer(published));
    const QJsonArray a =
        Ask(port_, {
                       Get(Sm("issafe"), {{"ClientID", "4"}, {"ClientTransactionID", "17"}}),
                       Get(Sm("issafe"), {{"clienttransactionid", "18"}}),
                       Put(Oc("connected"), {{"CLIENTTRANSACTIONID", "19"}, {"connected", "false"}}),
                       Get(Sm("issafe"), {{"ClientTransactionID", "-3"}}),
                       Get(Sm("issafe"), {{"ClientTransactionID", "4294967295"}}),
                       Get("/management/apiversions", {{"ClientTransactionID", "20"}}),
                       Get("/management/v1/description"),
                       Get("/management/v1/configureddevices"),
                       Get("/setup"),
                       Get("/setup/v1/safetymonitor/0/setup"),
                       Get("/setup/v1/observingconditions/0/setup"),
                       Get("/weather/safety"),
                       Get("/indi/weatherwatcher.txt"),
                   });
    auto json = [&](int i) { return a.at(i).toObject()["json"].toObject(); };
    EXPECT_EQ(json(0)["ClientTransactionID"].toInt(), 17);
    EXPECT_EQ(json(1)["ClientTransactionID"].toInt(), 18);
    EXPECT_EQ(json(2)["ClientTransactionID"].toInt(), 19);
    EXPECT_EQ(json(2)["ErrorNumber"].toInt(), 0);
    EXPECT_EQ(json(3)["ClientTransactionID"].toInt(), 0);
    EXPECT_EQ(json(4)["ClientTransactionID"].toInteger(), 4294967295LL);
    EXPECT_EQ(json(5)["Value"], QJsonArray{1});
    EXPECT_EQ(json(5)["ClientTransactionID"].toInt(), 20);
    EXPECT_EQ(json(5)["ServerTransactionID"].toInt(), 6);
    EXPECT_EQ(json(6)["Value"].toObject()["ServerName"].toString(), "Orvanel");
    const QJsonArray devices = json(7)["Value"].toArray();
    ASSERT_EQ(devices.size(), 2);
    EXPECT_EQ(devices[0].toObject()["DeviceType"].toString(), "ObservingConditions");
    EXPECT_EQ(devices[0].toObject()["DeviceNumber"].toInt(), 0);
    EXPECT_EQ(devices[0].toObject()["UniqueID"].toString(), "6f1c1a52-0000-4000-8000-00000000000a");
    EXPECT_EQ(devices[1].toObject()["DeviceType"].toString(), "SafetyMonitor");
    EXPECT_EQ(devices[1].toObject()["UniqueID"].toString(), "6f1c1a52-0000-4000-8000-00000000000b");
    for (int i : {8, 9, 10}) {
        EXPECT_EQ(a.at(i).toObject()["status"].toInt(), 200);
        EXPECT_TRUE(a.at(i).toObject()["content_type"].toString().startsWith("text/html"));
        const QString page = a.at(i).toObject()["body"].toString();
        EXPECT_TRUE(page.contains("Non sûr")) << page.toStdString();
        EXPECT_TRUE(page.contains("aucune mesure météo reçue"));
        // The settings file is named, but not where the user's home is.
        EXPECT_TRUE(page.contains("~/.config/Orvanel/registry.ini")) << page.toStdString();
        EXPECT_FALSE(page.contains(QString::fromStdString(Root()))) << page.toStdString();
        EXPECT_EQ(a.at(i).toObject()["nosniff"].toString(), "nosniff");
    }
    EXPECT_EQ(a.at(11).toObject()["body"].toString(),
              R"({"roof_status":{"open_ok":0,"reasons":"aucune mesure météo reçue"}})");
    EXPECT_EQ(a.at(12).toObject()["status"].toInt(), 503);
}

// What one connection gets back for one request, up to the server's close.
QByteArray Exchange(quint16 port, const QByteArray& method, const QByteArray& target) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(5000)) return {};
    socket.write(method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
    QByteArray wire;
    WaitUntil([&] {
        wire += socket.readAll();
        return socket.state() == QAbstractSocket::UnconnectedState;
    });
    return wire + socket.readAll();
}

TEST_F(AlpacaTest, HeadGetsTheHeadOfTheGetAnswerOnEveryPath) {
    TPublishedConditions published(Now());
    ASSERT_NO_FATAL_FAILURE(StartServer(published));
    // A device member first: its body holds the server's transaction number, the same width while
    // it stays under ten.
    for (const QByteArray target : {"/api/v1/safetymonitor/0/issafe", "/management/apiversions", "/",
                                    "/setup", "/setup/v1/observingconditions/0/setup", "/weather/safety",
                                    "/indi/weatherwatcher.txt", "/no/such/path"}) {
        SCOPED_TRACE(target.toStdString());
        const QByteArray get = Exchange(port_, "GET", target);
        const QByteArray head = Exchange(port_, "HEAD", target);
        const qsizetype end = get.indexOf("\r\n\r\n");
        ASSERT_GT(end, 0) << get.toStdString();
        EXPECT_EQ(head.toStdString(), get.left(end + 4).toStdString());
    }
    // Other methods are still refused.
    EXPECT_TRUE(Exchange(port_, "DELETE", "/setup").contains("Only GET and PUT are served"));
}

// ---- Against the controller polling the simulated station ----------------------------------------

TEST_F(AlpacaTest, ValuesAreTheReadingsOfTheStationAndTheVerdictFollowsTheWeather) {
    StartStation(ClearDarkWithAShower());
    CreateSupervisor(station_->DevicePath());
    // The safe delay is a setting of the one verdict every service shows.
    DatabaseRegistry().WriteCFGtoRegister(KeyAlpaca, TVariant(0.5), "SafeDelayMin"); // 30 s of model time
    // The server as the program runs it: a service of the controller, started after its start-up.
    auto service = std::make_unique<TAlpacaServer>(supervisor_->Published(), LoopbackSettings());
    TAlpacaServer* server = service.get();
    FollowSupervisor(*server, *supervisor_);
    supervisor_->AddService(std::move(service));
    StartAndWait();
    ASSERT_EQ(startup_, 1);
    ASSERT_TRUE(server->IsListening());
    port_ = server->Port();
    // Readings only when the test asks: the real one-second timer must not reach an interval while
    // the clients are served.
    SetupInfos.InterValQuickPoolSec = 3600;
    SetupInfos.InterValLightPoolSec = 3600;
    ASSERT_NO_FATAL_FAILURE(ReadingsUntilConditionsKnown());
    ASSERT_TRUE(supervisor_->Conditions().LightValid);

    // The values of the information file for the same reading.
    const auto info = InfoDataNumbers();
    const std::vector<std::pair<const char*, const char*>> same = {
        {"temperature", "TempExt (°C)"},       {"humidity", "Humidity (%RH)"},
        {"dewpoint", "DewPoint (°C)"},         {"skytemperature", "TempSkyIR   (°C)"},
        {"winddirection", "WinDirection (°)"}, {"skyquality", "LighLevel (Mag/sec²)"},
    };
    std::vector<Request> reads;
    for (const auto& [member, key] : same)
        reads.push_back(Get(Oc(member)));
    reads.push_back(Get(Oc("windgust")));
    reads.push_back(Get(Oc("rainrate")));
    reads.push_back(Get(Oc("cloudcover")));
    reads.push_back(Get(Oc("timesincelastupdate"), {{"SensorName", ""}}));
    reads.push_back(Get(Oc("timesincelastupdate"), {{"SensorName", "SkyQuality"}}));
    reads.push_back(Get(Oc("devicestate")));
    reads.push_back(Get(Sm("issafe")));
    const QJsonArray a = Ask(port_, reads);
    auto value = [&](int i) -> QJsonValue { return a.at(i).toObject()["json"].toObject()["Value"]; };
    for (size_t i = 0; i < same.size(); ++i) {
        SCOPED_TRACE(same[i].first);
        ASSERT_TRUE(info.count(same[i].second));
        ASSERT_TRUE(value(int(i)).isDouble());
        // The file rounds the direction to the degree, the rest to 0.01.
        const double tolerance = std::string(same[i].first) == "winddirection" ? 0.5 : 0.006;
        EXPECT_NEAR(value(int(i)).toDouble(), info.at(same[i].second), tolerance);
    }
    const int n = int(same.size());
    EXPECT_NEAR(value(n).toDouble() * 3.6, info.at("WindSpeedGust (km/h)"), 0.06);
    EXPECT_EQ(value(n + 1).toDouble(), 0.0); // dry
    EXPECT_EQ(info.at("RainFall"), 0);
    EXPECT_EQ(value(n + 2).toDouble(), 0.0); // -25 °C below ambient: clear
    EXPECT_NEAR(value(n + 3).toDouble(), 0, 0.5);
    EXPECT_NEAR(value(n + 4).toDouble(), 10, 0.5); // the light was read before the five weather readings
    bool hasTemperature = false;
    for (const auto& item : value(n + 5).toArray())
        hasTemperature |= item.toObject()["Name"].toString() == "Temperature";
    EXPECT_TRUE(hasTemperature);
    // Clear since the fifth reading only: the safe delay runs.
    EXPECT_EQ(value(n + 6), false);
    EXPECT_TRUE(server->Safety().Reasons() == std::vector{TUnsafeReason::Waiting});

    // Safe once everything has held for the delay.
    for (int i = 0; i < 3; ++i) {
        Advance(12);
        ASSERT_NO_FATAL_FAILURE(WeatherReading());
    }
    EXPECT_EQ(ValueOf(port_, Get(Sm("issafe"))), true);
    EXPECT_EQ(AskOne(port_, Get("/weather/safety"))["body"].toString(),
              R"({"roof_status":{"open_ok":1,"reasons":"conditions sûres"}})");
    const QString feed = AskOne(port_, Get("/indi/weatherwatcher.txt"))["body"].toString();
    EXPECT_EQ(feed.toStdString(),
              QString("precip=0\ntemperature=%1\nwind=%2\ngust=%2\nclouds=0\nhumidity=%3\nforecast=0\n")
                  .arg(info.at("TempExt (°C)"), 0, 'f', 2)
                  .arg(info.at("WindSpeedGust (km/h)"), 0, 'f', 1)
                  .arg(info.at("Humidity (%RH)"), 0, 'f', 1)
                  .toStdString());

    // The shower: unsafe at once, and the relay the station closes keeps it so after the rain.
    Advance(60 - modelSeconds_ + 5);
    ASSERT_NO_FATAL_FAILURE(WeatherReading());
    EXPECT_EQ(ValueOf(port_, Get(Sm("issafe"))), false);
    EXPECT_GT(ValueOf(port_, Get(Oc("rainrate"))).toDouble(), 0);
    ASSERT_NO_FATAL_FAILURE(WeatherReading());
    ASSERT_TRUE(station_->RelayClosed());
    const QString rainy = AskOne(port_, Get("/weather/safety"))["body"].toString();
    EXPECT_TRUE(rainy.contains(R"("open_ok":0)")) << rainy.toStdString();
    EXPECT_TRUE(rainy.contains("pluie")) << rainy.toStdString();
    EXPECT_TRUE(rainy.contains("relais de fermeture du toit activé")) << rainy.toStdString();

    Advance(120 - modelSeconds_ + 5); // dry again, relay still closed
    ASSERT_NO_FATAL_FAILURE(WeatherReading());
    EXPECT_TRUE(server->Safety().Reasons() == std::vector{TUnsafeReason::RoofClosed})
        << UnsafeReasonsText(server->Safety());
    supervisor_->RearmRelay(true);
    ASSERT_TRUE(WaitUntil([&] { return rearms_ == 1; }));
    ASSERT_FALSE(station_->RelayClosed());
    ASSERT_NO_FATAL_FAILURE(WeatherReading());
    ASSERT_FALSE(supervisor_->Published().Values().RoofCloseRequested);
    EXPECT_EQ(ValueOf(port_, Get(Sm("issafe"))), false); // the delay starts again
    Advance(31);
    ASSERT_NO_FATAL_FAILURE(WeatherReading());
    EXPECT_EQ(ValueOf(port_, Get(Sm("issafe"))), true) << UnsafeReasonsText(server->Safety());

    Advance(7);
    EXPECT_NEAR(ValueOf(port_, Get(Oc("timesincelastupdate"), {{"SensorName", ""}})).toDouble(), 7, 0.01);

    // No reading for more than two minutes: unsafe, without waiting for the next one.
    Advance(121);
    EXPECT_EQ(ValueOf(port_, Get(Sm("issafe"))), false);
    EXPECT_TRUE(server->Safety().Reasons() == std::vector{TUnsafeReason::StaleReading})
        << UnsafeReasonsText(server->Safety());

    // A client's refresh takes a reading without the timer; a burst of refreshes while it runs, and
    // those within 10 s of the latest reading, are answered at once without driving the station.
    const int before = readings_;
    auto refreshes = [&](int count) {
        const QJsonArray answers = Ask(port_, std::vector<Request>(size_t(count), Put(Oc("refresh"))));
        ASSERT_EQ(answers.size(), count);
        for (const auto& a : answers)
            EXPECT_EQ(a.toObject()["json"].toObject()["ErrorNumber"].toInt(), 0);
    };
    ASSERT_NO_FATAL_FAILURE(refreshes(20));
    ASSERT_TRUE(WaitUntil([&] { return readings_ > before; }));
    Advance(TAlpacaServer::RefreshIntervalSec - 1);
    ASSERT_NO_FATAL_FAILURE(refreshes(20));
    EXPECT_FALSE(WaitUntil([&] { return readings_ > before + 1; }, 1000));
    EXPECT_EQ(readings_, before + 1);
    Advance(1);
    ASSERT_NO_FATAL_FAILURE(refreshes(1));
    ASSERT_TRUE(WaitUntil([&] { return readings_ > before + 1; }));
}

// Closing with clients still connected, one in the middle of a request and one idle after its
// answer: the server stops within the closing, after the history is saved, and lets both go.
TEST_F(AlpacaTest, ClosingWithClientsConnectedStopsTheServerAfterTheSave) {
    StartStation(ClearDarkWithAShower());
    CreateSupervisor(station_->DevicePath());
    auto service = std::make_unique<TAlpacaServer>(supervisor_->Published(), LoopbackSettings());
    TAlpacaServer* server = service.get();
    supervisor_->AddService(std::move(service));
    StartAndWait();
    ASSERT_TRUE(server->IsListening());
    QTcpSocket half, idle;
    half.connectToHost(QHostAddress::LocalHost, server->Port());
    idle.connectToHost(QHostAddress::LocalHost, server->Port());
    ASSERT_TRUE(half.waitForConnected(5000));
    ASSERT_TRUE(idle.waitForConnected(5000));
    half.write("GET /api/v1/safetymonitor/0/issafe HTTP/1.1\r\nHost: 127.0.0.1\r\n"); // never ended
    idle.write("GET /management/apiversions HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    ASSERT_TRUE(WaitUntil([&] { return idle.bytesAvailable() > 0; }));

    supervisor_->FormClose();
    EXPECT_FALSE(server->IsListening());
    const std::string log = ReadWholeFile(PathLogs + LogFileNameToday());
    const auto saved = log.find("Data saved"), stopped = log.find("Alpaca server stopped");
    ASSERT_NE(saved, std::string::npos);
    ASSERT_NE(stopped, std::string::npos);
    EXPECT_LT(saved, stopped);
    EXPECT_TRUE(WaitUntil([&] {
        return half.state() == QAbstractSocket::UnconnectedState && idle.state() == QAbstractSocket::UnconnectedState;
    }));
}

TEST_F(AlpacaTest, ManyClientsAtOnceEachGetTheirOwnAnswer) {
    TPublishedConditions published(Now());
    ASSERT_NO_FATAL_FAILURE(StartServer(published));
    const QJsonArray results =
        RunClient({"parallel", QString::number(port_), "8", "20", Sm("issafe")}).toArray();
    ASSERT_EQ(results.size(), 160);
    std::set<int> serverIds;
    for (const auto& r : results) {
        EXPECT_EQ(r.toObject()["status"].toInt(), 200);
        EXPECT_TRUE(r.toObject()["echoed"].toBool());
        serverIds.insert(r.toObject()["server"].toInt());
    }
    EXPECT_EQ(serverIds.size(), 160u);
    EXPECT_EQ(*serverIds.begin(), 1);
    EXPECT_EQ(*serverIds.rbegin(), 160);
}

TEST_F(AlpacaTest, DiscoveryIsAnsweredOnLoopbackAndThePortIsShared) {
    TPublishedConditions published(Now());
    TAlpacaSettings settings = LoopbackSettings();
    settings.DiscoveryPort = FreeUdpPort();
    ASSERT_NO_FATAL_FAILURE(StartServer(published, settings));
    ASSERT_EQ(server_->DiscoveryPort(), settings.DiscoveryPort);

    // Another Alpaca program may bind the same port, as the discovery protocol asks.
    const int other = ::socket(AF_INET, SOCK_DGRAM, 0);
    const int on = 1;
    ::setsockopt(other, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    ::setsockopt(other, SOL_SOCKET, SO_REUSEPORT, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(settings.DiscoveryPort);
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    EXPECT_EQ(::bind(other, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(other);

    const QJsonObject answer = RunClient({"discover", QString::number(settings.DiscoveryPort)}).toObject();
    EXPECT_EQ(answer["answer"].toObject()["AlpacaPort"].toInt(), port_);
}

TEST_F(AlpacaTest, APortInUseIsAClearMessageAndOneLogLine) {
    QTcpServer taken;
    ASSERT_TRUE(taken.listen(QHostAddress::LocalHost, 0));
    TPublishedConditions published(Now());
    TAlpacaSettings settings = LoopbackSettings();
    settings.Port = taken.serverPort();
    TAlpacaServer server(published, settings);
    EXPECT_FALSE(server.Start());
    EXPECT_FALSE(server.IsListening());
    const std::string text = server.ErrorText().toStdString();
    EXPECT_NE(text.find("127.0.0.1:" + std::to_string(settings.Port)), std::string::npos) << text;
    EXPECT_NE(text.find("continue sans lui"), std::string::npos) << text;
    int lines = 0;
    for (const std::string& line : LogTexts())
        lines += line.rfind("Alpaca server not started on 127.0.0.1:", 0) == 0;
    EXPECT_EQ(lines, 1);

    settings.Address = "observatory";
    TAlpacaServer named(published, settings);
    EXPECT_FALSE(named.Start());
    EXPECT_NE(named.ErrorText().toStdString().find("\"observatory\""), std::string::npos);
}

// ---- The real program ------------------------------------------------------------------------------

class ProgramRun {
  public:
    // openFiles: the soft limit of open files the program starts with (0: inherited).
    ProgramRun(const std::string& root, const std::string& device, const QString& alpaca, rlim_t openFiles = 0) {
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert("DBUS_SESSION_BUS_ADDRESS", QString::fromStdString("unix:path=" + root + "no-bus"));
        env.insert("QT_QPA_PLATFORM", "offscreen");
        process.setProcessEnvironment(env);
        if (openFiles != 0)
            process.setChildProcessModifier([openFiles] {
                rlimit limit{};
                ::getrlimit(RLIMIT_NOFILE, &limit);
                limit.rlim_cur = openFiles;
                ::setrlimit(RLIMIT_NOFILE, &limit);
            });
        process.start(QCoreApplication::applicationDirPath() + "/orvanel",
                      {"--headless", "--port", QString::fromStdString(device), "--alpaca", alpaca});
    }
    ~ProgramRun() {
        if (process.state() != QProcess::NotRunning) {
            ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
            process.waitForFinished(20000);
        }
    }
    QProcess process;
    QString errors;
    bool StderrHas(const QString& text) {
        errors += QString::fromLocal8Bit(process.readAllStandardError());
        return errors.contains(text);
    }
};

TEST_F(AlpacaTest, TheProgramServesOnItsCommandLineAddressAndRunsOnWhenThePortIsTaken) {
    ASSERT_TRUE(std::filesystem::exists(QCoreApplication::applicationDirPath().toStdString() + "/orvanel"));
    StartStation({});
    SetClockForTests({});
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"))
        std::filesystem::permissions(runtime, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::replace);
    QTcpServer taken;
    ASSERT_TRUE(taken.listen(QHostAddress::LocalHost, 0));
    {
        ProgramRun run(Root(), station_->DevicePath(), "127.0.0.1:" + QString::number(taken.serverPort()));
        ASSERT_TRUE(run.process.waitForStarted(10000));
        // A fresh configuration starts in English (the stored language's default).
        ASSERT_TRUE(WaitUntil([&] { return run.StderrHas("Alpaca server not started"); }, 20000))
            << run.errors.toStdString();
        ASSERT_TRUE(WaitUntil([] { return LogHasLine("Startup complete..."); }, 20000))
            << run.errors.toStdString();
        EXPECT_EQ(run.process.state(), QProcess::Running);
    }
    const quint16 port = [] {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        return probe.serverPort();
    }();
    ProgramRun run(Root(), station_->DevicePath(), "127.0.0.1:" + QString::number(port));
    ASSERT_TRUE(run.process.waitForStarted(10000));
    ASSERT_TRUE(WaitUntil([&] { return run.StderrHas("ASCOM Alpaca"); }, 20000)) << run.errors.toStdString();
    const QJsonArray a = Ask(port, {Get("/management/apiversions"), Get(Sm("issafe")), Get(Oc("name"))});
    EXPECT_EQ(a.at(0).toObject()["json"].toObject()["Value"], QJsonArray{1});
    EXPECT_EQ(a.at(1).toObject()["json"].toObject()["Value"], false);
    EXPECT_EQ(a.at(2).toObject()["json"].toObject()["Value"], "Orvanel Halvex ObservingConditions");
    EXPECT_TRUE(LogHasLine("Alpaca server listening on 127.0.0.1:" + std::to_string(port)));
}

// Started with a low soft limit of open files, the program raises it to the hard limit, so that the
// month files, logs and serial port keep their descriptors beside the network clients.
TEST_F(AlpacaTest, TheProgramRaisesItsOpenFileLimit) {
    rlimit own{};
    ::getrlimit(RLIMIT_NOFILE, &own);
    if (own.rlim_max == RLIM_INFINITY || own.rlim_max <= 256) GTEST_SKIP() << "hard limit too low to lower";
    StartStation({});
    SetClockForTests({});
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"))
        std::filesystem::permissions(runtime, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::replace);
    const quint16 port = [] {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        return probe.serverPort();
    }();
    ProgramRun run(Root(), station_->DevicePath(), "127.0.0.1:" + QString::number(port), 256);
    ASSERT_TRUE(run.process.waitForStarted(10000));
    ASSERT_TRUE(WaitUntil([&] { return run.StderrHas("ASCOM Alpaca"); }, 20000)) << run.errors.toStdString();
    const std::string limits = ReadWholeFile("/proc/" + std::to_string(run.process.processId()) + "/limits");
    const auto line = limits.find("Max open files");
    ASSERT_NE(line, std::string::npos);
    std::istringstream fields(limits.substr(line + 14));
    unsigned long long soft = 0, hard = 0;
    fields >> soft >> hard;
    EXPECT_EQ(soft, static_cast<unsigned long long>(own.rlim_max));
    EXPECT_EQ(soft, hard);
    EXPECT_EQ(AskOne(port, Get(Sm("issafe")))["status"].toInt(), 200);
}

} // namespace
