#include "Dashboard.h"

#include "UserText.h"
#include "WebFiles.h"

namespace {

const std::pair<std::string, std::string> NoStore{"Cache-Control", "no-store"};

TWebAnswer Json(int status, std::string body) {
    TWebAnswer a;
    a.Status = status;
    a.Body = std::move(body);
    a.Headers.push_back(NoStore);
    return a;
}

} // namespace

TDashboard::TDashboard(const THistoryStore& history, const TPublishedConditions& published,
                       std::function<TRelayDisplay()> relay)
    : history_(history), published_(published), relay_(std::move(relay)), clock_([] { return Now(); }) {}

bool TDashboard::Start(std::string&) {
    running_ = true;
    UpdateVerdict();
    SendVerdictIfMoved();
    return true;
}

void TDashboard::Stop() {
    running_ = false;
    sinks_.clear();
}

// The one verdict, which every service looks at and any of them may see change first; a look moves
// it along the clock. Done before every answer too: what changed is found by SendVerdictIfMoved
// against what the browsers were told, so a change first seen elsewhere still reaches them.
void TDashboard::UpdateVerdict() {
    published_.Verdict(clock_());
}

void TDashboard::SendVerdictIfMoved() {
    const TSafetyMonitor& verdict = published_.LastVerdict();
    if (told_ && verdict.IsSafe() == toldSafe_ && verdict.Reasons() == toldReasons_ &&
        verdict.Since() == toldSince_)
        return;
    told_ = true;
    toldSafe_ = verdict.IsSafe();
    toldReasons_ = verdict.Reasons();
    toldSince_ = verdict.Since();
    if (!sinks_.empty()) Broadcast(SseEvent("verdict", VerdictJson(verdict)));
}

std::string TDashboard::Current() {
    state_.Relay = relay_ ? relay_() : TRelayDisplay{};
    state_.RelayClosed = published_.Values().RoofCloseRequested;
    state_.LinkLost = published_.SafetyInputs().LinkLost;
    return CurrentJson(state_, published_.LastVerdict(), clock_());
}

void TDashboard::OnReading(const TcapteursInfos& reading, const TConditions& conditions) {
    state_.HasReading = true;
    state_.Reading = reading;
    state_.Conditions = conditions;
    UpdateVerdict();
    // One text for every browser, made once.
    if (!sinks_.empty()) Broadcast(SseEvent("reading", Current()));
    SendVerdictIfMoved();
}

// The controller has published the link state beside the conditions, where the verdict reads it.
void TDashboard::OnLinkState(bool) {
    Tick();
}

void TDashboard::Tick() {
    UpdateVerdict();
    SendVerdictIfMoved();
}

void TDashboard::KeepAlive() {
    if (!sinks_.empty()) Broadcast(SseComment());
}

void TDashboard::Broadcast(const std::string& chunk) {
    // A sink may fail (browser gone): it is forgotten; the others still get the chunk.
    std::erase_if(sinks_, [&chunk](const TEventSink& sink) { return !sink(chunk); });
}

void TDashboard::Subscribe(TEventSink sink) {
    if (!running_) return;
    // The browser retries after 5 s when the connection breaks, and starts from the present.
    if (!sink("retry: 5000\n\n")) return;
    if (state_.HasReading && !sink(SseEvent("reading", Current()))) return;
    sinks_.push_back(std::move(sink));
}

std::optional<TWebAnswer> TDashboard::Answer(std::string_view method, std::string_view path,
                                             const std::vector<std::pair<std::string, std::string>>& query) {
    const bool page = path == "/" || path == "/index.html";
    const bool file = path.starts_with("/static/");
    const bool api = path == "/api/current" || path == "/api/history" || path == "/api/events";
    if (!page && !file && !api) return std::nullopt;
    if (method != "GET" && method != "HEAD") {
        TWebAnswer a = Json(405, ErrorJson("method", Tr("Dashboard", "seule la méthode GET est servie")));
        a.Headers.emplace_back("Allow", "GET, HEAD");
        return a;
    }
    if (page) {
        TWebAnswer a;
        a.ContentType = "text/html; charset=utf-8";
        a.Body = FillPage(FindWebFile("index.html")->Bytes); // in the language of the moment
        a.Headers.push_back(NoStore);
        return a;
    }
    if (file) {
        const TWebFile* f = FindWebFile(path.substr(8));
        if (!f || f->Path == "index.html")
            return Json(404, ErrorJson("not_found", Tr("Dashboard", "fichier inconnu")));
        TWebAnswer a;
        a.ContentType = std::string(f->ContentType);
        a.Body = std::string(f->Bytes);
        a.Headers.emplace_back("Cache-Control", "max-age=3600");
        return a;
    }
    if (path == "/api/current") {
        UpdateVerdict(); // the browsers that follow the events still get a change seen here
        if (!state_.HasReading) return Json(503, NoReadingJson());
        return Json(200, Current());
    }
    if (path == "/api/history") {
        THistoryQuery q = ParseHistoryQuery(query);
        RefuseEmptyRange(q, history_, clock_());
        if (!q.Error.empty()) return Json(400, ErrorJson(q.Error, q.Reason));
        return Json(200, HistoryJson(q, history_, clock_()));
    }
    TWebAnswer a;
    a.ContentType = "text/event-stream";
    a.Headers.emplace_back("Cache-Control", "no-cache");
    a.Events = true;
    return a;
}
