#pragma once

// One updater per updater executable path. The shared memory segment is the guard on
// every system; on Unix a lock file decides first, because a segment left behind by
// a crashed updater would otherwise block every later start.

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

private:
    std::unique_ptr<QSharedMemory> m_memory;
    std::unique_ptr<QLockFile> m_lock;
    bool m_anotherRunning = false;
    QString m_error;
};
