#pragma once

// One running KESTREL per machine session. The named shared-memory segment is the
// marker; on Unix a lock file stands beside it, because a crashed instance leaves its
// segment behind and the lock file is what tells a dead owner from a live one.

#include <QLockFile>
#include <QSharedMemory>
#include <QString>

#include <memory>

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

    static QString lockFilePath(const QString &key);

private:
    QString m_key;
    QSharedMemory m_memory;
    std::unique_ptr<QLockFile> m_lock;
};
