// Texts the network parts take from outside: the --alpaca and --mqtt endpoints of the command line,
// and the ISO 8601 dates of the dashboard's history query. An endpoint accepted has a host and a
// port from 1 to 65535, and written back as HOST:PORT (brackets around an IPv6 address) it reads
// as the same; a date accepted is a finite date that its own ISO text gives back to the millisecond.
#include <cmath>
#include <QCoreApplication>
#include <QHostAddress>
#include <string>

#include "AlpacaServer.h"
#include "DashboardJson.h"
#include "FuzzCheck.h"
#include "MqttService.h"
#include "UserText.h"

namespace {

std::string Endpoint(const std::string& host, uint16_t port) {
    const bool ipv6 = host.find(':') != std::string::npos;
    return (ipv6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

void CheckAlpaca(const std::string& text) {
    TAlpacaSettings settings;
    std::string error;
    if (!ParseAlpacaEndpoint(text, settings, error)) {
        FUZZ_CHECK(!error.empty(), "'%s' refused without a reason", text.c_str());
        return;
    }
    FUZZ_CHECK(settings.Port >= 1 && !QHostAddress(QString::fromStdString(settings.Address)).isNull(),
               "'%s' accepted as '%s' port %d", text.c_str(), settings.Address.c_str(), settings.Port);
    TAlpacaSettings again;
    FUZZ_CHECK(ParseAlpacaEndpoint(Endpoint(settings.Address, settings.Port), again, error) &&
                   again.Address == settings.Address && again.Port == settings.Port,
               "'%s' read as '%s' port %d does not read the same written back", text.c_str(),
               settings.Address.c_str(), settings.Port);
}

void CheckMqtt(const std::string& text) {
    TMqttSettings settings;
    std::string error;
    if (!ParseMqttEndpoint(text, settings, error)) {
        FUZZ_CHECK(!error.empty(), "'%s' refused without a reason", text.c_str());
        return;
    }
    FUZZ_CHECK(settings.Port >= 1 && !settings.Host.empty() &&
                   settings.Host.find_first_of("[]") == std::string::npos,
               "'%s' accepted as host '%s' port %d", text.c_str(), settings.Host.c_str(), settings.Port);
    TMqttSettings again;
    FUZZ_CHECK(ParseMqttEndpoint(Endpoint(settings.Host, settings.Port), again, error) &&
                   again.Host == settings.Host && again.Port == settings.Port,
               "'%s' read as host '%s' port %d does not read the same written back", text.c_str(),
               settings.Host.c_str(), settings.Port);
}

void CheckDate(const std::string& text) {
    const std::optional<TDateTime> date = ParseIsoDate(text);
    if (!date) return;
    FUZZ_CHECK(std::isfinite(*date), "'%s' read as %g", text.c_str(), *date);
    const std::string written = IsoUtcText(*date);
    const std::optional<TDateTime> again = ParseIsoDate(written);
    FUZZ_CHECK(again && std::fabs(*again - *date) * 86400000.0 < 0.5, "'%s' read as %.17g, written '%s', read as %.17g",
               text.c_str(), *date, written.c_str(), again ? *again : NAN);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static QCoreApplication app(*argc, *argv);
    InitStartValues();
    PathLogs.clear();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    switch (data[0] % 3) {
    case 0:
        CheckAlpaca(text);
        break;
    case 1:
        CheckMqtt(text);
        break;
    default:
        CheckDate(text);
    }
    return 0;
}
