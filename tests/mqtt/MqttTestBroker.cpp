#include "MqttTestBroker.h"

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <fstream>
#include <mosquitto.h>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

uint16_t FreeLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t size = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    ::close(fd);
    return ntohs(address.sin_port);
}

namespace {

bool Listening(uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

} // namespace

TTestBroker::TTestBroker(const std::string& folder, std::map<std::string, std::string> users, bool tls)
    : folder_(folder), port_(FreeLoopbackPort()) {
    std::ofstream config(folder_ + "mosquitto.conf");
    config << "listener " << port_ << " 127.0.0.1\n"
           << "persistence false\n"
           << "log_dest none\n"
           << "user root\n";
    if (tls) {
        const std::string command = "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1 "
                                    "-addext subjectAltName=IP:127.0.0.1 -keyout '" +
                                    folder_ + "broker-key.pem' -out '" + CertificateFile() +
                                    "' >/dev/null 2>&1";
        if (std::system(command.c_str()) != 0) std::fprintf(stderr, "openssl req failed\n");
        config << "certfile " << CertificateFile() << "\nkeyfile " << folder_ << "broker-key.pem\n";
    }
    if (users.empty()) {
        config << "allow_anonymous true\n";
        return;
    }
    config << "allow_anonymous false\npassword_file " << folder_ << "passwords\n";
    bool first = true;
    for (const auto& [user, password] : users) {
        const std::string command = "mosquitto_passwd -b " + std::string(first ? "-c " : "") + "'" + folder_ +
                                    "passwords' '" + user + "' '" + password + "' >/dev/null 2>&1";
        first = false;
        if (std::system(command.c_str()) != 0) std::fprintf(stderr, "mosquitto_passwd failed\n");
    }
}

TTestBroker::~TTestBroker() {
    Stop();
}

bool TTestBroker::Start() {
    Stop();
    pid_ = ::fork();
    if (pid_ == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM); // never outlives a test that crashed
        const std::string config = folder_ + "mosquitto.conf";
        ::execl("/usr/sbin/mosquitto", "mosquitto", "-c", config.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    for (int i = 0; i < 100; ++i) {
        if (Listening(port_)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

void TTestBroker::Stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
}

// ---- The subscriber ---------------------------------------------------------------------------------

struct TSubscriberCallbacks {
    static void Connect(mosquitto* mosq, void* user, int rc) {
        auto& s = *static_cast<TTestSubscriber*>(user);
        if (rc != 0) return;
        for (const std::string& filter : s.filters_)
            mosquitto_subscribe(mosq, nullptr, filter.c_str(), 1);
        std::lock_guard lock(s.mutex_);
        s.connected_ = true;
    }
    static void Disconnect(mosquitto*, void* user, int) {
        auto& s = *static_cast<TTestSubscriber*>(user);
        std::lock_guard lock(s.mutex_);
        s.connected_ = false;
    }
    static void Message(mosquitto*, void* user, const mosquitto_message* m) {
        auto& s = *static_cast<TTestSubscriber*>(user);
        std::lock_guard lock(s.mutex_);
        s.messages_.push_back(
            {m->topic, std::string(static_cast<const char*>(m->payload), size_t(m->payloadlen)), m->retain});
    }
};

TTestSubscriber::TTestSubscriber(uint16_t port, std::vector<std::string> filters, const std::string& user,
                                 const std::string& password)
    : filters_(std::move(filters)) {
    mosquitto_lib_init();
    mosq_ = mosquitto_new(nullptr, true, this);
    if (!user.empty()) mosquitto_username_pw_set(mosq_, user.c_str(), password.c_str());
    mosquitto_connect_callback_set(mosq_, TSubscriberCallbacks::Connect);
    mosquitto_disconnect_callback_set(mosq_, TSubscriberCallbacks::Disconnect);
    mosquitto_message_callback_set(mosq_, TSubscriberCallbacks::Message);
    mosquitto_reconnect_delay_set(mosq_, 1, 1, false);
    mosquitto_connect_async(mosq_, "127.0.0.1", port, 30);
    mosquitto_loop_start(mosq_);
}

TTestSubscriber::~TTestSubscriber() {
    mosquitto_disconnect(mosq_);
    mosquitto_loop_stop(mosq_, true);
    mosquitto_destroy(mosq_);
}

bool TTestSubscriber::Connected() const {
    std::lock_guard lock(mutex_);
    return connected_;
}

std::vector<TReceived> TTestSubscriber::Messages() const {
    std::lock_guard lock(mutex_);
    return messages_;
}

std::optional<std::string> TTestSubscriber::Last(const std::string& topic) const {
    std::lock_guard lock(mutex_);
    for (auto m = messages_.rbegin(); m != messages_.rend(); ++m)
        if (m->Topic == topic) return m->Payload;
    return std::nullopt;
}

std::vector<TReceived> TTestSubscriber::Under(const std::string& prefix) const {
    std::lock_guard lock(mutex_);
    std::vector<TReceived> found;
    for (const TReceived& m : messages_)
        if (m.Topic.rfind(prefix, 0) == 0) found.push_back(m);
    return found;
}

void TTestSubscriber::Clear() {
    std::lock_guard lock(mutex_);
    messages_.clear();
}

void TTestSubscriber::Publish(const std::string& topic, const std::string& payload, bool retain) {
    mosquitto_publish(mosq_, nullptr, topic.c_str(), int(payload.size()), payload.data(), 1, retain);
}
