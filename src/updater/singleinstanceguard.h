#pragma once

// One updater per updater executable path and user session. On Windows a shared memory
// segment under the key (session-local). Elsewhere a lock file in the user's own runtime
// folder: other users cannot take it, and a crashed updater's lock is recognised as stale.

#include <QString>

#include <memory>

class QLockFile;
class QSharedMemory;

class SingleInstanceGuard final
{
public:
    explicit SingleInstanceGuard(const QString &key);
    ~SingleInstanceGuard();
    SingleInstanceGuard(const SingleInstanceGuard &) = delete;
    SingleInstanceGuard &operator=(const SingleInstanceGuard &) = delete;

    // Another updater with the same key holds the guard.
    bool anotherInstanceRunning() const { return m_anotherRunning; }
    // The guard could not be set up for another reason (logged; start-up goes on).
    QString errorString() const { return m_error; }

    // Where the lock file for key lives (not used on Windows): $XDG_RUNTIME_DIR (or the
    // private folder Qt makes for the user when it is unset), else the temporary folder
    // under a name that carries the user id.
    static QString lockFilePath(const QString &key);

private:
    std::unique_ptr<QSharedMemory> m_memory;
    std::unique_ptr<QLockFile> m_lock;
    bool m_anotherRunning = false;
    QString m_error;
};
