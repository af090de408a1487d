#pragma once

// A release listing and its files served on localhost by path (a route may hang: accept and
// never answer); the updater's pauses shortened; a recorder answering its dialogs.

#include "updater/updaterengine.h"
#include "updater/updaterui.h"

#include <QtNetwork>
#include <QtWidgets>

class ReleaseServer : public QObject
{
public:
    struct Route
    {
        int status = 200;
        QByteArray body;
        bool hang = false;
    };

    ReleaseServer()
    {
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                socket->setParent(this);
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
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
    void onReadyRead(QTcpSocket *socket)
    {
        QByteArray &buffer = m_buffers[socket];
        buffer += socket->readAll();
        const int end = buffer.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        const QList<QByteArray> lines = buffer.left(end).split('\n');
        m_buffers.remove(socket);
        const QString path = QString::fromUtf8(lines.value(0).trimmed().split(' ').value(1));
        m_requested << path;
        for (const QByteArray &line : lines) {
            if (line.toLower().startsWith("user-agent:"))
                m_userAgent = line.mid(11).trimmed();
        }
        const Route route = m_routes.value(path, Route {404, QByteArrayLiteral("not found"), false});
        if (route.hang)
            return;
        socket->write("HTTP/1.1 " + QByteArray::number(route.status)
            + (route.status == 200 ? " OK" : " Error") + "\r\nContent-Length: "
            + QByteArray::number(route.body.size()) + "\r\nConnection: close\r\n\r\n" + route.body);
        socket->disconnectFromHost();
    }

    QTcpServer m_server;
    QHash<QString, Route> m_routes;
    QHash<QTcpSocket *, QByteArray> m_buffers;
    QStringList m_requested;
    QByteArray m_userAgent;
};

inline UpdaterTimings fastUpdaterTimings()
{
    UpdaterTimings t;
    t.checkNoticeMs = t.quitNoUpdateSilentMs = t.quitNoUpdateMs = 10;
    t.installAfterDownloadMs = t.finalDialogMs = t.quitAfterInstallMs = t.quitAfterFailureMs = 10;
    t.progressTickMs = 20;
    t.sleepBeforeKillMs = t.sleepAfterDeleteMs = t.copyRetrySleepMs = 0;
    t.sleepAfterKillMs = 50;
    return t;
}

// Answers the updater's dialogs unshown (Ok; the offer's update or later) and records them.
struct PromptRecorder
{
    QList<QPair<QString, QString>> prompts;

    void install(bool acceptUpdate)
    {
        prompts.clear();
        UpdaterUi::setModalHookForTest([this, acceptUpdate](QDialog &dialog) {
            if (auto *box = qobject_cast<QMessageBox *>(&dialog)) {
                prompts.append({box->windowTitle(), box->text()});
                return int(QMessageBox::Ok);
            }
            const auto *versions = dialog.findChild<QLabel *>(QStringLiteral("versionLabel"));
            prompts.append({dialog.windowTitle(), versions ? versions->text() : QString()});
            const QString name
                = acceptUpdate ? QStringLiteral("updateButton") : QStringLiteral("laterButton");
            if (auto *button = dialog.findChild<QPushButton *>(name))
                button->click();
            return dialog.result();
        });
    }
};
