#include "core/singleinstance.h"

#include <QDebug>
#include <QDir>

SingleInstanceGuard::SingleInstanceGuard(const QString &key) : m_key(key), m_memory(key) { }

SingleInstanceGuard::~SingleInstanceGuard()
{
    if (m_memory.isAttached())
        m_memory.detach();
}

QString SingleInstanceGuard::lockFilePath(const QString &key)
{
    return QDir(QDir::tempPath()).filePath(key + QStringLiteral(".lock"));
}

SingleInstanceGuard::Result SingleInstanceGuard::acquire()
{
#ifndef Q_OS_WIN
    m_lock = std::make_unique<QLockFile>(lockFilePath(m_key));
    m_lock->setStaleLockTime(0); // only a dead owner makes the lock stale, never its age
    if (!m_lock->tryLock(0)) {
        if (m_lock->error() == QLockFile::LockFailedError)
            return Result::AlreadyRunning;
        qWarning() << "Instance lock file unusable:" << m_lock->fileName();
        m_lock.reset();
    }
#endif

    if (m_memory.create(1, QSharedMemory::ReadWrite))
        return Result::Acquired;
    if (m_memory.error() != QSharedMemory::AlreadyExists)
        return Result::Unguarded;

#ifndef Q_OS_WIN
    if (m_lock) {
        // We hold the lock, so the segment is a crashed instance's leftover: attaching
        // and detaching as the last user removes it, then it can be made afresh.
        if (m_memory.attach())
            m_memory.detach();
        if (m_memory.create(1, QSharedMemory::ReadWrite))
            return Result::Acquired;
        return m_memory.error() == QSharedMemory::AlreadyExists ? Result::AlreadyRunning : Result::Unguarded;
    }
#endif
    return Result::AlreadyRunning;
}
