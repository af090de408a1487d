#include "updater/singleinstanceguard.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLockFile>
#include <QSharedMemory>

SingleInstanceGuard::SingleInstanceGuard(const QString &key) : m_memory(std::make_unique<QSharedMemory>(key))
{
#ifndef Q_OS_WIN
    const QByteArray hash = QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha1).toHex();
    m_lock = std::make_unique<QLockFile>(
        QDir::temp().filePath(QStringLiteral("torval_updater_%1.lock").arg(QString::fromLatin1(hash))));
    // Only a dead owner makes the lock stale, never its age: an update may take minutes.
    m_lock->setStaleLockTime(0);
    if (!m_lock->tryLock(0)) {
        if (m_lock->error() == QLockFile::LockFailedError) {
            m_anotherRunning = true;
            return;
        }
        m_error = QStringLiteral("lock file error %1").arg(static_cast<int>(m_lock->error()));
    }
#endif
    if (m_memory->create(1, QSharedMemory::ReadWrite))
        return;
    if (m_memory->error() != QSharedMemory::AlreadyExists) {
        m_error = m_memory->errorString();
        return;
    }
#ifndef Q_OS_WIN
    if (m_lock->isLocked()) {
        // We hold the lock, so the segment is a crashed updater's leftover: attaching
        // and detaching as its last user removes it.
        if (m_memory->attach())
            m_memory->detach();
        if (m_memory->create(1, QSharedMemory::ReadWrite))
            return;
        m_error = m_memory->errorString();
        return;
    }
#endif
    m_anotherRunning = true;
}

SingleInstanceGuard::~SingleInstanceGuard() = default;
