// The bytes a client may send to the network server's port (a browser, an observatory program, a
// scanner), through the server's own session and every part that answers on it: the web dashboard,
// the Alpaca devices and management API, the set-up pages and the INDI feeds. What goes back is, in
// order, one well-formed HTTP/1.1 response per request the parser took (an interim "100 Continue"
// aside): a known status with its reason, header lines without line breaks, a Content-Length equal
// to its body (no body after HEAD), JSON bodies that parse, never an internal error, and a refusal
// or a closing response last.
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <QCoreApplication>
#include <QJsonDocument>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

#include "AlpacaServer.h"
#include "DashboardServer.h"
#include "FuzzCheck.h"
#include "HistoryStore.h"
#include "HttpMessage.h"
#include "HttpServer.h"
#include "PublishedConditions.h"
#include "UserText.h"

namespace fs = std::filesystem;

namespace {

constexpr TDateTime kNow = 46367.75; // 11/12/2026 18:00

struct TServers {
    std::string folder;
    TPublishedConditions published{kNow};
    std::unique_ptr<THistoryStore> history;
    std::unique_ptr<TAlpacaServer> alpaca;
    std::unique_ptr<TDashboardServer> dashboard;
};
TServers* servers = nullptr;

TcapteursInfos Reading(TDateTime date, int i) {
    TcapteursInfos r{};
    r.DateSysteme = date;
    r.ValueSkyDeg = -20.0f + static_cast<float>(i % 7);
    r.ValueTempDeg = 8.0f + static_cast<float>(i % 5) / 2;
    r.DeltaTempDeg = r.ValueSkyDeg - r.ValueTempDeg;
    r.ValueCanDeg = 9.5f;
    r.Humidity = 60.0f + static_cast<float>(i % 30);
    r.DewPoint = 1.5f;
    r.ValidWindGUST = 1;
    r.WindSpeedMax_ms = static_cast<float>(i % 12);
    r.DirSpeedMax_deg = static_cast<float>((i * 37) % 360);
    r.ValidLight = 1;
    r.Lumex = -2.5f + static_cast<float>(i % 10) / 3;
    r.PowerVolts = 12.2f;
    return r;
}

// One response of `out` from `at`: checked, and `at` moved past it. False when it ended the talk.
struct TResponse {
    int Status = 0;
    bool Close = false, Stream = false;
};

TResponse TakeResponse(const std::string& out, size_t& at, bool head) {
    TResponse r;
    const size_t headEnd = out.find("\r\n\r\n", at);
    FUZZ_CHECK(headEnd != std::string::npos, "a response without the end of its head at %zu", at);
    const std::string_view text(out.data() + at, headEnd - at);
    const size_t lineEnd = text.find("\r\n");
    const std::string_view statusLine = text.substr(0, lineEnd);
    FUZZ_CHECK(statusLine.size() > 13 && statusLine.substr(0, 9) == "HTTP/1.1 " && statusLine[12] == ' ',
               "malformed status line '%.*s'", int(statusLine.size()), statusLine.data());
    r.Status = std::atoi(std::string(statusLine.substr(9, 3)).c_str());
    FUZZ_CHECK(r.Status >= 100 && r.Status <= 599 && statusLine.substr(13) == HttpStatusText(r.Status) &&
                   std::strcmp(HttpStatusText(r.Status), "Unknown") != 0,
               "status line '%.*s'", int(statusLine.size()), statusLine.data());
    FUZZ_CHECK(r.Status != 500, "an internal error: a handler failed");
    std::optional<size_t> length;
    std::string contentType;
    size_t lineStart = lineEnd == std::string_view::npos ? text.size() : lineEnd + 2;
    while (lineStart < text.size()) {
        size_t end = text.find("\r\n", lineStart);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view line = text.substr(lineStart, end - lineStart);
        const size_t colon = line.find(": ");
        FUZZ_CHECK(colon != std::string_view::npos && colon > 0, "header line '%.*s'", int(line.size()), line.data());
        const std::string_view name = line.substr(0, colon), value = line.substr(colon + 2);
        for (const char c : name)
            FUZZ_CHECK(c > 0x20 && c < 0x7f && c != ':', "header name '%.*s'", int(name.size()), name.data());
        for (const char c : value)
            FUZZ_CHECK(c != '\r' && c != '\n' && c != '\0', "a line break or NUL in header '%.*s'", int(name.size()),
                       name.data());
        if (name == "Content-Length") {
            FUZZ_CHECK(!length, "two Content-Length headers");
            length = std::strtoull(std::string(value).c_str(), nullptr, 10);
        } else if (name == "Content-Type") {
            contentType = value;
        } else if (name == "Connection" && value == "close") {
            r.Close = true;
        }
        lineStart = end + 2;
    }
    at = headEnd + 4;
    if (r.Status == 100) {
        FUZZ_CHECK(!length && text == "HTTP/1.1 100 Continue", "an interim response with headers");
        return r;
    }
    if (!length) {
        FUZZ_CHECK(contentType == "text/event-stream" && r.Close && at == out.size(),
                   "a response without Content-Length that is not the event stream ending the talk");
        r.Stream = true;
        return r;
    }
    const size_t bodyBytes = head ? 0 : *length;
    FUZZ_CHECK(out.size() - at >= bodyBytes, "a body of %zu bytes announced, %zu sent", bodyBytes, out.size() - at);
    const std::string body = out.substr(at, bodyBytes);
    at += bodyBytes;
    if (contentType.starts_with("application/json") && !body.empty()) {
        QJsonParseError error{};
        QJsonDocument::fromJson(QByteArray::fromStdString(body), &error);
        FUZZ_CHECK(error.error == QJsonParseError::NoError, "JSON that does not parse (%s): %s",
                   error.errorString().toUtf8().constData(), body.c_str());
    }
    return r;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static QCoreApplication app(*argc, *argv);
    InitStartValues();
    PathLogs.clear();
    SetClockForTests([] { return kNow; });
    servers = new TServers;
    servers->folder =
        (fs::temp_directory_path() / ("orvanel-fuzz-http-" + std::to_string(::getpid()))).string() + "/";
    fs::create_directories(servers->folder);
    std::atexit([] {
        std::error_code ignored;
        fs::remove_all(servers->folder, ignored);
    });
    servers->history = std::make_unique<THistoryStore>(servers->folder);
    TTDataStation records;
    for (int i = 0; i < 300; ++i)
        records.push_back(Reading(kNow - 1 + i * 300.0 / 86400, i));
    servers->history->Append(records);

    TAlpacaSettings settings;
    settings.Port = 0;
    settings.DiscoveryPort = 0;
    settings.UniqueIDObservingConditions = "6f1c1a52-0000-4000-8000-00000000000a";
    settings.UniqueIDSafetyMonitor = "6f1c1a52-0000-4000-8000-00000000000b";
    servers->alpaca = std::make_unique<TAlpacaServer>(servers->published, settings);
    servers->alpaca->SetClock([] { return kNow; });
    servers->dashboard = std::make_unique<TDashboardServer>(*servers->alpaca, *servers->history, servers->published,
                                                            [] { return TRelayDisplay{}; });
    TDashboard& dashboard = servers->dashboard->Dashboard();
    dashboard.SetClock([] { return kNow; });
    std::string error;
    dashboard.Start(error); // the page and the JSON paths; no timers, no events pushed
    TConditions conditions;
    conditions.Date = kNow - 10.0 / 86400;
    const TcapteursInfos latest = Reading(conditions.Date, 7);
    servers->alpaca->OnReading(latest, conditions);
    dashboard.OnReading(latest, conditions);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    // The first byte: a server kept to loopback (it checks the Host header) or one open to the network.
    const THostRule hosts = data[0] & 1 ? THostRule("127.0.0.1") : THostRule("0.0.0.0");
    THttpLimits limits;
    limits.MaxHeaderBytes = 4096;
    limits.MaxBodyBytes = 4096;
    const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
    TAlpacaServer& alpaca = *servers->alpaca;
    const std::vector<THttpHandler> handlers = {
        [&alpaca](const THttpRequest& request) { return alpaca.Http().Dispatch(request); }};
    const std::string out = ServeHttpBytes(input, handlers, limits, hosts);

    // The requests as the parser takes them, each with its response.
    std::string_view rest = input;
    size_t at = 0;
    for (;;) {
        const THttpParse parse = ParseHttpRequest(rest, limits);
        if (!parse.Request && parse.Status == 0) {
            // The bytes end inside a request: no answer yet, but a client waiting to send its body
            // is told to go on.
            constexpr std::string_view goOn = "HTTP/1.1 100 Continue\r\n\r\n";
            if (std::string_view(out).substr(at) == goOn) at += goOn.size();
            break;
        }
        const bool head = parse.Request && parse.Request->Method == "HEAD";
        TResponse response = TakeResponse(out, at, head);
        if (response.Status == 100) response = TakeResponse(out, at, head);
        FUZZ_CHECK(response.Status != 100, "two interim responses in a row");
        if (!parse.Request) {
            FUZZ_CHECK(response.Status == parse.Status && response.Close,
                       "a request refused with %d answered %d%s", parse.Status, response.Status,
                       response.Close ? "" : " without closing");
            break;
        }
        if (!parse.Request->KeepAlive)
            FUZZ_CHECK(response.Close, "a request that closes the connection answered without closing it");
        if (response.Close || response.Stream) break;
        rest.remove_prefix(parse.Used);
    }
    FUZZ_CHECK(at == out.size(), "%zu bytes after the last response: %s", out.size() - at, out.c_str() + at);
    return 0;
}
