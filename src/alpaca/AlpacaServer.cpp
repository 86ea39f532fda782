#include "AlpacaServer.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cmath>
#include <cstdio>
#include <fmt/format.h>
#include <netinet/in.h>
#include <QCoreApplication>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QSysInfo>
#include <QUdpSocket>
#include <sys/socket.h>
#include <unistd.h>

#include "DatabaseRegistry.h"
#include "HttpServer.h"
#include "Log.h"
#include "Supervisor.h"
#include "Utilities.h"

#ifndef ORVANEL_VERSION
#define ORVANEL_VERSION "0"
#endif

// ASCOM error numbers.
namespace {
constexpr int ErrNotImplemented = 0x400;
constexpr int ErrInvalidValue = 0x401;
constexpr int ErrValueNotSet = 0x402;

const QString ObservingConditionsType = QStringLiteral("observingconditions");
const QString SafetyMonitorType = QStringLiteral("safetymonitor");

// A request the server refuses as malformed: HTTP 400 with this reason.
struct TBadRequest {
    QString Reason;
};

// The sensors of the ObservingConditions interface, with what the station measures.
struct TSensor {
    const char* Name;
    bool Measured;
    const char* Description;
};
const TSensor Sensors[] = {
    {"CloudCover", true, "Cloud cover from the Halvex infrared sky-minus-ambient temperature (%)"},
    {"DewPoint", true, "Dew point from the Halvex humidity and temperature sensors (°C)"},
    {"Humidity", true, "Halvex relative humidity sensor (%)"},
    {"Pressure", false, ""},
    {"RainRate", true, "Halvex rain sensor: 0 when dry, 1 while rain is detected (mm/h)"},
    {"SkyBrightness", false, ""},
    {"SkyQuality", true, "Halvex photodiode sky brightness (mag/arcsec²)"},
    {"SkyTemperature", true, "Halvex infrared sky temperature (°C)"},
    {"StarFWHM", false, ""},
    {"Temperature", true, "Halvex ambient temperature sensor (°C)"},
    {"WindDirection", true, "Halvex gust anemometer direction (degrees, 0 when calm)"},
    {"WindGust", true, "Halvex gust anemometer (m/s)"},
    {"WindSpeed", false, ""},
};

const TSensor* FindSensor(const QString& name) {
    for (const TSensor& s : Sensors)
        if (name.compare(QLatin1String(s.Name), Qt::CaseInsensitive) == 0) return &s;
    return nullptr;
}

// Member names of a sensor value: "cloudcover" for CloudCover.
const TSensor* SensorOfMember(const QString& member) {
    for (const TSensor& s : Sensors)
        if (member == QString::fromLatin1(s.Name).toLower()) return &s;
    return nullptr;
}

QString IsoTime(TDateTime local) {
    const QDateTime base(QDate(1899, 12, 30), QTime(0, 0));
    const QDateTime t = base.addMSecs(static_cast<qint64>(std::llround(local * 86400000.0)));
    return t.toUTC().toString(Qt::ISODateWithMs);
}

QString Html(const std::string& text) {
    return QString::fromStdString(text).toHtmlEscaped();
}

} // namespace

// The outcome of one member: a value (or none for a method), or an ASCOM error.
struct TMemberResult {
    QJsonValue Value = QJsonValue::Undefined;
    int ErrorNumber = 0;
    QString ErrorMessage;

    static TMemberResult Of(QJsonValue value) { return {std::move(value), 0, {}}; }
    static TMemberResult Done() { return {}; }
    static TMemberResult Error(int number, QString message) {
        return {QJsonValue::Undefined, number, std::move(message)};
    }
};

// Parameters of a request, names matched without regard to case (the first of a name counts).
struct TAlpacaServer::TParams {
    QMap<QString, QString> Values; // lower-case name -> value

    void Add(const THttpFields& fields) {
        for (const auto& [name, value] : fields) {
            const QString key = QString::fromUtf8(name).toLower();
            if (!Values.contains(key)) Values.insert(key, QString::fromUtf8(value));
        }
    }
    bool Has(const QString& name) const { return Values.contains(name.toLower()); }
    QString Get(const QString& name) const { return Values.value(name.toLower()); }
    // A transaction number; 0 when missing or not a 32-bit unsigned number.
    uint32_t Transaction(const QString& name) const {
        bool ok = false;
        const uint value = Get(name).trimmed().toUInt(&ok);
        return ok ? value : 0;
    }
    bool Bool(const QString& name) const {
        const QString text = Get(name).trimmed();
        if (!Has(name)) throw TBadRequest{QStringLiteral("Missing parameter %1").arg(name)};
        if (text.compare("true", Qt::CaseInsensitive) == 0) return true;
        if (text.compare("false", Qt::CaseInsensitive) == 0) return false;
        throw TBadRequest{QStringLiteral("Parameter %1 must be true or false, not '%2'").arg(name, text)};
    }
    double Number(const QString& name) const {
        if (!Has(name)) throw TBadRequest{QStringLiteral("Missing parameter %1").arg(name)};
        bool ok = false;
        const double value = Get(name).trimmed().toDouble(&ok);
        if (!ok || !std::isfinite(value))
            throw TBadRequest{QStringLiteral("Parameter %1 must be a number, not '%2'").arg(name, Get(name))};
        return value;
    }
    QString Text(const QString& name) const {
        if (!Has(name)) throw TBadRequest{QStringLiteral("Missing parameter %1").arg(name)};
        return Get(name);
    }
};

// ---- Life ------------------------------------------------------------------------------------------

TAlpacaServer::TAlpacaServer(const TPublishedConditions& published, TAlpacaSettings settings, QObject* parent)
    : QObject(parent), published_(published), values_(published.Values()), settings_(std::move(settings)),
      clock_([] { return Now(); }),
      http_(std::make_unique<THttpServer>()) {
    // Asked last: other services of the same port (added first) answer their own paths.
    http_->AddHandler([this](const THttpRequest& request) -> std::optional<THttpResponse> {
        TAlpacaAnswer answer = Answer(request);
        THttpResponse response;
        response.Status = answer.Status;
        response.ContentType = answer.ContentType.toStdString();
        response.Body = answer.Body.toStdString();
        return response;
    });
    verdictTimer_.setInterval(5000);
    connect(&verdictTimer_, &QTimer::timeout, this, &TAlpacaServer::UpdateVerdict);
}

TAlpacaServer::~TAlpacaServer() {
    Stop();
}

bool TAlpacaServer::Start() {
    Stop();
    error_.clear();
    const QString address = QString::fromStdString(settings_.Address);
    QHostAddress host;
    if (!host.setAddress(address)) {
        error_ = tr("Serveur Alpaca non démarré : l'adresse \"%1\" n'est pas une adresse IP (réglage "
                    "\"Address\" sous [Alpaca]). Le programme continue sans lui.")
                     .arg(address);
        LogToday(fmt::format("Alpaca server not started: \"{}\" is not an IP address", settings_.Address));
        return false;
    }
    QString reason;
    if (!http_->Listen(host, settings_.Port, reason)) {
        error_ = tr("Serveur Alpaca non démarré : impossible d'écouter sur %1:%2 (%3). Un autre programme "
                    "utilise peut-être ce port ; changez \"Port\" sous [Alpaca] ou lancez avec --alpaca "
                    "ADRESSE:PORT. Le programme continue sans lui.")
                     .arg(address)
                     .arg(settings_.Port)
                     .arg(reason);
        LogToday(fmt::format("Alpaca server not started on {}:{} -> {}", settings_.Address, settings_.Port,
                             reason.toStdString()));
        return false;
    }
    LogToday(fmt::format("Alpaca server listening on {}:{}", settings_.Address, Port()));
    if (settings_.DiscoveryPort != 0) OpenDiscovery();
    UpdateVerdict();
    verdictTimer_.start();
    return true;
}

bool TAlpacaServer::Start(std::string& error) {
    if (!Start()) {
        error = error_.toStdString();
        return false;
    }
    std::fprintf(stderr, "ASCOM Alpaca and INDI feeds on %s\n",
                 HttpUrl(settings_.Address, static_cast<unsigned>(Port()), "/setup").c_str());
    return true;
}

void TAlpacaServer::Stop() {
    verdictTimer_.stop();
    if (discovery_) {
        discovery_->close();
        delete discovery_;
        discovery_ = nullptr;
    }
    if (http_->IsListening()) LogToday("Alpaca server stopped");
    http_->Close();
}

bool TAlpacaServer::IsListening() const {
    return http_->IsListening();
}

quint16 TAlpacaServer::Port() const {
    return http_->Port();
}

quint16 TAlpacaServer::DiscoveryPort() const {
    return discovery_ ? discovery_->localPort() : 0;
}

// Several Alpaca programs on one computer share the discovery port: SO_REUSEADDR and SO_REUSEPORT
// are set before the bind, which Qt's own bind does not offer.
bool TAlpacaServer::OpenDiscovery() {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        LogToday(fmt::format("Alpaca discovery not started: socket -> {}", std::strerror(errno)));
        return false;
    }
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEPORT, &on, sizeof on);
    ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(settings_.DiscoveryPort);
    // A server kept to this computer is found from this computer only.
    const QHostAddress host(QString::fromStdString(settings_.Address));
    local.sin_addr.s_addr = host.isLoopback() ? htonl(INADDR_LOOPBACK) : htonl(INADDR_ANY);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        LogToday(fmt::format("Alpaca discovery not started on port {} -> {}", settings_.DiscoveryPort,
                             std::strerror(errno)));
        ::close(fd);
        return false;
    }
    discovery_ = new QUdpSocket(this);
    if (!discovery_->setSocketDescriptor(fd, QAbstractSocket::BoundState)) {
        LogToday("Alpaca discovery not started -> " + discovery_->errorString().toStdString());
        delete discovery_;
        discovery_ = nullptr;
        ::close(fd);
        return false;
    }
    connect(discovery_, &QUdpSocket::readyRead, this, &TAlpacaServer::OnDiscoveryDatagram);
    LogToday(fmt::format("Alpaca discovery answering on UDP port {}", settings_.DiscoveryPort));
    return true;
}

void TAlpacaServer::OnDiscoveryDatagram() {
    while (discovery_ && discovery_->hasPendingDatagrams()) {
        QHostAddress sender;
        quint16 senderPort = 0;
        QByteArray datagram(static_cast<int>(std::max<qint64>(0, discovery_->pendingDatagramSize())), '\0');
        const qint64 size = discovery_->readDatagram(datagram.data(), datagram.size(), &sender, &senderPort);
        if (size < 0) break;
        datagram.truncate(static_cast<int>(size));
        if (!datagram.startsWith("alpacadiscovery1")) continue;
        const QByteArray reply =
            QJsonDocument(QJsonObject{{"AlpacaPort", Port()}}).toJson(QJsonDocument::Compact);
        discovery_->writeDatagram(reply, sender, senderPort);
    }
}

// ---- What the server follows -------------------------------------------------------------------

void TAlpacaServer::OnReading(const TcapteursInfos& reading, const TConditions& conditions) {
    hasReading_ = true;
    refreshAskedAt_ = 0;
    reading_ = reading;
    conditions_ = conditions;
    if (reading.ValidWindGUST != 0) {
        windSeen_ = true;
        gustMs_ = reading.WindSpeedMax_ms;
        gustDir_ = reading.DirSpeedMax_deg;
        windDate_ = reading.DateSysteme;
    }
    if (reading.ValidLight != 0) {
        lightSeen_ = true;
        magnitude_ = conditions.Magnitude;
        lightDate_ = lightReadAt_ != 0 ? lightReadAt_ : reading.DateSysteme;
    }
    UpdateVerdict();
}

// The controller publishes the link state beside the conditions, where the verdict reads it.
void TAlpacaServer::OnLinkState(bool) {
    UpdateVerdict();
}

void TAlpacaServer::UpdateVerdict() {
    const bool safe = published_.Verdict(clock_()).IsSafe();
    if (announced_ && safe == announcedSafe_) return;
    announced_ = true;
    announcedSafe_ = safe;
    emit verdictChanged(safe);
}

// A refresh starts a reading unless one was asked for and has not come yet, or the latest is recent
// (a clock set back counts as not recent).
bool TAlpacaServer::RefreshDue() const {
    const TDateTime now = clock_();
    auto recent = [&](TDateTime when) {
        const double age = (now - when) * 86400.0;
        return when != 0 && age >= 0 && age < RefreshIntervalSec;
    };
    return !recent(refreshAskedAt_) && !(hasReading_ && recent(reading_.DateSysteme));
}

// ---- Requests ------------------------------------------------------------------------------------

uint32_t TAlpacaServer::NextServerTransaction() {
    if (++serverTransaction_ == 0) serverTransaction_ = 1;
    return serverTransaction_;
}

TAlpacaAnswer TAlpacaServer::Answer(const THttpRequest& request) {
    const bool put = request.Method == "PUT";
    // HEAD is asked as GET: the HTTP layer sends the head of that answer without its body.
    const bool get = request.Method == "GET" || request.Method == "HEAD";
    TParams params;
    if (put) params.Add(ParseQuery(request.Body));
    params.Add(ParseQuery(request.Query));
    const QString path = QString::fromUtf8(request.Path);
    QStringList parts = path.split('/', Qt::SkipEmptyParts);
    const QString method = put ? "PUT" : get ? "GET" : "other";
    UpdateVerdict();
    try {
        if (!put && !get) throw TBadRequest{QStringLiteral("Only GET and PUT are served")};
        if (parts.size() >= 1 && parts[0] == "api") return DeviceAnswer(method, parts, params);
        if (!get) throw TBadRequest{QStringLiteral("%1 takes GET").arg(path)};
        if (parts.size() >= 1 && parts[0] == "management") return ManagementAnswer(parts, params);
        if (path == "/" || path == "/setup" || path == "/setup/")
            return SetupPage(tr("Orvanel : serveur Alpaca"));
        if (parts.size() == 5 && parts[0] == "setup" && parts[1] == "v1" && parts[3] == "0" &&
            parts[4] == "setup") {
            if (parts[2] == ObservingConditionsType)
                return SetupPage(tr("Orvanel : conditions d'observation"));
            if (parts[2] == SafetyMonitorType) return SetupPage(tr("Orvanel : moniteur de sécurité"));
        }
        if (path == "/indi/weatherwatcher.txt") return WeatherWatcherFeed();
        if (path == "/weather/safety") return SafetyProxyFeed();
        throw TBadRequest{QStringLiteral("Unknown path %1").arg(path)};
    } catch (const TBadRequest& bad) {
        return {400, "text/plain; charset=utf-8", bad.Reason.toUtf8()};
    }
}

QByteArray TAlpacaServer::Reply(const TParams& params, const TMemberResult& result) {
    QJsonObject json;
    if (!result.Value.isUndefined()) json["Value"] = result.Value;
    json["ClientTransactionID"] = static_cast<qint64>(params.Transaction("ClientTransactionID"));
    json["ServerTransactionID"] = static_cast<qint64>(NextServerTransaction());
    json["ErrorNumber"] = result.ErrorNumber;
    json["ErrorMessage"] = result.ErrorMessage;
    return QJsonDocument(json).toJson(QJsonDocument::Compact);
}

TAlpacaAnswer TAlpacaServer::ManagementAnswer(const QStringList& parts, const TParams& params) {
    const QString path = "/" + parts.join('/');
    TMemberResult result;
    if (path == "/management/apiversions")
        result = TMemberResult::Of(QJsonArray{1});
    else if (path == "/management/v1/description")
        result = TMemberResult::Of(QJsonObject{{"ServerName", "Orvanel"},
                                               {"Manufacturer", "Orvanel"},
                                               {"ManufacturerVersion", ORVANEL_VERSION},
                                               {"Location", QSysInfo::machineHostName()}});
    else if (path == "/management/v1/configureddevices")
        result = TMemberResult::Of(QJsonArray{
            QJsonObject{{"DeviceName", "Orvanel Halvex ObservingConditions"},
                        {"DeviceType", "ObservingConditions"},
                        {"DeviceNumber", 0},
                        {"UniqueID", QString::fromStdString(settings_.UniqueIDObservingConditions)}},
            QJsonObject{{"DeviceName", "Orvanel Halvex SafetyMonitor"},
                        {"DeviceType", "SafetyMonitor"},
                        {"DeviceNumber", 0},
                        {"UniqueID", QString::fromStdString(settings_.UniqueIDSafetyMonitor)}}});
    else
        throw TBadRequest{QStringLiteral("Unknown path %1").arg(path)};
    return {200, "application/json", Reply(params, result)};
}

TAlpacaAnswer TAlpacaServer::DeviceAnswer(const QString& method, const QStringList& parts,
                                          const TParams& params) {
    // /api/v1/{devicetype}/{devicenumber}/{member}, lower case as the API requires.
    if (parts.size() != 5 || parts[1] != "v1")
        throw TBadRequest{QStringLiteral("Device paths are /api/v1/{devicetype}/{devicenumber}/{member}")};
    TDevice device;
    if (parts[2] == ObservingConditionsType)
        device = TDevice::ObservingConditions;
    else if (parts[2] == SafetyMonitorType)
        device = TDevice::SafetyMonitor;
    else
        throw TBadRequest{
            QStringLiteral("Unknown device type '%1' (observingconditions or safetymonitor)").arg(parts[2])};
    bool numeric = false;
    const int number = parts[3].toInt(&numeric);
    if (!numeric) throw TBadRequest{QStringLiteral("Device number '%1' is not a number").arg(parts[3])};
    if (number != 0)
        throw TBadRequest{QStringLiteral("Device %1 number %2 does not exist").arg(parts[2]).arg(number)};

    const QString& member = parts[4];
    const bool put = method == "PUT";
    bool known = false;
    TMemberResult result = CommonMember(device, member, put, params, known);
    if (!known && device == TDevice::ObservingConditions)
        result = ObservingConditionsMember(member, put, params, known);
    if (!known && device == TDevice::SafetyMonitor && member == "issafe") {
        if (put) throw TBadRequest{QStringLiteral("issafe takes GET")};
        known = true;
        result = TMemberResult::Of(Safety().IsSafe());
    }
    if (!known) throw TBadRequest{QStringLiteral("Unknown member '%1' of %2").arg(member, parts[2])};
    return {200, "application/json", Reply(params, result)};
}

TMemberResult TAlpacaServer::CommonMember(TDevice device, const QString& member, bool put,
                                          const TParams& params, bool& known) {
    const bool oc = device == TDevice::ObservingConditions;
    bool& connected = connected_[oc ? 0 : 1];
    known = true;
    auto needs = [&](bool wantPut) {
        if (put != wantPut)
            throw TBadRequest{QStringLiteral("%1 takes %2").arg(member, wantPut ? "PUT" : "GET")};
    };
    if (member == "connected") {
        if (!put) return TMemberResult::Of(connected);
        connected = params.Bool("Connected");
        return TMemberResult::Done();
    }
    if (member == "connect" || member == "disconnect") {
        needs(true);
        connected = member == "connect";
        return TMemberResult::Done();
    }
    if (member == "action" || member == "commandblind" || member == "commandbool" ||
        member == "commandstring") {
        needs(true);
        return TMemberResult::Error(ErrNotImplemented, QStringLiteral("%1 is not implemented").arg(member));
    }
    static const QStringList gets = {"connecting",       "description", "driverinfo",       "driverversion",
                                     "interfaceversion", "name",        "supportedactions", "devicestate"};
    if (!gets.contains(member)) {
        known = false;
        return {};
    }
    needs(false);
    if (member == "connecting") return TMemberResult::Of(false);
    if (member == "description")
        return TMemberResult::Of(
            oc ? "Halvex sky station: temperatures, humidity, wind, rain, sky brightness and "
                 "cloud cover"
               : "Halvex sky station: safe while dry, calm, clear and the roof relay open");
    if (member == "driverinfo")
        return TMemberResult::Of("Orvanel cloud monitor, ASCOM Alpaca server of the Halvex sky station");
    if (member == "driverversion") return TMemberResult::Of(ORVANEL_VERSION);
    if (member == "interfaceversion") return TMemberResult::Of(oc ? 2 : 3);
    if (member == "name")
        return TMemberResult::Of(oc ? "Orvanel Halvex ObservingConditions" : "Orvanel Halvex SafetyMonitor");
    if (member == "supportedactions") return TMemberResult::Of(QJsonArray{});
    if (member == "devicestate") {
        QJsonArray state;
        if (oc) {
            for (const TSensor& s : Sensors) {
                if (!s.Measured) continue;
                const TMemberResult value = SensorValue(QString::fromLatin1(s.Name));
                if (value.ErrorNumber == 0)
                    state.append(QJsonObject{{"Name", s.Name}, {"Value", value.Value}});
            }
        } else {
            state.append(QJsonObject{{"Name", "IsSafe"}, {"Value", Safety().IsSafe()}});
        }
        state.append(QJsonObject{{"Name", "TimeStamp"}, {"Value", IsoTime(clock_())}});
        return TMemberResult::Of(state);
    }
    known = false;
    return {};
}

TMemberResult TAlpacaServer::ObservingConditionsMember(const QString& member, bool put, const TParams& params,
                                                       bool& known) {
    known = true;
    if (member == "averageperiod") {
        if (!put) return TMemberResult::Of(0.0);
        const double period = params.Number("AveragePeriod");
        if (period != 0)
            return TMemberResult::Error(
                ErrInvalidValue,
                QStringLiteral("AveragePeriod %1: only 0 (latest reading) is offered").arg(period));
        return TMemberResult::Done();
    }
    if (member == "refresh") {
        if (!put) throw TBadRequest{QStringLiteral("refresh takes PUT")};
        // Answered at once either way: clients that call it in a loop must not drive the station.
        if (RefreshDue()) {
            refreshAskedAt_ = clock_();
            emit refreshRequested();
        }
        return TMemberResult::Done();
    }
    if (put) {
        if (member == "timesincelastupdate" || member == "sensordescription" || SensorOfMember(member))
            throw TBadRequest{QStringLiteral("%1 takes GET").arg(member)};
        known = false;
        return {};
    }
    if (member == "timesincelastupdate") return SensorAge(params.Text("SensorName"));
    if (member == "sensordescription") return SensorDescription(params.Text("SensorName"));
    if (const TSensor* sensor = SensorOfMember(member)) return SensorValue(QString::fromLatin1(sensor->Name));
    known = false;
    return {};
}

double TAlpacaServer::CloudCover() const {
    const double delta = reading_.DeltaTempDeg;
    const double clear = values_.CloudyThreshT, cloudy = values_.VCloudyThreshT;
    if (delta <= clear) return 0;
    if (delta >= cloudy) return 100;
    return 100.0 * (delta - clear) / (cloudy - clear);
}

TMemberResult TAlpacaServer::SensorValue(const QString& name) {
    const TSensor* sensor = FindSensor(name);
    if (!sensor)
        return TMemberResult::Error(ErrInvalidValue, QStringLiteral("Unknown sensor '%1'").arg(name));
    if (!sensor->Measured)
        return TMemberResult::Error(
            ErrNotImplemented, QStringLiteral("%1 is not measured by the Halvex station").arg(sensor->Name));
    const QString which = QString::fromLatin1(sensor->Name);
    const bool wind = which == "WindGust" || which == "WindDirection";
    if (wind && hasReading_ && !windSeen_)
        return TMemberResult::Error(ErrNotImplemented, QStringLiteral("The station has no gust anemometer"));
    if (!hasReading_) return TMemberResult::Error(ErrValueNotSet, QStringLiteral("No weather reading yet"));
    const TcapteursInfos& r = reading_;
    if (which == "CloudCover") return TMemberResult::Of(CloudCover());
    if (which == "DewPoint") return TMemberResult::Of(double(r.DewPoint));
    if (which == "Humidity") return TMemberResult::Of(double(r.Humidity));
    if (which == "RainRate") return TMemberResult::Of(r.RainStatus != 0 ? 1.0 : 0.0);
    if (which == "SkyTemperature") return TMemberResult::Of(double(r.ValueSkyDeg));
    if (which == "Temperature") return TMemberResult::Of(double(r.ValueTempDeg));
    if (which == "WindGust") return TMemberResult::Of(gustMs_);
    if (which == "WindDirection") return TMemberResult::Of(gustMs_ == 0 ? 0.0 : gustDir_);
    if (which == "SkyQuality") {
        if (!lightSeen_) return TMemberResult::Error(ErrValueNotSet, QStringLiteral("No light reading yet"));
        return TMemberResult::Of(magnitude_);
    }
    return TMemberResult::Error(ErrNotImplemented, QStringLiteral("%1 is not measured").arg(which));
}

TMemberResult TAlpacaServer::SensorAge(const QString& name) {
    const TDateTime now = clock_();
    auto age = [&](TDateTime when) { return TMemberResult::Of(std::max(0.0, (now - when) * 86400.0)); };
    if (name.isEmpty()) {
        if (!hasReading_)
            return TMemberResult::Error(ErrValueNotSet, QStringLiteral("No weather reading yet"));
        return age(reading_.DateSysteme);
    }
    const TMemberResult value = SensorValue(name);
    if (value.ErrorNumber != 0) return value;
    const QString which = QString::fromLatin1(FindSensor(name)->Name);
    if (which == "WindGust" || which == "WindDirection") return age(windDate_);
    if (which == "SkyQuality") return age(lightDate_);
    return age(reading_.DateSysteme);
}

TMemberResult TAlpacaServer::SensorDescription(const QString& name) {
    const TSensor* sensor = FindSensor(name);
    if (!sensor)
        return TMemberResult::Error(ErrInvalidValue, QStringLiteral("Unknown sensor '%1'").arg(name));
    if (!sensor->Measured)
        return TMemberResult::Error(
            ErrNotImplemented, QStringLiteral("%1 is not measured by the Halvex station").arg(sensor->Name));
    return TMemberResult::Of(QString::fromUtf8(sensor->Description));
}

// ---- INDI feeds ----------------------------------------------------------------------------------

TAlpacaAnswer TAlpacaServer::WeatherWatcherFeed() {
    if (!hasReading_) return {503, "text/plain; charset=utf-8", "No weather reading yet\n"};
    const TcapteursInfos& r = reading_;
    std::string text = fmt::format("precip={}\n", r.RainStatus != 0 ? 1 : 0);
    text += fmt::format("temperature={:.2f}\n", double(r.ValueTempDeg));
    if (windSeen_) {
        // The station measures gusts only: the wind is its gust, in km/h.
        text += fmt::format("wind={:.1f}\n", MsToKmh(gustMs_));
        text += fmt::format("gust={:.1f}\n", MsToKmh(gustMs_));
    }
    text += fmt::format("clouds={:.0f}\n", CloudCover());
    text += fmt::format("humidity={:.1f}\n", double(r.Humidity));
    text += "forecast=0\n";
    return {200, "text/plain; charset=utf-8", QByteArray::fromStdString(text)};
}

TAlpacaAnswer TAlpacaServer::SafetyProxyFeed() {
    const std::string reasons =
        Safety().IsSafe() ? Tr("Safety", "conditions sûres") : UnsafeReasonsText(Safety());
    const QJsonObject status{{"open_ok", Safety().IsSafe() ? 1 : 0},
                             {"reasons", QString::fromStdString(reasons)}};
    return {200, "application/json",
            QJsonDocument(QJsonObject{{"roof_status", status}}).toJson(QJsonDocument::Compact)};
}

// ---- Set-up page -----------------------------------------------------------------------------------

TAlpacaAnswer TAlpacaServer::SetupPage(const QString& title) {
    auto row = [](const QString& name, const QString& value) {
        return QStringLiteral("<tr><th>%1</th><td>%2</td></tr>\n")
            .arg(name.toHtmlEscaped(), value.toHtmlEscaped());
    };
    auto sensor = [&](const QString& label, const char* name, int decimals, const QString& unit) {
        const TMemberResult v = SensorValue(QString::fromLatin1(name));
        const QString text = v.ErrorNumber == 0 ? QString::number(v.Value.toDouble(), 'f', decimals) + unit
                             : v.ErrorNumber == ErrNotImplemented ? tr("non mesuré")
                                                                  : tr("pas encore de mesure");
        return row(label, text);
    };
    QString html =
        QStringLiteral("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>%1</title>"
                       "<style>body{font-family:sans-serif;margin:2em}th{text-align:left;padding-right:"
                       "2em}td{font-family:monospace}</style></head><body>\n<h1>%1</h1>\n")
            .arg(title.toHtmlEscaped());
    html += "<h2>" + tr("Verdict de sécurité").toHtmlEscaped() + "</h2>\n<p><b>" +
            (Safety().IsSafe() ? tr("Sûr") : tr("Non sûr")).toHtmlEscaped() + "</b>";
    if (!Safety().IsSafe()) html += " : " + Html(UnsafeReasonsText(Safety()));
    html += "</p>\n<h2>" + tr("Conditions actuelles").toHtmlEscaped() + "</h2>\n<table>\n";
    if (hasReading_)
        html += row(tr("Dernière mesure"), QString::fromStdString(DateTimeText(reading_.DateSysteme)));
    html += sensor(tr("Température"), "Temperature", 2, " °C");
    html += sensor(tr("Humidité"), "Humidity", 1, " %");
    html += sensor(tr("Point de rosée"), "DewPoint", 2, " °C");
    html += sensor(tr("Température du ciel"), "SkyTemperature", 2, " °C");
    html += sensor(tr("Couverture nuageuse"), "CloudCover", 0, " %");
    html += sensor(tr("Pluie"), "RainRate", 0, "");
    html += sensor(tr("Rafale"), "WindGust", 1, " m/s");
    html += sensor(tr("Direction du vent"), "WindDirection", 0, " °");
    html += sensor(tr("Qualité du ciel"), "SkyQuality", 2, " mag/arcsec²");
    html += row(tr("Relais de fermeture du toit"), values_.RoofCloseRequested ? tr("fermé") : tr("ouvert"));
    html += "</table>\n<h2>" + tr("Réglages").toHtmlEscaped() + "</h2>\n<p>" +
            tr("Cette page est en lecture seule. Les réglages sont sous [Alpaca] dans %1 : Enabled, Address, "
               "Port, "
               "DiscoveryPort, SafeDelayMin, UnsafeInDaylight ; ils prennent effet au prochain démarrage.")
                .arg(QString::fromStdString(PathWithoutHome(DatabaseRegistry().FileName())))
                .toHtmlEscaped() +
            "</p>\n<table>\n";
    html += row("Address", QString::fromStdString(settings_.Address));
    html += row("Port", QString::number(Port()));
    html += row("DiscoveryPort", QString::number(DiscoveryPort()));
    html += row("SafeDelayMin", QString::number(settings_.SafeDelayMin));
    html += row("UnsafeInDaylight", settings_.UnsafeInDaylight ? "Yes" : "No");
    html += row("UniqueIDObservingConditions", QString::fromStdString(settings_.UniqueIDObservingConditions));
    html += row("UniqueIDSafetyMonitor", QString::fromStdString(settings_.UniqueIDSafetyMonitor));
    html += "</table>\n</body></html>\n";
    return {200, "text/html; charset=utf-8", html.toUtf8()};
}

// ---- Wiring ------------------------------------------------------------------------------------------

void FollowSupervisor(TAlpacaServer& server, Supervisor& supervisor) {
    QObject::connect(&supervisor, &Supervisor::relayChanged, &server, &TAlpacaServer::UpdateVerdict);
    QObject::connect(&supervisor, &Supervisor::lightReadingProcessed, &server,
                     &TAlpacaServer::OnLightReading);
    QObject::connect(&server, &TAlpacaServer::refreshRequested, &supervisor, &Supervisor::ReadWeatherNow);
}

std::unique_ptr<TAlpacaServer> MakeAlpacaService(Supervisor& supervisor, const std::string& endpoint) {
    TAlpacaSettings settings = ReadAlpacaSettings();
    std::string unused; // checked with the command line
    if (!endpoint.empty()) ParseAlpacaEndpoint(endpoint, settings, unused);
    if (!settings.Enabled) return nullptr;
    auto server = std::make_unique<TAlpacaServer>(supervisor.Published(), settings);
    FollowSupervisor(*server, supervisor);
    return server;
}

bool ParseAlpacaEndpoint(const std::string& text, TAlpacaSettings& settings, std::string& error) {
    const QString endpoint = QString::fromStdString(text).trimmed();
    const int colon = endpoint.lastIndexOf(':');
    if (colon <= 0) {
        error = "--alpaca needs ADDRESS:PORT, e.g. 127.0.0.1:11111 or 0.0.0.0:11111";
        return false;
    }
    QString address = endpoint.left(colon);
    if (address.startsWith('[') && address.endsWith(']')) address = address.mid(1, address.size() - 2);
    bool ok = false;
    const uint port = endpoint.mid(colon + 1).toUInt(&ok);
    // QHostAddress skips blanks and control characters inside an address; the text kept and shown
    // must be the address itself.
    const bool stray = std::any_of(address.begin(), address.end(),
                                   [](QChar c) { return c.isSpace() || c.unicode() < 0x20 || c.unicode() == 0x7f; });
    QHostAddress host;
    if (stray || !host.setAddress(address)) {
        error = "--alpaca: \"" + address.toStdString() + "\" is not an IP address";
        return false;
    }
    if (!ok || port == 0 || port > 65535) {
        error = "--alpaca: the port must be a number from 1 to 65535";
        return false;
    }
    settings.Address = address.toStdString();
    settings.Port = static_cast<uint16_t>(port);
    settings.Enabled = true;
    return true;
}
