#include "AutomationServer.h"

#include <atomic>
#include <fmt/format.h>
#include <optional>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QThread>
#include <QVariantMap>

#include "ClarityTypeLibrary.h"
#include "Log.h"

namespace {

const QString PropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
const QString IntrospectableInterface = QStringLiteral("org.freedesktop.DBus.Introspectable");
const QString PeerInterface = QStringLiteral("org.freedesktop.DBus.Peer");

QDBusMessage ErrorReply(const QDBusMessage& call, QDBusError::ErrorType type, const QString& text) {
    return call.createErrorReply(type, text);
}

bool HasSignature(const QDBusMessage& call, const char* signature) {
    return call.signature() == QLatin1String(signature);
}

std::string NamesText(const std::vector<QString>& names) {
    if (names.empty()) return "no bus name";
    std::string text;
    for (const auto& n : names)
        text += (text.empty() ? "" : ", ") + n.toStdString();
    return text;
}

} // namespace

// One object of the bus (/CloudSensorII or /CloudSensor). A virtual object receives every message
// for its path, introspection and properties included, so what clients see is exactly the type
// library's description.
class TClaritySensorObject : public QDBusVirtualObject {
  public:
    TClaritySensorObject(const TClarityInterface& iface, const TAutomationValues& values)
        : iface_(iface), values_(values) {}

    QString introspect(const QString&) const override { return ClarityInterfaceXml(iface_); }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.type() != QDBusMessage::MethodCallMessage) return false;
        if (QThread::currentThread() == thread()) {
            connection.send(Answer(message));
        } else {
            // The values are the main thread's: answer there.
            QMetaObject::invokeMethod(
                this, [this, message, connection] { connection.send(Answer(message)); },
                Qt::QueuedConnection);
        }
        return true;
    }

  private:
    QDBusMessage Answer(const QDBusMessage& call) const {
        const QString& interface = call.interface();
        if (interface == PropertiesInterface) return PropertiesAnswer(call);
        if (interface == IntrospectableInterface && call.member() == QLatin1String("Introspect"))
            return call.createReply(ClarityIntrospectionXml(iface_));
        if (interface == PeerInterface) return PeerAnswer(call);
        if (interface.isEmpty() || interface == QLatin1String(iface_.InterfaceName))
            return MethodAnswer(call);
        return ErrorReply(
            call, QDBusError::UnknownInterface,
            QStringLiteral("No interface %1 on %2").arg(interface, QLatin1String(iface_.ObjectPath)));
    }

    QDBusMessage MethodAnswer(const QDBusMessage& call) const {
        const auto* method = FindClarityMember(iface_, call.member(), TClarityMemberKind::Method);
        if (!method)
            return ErrorReply(
                call, QDBusError::UnknownMethod,
                QStringLiteral("No method %1 in %2").arg(call.member(), QLatin1String(iface_.InterfaceName)));
        if (!HasSignature(call, ""))
            return ErrorReply(call, QDBusError::InvalidArgs,
                              QStringLiteral("%1 takes no argument").arg(call.member()));
        return call.createReply(method->Read(values_, Now()));
    }

    QDBusMessage PropertiesAnswer(const QDBusMessage& call) const {
        const QString member = call.member();
        const auto args = call.arguments();
        if (member == QLatin1String("Get") && HasSignature(call, "ss")) {
            if (const auto error = CheckInterface(call, args[0].toString())) return *error;
            const auto* property =
                FindClarityMember(iface_, args[1].toString(), TClarityMemberKind::Property);
            if (!property)
                return ErrorReply(call, QDBusError::UnknownProperty,
                                  QStringLiteral("No property %1 in %2")
                                      .arg(args[1].toString(), QLatin1String(iface_.InterfaceName)));
            return call.createReply(QVariant::fromValue(QDBusVariant(property->Read(values_, Now()))));
        }
        if (member == QLatin1String("GetAll") && HasSignature(call, "s")) {
            if (const auto error = CheckInterface(call, args[0].toString())) return *error;
            return call.createReply(AllProperties());
        }
        if (member == QLatin1String("Set") && HasSignature(call, "ssv")) {
            if (const auto error = CheckInterface(call, args[0].toString())) return *error;
            if (!FindClarityMember(iface_, args[1].toString(), TClarityMemberKind::Property))
                return ErrorReply(call, QDBusError::UnknownProperty,
                                  QStringLiteral("No property %1 in %2")
                                      .arg(args[1].toString(), QLatin1String(iface_.InterfaceName)));
            return ErrorReply(call, QDBusError::PropertyReadOnly,
                              QStringLiteral("Property %1 is read-only").arg(args[1].toString()));
        }
        if (member == QLatin1String("Get") || member == QLatin1String("GetAll") ||
            member == QLatin1String("Set"))
            return ErrorReply(call, QDBusError::InvalidArgs,
                              QStringLiteral("Invalid arguments for %1: %2").arg(member, call.signature()));
        return ErrorReply(call, QDBusError::UnknownMethod,
                          QStringLiteral("No method %1 in %2").arg(member, PropertiesInterface));
    }

    QDBusMessage PeerAnswer(const QDBusMessage& call) const {
        if (call.member() == QLatin1String("Ping")) return call.createReply();
        if (call.member() == QLatin1String("GetMachineId"))
            return call.createReply(QString::fromLatin1(QDBusConnection::localMachineId()));
        return ErrorReply(call, QDBusError::UnknownMethod,
                          QStringLiteral("No method %1 in %2").arg(call.member(), PeerInterface));
    }

    // An empty interface name asks for every interface of the object, which is ours alone.
    std::optional<QDBusMessage> CheckInterface(const QDBusMessage& call, const QString& name) const {
        if (name.isEmpty() || name == QLatin1String(iface_.InterfaceName)) return std::nullopt;
        return ErrorReply(
            call, QDBusError::UnknownInterface,
            QStringLiteral("No interface %1 on %2").arg(name, QLatin1String(iface_.ObjectPath)));
    }

    QVariantMap AllProperties() const {
        const TDateTime now = Now();
        QVariantMap all;
        for (const auto& m : iface_.Members)
            if (m.Kind == TClarityMemberKind::Property)
                all.insert(QLatin1String(m.Name), m.Read(values_, now));
        return all;
    }

    const TClarityInterface& iface_;
    const TAutomationValues& values_;
};

TAutomationServer::TAutomationServer(const TPublishedConditions& published, QObject* parent)
    : QObject(parent), values_(published.Values()) {
    static std::atomic<int> count{0};
    connectionName_ = QStringLiteral("orvanel-automation-%1").arg(++count);
}

TAutomationServer::~TAutomationServer() {
    Stop();
}

bool TAutomationServer::Start(const QString& busAddress) {
    Stop();
    const QString address =
        busAddress.isEmpty() ? qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS") : busAddress;
    QDBusConnection bus = address.isEmpty()
                              ? QDBusConnection::connectToBus(QDBusConnection::SessionBus, connectionName_)
                              : QDBusConnection::connectToBus(address, connectionName_);
    if (!bus.isConnected()) {
        LogToday(fmt::format("Automation server: no D-Bus session bus ({}); automation clients cannot reach "
                             "this program, which runs on without them",
                             bus.lastError().message().isEmpty()
                                 ? std::string("DBUS_SESSION_BUS_ADDRESS not set")
                                 : bus.lastError().message().toStdString()));
        QDBusConnection::disconnectFromBus(connectionName_);
        return false;
    }
    connected_ = true;
    bool allNames = true;
    for (const TClarityInterface* iface : ClarityInterfaces()) {
        auto object = std::make_unique<TClaritySensorObject>(*iface, values_);
        const QString path = QLatin1String(iface->ObjectPath);
        const QString name = QLatin1String(iface->BusName);
        // The object exists before its name, so a client started the moment the name appears finds it.
        if (!bus.registerVirtualObject(path, object.get(), QDBusConnection::SingleNode)) {
            LogToday(fmt::format("Automation server: cannot register object {}", path.toStdString()));
            allNames = false;
            continue;
        }
        objects_.push_back(std::move(object));
        if (bus.registerService(name)) {
            servedNames_.push_back(name);
        } else {
            allNames = false;
            LogToday(
                fmt::format("Automation server: bus name {} is taken by another program ({}); not served",
                            name.toStdString(), bus.lastError().message().toStdString()));
        }
    }
    LogToday(fmt::format("Automation server: serving {} on the bus as {}", NamesText(servedNames_),
                         bus.baseService().toStdString()));
    return allNames;
}

void TAutomationServer::Stop() {
    if (!connected_) return;
    QDBusConnection bus(connectionName_);
    for (const auto& name : servedNames_)
        bus.unregisterService(name);
    for (const TClarityInterface* iface : ClarityInterfaces())
        bus.unregisterObject(QLatin1String(iface->ObjectPath));
    servedNames_.clear();
    objects_.clear();
    QDBusConnection::disconnectFromBus(connectionName_);
    connected_ = false;
}
