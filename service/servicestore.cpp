#include "servicestore.h"

#include <QDebug>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <QVariant>

ServiceStore::ServiceStore(const QString &driver, const QString &database)
    : m_connection(QStringLiteral("kestrel-service-") + QUuid::createUuid().toString(QUuid::WithoutBraces))
    , m_driver(driver)
    , m_database(database)
{ }

ServiceStore::~ServiceStore()
{
    {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        if (db.isValid())
            db.close();
    }
    QSqlDatabase::removeDatabase(m_connection);
}

bool ServiceStore::open()
{
    if (!QSqlDatabase::isDriverAvailable(m_driver)) {
        m_error = QStringLiteral("SQL driver %1 is not available (have: %2)")
                      .arg(m_driver, QSqlDatabase::drivers().join(QLatin1String(", ")));
        return false;
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(m_driver, m_connection);
    const bool sqlite = m_driver == QLatin1String("QSQLITE");
    if (sqlite || !m_database.contains(QLatin1Char('='))) {
        db.setDatabaseName(m_database);
    } else {
        QStringList options;
        const QStringList pairs = m_database.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        for (const QString &pair : pairs) {
            const QString key = pair.section(QLatin1Char('='), 0, 0);
            const QString value = pair.section(QLatin1Char('='), 1);
            if (key == QLatin1String("host"))
                db.setHostName(value);
            else if (key == QLatin1String("port"))
                db.setPort(value.toInt());
            else if (key == QLatin1String("dbname"))
                db.setDatabaseName(value);
            else if (key == QLatin1String("user"))
                db.setUserName(value);
            else if (key == QLatin1String("password"))
                db.setPassword(value);
            else
                options << pair;
        }
        db.setConnectOptions(options.join(QLatin1Char(';')));
    }
    if (!db.open()) {
        m_error = db.lastError().text();
        return false;
    }

    const QString id = sqlite ? QStringLiteral("INTEGER PRIMARY KEY AUTOINCREMENT")
                              : QStringLiteral("BIGSERIAL PRIMARY KEY");
    if (sqlite) {
        // WAL lets readers proceed during a write; NORMAL sync is safe with WAL.
        if (!execute(QStringLiteral("PRAGMA journal_mode=WAL"))
            || !execute(QStringLiteral("PRAGMA synchronous=NORMAL"))
            || !execute(QStringLiteral("PRAGMA foreign_keys=ON"))
            || !execute(QStringLiteral("PRAGMA busy_timeout=5000")))
            return false;
    }
    return execute(QStringLiteral("CREATE TABLE IF NOT EXISTS presence (user_id VARCHAR(64) PRIMARY KEY, "
                                  "app_version VARCHAR(32) NOT NULL, last_seen BIGINT NOT NULL)"))
        && execute(QStringLiteral("CREATE INDEX IF NOT EXISTS presence_last_seen ON presence (last_seen)"))
        && execute(QStringLiteral("CREATE TABLE IF NOT EXISTS ports (id %1, user_name TEXT NOT NULL, "
                                  "port INTEGER NOT NULL, description TEXT NOT NULL, comment TEXT NOT NULL, "
                                  "status INTEGER NOT NULL, created_at BIGINT NOT NULL, "
                                  "UNIQUE (user_name, port))")
                       .arg(id))
        && execute(QStringLiteral("CREATE TABLE IF NOT EXISTS comments (id %1, port_id BIGINT NOT NULL "
                                  "REFERENCES ports (id) ON DELETE CASCADE, user_name TEXT NOT NULL, "
                                  "comment TEXT NOT NULL, created_at BIGINT NOT NULL)")
                       .arg(id))
        && execute(QStringLiteral("CREATE INDEX IF NOT EXISTS comments_port ON comments (port_id, id)"));
}

bool ServiceStore::execute(const QString &sql)
{
    QSqlQuery query(QSqlDatabase::database(m_connection));
    if (!query.exec(sql))
        return fail(query);
    return true;
}

bool ServiceStore::fail(const QSqlQuery &query)
{
    m_error = query.lastError().text();
    qWarning().noquote() << "[SERVICE] database error:" << m_error;
    return false;
}

bool ServiceStore::heartbeat(const QString &userId, const QString &appVersion, qint64 nowMs)
{
    QSqlQuery query(QSqlDatabase::database(m_connection));
    query.prepare(QStringLiteral("INSERT INTO presence (user_id, app_version, last_seen) VALUES (?, ?, ?) "
                                 "ON CONFLICT (user_id) DO UPDATE SET app_version = excluded.app_version, "
                                 "last_seen = excluded.last_seen"));
    query.addBindValue(userId);
    query.addBindValue(appVersion);
    query.addBindValue(nowMs);
    return query.exec() || fail(query);
}

bool ServiceStore::purgePresence(qint64 beforeMs)
{
    QSqlQuery query(QSqlDatabase::database(m_connection));
    query.prepare(QStringLiteral("DELETE FROM presence WHERE last_seen < ?"));
    query.addBindValue(beforeMs);
    return query.exec() || fail(query);
}

qint64 ServiceStore::onlineCount(qint64 nowMs, qint64 windowMs)
{
    QSqlQuery query(QSqlDatabase::database(m_connection));
    query.prepare(QStringLiteral("SELECT COUNT(*) FROM presence WHERE last_seen > ?"));
    query.addBindValue(nowMs - windowMs);
    if (!query.exec() || !query.next()) {
        fail(query);
        return -1;
    }
    return query.value(0).toLongLong();
}

qint64 ServiceStore::publish(const QString &userName, int port, const QString &description,
    const QString &comment, int status, qint64 nowSecs)
{
    QSqlQuery query(QSqlDatabase::database(m_connection));
    query.prepare(QStringLiteral(
        "INSERT INTO ports (user_name, port, description, comment, status, created_at) VALUES (?, ?, ?, ?, "
        "?, ?) "
        "ON CONFLICT (user_name, port) DO UPDATE SET description = excluded.description, "
        "comment = excluded.comment, status = excluded.status, created_at = excluded.created_at "
        "RETURNING id"));
    query.addBindValue(userName);
    query.addBindValue(port);
    query.addBindValue(description);
    // A null text binds as SQL NULL; a publication without a comment stores an empty one.
    query.addBindValue(comment.isNull() ? QStringLiteral("") : comment);
    query.addBindValue(status);
    query.addBindValue(nowSecs);
    if (!query.exec() || !query.next()) {
        fail(query);
        return 0;
    }
    return query.value(0).toLongLong();
}

bool ServiceStore::listPorts(QList<StoredPort> &ports)
{
    QSqlQuery query(QSqlDatabase::database(m_connection));
    query.setForwardOnly(true);
    query.prepare(QStringLiteral(
        "SELECT id, user_name, port, description, comment, status, created_at FROM ports ORDER BY id"));
    if (!query.exec())
        return fail(query);
    while (query.next()) {
        StoredPort entry;
        entry.id = query.value(0).toLongLong();
        entry.userName = query.value(1).toString();
        entry.port = query.value(2).toInt();
        entry.description = query.value(3).toString();
        entry.comment = query.value(4).toString();
        entry.status = query.value(5).toInt();
        entry.createdAt = query.value(6).toLongLong();
        ports.append(entry);
    }
    return true;
}

QString ServiceStore::portOwner(qint64 portId, bool *found, bool *ok)
{
    QSqlQuery query(QSqlDatabase::database(m_connection));
    query.prepare(QStringLiteral("SELECT user_name FROM ports WHERE id = ?"));
    query.addBindValue(portId);
    *found = false;
    *ok = query.exec();
    if (!*ok) {
        fail(query);
        return {};
    }
    if (!query.next())
        return {};
    *found = true;
    return query.value(0).toString();
}

bool ServiceStore::unpublish(qint64 portId)
{
    QSqlDatabase db = QSqlDatabase::database(m_connection);
    // Comments go with their entry even where the driver ignores the foreign key.
    db.transaction();
    QSqlQuery comments(db);
    comments.prepare(QStringLiteral("DELETE FROM comments WHERE port_id = ?"));
    comments.addBindValue(portId);
    QSqlQuery entry(db);
    entry.prepare(QStringLiteral("DELETE FROM ports WHERE id = ?"));
    entry.addBindValue(portId);
    if (!comments.exec()) {
        db.rollback();
        return fail(comments);
    }
    if (!entry.exec()) {
        db.rollback();
        return fail(entry);
    }
    return db.commit();
}

qint64 ServiceStore::addComment(
    qint64 portId, const QString &userName, const QString &comment, qint64 nowSecs)
{
    QSqlQuery query(QSqlDatabase::database(m_connection));
    query.prepare(QStringLiteral(
        "INSERT INTO comments (port_id, user_name, comment, created_at) VALUES (?, ?, ?, ?) RETURNING id"));
    query.addBindValue(portId);
    query.addBindValue(userName);
    query.addBindValue(comment);
    query.addBindValue(nowSecs);
    if (!query.exec() || !query.next()) {
        fail(query);
        return 0;
    }
    return query.value(0).toLongLong();
}

bool ServiceStore::listComments(qint64 portId, QList<StoredComment> &comments)
{
    QSqlQuery query(QSqlDatabase::database(m_connection));
    query.setForwardOnly(true);
    query.prepare(QStringLiteral(
        "SELECT id, user_name, comment, created_at FROM comments WHERE port_id = ? ORDER BY id"));
    query.addBindValue(portId);
    if (!query.exec())
        return fail(query);
    while (query.next()) {
        StoredComment entry;
        entry.id = query.value(0).toLongLong();
        entry.userName = query.value(1).toString();
        entry.comment = query.value(2).toString();
        entry.createdAt = query.value(3).toLongLong();
        comments.append(entry);
    }
    return true;
}
