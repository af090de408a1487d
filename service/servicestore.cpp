#include "servicestore.h"

#include <QCryptographicHash>
#include <QDebug>
#include <QMutexLocker>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QUuid>
#include <QVariant>
#include <QtEndian>

#include <algorithm>

// The connections a thread opened, closed on that thread when it ends.
class ThreadConnections final
{
public:
    ~ThreadConnections()
    {
        for (const QString &name : std::as_const(names)) {
            {
                QSqlDatabase db = QSqlDatabase::database(name, false);
                if (db.isValid())
                    db.close();
            }
            QSqlDatabase::removeDatabase(name);
        }
    }
    QStringList names;
};

namespace {

thread_local ThreadConnections t_connections;
// The last database error of this thread, and whether its connection may have gone.
thread_local QString t_lastError;
thread_local bool t_suspect = false;

// A PostgreSQL advisory lock number for a text key.
qint64 lockNumber(const QString &key)
{
    const QByteArray digest = QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha1);
    return qFromBigEndian<qint64>(digest.constData());
}

} // namespace

ServiceStore::ServiceStore(const QString &driver, const QString &database)
    : m_connectionPrefix(QStringLiteral("kestrel-service-")
        + QUuid::createUuid().toString(QUuid::WithoutBraces) + QLatin1Char('-'))
    , m_driver(driver)
    , m_database(database)
{
    // Qt SQL's connection registry comes to life on first use. Using it here makes it older
    // than the store, so that it outlives even a store that is destroyed at exit.
    QSqlDatabase::contains(QString());
}

ServiceStore::~ServiceStore()
{
    // Threads that ended closed their own connections. This thread's goes now; what is left
    // belongs to threads that outlive the store, and stops working. Each thread's own list
    // forgets nothing here: it may already be gone (a store destroyed at exit).
    const QString own = connectionName();
    QMutexLocker locker(&m_namesMutex);
    for (const QString &name : std::as_const(m_names)) {
        if (!QSqlDatabase::contains(name))
            continue;
        if (name == own)
            QSqlDatabase::database(name, false).close();
        QSqlDatabase::removeDatabase(name);
    }
}

QString ServiceStore::connectionName() const
{
    return m_connectionPrefix + QString::number(quintptr(QThread::currentThreadId()), 16);
}

QSqlDatabase ServiceStore::database()
{
    const QString name = connectionName();
    if (QSqlDatabase::contains(name)) {
        QSqlDatabase db = QSqlDatabase::database(name, false);
        // A server that went away leaves the connection looking open: after a failure the
        // next request checks it, and connects again when it is gone.
        if (t_suspect && db.isOpen()) {
            t_suspect = false;
            QSqlQuery probe(db);
            if (!probe.exec(QStringLiteral("SELECT 1"))) {
                probe = QSqlQuery();
                db.close();
            }
        }
        if (!db.isOpen())
            configure(db);
        return db;
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(m_driver, name);
    t_connections.names.append(name);
    {
        QMutexLocker locker(&m_namesMutex);
        m_names.append(name);
    }
    if (isSqlite() || !m_database.contains(QLatin1Char('='))) {
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
    configure(db);
    return db;
}

bool ServiceStore::configure(QSqlDatabase &db)
{
    if (!db.open()) {
        qWarning().noquote() << "[SERVICE] cannot connect to the database:" << db.lastError().text();
        return false;
    }
    // WAL lets readers proceed during a write; NORMAL sync is safe with WAL. These are
    // settings of the connection, so every thread's connection makes them.
    if (isSqlite()
        && !(execute(db, QStringLiteral("PRAGMA journal_mode=WAL"))
            && execute(db, QStringLiteral("PRAGMA synchronous=NORMAL"))
            && execute(db, QStringLiteral("PRAGMA foreign_keys=ON"))
            && execute(db, QStringLiteral("PRAGMA busy_timeout=10000")))) {
        db.close();
        return false;
    }
    return true;
}

bool ServiceStore::openDatabase()
{
    if (!QSqlDatabase::isDriverAvailable(m_driver)) {
        m_openError = QStringLiteral("SQL driver %1 is not available (have: %2)")
                          .arg(m_driver, QSqlDatabase::drivers().join(QLatin1String(", ")));
        return false;
    }
    QSqlDatabase db = database();
    if (!db.isOpen()) {
        m_openError = db.lastError().text();
        return false;
    }
    const QString id = isSqlite() ? QStringLiteral("INTEGER PRIMARY KEY AUTOINCREMENT")
                                  : QStringLiteral("BIGSERIAL PRIMARY KEY");
    // Instances started together must not create the same tables at once.
    const bool ok = beginWrite(db, QStringLiteral("schema"))
        && execute(db,
            QStringLiteral("CREATE TABLE IF NOT EXISTS presence (user_id VARCHAR(64) PRIMARY KEY, "
                           "app_version VARCHAR(32) NOT NULL, last_seen BIGINT NOT NULL)"))
        && execute(
            db, QStringLiteral("CREATE INDEX IF NOT EXISTS presence_last_seen ON presence (last_seen)"))
        && execute(db,
            QStringLiteral("CREATE TABLE IF NOT EXISTS ports (id %1, user_name TEXT NOT NULL, "
                           "port INTEGER NOT NULL, description TEXT NOT NULL, comment TEXT NOT NULL, "
                           "status INTEGER NOT NULL, created_at BIGINT NOT NULL, "
                           "UNIQUE (user_name, port))")
                .arg(id))
        && execute(db, QStringLiteral("CREATE INDEX IF NOT EXISTS ports_created ON ports (created_at, id)"))
        && execute(db,
            QStringLiteral("CREATE TABLE IF NOT EXISTS comments (id %1, port_id BIGINT NOT NULL "
                           "REFERENCES ports (id) ON DELETE CASCADE, user_name TEXT NOT NULL, "
                           "comment TEXT NOT NULL, created_at BIGINT NOT NULL)")
                .arg(id))
        && execute(db, QStringLiteral("CREATE INDEX IF NOT EXISTS comments_port ON comments (port_id, id)"))
        && execute(db, QStringLiteral("COMMIT"));
    if (!ok) {
        m_openError = t_lastError;
        execute(db, QStringLiteral("ROLLBACK"));
    }
    return ok;
}

bool ServiceStore::beginWrite(QSqlDatabase &db, const QString &lockKey)
{
    // SQLite: take the write lock at once, so that a count and the write after it see the same data.
    if (isSqlite())
        return execute(db, QStringLiteral("BEGIN IMMEDIATE"));
    if (!execute(db, QStringLiteral("BEGIN")))
        return false;
    if (lockKey.isEmpty())
        return true;
    QSqlQuery lock(db);
    lock.prepare(QStringLiteral("SELECT pg_advisory_xact_lock(?)"));
    lock.addBindValue(lockNumber(lockKey));
    if (!lock.exec()) {
        fail(lock);
        execute(db, QStringLiteral("ROLLBACK"));
        return false;
    }
    return true;
}

bool ServiceStore::execute(QSqlDatabase &db, const QString &sql)
{
    QSqlQuery query(db);
    return query.exec(sql) || fail(query);
}

bool ServiceStore::fail(const QSqlQuery &query) const
{
    t_lastError = query.lastError().text();
    t_suspect = !isSqlite();
    qWarning().noquote() << "[SERVICE] database error:" << t_lastError;
    return false;
}

std::unique_lock<QMutex> ServiceStore::writer()
{
    // SQLite lets one writer at a time in and makes the others sleep and retry; taking turns
    // here instead keeps the threads of this process from sleeping on each other.
    return isSqlite() ? std::unique_lock<QMutex>(m_writeMutex) : std::unique_lock<QMutex>();
}

bool ServiceStore::heartbeat(const QString &userId, const QString &appVersion, qint64 nowMs)
{
    const auto turn = writer();
    QSqlQuery query(database());
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
    const auto turn = writer();
    QSqlQuery query(database());
    query.prepare(QStringLiteral("DELETE FROM presence WHERE last_seen < ?"));
    query.addBindValue(beforeMs);
    return query.exec() || fail(query);
}

qint64 ServiceStore::onlineCount(qint64 nowMs, qint64 windowMs)
{
    QSqlQuery query(database());
    query.prepare(QStringLiteral("SELECT COUNT(*) FROM presence WHERE last_seen > ?"));
    query.addBindValue(nowMs - windowMs);
    if (!query.exec() || !query.next()) {
        fail(query);
        return -1;
    }
    return query.value(0).toLongLong();
}

ServiceStore::Outcome ServiceStore::publish(const QString &userName, int port, const QString &description,
    const QString &comment, int status, qint64 nowSecs, int maxEntries, qint64 *id)
{
    const auto turn = writer();
    QSqlDatabase db = database();
    // One user's publications are serialised, so that two at once cannot both pass the cap.
    if (!beginWrite(db, QStringLiteral("user:") + userName))
        return Outcome::Failed;
    const auto abandon = [this, &db](Outcome outcome) {
        execute(db, QStringLiteral("ROLLBACK"));
        return outcome;
    };
    if (maxEntries > 0) {
        QSqlQuery count(db);
        count.prepare(QStringLiteral("SELECT COUNT(*) FROM ports WHERE user_name = ? AND port <> ?"));
        count.addBindValue(userName);
        count.addBindValue(port);
        if (!count.exec() || !count.next()) {
            fail(count);
            return abandon(Outcome::Failed);
        }
        if (count.value(0).toLongLong() >= maxEntries)
            return abandon(Outcome::TooMany);
    }
    QSqlQuery query(db);
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
        return abandon(Outcome::Failed);
    }
    *id = query.value(0).toLongLong();
    query.finish();
    return execute(db, QStringLiteral("COMMIT")) ? Outcome::Done : abandon(Outcome::Failed);
}

bool ServiceStore::listPorts(QList<StoredPort> &ports, int limit)
{
    QSqlQuery query(database());
    query.setForwardOnly(true);
    const QString columns = QStringLiteral("SELECT id, user_name, port, description, comment, status, "
                                           "created_at FROM ports ");
    if (limit > 0) {
        query.prepare(columns + QStringLiteral("ORDER BY created_at DESC, id DESC LIMIT ?"));
        query.addBindValue(limit);
    } else {
        query.prepare(columns + QStringLiteral("ORDER BY id"));
    }
    if (!query.exec())
        return fail(query);
    const qsizetype first = ports.size();
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
    if (limit > 0) {
        std::sort(ports.begin() + first, ports.end(),
            [](const StoredPort &a, const StoredPort &b) { return a.id < b.id; });
    }
    return true;
}

ServiceStore::Outcome ServiceStore::unpublish(qint64 portId, const QString &userName)
{
    const auto turn = writer();
    QSqlDatabase db = database();
    if (!beginWrite(db, QString()))
        return Outcome::Failed;
    const auto abandon = [this, &db](Outcome outcome) {
        execute(db, QStringLiteral("ROLLBACK"));
        return outcome;
    };
    QSqlQuery entry(db);
    entry.prepare(QStringLiteral("DELETE FROM ports WHERE id = ? AND user_name = ?"));
    entry.addBindValue(portId);
    entry.addBindValue(userName);
    if (!entry.exec()) {
        fail(entry);
        return abandon(Outcome::Failed);
    }
    if (entry.numRowsAffected() < 1) {
        QSqlQuery owner(db);
        owner.prepare(QStringLiteral("SELECT user_name FROM ports WHERE id = ?"));
        owner.addBindValue(portId);
        if (!owner.exec()) {
            fail(owner);
            return abandon(Outcome::Failed);
        }
        const bool found = owner.next();
        owner.finish();
        return abandon(found ? Outcome::NotOwner : Outcome::NotFound);
    }
    // The foreign key takes the comments along; this covers databases that do not enforce it.
    QSqlQuery comments(db);
    comments.prepare(QStringLiteral("DELETE FROM comments WHERE port_id = ?"));
    comments.addBindValue(portId);
    if (!comments.exec()) {
        fail(comments);
        return abandon(Outcome::Failed);
    }
    return execute(db, QStringLiteral("COMMIT")) ? Outcome::Done : abandon(Outcome::Failed);
}

ServiceStore::Outcome ServiceStore::addComment(qint64 portId, const QString &userName, const QString &comment,
    qint64 nowSecs, int maxComments, qint64 *id)
{
    const auto turn = writer();
    QSqlDatabase db = database();
    if (!beginWrite(db, QString()))
        return Outcome::Failed;
    const auto abandon = [this, &db](Outcome outcome) {
        execute(db, QStringLiteral("ROLLBACK"));
        return outcome;
    };
    // Holding the entry's row keeps it from being withdrawn before the comment lands and
    // makes comments on one entry take turns, so that the cap holds.
    QSqlQuery entry(db);
    entry.prepare(QStringLiteral("SELECT id FROM ports WHERE id = ?")
        + (isSqlite() ? QString() : QStringLiteral(" FOR UPDATE")));
    entry.addBindValue(portId);
    if (!entry.exec()) {
        fail(entry);
        return abandon(Outcome::Failed);
    }
    const bool found = entry.next();
    entry.finish();
    if (!found)
        return abandon(Outcome::NotFound);
    if (maxComments > 0) {
        QSqlQuery count(db);
        count.prepare(QStringLiteral("SELECT COUNT(*) FROM comments WHERE port_id = ?"));
        count.addBindValue(portId);
        if (!count.exec() || !count.next()) {
            fail(count);
            return abandon(Outcome::Failed);
        }
        if (count.value(0).toLongLong() >= maxComments)
            return abandon(Outcome::TooMany);
    }
    QSqlQuery query(db);
    query.prepare(QStringLiteral(
        "INSERT INTO comments (port_id, user_name, comment, created_at) VALUES (?, ?, ?, ?) RETURNING id"));
    query.addBindValue(portId);
    query.addBindValue(userName);
    query.addBindValue(comment);
    query.addBindValue(nowSecs);
    if (!query.exec() || !query.next()) {
        fail(query);
        return abandon(Outcome::Failed);
    }
    *id = query.value(0).toLongLong();
    query.finish();
    return execute(db, QStringLiteral("COMMIT")) ? Outcome::Done : abandon(Outcome::Failed);
}

bool ServiceStore::listComments(qint64 portId, QList<StoredComment> &comments)
{
    QSqlQuery query(database());
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
