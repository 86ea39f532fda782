// What the MQTT publisher sends, as plain values: the topics below the prefix, the state of one
// reading as JSON, the Home Assistant discovery configurations, and the checks of the prefixes.
// Plain C++, so that every message can be checked without a broker.
#pragma once

#include <string>
#include <vector>

#include "Conditions.h"
#include "DateTime.h"
#include "Records.h"
#include "SafetyVerdict.h"
#include "SettingsTable.h"

struct TMqttTopics {
    std::string Status; // availability: "online" / "offline"
    std::string State;  // one JSON object per reading
    std::string Safety; // "safe" / "unsafe"
};
TMqttTopics MqttTopics(const std::string& prefix);

// Empty when the prefix can start a topic name; otherwise why not, in the user's words (a wildcard
// "+" or "#", an empty level, a leading or trailing "/", a NUL, bytes that are no UTF-8 or control
// characters). `setting` names the setting.
std::string TopicPrefixError(const std::string& prefix, const char* setting);
// Empty when the client identifier can be sent to a broker: UTF-8 without control characters, at
// most 65535 bytes; otherwise why not, in the user's words.
std::string ClientIdError(const std::string& clientId);

// The verdict as the publisher shows it: the monitor's answer and the moment it last changed.
struct TMqttVerdict {
    bool Safe = false;
    std::vector<TUnsafeReason> Reasons;
    std::string ReasonsText; // in the language of the moment
    TDateTime Since = 0;
};

// A local date as ISO 8601 UTC: "2026-12-09T11:00:00Z".
std::string IsoUtc(TDateTime local);

// The state of one reading. Numbers are those of infodata.txt for the same reading, rounded the
// same way; a value the station did not report (gust, light) is null.
std::string MqttStateJson(const TcapteursInfos& reading, const TConditions& conditions, bool relayClosed,
                          bool linkLost, const TMqttVerdict& verdict);

struct TMqttMessage {
    std::string Topic;
    std::string Payload;
};

// The node of the discovery topics and unique ids: the client identifier with every character
// outside [A-Za-z0-9_-] made '_'.
std::string MqttNodeId(const std::string& clientId);

// One retained configuration per entity, under <DiscoveryPrefix>/<component>/<unique id>/config.
// Entity names are in the language of the moment.
std::vector<TMqttMessage> DiscoveryConfigs(const TMqttSettings& settings, const std::string& version);

