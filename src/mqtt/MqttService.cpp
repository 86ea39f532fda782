#include "MqttService.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <fmt/format.h>
#include <fmt/printf.h>
#include <future>
#include <mosquitto.h>
#include <mutex>
#include <sys/stat.h>

#include "Log.h"
#include "UserText.h"

#ifndef ORVANEL_VERSION
#define ORVANEL_VERSION "0"
#endif

namespace {

constexpr int FirstRetrySec = 1;
constexpr int LastRetrySec = 60;
// The whole close: "offline", the DISCONNECT, the end of the network thread.
constexpr auto CloseLimit = std::chrono::milliseconds(1500);

TMqttStatus StatusOf(TMqttLink link, TMqttProblem problem = TMqttProblem::None, std::string detail = {},
                     int retrySec = 0, bool wasConnected = false) {
    TMqttStatus status;
    status.Link = link;
    status.Problem = problem;
    status.Detail = std::move(detail);
    status.RetrySec = retrySec;
    status.WasConnected = wasConnected;
    return status;
}

void InitLibrary() {
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

} // namespace

std::string MqttProblemText(TMqttProblem problem, const std::string& detail) {
    switch (problem) {
    case TMqttProblem::None:
        return {};
    case TMqttProblem::UnknownHost:
        return Tr("Mqtt", "hôte inconnu");
    case TMqttProblem::Refused:
        return Tr("Mqtt", "connexion refusée : aucun courtier n'écoute sur ce port");
    case TMqttProblem::LoginRefused:
        return Tr("Mqtt", "identifiant ou mot de passe refusé par le courtier");
    case TMqttProblem::NotAuthorized:
        return Tr("Mqtt", "connexion non autorisée par le courtier");
    case TMqttProblem::Tls:
        return Tr("Mqtt", "échec TLS (certificat non reconnu ou courtier sans TLS)");
    case TMqttProblem::ClosedByBroker:
        return Tr("Mqtt", "connexion fermée par le courtier");
    case TMqttProblem::NoAnswer:
        return Tr("Mqtt", "le courtier ne répond plus");
    case TMqttProblem::Other:
        break;
    }
    return detail.empty() ? Tr("Mqtt", "erreur réseau") : detail;
}

std::string MqttStatusText(const TMqttStatus& s) {
    const std::string where = fmt::format("{}:{}", s.Host, s.Port);
    const std::string problem = MqttProblemText(s.Problem, s.Detail);
    switch (s.Link) {
    case TMqttLink::Connecting:
        return fmt::sprintf(Tr("Mqtt", "MQTT : connexion à %s..."), where);
    case TMqttLink::Connected:
        return fmt::sprintf(Tr("Mqtt", "MQTT : connecté à %s"), where);
    case TMqttLink::Retrying:
        if (s.WasConnected)
            return fmt::sprintf(Tr("Mqtt", "MQTT : connexion perdue (%s), nouvel essai dans %d s"), problem,
                                s.RetrySec);
        return fmt::sprintf(Tr("Mqtt", "MQTT : connexion impossible à %s (%s), nouvel essai dans %d s"),
                            where, problem, s.RetrySec);
    case TMqttLink::Failed:
        return fmt::sprintf(Tr("Mqtt", "MQTT : connexion impossible à %s (%s). Corrigez les réglages sous "
                                       "[MQTT] ; pas de nouvel essai d'ici là."),
                            where, problem);
    case TMqttLink::Stopped:
        break;
    }
    return Tr("Mqtt", "MQTT : arrêté");
}

// ---- What the two threads share ------------------------------------------------------------------

struct TMqttService::TShared {
    ~TShared() {
        if (mosq) mosquitto_destroy(mosq);
    }

    TMqttSettings settings;
    TMqttTopics topics;
    std::vector<TMqttMessage> discovery; // made on the main thread at the start
    std::string removalFilter;           // Discovery No: where earlier configurations may remain

    mutable std::mutex mutex;
    std::condition_variable wake; // the retry pause, cut short by Stop
    mosquitto* mosq = nullptr;
    bool connected = false;
    bool stopping = false;
    bool hasState = false;
    std::string state, safety;
    TMqttStatus status;
    TMqttProblem problem = TMqttProblem::None; // of the connection just ended
    std::string detail;
    std::mutex listenerMutex;
    std::function<void(const TMqttStatus&)> listener;

    // Under the mutex: only while connected, so that nothing queues up for a later connection.
    void PublishLocked(const std::string& topic, const std::string& payload, bool retain) {
        if (!connected || !mosq) return;
        const int rc = mosquitto_publish(mosq, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                                         payload.data(), settings.QoS, retain);
        if (rc != MOSQ_ERR_SUCCESS)
            LogToday(fmt::format("MQTT publish to {} failed -> {}", topic, mosquitto_strerror(rc)));
    }

    // Everything a new connection (or Home Assistant's return) needs: availability, discovery,
    // the latest verdict and state.
    void AnnounceLocked(bool discoveryOnly) {
        if (!discoveryOnly) PublishLocked(topics.Status, "online", true);
        if (settings.Discovery)
            for (const TMqttMessage& m : discovery)
                PublishLocked(m.Topic, m.Payload, true);
        if (discoveryOnly) return;
        if (!safety.empty()) PublishLocked(topics.Safety, safety, true);
        if (hasState) PublishLocked(topics.State, state, true);
    }

    void Report(TMqttStatus next) {
        {
            std::lock_guard lock(mutex);
            next.Host = settings.Host;
            next.Port = settings.Port;
            status = next;
        }
        // Called under its own lock, so that once the listener is taken away it is never called again.
        std::lock_guard lock(listenerMutex);
        if (listener) listener(next);
    }

    // ---- Callbacks, on the network thread ----

    void OnConnect(int rc) {
        if (rc != 0) {
            std::lock_guard lock(mutex);
            problem = rc == 4   ? TMqttProblem::LoginRefused
                      : rc == 5 ? TMqttProblem::NotAuthorized
                                : TMqttProblem::Other;
            detail = mosquitto_connack_string(rc);
            return;
        }
        {
            std::lock_guard lock(mutex);
            connected = true;
            problem = TMqttProblem::None;
            if (settings.Discovery)
                mosquitto_subscribe(mosq, nullptr, (settings.DiscoveryPrefix + "/status").c_str(), 0);
            else
                mosquitto_subscribe(mosq, nullptr, removalFilter.c_str(), 0);
            AnnounceLocked(false);
        }
        LogToday(fmt::format("MQTT connected to {}:{}", settings.Host, settings.Port));
        Report(StatusOf(TMqttLink::Connected));
    }

    void OnDisconnect(int rc) {
        const int error = errno;
        std::lock_guard lock(mutex);
        connected = false;
        if (problem != TMqttProblem::None) return; // the refusal said it already
        switch (rc) {
        case MOSQ_ERR_SUCCESS:
            break;
        case MOSQ_ERR_TLS:
            problem = TMqttProblem::Tls;
            break;
        case MOSQ_ERR_KEEPALIVE:
            problem = TMqttProblem::NoAnswer;
            break;
        case MOSQ_ERR_CONN_LOST:
            problem = TMqttProblem::ClosedByBroker;
            break;
        case MOSQ_ERR_ERRNO:
            problem = error == ECONNREFUSED                   ? TMqttProblem::Refused
                      : error == ECONNRESET || error == EPIPE ? TMqttProblem::ClosedByBroker
                                                              : TMqttProblem::Other;
            detail = std::strerror(error);
            break;
        default:
            problem = TMqttProblem::Other;
            detail = mosquitto_strerror(rc);
        }
    }

    void OnMessage(const mosquitto_message& message) {
        const std::string topic = message.topic ? message.topic : "";
        const std::string payload(static_cast<const char*>(message.payload),
                                  static_cast<size_t>(std::max(0, message.payloadlen)));
        std::lock_guard lock(mutex);
        if (settings.Discovery) {
            // Home Assistant (re)started: it has forgotten the entities that were not retained.
            if (topic == settings.DiscoveryPrefix + "/status" && payload == "online") {
                LogToday("MQTT: Home Assistant announced itself, discovery sent again");
                AnnounceLocked(true);
            }
            return;
        }
        // Discovery switched off: a configuration this program published earlier is removed.
        if (payload.empty()) return;
        for (const TMqttMessage& m : discovery)
            if (m.Topic == topic) {
                LogToday("MQTT: discovery configuration removed: " + topic);
                PublishLocked(topic, "", true);
            }
    }

    // ---- The network thread ----

    // Waits `seconds` unless the service stops; false when it stops.
    bool Pause(int seconds) {
        std::unique_lock lock(mutex);
        return !wake.wait_for(lock, std::chrono::seconds(seconds), [this] { return stopping; });
    }

    bool Stopping() const {
        std::lock_guard lock(mutex);
        return stopping;
    }

    TMqttProblem TakeProblem(std::string& why) {
        std::lock_guard lock(mutex);
        const TMqttProblem p = problem;
        why = detail;
        problem = TMqttProblem::None;
        detail.clear();
        return p;
    }

    void Run() {
        int retry = FirstRetrySec;
        bool first = true;
        std::string lastLogged;
        while (!Stopping()) {
            Report(StatusOf(TMqttLink::Connecting));
            int rc = first ? mosquitto_connect_async(mosq, settings.Host.c_str(), settings.Port,
                                                     settings.KeepAliveSec)
                           : mosquitto_reconnect_async(mosq);
            const int error = errno;
            first = false;
            bool wasConnected = false;
            if (rc == MOSQ_ERR_SUCCESS) {
                while (true) {
                    rc = mosquitto_loop(mosq, 200, 1);
                    std::lock_guard lock(mutex);
                    wasConnected |= connected;
                    if (rc != MOSQ_ERR_SUCCESS || (stopping && !connected)) break;
                }
            } else {
                std::lock_guard lock(mutex);
                problem = rc == MOSQ_ERR_EAI                              ? TMqttProblem::UnknownHost
                          : rc == MOSQ_ERR_ERRNO && error == ECONNREFUSED ? TMqttProblem::Refused
                          : rc == MOSQ_ERR_TLS                            ? TMqttProblem::Tls
                                                                          : TMqttProblem::Other;
                detail = rc == MOSQ_ERR_ERRNO ? std::strerror(error) : mosquitto_strerror(rc);
            }
            if (Stopping()) break;
            if (wasConnected) {
                retry = FirstRetrySec;
                lastLogged.clear();
            }
            std::string why;
            TMqttProblem problem = TakeProblem(why);
            // A failed TLS handshake ends the loop without the disconnection callback.
            if (problem == TMqttProblem::None && rc == MOSQ_ERR_TLS) problem = TMqttProblem::Tls;
            if (problem == TMqttProblem::None) problem = TMqttProblem::ClosedByBroker;
            // Retrying cannot mend a refused login or a certificate: the settings must change.
            const bool hopeless = problem == TMqttProblem::LoginRefused ||
                                  problem == TMqttProblem::NotAuthorized || problem == TMqttProblem::Tls;
            // Closed before the broker answered, with TLS on: most likely a broker without TLS on that
            // port; said so, and tried again (a TLS broker that was restarting comes back).
            if (settings.Tls && !wasConnected &&
                (problem == TMqttProblem::ClosedByBroker || problem == TMqttProblem::Other))
                problem = TMqttProblem::Tls;
            const std::string where = fmt::format("{}:{}", settings.Host, settings.Port);
            if (hopeless) {
                LogToday(fmt::format("MQTT connection to {} failed ({}), not retried", where, why));
                Report(StatusOf(TMqttLink::Failed, problem, why));
                std::unique_lock lock(mutex);
                wake.wait(lock, [this] { return stopping; });
                break;
            }
            // A broker away for days: one line per change, not one per attempt.
            const std::string line =
                fmt::format("MQTT connection to {} {} ({}), retry in {} s", where,
                            wasConnected ? "lost" : "failed", why.empty() ? "closed" : why, retry);
            if (line != lastLogged) LogToday(line);
            lastLogged = line;
            Report(StatusOf(TMqttLink::Retrying, problem, why, retry, wasConnected));
            if (!Pause(retry)) break;
            retry = std::min(retry * 2, LastRetrySec);
        }
        Report(StatusOf(TMqttLink::Stopped));
    }
};

namespace {

TMqttService::TShared& SharedOf(void* user) {
    return *static_cast<TMqttService::TShared*>(user);
}

} // namespace

// ---- Life ------------------------------------------------------------------------------------------

TMqttService::TMqttService(TMqttSettings settings, const TPublishedConditions& published,
                           std::function<TDateTime()> clock)
    : settings_(std::move(settings)), published_(published),
      clock_(clock ? std::move(clock) : [] { return Now(); }) {
    if (settings_.ClientId.empty()) settings_.ClientId = DefaultMqttClientId();
}

TMqttService::~TMqttService() {
    Stop();
}

bool TMqttService::Start(std::string& error) {
    if (started_) return true;
    for (const auto& [prefix, setting] : {std::pair{settings_.TopicPrefix, "TopicPrefix"},
                                          std::pair{settings_.DiscoveryPrefix, "DiscoveryPrefix"}}) {
        const std::string why = TopicPrefixError(prefix, setting);
        if (why.empty()) continue;
        error = fmt::sprintf(
            Tr("Mqtt", "Publication MQTT non démarrée : %s Le programme continue sans elle."), why);
        LogToday(fmt::format("MQTT not started: bad {} \"{}\"", setting, prefix));
        return false;
    }
    if (settings_.Host.empty()) {
        error = Tr("Mqtt", "Publication MQTT non démarrée : aucun courtier n'est nommé (réglage \"Host\" sous "
                           "[MQTT] vide). Le programme continue sans elle.");
        LogToday("MQTT not started: no Host");
        return false;
    }
    if (const std::string why = ClientIdError(settings_.ClientId); !why.empty()) {
        error = fmt::sprintf(
            Tr("Mqtt", "Publication MQTT non démarrée : %s Le programme continue sans elle."), why);
        LogToday("MQTT not started: bad ClientId");
        return false;
    }
    struct stat info {};
    if (settings_.Tls && !settings_.CaFile.empty() &&
        (::stat(settings_.CaFile.c_str(), &info) != 0 || !S_ISREG(info.st_mode))) {
        error =
            fmt::sprintf(Tr("Mqtt", "Publication MQTT non démarrée : le fichier d'autorités de certification "
                                    "\"%s\" (réglage \"CAFile\" sous [MQTT]) n'est pas un fichier lisible. "
                                    "Le programme continue sans elle."),
                         settings_.CaFile);
        LogToday("MQTT not started: CA file not found: " + settings_.CaFile);
        return false;
    }

    InitLibrary();
    auto shared = std::make_shared<TShared>();
    shared->settings = settings_;
    shared->topics = MqttTopics(settings_.TopicPrefix);
    shared->discovery = DiscoveryConfigs(settings_, ORVANEL_VERSION);
    shared->removalFilter = settings_.DiscoveryPrefix + "/+/+/config";
    mosquitto* mosq = mosquitto_new(settings_.ClientId.c_str(), true, shared.get());
    if (!mosq) {
        error =
            Tr("Mqtt", "Publication MQTT non démarrée : la bibliothèque MQTT n'a pas pu être initialisée. Le "
                       "programme continue sans elle.");
        LogToday(fmt::format("MQTT not started: mosquitto_new -> {}", std::strerror(errno)));
        return false;
    }
    shared->mosq = mosq;
    mosquitto_threaded_set(mosq, true); // publishes come from the main thread
    // A killed program or a cut network: the broker says "offline" on its behalf.
    mosquitto_will_set(mosq, shared->topics.Status.c_str(), 7, "offline", settings_.QoS, true);
    if (!settings_.User.empty())
        mosquitto_username_pw_set(mosq, settings_.User.c_str(),
                                  settings_.Password.empty() ? nullptr : settings_.Password.c_str());
    if (settings_.Tls) {
        const int rc = mosquitto_tls_set(mosq, settings_.CaFile.empty() ? nullptr : settings_.CaFile.c_str(),
                                         settings_.CaFile.empty() ? "/etc/ssl/certs" : nullptr, nullptr,
                                         nullptr, nullptr);
        if (rc == MOSQ_ERR_SUCCESS) {
            mosquitto_tls_opts_set(mosq, settings_.VerifyPeer ? 1 : 0, nullptr, nullptr);
            mosquitto_tls_insecure_set(mosq, !settings_.VerifyPeer);
        } else {
            error = fmt::sprintf(Tr("Mqtt", "Publication MQTT non démarrée : TLS refusé (%s). Le programme "
                                            "continue sans elle."),
                                 mosquitto_strerror(rc));
            LogToday(fmt::format("MQTT not started: TLS set-up -> {}", mosquitto_strerror(rc)));
            return false;
        }
    }
    mosquitto_connect_callback_set(mosq,
                                   [](mosquitto*, void* user, int rc) { SharedOf(user).OnConnect(rc); });
    mosquitto_disconnect_callback_set(
        mosq, [](mosquitto*, void* user, int rc) { SharedOf(user).OnDisconnect(rc); });
    mosquitto_message_callback_set(mosq, [](mosquitto*, void* user, const mosquitto_message* message) {
        if (message) SharedOf(user).OnMessage(*message);
    });

    shared_ = shared;
    UpdateVerdict(); // the verdict before any reading: unsafe
    {
        std::lock_guard lock(shared_->listenerMutex);
        shared_->listener = listener_;
    }
    LogToday(fmt::format("MQTT publishing to {}:{} as {} under {}/", settings_.Host, settings_.Port,
                         settings_.ClientId, settings_.TopicPrefix));
    thread_ = std::thread([shared] { shared->Run(); });
    started_ = true;
    return true;
}

void TMqttService::Stop() {
    if (!started_) return;
    started_ = false;
    const auto deadline = std::chrono::steady_clock::now() + CloseLimit;
    {
        // Whoever listens may be gone after the close.
        std::lock_guard lock(shared_->listenerMutex);
        shared_->listener = nullptr;
    }
    {
        std::lock_guard lock(shared_->mutex);
        shared_->stopping = true;
        // A clean close: the will is not sent, so "offline" is said here, before the DISCONNECT.
        shared_->PublishLocked(shared_->topics.Status, "offline", true);
        if (shared_->connected) mosquitto_disconnect(shared_->mosq);
    }
    shared_->wake.notify_all();
    // The thread holds its own share of the client: when a peer keeps it past the limit, it is left
    // to end on its own and the close goes on.
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> finished = done->get_future();
    std::thread joiner([thread = std::move(thread_), done]() mutable {
        thread.join();
        done->set_value();
    });
    if (finished.wait_until(deadline) == std::future_status::ready) {
        joiner.join();
        LogToday("MQTT stopped");
    } else {
        joiner.detach();
        LogToday("MQTT stopped without waiting for the broker");
    }
    shared_.reset();
}

void TMqttService::SetStatusListener(std::function<void(const TMqttStatus&)> listener) {
    listener_ = std::move(listener);
    if (!shared_) return;
    std::lock_guard lock(shared_->listenerMutex);
    shared_->listener = listener_;
}

TMqttStatus TMqttService::Status() const {
    if (!shared_) return {};
    std::lock_guard lock(shared_->mutex);
    return shared_->status;
}

// ---- What the service follows ---------------------------------------------------------------------

void TMqttService::OnReading(const TcapteursInfos& reading, const TConditions& conditions) {
    hasReading_ = true;
    reading_ = reading;
    conditions_ = conditions;
    PublishVerdictAndState(true);
}

// The controller has published the link state beside the conditions, where the verdict reads it.
void TMqttService::OnLinkState(bool) {
    PublishVerdictAndState(hasReading_);
}

void TMqttService::UpdateVerdict() {
    PublishVerdictAndState(false);
}

// The one verdict every publisher shows. Another one may have seen a change first: the value and its
// `since` say whether it changed since the broker was told.
void TMqttService::PublishVerdictAndState(bool withState) {
    const TSafetyMonitor& verdict = published_.Verdict(clock_());
    const TSafetyInputs& in = published_.SafetyInputs();
    const bool safe = verdict.IsSafe();
    const bool changed = !verdictKnown_ || safe != verdict_.Safe || verdict.Since() != verdict_.Since;
    if (changed) LogToday(std::string("MQTT safety: ") + (safe ? "safe" : "unsafe"));
    // The state carries the verdict, its reasons and the relay: it follows them too.
    const bool stateChanged = changed || verdict_.Reasons != verdict.Reasons() || in.RoofClosed != roofShown_;
    verdictKnown_ = true;
    roofShown_ = in.RoofClosed;
    verdict_.Safe = safe;
    verdict_.Since = verdict.Since();
    verdict_.Reasons = verdict.Reasons();
    verdict_.ReasonsText = UnsafeReasonsText(verdict);
    if (!shared_) return;
    const bool sendState = hasReading_ && (withState || stateChanged);
    std::string state;
    if (sendState) state = MqttStateJson(reading_, conditions_, in.RoofClosed, in.LinkLost, verdict_);
    std::lock_guard lock(shared_->mutex);
    shared_->safety = safe ? "safe" : "unsafe";
    if (sendState) {
        shared_->state = std::move(state);
        shared_->hasState = true;
    }
    if (sendState) shared_->PublishLocked(shared_->topics.State, shared_->state, true);
    if (sendState || changed) shared_->PublishLocked(shared_->topics.Safety, shared_->safety, true);
}

bool ParseMqttEndpoint(const std::string& text, TMqttSettings& settings, std::string& error) {
    std::string host = text;
    std::string digits;
    bool hasPort = false;
    if (!text.empty() && text.front() == '[') {
        // [IPv6 address], then nothing or ":port".
        const size_t close = text.find(']');
        const std::string rest = close == std::string::npos ? "" : text.substr(close + 1);
        if (close == std::string::npos || (!rest.empty() && rest.front() != ':')) {
            error = "--mqtt: write an IPv6 address between brackets, e.g. [::1]:1883";
            return false;
        }
        host = text.substr(1, close - 1);
        hasPort = !rest.empty();
        if (hasPort) digits = rest.substr(1);
    } else if (const size_t colon = text.find(':'); colon != std::string::npos) {
        // "::1" or "fe80::1:1883": which colon starts a port cannot be told.
        if (text.find(':', colon + 1) != std::string::npos) {
            error = "--mqtt: write an IPv6 address between brackets, e.g. [::1]:1883";
            return false;
        }
        host = text.substr(0, colon);
        hasPort = true;
        digits = text.substr(colon + 1);
    }
    uint16_t port = 1883;
    if (hasPort) {
        const bool number = !digits.empty() && digits.size() <= 5 &&
                            digits.find_first_not_of("0123456789") == std::string::npos;
        const long value = number ? std::stol(digits) : 0;
        if (value < 1 || value > 65535) {
            error = "--mqtt: the port must be a number from 1 to 65535";
            return false;
        }
        port = static_cast<uint16_t>(value);
    }
    if (host.empty() || host.find_first_of("[] \t") != std::string::npos) {
        error = "--mqtt needs HOST:PORT, e.g. 127.0.0.1:1883";
        return false;
    }
    settings.Host = host;
    settings.Port = port;
    settings.Enabled = true;
    return true;
}
