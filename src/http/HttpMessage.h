// HTTP/1.1 requests and replies as plain bytes: an incremental request parser with hard limits, the
// decoding of queries and form bodies, the serialisation of replies, and a session that turns the
// bytes a client sent into the bytes the server writes back. No Qt and no socket here, so that the
// whole path from hostile bytes to a reply can be driven by a test or a fuzzer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The limits of one server. Times are in milliseconds; the plain C++ part uses only the sizes.
struct THttpLimits {
    size_t MaxHeaderBytes = 16 * 1024;        // request line and headers together: 431 beyond
    size_t MaxBodyBytes = 64 * 1024;          // Content-Length beyond: 413 from the header
    size_t MaxPendingReplyBytes = 256 * 1024; // stop reading a client while more of its replies wait
    int MaxConnections = 128;                 // the next one gets 503 and is closed
    // Event streams stay open for hours: beyond this many, a new one gets 503, so that plain
    // requests always find a connection. Listen keeps it at most half the connection cap.
    int MaxStreams = 64;
    int HeaderTimeoutMs = 10000;              // from the first byte of a request to the end of its headers
    int IdleTimeoutMs = 60000;                // a kept-alive connection with nothing to do
    int StallTimeoutMs = 30000;               // replies waiting without progress; a whole body after its head
    int LingerMs = 2000;                      // reading and discarding after a refusal, so the client sees it
};

using THttpFields = std::vector<std::pair<std::string, std::string>>;

struct THttpRequest {
    std::string Method;   // as sent ("GET", "PUT"...)
    std::string Target;   // as sent ("/api/v1/x?a=1")
    std::string Path;     // percent-decoded path of the target
    std::string Query;    // the raw query (after '?'), not decoded
    int MinorVersion = 1; // HTTP/1.x
    THttpFields Headers;  // names lower-cased, values trimmed
    std::string Body;
    bool KeepAlive = true;

    // The first header of that name (lower case), or nullptr.
    const std::string* Header(std::string_view lowerName) const;
};

class THttpStream;

struct THttpResponse {
    int Status = 200;
    std::string ContentType = "text/plain; charset=utf-8";
    std::string Body;
    THttpFields Headers; // extra headers
    bool Close = false;  // close the connection after this reply
    // A streaming reply (Server-Sent Events): the head goes out without a length, then the handler
    // pushes chunks through the stream it is given; the connection serves nothing else afterwards.
    std::function<void(std::shared_ptr<THttpStream>)> Stream;
};

// The open end of a streaming reply. Push never buffers without bound: when the client does not
// read, the connection is dropped and Push answers false from then on.
class THttpStream {
  public:
    virtual ~THttpStream() = default;
    virtual bool Push(std::string_view chunk) = 0;
    virtual void End() = 0;
    virtual bool IsOpen() const = 0;
};

// A handler answers a request, or declines (nullopt) so the next handler can.
using THttpHandler = std::function<std::optional<THttpResponse>(const THttpRequest&)>;

const char* HttpStatusText(int status);

// "http://<address>:<port><path>", an IPv6 address in brackets so that the text is a usable address.
std::string HttpUrl(const std::string& address, unsigned port, const std::string& path);

// Percent-decoding in linear time; `plusIsSpace` for queries and form bodies. A '%' not followed by two
// hex digits stays as it is.
std::string PercentDecode(std::string_view text, bool plusIsSpace);
// "a=1&b=x+y" into decoded pairs, in order; empty pieces are skipped.
THttpFields ParseQuery(std::string_view text);

// The head and body of a reply on the wire. `keepAlive` false adds "Connection: close". Without
// `withBody` (the answer to HEAD) the head is the same, Content-Length included, and no body follows.
std::string SerializeResponse(const THttpResponse& response, bool keepAlive, bool withBody = true);

// Which Host headers a server bound to `boundAddress` accepts: any when it listens on a non-loopback
// address; on loopback, only the loopback names and the bound address, with or without a port, so
// that a web page of another site cannot reach it through a rebound DNS name.
class THostRule {
  public:
    THostRule() = default;
    explicit THostRule(std::string boundAddress);
    bool Allows(const std::string* host) const;

  private:
    bool loopback_ = false;
    std::string address_;
};

// The incremental parser of one connection's requests.
class THttpRequestParser {
  public:
    enum class TState { NeedMore, Complete, Error };

    explicit THttpRequestParser(const THttpLimits& limits) : limits_(limits) {}

    // Consumes bytes up to the end of one request (or an error); returns how many it used. In
    // Complete, Request() holds the request until Reset().
    size_t Feed(std::string_view data);
    TState State() const { return state_; }
    const THttpRequest& Request() const { return request_; }
    int ErrorStatus() const { return errorStatus_; }
    const std::string& ErrorReason() const { return errorReason_; }
    // The headers are complete and a body is expected ("Expect: 100-continue" may be answered).
    bool InBody() const { return phase_ == TPhase::Body; }
    bool ExpectsContinue() const { return expectContinue_; }
    // Nothing of a next request has arrived yet.
    bool Idle() const { return phase_ == TPhase::Start && line_.empty(); }
    void Reset();

  private:
    enum class TPhase { Start, Headers, Body };
    size_t Fail(int status, std::string reason, size_t used);
    bool ParseRequestLine(const std::string& line);
    bool ParseHeaderLine(const std::string& line);
    bool HeadersDone();

    THttpLimits limits_;
    TState state_ = TState::NeedMore;
    TPhase phase_ = TPhase::Start;
    std::string line_;     // the line being gathered
    size_t headBytes_ = 0; // bytes of request line and headers so far
    size_t bodyLeft_ = 0;
    bool expectContinue_ = false;
    THttpRequest request_;
    int errorStatus_ = 0;
    std::string errorReason_;
};

// One connection's conversation, without the socket: bytes in, replies out, in order.
class THttpSession {
  public:
    THttpSession(const THttpLimits& limits, THostRule hosts, std::vector<THttpHandler> handlers);

    // Consumes input, appending the replies of complete requests to `out`. Stops early (returns
    // fewer bytes than given) when `out` holds more than the pending-reply limit, when the
    // connection is to close, or when a streaming reply began; the caller offers the rest later.
    size_t Feed(std::string_view input, std::string& out);
    // No more requests are read: close once `out` is written.
    bool Closing() const { return closing_; }
    // A streaming reply whose head is in `out`; taken once by the connection.
    std::function<void(std::shared_ptr<THttpStream>)> TakeStream() { return std::move(stream_); }
    bool Streaming() const { return streaming_; }
    // A request is partly received: its headers (HeaderTimeout) or its body (StallTimeout) run.
    bool InRequest() const { return !parser_.Idle(); }
    bool InBody() const { return parser_.InBody(); }
    // Requests answered so far (refusals included).
    int Answered() const { return answered_; }
    // Asked before a streaming reply starts: false answers 503 instead (too many streams open).
    void SetStreamGate(std::function<bool()> gate) { streamGate_ = std::move(gate); }

  private:
    THttpResponse Answer(const THttpRequest& request);

    THttpLimits limits_;
    THostRule hosts_;
    std::vector<THttpHandler> handlers_;
    THttpRequestParser parser_;
    bool closing_ = false;
    bool streaming_ = false;
    bool continueSent_ = false;
    int answered_ = 0;
    std::function<void(std::shared_ptr<THttpStream>)> stream_;
    std::function<bool()> streamGate_;
};

// The first request of `bytes`: the request, or the status of its refusal, or neither when the bytes
// end before the request does; Used says how many bytes it took.
struct THttpParse {
    std::optional<THttpRequest> Request;
    int Status = 0;
    size_t Used = 0;
};
THttpParse ParseHttpRequest(std::string_view bytes, const THttpLimits& limits = {});

// The whole exchange of one connection that sends `bytes` and then waits: what the server writes
// back. For tests and fuzzing; no socket.
std::string ServeHttpBytes(std::string_view bytes, const std::vector<THttpHandler>& handlers,
                           const THttpLimits& limits = {}, const THostRule& hosts = THostRule());
