#pragma once

// A local HTTP server for client tests: records every request and answers each
// with what the test's responder returns, or holds it until the test releases it.

#include <QtNetwork>

#include <functional>

struct CannedRequest
{
    QByteArray method;
    QByteArray target;
    QHash<QByteArray, QByteArray> headers; // lower-case names
    QByteArray body;
};

struct CannedReply
{
    int status = 200;
    QByteArray body;
    bool hold = false; // keep the connection open without answering until answer()
};

class CannedHttpServer : public QTcpServer
{
public:
    using Responder = std::function<CannedReply(const CannedRequest &)>;

    explicit CannedHttpServer(QObject *parent = nullptr) : QTcpServer(parent)
    {
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = nextPendingConnection()) {
                socket->setParent(this);
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
            }
        });
        listen(QHostAddress::LocalHost, 0);
    }

    QString baseUrl() const { return QStringLiteral("http://127.0.0.1:%1/").arg(serverPort()); }
    void setResponder(Responder responder) { m_responder = std::move(responder); }
    // Every request gets the same reply.
    void setReply(int status, const QByteArray &body)
    {
        m_responder = [status, body](const CannedRequest &) { return CannedReply {status, body, false}; };
    }

    const QList<CannedRequest> &requests() const { return m_requests; }
    int heldCount() const { return int(m_held.size()); }
    // Answers the held request with this index (in arrival order among held ones).
    void answer(int heldIndex, int status, const QByteArray &body)
    {
        if (QPointer<QTcpSocket> socket = m_held.takeAt(heldIndex))
            write(socket, status, body);
    }

private:
    void onReadyRead(QTcpSocket *socket)
    {
        QByteArray &buffer = m_buffers[socket];
        buffer += socket->readAll();
        const qsizetype end = buffer.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        CannedRequest request;
        const QList<QByteArray> lines = buffer.left(end).split('\n');
        const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
        request.method = first.value(0);
        request.target = first.value(1);
        for (const QByteArray &line : lines.mid(1)) {
            const qsizetype colon = line.indexOf(':');
            if (colon > 0)
                request.headers.insert(line.left(colon).trimmed().toLower(), line.mid(colon + 1).trimmed());
        }
        const qsizetype length = request.headers.value("content-length", "0").toLongLong();
        if (buffer.size() < end + 4 + length)
            return;
        request.body = buffer.mid(end + 4, length);
        m_buffers.remove(socket);
        m_requests.append(request);
        const CannedReply reply = m_responder ? m_responder(request) : CannedReply {404, "{}", false};
        if (reply.hold)
            m_held.append(socket);
        else
            write(socket, reply.status, reply.body);
    }

    static void write(QTcpSocket *socket, int status, const QByteArray &body)
    {
        const QByteArray reason = status == 200 ? "OK" : status == 500 ? "Internal Server Error" : "Error";
        socket->write("HTTP/1.1 " + QByteArray::number(status) + ' ' + reason
            + "\r\nContent-Type: application/json\r\nContent-Length: " + QByteArray::number(body.size())
            + "\r\nConnection: close\r\n\r\n" + body);
        socket->disconnectFromHost();
    }

    Responder m_responder;
    QList<CannedRequest> m_requests;
    QHash<QTcpSocket *, QByteArray> m_buffers;
    QList<QPointer<QTcpSocket>> m_held;
};
