#pragma once

// The service's endpoints: presence ("heartbeat.php", "online_count.php") and the
// shared ports catalogue. Every answer is a JSON object with a boolean "success"
// and, on failure, a text "error" that the program shows to its user unchanged.
// handle() may be called from several threads at once.

#include <QAtomicInteger>
#include <QElapsedTimer>
#include <QMutex>
#include <QString>

#include "httpserver.h"
#include "ratelimiter.h"

class ServiceStore;
class QJsonObject;

// What one client may do. Rates are requests per minute, each with a burst of the same
// size; 0 switches a limit off.
struct ServiceLimits
{
    int publishesPerName = 10; // publications and withdrawals
    int publishesPerAddress = 30;
    int commentsPerName = 10;
    int commentsPerAddress = 30;
    int heartbeatsPerUser = 6; // per user id; the program sends two a minute
    int heartbeatsPerAddress = 600; // many players may share one address
    int entriesPerName = 20;
    int commentsPerEntry = 200;
    int listedEntries = 500; // the newest entries that get_ports.php lists
};

class ServiceApi final
{
public:
    static constexpr int kMaxUserNameLength = 32;
    static constexpr int kMaxDescriptionLength = 200;
    static constexpr int kMaxCommentLength = 500;
    static constexpr int kMaxVersionLength = 32;
    static constexpr int kMinPort = 9000;
    static constexpr int kMaxPort = 9999;

    ServiceApi(ServiceStore &store, qint64 onlineWindowMs, const QString &staticDir = QString(),
        const ServiceLimits &limits = ServiceLimits());

    HttpResponse handle(const HttpRequest &request);

    // Forgets rate-limit keys that are idle again; call now and then.
    void sweep();

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
    // Seconds to wait (0: go ahead) for a request of a rate-limited endpoint.
    int throttle(const HttpRequest &request, const QJsonObject &body);
    void portsChanged() { m_portsGeneration.fetchAndAddOrdered(1); }

    ServiceStore &m_store;
    qint64 m_onlineWindowMs;
    QString m_staticDir;
    ServiceLimits m_limits;
    RateLimiter m_rates;
    // The listing is the same for every reader and is polled far more often than it changes.
    // It is rebuilt after a change made here, and at least every kPortsCacheMs for changes
    // made by other instances sharing the database.
    static constexpr qint64 kPortsCacheMs = 2000;
    QMutex m_portsMutex;
    QAtomicInteger<quint64> m_portsGeneration = 0;
    quint64 m_portsCacheGeneration = 0;
    QByteArray m_portsCache;
    QElapsedTimer m_portsCacheAge;
};
