#include "HttpServer.h"

#include <algorithm>
#include <climits>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <sys/resource.h>
#include <sys/socket.h>

#include "Utilities.h"

// One client: the socket, its session, and the one timer of whichever limit applies now.
class THttpConnection : public QObject {
  public:
    THttpConnection(THttpServer& server, QTcpSocket* socket);
    ~THttpConnection() override;
    void Pump();
    bool PushStream(std::string_view chunk);
    void EndStream();
    bool StreamOpen() const { return streaming_ && !closing_ && !gone_; }
    void Abort();

  private:
    enum class TWait { None, Headers, Body, Reply, Idle, Linger };
    TWait Waiting() const;
    void Rearm();
    void OnTimer();
    void OnBytesWritten();
    void Write(std::string_view bytes);
    void FinishClose();
    void Discard();

    THttpServer& server_;
    QTcpSocket* socket_;
    THttpSession session_;
    std::string pending_; // read but not yet taken by the session (at most one read)
    QTimer timer_;
    QElapsedTimer requestStart_, bodyStart_, writeProgress_, idleSince_, lingerSince_;
    bool inBody_ = false;
    bool closing_ = false;   // no more requests: close once the replies are written
    bool lingering_ = false; // replies written, our side shut: discarding what the client still sends
    bool streaming_ = false;
    bool flushing_ = false; // in Pump's flush: its bytesWritten may run Pump once more, not again
    bool gone_ = false;
};

namespace {

constexpr qint64 ReadChunk = 16 * 1024;

// The open end of a streaming reply, valid while its connection lives.
class TConnectionStream : public THttpStream {
  public:
    explicit TConnectionStream(THttpConnection* connection) : connection_(connection) {}
    bool Push(std::string_view chunk) override { return connection_ && connection_->PushStream(chunk); }
    void End() override {
        if (connection_) connection_->EndStream();
    }
    bool IsOpen() const override { return connection_ && connection_->StreamOpen(); }

  private:
    QPointer<THttpConnection> connection_;
};

} // namespace

THttpConnection::THttpConnection(THttpServer& server, QTcpSocket* socket)
    : QObject(&server), server_(server), socket_(socket),
      session_(server.limits_, server.hosts_,
               {[&server](const THttpRequest& request) { return server.Dispatch(request); }}) {
    socket_->setParent(this);
    // Qt's own read buffer is bounded too: while the session does not take more, the kernel's
    // window closes and the client waits.
    socket_->setReadBufferSize(ReadChunk);
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &THttpConnection::OnTimer);
    connect(socket_, &QTcpSocket::readyRead, this, &THttpConnection::Pump);
    connect(socket_, &QTcpSocket::bytesWritten, this, &THttpConnection::OnBytesWritten);
    connect(socket_, &QTcpSocket::disconnected, this, &THttpConnection::Abort);
    connect(socket_, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        if (error != QAbstractSocket::SocketTimeoutError) Abort();
    });
    session_.SetStreamGate([&server] { return server.StreamCount() < server.limits_.MaxStreams; });
    requestStart_.start();
    bodyStart_.start();
    writeProgress_.start();
    idleSince_.start();
    Rearm();
}

THttpConnection::~THttpConnection() {
    gone_ = true;
}

void THttpConnection::Abort() {
    if (gone_) return;
    gone_ = true;
    timer_.stop();
    socket_->disconnect(this);
    socket_->abort();
    server_.Forget(this);
    deleteLater();
}

void THttpConnection::Write(std::string_view bytes) {
    if (bytes.empty()) return;
    if (socket_->bytesToWrite() == 0) writeProgress_.restart();
    socket_->write(bytes.data(), static_cast<qint64>(bytes.size()));
}

void THttpConnection::Discard() {
    char scratch[4096];
    while (socket_->bytesAvailable() > 0)
        if (socket_->read(scratch, sizeof scratch) <= 0) break;
}

void THttpConnection::Pump() {
    if (gone_) return;
    if (lingering_ || streaming_) {
        Discard(); // a stream's client has nothing to say; a refused one is not listened to
        return;
    }
    const auto limit = static_cast<qint64>(server_.limits_.MaxPendingReplyBytes);
    while (!closing_ && socket_->bytesToWrite() <= limit) {
        if (pending_.empty()) {
            char buffer[ReadChunk];
            const qint64 got = socket_->read(buffer, sizeof buffer);
            if (got <= 0) break;
            if (!session_.InRequest()) requestStart_.restart();
            pending_.assign(buffer, static_cast<size_t>(got));
        }
        std::string out;
        const size_t used = session_.Feed(pending_, out);
        pending_.erase(0, used);
        if (session_.InBody() != inBody_) {
            inBody_ = session_.InBody();
            bodyStart_.restart();
        }
        Write(out);
        if (session_.Streaming()) {
            streaming_ = true;
            pending_.clear();
            if (auto start = session_.TakeStream()) start(std::make_shared<TConnectionStream>(this));
            break;
        }
        if (session_.Closing()) {
            closing_ = true;
            pending_.clear();
            break;
        }
        if (!session_.InRequest()) idleSince_.restart();
        if (used == 0 && out.empty()) break;
    }
    if (gone_) return;
    // The replies go to the kernel now, not at the next turn of the event loop: a client that shut
    // its sending side after its requests (nc -N, a script) still waits for them, but Qt drops the
    // socket and whatever it still buffers as soon as it reads that end.
    if (!flushing_ && socket_->bytesToWrite() > 0) {
        flushing_ = true;
        socket_->flush();
        flushing_ = false;
        if (gone_) return;
    }
    if (closing_ && socket_->bytesToWrite() == 0) FinishClose();
    Rearm();
}

void THttpConnection::OnBytesWritten() {
    writeProgress_.restart();
    idleSince_.restart();
    if (closing_ && socket_->bytesToWrite() == 0) {
        FinishClose();
        Rearm();
        return;
    }
    Pump();
}

// Replies are out: shut our side so the client sees the end, then read and drop what it still sends
// for a moment, so that the kernel does not reset the connection over unread bytes and lose the reply.
void THttpConnection::FinishClose() {
    if (lingering_ || gone_) return;
    lingering_ = true;
    lingerSince_.start();
    ::shutdown(static_cast<int>(socket_->socketDescriptor()), SHUT_WR);
    Discard();
}

bool THttpConnection::PushStream(std::string_view chunk) {
    if (!StreamOpen()) return false;
    // A client that does not read is dropped, never buffered for.
    if (socket_->bytesToWrite() + static_cast<qint64>(chunk.size()) >
        static_cast<qint64>(server_.limits_.MaxPendingReplyBytes)) {
        Abort();
        return false;
    }
    Write(chunk);
    Rearm();
    return true;
}

void THttpConnection::EndStream() {
    if (!StreamOpen()) return;
    closing_ = true;
    if (socket_->bytesToWrite() == 0) FinishClose();
    Rearm();
}

THttpConnection::TWait THttpConnection::Waiting() const {
    if (lingering_) return TWait::Linger;
    if (socket_->bytesToWrite() > 0) return TWait::Reply;
    if (streaming_) return TWait::None;
    if (session_.InRequest()) return session_.InBody() ? TWait::Body : TWait::Headers;
    // A new connection has its first head to send within the head limit; a kept-alive one idles.
    return session_.Answered() == 0 ? TWait::Headers : TWait::Idle;
}

void THttpConnection::Rearm() {
    if (gone_) return;
    const THttpLimits& limits = server_.limits_;
    qint64 left = -1;
    switch (Waiting()) {
    case TWait::None:
        break;
    case TWait::Headers:
        left = limits.HeaderTimeoutMs - requestStart_.elapsed();
        break;
    case TWait::Body:
        left = limits.StallTimeoutMs - bodyStart_.elapsed();
        break;
    case TWait::Reply:
        left = limits.StallTimeoutMs - writeProgress_.elapsed();
        break;
    case TWait::Idle:
        left = limits.IdleTimeoutMs - idleSince_.elapsed();
        break;
    case TWait::Linger:
        left = limits.LingerMs - lingerSince_.elapsed();
        break;
    }
    if (left < 0 && Waiting() == TWait::None) {
        timer_.stop();
        return;
    }
    timer_.start(static_cast<int>(std::max<qint64>(0, left)));
}

void THttpConnection::OnTimer() {
    const THttpLimits& limits = server_.limits_;
    switch (Waiting()) {
    case TWait::None:
        return;
    case TWait::Headers:
        if (requestStart_.elapsed() < limits.HeaderTimeoutMs) break;
        if (!session_.InRequest()) { // connected and never said anything
            Abort();
            return;
        }
        // Too slow: one short answer, and the connection ends.
        Write(SerializeResponse(
            {408, "text/plain; charset=utf-8", "Request headers not received in time\n", {}, true, {}},
            false));
        closing_ = true;
        pending_.clear();
        break;
    case TWait::Body:
        if (bodyStart_.elapsed() < limits.StallTimeoutMs) break;
        Abort();
        return;
    case TWait::Reply:
        if (writeProgress_.elapsed() < limits.StallTimeoutMs) break;
        Abort();
        return;
    case TWait::Idle:
        if (idleSince_.elapsed() < limits.IdleTimeoutMs) break;
        Abort();
        return;
    case TWait::Linger:
        if (lingerSince_.elapsed() < limits.LingerMs) break;
        Abort();
        return;
    }
    Rearm();
}

// ---- Server ------------------------------------------------------------------------------------------

THttpServer::THttpServer(THttpLimits limits, QObject* parent) : QObject(parent), limits_(limits) {}

THttpServer::~THttpServer() {
    Close();
}

void THttpServer::AddHandler(THttpHandler handler, bool first) {
    if (first)
        handlers_.insert(handlers_.begin(), std::move(handler));
    else
        handlers_.push_back(std::move(handler));
}

bool THttpServer::Listen(const QHostAddress& address, quint16 port, QString& error) {
    Close();
    tcp_ = new QTcpServer(this);
    if (!tcp_->listen(address, port)) {
        error = tcp_->errorString();
        delete tcp_;
        tcp_ = nullptr;
        return false;
    }
    hosts_ = THostRule(address.toString().toStdString());
    rlimit files{};
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur != RLIM_INFINITY)
        limits_.MaxConnections = ServerConnectionCap(
            static_cast<long>(std::min<rlim_t>(files.rlim_cur, LONG_MAX)), limits_.MaxConnections);
    limits_.MaxStreams = std::min(limits_.MaxStreams, std::max(1, limits_.MaxConnections / 2));
    connect(tcp_, &QTcpServer::newConnection, this, &THttpServer::OnNewConnection);
    return true;
}

void THttpServer::Close() {
    if (tcp_) {
        tcp_->close();
        delete tcp_;
        tcp_ = nullptr;
    }
    const std::set<THttpConnection*> open = connections_;
    for (THttpConnection* connection : open)
        connection->Abort();
    connections_.clear();
}

bool THttpServer::IsListening() const {
    return tcp_ && tcp_->isListening();
}

quint16 THttpServer::Port() const {
    return tcp_ ? tcp_->serverPort() : 0;
}

QHostAddress THttpServer::Address() const {
    return tcp_ ? tcp_->serverAddress() : QHostAddress();
}

std::optional<THttpResponse> THttpServer::Dispatch(const THttpRequest& request) {
    for (const THttpHandler& handler : handlers_)
        if (std::optional<THttpResponse> answer = handler(request)) return answer;
    return std::nullopt;
}

void THttpServer::Forget(THttpConnection* connection) {
    connections_.erase(connection);
}

int THttpServer::StreamCount() const {
    return static_cast<int>(std::count_if(connections_.begin(), connections_.end(),
                                          [](const THttpConnection* c) { return c->StreamOpen(); }));
}

// Over the cap: told so at once, then closed the way a refused request is (our side shut once the
// answer is out, what the client still sends read and dropped for a moment), or the kernel resets
// the connection over the unread request and the client may never see the answer. As many
// refusals as connections may linger at once; beyond that a flood is simply cut.
void THttpServer::Refuse(QTcpSocket* socket) {
    if (refusing_ >= limits_.MaxConnections) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    ++refusing_;
    connect(socket, &QObject::destroyed, this, [this] { --refusing_; });
    auto drop = [socket] {
        QObject::disconnect(socket, nullptr, socket, nullptr); // once; the count above still follows
        socket->abort();
        socket->deleteLater();
    };
    auto discard = [socket] {
        char scratch[4096];
        while (socket->bytesAvailable() > 0)
            if (socket->read(scratch, sizeof scratch) <= 0) break;
    };
    auto shutWhenSent = [socket, discard] {
        if (socket->bytesToWrite() > 0) return;
        ::shutdown(static_cast<int>(socket->socketDescriptor()), SHUT_WR);
        discard();
    };
    connect(socket, &QTcpSocket::readyRead, socket, discard);
    connect(socket, &QTcpSocket::bytesWritten, socket, shutWhenSent);
    connect(socket, &QTcpSocket::disconnected, socket, drop);
    connect(socket, &QTcpSocket::errorOccurred, socket, drop);
    QTimer::singleShot(limits_.LingerMs, socket, drop);
    const std::string busy = SerializeResponse(
        {503, "text/plain; charset=utf-8", "Too many connections, try again later\n", {}, true, {}}, false);
    socket->write(busy.data(), static_cast<qint64>(busy.size()));
    socket->flush();
    shutWhenSent();
}

void THttpServer::OnNewConnection() {
    while (tcp_ && tcp_->hasPendingConnections()) {
        QTcpSocket* socket = tcp_->nextPendingConnection();
        if (static_cast<int>(connections_.size()) >= limits_.MaxConnections) {
            Refuse(socket);
            continue;
        }
        connections_.insert(new THttpConnection(*this, socket));
    }
}
