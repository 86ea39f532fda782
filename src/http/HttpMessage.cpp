#include "HttpMessage.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cstring>
#include <exception>

namespace {

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string ToLower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = Lower(c);
    return out;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

// The characters of a token (method, header name).
bool IsTokenChar(unsigned char c) {
    if (c >= '0' && c <= '9') return true;
    if ((c | 0x20) >= 'a' && (c | 0x20) <= 'z') return true;
    return std::strchr("!#$%&'*+-.^_`|~", c) != nullptr && c != 0;
}

bool IsToken(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return IsTokenChar(c); });
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool AllDigits(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// True for each comma-separated token of a header value equal to `token`.
bool HasToken(std::string_view value, std::string_view token) {
    while (!value.empty()) {
        const size_t comma = value.find(',');
        if (EqualsNoCase(Trim(value.substr(0, comma)), token)) return true;
        if (comma == std::string_view::npos) break;
        value.remove_prefix(comma + 1);
    }
    return false;
}

bool IsLoopback(const std::string& address) {
    unsigned char bytes[16];
    if (::inet_pton(AF_INET, address.c_str(), bytes) == 1) return bytes[0] == 127;
    if (::inet_pton(AF_INET6, address.c_str(), bytes) == 1) {
        static const unsigned char one[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
        static const unsigned char mapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
        return std::memcmp(bytes, one, 16) == 0 || (std::memcmp(bytes, mapped, 12) == 0 && bytes[12] == 127);
    }
    return false;
}

THttpResponse TextReply(int status, std::string text) {
    THttpResponse r;
    r.Status = status;
    r.Body = std::move(text);
    if (!r.Body.empty() && r.Body.back() != '\n') r.Body += '\n';
    return r;
}

} // namespace

const std::string* THttpRequest::Header(std::string_view lowerName) const {
    for (const auto& [name, value] : Headers)
        if (name == lowerName) return &value;
    return nullptr;
}

std::string HttpUrl(const std::string& address, unsigned port, const std::string& path) {
    const bool ipv6 = address.find(':') != std::string::npos && address.front() != '[';
    return "http://" + (ipv6 ? "[" + address + "]" : address) + ":" + std::to_string(port) + path;
}

const char* HttpStatusText(int status) {
    switch (status) {
    case 100:
        return "Continue";
    case 200:
        return "OK";
    case 204:
        return "No Content";
    case 304:
        return "Not Modified";
    case 400:
        return "Bad Request";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 408:
        return "Request Timeout";
    case 411:
        return "Length Required";
    case 413:
        return "Content Too Large";
    case 417:
        return "Expectation Failed";
    case 431:
        return "Request Header Fields Too Large";
    case 500:
        return "Internal Server Error";
    case 501:
        return "Not Implemented";
    case 503:
        return "Service Unavailable";
    case 505:
        return "HTTP Version Not Supported";
    default:
        return "Unknown";
    }
}

std::string PercentDecode(std::string_view text, bool plusIsSpace) {
    // One pass for the blanks, then one in place for the escapes: linear, and at memory speed for
    // text without escapes.
    std::string out(text);
    if (plusIsSpace) std::replace(out.begin(), out.end(), '+', ' ');
    const size_t first = out.find('%');
    if (first == std::string::npos) return out;
    size_t write = first;
    for (size_t read = first; read < out.size();) {
        int high = -1, low = -1;
        if (out[read] == '%' && read + 2 < out.size() && (high = HexValue(out[read + 1])) >= 0 &&
            (low = HexValue(out[read + 2])) >= 0) {
            out[write++] = static_cast<char>(high * 16 + low);
            read += 3;
        } else {
            out[write++] = out[read++];
        }
    }
    out.resize(write);
    return out;
}

THttpFields ParseQuery(std::string_view text) {
    THttpFields fields;
    while (!text.empty()) {
        const size_t amp = text.find('&');
        const std::string_view piece = text.substr(0, amp);
        if (!piece.empty()) {
            const size_t eq = piece.find('=');
            fields.emplace_back(PercentDecode(piece.substr(0, eq), true),
                                eq == std::string_view::npos ? std::string()
                                                             : PercentDecode(piece.substr(eq + 1), true));
        }
        if (amp == std::string_view::npos) break;
        text.remove_prefix(amp + 1);
    }
    return fields;
}

std::string SerializeResponse(const THttpResponse& response, bool keepAlive, bool withBody) {
    std::string out =
        "HTTP/1.1 " + std::to_string(response.Status) + " " + HttpStatusText(response.Status) + "\r\n";
    if (!response.ContentType.empty()) out += "Content-Type: " + response.ContentType + "\r\n";
    if (!response.Stream) out += "Content-Length: " + std::to_string(response.Body.size()) + "\r\n";
    out += "X-Content-Type-Options: nosniff\r\n";
    for (const auto& [name, value] : response.Headers)
        out += name + ": " + value + "\r\n";
    if (!keepAlive || response.Stream) out += "Connection: close\r\n";
    out += "\r\n";
    if (!response.Stream && withBody) out += response.Body;
    return out;
}

// ---- Host rule -------------------------------------------------------------------------------------

THostRule::THostRule(std::string boundAddress)
    : loopback_(IsLoopback(boundAddress)), address_(std::move(boundAddress)) {}

bool THostRule::Allows(const std::string* host) const {
    if (!loopback_ || host == nullptr) return true; // no Host at all: not a browser
    std::string_view text = *host;
    std::string_view name;
    std::string_view rest;
    if (!text.empty() && text.front() == '[') {
        const size_t close = text.find(']');
        if (close == std::string_view::npos) return false;
        name = text.substr(1, close - 1);
        rest = text.substr(close + 1);
    } else {
        const size_t colon = text.find(':');
        name = text.substr(0, colon);
        rest = colon == std::string_view::npos ? std::string_view() : text.substr(colon);
        if (name.find(':') != std::string_view::npos) return false;
    }
    if (!rest.empty() && !(rest.front() == ':' && AllDigits(rest.substr(1)))) return false;
    const bool bracketed = !text.empty() && text.front() == '[';
    if (bracketed) return name == "::1" || EqualsNoCase(name, address_);
    return EqualsNoCase(name, "localhost") || name == "127.0.0.1" || EqualsNoCase(name, address_);
}

// ---- Parser ------------------------------------------------------------------------------------------

void THttpRequestParser::Reset() {
    state_ = TState::NeedMore;
    phase_ = TPhase::Start;
    line_.clear();
    headBytes_ = 0;
    bodyLeft_ = 0;
    expectContinue_ = false;
    request_ = THttpRequest();
    errorStatus_ = 0;
    errorReason_.clear();
}

size_t THttpRequestParser::Fail(int status, std::string reason, size_t used) {
    state_ = TState::Error;
    errorStatus_ = status;
    errorReason_ = std::move(reason);
    line_.clear();
    return used;
}

size_t THttpRequestParser::Feed(std::string_view data) {
    if (state_ != TState::NeedMore) return 0;
    size_t used = 0;
    while (used < data.size()) {
        if (phase_ == TPhase::Body) {
            const size_t take = std::min(bodyLeft_, data.size() - used);
            request_.Body.append(data.data() + used, take);
            used += take;
            bodyLeft_ -= take;
            if (bodyLeft_ == 0) {
                state_ = TState::Complete;
                return used;
            }
            continue;
        }
        const char* start = data.data() + used;
        const size_t left = data.size() - used;
        const void* lf = std::memchr(start, '\n', left);
        const size_t take = lf ? static_cast<size_t>(static_cast<const char*>(lf) - start) + 1 : left;
        if (headBytes_ + take > limits_.MaxHeaderBytes)
            return Fail(
                431, "Request line and headers exceed " + std::to_string(limits_.MaxHeaderBytes) + " bytes",
                used + take);
        headBytes_ += take;
        used += take;
        if (!lf) {
            line_.append(start, take);
            break;
        }
        line_.append(start, take - 1);
        if (!line_.empty() && line_.back() == '\r') line_.pop_back();
        std::string line;
        line.swap(line_);
        if (phase_ == TPhase::Start) {
            if (line.empty()) continue; // blank lines before a request are allowed
            if (!ParseRequestLine(line)) return used;
            phase_ = TPhase::Headers;
        } else if (line.empty()) {
            if (!HeadersDone()) return used;
            // Complete, or a client waiting for "100 Continue" before it sends the body.
            if (state_ == TState::Complete || expectContinue_) return used;
        } else if (!ParseHeaderLine(line)) {
            return used;
        }
    }
    return used;
}

bool THttpRequestParser::ParseRequestLine(const std::string& line) {
    const size_t sp1 = line.find(' ');
    const size_t sp2 = sp1 == std::string::npos ? std::string::npos : line.find(' ', sp1 + 1);
    if (sp2 == std::string::npos || line.find(' ', sp2 + 1) != std::string::npos) {
        Fail(400, "Malformed request line", 0);
        return false;
    }
    const std::string_view method(line.data(), sp1);
    const std::string_view target(line.data() + sp1 + 1, sp2 - sp1 - 1);
    const std::string_view version(line.data() + sp2 + 1, line.size() - sp2 - 1);
    if (!IsToken(method)) {
        Fail(400, "Malformed method", 0);
        return false;
    }
    if (target.empty() || target.front() != '/' || std::any_of(target.begin(), target.end(), [](char c) {
            return static_cast<unsigned char>(c) <= 0x20 || c == 0x7f;
        })) {
        Fail(400, "Malformed request target", 0);
        return false;
    }
    if (version == "HTTP/1.1")
        request_.MinorVersion = 1;
    else if (version == "HTTP/1.0")
        request_.MinorVersion = 0;
    else if (version.size() == 8 && version.substr(0, 5) == "HTTP/" && version[6] == '.' &&
             AllDigits(version.substr(5, 1)) && AllDigits(version.substr(7, 1))) {
        Fail(505, "Only HTTP/1.0 and HTTP/1.1 are served", 0);
        return false;
    } else {
        Fail(400, "Malformed HTTP version", 0);
        return false;
    }
    request_.Method = std::string(method);
    request_.Target = std::string(target);
    const size_t end = target.find_first_of("?#");
    request_.Path = PercentDecode(target.substr(0, end), false);
    if (end != std::string_view::npos && target[end] == '?') {
        const std::string_view query = target.substr(end + 1);
        request_.Query = std::string(query.substr(0, query.find('#')));
    }
    return true;
}

bool THttpRequestParser::ParseHeaderLine(const std::string& line) {
    if (line.front() == ' ' || line.front() == '\t') {
        Fail(400, "Folded header lines are not accepted", 0);
        return false;
    }
    const size_t colon = line.find(':');
    if (colon == std::string::npos || !IsToken(std::string_view(line).substr(0, colon))) {
        Fail(400, "Malformed header line", 0);
        return false;
    }
    const std::string_view value = Trim(std::string_view(line).substr(colon + 1));
    if (std::any_of(value.begin(), value.end(), [](char c) {
            const auto u = static_cast<unsigned char>(c);
            return (u < 0x20 && c != '\t') || u == 0x7f;
        })) {
        Fail(400, "Control character in a header value", 0);
        return false;
    }
    request_.Headers.emplace_back(ToLower(std::string_view(line).substr(0, colon)), std::string(value));
    return true;
}

bool THttpRequestParser::HeadersDone() {
    const bool http11 = request_.MinorVersion == 1;
    int hosts = 0;
    std::optional<std::string> length;
    bool keepAliveToken = false, closeToken = false;
    for (const auto& [name, value] : request_.Headers) {
        if (name == "host")
            ++hosts;
        else if (name == "transfer-encoding") {
            Fail(411, "Request bodies need a Content-Length (chunked bodies are not accepted)", 0);
            return false;
        } else if (name == "content-length") {
            if (!AllDigits(value) || (length && *length != value)) {
                Fail(400, "Malformed Content-Length", 0);
                return false;
            }
            length = value;
        } else if (name == "connection") {
            keepAliveToken |= HasToken(value, "keep-alive");
            closeToken |= HasToken(value, "close");
        } else if (name == "expect") {
            if (!EqualsNoCase(value, "100-continue")) {
                Fail(417, "Only \"Expect: 100-continue\" is understood", 0);
                return false;
            }
            expectContinue_ = true;
        }
    }
    if ((http11 && hosts != 1) || hosts > 1) {
        Fail(400, "A request needs exactly one Host header", 0);
        return false;
    }
    request_.KeepAlive = !closeToken && (http11 || keepAliveToken);
    size_t bytes = 0;
    if (length) {
        // Compared as text first: a length of any number of digits is refused without overflow.
        const std::string digits = length->substr(std::min(length->find_first_not_of('0'), length->size()));
        const std::string limit = std::to_string(limits_.MaxBodyBytes);
        if (digits.size() > limit.size() || (digits.size() == limit.size() && digits > limit)) {
            Fail(413, "Request body over " + limit + " bytes", 0);
            return false;
        }
        bytes = digits.empty() ? 0 : std::stoul(digits);
    }
    if (bytes == 0) {
        state_ = TState::Complete;
        return true;
    }
    phase_ = TPhase::Body;
    bodyLeft_ = bytes;
    request_.Body.reserve(bytes);
    return true;
}

// ---- Session --------------------------------------------------------------------------------------

THttpSession::THttpSession(const THttpLimits& limits, THostRule hosts, std::vector<THttpHandler> handlers)
    : limits_(limits), hosts_(std::move(hosts)), handlers_(std::move(handlers)), parser_(limits) {}

THttpResponse THttpSession::Answer(const THttpRequest& request) {
    if (!hosts_.Allows(request.Header("host"))) {
        THttpResponse refused = TextReply(403, "Host not allowed: this server answers only its own address");
        refused.Close = true;
        return refused;
    }
    try {
        for (const THttpHandler& handler : handlers_)
            if (std::optional<THttpResponse> answer = handler(request)) return std::move(*answer);
    } catch (const std::exception& e) {
        THttpResponse failed = TextReply(500, "Internal error");
        failed.Close = true;
        return failed;
    }
    return TextReply(404, "Not found: " + request.Path);
}

size_t THttpSession::Feed(std::string_view input, std::string& out) {
    size_t used = 0;
    while (!closing_ && !streaming_ && used < input.size() && out.size() <= limits_.MaxPendingReplyBytes) {
        used += parser_.Feed(input.substr(used));
        switch (parser_.State()) {
        case THttpRequestParser::TState::NeedMore:
            if (parser_.InBody() && parser_.ExpectsContinue() && !continueSent_) {
                out += "HTTP/1.1 100 Continue\r\n\r\n";
                continueSent_ = true;
            }
            break;
        case THttpRequestParser::TState::Error: {
            THttpResponse refused = TextReply(parser_.ErrorStatus(), parser_.ErrorReason());
            out += SerializeResponse(refused, false);
            closing_ = true;
            ++answered_;
            break;
        }
        case THttpRequestParser::TState::Complete: {
            THttpResponse answer = Answer(parser_.Request());
            // HEAD: the head GET would get, without a body; the client reads the next reply right
            // after it. A stream's head ends the connection, no events follow.
            const bool head = parser_.Request().Method == "HEAD";
            if (answer.Stream && !head && streamGate_ && !streamGate_()) {
                answer = TextReply(503, "Too many event streams open, try again later");
                answer.Close = true;
            }
            if (head && answer.Stream) answer.Close = true;
            const bool keep = parser_.Request().KeepAlive && !answer.Close;
            // An HTTP/1.0 client keeps the connection only when told so.
            if (keep && parser_.Request().MinorVersion == 0)
                answer.Headers.emplace_back("Connection", "keep-alive");
            out += SerializeResponse(answer, keep, !head);
            if (answer.Stream && !head) {
                streaming_ = true;
                stream_ = std::move(answer.Stream);
            } else if (!keep) {
                closing_ = true;
            }
            parser_.Reset();
            continueSent_ = false;
            ++answered_;
            break;
        }
        }
    }
    return used;
}

THttpParse ParseHttpRequest(std::string_view bytes, const THttpLimits& limits) {
    THttpRequestParser parser(limits);
    THttpParse result;
    // A client waiting for "100 Continue" pauses the parser after the head: go on with its body.
    while (result.Used < bytes.size() && parser.State() == THttpRequestParser::TState::NeedMore) {
        const size_t used = parser.Feed(bytes.substr(result.Used));
        if (used == 0) break;
        result.Used += used;
    }
    if (parser.State() == THttpRequestParser::TState::Complete) result.Request = parser.Request();
    if (parser.State() == THttpRequestParser::TState::Error) result.Status = parser.ErrorStatus();
    return result;
}

std::string ServeHttpBytes(std::string_view bytes, const std::vector<THttpHandler>& handlers,
                           const THttpLimits& limits, const THostRule& hosts) {
    THttpSession session(limits, hosts, handlers);
    std::string written;
    while (!bytes.empty() && !session.Closing() && !session.Streaming()) {
        std::string out;
        bytes.remove_prefix(session.Feed(bytes, out));
        written += out;
    }
    return written;
}
