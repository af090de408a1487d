#pragma once

// A release listing and its files served over HTTP on localhost, answering each
// request by its path. A route may also hang: it accepts and never answers.

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTcpServer>
#include <QTcpSocket>

class ReleaseServer : public QObject
{
public:
    struct Route
    {
        int status = 200;
        QByteArray body;
        bool hang = false;
    };

    explicit ReleaseServer(QObject *parent = nullptr) : QObject(parent)
    {
        connect(&m_server, &QTcpServer::newConnection, this, &ReleaseServer::onNewConnection);
    }

    bool listen() { return m_server.listen(QHostAddress::LocalHost); }
    QString url(const QString &path) const
    {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(path);
    }
    void setRoute(const QString &path, const Route &route) { m_routes.insert(path, route); }
    QStringList requestedPaths() const { return m_requested; }
    QByteArray lastUserAgent() const { return m_userAgent; }

private:
    void onNewConnection()
    {
        while (QTcpSocket *socket = m_server.nextPendingConnection()) {
            socket->setParent(this);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket]() { onReadyRead(socket); });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    }

    void onReadyRead(QTcpSocket *socket)
    {
        QByteArray &buffer = m_buffers[socket];
        buffer += socket->readAll();
        const int end = buffer.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        const QByteArray head = buffer.left(end);
        m_buffers.remove(socket);
        const QList<QByteArray> lines = head.split('\n');
        const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
        const QString path = QString::fromUtf8(requestLine.value(1));
        m_requested << path;
        for (const QByteArray &line : lines) {
            if (line.toLower().startsWith("user-agent:"))
                m_userAgent = line.mid(11).trimmed();
        }
        const Route route = m_routes.value(path, Route {404, QByteArrayLiteral("not found"), false});
        if (route.hang)
            return;
        QByteArray response = "HTTP/1.1 " + QByteArray::number(route.status)
            + (route.status == 200 ? " OK" : " Error") + "\r\nContent-Type: application/octet-stream"
            + "\r\nContent-Length: " + QByteArray::number(route.body.size()) + "\r\nConnection: close\r\n\r\n"
            + route.body;
        socket->write(response);
        socket->disconnectFromHost();
    }

    QTcpServer m_server;
    QHash<QString, Route> m_routes;
    QHash<QTcpSocket *, QByteArray> m_buffers;
    QStringList m_requested;
    QByteArray m_userAgent;
};
