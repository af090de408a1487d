#pragma once

// Storage of the reference service: presence, published ports and comments,
// through Qt SQL with prepared statements only.

#include <QDateTime>
#include <QList>
#include <QSqlDatabase>
#include <QString>

class QSqlQuery;

struct StoredPort
{
    qint64 id = 0;
    QString userName;
    int port = 0;
    QString description;
    QString comment;
    int status = 0;
    qint64 createdAt = 0; // seconds since the epoch
};

struct StoredComment
{
    qint64 id = 0;
    QString userName;
    QString comment;
    qint64 createdAt = 0;
};

class ServiceStore final
{
public:
    // driver: a Qt SQL driver name ("QSQLITE", "QPSQL", ...). For SQLite, database is the file path;
    // for other drivers either a database name or "key=value" pairs (host, port, dbname, user,
    // password; the rest become connect options).
    ServiceStore(const QString &driver, const QString &database);
    ~ServiceStore();
    ServiceStore(const ServiceStore &) = delete;
    ServiceStore &operator=(const ServiceStore &) = delete;

    bool open();
    QString lastError() const { return m_error; }

    bool heartbeat(const QString &userId, const QString &appVersion, qint64 nowMs);
    // Forgets users not seen since before the given time.
    bool purgePresence(qint64 beforeMs);
    // Users whose last heartbeat is newer than the window; -1 on failure.
    qint64 onlineCount(qint64 nowMs, qint64 windowMs);

    // Inserts, or replaces the same user's entry for the same port. Returns the id, 0 on failure.
    qint64 publish(const QString &userName, int port, const QString &description, const QString &comment,
        int status, qint64 nowSecs);
    bool listPorts(QList<StoredPort> &ports);
    // Owner's name of an entry; empty when there is none. ok false on failure.
    QString portOwner(qint64 portId, bool *found, bool *ok);
    bool unpublish(qint64 portId);
    qint64 addComment(qint64 portId, const QString &userName, const QString &comment, qint64 nowSecs);
    bool listComments(qint64 portId, QList<StoredComment> &comments);

private:
    bool execute(const QString &sql);
    bool fail(const QSqlQuery &query);

    QString m_connection;
    QString m_driver;
    QString m_database;
    QString m_error;
};
