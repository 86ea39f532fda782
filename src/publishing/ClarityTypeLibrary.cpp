#include "ClarityTypeLibrary.h"

#include <array>
#include <QStringList>

namespace {

using Kind = TClarityMemberKind;
using V = TAutomationValues;

constexpr std::array<TClarityEnumValue, 4> CloudCondValues{
    {{"cloudUnknown", 0}, {"cloudClear", 1}, {"cloudCloudy", 2}, {"cloudVeryCloudy", 3}}};
constexpr std::array<TClarityEnumValue, 4> WindCondValues{
    {{"windUnknown", 0}, {"windCalm", 1}, {"windWindy", 2}, {"windVeryWindy", 3}}};
constexpr std::array<TClarityEnumValue, 4> RainCondValues{
    {{"rainUnknown", 0}, {"rainDry", 1}, {"rainWet", 2}, {"rainRain", 3}}};
constexpr std::array<TClarityEnumValue, 4> DayCondValues{
    {{"dayUnknown", 0}, {"dayDark", 1}, {"dayLight", 2}, {"dayVeryLight", 3}}};
constexpr std::array<TClarityEnumValue, 5> SkyCondValues{
    {{"SkyUnknown", 0}, {"SkyClear", 1}, {"SkyCloudy", 2}, {"SkyVeryCloudy", 3}, {"SkyWet", 4}}};

const TClarityEnum CloudCond{"CloudCond", "{DF508683-BD54-4D19-8C3C-2107F064652A}", CloudCondValues};
const TClarityEnum WindCond{"WindCond", "{1DDE88E1-692C-4D26-9DF5-735B010D69D1}", WindCondValues};
const TClarityEnum RainCond{"RainCond", "{CC613783-1FBD-43ED-975B-7338FFD06017}", RainCondValues};
const TClarityEnum DayCond{"DayCond", "{27754769-9031-4F5B-A6D7-42890DFA9C49}", DayCondValues};
const TClarityEnum SkyCond{"SkyCond", "{77548FF8-07AE-4BC1-AED6-769FEE3F9BC0}", SkyCondValues};

// Readers: captureless lambdas turned into function pointers.
QVariant Int(int value) {
    return QVariant(value);
}

const TClarityMember CloudSensorIIMembers[] = {
    {"ClarityIIVersion", Kind::Property, 's', 201, nullptr, true,
     [](const V&, TDateTime) { return QVariant(QStringLiteral("v1.56")); }},
    {"FirmwareVersion", Kind::Property, 'i', 202, nullptr, true,
     [](const V&, TDateTime) { return Int(257); }},
    {"CloudCondition", Kind::Property, 'i', 203, &CloudCond, false,
     [](const V& v, TDateTime) { return Int(v.CloudCondition); }},
    {"WindCondition", Kind::Property, 'i', 204, &WindCond, false,
     [](const V& v, TDateTime) { return Int(v.WindCondition); }},
    {"DayCondition", Kind::Property, 'i', 205, &DayCond, false,
     [](const V& v, TDateTime) { return Int(v.DayCondition); }},
    {"RelSkyT", Kind::Property, 'd', 206, nullptr, false,
     [](const V& v, TDateTime) { return QVariant(v.RelSkyT); }},
    {"SensorT", Kind::Property, 'd', 208, nullptr, false,
     [](const V& v, TDateTime) { return QVariant(v.SensorT); }},
    {"Wind", Kind::Property, 'd', 209, nullptr, false,
     [](const V& v, TDateTime) { return QVariant(v.Wind); }},
    {"HumidityPercent", Kind::Property, 'd', 210, nullptr, false,
     [](const V& v, TDateTime) { return QVariant(v.HumidityPercent); }},
    {"DewPointT", Kind::Property, 'd', 211, nullptr, false,
     [](const V& v, TDateTime) { return QVariant(v.DewPointT); }},
    {"RainCondition", Kind::Property, 'i', 212, &RainCond, false,
     [](const V& v, TDateTime) { return Int(v.RainCondition); }},
    {"DayLightV", Kind::Property, 'i', 213, nullptr, true, [](const V&, TDateTime) { return Int(0); }},
    {"RainF", Kind::Property, 'b', 214, nullptr, false,
     [](const V& v, TDateTime) { return QVariant(v.RainF); }},
    {"WetF", Kind::Property, 'b', 215, nullptr, false,
     [](const V& v, TDateTime) { return QVariant(v.RainF); }},
    {"HeaterPercent", Kind::Property, 'd', 216, nullptr, false,
     [](const V& v, TDateTime) { return QVariant(v.HeaterPercent); }},
    {"CloudyThreshT", Kind::Property, 'd', 217, nullptr, false,
     [](const V& v, TDateTime) { return QVariant(v.CloudyThreshT); }},
    {"VCloudyThreshT", Kind::Property, 'd', 218, nullptr, false,
     [](const V& v, TDateTime) { return QVariant(v.VCloudyThreshT); }},
    {"WindyThreshSpeed", Kind::Property, 'd', 219, nullptr, false,
     [](const V& v, TDateTime) { return QVariant(v.WindyThreshSpeed); }},
    {"VWindyThreshSpeed", Kind::Property, 'd', 220, nullptr, false,
     [](const V& v, TDateTime) { return QVariant(v.VWindyThreshSpeed); }},
    {"DayThreshV", Kind::Property, 'd', 221, nullptr, true,
     [](const V&, TDateTime) { return QVariant(0.0); }},
    {"VDayThreshV", Kind::Property, 'd', 222, nullptr, true,
     [](const V&, TDateTime) { return QVariant(0.0); }},
    {"RainThreshV", Kind::Property, 'i', 223, nullptr, true, [](const V&, TDateTime) { return Int(0); }},
    {"WetThreshV", Kind::Property, 'i', 224, nullptr, true, [](const V&, TDateTime) { return Int(0); }},
    {"Fahrenheit", Kind::Property, 'b', 225, nullptr, true,
     [](const V&, TDateTime) { return QVariant(false); }},
    {"WindUnits", Kind::Property, 'i', 226, nullptr, true, [](const V&, TDateTime) { return Int(0); }},
    {"Mph", Kind::Property, 'b', 227, nullptr, true, [](const V&, TDateTime) { return QVariant(false); }},
    {"SecondsSinceGoodData", Kind::Property, 'i', 228, nullptr, false,
     [](const V& v, TDateTime now) { return Int(SecondsSinceGoodData(v, now)); }},
    {"RoofCloseRequested", Kind::Property, 'b', 229, nullptr, false,
     [](const V& v, TDateTime) { return QVariant(v.RoofCloseRequested); }},
    {"DataReady", Kind::Method, 'b', 230, nullptr, true, [](const V&, TDateTime) { return QVariant(true); }},
    {"RoofClose", Kind::Method, 'b', 231, nullptr, true, [](const V&, TDateTime) { return QVariant(false); }},
    {"MagnitudeSec", Kind::Property, 'd', 232, nullptr, false,
     [](const V& v, TDateTime) { return QVariant(v.MagnitudeSec); }},
    // AmbientT came late to the interface: slot 32, DISPID 207.
    {"AmbientT", Kind::Property, 'd', 207, nullptr, false,
     [](const V& v, TDateTime) { return QVariant(v.AmbientT); }},
    {"WindDir", Kind::Property, 'd', 233, nullptr, false,
     [](const V& v, TDateTime) { return QVariant(v.WindDir); }},
};

const TClarityMember CloudSensorMembers[] = {
    // The wet-sky state of the old interface is never reported: the sky is the cloud condition.
    {"SkyCondition", Kind::Property, 'i', 201, &SkyCond, false,
     [](const V& v, TDateTime) { return Int(v.CloudCondition); }},
    {"RelSkyT", Kind::Property, 'd', 202, nullptr, false,
     [](const V& v, TDateTime) { return QVariant(v.RelSkyT); }},
    {"AmbientT", Kind::Property, 'd', 203, nullptr, false,
     [](const V& v, TDateTime) { return QVariant(v.AmbientT); }},
    {"SensorT", Kind::Property, 'd', 204, nullptr, false,
     [](const V& v, TDateTime) { return QVariant(v.SensorT); }},
    {"WetF", Kind::Property, 'b', 205, nullptr, false,
     [](const V& v, TDateTime) { return QVariant(v.RainF); }},
    {"HeatingF", Kind::Property, 'b', 206, nullptr, true,
     [](const V&, TDateTime) { return QVariant(false); }},
    {"HeaterPercent", Kind::Property, 'd', 207, nullptr, false,
     [](const V& v, TDateTime) { return QVariant(v.HeaterPercent); }},
    {"CloudyThreshT", Kind::Property, 'd', 208, nullptr, false,
     [](const V& v, TDateTime) { return QVariant(v.CloudyThreshT); }},
    {"VCloudyThreshT", Kind::Property, 'd', 209, nullptr, false,
     [](const V& v, TDateTime) { return QVariant(v.VCloudyThreshT); }},
    {"Fahrenheit", Kind::Property, 'b', 210, nullptr, true,
     [](const V&, TDateTime) { return QVariant(false); }},
    {"SecondsSinceGoodData", Kind::Property, 'i', 211, nullptr, false,
     [](const V& v, TDateTime now) { return Int(SecondsSinceGoodData(v, now)); }},
};

const TClarityInterface CloudSensorII{
    "ClarityII.CloudSensorII",
    "/CloudSensorII",
    "ClarityII.ICloudSensorII",
    "ICloudSensorII",
    "{F8567373-AC03-4A03-8622-5874A2947227}",
    "Dispatch interface for CloudSensorII Object",
    "CloudSensorII",
    "{E6DEBF91-4036-4A0D-AE04-89B8C92E37ED}",
    "CloudSensorII Object",
    CloudSensorIIMembers,
};

const TClarityInterface CloudSensor{
    "ClarityII.CloudSensor",
    "/CloudSensor",
    "ClarityII.ICloudSensor",
    "ICloudSensor",
    "{882AE0F0-F100-41BB-B90B-50F613CE1801}",
    "",
    "CloudSensor",
    "{782C0A2F-CC19-45DD-AB47-3E71E8C55A4D}",
    "",
    CloudSensorMembers,
};

const TClarityInterface* const AllInterfaces[] = {&CloudSensorII, &CloudSensor};

QString Escaped(const QString& text) {
    return text.toHtmlEscaped();
}

void Annotation(QString& xml, const QString& indent, const QString& name, const QString& value) {
    xml += indent + QStringLiteral("<annotation name=\"%1\" value=\"%2\"/>\n").arg(name, Escaped(value));
}

QString EnumValuesText(const TClarityEnum& e) {
    QStringList parts;
    for (const auto& v : e.Values)
        parts << QStringLiteral("%1=%2").arg(QLatin1String(v.Name)).arg(v.Value);
    return parts.join(QLatin1Char(' '));
}

void MemberAnnotations(QString& xml, const TClarityMember& m, int slot) {
    const QString in = QStringLiteral("      ");
    Annotation(xml, in, QStringLiteral("ClarityII.DISPID"), QString::number(m.Dispid));
    Annotation(xml, in, QStringLiteral("ClarityII.Slot"), QString::number(slot));
    if (m.Enumeration) {
        Annotation(xml, in, QStringLiteral("ClarityII.Enumeration"), QLatin1String(m.Enumeration->Name));
        Annotation(xml, in, QStringLiteral("ClarityII.Enumeration.GUID"), QLatin1String(m.Enumeration->Guid));
        Annotation(xml, in, QStringLiteral("ClarityII.Enumeration.Values"), EnumValuesText(*m.Enumeration));
    }
    if (m.Kind == Kind::Property)
        // Clients poll: no PropertiesChanged signal is sent.
        Annotation(xml, in, QStringLiteral("org.freedesktop.DBus.Property.EmitsChangedSignal"),
                   m.Constant ? QStringLiteral("const") : QStringLiteral("false"));
}

void InterfaceAnnotations(QString& xml, const TClarityInterface& i) {
    const QString in = QStringLiteral("    ");
    Annotation(xml, in, QStringLiteral("ClarityII.TypeLibrary"), QLatin1String(ClarityLibraryName));
    Annotation(xml, in, QStringLiteral("ClarityII.TypeLibrary.GUID"), QLatin1String(ClarityLibraryGuid));
    Annotation(xml, in, QStringLiteral("ClarityII.TypeLibrary.Version"),
               QLatin1String(ClarityLibraryVersion));
    Annotation(xml, in, QStringLiteral("ClarityII.TypeLibrary.HelpString"),
               QLatin1String(ClarityLibraryHelp));
    Annotation(xml, in, QStringLiteral("ClarityII.Interface"), QLatin1String(i.ComInterface));
    Annotation(xml, in, QStringLiteral("ClarityII.Interface.GUID"), QLatin1String(i.InterfaceGuid));
    Annotation(xml, in, QStringLiteral("ClarityII.Interface.Version"), QStringLiteral("1.0"));
    if (*i.InterfaceHelp)
        Annotation(xml, in, QStringLiteral("ClarityII.Interface.HelpString"), QLatin1String(i.InterfaceHelp));
    Annotation(xml, in, QStringLiteral("ClarityII.Class"), QLatin1String(i.ClassName));
    Annotation(xml, in, QStringLiteral("ClarityII.Class.GUID"), QLatin1String(i.ClassGuid));
    Annotation(xml, in, QStringLiteral("ClarityII.Class.Version"), QStringLiteral("1.0"));
    if (*i.ClassHelp)
        Annotation(xml, in, QStringLiteral("ClarityII.Class.HelpString"), QLatin1String(i.ClassHelp));
    Annotation(xml, in, QStringLiteral("ClarityII.ProgID"),
               QStringLiteral("%1.%2").arg(QLatin1String(ClarityLibraryName), QLatin1String(i.ClassName)));
}

void MemberXml(QString& xml, const TClarityMember& m, int slot) {
    const QString type(QLatin1Char(m.Type));
    if (m.Kind == Kind::Property) {
        xml += QStringLiteral("    <property name=\"%1\" type=\"%2\" access=\"read\">\n")
                   .arg(QLatin1String(m.Name), type);
        MemberAnnotations(xml, m, slot);
        xml += QStringLiteral("    </property>\n");
    } else {
        xml += QStringLiteral("    <method name=\"%1\">\n").arg(QLatin1String(m.Name));
        xml += QStringLiteral("      <arg name=\"Param1\" type=\"%1\" direction=\"out\"/>\n").arg(type);
        MemberAnnotations(xml, m, slot);
        xml += QStringLiteral("    </method>\n");
    }
}

const char* StandardInterfacesXml = R"(  <interface name="org.freedesktop.DBus.Properties">
    <method name="Get">
      <arg name="interface_name" type="s" direction="in"/>
      <arg name="property_name" type="s" direction="in"/>
      <arg name="value" type="v" direction="out"/>
    </method>
    <method name="GetAll">
      <arg name="interface_name" type="s" direction="in"/>
      <arg name="values" type="a{sv}" direction="out"/>
    </method>
    <method name="Set">
      <arg name="interface_name" type="s" direction="in"/>
      <arg name="property_name" type="s" direction="in"/>
      <arg name="value" type="v" direction="in"/>
    </method>
    <signal name="PropertiesChanged">
      <arg name="interface_name" type="s"/>
      <arg name="changed_properties" type="a{sv}"/>
      <arg name="invalidated_properties" type="as"/>
    </signal>
  </interface>
  <interface name="org.freedesktop.DBus.Introspectable">
    <method name="Introspect">
      <arg name="xml_data" type="s" direction="out"/>
    </method>
  </interface>
  <interface name="org.freedesktop.DBus.Peer">
    <method name="Ping"/>
    <method name="GetMachineId">
      <arg name="machine_uuid" type="s" direction="out"/>
    </method>
  </interface>
)";

} // namespace

const TClarityInterface& CloudSensorIIInterface() {
    return CloudSensorII;
}
const TClarityInterface& CloudSensorInterface() {
    return CloudSensor;
}
std::span<const TClarityInterface* const> ClarityInterfaces() {
    return AllInterfaces;
}

const TClarityMember* FindClarityMember(const TClarityInterface& iface, const QString& name,
                                        TClarityMemberKind kind) {
    for (const auto& m : iface.Members)
        if (m.Kind == kind && name == QLatin1String(m.Name)) return &m;
    return nullptr;
}

QString ClarityInterfaceXml(const TClarityInterface& iface) {
    QString xml = QStringLiteral("  <interface name=\"%1\">\n").arg(QLatin1String(iface.InterfaceName));
    InterfaceAnnotations(xml, iface);
    int slot = 0;
    for (const auto& m : iface.Members)
        MemberXml(xml, m, ++slot);
    xml += QStringLiteral("  </interface>\n");
    return xml;
}

QString ClarityIntrospectionXml(const TClarityInterface& iface) {
    QString xml =
        QStringLiteral("<!DOCTYPE node PUBLIC \"-//freedesktop//DTD D-BUS Object Introspection 1.0//EN\"\n"
                       " \"http://www.freedesktop.org/standards/dbus/1.0/introspect.dtd\">\n");
    xml += QStringLiteral("<node name=\"%1\">\n").arg(QLatin1String(iface.ObjectPath));
    xml += ClarityInterfaceXml(iface);
    xml += QLatin1String(StandardInterfacesXml);
    xml += QStringLiteral("</node>\n");
    return xml;
}
