// The ClarityII type library as automation clients know it: both interfaces with their members in
// slot order, DISPIDs, types, enumerations and identifiers, and how each member reads its value.
// The D-Bus server serves exactly this description, and its introspection is generated from it.
#pragma once

#include <QString>
#include <QVariant>
#include <span>

#include "DateTime.h"
#include "PublishedConditions.h"

inline constexpr const char* ClarityLibraryName = "ClarityII";
inline constexpr const char* ClarityLibraryHelp = "ClarityII Library";
inline constexpr const char* ClarityLibraryGuid = "{D13A72A8-CD35-4194-A17D-F5E2F13EFA8D}";
inline constexpr const char* ClarityLibraryVersion = "8.0";

struct TClarityEnumValue {
    const char* Name;
    int Value;
};

struct TClarityEnum {
    const char* Name;
    const char* Guid;
    std::span<const TClarityEnumValue> Values;
};

enum class TClarityMemberKind { Property, Method };

// Reads a member's value at the moment of the call: the published values and the clock now.
using TClarityReader = QVariant (*)(const TAutomationValues& values, TDateTime now);

struct TClarityMember {
    const char* Name;
    TClarityMemberKind Kind;
    char Type; // D-Bus signature: 's', 'i', 'b' or 'd'; enumerations are 'i'
    int Dispid;
    const TClarityEnum* Enumeration; // null when the type is not an enumeration
    bool Constant;                   // the value never changes while the program runs
    TClarityReader Read;
};

struct TClarityInterface {
    const char* BusName;       // well-known name on the session bus
    const char* ObjectPath;    // the one object that serves the interface
    const char* InterfaceName; // D-Bus interface name
    const char* ComInterface;  // interface name in the type library
    const char* InterfaceGuid;
    const char* InterfaceHelp; // empty when the type library has none
    const char* ClassName;
    const char* ClassGuid;
    const char* ClassHelp;
    std::span<const TClarityMember> Members; // in slot order
};

const TClarityInterface& CloudSensorIIInterface();
const TClarityInterface& CloudSensorInterface();
// Both, CloudSensorII first.
std::span<const TClarityInterface* const> ClarityInterfaces();

// The member of that name, or null.
const TClarityMember* FindClarityMember(const TClarityInterface& iface, const QString& name,
                                        TClarityMemberKind kind);

// The whole introspection document of the interface's object: the interface with its annotations,
// then the standard Properties, Introspectable and Peer interfaces.
QString ClarityIntrospectionXml(const TClarityInterface& iface);
// Only the interface element (what a parent node embeds).
QString ClarityInterfaceXml(const TClarityInterface& iface);
