// The request parser and session without a socket: what a client's bytes turn into on the wire.
#include <gtest/gtest.h>

#include <cctype>
#include <stdexcept>
#include <string>
#include <vector>

#include "HttpMessage.h"

namespace {

// Answers every request with its method, path and decoded parameters, so that a test sees what
// the parser made of it.
std::vector<THttpHandler> Echo() {
    return {[](const THttpRequest& r) -> std::optional<THttpResponse> {
        THttpResponse answer;
        answer.Body = r.Method + " " + r.Path;
        for (const auto& [name, value] : ParseQuery(r.Query))
            answer.Body += " q:" + name + "=" + value;
        for (const auto& [name, value] : ParseQuery(r.Body))
            answer.Body += " f:" + name + "=" + value;
        return answer;
    }};
}

// The status codes of the replies in `wire`, in order (interim 100 included), each found after the
// previous one's body.
std::vector<int> Statuses(const std::string& wire) {
    std::vector<int> codes;
    size_t at = 0;
    while (at < wire.size()) {
        if (wire.compare(at, 9, "HTTP/1.1 ") != 0) {
            codes.push_back(-1); // not a reply where one should start
            break;
        }
        codes.push_back(std::stoi(wire.substr(at + 9, 3)));
        const size_t end = wire.find("\r\n\r\n", at);
        if (end == std::string::npos) break;
        const std::string head = wire.substr(at, end - at);
        const size_t length = head.find("Content-Length: ");
        if (length == std::string::npos) {
            at = end + 4;
            continue;
        }
        at = end + 4 + std::stoul(head.substr(length + 16));
    }
    return codes;
}

std::string Get(const std::string& target, const std::string& extra = "") {
    return "GET " + target + " HTTP/1.1\r\nHost: localhost\r\n" + extra + "\r\n";
}

TEST(HttpRequests, EachMalformedOrOversizedRequestGetsItsStatusAndEndsTheConnection) {
    const std::string big(16 * 1024, 'a');
    struct Case {
        const char* What;
        std::string Bytes;
        std::vector<int> Expected; // statuses of the replies; the connection closes after an error
    };
    const std::vector<Case> cases = {
        {"plain GET", Get("/x"), {200}},
        {"HTTP/1.0 without Host", "GET /x HTTP/1.0\r\n\r\n", {200}},
        {"bare LF line ends", "GET /x HTTP/1.1\nHost: a\n\n", {200}},
        {"blank lines before the request", "\r\n\r\n" + Get("/x"), {200}},
        {"headers just under the limit", Get("/x", "X: " + big.substr(0, 16 * 1024 - 60) + "\r\n"), {200}},
        {"headers over the limit", Get("/x", "X: " + big + "\r\n") + Get("/y"), {431}},
        {"request line over the limit", "GET /" + big + " HTTP/1.1\r\n", {431}},
        {"endless header line", "GET / HTTP/1.1\r\nX: " + big, {431}},
        {"body at the limit",
         "PUT /x HTTP/1.1\r\nHost: a\r\nContent-Length: 65536\r\n\r\n" + std::string(65536, 'b'),
         {200}},
        {"body over the limit",
         "PUT /x HTTP/1.1\r\nHost: a\r\nContent-Length: 65537\r\n\r\n" + std::string(65537, 'b'),
         {413}},
        {"1 GB declared", "PUT /x HTTP/1.1\r\nHost: a\r\nContent-Length: 1000000000\r\n\r\nbbbb", {413}},
        {"length beyond 64 bits",
         "PUT /x HTTP/1.1\r\nHost: a\r\nContent-Length: 99999999999999999999999999\r\n\r\n",
         {413}},
        {"leading zeros",
         "PUT /x HTTP/1.1\r\nHost: a\r\nContent-Length: 0000000000000000000003\r\n\r\na=1",
         {200}},
        {"negative length", "PUT /x HTTP/1.1\r\nHost: a\r\nContent-Length: -1\r\n\r\n", {400}},
        {"two different lengths",
         "PUT /x HTTP/1.1\r\nHost: a\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\nab",
         {400}},
        {"chunked body",
         "PUT /x HTTP/1.1\r\nHost: a\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n",
         {411}},
        {"HTTP/1.1 without Host", "GET /x HTTP/1.1\r\n\r\n", {400}},
        {"two Host headers", "GET /x HTTP/1.1\r\nHost: a\r\nHost: b\r\n\r\n", {400}},
        {"folded header", "GET /x HTTP/1.1\r\nHost: a\r\nX: 1\r\n  2\r\n\r\n", {400}},
        {"header without colon", "GET /x HTTP/1.1\r\nHost: a\r\nnonsense\r\n\r\n", {400}},
        {"blank before the colon", "GET /x HTTP/1.1\r\nHost : a\r\n\r\n", {400}},
        {"control character in a value", std::string("GET /x HTTP/1.1\r\nHost: a\x01\r\n\r\n"), {400}},
        {"request line of two words", "GET /x\r\n\r\n", {400}},
        {"double blank in request line", "GET  /x HTTP/1.1\r\nHost: a\r\n\r\n", {400}},
        {"absolute target", "GET http://a/x HTTP/1.1\r\nHost: a\r\n\r\n", {400}},
        {"NUL in target",
         std::string("GET /a\0b HTTP/1.1\r\nHost: a\r\n\r\n",
                     sizeof "GET /a\0b HTTP/1.1\r\nHost: a\r\n\r\n" - 1),
         {400}},
        {"binary garbage", std::string("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03\r\n\r\n", 15), {400}},
        {"unknown protocol", "GET /x FTP/1.1\r\nHost: a\r\n\r\n", {400}},
        {"HTTP/2", "GET /x HTTP/2.0\r\nHost: a\r\n\r\n", {505}},
        {"method with a slash", "G/T /x HTTP/1.1\r\nHost: a\r\n\r\n", {400}},
        {"100-continue",
         "PUT /x HTTP/1.1\r\nHost: a\r\nExpect: 100-continue\r\nContent-Length: 3\r\n\r\na=1",
         {100, 200}},
        {"other expectation",
         "PUT /x HTTP/1.1\r\nHost: a\r\nExpect: magic\r\nContent-Length: 3\r\n\r\na=1",
         {417}},
        {"three pipelined", Get("/a") + Get("/b") + Get("/c"), {200, 200, 200}},
        {"close ends the pipeline", Get("/a", "Connection: close\r\n") + Get("/b"), {200}},
        {"1.0 closes without keep-alive", "GET /a HTTP/1.0\r\n\r\n" + Get("/b"), {200}},
        {"1.0 kept alive on request",
         "GET /a HTTP/1.0\r\nConnection: Keep-Alive\r\n\r\n" + Get("/b"),
         {200, 200}},
        {"an error after a good one", Get("/a") + "BAD\r\n\r\n" + Get("/c"), {200, 400}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        const std::string whole = ServeHttpBytes(c.Bytes, Echo());
        EXPECT_EQ(Statuses(whole), c.Expected) << whole.substr(0, 300);
        // The same bytes in small pieces give the same replies: nothing depends on how TCP cuts them.
        THttpSession session(THttpLimits{}, THostRule(), Echo());
        std::string pieces;
        for (size_t at = 0; at < c.Bytes.size() && !session.Closing();) {
            std::string out;
            const std::string_view piece = std::string_view(c.Bytes).substr(at, 7);
            const size_t used = session.Feed(piece, out);
            pieces += out;
            if (used == 0) break;
            at += used;
        }
        EXPECT_EQ(pieces, whole);
        if (c.Expected.back() >= 400) {
            EXPECT_NE(whole.find("Connection: close\r\n"), std::string::npos);
            EXPECT_NE(whole.find("Content-Type: text/plain; charset=utf-8\r\n"), std::string::npos);
        }
    }
}

TEST(HttpRequests, OneRequestIsParsedWithoutASessionAsAFuzzerDrivesIt) {
    const std::string two =
        "PUT /a%2Fb?x=1 HTTP/1.1\r\nHOST: h\r\nExpect: 100-continue\r\nContent-Length: 3\r\n\r\nk=v" +
        Get("/next");
    const THttpParse first = ParseHttpRequest(two);
    ASSERT_TRUE(first.Request);
    EXPECT_EQ(first.Request->Path, "/a/b");
    EXPECT_EQ(first.Request->Query, "x=1");
    EXPECT_EQ(first.Request->Body, "k=v");
    ASSERT_NE(first.Request->Header("host"), nullptr);
    EXPECT_EQ(*first.Request->Header("host"), "h");
    EXPECT_EQ(two.substr(first.Used), Get("/next"));
    EXPECT_EQ(ParseHttpRequest("GET / HTTP/1.1\r\nHost: h\r\n").Status, 0); // not complete yet
    EXPECT_FALSE(ParseHttpRequest("GET / HTTP/1.1\r\nHost: h\r\n").Request);
    EXPECT_EQ(ParseHttpRequest("GET / HTTP/1.1 x\r\n\r\n").Status, 400);
}

TEST(HttpRequests, AnOversizedBodyIsRefusedFromItsHeaderWithoutTakingItsBytes) {
    THttpSession session(THttpLimits{}, THostRule(), Echo());
    const std::string head = "PUT /x HTTP/1.1\r\nHost: a\r\nContent-Length: 1000000000\r\n\r\n";
    const std::string bytes = head + std::string(1 << 20, 'b');
    std::string out;
    EXPECT_EQ(session.Feed(bytes, out), head.size());
    EXPECT_TRUE(session.Closing());
    EXPECT_EQ(Statuses(out), std::vector<int>{413});
    out.clear();
    EXPECT_EQ(session.Feed(bytes.substr(head.size()), out), 0u);
    EXPECT_TRUE(out.empty());
}

TEST(HttpRequests, PipelinedRepliesStopAtThePendingLimitAndResumeWhereTheyStopped) {
    THttpLimits limits;
    limits.MaxPendingReplyBytes = 1000;
    std::vector<THttpHandler> large = {[](const THttpRequest&) -> std::optional<THttpResponse> {
        THttpResponse r;
        r.Body.assign(600, 'x');
        return r;
    }};
    THttpSession session(limits, THostRule(), large);
    std::string bytes;
    for (int i = 0; i < 10; ++i)
        bytes += Get("/" + std::to_string(i));
    std::string out;
    const size_t used = session.Feed(bytes, out);
    EXPECT_EQ(Statuses(out).size(), 2u); // the second reply crosses the limit
    EXPECT_LT(used, bytes.size());
    std::string rest;
    std::string_view left = std::string_view(bytes).substr(used);
    while (!left.empty()) {
        std::string more;
        left.remove_prefix(session.Feed(left, more));
        rest += more;
    }
    EXPECT_EQ(Statuses(out + rest).size(), 10u);
}

TEST(HttpRequests, QueriesFormsAndPathsAreDecodedOnce) {
    struct Case {
        std::string Bytes;
        std::string Body; // what Echo saw
    };
    const std::vector<Case> cases = {
        {Get("/a?x=1&y=two+words"), "GET /a q:x=1 q:y=two words"},
        {Get("/a?x=%41%2b%2B&&=v&k"), "GET /a q:x=A++ q:=v q:k="},
        {Get("/a?bad=%zz%4&end=%"), "GET /a q:bad=%zz%4 q:end=%"},
        {Get("/a?e=%C3%A9"), "GET /a q:e=\xc3\xa9"},
        {Get("/a%20b+c?x=1#frag"), "GET /a b+c q:x=1"},
        {"PUT /f HTTP/1.1\r\nHost: a\r\nContent-Length: 20\r\n\r\nConnected=True&a=b+c",
         "PUT /f f:Connected=True f:a=b c"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Bytes);
        const std::string wire = ServeHttpBytes(c.Bytes, Echo());
        ASSERT_GE(wire.size(), c.Body.size());
        EXPECT_EQ(wire.substr(wire.size() - c.Body.size()), c.Body);
    }
    // A body of nothing but '+' is decoded in one pass, whatever its length.
    EXPECT_EQ(PercentDecode(std::string(1 << 20, '+'), true), std::string(1 << 20, ' '));
}

TEST(HttpRequests, ALoopbackServerAnswersOnlyItsOwnNames) {
    struct Case {
        const char* Bound;
        const char* Host; // nullptr: no Host header
        bool Allowed;
    };
    const std::vector<Case> cases = {
        {"127.0.0.1", "localhost", true},
        {"127.0.0.1", "LocalHost:11111", true},
        {"127.0.0.1", "127.0.0.1", true},
        {"127.0.0.1", "127.0.0.1:80", true},
        {"127.0.0.1", "[::1]", true},
        {"127.0.0.1", "[::1]:11111", true},
        {"127.0.0.1", nullptr, true},
        {"127.0.0.1", "evil.example", false},
        {"127.0.0.1", "evil.example:11111", false},
        {"127.0.0.1", "localhost.evil.example", false},
        {"127.0.0.1", "127.0.0.1.nip.io", false},
        {"127.0.0.1", "", false},
        {"127.0.0.1", "localhost:port", false},
        {"127.0.0.1", "[::1", false},
        {"127.0.0.1", "::1", false},
        {"127.0.0.1", "127.0.0.2", false},
        {"127.0.0.2", "127.0.0.2:8080", true},
        {"::1", "[::1]:8080", true},
        {"::1", "localhost", true},
        {"::1", "[::2]", false},
        {"0.0.0.0", "evil.example", true},
        {"192.168.1.20", "observatory.lan:11111", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.Bound) + " Host " + (c.Host ? c.Host : "(none)"));
        const THostRule rule(c.Bound);
        const std::string host = c.Host ? c.Host : "";
        EXPECT_EQ(rule.Allows(c.Host ? &host : nullptr), c.Allowed);
        const std::string request =
            c.Host ? "GET /x HTTP/1.1\r\nHost: " + host + "\r\n\r\n" : std::string("GET /x HTTP/1.0\r\n\r\n");
        EXPECT_EQ(Statuses(ServeHttpBytes(request, Echo(), THttpLimits{}, rule)),
                  std::vector<int>{c.Allowed ? 200 : 403});
    }
}

TEST(HttpRequests, RepliesCarryTheirLengthNosniffAndNoBodyForAStream) {
    THttpResponse json;
    json.ContentType = "application/json";
    json.Body = "{}";
    EXPECT_EQ(SerializeResponse(json, true),
              "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 2\r\n"
              "X-Content-Type-Options: nosniff\r\n\r\n{}");
    THttpResponse events;
    events.ContentType = "text/event-stream";
    events.Stream = [](std::shared_ptr<THttpStream>) {};
    const std::string head = SerializeResponse(events, true);
    EXPECT_EQ(head.find("Content-Length"), std::string::npos);
    EXPECT_NE(head.find("Connection: close\r\n\r\n"), std::string::npos);
    // A handler that throws is a 500, not the end of the server.
    const std::vector<THttpHandler> failing = {
        [](const THttpRequest&) -> std::optional<THttpResponse> { throw std::runtime_error("boom"); }};
    EXPECT_EQ(Statuses(ServeHttpBytes(Get("/x"), failing)), std::vector<int>{500});
    EXPECT_EQ(Statuses(ServeHttpBytes(Get("/x"), {})), std::vector<int>{404});
    // An HTTP/1.0 client that asked to keep the connection is told it is kept.
    EXPECT_NE(ServeHttpBytes("GET / HTTP/1.0\r\nConnection: keep-alive\r\n\r\n", Echo())
                  .find("Connection: keep-alive\r\n"),
              std::string::npos);
    EXPECT_EQ(ServeHttpBytes("GET / HTTP/1.0\r\n\r\n", Echo()).find("keep-alive"), std::string::npos);
}

TEST(HttpRequests, AHeadReplyIsTheHeadOfItsGetAndTheNextReplyFollowsIt) {
    // Echo's body names the method: "HEAD /a" is 7 bytes, announced and not sent.
    const std::string wire =
        ServeHttpBytes("HEAD /a HTTP/1.1\r\nHost: localhost\r\n\r\n" + Get("/b"), Echo());
    EXPECT_EQ(wire, "HTTP/1.1 200 OK\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Length: 7\r\n"
                    "X-Content-Type-Options: nosniff\r\n\r\n" +
                        ServeHttpBytes(Get("/b"), Echo()));
    // A stream's head, and the connection ends without the stream starting.
    const std::vector<THttpHandler> stream = {[](const THttpRequest&) -> std::optional<THttpResponse> {
        THttpResponse r;
        r.ContentType = "text/event-stream";
        r.Stream = [](std::shared_ptr<THttpStream>) {};
        return r;
    }};
    THttpSession session(THttpLimits{}, THostRule(), stream);
    std::string out;
    session.Feed("HEAD /events HTTP/1.1\r\nHost: localhost\r\n\r\n", out);
    EXPECT_FALSE(session.Streaming());
    EXPECT_TRUE(session.Closing());
    EXPECT_TRUE(out.ends_with("Connection: close\r\n\r\n")) << out;
}

} // namespace

TEST(HttpRequests, TheAddressShownIsAUsableUrl) {
    const std::pair<const char*, const char*> cases[] = {
        {"127.0.0.1", "http://127.0.0.1:11111/setup"},
        {"0.0.0.0", "http://0.0.0.0:11111/setup"},
        {"::1", "http://[::1]:11111/setup"},
        {"::", "http://[::]:11111/setup"},
        {"[::1]", "http://[::1]:11111/setup"},
    };
    for (const auto& [address, url] : cases)
        EXPECT_EQ(HttpUrl(address, 11111, "/setup"), url) << address;
}
