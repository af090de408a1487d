#pragma once

// One running KESTREL per user session. The named shared-memory segment is the
// marker; on Unix a lock file in the user's runtime folder stands beside it, because a
// crashed instance leaves its segment behind and the lock file is what tells a dead
// owner from a live one. Names carry the user, so another local user can neither take
// them nor be blocked by them.

#include <QLockFile>
#include <QObject>
#include <QSharedMemory>
#include <QString>

#include <memory>

class QLocalServer;

class SingleInstanceGuard
{
public:
    enum class Result
    {
        Acquired,
        AlreadyRunning,
        Unguarded
    };

    explicit SingleInstanceGuard(const QString &key);
    ~SingleInstanceGuard();
    SingleInstanceGuard(const SingleInstanceGuard &) = delete;
    SingleInstanceGuard &operator=(const SingleInstanceGuard &) = delete;

    // Takes the guard. Unguarded means an unexpected error: start-up goes on without it.
    Result acquire();

    // base followed by the user's id where names are shared between users (Unix keys
    // of System V segments, sockets outside the runtime folder); base elsewhere.
    static QString userKey(const QString &base);
    // The user's own runtime folder ($XDG_RUNTIME_DIR), else the temporary folder.
    static QString runtimeFolder();
    static QString lockFilePath(const QString &key);

private:
    QString m_key;
    QSharedMemory m_memory;
    std::unique_ptr<QLockFile> m_lock;
};

// The running instance listens here; a second start asks it to show its window before
// it says "already running" and ends. Only the same user can connect.
class InstanceChannel final : public QObject
{
    Q_OBJECT

public:
    explicit InstanceChannel(const QString &key, QObject *parent = nullptr);
    ~InstanceChannel() override;

    // Call only while holding the guard: a socket left by a crashed owner is replaced.
    bool listen();
    QString serverName() const;

    // From a second start: true when the running instance confirmed the request.
    static bool requestShow(const QString &key, int timeoutMs = 2000);
    static QString serverNameFor(const QString &key);

signals:
    void showRequested();

private:
    QString m_key;
    QLocalServer *m_server;
};
