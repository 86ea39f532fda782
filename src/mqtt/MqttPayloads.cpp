#include "MqttPayloads.h"

#include <cmath>
#include <ctime>
#include <fmt/format.h>
#include <fmt/printf.h>
#include <mosquitto.h>

#include "Json.h"
#include "ReadingValues.h"
#include "UserText.h"

TMqttTopics MqttTopics(const std::string& prefix) {
    return {prefix + "/status", prefix + "/state", prefix + "/safety"};
}

std::string TopicPrefixError(const std::string& prefix, const char* setting) {
    const auto refuse = [&](const char* why) {
        return fmt::sprintf(Tr("Mqtt", "Le préfixe de sujet \"%s\" (réglage \"%s\" sous [MQTT]) %s."), prefix,
                            setting, why);
    };
    if (prefix.empty()) return refuse(Tr("Mqtt", "est vide").c_str());
    if (prefix.find_first_of("+#") != std::string::npos)
        return refuse(Tr("Mqtt", "contient un joker \"+\" ou \"#\", réservé aux abonnements").c_str());
    if (prefix.find('\0') != std::string::npos)
        return refuse(Tr("Mqtt", "contient un caractère nul").c_str());
    if (prefix.front() == '/' || prefix.back() == '/' || prefix.find("//") != std::string::npos)
        return refuse(Tr("Mqtt", "contient un niveau vide (\"/\" au début, à la fin ou doublé)").c_str());
    if (prefix.size() > 1000) return refuse(Tr("Mqtt", "est trop long").c_str());
    // Topics are UTF-8 without control characters; the library refuses every publish otherwise.
    if (mosquitto_validate_utf8(prefix.c_str(), static_cast<int>(prefix.size())) != MOSQ_ERR_SUCCESS)
        return refuse(
            Tr("Mqtt", "n'est pas un texte UTF-8 ou contient un caractère de contrôle (fichier enregistré "
                       "dans un autre codage ?)")
                .c_str());
    return {};
}

std::string ClientIdError(const std::string& clientId) {
    const auto refuse = [&](const char* why) {
        return fmt::sprintf(Tr("Mqtt", "L'identifiant de client \"%s\" (réglage \"ClientId\" sous [MQTT]) %s."),
                            clientId, why);
    };
    if (clientId.size() > 65535) return refuse(Tr("Mqtt", "est trop long").c_str());
    if (clientId.find('\0') != std::string::npos ||
        mosquitto_validate_utf8(clientId.c_str(), static_cast<int>(clientId.size())) != MOSQ_ERR_SUCCESS)
        return refuse(
            Tr("Mqtt", "n'est pas un texte UTF-8 ou contient un caractère de contrôle (fichier enregistré "
                       "dans un autre codage ?)")
                .c_str());
    return {};
}

std::string IsoUtc(TDateTime local) {
    const auto when = static_cast<std::time_t>(LocalToUnixSeconds(local));
    std::tm utc{};
    if (when == static_cast<std::time_t>(-1) || !::gmtime_r(&when, &utc)) return {};
    return fmt::format("{:04}-{:02}-{:02}T{:02}:{:02}:{:02}Z", utc.tm_year + 1900, utc.tm_mon + 1,
                       utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec);
}


namespace {

// The numbers of the state, in its order, as infodata.txt writes them; the rain flag stands between
// the detector's temperature and the gust.
const std::pair<const char*, TReadingValue> StateValuesBeforeRain[] = {
    {"sky_temperature_c", TReadingValue::SkyTemperature},
    {"sky_minus_ambient_c", TReadingValue::SkyMinusAmbient},
    {"ambient_temperature_c", TReadingValue::AmbientTemperature},
    {"dew_point_c", TReadingValue::DewPoint},
    {"humidity_percent", TReadingValue::Humidity},
    {"rain_sensor_temperature_c", TReadingValue::RainSensorTemperature},
    {"detector_temperature_c", TReadingValue::DetectorTemperature},
};

const std::pair<const char*, TReadingValue> StateValuesAfterRain[] = {
    {"wind_gust_kmh", TReadingValue::WindGust},
    {"wind_direction_deg", TReadingValue::WindDirection},
    {"sky_brightness_mag_arcsec2", TReadingValue::SkyBrightness},
    {"light_level_log", TReadingValue::LightLevel},
    {"heater_percent", TReadingValue::Heater},
    {"supply_v", TReadingValue::Supply},
};

const char* Bool(bool value) {
    return value ? "true" : "false";
}

const char* SkyKey(TSkyState state) {
    switch (state) {
    case TSkyState::Clear:
        return "clear";
    case TSkyState::Cloudy:
        return "cloudy";
    case TSkyState::VeryCloudy:
        return "very_cloudy";
    case TSkyState::Unknown:
        break;
    }
    return "unknown";
}

const char* WindKey(TWindState state) {
    switch (state) {
    case TWindState::Calm:
        return "calm";
    case TWindState::Windy:
        return "windy";
    case TWindState::VeryWindy:
        return "very_windy";
    case TWindState::Unknown:
        break;
    }
    return "unknown";
}

const char* AirKey(TAirState state) {
    switch (state) {
    case TAirState::Dry:
        return "dry";
    case TAirState::Humid:
        return "humid";
    case TAirState::VeryHumid:
        break;
    }
    return "very_humid";
}

const char* DayKey(TSkyBackgroundState state) {
    switch (state) {
    case TSkyBackgroundState::DarkNight:
        return "dark_night";
    case TSkyBackgroundState::GreyNight:
        return "grey_night";
    case TSkyBackgroundState::Twilight:
        return "twilight";
    case TSkyBackgroundState::Day:
        return "day";
    case TSkyBackgroundState::Unknown:
        break;
    }
    return "unknown";
}

std::string StateObject(int code, const char* text) {
    return fmt::format(R"({{"code":{},"text":"{}"}})", code, text);
}

} // namespace

std::string MqttStateJson(const TcapteursInfos& r, const TConditions& c, bool relayClosed, bool linkLost,
                          const TMqttVerdict& verdict) {
    std::string reasons;
    for (const TUnsafeReason reason : verdict.Reasons)
        reasons += (reasons.empty() ? "\"" : ",\"") + std::string(UnsafeReasonKey(reason)) + "\"";
    std::string json = "{";
    const auto field = [&](const char* name, const std::string& value) {
        json += (json.size() > 1 ? ",\"" : "\"") + std::string(name) + "\":" + value;
    };
    field("time", JsonString(IsoUtc(r.DateSysteme)));
    for (const auto& [key, value] : StateValuesBeforeRain)
        field(key, JsonNumberText(ReadingValueText(r, value)));
    field("rain", Bool(r.RainStatus != 0));
    for (const auto& [key, value] : StateValuesAfterRain)
        field(key, JsonNumberText(ReadingValueText(r, value)));
    field("states", "{\"sky\":" + StateObject(c.CloudCode(), SkyKey(c.Sky)) +
                        ",\"wind\":" + StateObject(c.WindCode(), WindKey(c.Wind)) +
                        ",\"air\":" + StateObject(c.RainCode(), AirKey(c.Air)) +
                        ",\"rain\":" + StateObject(c.Raining ? 1 : 0, c.Raining ? "rain" : "no_rain") +
                        ",\"sky_background\":" + StateObject(c.DayCode(), DayKey(c.SkyBackground)) + "}");
    field("relay_closed", Bool(relayClosed));
    field("safe", Bool(verdict.Safe));
    field("reasons", "[" + reasons + "]");
    field("reasons_text", JsonString(verdict.ReasonsText));
    field("since", JsonString(IsoUtc(verdict.Since)));
    field("link_lost", Bool(linkLost));
    return json + "}";
}

std::string MqttNodeId(const std::string& clientId) {
    std::string node = clientId;
    for (char& c : node)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '-') c = '_';
    return node.empty() ? "orvanel" : node;
}

namespace {

// One entity of the device.
struct TEntity {
    const char* Component; // "sensor" or "binary_sensor"
    const char* Key;       // of the unique id
    const char* Name;      // French source text
    const char* Template;
    const char* DeviceClass; // nullptr: none
    const char* Unit;
    const char* StateClass;
    bool Attributes = false; // the verdict's reasons as attributes
};

// The sensors carry the key of the state object; a null renders as "None", which Home Assistant
// shows as unknown.
const TEntity Entities[] = {
    {"sensor", "sky_temperature", TrNoop("Mqtt", "Température du ciel"), "{{ value_json.sky_temperature_c }}",
     "temperature", "°C", "measurement"},
    {"sensor", "sky_minus_ambient", TrNoop("Mqtt", "Ciel moins ambiante"),
     "{{ value_json.sky_minus_ambient_c }}", nullptr, "°C", "measurement"},
    {"sensor", "ambient_temperature", TrNoop("Mqtt", "Température ambiante"),
     "{{ value_json.ambient_temperature_c }}", "temperature", "°C", "measurement"},
    {"sensor", "dew_point", TrNoop("Mqtt", "Point de rosée"), "{{ value_json.dew_point_c }}", "temperature",
     "°C", "measurement"},
    {"sensor", "humidity", TrNoop("Mqtt", "Humidité"), "{{ value_json.humidity_percent }}", "humidity", "%",
     "measurement"},
    {"sensor", "wind_gust", TrNoop("Mqtt", "Rafale de vent"), "{{ value_json.wind_gust_kmh }}", "wind_speed",
     "km/h", "measurement"},
    {"sensor", "wind_direction", TrNoop("Mqtt", "Direction du vent"), "{{ value_json.wind_direction_deg }}",
     "wind_direction", "°", "measurement_angle"},
    {"sensor", "sky_brightness", TrNoop("Mqtt", "Fond de ciel"),
     "{{ value_json.sky_brightness_mag_arcsec2 }}", nullptr, "mag/arcsec²", "measurement"},
    {"sensor", "light_level", TrNoop("Mqtt", "Niveau de lumière (log)"), "{{ value_json.light_level_log }}",
     nullptr, nullptr, "measurement"},
    {"sensor", "heater", TrNoop("Mqtt", "Chauffage du capteur de pluie"), "{{ value_json.heater_percent }}",
     nullptr, "%", "measurement"},
    {"sensor", "supply", TrNoop("Mqtt", "Tension d'alimentation"), "{{ value_json.supply_v }}", "voltage",
     "V", "measurement"},
    {"binary_sensor", "rain", TrNoop("Mqtt", "Pluie"), "{{ 'ON' if value_json.rain else 'OFF' }}", "moisture",
     nullptr, nullptr},
    {"binary_sensor", "relay", TrNoop("Mqtt", "Relais de fermeture du toit fermé"),
     "{{ 'ON' if value_json.relay_closed else 'OFF' }}", nullptr, nullptr, nullptr},
    {"binary_sensor", "station_link", TrNoop("Mqtt", "Liaison avec la station"),
     "{{ 'OFF' if value_json.link_lost else 'ON' }}", "connectivity", nullptr, nullptr},
    // Home Assistant's safety class: on means unsafe.
    {"binary_sensor", "safety", TrNoop("Mqtt", "Conditions dangereuses pour l'observatoire"),
     "{{ 'OFF' if value_json.safe else 'ON' }}", "safety", nullptr, nullptr, true},
};

} // namespace

std::vector<TMqttMessage> DiscoveryConfigs(const TMqttSettings& settings, const std::string& version) {
    const std::string node = MqttNodeId(settings.ClientId);
    const TMqttTopics topics = MqttTopics(settings.TopicPrefix);
    const std::string device = fmt::format(
        R"({{"identifiers":[{}],"name":{},"model":"Halvex","manufacturer":"Orvanel","sw_version":{}}})",
        JsonString(node), JsonString("Orvanel " + settings.ClientId), JsonString(version));
    const std::string origin = fmt::format(R"({{"name":"Orvanel","sw_version":{}}})", JsonString(version));
    std::vector<TMqttMessage> configs;
    for (const TEntity& e : Entities) {
        const std::string id = node + "_" + e.Key;
        std::string json = "{\"unique_id\":" + JsonString(id) + ",\"object_id\":" + JsonString(id) +
                           ",\"name\":" + JsonString(Tr("Mqtt", e.Name)) +
                           ",\"state_topic\":" + JsonString(topics.State) +
                           ",\"value_template\":" + JsonString(e.Template) +
                           ",\"availability_topic\":" + JsonString(topics.Status) +
                           ",\"payload_available\":\"online\",\"payload_not_available\":\"offline\"";
        if (std::string(e.Component) == "binary_sensor")
            json += ",\"payload_on\":\"ON\",\"payload_off\":\"OFF\"";
        if (e.DeviceClass) json += ",\"device_class\":" + JsonString(e.DeviceClass);
        if (e.Unit) json += ",\"unit_of_measurement\":" + JsonString(e.Unit);
        if (e.StateClass) json += ",\"state_class\":" + JsonString(e.StateClass);
        if (e.Attributes)
            json += ",\"json_attributes_topic\":" + JsonString(topics.State) +
                    ",\"json_attributes_template\":" +
                    JsonString("{{ {'reasons': value_json.reasons, 'reasons_text': value_json.reasons_text, "
                               "'since': value_json.since} | tojson }}");
        json += ",\"device\":" + device + ",\"origin\":" + origin + "}";
        configs.push_back({settings.DiscoveryPrefix + "/" + e.Component + "/" + id + "/config", json});
    }
    return configs;
}
