#pragma once

// A release listing and its files served on localhost by path; a recorder answering the updater's dialogs; a
// file's bytes.

#include "updater/updaterengine.h"
#include "updater/updaterui.h"

#include <QtNetwork>
#include <QtWidgets>

inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class ReleaseServer : public QObject
{
public:
    struct Route
    {
        int status = 200; // 0: accept the request and never answer
        QByteArray body;
    };

    ReleaseServer()
    {
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                socket->setParent(this);
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
            }
        });
    }

    bool listen() { return m_server.listen(QHostAddress::LocalHost); }
    quint16 port() const { return m_server.serverPort(); }
    QString url(const QString &path) const
    {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(port()).arg(path);
    }
    void setRoute(const QString &path, const Route &route) { m_routes.insert(path, route); }
    QStringList requestedPaths() const { return m_requested; }
    QByteArray lastUserAgent() const { return m_userAgent; }

private:
    void onReadyRead(QTcpSocket *socket)
    {
        const QByteArray request = socket->property("request").toByteArray() + socket->readAll();
        socket->setProperty("request", request);
        if (!request.contains("\r\n\r\n"))
            return;
        const QString path = QString::fromUtf8(request.split(' ').value(1));
        m_requested << path;
        const int agent = request.toLower().indexOf("\r\nuser-agent:");
        m_userAgent = request.mid(agent + 13, request.indexOf('\r', agent + 2) - agent - 13).trimmed();
        const Route route = m_routes.value(path, Route {404, QByteArrayLiteral("not found")});
        if (route.status == 0)
            return;
        socket->write("HTTP/1.1 " + QByteArray::number(route.status) + " X\r\nContent-Length: "
            + QByteArray::number(route.body.size()) + "\r\nConnection: close\r\n\r\n" + route.body);
        socket->disconnectFromHost();
    }

    QTcpServer m_server;
    QHash<QString, Route> m_routes;
    QStringList m_requested;
    QByteArray m_userAgent;
};

// Answers the updater's dialogs unshown (boxes with OK, the offer with "Обновить" or "Позже")
// and records each one's title and text (the offer's: its version line).
struct PromptRecorder
{
    QList<QPair<QString, QString>> prompts;

    void install(bool acceptUpdate)
    {
        prompts.clear();
        UpdaterUi::setModalHookForTest([this, acceptUpdate](QDialog &dialog) {
            const auto *box = qobject_cast<QMessageBox *>(&dialog);
            const auto *versions = dialog.findChild<QLabel *>(QStringLiteral("versionLabel"));
            prompts.append({dialog.windowTitle(), box ? box->text() : versions->text()});
            return box ? int(QMessageBox::Ok) : int(acceptUpdate ? QDialog::Accepted : QDialog::Rejected);
        });
    }
};
