#include "httpserver.h"

#include <QDebug>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

HttpServer::HttpServer(Handler handler, QObject *parent)
    : QObject(parent), m_server(new QTcpServer(this)), m_handler(std::move(handler))
{
    connect(m_server, &QTcpServer::newConnection, this, &HttpServer::onNewConnection);
}

bool HttpServer::listen(const QHostAddress &address, quint16 port)
{
    return m_server->listen(address, port);
}

quint16 HttpServer::serverPort() const
{
    return m_server->serverPort();
}

QString HttpServer::errorString() const
{
    return m_server->errorString();
}

QByteArray HttpServer::reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 408:
        return "Request Timeout";
    case 413:
        return "Payload Too Large";
    case 431:
        return "Request Header Fields Too Large";
    case 500:
        return "Internal Server Error";
    case 501:
        return "Not Implemented";
    case 505:
        return "HTTP Version Not Supported";
    default:
        return "Unknown";
    }
}

void HttpServer::onNewConnection()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection())
        new HttpConnection(socket, this);
}

HttpResponse HttpServer::errorResponse(int status, const QString &message) const
{
    HttpResponse response;
    response.status = status;
    if (m_errorBody) {
        response.body = m_errorBody(status, message);
    } else {
        response.contentType = "text/plain; charset=utf-8";
        response.body = message.toUtf8();
    }
    return response;
}

void HttpServer::logRequest(const QHostAddress &peer, const QByteArray &method, const QByteArray &target,
    int status, qsizetype bytes, qint64 elapsedNs) const
{
    if (!m_logging)
        return;
    qInfo().noquote() << "[SERVICE]" << peer.toString() << QString::fromLatin1(method)
                      << QString::fromLatin1(target.left(200)) << status << bytes
                      << QString::number(elapsedNs / 1000.0 / 1000.0, 'f', 3) + QLatin1String("ms");
}

HttpConnection::HttpConnection(QTcpSocket *socket, HttpServer *server)
    : QObject(server), m_socket(socket), m_server(server), m_idleTimer(new QTimer(this))
{
    socket->setParent(this);
    m_idleTimer->setSingleShot(true);
    m_idleTimer->setInterval(HttpServer::kIdleTimeoutMs);
    connect(m_idleTimer, &QTimer::timeout, this, [this] { m_socket->abort(); });
    connect(socket, &QTcpSocket::readyRead, this, &HttpConnection::onReadyRead);
    connect(socket, &QTcpSocket::disconnected, this, &QObject::deleteLater);
    m_idleTimer->start();
}

void HttpConnection::onReadyRead()
{
    if (m_closing) {
        m_discardRemaining -= m_socket->readAll().size();
        if (m_discardRemaining <= 0)
            m_socket->disconnectFromHost();
        return;
    }
    m_idleTimer->start();
    m_buffer += m_socket->readAll();
    if (!processBuffer())
        closeAfterWrite();
}

bool HttpConnection::processBuffer()
{
    for (;;) {
        if (!m_haveHead) {
            const qsizetype end = m_buffer.indexOf("\r\n\r\n");
            if (end < 0) {
                if (m_buffer.size() > HttpServer::kMaxHeaderBytes) {
                    fail(431, QStringLiteral("Request header too large"), {}, {});
                    return false;
                }
                return true;
            }
            if (end > HttpServer::kMaxHeaderBytes) {
                fail(431, QStringLiteral("Request header too large"), {}, {});
                return false;
            }
            m_started.start();
            const QList<QByteArray> lines = m_buffer.left(end).split('\n');
            m_buffer.remove(0, end + 4);
            m_request = HttpRequest();
            m_request.peer = m_socket->peerAddress();

            const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
            if (requestLine.size() != 3 || requestLine.at(0).isEmpty()
                || !requestLine.at(1).startsWith('/')) {
                fail(400, QStringLiteral("Malformed request line"), {}, {});
                return false;
            }
            m_request.method = requestLine.at(0);
            m_request.target = requestLine.at(1);
            const QByteArray version = requestLine.at(2);
            if (version != "HTTP/1.1" && version != "HTTP/1.0") {
                fail(505, QStringLiteral("Unsupported HTTP version"), m_request.method, m_request.target);
                return false;
            }
            for (qsizetype i = 1; i < lines.size(); ++i) {
                const QByteArray line = lines.at(i).trimmed();
                if (line.isEmpty())
                    continue;
                const qsizetype colon = line.indexOf(':');
                if (colon <= 0) {
                    fail(400, QStringLiteral("Malformed header line"), m_request.method, m_request.target);
                    return false;
                }
                const QByteArray name = line.left(colon).trimmed().toLower();
                const QByteArray value = line.mid(colon + 1).trimmed();
                if (name == "content-length" && m_request.headers.contains(name)
                    && m_request.headers.value(name) != value) {
                    fail(400, QStringLiteral("Conflicting Content-Length"), m_request.method,
                        m_request.target);
                    return false;
                }
                m_request.headers.insert(name, value);
            }
            const QByteArray connection = m_request.headers.value("connection").toLower();
            m_keepAlive = version == "HTTP/1.1" ? connection != "close" : connection == "keep-alive";

            if (m_request.headers.contains("transfer-encoding")) {
                fail(501, QStringLiteral("Transfer-Encoding is not supported; send Content-Length"),
                    m_request.method, m_request.target);
                return false;
            }
            m_bodyLength = 0;
            if (m_request.headers.contains("content-length")) {
                const QByteArray text = m_request.headers.value("content-length");
                bool ok = !text.isEmpty();
                for (char c : text)
                    ok = ok && c >= '0' && c <= '9';
                m_bodyLength = ok && text.size() <= 15 ? text.toLongLong(&ok) : -1;
                if (!ok || m_bodyLength < 0) {
                    fail(400, QStringLiteral("Malformed Content-Length"), m_request.method, m_request.target);
                    return false;
                }
            }
            if (m_bodyLength > m_server->m_maxBodyBytes) {
                // Closing while the client still sends would reset the connection and lose the answer.
                if (m_bodyLength <= HttpServer::kMaxDiscardBytes)
                    m_discardRemaining = m_bodyLength - m_buffer.size();
                fail(413,
                    QStringLiteral("Request body too large (limit %1 bytes)").arg(m_server->m_maxBodyBytes),
                    m_request.method, m_request.target);
                return false;
            }
            const QUrl url = QUrl::fromEncoded(m_request.target);
            m_request.path = url.path(QUrl::FullyDecoded);
            m_request.query = QUrlQuery(url.query(QUrl::FullyEncoded));
            m_haveHead = true;
        }

        if (m_buffer.size() < m_bodyLength)
            return true;
        m_request.body = m_buffer.left(m_bodyLength);
        m_buffer.remove(0, m_bodyLength);
        m_haveHead = false;

        const HttpResponse response = m_server->m_handler(m_request);
        send(response, m_keepAlive, m_request.method, m_request.target);
        if (!m_keepAlive)
            return false;
        if (m_buffer.isEmpty())
            return true;
    }
}

void HttpConnection::fail(
    int status, const QString &message, const QByteArray &method, const QByteArray &target)
{
    if (!m_started.isValid())
        m_started.start();
    send(m_server->errorResponse(status, message), false, method.isEmpty() ? QByteArray("-") : method,
        target.isEmpty() ? QByteArray("-") : target);
}

void HttpConnection::send(
    const HttpResponse &response, bool keepAlive, const QByteArray &method, const QByteArray &target)
{
    QByteArray out;
    out.reserve(response.body.size() + 200);
    out += "HTTP/1.1 " + QByteArray::number(response.status) + ' ' + HttpServer::reasonPhrase(response.status)
        + "\r\n";
    out += "Content-Type: " + response.contentType + "\r\n";
    out += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
    for (const auto &header : response.extraHeaders)
        out += header.first + ": " + header.second + "\r\n";
    out += keepAlive ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n";
    out += response.body;
    m_socket->write(out);
    m_server->logRequest(m_request.peer.isNull() ? m_socket->peerAddress() : m_request.peer, method, target,
        response.status, response.body.size(), m_started.nsecsElapsed());
    m_started.invalidate();
}

void HttpConnection::closeAfterWrite()
{
    m_closing = true;
    m_buffer.clear();
    if (m_discardRemaining > 0) {
        m_idleTimer->start();
        return;
    }
    m_idleTimer->stop();
    // Let the answer reach the peer before the connection goes.
    m_socket->disconnectFromHost();
}
