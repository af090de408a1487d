#pragma once

// The service's endpoints: presence ("heartbeat.php", "online_count.php") and the
// shared ports catalogue. Every answer is a JSON object with a boolean "success"
// and, on failure, a text "error" that the program shows to its user unchanged.

#include <QElapsedTimer>
#include <QString>

#include "httpserver.h"

class ServiceStore;
class QJsonObject;

class ServiceApi final
{
public:
    static constexpr int kMaxUserNameLength = 32;
    static constexpr int kMaxDescriptionLength = 200;
    static constexpr int kMaxCommentLength = 500;
    static constexpr int kMaxVersionLength = 32;
    static constexpr int kMinPort = 9000;
    static constexpr int kMaxPort = 9999;

    ServiceApi(ServiceStore &store, qint64 onlineWindowMs, const QString &staticDir = QString());

    HttpResponse handle(const HttpRequest &request);

    static QByteArray errorJson(const QString &message);

private:
    HttpResponse heartbeat(const QJsonObject &body);
    HttpResponse onlineCount();
    HttpResponse publishPort(const QJsonObject &body);
    HttpResponse getPorts();
    HttpResponse getComments(const HttpRequest &request);
    HttpResponse unpublishPort(const QJsonObject &body);
    HttpResponse addComment(const QJsonObject &body);
    HttpResponse staticFile(const HttpRequest &request);

    ServiceStore &m_store;
    qint64 m_onlineWindowMs;
    QString m_staticDir;
    // The listing is the same for every reader and is polled far more often than it changes.
    // It is rebuilt after a change made here, and at least every kPortsCacheMs for changes
    // made by other instances sharing the database.
    static constexpr qint64 kPortsCacheMs = 2000;
    QByteArray m_portsCache;
    QElapsedTimer m_portsCacheAge;
};
