#include "httpserver.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QMutex>
#include <QMutexLocker>
#include <QTimer>
#include <QUrl>

#include <microhttpd.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <unordered_set>

namespace {

qint64 monotonicMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

QHostAddress plainAddress(const QHostAddress &address)
{
    bool mapped = false;
    const quint32 v4 = address.toIPv4Address(&mapped);
    return mapped ? QHostAddress(v4) : address;
}

// One accepted socket. Lives from the library's "started" to its "closed" notice,
// which comes before the socket is closed, so the descriptor stays ours meanwhile.
struct Connection
{
    enum Phase
    {
        Header, // waiting for a complete request header
        Body,
        Answer,
    };
    int fd = -1;
    QHostAddress peer;
    QByteArray target; // the raw target of the request being read
    Phase phase = Header;
    qint64 deadline = 0;
    bool cut = false;
};

// One request, from its complete header to its completion.
struct Request
{
    HttpRequest request;
    QElapsedTimer started;
    qint64 bodyLength = 0;
    bool conflictingLength = false;
    // A refusal decided from the header, answered once the body has been dropped.
    bool refused = false;
    HttpResponse refusal;
};

} // namespace

struct HttpServer::Private
{
    Handler handler;
    ErrorBody errorBody;
    HttpLimits limits;
    bool logging = true;
    QList<QHostAddress> trustedProxies;
    MHD_Daemon *daemon = nullptr;
    quint16 port = 0;
    QString error;
    QTimer *watchdog = nullptr;

    QMutex mutex; // guards connections and the phase and deadline of each
    std::unordered_set<Connection *> connections;

    HttpResponse errorResponse(int status, const QString &message) const
    {
        HttpResponse response;
        response.status = status;
        if (errorBody) {
            response.body = errorBody(status, message);
        } else {
            response.contentType = "text/plain; charset=utf-8";
            response.body = message.toUtf8();
        }
        return response;
    }

    void setPhase(Connection *connection, Connection::Phase phase)
    {
        const int seconds
            = phase == Connection::Header ? limits.headerTimeoutSeconds : limits.bodyTimeoutSeconds;
        QMutexLocker locker(&mutex);
        connection->phase = phase;
        connection->deadline = monotonicMs() + qint64(seconds) * 1000;
    }

    void enforceDeadlines()
    {
        const qint64 now = monotonicMs();
        QMutexLocker locker(&mutex);
        for (Connection *connection : connections) {
            if (connection->cut || now < connection->deadline)
                continue;
            // The library notices the end of the stream and closes the connection on its thread.
            connection->cut = true;
            ::shutdown(connection->fd, SHUT_RDWR);
            if (logging) {
                static const char *const what[] = {"header", "body", "answer"};
                qInfo().noquote() << "[SERVICE]" << connection->peer.toString() << "- - 408 0 closed: the"
                                  << what[connection->phase] << "took too long";
            }
        }
    }

    QHostAddress clientAddress(const QHostAddress &peer, const QHash<QByteArray, QByteArray> &headers) const
    {
        if (!trustedProxies.contains(peer))
            return peer;
        const QList<QByteArray> hops = headers.value("x-forwarded-for").split(',');
        QHostAddress client = peer;
        for (auto hop = hops.crbegin(); hop != hops.crend(); ++hop) {
            const QHostAddress address(QString::fromLatin1(hop->trimmed()));
            if (address.isNull())
                break;
            client = plainAddress(address);
            if (!trustedProxies.contains(client))
                break;
        }
        return client;
    }

    MHD_Result send(MHD_Connection *mhd, Request *request, const HttpResponse &response, bool close)
    {
        MHD_Response *out = MHD_create_response_from_buffer(size_t(response.body.size()),
            const_cast<char *>(response.body.constData()), MHD_RESPMEM_MUST_COPY);
        if (!out)
            return MHD_NO;
        MHD_add_response_header(out, "Content-Type", response.contentType.constData());
        for (const auto &header : response.extraHeaders)
            MHD_add_response_header(out, header.first.constData(), header.second.constData());
        if (close)
            MHD_add_response_header(out, "Connection", "close");
        const MHD_Result queued = MHD_queue_response(mhd, unsigned(response.status), out);
        MHD_destroy_response(out);
        if (logging) {
            const HttpRequest &r = request->request;
            qInfo().noquote() << "[SERVICE]" << r.peer.toString() << QString::fromLatin1(r.method)
                              << QString::fromLatin1(r.target.left(200)) << response.status
                              << response.body.size()
                              << QString::number(request->started.nsecsElapsed() / 1e6, 'f', 3)
                    + QLatin1String("ms");
        }
        return queued;
    }

    // Reads the request header; returns a refusal's status, or 0.
    int readHeader(MHD_Connection *mhd, Connection *connection, Request *request, const char *method,
        const char *url, QString *message)
    {
        HttpRequest &r = request->request;
        r.method = method;
        r.target = connection->target.isEmpty() ? QByteArray(url) : connection->target;
        MHD_get_connection_values(
            mhd, MHD_HEADER_KIND,
            [](void *cls, MHD_ValueKind, const char *key, const char *value) -> MHD_Result {
                auto *request = static_cast<Request *>(cls);
                const QByteArray name = QByteArray(key).toLower();
                const QByteArray text = QByteArray(value ? value : "").trimmed();
                auto &headers = request->request.headers;
                if (name == "content-length" && headers.contains(name) && headers.value(name) != text)
                    request->conflictingLength = true;
                headers.insert(name, text);
                return MHD_YES;
            },
            request);
        r.peer = clientAddress(connection->peer, r.headers);
        const QUrl parsed = QUrl::fromEncoded(r.target);
        r.path = parsed.path(QUrl::FullyDecoded);
        r.query = QUrlQuery(parsed.query(QUrl::FullyEncoded));

        if (request->conflictingLength) {
            *message = QStringLiteral("Conflicting Content-Length");
            return 400;
        }
        if (r.headers.contains("transfer-encoding")) {
            *message = QStringLiteral("Transfer-Encoding is not supported; send Content-Length");
            return 501;
        }
        request->bodyLength = r.headers.value("content-length", "0").toLongLong();
        if (request->bodyLength > limits.maxBodyBytes) {
            *message = QStringLiteral("Request body too large (limit %1 bytes)").arg(limits.maxBodyBytes);
            return 413;
        }
        return 0;
    }

    MHD_Result answer(MHD_Connection *mhd, const char *url, const char *method, const char *uploadData,
        size_t *uploadSize, void **requestContext)
    {
        auto *connection = static_cast<Connection *>(
            MHD_get_connection_info(mhd, MHD_CONNECTION_INFO_SOCKET_CONTEXT)->socket_context);
        auto *request = static_cast<Request *>(*requestContext);
        if (!request) {
            // The header is complete: the body's time starts.
            request = new Request;
            *requestContext = request;
            request->started.start();
            setPhase(connection, Connection::Body);
            QString message;
            if (const int status = readHeader(mhd, connection, request, method, url, &message)) {
                request->refused = true;
                request->refusal = errorResponse(status, message);
                // Closing while the client still sends would reset the connection and lose the
                // answer, so a body of reasonable size is read and dropped first; a client that
                // waits for "100 Continue" gets the answer at once.
                const bool drop = status == 413 && request->bodyLength <= kMaxDiscardBytes
                    && request->request.headers.value("expect").toLower() != "100-continue";
                if (!drop)
                    return send(mhd, request, request->refusal, true);
            }
            return MHD_YES;
        }
        if (*uploadSize > 0) {
            if (!request->refused)
                request->request.body.append(uploadData, qsizetype(*uploadSize));
            *uploadSize = 0;
            return MHD_YES;
        }
        setPhase(connection, Connection::Answer);
        if (request->refused)
            return send(mhd, request, request->refusal, true);
        return send(mhd, request, handler(request->request), false);
    }
};

HttpServer::HttpServer(Handler handler, QObject *parent) : QObject(parent), d(std::make_unique<Private>())
{
    d->handler = std::move(handler);
    d->watchdog = new QTimer(this);
    d->watchdog->setInterval(200);
    connect(d->watchdog, &QTimer::timeout, this, [this] { d->enforceDeadlines(); });
}

HttpServer::~HttpServer()
{
    close();
}

void HttpServer::setLimits(const HttpLimits &limits)
{
    d->limits = limits;
}

void HttpServer::setErrorBody(ErrorBody errorBody)
{
    d->errorBody = std::move(errorBody);
}

void HttpServer::setLogging(bool enabled)
{
    d->logging = enabled;
}

void HttpServer::setTrustedProxies(const QList<QHostAddress> &proxies)
{
    d->trustedProxies.clear();
    for (const QHostAddress &proxy : proxies)
        d->trustedProxies.append(plainAddress(proxy));
}

bool HttpServer::listen(const QHostAddress &address, quint16 port)
{
    close();
    sockaddr_storage storage {};
    unsigned flags = MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_EPOLL | MHD_USE_ERROR_LOG;
    if (address.protocol() == QAbstractSocket::IPv6Protocol) {
        auto *v6 = reinterpret_cast<sockaddr_in6 *>(&storage);
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(port);
        const Q_IPV6ADDR bytes = address.toIPv6Address();
        std::memcpy(&v6->sin6_addr, &bytes, sizeof bytes);
        flags |= MHD_USE_IPv6;
    } else {
        auto *v4 = reinterpret_cast<sockaddr_in *>(&storage);
        v4->sin_family = AF_INET;
        v4->sin_port = htons(port);
        v4->sin_addr.s_addr = htonl(address.toIPv4Address());
    }

    const auto notifyConnection = [](void *cls, MHD_Connection *mhd, void **socketContext,
                                      MHD_ConnectionNotificationCode code) {
        auto *d = static_cast<Private *>(cls);
        if (code == MHD_CONNECTION_NOTIFY_STARTED) {
            auto *connection = new Connection;
            connection->fd = MHD_get_connection_info(mhd, MHD_CONNECTION_INFO_CONNECTION_FD)->connect_fd;
            connection->peer = plainAddress(
                QHostAddress(MHD_get_connection_info(mhd, MHD_CONNECTION_INFO_CLIENT_ADDRESS)->client_addr));
            *socketContext = connection;
            d->setPhase(connection, Connection::Header);
            QMutexLocker locker(&d->mutex);
            d->connections.insert(connection);
        } else if (auto *connection = static_cast<Connection *>(*socketContext)) {
            {
                QMutexLocker locker(&d->mutex);
                d->connections.erase(connection);
            }
            delete connection;
            *socketContext = nullptr;
        }
    };
    const auto logUri = [](void *, const char *uri, MHD_Connection *mhd) -> void * {
        auto *connection = static_cast<Connection *>(
            MHD_get_connection_info(mhd, MHD_CONNECTION_INFO_SOCKET_CONTEXT)->socket_context);
        if (connection)
            connection->target = uri;
        return nullptr;
    };
    const auto completed
        = [](void *cls, MHD_Connection *mhd, void **requestContext, MHD_RequestTerminationCode) {
              auto *d = static_cast<Private *>(cls);
              delete static_cast<Request *>(*requestContext);
              *requestContext = nullptr;
              // Ready for the next request on this connection.
              if (auto *connection = static_cast<Connection *>(
                      MHD_get_connection_info(mhd, MHD_CONNECTION_INFO_SOCKET_CONTEXT)->socket_context)) {
                  connection->target.clear();
                  d->setPhase(connection, Connection::Header);
              }
          };
    const auto access = [](void *cls, MHD_Connection *mhd, const char *url, const char *method, const char *,
                            const char *uploadData, size_t *uploadSize, void **requestContext) {
        return static_cast<Private *>(cls)->answer(mhd, url, method, uploadData, uploadSize, requestContext);
    };
    const auto logger = [](void *cls, const char *format, va_list arguments) {
        auto *d = static_cast<Private *>(cls);
        char text[512];
        std::vsnprintf(text, sizeof text, format, arguments);
        const QString message = QString::fromLocal8Bit(text).trimmed();
        {
            QMutexLocker locker(&d->mutex);
            d->error = message;
        }
        if (d->logging)
            qWarning().noquote() << "[SERVICE] http:" << message;
    };

    const HttpLimits &limits = d->limits;
    const unsigned threads = unsigned(std::max(1, limits.threads));
    // The library's own idle time-out is only a backstop: the watchdog enforces the deadlines.
    const unsigned idleSeconds = unsigned(limits.headerTimeoutSeconds + limits.bodyTimeoutSeconds);
    // Room for a header of kMaxHeaderBytes and the buffers around it; a longer header gets 431.
    const size_t memoryPerConnection = kMaxHeaderBytes + 4 * 1024;
    d->error.clear();
    const auto function = [](auto pointer) { return reinterpret_cast<intptr_t>(pointer); };
    MHD_OptionItem options[] = {
        {MHD_OPTION_SOCK_ADDR, 0, &storage},
        {MHD_OPTION_THREAD_POOL_SIZE, intptr_t(threads), nullptr},
        {MHD_OPTION_CONNECTION_LIMIT, intptr_t(std::max(limits.maxConnections, int(threads))), nullptr},
        {MHD_OPTION_PER_IP_CONNECTION_LIMIT, intptr_t(std::max(0, limits.maxConnectionsPerAddress)), nullptr},
        {MHD_OPTION_CONNECTION_TIMEOUT, intptr_t(idleSeconds), nullptr},
        {MHD_OPTION_CONNECTION_MEMORY_LIMIT, intptr_t(memoryPerConnection), nullptr},
        {MHD_OPTION_NOTIFY_CONNECTION, function(static_cast<MHD_NotifyConnectionCallback>(notifyConnection)),
            d.get()},
        {MHD_OPTION_URI_LOG_CALLBACK,
            function(static_cast<void *(*)(void *, const char *, MHD_Connection *)>(logUri)), nullptr},
        {MHD_OPTION_NOTIFY_COMPLETED, function(static_cast<MHD_RequestCompletedCallback>(completed)),
            d.get()},
        {MHD_OPTION_END, 0, nullptr},
    };
    // The logger goes first, so that the library reports the other options' problems through it.
    d->daemon = MHD_start_daemon(flags, port, nullptr, nullptr, access, d.get(), MHD_OPTION_EXTERNAL_LOGGER,
        static_cast<void (*)(void *, const char *, va_list)>(logger), d.get(), MHD_OPTION_ARRAY, options,
        MHD_OPTION_END);
    if (!d->daemon) {
        if (d->error.isEmpty())
            d->error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    d->port = MHD_get_daemon_info(d->daemon, MHD_DAEMON_INFO_BIND_PORT)->port;
    d->watchdog->start();
    return true;
}

void HttpServer::close()
{
    d->watchdog->stop();
    if (d->daemon) {
        MHD_stop_daemon(d->daemon);
        d->daemon = nullptr;
    }
}

quint16 HttpServer::serverPort() const
{
    return d->port;
}

QString HttpServer::errorString() const
{
    return d->error;
}
