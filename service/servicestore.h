#pragma once

// Storage of the reference service: presence, published ports and comments,
// through Qt SQL with prepared statements only. Safe to use from any number of
// threads: each thread gets a connection of its own (Qt SQL connections must stay
// on the thread that opened them), closed when that thread ends.

#include <QDateTime>
#include <QList>
#include <QMutex>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

#include <mutex>

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
    enum class Outcome
    {
        Done,
        NotFound,
        NotOwner,
        TooMany, // a cap would be passed
        Failed, // database error (logged)
    };

    // driver: a Qt SQL driver name ("QSQLITE", "QPSQL", ...). For SQLite, database is the file path;
    // for other drivers either a database name or "key=value" pairs (host, port, dbname, user,
    // password; the rest become connect options).
    ServiceStore(const QString &driver, const QString &database);
    ~ServiceStore();
    ServiceStore(const ServiceStore &) = delete;
    ServiceStore &operator=(const ServiceStore &) = delete;

    // Connects on the calling thread and creates the tables when missing.
    bool openDatabase();
    QString lastError() const { return m_openError; }

    bool heartbeat(const QString &userId, const QString &appVersion, qint64 nowMs);
    // Forgets users not seen since before the given time.
    bool purgePresence(qint64 beforeMs);
    // Users whose last heartbeat is newer than the window; -1 on failure.
    qint64 onlineCount(qint64 nowMs, qint64 windowMs);

    // Inserts, or replaces the same user's entry for the same port. A new entry is refused
    // (TooMany) when the user already has maxEntries others (0: no cap). *id gets the entry's id.
    Outcome publish(const QString &userName, int port, const QString &description, const QString &comment,
        int status, qint64 nowSecs, int maxEntries, qint64 *id);
    // The newest limit entries (by publication time; 0: all), ordered by id.
    bool listPorts(QList<StoredPort> &ports, int limit = 0);
    // Withdraws an entry of userName's with its comments.
    Outcome unpublish(qint64 portId, const QString &userName);
    // Refused (TooMany) when the entry already has maxComments (0: no cap).
    Outcome addComment(qint64 portId, const QString &userName, const QString &comment, qint64 nowSecs,
        int maxComments, qint64 *id);
    bool listComments(qint64 portId, QList<StoredComment> &comments);

private:
    friend class ThreadConnections;
    QString connectionName() const; // of the calling thread
    QSqlDatabase database();
    bool configure(QSqlDatabase &db);
    bool isSqlite() const { return m_driver == QLatin1String("QSQLITE"); }
    // Opens a write transaction that also serialises every writer holding the same lock
    // key (PostgreSQL; SQLite serialises all writers anyway).
    bool beginWrite(QSqlDatabase &db, const QString &lockKey);
    std::unique_lock<QMutex> writer();
    bool execute(QSqlDatabase &db, const QString &sql);
    bool fail(const QSqlQuery &query) const;

    QString m_connectionPrefix;
    QString m_driver;
    QString m_database;
    QString m_openError;
    QMutex m_writeMutex;
    QMutex m_namesMutex;
    QStringList m_names; // every connection opened, to close what threads left behind
};
