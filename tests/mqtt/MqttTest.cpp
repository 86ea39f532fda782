// The MQTT publisher as a subscriber sees it, against a real Mosquitto broker started by the tests on
// a loopback port: the messages themselves, then the publisher beside the controller polling the
// simulated station, the broker going away and coming back, logins, bad settings, and the real
// program killed or closed.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <map>
#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QProcess>
#include <QStatusBar>
#include <set>

#include "AlpacaServer.h"
#include "ConditionFiles.h"
#include "DashboardServer.h"
#include "DatabaseRegistry.h"
#include "HalvexStation.h"
#include "HttpMessage.h"
#include "MqttPayloads.h"
#include "MqttService.h"
#include "MqttTestBroker.h"
#include "MqttWiring.h"
#include "SupervisedStation.h"
#include "WeatherModel.h"

namespace {

using namespace halvex::sim;

QJsonObject Json(const std::string& text) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(text), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString() << ": " << text;
    return doc.object();
}

// "name = value" lines of an infodata.txt text, values as written.
std::map<std::string, std::string> InfoDataFields(const std::string& text) {
    std::map<std::string, std::string> fields;
    for (const std::string& line : SplitLines(text)) {
        const auto eq = line.find(" = ");
        if (eq == std::string::npos) continue;
        std::string name = line.substr(0, eq);
        name.erase(name.find_last_not_of(' ') + 1);
        std::string value = line.substr(eq + 3);
        value.erase(value.find_last_not_of(' ') + 1);
        fields[name] = value;
    }
    return fields;
}

// Every value of the state is the one infodata.txt writes for the same reading; what the file says
// "NoData" for is null.
void ExpectStateMatchesInfoData(const QJsonObject& state, const std::string& infoData) {
    const auto info = InfoDataFields(infoData);
    const std::pair<const char*, const char*> same[] = {
        {"ambient_temperature_c", "TempExt (°C)"},  {"humidity_percent", "Humidity (%RH)"},
        {"dew_point_c", "DewPoint (°C)"},           {"rain_sensor_temperature_c", "TempRainSensor (°C)"},
        {"sky_temperature_c", "TempSkyIR   (°C)"},  {"detector_temperature_c", "TempDetectorIR (°C)"},
        {"wind_gust_kmh", "WindSpeedGust (km/h)"},  {"wind_direction_deg", "WinDirection (°)"},
        {"heater_percent", "PowerDry (%)"},         {"supply_v", "PowerIn (V)"},
        {"light_level_log", "LighLevel (Log a.u)"}, {"sky_brightness_mag_arcsec2", "LighLevel (Mag/sec²)"},
    };
    for (const auto& [key, name] : same) {
        SCOPED_TRACE(key);
        ASSERT_TRUE(info.count(name)) << name;
        ASSERT_TRUE(state.contains(key));
        if (info.at(name) == "NoData") {
            EXPECT_TRUE(state[key].isNull());
            continue;
        }
        ASSERT_TRUE(state[key].isDouble());
        EXPECT_EQ(state[key].toDouble(), std::stod(info.at(name)));
    }
    EXPECT_EQ(state["rain"].toBool(), info.at("RainFall") == "Yes");
    const TDateTimeParts p{std::stoi(info.at("DateYear")), std::stoi(info.at("DateMonth")),
                           std::stoi(info.at("DateDay")),  std::stoi(info.at("DateHour")),
                           std::stoi(info.at("DateMin")),  std::stoi(info.at("DateSec"))};
    EXPECT_EQ(state["time"].toString().toStdString(), IsoUtc(EncodeDateTime(p)));
}

// One field of one of the five states: StateField(state, "sky", "code").
QJsonValue StateField(const QJsonObject& state, const char* which, const char* field) {
    return state["states"].toObject()[which].toObject()[field];
}

TcapteursInfos SampleReading(bool windAndLight) {
    TcapteursInfos r{};
    r.DateSysteme = EncodeDateTime(2026, 12, 9, 22, 15, 7);
    r.ValueSkyDeg = -21.237f;
    r.ValueCanDeg = 4.1f;
    r.ValueTempDeg = 3.456f;
    r.ValueTempFceDeg = 9.875f;
    r.DeltaTempDeg = -24.693f;
    r.Humidity = 81.25f;
    r.DewPoint = 0.4449f;
    r.WindSpeedMax_ms = 4.5f;
    r.DirSpeedMax_deg = 247.5f;
    r.ValidWindGUST = windAndLight ? 1 : 0;
    r.RainStatus = windAndLight ? 0 : 1;
    r.PowerRainDet = 35;
    r.ValidLight = windAndLight ? 1 : 0;
    r.Lumex = 0.8123;
    r.PowerVolts = 12.345f;
    return r;
}

// ---- The messages --------------------------------------------------------------------------------

TEST(MqttMessages, TheStateHoldsTheNumbersOfInfodataAndNullForWhatWasNotReported) {
    for (const bool complete : {true, false}) {
        SCOPED_TRACE(complete ? "wind and light" : "no gust, no light, rain");
        const TcapteursInfos reading = SampleReading(complete);
        const TConditions conditions = ClassifyConditions(reading, SetupInfos, std::nullopt);
        TMqttVerdict verdict;
        verdict.Safe = false;
        verdict.Reasons = {TUnsafeReason::Rain, TUnsafeReason::RoofClosed};
        verdict.ReasonsText = "pluie, \"relais\"\n";
        verdict.Since = reading.DateSysteme;
        const QJsonObject state = Json(MqttStateJson(reading, conditions, true, false, verdict));
        ExpectStateMatchesInfoData(state, InfoDataText(reading));
        EXPECT_EQ(state["reasons"].toArray(), (QJsonArray{"rain", "roof_closed"}));
        EXPECT_EQ(state["reasons_text"].toString().toStdString(), verdict.ReasonsText);
        EXPECT_EQ(state["relay_closed"], true);
        EXPECT_EQ(state["link_lost"], false);
        EXPECT_EQ(StateField(state, "rain", "code").toInt(), complete ? 0 : 1);
        EXPECT_EQ(StateField(state, "sky", "text").toString(), "unknown"); // the median is not ready
    }
}

TEST(MqttMessages, PrefixesThatCannotStartATopicAreRefused) {
    const std::pair<const char*, bool> cases[] = {
        {"orvanel", true}, {"obs/roof-1", true}, {"", false},         {"obs/+/x", false},
        {"#", false},      {"/orvanel", false},  {"orvanel/", false}, {"a//b", false},
        {"dôme/1", true},  {"d\xf4me", false},   {"a\tb", false},     {"a\xc0\xaf", false},
    };
    for (const auto& [prefix, ok] : cases) {
        const std::string error = TopicPrefixError(prefix, "TopicPrefix");
        EXPECT_EQ(error.empty(), ok) << '"' << prefix << "\": " << error;
        if (!ok) {
            EXPECT_NE(error.find("\"TopicPrefix\""), std::string::npos) << error;
        }
    }
}

TEST(MqttMessages, TheCommandLineEndpoint) {
    struct Case {
        const char* Text;
        bool Ok;
        const char* Host;
        uint16_t Port;
    };
    const Case cases[] = {
        {"127.0.0.1:1884", true, "127.0.0.1", 1884},
        {"broker.lan", true, "broker.lan", 1883},
        {"[::1]:8883", true, "::1", 8883},
        {"broker:0", false, "", 0},
        {"broker:http", false, "", 0},
        {":1883", false, "", 0},
        {"[::1]", true, "::1", 1883},
        {"::1", false, "", 0},          // no brackets: "::" port 1 it is not
        {"fe80::1:1883", false, "", 0}, // nor port 1883 or 1 of a guessed address
        {"broker: 1883", false, "", 0},
        {"broker:+1883", false, "", 0},
        {"[::1", false, "", 0}, // a bracket left open
        {"[::1]1883", false, "", 0},
        {"bro ker:80", false, "", 0},
    };
    for (const Case& c : cases) {
        TMqttSettings settings;
        std::string error;
        EXPECT_EQ(ParseMqttEndpoint(c.Text, settings, error), c.Ok) << c.Text;
        if (!c.Ok) continue;
        EXPECT_EQ(settings.Host, c.Host);
        EXPECT_EQ(settings.Port, c.Port);
        EXPECT_TRUE(settings.Enabled);
    }
}

// ---- Against a broker ----------------------------------------------------------------------------

TMqttSettings Loopback(uint16_t port) {
    TMqttSettings s;
    s.Enabled = true;
    s.Port = port;
    s.ClientId = "orvanel-test";
    return s;
}

// The latest payload of each discovery configuration of the test's client seen, by topic.
std::map<std::string, std::string> Configs(const TTestSubscriber& subscriber, const std::string& prefix) {
    std::map<std::string, std::string> configs;
    for (const TReceived& m : subscriber.Under(prefix + "/"))
        if (m.Topic.find("/orvanel-test_") != std::string::npos && m.Topic.size() > 7 &&
            m.Topic.substr(m.Topic.size() - 7) == "/config")
            configs[m.Topic] = m.Payload;
    return configs;
}

constexpr size_t EntityCount = 15;

class MqttTest : public SupervisedStationTest {
  protected:
    void StartBroker(std::map<std::string, std::string> users = {}) {
        std::pair<std::string, std::string> login;
        if (!users.empty()) login = *users.begin();
        broker_ = std::make_unique<TTestBroker>(Root(), std::move(users));
        ASSERT_TRUE(broker_->Start());
        subscriber_ = std::make_unique<TTestSubscriber>(
            broker_->Port(), std::vector<std::string>{"orvanel/#", "homeassistant/#"}, login.first,
            login.second);
        ASSERT_TRUE(WaitUntil([&] { return subscriber_->Connected(); }));
    }
    void TearDown() override {
        service_.reset();
        supervisor_.reset(); // its services, before the broker
        subscriber_.reset();
        broker_.reset();
        SupervisedStationTest::TearDown();
    }
    // A publisher of its own, without the controller.
    TMqttService& StartService(TMqttSettings settings) {
        service_ = std::make_unique<TMqttService>(settings, published_);
        std::string error;
        EXPECT_TRUE(service_->Start(error)) << error;
        return *service_;
    }
    bool WaitForLink(TMqttService& service, TMqttLink link, int ms = 15000) {
        return WaitUntil([&] { return service.Status().Link == link; }, ms);
    }
    std::optional<QJsonObject> LastState() const {
        const auto text = subscriber_->Last("orvanel/state");
        if (!text) return std::nullopt;
        return QJsonDocument::fromJson(QByteArray::fromStdString(*text)).object();
    }

    // The publisher as the program runs it: a service of the controller, started after its start-up.
    TMqttPublishing& AddPublishing(const TMqttSettings& settings, QStatusBar* statusBar = nullptr) {
        auto publishing = std::make_unique<TMqttPublishing>(*supervisor_, settings, statusBar);
        TMqttPublishing& added = *publishing;
        supervisor_->AddService(std::move(publishing));
        return added;
    }

    std::unique_ptr<TTestBroker> broker_;
    std::unique_ptr<TTestSubscriber> subscriber_;
    TPublishedConditions published_{Now()}; // the verdict of a publisher without the controller
    std::unique_ptr<TMqttService> service_;
};

TEST_F(MqttTest, DiscoveryStateAndVerdictFollowTheStationThroughAShower) {
    ASSERT_NO_FATAL_FAILURE(StartBroker());
    StartStation(ClearDarkWithAShower());
    CreateSupervisor(station_->DevicePath());
    // The safe delay is a setting of the one verdict every service shows.
    DatabaseRegistry().WriteCFGtoRegister(KeyAlpaca, TVariant(0.5), "SafeDelayMin"); // 30 s of model time
    AddPublishing(Loopback(broker_->Port()));
    StartAndWait();
    ASSERT_EQ(startup_, 1);
    EXPECT_TRUE(messages_.empty());
    SetupInfos.InterValQuickPoolSec = 3600;
    SetupInfos.InterValLightPoolSec = 3600;
    ASSERT_NO_FATAL_FAILURE(ReadingsUntilConditionsKnown());
    ASSERT_TRUE(supervisor_->Conditions().LightValid);
    const std::string reading = IsoUtc(supervisor_->Conditions().Date);
    ASSERT_TRUE(
        WaitUntil([&] { return LastState() && (*LastState())["time"].toString().toStdString() == reading; }));
    EXPECT_EQ(subscriber_->Last("orvanel/status"), "online");

    // The state of the latest reading is infodata.txt's.
    QJsonObject state = *LastState();
    ExpectStateMatchesInfoData(state, ReadWholeFile(PathDatas + InfoDataFileName));
    EXPECT_FALSE(state["wind_gust_kmh"].isNull());
    EXPECT_FALSE(state["sky_brightness_mag_arcsec2"].isNull());
    EXPECT_EQ(StateField(state, "sky", "text"), "clear");
    EXPECT_EQ(StateField(state, "sky", "code"), 1);
    EXPECT_EQ(state["link_lost"], false);
    // Clear since the fifth reading only: the safe delay runs.
    EXPECT_EQ(state["safe"], false);
    EXPECT_EQ(state["reasons"].toArray(), QJsonArray{"safe_delay_running"});
    EXPECT_EQ(subscriber_->Last("orvanel/safety"), "unsafe");

    // Every entity, with the fields Home Assistant reads.
    ASSERT_TRUE(WaitUntil([&] { return Configs(*subscriber_, "homeassistant").size() == EntityCount; }));
    struct Entity {
        const char* Component;
        const char* Key;
        const char* DeviceClass;
        const char* Unit;
        const char* StateClass;
    };
    const Entity entities[] = {
        {"sensor", "sky_temperature", "temperature", "°C", "measurement"},
        {"sensor", "sky_minus_ambient", nullptr, "°C", "measurement"},
        {"sensor", "ambient_temperature", "temperature", "°C", "measurement"},
        {"sensor", "dew_point", "temperature", "°C", "measurement"},
        {"sensor", "humidity", "humidity", "%", "measurement"},
        {"sensor", "wind_gust", "wind_speed", "km/h", "measurement"},
        {"sensor", "wind_direction", "wind_direction", "°", "measurement_angle"},
        {"sensor", "sky_brightness", nullptr, "mag/arcsec²", "measurement"},
        {"sensor", "light_level", nullptr, nullptr, "measurement"},
        {"sensor", "heater", nullptr, "%", "measurement"},
        {"sensor", "supply", "voltage", "V", "measurement"},
        {"binary_sensor", "rain", "moisture", nullptr, nullptr},
        {"binary_sensor", "relay", nullptr, nullptr, nullptr},
        {"binary_sensor", "station_link", "connectivity", nullptr, nullptr},
        {"binary_sensor", "safety", "safety", nullptr, nullptr},
    };
    const auto configs = Configs(*subscriber_, "homeassistant");
    std::set<QString> names;
    for (const Entity& e : entities) {
        const std::string id = std::string("orvanel-test_") + e.Key;
        const std::string topic = std::string("homeassistant/") + e.Component + "/" + id + "/config";
        SCOPED_TRACE(topic);
        ASSERT_TRUE(configs.count(topic));
        const QJsonObject c = Json(configs.at(topic));
        EXPECT_EQ(c["unique_id"].toString().toStdString(), id);
        EXPECT_EQ(c["object_id"].toString().toStdString(), id);
        EXPECT_FALSE(c["name"].toString().isEmpty());
        names.insert(c["name"].toString());
        EXPECT_EQ(c["state_topic"], "orvanel/state");
        EXPECT_TRUE(c["value_template"].toString().contains("value_json."));
        EXPECT_EQ(c["availability_topic"], "orvanel/status");
        EXPECT_EQ(c["device_class"].toString().toStdString(), e.DeviceClass ? e.DeviceClass : "");
        EXPECT_EQ(c["unit_of_measurement"].toString().toStdString(), e.Unit ? e.Unit : "");
        EXPECT_EQ(c["state_class"].toString().toStdString(), e.StateClass ? e.StateClass : "");
        const QJsonObject device = c["device"].toObject();
        EXPECT_EQ(device["identifiers"].toArray(), QJsonArray{"orvanel-test"});
        EXPECT_EQ(device["model"], "Halvex");
        EXPECT_FALSE(device["name"].toString().isEmpty());
        EXPECT_FALSE(device["manufacturer"].toString().isEmpty());
        EXPECT_FALSE(device["sw_version"].toString().isEmpty());
        EXPECT_EQ(c["origin"].toObject()["name"], "Orvanel");
        // The value each template reads is in the state.
        const QString key = c["value_template"].toString().section("value_json.", 1).section(' ', 0, 0);
        EXPECT_TRUE(state.contains(key)) << key.toStdString();
    }
    EXPECT_EQ(names.size(), EntityCount);
    EXPECT_TRUE(
        Json(configs.at("homeassistant/binary_sensor/orvanel-test_safety/config"))["json_attributes_template"]
            .toString()
            .contains("reasons"));

    // Safe once everything has held for the delay.
    for (int i = 0; i < 3; ++i) {
        Advance(12);
        ASSERT_NO_FATAL_FAILURE(WeatherReading());
    }
    ASSERT_TRUE(WaitUntil([&] { return subscriber_->Last("orvanel/safety") == "safe"; }));
    ASSERT_TRUE(WaitUntil([&] { return (*LastState())["safe"] == true; }));
    EXPECT_EQ((*LastState())["reasons"].toArray(), QJsonArray{});

    // The shower: unsafe at once, and the relay the station closes keeps it so.
    Advance(60 - modelSeconds_ + 5);
    subscriber_->Clear();
    ASSERT_NO_FATAL_FAILURE(WeatherReading());
    ASSERT_TRUE(WaitUntil([&] { return subscriber_->Last("orvanel/safety") == "unsafe"; }));
    ASSERT_TRUE(WaitUntil([&] { return (*LastState())["rain"] == true; }));
    // The verdict changes with this reading: one state, of this reading, never the previous reading's
    // values beside the new verdict.
    int states = 0;
    for (const TReceived& m : subscriber_->Messages()) {
        if (m.Topic != "orvanel/state") continue;
        ++states;
        EXPECT_EQ(Json(m.Payload)["time"].toString().toStdString(), IsoUtc(supervisor_->Conditions().Date));
    }
    EXPECT_EQ(states, 1);
    state = *LastState();
    EXPECT_EQ(state["safe"], false);
    EXPECT_TRUE(state["reasons"].toArray().contains("rain"));
    EXPECT_EQ(StateField(state, "rain", "code"), 1);
    ExpectStateMatchesInfoData(state, ReadWholeFile(PathDatas + InfoDataFileName));
    ASSERT_NO_FATAL_FAILURE(WeatherReading());
    ASSERT_TRUE(station_->RelayClosed());
    ASSERT_TRUE(WaitUntil([&] { return (*LastState())["relay_closed"] == true; }));
    EXPECT_TRUE((*LastState())["reasons"].toArray().contains("roof_closed"));

    // The link lost: unsafe, and the link's binary sensor off.
    emit supervisor_->stationLinkChanged(true); // as the link healing reports it
    ASSERT_TRUE(WaitUntil([&] { return (*LastState())["link_lost"] == true; }));
    EXPECT_TRUE((*LastState())["reasons"].toArray().contains("link_lost"));
}

// Alpaca's safety monitor, the web dashboard and MQTT show the one verdict of the controller: the same
// value, and the same moment it began, through the safe delay and a reading going stale.
TEST_F(MqttTest, AlpacaTheDashboardAndMqttShowOneVerdictSinceOneMoment) {
    ASSERT_NO_FATAL_FAILURE(StartBroker());
    StartStation(ClearDarkWithAShower());
    CreateSupervisor(station_->DevicePath());
    DatabaseRegistry().WriteCFGtoRegister(KeyAlpaca, TVariant(0.5), "SafeDelayMin"); // 30 s of model time
    TAlpacaSettings settings;
    settings.Port = 0;
    settings.DiscoveryPort = 0;
    auto alpaca = std::make_unique<TAlpacaServer>(supervisor_->Published(), settings);
    TAlpacaServer& server = *alpaca;
    FollowSupervisor(server, *supervisor_);
    supervisor_->AddService(std::move(alpaca));
    auto web = MakeDashboardService(*supervisor_, &server);
    TDashboard& dashboard = web->Dashboard();
    supervisor_->AddService(std::move(web));
    AddPublishing(Loopback(broker_->Port()));
    StartAndWait();
    ASSERT_TRUE(server.IsListening());
    SetupInfos.InterValQuickPoolSec = 3600;
    SetupInfos.InterValLightPoolSec = 3600;

    const auto request = [](const char* path) {
        THttpRequest r;
        r.Method = "GET";
        r.Path = path;
        return r;
    };
    const auto expectOne = [&](const char* when, bool safe) {
        SCOPED_TRACE(when);
        const TAlpacaAnswer issafe = server.Answer(request("/api/v1/safetymonitor/0/issafe"));
        EXPECT_EQ(QJsonDocument::fromJson(issafe.Body).object()["Value"].toBool(), safe)
            << issafe.Body.toStdString();
        const auto current = dashboard.Answer("GET", "/api/current", {});
        ASSERT_TRUE(current);
        const QJsonObject verdict = Json(current->Body)["verdict"].toObject();
        EXPECT_EQ(verdict["safe"].toBool(), safe);
        // The state MQTT sent last: the latest reading, with the verdict.
        ASSERT_TRUE(WaitUntil([&] {
            return LastState() &&
                   (*LastState())["time"].toString().toStdString() ==
                       IsoUtc(supervisor_->Conditions().Date) &&
                   (*LastState())["safe"].toBool() == safe &&
                   subscriber_->Last("orvanel/safety") == (safe ? "safe" : "unsafe");
        }));
        // One moment: the dashboard's to the millisecond, MQTT's to the second.
        const TDateTime since = supervisor_->Published().LastVerdict().Since();
        EXPECT_EQ(verdict["since"].toString().toStdString(), IsoUtcText(since));
        EXPECT_EQ((*LastState())["since"].toString().toStdString(), IsoUtc(since));
    };
    for (int i = 0; i < 5; ++i) { // clear from the start; the sky median needs five readings
        Advance(2);
        ASSERT_NO_FATAL_FAILURE(WeatherReading());
    }
    ASSERT_NO_FATAL_FAILURE(expectOne("clear, the delay running", false));
    for (int i = 0; i < 3; ++i) {
        Advance(12);
        ASSERT_NO_FATAL_FAILURE(WeatherReading());
    }
    ASSERT_NO_FATAL_FAILURE(expectOne("clear for the delay", true));
    // No reading for over two minutes: the network server is asked first and sees it go stale; the
    // dashboard and MQTT look later, and still date it from then.
    Advance(125);
    const TDateTime staleSeen = Now();
    EXPECT_TRUE(server.Answer(request("/api/v1/safetymonitor/0/issafe")).Body.contains("\"Value\":false"));
    Advance(5);
    emit supervisor_->relayChanged(); // the others look again
    ASSERT_NO_FATAL_FAILURE(expectOne("stale", false));
    EXPECT_EQ(supervisor_->Published().LastVerdict().Since(), staleSeen);
}

// A publisher whose settings can never work is one message and one log line; its status panel goes,
// and the controller polls on.
TEST_F(MqttTest, APublisherThatCannotStartIsOneMessageAndTheProgramRunsOn) {
    StartStation({});
    CreateSupervisor(station_->DevicePath(), false);
    QStatusBar bar;
    TMqttSettings settings = Loopback(FreeLoopbackPort());
    settings.TopicPrefix = "obs/#";
    AddPublishing(settings, &bar);
    StartAndWait();
    ASSERT_EQ(startup_, 1);
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_NE(messages_[0].find("\"TopicPrefix\""), std::string::npos) << messages_[0];
    int lines = 0;
    for (const std::string& line : LogTexts())
        lines += line.find("MQTT not started") != std::string::npos;
    EXPECT_EQ(lines, 1);
    EXPECT_EQ(bar.findChild<QLabel*>("StatusBarMqtt"), nullptr);
    EXPECT_TRUE(supervisor_->CycleRunning());
    Advance(5);
    ASSERT_NO_FATAL_FAILURE(WeatherReading());
    supervisor_->FormClose();
}

TEST_F(MqttTest, TheBrokerStoppedAndStartedAgainGetsOnlineAndTheLatestStateOnly) {
    ASSERT_NO_FATAL_FAILURE(StartBroker());
    TMqttService& service = StartService(Loopback(broker_->Port()));
    ASSERT_TRUE(WaitForLink(service, TMqttLink::Connected));
    EXPECT_EQ(MqttStatusText(service.Status()),
              "MQTT : connecté à 127.0.0.1:" + std::to_string(broker_->Port()));
    TcapteursInfos first = SampleReading(true);
    service.OnReading(first, ClassifyConditions(first, SetupInfos, std::nullopt));
    ASSERT_TRUE(WaitUntil([&] { return LastState().has_value(); }));

    broker_->Stop();
    ASSERT_TRUE(WaitForLink(service, TMqttLink::Retrying));
    const TMqttStatus lost = service.Status();
    EXPECT_TRUE(lost.WasConnected);
    EXPECT_EQ(lost.RetrySec, 1);
    const std::string text = MqttStatusText(lost);
    EXPECT_EQ(text.rfind("MQTT : connexion perdue (", 0), 0) << text;
    EXPECT_NE(text.find("), nouvel essai dans 1 s"), std::string::npos) << text;
    // Two readings while the broker is away: only the latest one matters.
    TcapteursInfos second = first, third = first;
    second.DateSysteme += 20.0 / 86400;
    third.DateSysteme += 40.0 / 86400;
    service.OnReading(second, ClassifyConditions(second, SetupInfos, std::nullopt));
    service.OnReading(third, ClassifyConditions(third, SetupInfos, std::nullopt));
    // The delay grows while nobody answers.
    ASSERT_TRUE(WaitUntil([&] { return service.Status().RetrySec >= 2; }, 10000));
    subscriber_->Clear();

    ASSERT_TRUE(broker_->Start());
    ASSERT_TRUE(WaitForLink(service, TMqttLink::Connected, 20000));
    ASSERT_TRUE(
        WaitUntil([&] { return subscriber_->Last("orvanel/status") == "online" && LastState(); }, 10000));
    EXPECT_EQ((*LastState())["time"].toString().toStdString(), IsoUtc(third.DateSysteme));
    for (const TReceived& m : subscriber_->Messages()) {
        if (m.Topic == "orvanel/state") {
            EXPECT_EQ(Json(m.Payload)["time"].toString().toStdString(), IsoUtc(third.DateSysteme));
        }
    }
    EXPECT_TRUE(subscriber_->Last("orvanel/safety").has_value());
}

// With a window the status line is a panel of the status bar, made on the main thread.
TEST_F(MqttTest, TheStatusLineIsShownInTheStatusBar) {
    ASSERT_NO_FATAL_FAILURE(StartBroker());
    StartStation({});
    CreateSupervisor(station_->DevicePath(), false);
    QStatusBar bar;
    AddPublishing(Loopback(broker_->Port()), &bar);
    StartAndWait();
    EXPECT_TRUE(messages_.empty());
    auto* label = bar.findChild<QLabel*>("StatusBarMqtt");
    ASSERT_NE(label, nullptr);
    const QString where = "127.0.0.1:" + QString::number(broker_->Port());
    ASSERT_TRUE(WaitUntil([&] { return label->text() == "MQTT : connecté à " + where; }))
        << label->text().toStdString();
    broker_->Stop();
    ASSERT_TRUE(WaitUntil([&] { return label->text().startsWith("MQTT : connexion perdue ("); }))
        << label->text().toStdString();
    EXPECT_TRUE(label->text().endsWith("nouvel essai dans 1 s")) << label->text().toStdString();
    supervisor_->FormClose(); // the publisher stops before the status bar goes
}

TEST_F(MqttTest, HomeAssistantComingOnlineGetsTheConfigurationsAgain) {
    ASSERT_NO_FATAL_FAILURE(StartBroker());
    TMqttService& service = StartService(Loopback(broker_->Port()));
    ASSERT_TRUE(WaitForLink(service, TMqttLink::Connected));
    ASSERT_TRUE(WaitUntil([&] { return Configs(*subscriber_, "homeassistant").size() == EntityCount; }));
    subscriber_->Clear();
    subscriber_->Publish("homeassistant/status", "offline");
    ASSERT_TRUE(WaitUntil([&] { return subscriber_->Last("homeassistant/status").has_value(); }));
    EXPECT_TRUE(Configs(*subscriber_, "homeassistant").empty());
    subscriber_->Publish("homeassistant/status", "online");
    ASSERT_TRUE(WaitUntil([&] { return Configs(*subscriber_, "homeassistant").size() == EntityCount; }));
}

TEST_F(MqttTest, DiscoverySwitchedOffRemovesTheConfigurationsPublishedBefore) {
    ASSERT_NO_FATAL_FAILURE(StartBroker());
    {
        TMqttService& service = StartService(Loopback(broker_->Port()));
        ASSERT_TRUE(WaitForLink(service, TMqttLink::Connected));
        ASSERT_TRUE(WaitUntil([&] { return Configs(*subscriber_, "homeassistant").size() == EntityCount; }));
        service_.reset();
    }
    // Another device's configuration stays.
    subscriber_->Publish("homeassistant/sensor/roof_1/config", "{\"name\":\"roof\"}", true);
    subscriber_->Clear();
    TMqttSettings settings = Loopback(broker_->Port());
    settings.Discovery = false;
    TMqttService& service = StartService(settings);
    ASSERT_TRUE(WaitForLink(service, TMqttLink::Connected));
    ASSERT_TRUE(WaitUntil([&] { return Configs(*subscriber_, "homeassistant").size() == EntityCount; }));
    for (const auto& [topic, payload] : Configs(*subscriber_, "homeassistant"))
        EXPECT_EQ(payload, "") << topic;

    // A newcomer finds nothing retained from this program under the discovery prefix.
    TTestSubscriber newcomer(broker_->Port(), {"homeassistant/#"});
    ASSERT_TRUE(WaitUntil([&] { return !newcomer.Under("homeassistant/sensor/roof_1").empty(); }));
    ASSERT_TRUE(WaitUntil([&] { return subscriber_->Last("orvanel/status") == "online"; }));
    for (const TReceived& m : newcomer.Under("homeassistant/"))
        EXPECT_EQ(m.Topic, "homeassistant/sensor/roof_1/config");
}

TEST_F(MqttTest, ALoginIsCheckedAndARefusalIsOneClearMessageWithoutRetries) {
    ASSERT_NO_FATAL_FAILURE(StartBroker({{"observatory", "s3cret;#pw"}}));
    struct Case {
        const char* User;
        const char* Password;
        bool Accepted;
    };
    const Case cases[] = {
        {"observatory", "s3cret;#pw", true}, {"observatory", "wrong-pw", false}, {"", "", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.User) + " / " + c.Password);
        TMqttSettings settings = Loopback(broker_->Port());
        settings.User = c.User;
        settings.Password = c.Password;
        TMqttService& service = StartService(settings);
        ASSERT_TRUE(WaitForLink(service, c.Accepted ? TMqttLink::Connected : TMqttLink::Failed));
        if (!c.Accepted) {
            const TMqttStatus status = service.Status();
            EXPECT_TRUE(status.Problem == TMqttProblem::LoginRefused ||
                        status.Problem == TMqttProblem::NotAuthorized);
            const std::string text = MqttStatusText(status);
            EXPECT_NE(text.find("Corrigez les réglages sous [MQTT]"), std::string::npos) << text;
            EXPECT_NE(text.find("par le courtier"), std::string::npos) << text;
        }
        service_.reset();
    }
    int refusals = 0;
    for (const std::string& line : LogTexts()) {
        refusals += line.find("not retried") != std::string::npos;
        EXPECT_EQ(line.find("s3cret"), std::string::npos) << line;
        EXPECT_EQ(line.find("wrong-pw"), std::string::npos) << line;
    }
    EXPECT_EQ(refusals, 2);
}

TEST_F(MqttTest, BadSettingsAreOneClearMessageAndRetriesOnlyWhereTheyCanHelp) {
    ASSERT_NO_FATAL_FAILURE(StartBroker());
    struct Case {
        const char* What;
        std::function<void(TMqttSettings&)> Set;
        bool Starts;
        TMqttLink Link;
        const char* Text;
    };
    const Case cases[] = {
        {"wildcard in the prefix",
         [](TMqttSettings& s) { s.TopicPrefix = "obs/+/sky"; },
         false,
         {},
         "\"TopicPrefix\""},
        {"empty level",
         [](TMqttSettings& s) { s.DiscoveryPrefix = "homeassistant/"; },
         false,
         {},
         "niveau vide"},
        {"prefix saved in Latin-1",
         [](TMqttSettings& s) { s.TopicPrefix = "observatoire/Orl\xe9" "ans"; },
         false,
         {},
         "UTF-8"},
        {"client identifier saved in Latin-1",
         [](TMqttSettings& s) { s.ClientId = "orvanel-d\xf4me"; },
         false,
         {},
         "\"ClientId\""},
        {"client identifier over the protocol's length",
         [](TMqttSettings& s) { s.ClientId = std::string(70000, 'c'); },
         false,
         {},
         "\"ClientId\""},
        {"no broker named", [](TMqttSettings& s) { s.Host = ""; }, false, {}, "\"Host\""},
        {"missing CA file",
         [](TMqttSettings& s) {
             s.Tls = true;
             s.CaFile = "/nonexistent/ca.pem";
         },
         false,
         {},
         "/nonexistent/ca.pem"},
        {"unknown host", [](TMqttSettings& s) { s.Host = "no-such-host.invalid"; }, true, TMqttLink::Retrying,
         "hôte inconnu"},
        {"nobody on the port", [](TMqttSettings& s) { s.Port = FreeLoopbackPort(); }, true,
         TMqttLink::Retrying, "aucun courtier"},
        {"TLS to a plain listener", [](TMqttSettings& s) { s.Tls = true; }, true, TMqttLink::Failed, "TLS"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        TMqttSettings settings = Loopback(broker_->Port());
        c.Set(settings);
        service_ = std::make_unique<TMqttService>(settings, published_);
        std::string error;
        ASSERT_EQ(service_->Start(error), c.Starts) << error;
        if (!c.Starts) {
            EXPECT_NE(error.find(c.Text), std::string::npos) << error;
            EXPECT_NE(error.find("continue sans elle"), std::string::npos) << error;
            continue;
        }
        ASSERT_TRUE(WaitForLink(*service_, c.Link, 20000)) << MqttStatusText(service_->Status());
        const std::string text = MqttStatusText(service_->Status());
        EXPECT_NE(text.find(c.Text), std::string::npos) << text;
        service_.reset();
    }
}

// A broker with a certificate of its own: trusted through CAFile, refused against the system's
// authorities (and never retried), accepted without checks when VerifyPeer is No.
TEST_F(MqttTest, ATlsBrokerIsTrustedThroughItsCertificateOnly) {
    TTestBroker broker(Root(), {}, true);
    ASSERT_TRUE(broker.Start());
    struct Case {
        const char* What;
        bool OwnCertificate;
        bool VerifyPeer;
        TMqttLink Link;
    };
    const Case cases[] = {
        {"its certificate as CAFile", true, true, TMqttLink::Connected},
        {"the system's authorities", false, true, TMqttLink::Failed},
        {"no check", false, false, TMqttLink::Connected},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        TMqttSettings settings = Loopback(broker.Port());
        settings.Tls = true;
        settings.VerifyPeer = c.VerifyPeer;
        if (c.OwnCertificate) settings.CaFile = broker.CertificateFile();
        TMqttService& service = StartService(settings);
        ASSERT_TRUE(WaitForLink(service, c.Link))
            << MqttStatusText(service.Status()) << " / " << service.Status().Detail;
        if (c.Link == TMqttLink::Failed) {
            EXPECT_EQ(service.Status().Problem, TMqttProblem::Tls);
            EXPECT_NE(MqttStatusText(service.Status()).find("échec TLS"), std::string::npos);
        }
        service_.reset();
    }
}

// ---- The real program ------------------------------------------------------------------------------

class ProgramRun {
  public:
    ProgramRun(const std::string& root, const std::string& device, uint16_t mqttPort) {
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert("DBUS_SESSION_BUS_ADDRESS", QString::fromStdString("unix:path=" + root + "no-bus"));
        env.insert("QT_QPA_PLATFORM", "offscreen");
        process.setProcessEnvironment(env);
        process.start(QCoreApplication::applicationDirPath() + "/orvanel",
                      {"--headless", "--port", QString::fromStdString(device), "--alpaca",
                       "127.0.0.1:" + QString::number(FreeLoopbackPort()), "--mqtt",
                       "127.0.0.1:" + QString::number(mqttPort)});
    }
    ~ProgramRun() {
        if (process.state() != QProcess::NotRunning) {
            ::kill(static_cast<pid_t>(process.processId()), SIGKILL);
            process.waitForFinished(20000);
        }
    }
    bool StderrHas(const QString& text) {
        errors += QString::fromLocal8Bit(process.readAllStandardError());
        return errors.contains(text);
    }
    QProcess process;
    QString errors;
};

TEST_F(MqttTest, TheProgramIsOfflineWhenKilledAndWhenClosed) {
    ASSERT_TRUE(std::filesystem::exists(QCoreApplication::applicationDirPath().toStdString() + "/orvanel"));
    ASSERT_NO_FATAL_FAILURE(StartBroker());
    StartStation({});
    SetClockForTests({});
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"))
        std::filesystem::permissions(runtime, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::replace);
    for (const int signal : {SIGKILL, SIGTERM}) {
        SCOPED_TRACE(signal == SIGKILL ? "killed" : "closed");
        subscriber_->Clear();
        ProgramRun run(Root(), station_->DevicePath(), broker_->Port());
        ASSERT_TRUE(run.process.waitForStarted(10000));
        ASSERT_TRUE(WaitUntil([&] { return subscriber_->Last("orvanel/status") == "online"; }, 30000))
            << run.errors.toStdString();
        // A fresh configuration starts in English.
        ASSERT_TRUE(WaitUntil([&] { return run.StderrHas("MQTT: connected to 127.0.0.1:"); }, 10000))
            << run.errors.toStdString();
        ::kill(static_cast<pid_t>(run.process.processId()), signal);
        ASSERT_TRUE(WaitUntil([&] { return subscriber_->Last("orvanel/status") == "offline"; }, 20000));
        ASSERT_TRUE(WaitUntil([&] { return run.process.state() == QProcess::NotRunning; }, 20000));
        if (signal == SIGTERM) {
            EXPECT_EQ(run.process.exitCode(), 0);
            EXPECT_TRUE(LogHasLine("MQTT stopped"));
        }
    }
}

} // namespace
