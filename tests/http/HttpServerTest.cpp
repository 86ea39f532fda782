// The server on a real socket against a raw client that misbehaves: huge heads and bodies, replies
// never read, slow heads, idle and surplus connections, foreign Host names. The client runs in
// this process on non-blocking sockets while the event loop serves, so the server's memory (this
// process's RSS) and the main thread's longest stall are measured where they happen.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include "HttpServer.h"

namespace {

void Pump(int ms = 1) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, ms);
}

// Turns the event loop for that long.
void PumpFor(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        Pump(5);
}

template <typename F> bool WaitFor(F done, int ms = 10000) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms) return false;
        Pump(5);
    }
    return true;
}

// Under a sanitizer, freed memory is held back (quarantine, shadow memory): the resident size says
// nothing about what the server keeps, and its bounds are not checked there.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool RssMeaningful = false;
#else
constexpr bool RssMeaningful = true;
#endif

long RssKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return 0;
}

// The longest time the main thread did not turn its event loop, while it lives.
class StallMeter {
  public:
    StallMeter() {
        clock_.start();
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout,
                         [this] { longest_ = std::max(longest_, clock_.restart()); });
        timer_.start();
    }
    qint64 LongestMs() const { return longest_; }

  private:
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 longest_ = 0;
};

// A TCP client on a non-blocking socket; every wait turns the event loop so the server runs.
class RawClient {
  public:
    explicit RawClient(quint16 port, int receiveBuffer = 0) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        if (receiveBuffer > 0) ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        // Without blocking: the server accepts only while the event loop turns.
        ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) | O_NONBLOCK);
        if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
            connected_ = true;
        } else if (errno == EINPROGRESS) {
            WaitFor([&] {
                pollfd p{fd_, POLLOUT, 0};
                return ::poll(&p, 1, 0) == 1;
            });
            int error = 0;
            socklen_t size = sizeof error;
            ::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &size);
            connected_ = error == 0;
        }
    }
    ~RawClient() {
        if (fd_ >= 0) ::close(fd_);
    }
    bool Connected() const { return connected_; }

    // Sends what the kernel takes now; the count sent.
    size_t SendSome(std::string_view bytes) {
        const ssize_t sent = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        return sent > 0 ? static_cast<size_t>(sent) : 0;
    }
    // All of it, turning the event loop while the kernel is full; false when the server closed.
    bool Send(std::string_view bytes, int ms = 10000) {
        QElapsedTimer t;
        t.start();
        while (!bytes.empty()) {
            const ssize_t sent = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
            if (sent > 0)
                bytes.remove_prefix(static_cast<size_t>(sent));
            else if (errno != EAGAIN && errno != EWOULDBLOCK)
                return false;
            else if (t.elapsed() > ms)
                return false;
            else
                Pump(2);
        }
        return true;
    }
    // Reads what has arrived; notes the end of the connection (EOF or reset).
    void Read() {
        char buffer[65536];
        for (;;) {
            const ssize_t got = ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
            if (got > 0) {
                received_.append(buffer, static_cast<size_t>(got));
                continue;
            }
            if (got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) closed_ = true;
            if (got < 0 && errno == ECONNRESET) reset_ = true;
            return;
        }
    }
    bool WaitReceived(const std::string& text, int ms = 10000) {
        return WaitFor(
                   [&] {
                       Read();
                       return received_.find(text) != std::string::npos || closed_;
                   },
                   ms) &&
               received_.find(text) != std::string::npos;
    }
    bool WaitClosed(int ms = 10000) {
        return WaitFor(
            [&] {
                Read();
                return closed_;
            },
            ms);
    }
    // The connection ended without this client reading (a reset or an EOF behind unread bytes).
    bool ClosedByPeer() {
        if (closed_) return true;
        int error = 0;
        socklen_t size = sizeof error;
        ::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &size);
        if (error != 0) return true;
        char byte;
        const ssize_t got = ::recv(fd_, &byte, 1, MSG_DONTWAIT | MSG_PEEK);
        return got == 0 || (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
    }
    // The connection ended with a reset rather than an orderly end.
    bool WasReset() const { return reset_; }
    const std::string& Received() const { return received_; }
    int Status(size_t reply = 0) const {
        size_t at = 0;
        for (size_t i = 0; i <= reply; ++i) {
            at = received_.find("HTTP/1.1 ", i == 0 ? 0 : at + 1);
            if (at == std::string::npos) return 0;
        }
        return std::stoi(received_.substr(at + 9, 3));
    }
    int Fd() const { return fd_; }

  private:
    int fd_ = -1;
    bool connected_ = false;
    bool closed_ = false;
    bool reset_ = false;
    std::string received_;
};

std::string Get(const std::string& path, const std::string& host = "127.0.0.1") {
    return "GET " + path + " HTTP/1.1\r\nHost: " + host + "\r\n\r\n";
}

class HttpServerTest : public ::testing::Test {
  protected:
    // Short times, so that each limit shows within a second or so.
    static THttpLimits FastLimits() {
        THttpLimits limits;
        limits.HeaderTimeoutMs = 1000;
        limits.IdleTimeoutMs = 1000;
        limits.StallTimeoutMs = 1000;
        limits.LingerMs = 300;
        return limits;
    }
    // "/events" opens a stream that says hello; each stream opened is kept in `streams`.
    void ServeEventStreams(std::vector<std::shared_ptr<THttpStream>>& streams) {
        server_->AddHandler(
            [&streams](const THttpRequest& request) -> std::optional<THttpResponse> {
                if (request.Path != "/events") return std::nullopt;
                THttpResponse events;
                events.ContentType = "text/event-stream";
                events.Stream = [&streams](std::shared_ptr<THttpStream> stream) {
                    stream->Push(": hello\n\n");
                    streams.push_back(std::move(stream));
                };
                return events;
            },
            true);
    }
    void Start(THttpLimits limits = FastLimits()) {
        server_ = std::make_unique<THttpServer>(limits);
        server_->AddHandler([this](const THttpRequest& request) -> std::optional<THttpResponse> {
            ++requests_;
            THttpResponse answer;
            if (request.Path == "/big")
                answer.Body.assign(64 * 1024, 'x');
            else
                answer.Body = "hello " + request.Path + "\n";
            return answer;
        });
        QString error;
        ASSERT_TRUE(server_->Listen(QHostAddress::LocalHost, 0, error)) << error.toStdString();
        port_ = server_->Port();
    }
    std::unique_ptr<THttpServer> server_;
    quint16 port_ = 0;
    int requests_ = 0;
};

TEST_F(HttpServerTest, KeepsAliveAndAnswersPipelinedRequestsInOrder) {
    ASSERT_NO_FATAL_FAILURE(Start());
    RawClient client(port_);
    ASSERT_TRUE(client.Send(Get("/a") + Get("/b") + Get("/c")));
    ASSERT_TRUE(client.WaitReceived("hello /c\n"));
    const std::string& r = client.Received();
    EXPECT_LT(r.find("hello /a"), r.find("hello /b"));
    EXPECT_LT(r.find("hello /b"), r.find("hello /c"));
    EXPECT_NE(r.find("X-Content-Type-Options: nosniff\r\n"), std::string::npos);
    // Busy under the idle limit, the connection stays.
    for (int i = 0; i < 4; ++i) {
        PumpFor(200);
        ASSERT_TRUE(client.Send(Get("/again" + std::to_string(i))));
        ASSERT_TRUE(client.WaitReceived("hello /again" + std::to_string(i))) << i;
    }
    EXPECT_EQ(server_->ConnectionCount(), 1);
}

TEST_F(HttpServerTest, RefusalsAreAnsweredThenTheConnectionCloses) {
    ASSERT_NO_FATAL_FAILURE(Start());
    struct Case {
        const char* What;
        std::string Bytes;
        int Status;
    };
    const std::vector<Case> cases = {
        {"huge header", "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nX: " + std::string(20000, 'h') + "\r\n\r\n",
         431},
        {"malformed request line", "HELLO\r\n\r\n", 400},
        {"foreign Host", Get("/", "attacker.example"), 403},
        {"foreign Host with the port", Get("/", "attacker.example:" + std::to_string(port_)), 403},
        {"chunked body",
         "PUT / HTTP/1.1\r\nHost: localhost\r\nTransfer-Encoding: chunked\r\n\r\n1\r\na\r\n0\r\n\r\n", 411},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        RawClient client(port_);
        client.Send(c.Bytes);
        ASSERT_TRUE(client.WaitClosed());
        EXPECT_EQ(client.Status(), c.Status) << client.Received().substr(0, 200);
    }
    for (const std::string& host :
         std::vector<std::string>{"localhost", "127.0.0.1:" + std::to_string(port_), "[::1]"}) {
        RawClient client(port_);
        client.Send(Get("/ok", host));
        EXPECT_TRUE(client.WaitReceived("hello /ok")) << host;
    }
    EXPECT_TRUE(WaitFor([&] { return server_->ConnectionCount() <= 3; }));
}

TEST_F(HttpServerTest, A1GBBodySentSlowlyIsRefusedFromItsHeaderWithoutBuffering) {
    ASSERT_NO_FATAL_FAILURE(Start());
    const long before = RssKb();
    StallMeter stall;
    RawClient client(port_);
    ASSERT_TRUE(client.Send("PUT /api HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 1000000000\r\n\r\n"));
    // The body keeps coming, 1 MB at a time, until the server has answered and gone.
    const std::string megabyte(1 << 20, 'b');
    QElapsedTimer t;
    t.start();
    size_t sent = 0;
    while (!client.ClosedByPeer() && t.elapsed() < 10000) {
        sent += client.SendSome(megabyte);
        client.Read();
        Pump(20);
    }
    EXPECT_TRUE(client.ClosedByPeer());
    EXPECT_EQ(client.Status(), 413) << client.Received();
    EXPECT_EQ(requests_, 0);
    const long grown = RssKb() - before;
    if (RssMeaningful) {
        EXPECT_LT(grown, 32 * 1024) << "RSS grew by " << grown << " kB after " << sent << " bytes of body";
    }
    EXPECT_LT(stall.LongestMs(), 2000);
    RecordProperty("body_bytes_sent", static_cast<int>(sent >> 10));
    RecordProperty("rss_growth_kb", static_cast<int>(grown));
}

TEST_F(HttpServerTest, AClientThatNeverReadsItsPipelinedRepliesIsPausedThenDropped) {
    ASSERT_NO_FATAL_FAILURE(Start());
    const long before = RssKb();
    StallMeter stall;
    RawClient client(port_, 4096);
    // Ten thousand requests for 64 KiB each: 640 MB of replies if they were all made.
    std::string burst;
    for (int i = 0; i < 10000; ++i)
        burst += Get("/big");
    size_t sent = 0;
    QElapsedTimer t;
    t.start();
    while (sent < burst.size() && t.elapsed() < 800) {
        sent += client.SendSome(std::string_view(burst).substr(sent));
        Pump(10);
    }
    EXPECT_LT(requests_, 200) << "the server kept answering a client that reads nothing";
    const long grown = RssKb() - before;
    if (RssMeaningful) {
        EXPECT_LT(grown, 32 * 1024) << "RSS grew by " << grown << " kB";
    }
    // No progress for the stall limit: dropped.
    EXPECT_TRUE(WaitFor([&] { return server_->ConnectionCount() == 0; }, 5000));
    EXPECT_LT(stall.LongestMs(), 2000);
    RecordProperty("replies_made", requests_);
    RecordProperty("rss_growth_kb", static_cast<int>(grown));
}

TEST_F(HttpServerTest, SlowHeadersAndIdleConnectionsAreClosedInTime) {
    ASSERT_NO_FATAL_FAILURE(Start());
    // One byte every 100 ms: the head is never complete within the limit.
    RawClient slow(port_);
    const std::string head = Get("/slow");
    QElapsedTimer t;
    t.start();
    for (size_t i = 0; i < head.size() && !slow.ClosedByPeer(); ++i) {
        slow.Send(head.substr(i, 1));
        slow.Read();
        PumpFor(100);
    }
    EXPECT_TRUE(slow.WaitClosed(3000));
    EXPECT_EQ(slow.Status(), 408);
    EXPECT_LT(t.elapsed(), 3000);

    // A body within its size, but trickling: the whole of it must come within the stall limit.
    RawClient trickle(port_);
    ASSERT_TRUE(trickle.Send("PUT /slow HTTP/1.1\r\nHost: localhost\r\nContent-Length: 100\r\n\r\n"));
    t.restart();
    for (int i = 0; i < 100 && !trickle.ClosedByPeer(); ++i) {
        trickle.Send("b");
        trickle.Read();
        PumpFor(100);
    }
    EXPECT_TRUE(trickle.WaitClosed(3000));
    EXPECT_LT(t.elapsed(), 3000);
    EXPECT_EQ(requests_, 0);

    // Connected and silent, or silent after a reply: closed after the idle limit.
    RawClient silent(port_);
    RawClient done(port_);
    ASSERT_TRUE(done.Send(Get("/once")));
    ASSERT_TRUE(done.WaitReceived("hello /once"));
    EXPECT_TRUE(silent.WaitClosed(3000));
    EXPECT_TRUE(done.WaitClosed(3000));
    EXPECT_TRUE(WaitFor([&] { return server_->ConnectionCount() == 0; }, 3000));
}

TEST_F(HttpServerTest, The129thConnectionGets503AndAClosedOneMakesRoom) {
    THttpLimits limits = FastLimits();
    limits.IdleTimeoutMs = 60000;
    limits.HeaderTimeoutMs = 60000;
    ASSERT_NO_FATAL_FAILURE(Start(limits));
    ASSERT_EQ(limits.MaxConnections, 128);
    std::vector<std::unique_ptr<RawClient>> clients;
    for (int i = 0; i < 128; ++i) {
        clients.push_back(std::make_unique<RawClient>(port_));
        ASSERT_TRUE(clients.back()->Connected());
    }
    ASSERT_TRUE(WaitFor([&] { return server_->ConnectionCount() == 128; }));
    RawClient extra(port_);
    ASSERT_TRUE(extra.WaitClosed());
    EXPECT_EQ(extra.Status(), 503);
    EXPECT_EQ(server_->ConnectionCount(), 128);
    // The ones inside are served.
    ASSERT_TRUE(clients[5]->Send(Get("/inside")));
    EXPECT_TRUE(clients[5]->WaitReceived("hello /inside"));
    clients.pop_back();
    ASSERT_TRUE(WaitFor([&] { return server_->ConnectionCount() == 127; }));
    RawClient next(port_);
    ASSERT_TRUE(next.Send(Get("/next")));
    EXPECT_TRUE(next.WaitReceived("hello /next"));

    // A process that may open few files keeps three quarters of them for its own files.
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit low = saved;
    low.rlim_cur = 400;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
    THttpServer small;
    QString error;
    const bool listening = small.Listen(QHostAddress::LocalHost, 0, error);
    ::setrlimit(RLIMIT_NOFILE, &saved);
    ASSERT_TRUE(listening) << error.toStdString();
    EXPECT_EQ(small.Limits().MaxConnections, 100);
}

TEST_F(HttpServerTest, AClientThatShutsItsSendingSideAfterItsRequestsGetsTheirReplies) {
    ASSERT_NO_FATAL_FAILURE(Start());
    // As `nc -N` or a script does: the requests, the end of sending, then reading.
    for (const bool pipelined : {false, true}) {
        SCOPED_TRACE(pipelined ? "two requests" : "one request");
        RawClient client(port_);
        ASSERT_TRUE(client.Send(Get("/one") + (pipelined ? Get("/two") : "")));
        ASSERT_EQ(::shutdown(client.Fd(), SHUT_WR), 0);
        ASSERT_TRUE(client.WaitClosed());
        EXPECT_NE(client.Received().find("hello /one"), std::string::npos) << client.Received();
        if (pipelined) {
            EXPECT_NE(client.Received().find("hello /two"), std::string::npos);
        }
        EXPECT_FALSE(client.WasReset());
    }
    // A request cut short by the end of sending is not answered, and the connection goes.
    RawClient cut(port_);
    ASSERT_TRUE(cut.Send("GET /cut HTTP/1.1\r\nHost: 127"));
    ASSERT_EQ(::shutdown(cut.Fd(), SHUT_WR), 0);
    ASSERT_TRUE(cut.WaitClosed());
    EXPECT_EQ(cut.Received(), "");
    EXPECT_TRUE(WaitFor([&] { return server_->ConnectionCount() == 0; }));
}

TEST_F(HttpServerTest, AConnectionOverTheCapSeesIts503ThenAnOrderlyEnd) {
    THttpLimits limits = FastLimits();
    limits.IdleTimeoutMs = 60000;
    limits.HeaderTimeoutMs = 60000;
    limits.MaxConnections = 2;
    ASSERT_NO_FATAL_FAILURE(Start(limits));
    RawClient first(port_), second(port_);
    ASSERT_TRUE(WaitFor([&] { return server_->ConnectionCount() == 2; }));
    // The request is on its way before the server has even accepted: it is never read as a request,
    // and a close over it unread would reset the connection.
    for (const bool early : {true, false}) {
        SCOPED_TRACE(early ? "request before the accept" : "request after the 503");
        RawClient extra(port_);
        ASSERT_TRUE(extra.Connected());
        if (early) {
            ASSERT_GT(extra.SendSome(Get("/late")), 0u);
        }
        ASSERT_TRUE(extra.WaitReceived("try again later"));
        if (!early) extra.SendSome(Get("/late"));
        ASSERT_TRUE(extra.WaitClosed());
        EXPECT_EQ(extra.Status(), 503);
        EXPECT_FALSE(extra.WasReset());
    }
    EXPECT_EQ(requests_, 0);
    EXPECT_EQ(server_->ConnectionCount(), 2);
}

TEST_F(HttpServerTest, EventStreamsLeaveConnectionsForPlainRequests) {
    THttpLimits limits = FastLimits();
    limits.IdleTimeoutMs = 60000;
    limits.HeaderTimeoutMs = 60000;
    limits.MaxConnections = 8;
    ASSERT_NO_FATAL_FAILURE(Start(limits));
    EXPECT_EQ(server_->Limits().MaxStreams, 4); // half the cap
    std::vector<std::shared_ptr<THttpStream>> streams;
    ServeEventStreams(streams);
    std::vector<std::unique_ptr<RawClient>> listeners;
    for (int i = 0; i < 4; ++i) {
        listeners.push_back(std::make_unique<RawClient>(port_));
        ASSERT_TRUE(listeners.back()->Send(Get("/events")));
        ASSERT_TRUE(listeners.back()->WaitReceived(": hello\n\n"));
    }
    // One stream too many: refused at once, in words, and closed.
    {
        RawClient more(port_);
        ASSERT_TRUE(more.Send(Get("/events")));
        ASSERT_TRUE(more.WaitClosed());
        EXPECT_EQ(more.Status(), 503);
        EXPECT_NE(more.Received().find("Too many event streams"), std::string::npos);
    }
    EXPECT_EQ(streams.size(), 4u);
    ASSERT_TRUE(WaitFor([&] { return server_->ConnectionCount() == 4; }));
    // Plain requests fill the rest of the connections and are all served.
    std::vector<std::unique_ptr<RawClient>> plain;
    for (int i = 0; i < 4; ++i) {
        plain.push_back(std::make_unique<RawClient>(port_));
        ASSERT_TRUE(plain.back()->Send(Get("/plain")));
        EXPECT_TRUE(plain.back()->WaitReceived("hello /plain"));
    }
    // A stream that ends makes room for another.
    streams[0]->End();
    ASSERT_TRUE(listeners[0]->WaitClosed());
    plain.pop_back();
    ASSERT_TRUE(WaitFor([&] { return server_->ConnectionCount() == 6; }));
    RawClient again(port_);
    ASSERT_TRUE(again.Send(Get("/events")));
    EXPECT_TRUE(again.WaitReceived(": hello\n\n"));
}

TEST_F(HttpServerTest, AStreamReachesAReadingClientAndDropsOneThatStopsReading) {
    ASSERT_NO_FATAL_FAILURE(Start());
    std::vector<std::shared_ptr<THttpStream>> streams;
    ServeEventStreams(streams);
    RawClient reader(port_);
    RawClient sleeper(port_, 4096);
    ASSERT_TRUE(reader.Send(Get("/events")));
    ASSERT_TRUE(sleeper.Send(Get("/events")));
    ASSERT_TRUE(reader.WaitReceived(": hello\n\n"));
    ASSERT_TRUE(WaitFor([&] { return streams.size() == 2; }));
    EXPECT_NE(reader.Received().find("Content-Type: text/event-stream"), std::string::npos);
    const long before = RssKb();
    const std::string event = "event: reading\ndata: " + std::string(1000, 'v') + "\n\n";
    int pushed[2] = {0, 0};
    for (int i = 0; i < 20000; ++i) {
        for (int s = 0; s < 2; ++s)
            pushed[s] += streams[s]->Push(event) ? 1 : 0;
        reader.Read();
        Pump(0);
    }
    EXPECT_EQ(pushed[0], 20000);
    EXPECT_TRUE(reader.WaitReceived("data: v", 1000));
    EXPECT_LT(pushed[1], 20000);
    EXPECT_FALSE(streams[1]->IsOpen());
    EXPECT_TRUE(streams[0]->IsOpen());
    if (RssMeaningful) {
        EXPECT_LT(RssKb() - before, 32 * 1024);
    }
    streams[0]->End();
    EXPECT_TRUE(reader.WaitClosed());
}

} // namespace
